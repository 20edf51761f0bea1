#include "text/printable.h"

#include <cstdio>

#include "text/utf8.h"

namespace text {

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeUtf8(text, at);
        char escaped[8] = {};
        if (!c.valid) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
        } else if (c.codePoint == '\n' || c.codePoint == '\r' || c.codePoint == '\t') {
            const char letter = c.codePoint == '\n' ? 'n' : c.codePoint == '\r' ? 'r' : 't';
            std::snprintf(escaped, sizeof escaped, "\\%c", letter);
        } else if (c.codePoint < 0x20 || c.codePoint == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c.codePoint));
        } else if (c.codePoint >= 0x80 && c.codePoint < 0xA0) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c.codePoint));
        }
        if (escaped[0] != '\0') {
            out += escaped;
        } else {
            out.append(text, at, c.length);
        }
        at += c.length;
    }
    return out;
}

} // namespace text
