#pragma once

#include <string>
#include <string_view>

namespace text {

/// `text` safe to print on a terminal in one line: control characters are escaped (\n, \r,
/// \t, \x1B for the other C0 bytes and DEL, \u009B for C1 characters) and so are bytes that
/// are no UTF-8 (\xE4); everything else is kept.
std::string printable(std::string_view text);

} // namespace text
