#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vqrt {

/// Appends the UTF-8 form of a code point (at most U+10FFFF) to `out`.
void appendUtf8(std::string& out, uint32_t codePoint);

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text);

/// Texts from a Windows disk arrive in its ANSI code page, or already as UTF-8. Valid UTF-8 is
/// kept; anything else is decoded from `codepage` (an iconv name such as "CP1252"). Bytes the
/// code page does not define become U+FFFD, so the answer is always valid UTF-8.
std::string toUtf8(std::string_view text, const std::string& codepage);

/// toUtf8 for many texts of one code page: each byte from 0x80 up is decoded once, when the
/// decoder is made, instead of through iconv for every text.
class CodepageDecoder {
public:
    explicit CodepageDecoder(const std::string& codepage);
    /// The same as toUtf8(text, codepage).
    std::string toUtf8(std::string_view text) const;

private:
    /// The UTF-8 of each byte from 0x80 to 0xFF.
    std::array<std::string, 128> high_;
};

/// Converts UTF-16LE bytes to UTF-8, stopping at the first NUL unit; unpaired surrogates and
/// an odd last byte become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

/// True when iconv knows `codepage` as a source encoding.
bool isKnownCodepage(const std::string& codepage);

} // namespace vqrt
