#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mkwin {

/// True when iconv can convert between UTF-8 and `codepage` (an iconv name such as "CP1252").
bool isKnownCodepage(const std::string& codepage);

/// True when `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

/// The bytes of the UTF-8 `text` in `codepage`. Nothing when the text is not valid UTF-8 or
/// holds a character the code page lacks; `*problem` then says so in a phrase
/// ("U+00E4 \"ä\" cannot be written in CP1251").
std::optional<std::string> fromUtf8(std::string_view text, const std::string& codepage,
                                    std::string* problem);

/// A text from the installation as a host shows it: valid UTF-8 is kept, anything else is
/// decoded from `codepage`, bytes it does not define becoming U+FFFD.
std::string hostText(std::string_view bytes, const std::string& codepage);

} // namespace mkwin
