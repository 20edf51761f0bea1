#include "dialogs/ownername.h"

#include <string_view>

#include <QByteArrayView>
#include <QStringDecoder>

namespace dialogs {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five bytes it leaves undefined
// become U+FFFD, as the host's decoder makes them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QChar cp1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return QChar(kCp1252High[byte - 0x80]);
    }
    return QChar(static_cast<char16_t>(byte));
}

} // namespace

QString ownerDisplayName(const std::string& name) {
    std::string_view bytes(name);
    while (!bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n')) {
        bytes.remove_suffix(1);
    }
    // Stateless, so a sequence cut off at the end counts as an error instead of being held back.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded =
        utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) {
        return decoded;
    }
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char byte : bytes) {
        text.append(cp1252(static_cast<unsigned char>(byte)));
    }
    return text;
}

} // namespace dialogs
