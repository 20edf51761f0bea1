#include "archive/text.h"

#include "text/utf8.h"

namespace archive {

std::string cleanText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const text::Utf8Char ch = text::decodeUtf8(s, i);
        const size_t n = ch.length;
        const char c = s[i];
        if (!ch.valid) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '\r') {
            out += '\n';
            i += i + 1 < s.size() && s[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        const bool control = n == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
        if (!control || c == '\n' || c == '\t') {
            out.append(s, i, n);
        }
        i += n;
    }
    return out;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string htmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string counted(uint64_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

} // namespace archive
