#pragma once

#include <string>
#include <string_view>

namespace vqrt {

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text);

/// Texts from a Windows disk arrive in its ANSI code page, or already as UTF-8. Valid UTF-8 is
/// kept; anything else is decoded from `codepage` (an iconv name such as "CP1252"). Bytes the
/// code page does not define become U+FFFD, so the answer is always valid UTF-8.
std::string toUtf8(std::string_view text, const std::string& codepage);

/// Converts UTF-16LE bytes to UTF-8, stopping at the first NUL unit; unpaired surrogates and
/// an odd last byte become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

/// True when iconv knows `codepage` as a source encoding.
bool isKnownCodepage(const std::string& codepage);

} // namespace vqrt
