#include "codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace archive {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr uint64_t kHighBits = 0x8080808080808080ull;
const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

} // namespace

CodepageDecoder::CodepageDecoder(const std::string& codepage) {
    iconv_t cd = iconv_open("UTF-8", codepage.c_str());
    if (cd == kNoHandle) {
        return;
    }
    handle_ = cd;
    buildTable();
}

void CodepageDecoder::buildTable() {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) {
        ascii += static_cast<char>(c);
    }
    if (convert(ascii) != ascii) {
        return;
    }
    const auto cd = static_cast<iconv_t>(handle_);
    for (int b = 0x80; b < 0x100; ++b) {
        char in = static_cast<char>(b);
        char* inPtr = &in;
        size_t inLeft = 1;
        char out[16];
        char* outPtr = out;
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (done == static_cast<size_t>(-1) && errno == EINVAL) {
            return; // a lead byte: a multi-byte code page
        }
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        std::string_view utf8(out, static_cast<size_t>(outPtr - out));
        if (done == static_cast<size_t>(-1) || utf8.empty() || utf8.size() > 4) {
            utf8 = kReplacement;
        }
        std::copy(utf8.begin(), utf8.end(), upper_[b - 0x80].begin());
        upperLength_[b - 0x80] = static_cast<uint8_t>(utf8.size());
    }
    table_ = true;
}

CodepageDecoder::~CodepageDecoder() {
    if (handle_ != nullptr) {
        iconv_close(static_cast<iconv_t>(handle_));
    }
}

std::string CodepageDecoder::toUtf8(std::string_view bytes) const {
    if (!table_) {
        return handle_ == nullptr ? std::string() : convert(bytes);
    }
    // At most 4 bytes of UTF-8 per byte; written through a pointer, then cut to size.
    std::string out(bytes.size() * 4, '\0');
    char* to = out.data();
    const char* from = bytes.data();
    const char* const end = from + bytes.size();
    while (from < end) {
        uint64_t eight = 0;
        if (end - from >= 8 && (std::memcpy(&eight, from, 8), (eight & kHighBits) == 0)) {
            // Eight ASCII bytes at once: most texts are mostly ASCII.
            std::memcpy(to, from, 8);
            from += 8;
            to += 8;
            continue;
        }
        const char c = *from++;
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            *to++ = c;
            continue;
        }
        const uint8_t length = upperLength_[b - 0x80];
        std::copy_n(upper_[b - 0x80].data(), length, to);
        to += length;
    }
    out.resize(static_cast<size_t>(to - out.data()));
    return out;
}

// Whole texts through iconv, so that multi-byte code pages decode right.
std::string CodepageDecoder::convert(std::string_view bytes) const {
    const auto cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* to = out.data();
    size_t toLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1)) {
            continue;
        }
        const size_t used = static_cast<size_t>(to - out.data());
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {
            // A sequence the code page does not define (or cut short at the end) costs one byte.
            if (out.size() - used < kReplacement.size()) {
                out.resize(out.size() * 2);
            }
            out.replace(used, kReplacement.size(), kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            to = out.data() + used + kReplacement.size();
            toLeft = out.size() - used - kReplacement.size();
            continue;
        }
        to = out.data() + used;
        toLeft = out.size() - used;
    }
    iconv(cd, nullptr, nullptr, &to, &toLeft);
    out.resize(static_cast<size_t>(to - out.data()));
    return out;
}

bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace archive
