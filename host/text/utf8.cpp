#include "text/utf8.h"

#include <cstring>

namespace text {

namespace {

// True when the eight bytes at `p` are all below 0x80.
bool isAsciiWord(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

uint32_t unitAt(std::string_view bytes, size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

void appendUnit(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

} // namespace

Utf8Char decodeUtf8(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    size_t length;
    uint32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return {};
    }
    if (text.size() - at < length) {
        return {};
    }
    for (size_t k = 1; k < length; ++k) {
        if (!isContinuation(text[at + k])) {
            return {};
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {};
    }
    return {cp, length, true};
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        // Eight ASCII bytes at a time: most texts are ASCII throughout.
        while (text.size() - i >= 8 && isAsciiWord(text.data() + i)) {
            i += 8;
        }
        if (i == text.size()) {
            break;
        }
        const Utf8Char c = decodeUtf8(text, i);
        if (!c.valid) {
            return false;
        }
        i += c.length;
    }
    return true;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string_view cutUtf8(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    // A character has at most three continuation bytes: step back over no more.
    size_t end = limit;
    while (end > 0 && limit - end < 3 && isContinuation(text[end])) {
        --end;
    }
    return text.substr(0, isContinuation(text[end]) ? limit : end);
}

std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        const uint32_t unit = unitAt(bytes, i);
        i += 2;
        if (unit == 0) {
            return out;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < bytes.size()) {
            const uint32_t low = unitAt(bytes, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    if (i < bytes.size()) {
        appendUtf8(out, kReplacement);
    }
    return out;
}

std::string utf8ToUtf16le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8(text, i);
        i += c.length;
        if (c.codePoint >= 0x10000) {
            appendUnit(out, 0xD800 + ((c.codePoint - 0x10000) >> 10));
            appendUnit(out, 0xDC00 + ((c.codePoint - 0x10000) & 0x3FF));
        } else {
            appendUnit(out, c.codePoint);
        }
    }
    return out;
}

} // namespace text
