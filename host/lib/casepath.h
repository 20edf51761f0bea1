#pragma once

#include <optional>
#include <string>

namespace vqrt {

/// Finds `relative` (components separated by '/' or '\\') below the existing directory `base`,
/// matching every component without regard to case (text::foldName), as NTFS does. An exact match
/// wins over a case-folded one; among case-folded matches the first in byte order wins. A short
/// name Windows made for a long one ("PROGRA~1") finds the one long name that fits it, none when
/// several do. Answers the full local path, or nothing when some component does not exist.
std::optional<std::string> resolveNoCase(const std::string& base, const std::string& relative);

/// Like resolveNoCase below `base`, which lies inside `root`, but every component found must
/// lie inside `root` after symbolic links are followed: a component that leads outside, or a
/// link that cannot be followed, answers nothing, so no folder outside `root` is ever listed.
std::optional<std::string> resolveInside(const std::string& root, const std::string& base,
                                         const std::string& relative);

/// The absolute path with every symbolic link followed; nothing when it does not exist.
std::optional<std::string> realPath(const std::string& path);

/// True when the existing `path` really lies inside `root` (or is it), after every symbolic
/// link on the way is followed; false for a dangling link or a loop, which cannot be checked.
bool staysInside(const std::string& root, const std::string& path);

} // namespace vqrt
