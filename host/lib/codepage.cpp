#include "codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

namespace vqrt {

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

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// True when the eight bytes at `p` are all below 0x80.
bool isAsciiWord(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openToUtf8(const std::string& codepage) {
    iconv_t cd = iconv_open("UTF-8", codepage.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return IconvHandle(nullptr);
    }
    return IconvHandle(cd);
}

} // namespace

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        // Eight ASCII bytes at a time: most texts are ASCII throughout.
        while (n - i >= 8 && isAsciiWord(text.data() + i)) {
            i += 8;
        }
        if (i == n) {
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

namespace {

// The UTF-8 of one byte from 0x80 up in the code page of `cd`; U+FFFD where it has none.
std::string decodeHighByte(iconv_t cd, unsigned char c) {
    std::string out;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        appendUtf8(out, kReplacement);
        return out;
    }
    char in[1] = {static_cast<char>(c)};
    char buf[8];
    char* inPtr = in;
    size_t inLeft = 1;
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) {
        appendUtf8(out, kReplacement);
    } else {
        out.assign(buf, sizeof buf - outLeft);
    }
    return out;
}

} // namespace

std::string toUtf8(std::string_view text, const std::string& codepage) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    return CodepageDecoder(codepage).toUtf8(text);
}

CodepageDecoder::CodepageDecoder(const std::string& codepage) {
    IconvHandle cd = openToUtf8(codepage);
    if (!cd) {
        cd = openToUtf8("CP1252");
    }
    const iconv_t handle = cd ? static_cast<iconv_t>(cd.get()) : reinterpret_cast<iconv_t>(-1);
    for (unsigned c = 0x80; c <= 0xFF; ++c) {
        high_[c - 0x80] = decodeHighByte(handle, static_cast<unsigned char>(c));
    }
}

std::string CodepageDecoder::toUtf8(std::string_view text) const {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    // Byte by byte, so that a byte the code page leaves undefined costs only itself.
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += high_[c - 0x80];
        }
    }
    return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) |
                        (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        i += 2;
        if (unit == 0) {
            return out;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < bytes.size()) {
                const uint32_t low =
                    static_cast<unsigned char>(bytes[i]) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    i += 2;
                    appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    continue;
                }
            }
            appendUtf8(out, kReplacement);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    if (i < bytes.size()) {
        appendUtf8(out, kReplacement);
    }
    return out;
}

bool isKnownCodepage(const std::string& codepage) {
    return static_cast<bool>(openToUtf8(codepage));
}

} // namespace vqrt
