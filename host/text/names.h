#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

/// The form in which Windows key, value and file names are compared without regard to case:
/// UTF-8 with ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals lowered. Bytes that
/// are not UTF-8 are kept, and every character keeps its length, so a folded name has the
/// same byte positions as the name.
std::string foldName(std::string_view name);

/// The components of a backslash-separated key path; empty components (from a leading,
/// doubled or trailing backslash) are dropped.
std::vector<std::string> splitKeyPath(std::string_view path);

/// The components of a file path separated by backslashes or slashes; empty and "."
/// components are dropped, ".." is kept for the caller to judge.
std::vector<std::string> splitFilePath(std::string_view path);

} // namespace text
