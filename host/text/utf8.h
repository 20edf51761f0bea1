#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace text {

/// The character that stands for bytes that cannot be decoded.
constexpr uint32_t kReplacement = 0xFFFD;

/// One character of a UTF-8 text.
struct Utf8Char {
    /// The code point; U+FFFD when the bytes are no well-formed sequence.
    uint32_t codePoint = kReplacement;
    /// The bytes taken: the whole sequence, or 1 for a byte that starts none.
    size_t length = 1;
    /// False for a malformed, overlong, surrogate or past-U+10FFFF sequence.
    bool valid = false;
};

/// The character that starts at `text[at]` (`at` < text.size()).
Utf8Char decodeUtf8(std::string_view text, size_t at);

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text);

/// Appends the UTF-8 form of a code point (at most U+10FFFF) to `out`.
void appendUtf8(std::string& out, uint32_t codePoint);

/// The longest start of `text` of at most `limit` bytes that does not end inside a character.
/// Where `text` is no UTF-8 at the cut, it is cut at `limit`.
std::string_view cutUtf8(std::string_view text, size_t limit);

/// UTF-16LE bytes as UTF-8, up to the first NUL unit; unpaired surrogates and an odd last
/// byte become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

/// The UTF-16LE bytes of a UTF-8 text, without a terminator; bytes that are no UTF-8 become
/// U+FFFD.
std::string utf8ToUtf16le(std::string_view text);

} // namespace text
