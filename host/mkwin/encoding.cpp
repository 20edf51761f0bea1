#include "encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace mkwin {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return IconvHandle(nullptr);
    }
    return IconvHandle(cd);
}

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none.
size_t sequenceLength(std::string_view text, uint32_t* codePoint) {
    const auto c = static_cast<unsigned char>(text[0]);
    if (c < 0x80) {
        *codePoint = c;
        return 1;
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
        return 0;
    }
    if (text.size() < len) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(text[k]);
        if ((cc & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    *codePoint = cp;
    return len;
}

std::string describe(std::string_view sequence, uint32_t codePoint) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
        return number;
    }
    return std::string(number) + " \"" + std::string(sequence) + "\"";
}

} // namespace

bool isKnownCodepage(const std::string& codepage) {
    return !codepage.empty() && openIconv(codepage, "UTF-8") && openIconv("UTF-8", codepage);
}

bool isValidUtf8(std::string_view text) {
    uint32_t cp = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t len = sequenceLength(text.substr(i), &cp);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

std::optional<std::string> fromUtf8(std::string_view text, const std::string& codepage,
                                    std::string* problem) {
    IconvHandle cd = openIconv(codepage, "UTF-8");
    if (!cd) {
        if (problem != nullptr) {
            *problem = "unknown code page " + codepage;
        }
        return std::nullopt;
    }
    // One character at a time, so that the one the code page lacks can be named.
    std::string out;
    uint32_t cp = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t len = sequenceLength(text.substr(i), &cp);
        if (len == 0) {
            if (problem != nullptr) {
                *problem = "expected UTF-8 text, found a malformed byte sequence";
            }
            return std::nullopt;
        }
        std::string in(text.substr(i, len));
        char buffer[16];
        char* inPtr = in.data();
        size_t inLeft = in.size();
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done =
            iconv(static_cast<iconv_t>(cd.get()), &inPtr, &inLeft, &outPtr, &outLeft);
        const size_t flushed =
            iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, &outPtr, &outLeft);
        if (done == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1) || inLeft != 0) {
            if (problem != nullptr) {
                *problem = describe(text.substr(i, len), cp) + " cannot be written in " + codepage;
            }
            return std::nullopt;
        }
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        i += len;
    }
    return out;
}

std::string hostText(std::string_view bytes, const std::string& codepage) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    IconvHandle cd = openIconv("UTF-8", codepage);
    // Byte by byte, as the host decodes: a byte the code page leaves undefined costs only itself.
    std::string out;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            continue;
        }
        char in = c;
        char* inPtr = &in;
        size_t inLeft = 1;
        char buffer[8];
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        bool ok = false;
        if (cd) {
            iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
            ok = iconv(static_cast<iconv_t>(cd.get()), &inPtr, &inLeft, &outPtr, &outLeft) !=
                     static_cast<size_t>(-1) &&
                 inLeft == 0;
        }
        if (ok) {
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
        } else {
            out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

} // namespace mkwin
