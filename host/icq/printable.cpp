#include "printable.h"

#include <cstdio>

#include "text/utf8.h"

namespace icq {

namespace {

std::string escaped(const char* format, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string printable(std::string_view text, bool lines) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const text::Utf8Char ch = text::decodeUtf8(text, i);
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!ch.valid) {
            out += escaped("\\x%02X", byte);
        } else if (lines && (byte == '\n' || byte == '\r')) {
            out += '\n';
            i += byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 1 : 0;
        } else if (lines && byte == '\t') {
            out += '\t';
        } else if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
        } else if (ch.codePoint < 0x20 || ch.codePoint == 0x7F) {
            out += escaped("\\x%02X", ch.codePoint);
        } else if (ch.codePoint >= 0x80 && ch.codePoint < 0xA0) {
            out += escaped("\\u%04X", ch.codePoint);
        } else {
            out.append(text, i, ch.length);
        }
        i += ch.length;
    }
    return out;
}

size_t columns(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i += text::decodeUtf8(text, i).length) {
        ++n;
    }
    return n;
}

std::string padded(const std::string& text, size_t width) {
    const size_t used = columns(text);
    return text + std::string(width > used ? width - used : 0, ' ');
}

} // namespace icq
