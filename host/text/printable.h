#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// `s` fit for a terminal: control characters (C0, DEL, C1) are shown escaped ("\t", "\n",
/// "\x1B", "\u009B"), as are bytes that are no UTF-8 ("\xE9"). With `lines`, a line end (LF,
/// CRLF or a lone CR) stays a line break and a TAB stays.
std::string printable(std::string_view s, bool lines = false);

/// How many columns `s` (UTF-8) takes: one per character.
size_t columns(std::string_view s);

/// `s` followed by spaces up to `width` columns.
std::string padded(const std::string& s, size_t width);

} // namespace text
