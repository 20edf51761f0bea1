#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "regtree.h"

namespace mkwin {

/// What data blocks hold at most by default: real files keep theirs to a few KiB, so even a
/// small sample spreads its keys over several.
constexpr size_t kWin9xBlockBytes = 4096;

/// The bytes of a Windows 95, 98 or ME registry file (SYSTEM.DAT, USER.DAT) holding `tree`'s
/// keys and values below its root key: the "CREG" header, the key area ("RGKN") linking the
/// keys, and data blocks ("RGDB") of at most `blockBytes` bytes (a larger record gets a block
/// of its own) with each key's name and values, texts in `codepage`. Nothing, with a one-line
/// `error`, when a text cannot be written in the code page or a name or value is too long.
std::optional<std::string> win9xRegistryFile(const RegistryTree& tree, const std::string& codepage,
                                             std::string& error,
                                             size_t blockBytes = kWin9xBlockBytes);

} // namespace mkwin
