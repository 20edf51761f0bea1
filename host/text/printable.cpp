#include "text/printable.h"

#include <cstdio>

#include "text/utf8.h"

namespace text {

namespace {

std::string escaped(const char* format, unsigned value) {
    char out[12];
    std::snprintf(out, sizeof out, format, value);
    return out;
}

} // namespace

std::string printable(std::string_view s, bool lines) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const Utf8Char ch = decodeUtf8(s, i);
        const auto byte = static_cast<unsigned char>(s[i]);
        if (!ch.valid) {
            out += escaped("\\x%02X", byte);
        } else if (lines && (byte == '\n' || byte == '\r')) {
            out += '\n';
            i += byte == '\r' && i + 1 < s.size() && s[i + 1] == '\n' ? 1 : 0;
        } else if (lines && byte == '\t') {
            out += '\t';
        } else if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
        } else if (ch.codePoint < 0x20 || ch.codePoint == 0x7F) {
            out += escaped("\\x%02X", ch.codePoint);
        } else if (ch.codePoint >= 0x80 && ch.codePoint < 0xA0) {
            out += escaped("\\u%04X", ch.codePoint);
        } else {
            out.append(s, i, ch.length);
        }
        i += ch.length;
    }
    return out;
}

std::string hexBytes(std::string_view bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        out += escaped(out.empty() ? "%02X" : " %02X", c);
    }
    return out;
}

size_t columns(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); i += decodeUtf8(s, i).length) {
        ++n;
    }
    return n;
}

std::string padded(const std::string& s, size_t width) {
    const size_t used = columns(s);
    return s + std::string(width > used ? width - used : 0, ' ');
}

} // namespace text
