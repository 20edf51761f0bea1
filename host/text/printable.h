#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// `s` safe to print on a terminal in one line: control characters are escaped (\n, \r, \t,
/// \x1B for the other C0 bytes and DEL, \u009B for C1 characters) and so are bytes that are
/// no UTF-8 (\xE4); everything else is kept. With `lines`, a line end (LF, CRLF or a lone CR)
/// stays a line break and a TAB stays.
std::string printable(std::string_view s, bool lines = false);

/// The bytes of `bytes` in hex, separated by spaces ("72 65 67 00"), for messages about what a
/// file holds instead of what was expected.
std::string hexBytes(std::string_view bytes);

/// How many columns `s` (UTF-8) takes: one per character.
size_t columns(std::string_view s);

/// `s` followed by spaces up to `width` columns.
std::string padded(const std::string& s, size_t width);

} // namespace text
