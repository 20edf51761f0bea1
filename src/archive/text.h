#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

/// Text fit for every export: well-formed UTF-8 (a stray byte becomes U+FFFD), CRLF and a
/// lone CR become LF, and other control characters than TAB and LF are dropped.
std::string cleanText(std::string_view s);

/// `s` without leading and trailing spaces, TABs and line ends.
std::string_view trimmed(std::string_view s);

/// `s` with & < > " ' as character references, for HTML text and attribute values; with
/// `lineBreaks`, each LF as <br>.
std::string htmlEscape(std::string_view s, bool lineBreaks = false);

/// The number that `s` spells in 1 to `most` decimal digits (at most 19), nothing else;
/// empty otherwise.
std::optional<uint64_t> decimal(std::string_view s, size_t most = 19);

/// `n` with its thousands grouped by spaces, as a person reads it: "7 081".
std::string grouped(uint64_t n);

/// `n` grouped and the noun, plural unless `n` is 1: "1 contact", "2 888 contacts".
std::string counted(uint64_t n, const std::string& noun);

/// The names as a sentence lists them: "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& names);

/// The first `shown` of the names joined by ", ", and "..." after them when there are more:
/// enough to show what a folder holds.
std::string firstFew(const std::vector<std::string>& names, size_t shown);

/// Why nothing was written into `folder`: "<folder>: holds a and b, which <writtenBy>; move
/// them away or choose another folder".
std::string inTheWay(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& writtenBy);

} // namespace archive
