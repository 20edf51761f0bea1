#include "archive/text.h"

#include "text/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace archive {

namespace {

// The length of the run from `at` of bytes that stay as they are: printable ASCII, TAB, LF and
// well-formed characters from U+0080 up. Eight bytes at a time: a byte below 0x20, or one that
// adding 1 takes to 0x80 or more (0x7F and up), marks its top bit; the lowest mark is exact
// (carries only move up).
size_t plainRun(std::string_view s, size_t at) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    size_t i = at;
    while (i < s.size()) {
        if (i + 8 <= s.size()) {
            uint64_t w = 0;
            std::memcpy(&w, s.data() + i, 8);
            const uint64_t marks = (((w - kOnes * 0x20) & ~w) | (w + kOnes) | w) & kHigh;
            if (marks == 0) {
                i += 8;
                continue;
            }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            i += static_cast<size_t>(__builtin_ctzll(marks)) / 8;
#endif
        }
        const auto c = static_cast<unsigned char>(s[i]);
        // Two-byte characters (Latin letters) are the common ones; the rest is checked whole.
        if (c >= 0xC2 && c <= 0xDF && i + 1 < s.size() &&
            (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
            i += 2;
            continue;
        }
        if (c >= 0x80) {
            const text::Utf8Char ch = text::decodeUtf8(s, i);
            if (!ch.valid) {
                break;
            }
            i += ch.length;
            continue;
        }
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
            break;
        }
        ++i;
    }
    return i - at;
}

// The first byte from `at` on that htmlEscape replaces, or s.size(). Texts are long and
// such bytes rare: sixteen bytes are compared at a time.
size_t nextSpecial(std::string_view s, size_t at, bool lineBreaks) {
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i quot = _mm_set1_epi8('"');
    const __m128i apos = _mm_set1_epi8('\'');
    const __m128i lf = lineBreaks ? _mm_set1_epi8('\n') : amp;
    for (; at + 16 <= s.size(); at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, lt)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, quot))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, apos), _mm_cmpeq_epi8(v, lf)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) {
            return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
    }
#endif
    for (; at < s.size(); ++at) {
        const char c = s[at];
        if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'' ||
            (c == '\n' && lineBreaks)) {
            return at;
        }
    }
    return at;
}

} // namespace

std::string cleanText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t run = plainRun(s, i);
        out.append(s, i, run);
        i += run;
        if (i == s.size()) {
            break;
        }
        // What ends a run: a byte that is no UTF-8, a CR, or a control character or DEL,
        // which is dropped.
        if (static_cast<unsigned char>(s[i]) >= 0x80) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (s[i] == '\r') {
            out += '\n';
            i += i + 1 < s.size() && s[i + 1] == '\n' ? 2 : 1;
        } else {
            ++i;
        }
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

std::string htmlEscape(std::string_view s, bool lineBreaks) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    size_t from = 0;
    for (size_t at = nextSpecial(s, 0, lineBreaks); at < s.size();
         at = nextSpecial(s, from, lineBreaks)) {
        out.append(s, from, at - from);
        from = at + 1;
        switch (s[at]) {
        case '\n':
            out += "<br>";
            break;
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
        default:
            out += "&#39;";
        }
    }
    out.append(s, from, std::string_view::npos);
    return out;
}

std::optional<uint64_t> decimal(std::string_view s, size_t most) {
    if (s.empty() || s.size() > std::min<size_t>(most, 19)) {
        return std::nullopt;
    }
    uint64_t n = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n;
}

std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, " ");
    }
    return digits;
}

std::string counted(uint64_t n, const std::string& noun) {
    return grouped(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string inTheWay(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& writtenBy) {
    return folder + ": holds " + listed(names) + ", which " + writtenBy + "; move " +
           (names.size() == 1 ? "it" : "them") + " away or choose another folder";
}

std::string listed(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return out;
}

std::string firstFew(const std::vector<std::string>& names, size_t shown) {
    std::string out;
    for (size_t i = 0; i < names.size() && i <= shown; ++i) {
        out += (i == 0 ? "" : ", ") + (i < shown ? names[i] : std::string("..."));
    }
    return out;
}

} // namespace archive
