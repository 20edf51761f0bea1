#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regtree.h"

namespace mkwin {

/// Registry value types as Windows numbers them.
enum HiveValueType : uint32_t {
    kHiveNone = 0,
    kHiveSz = 1,
    kHiveExpandSz = 2,
    kHiveBinary = 3,
    kHiveDword = 4,
    kHiveDwordBigEndian = 5,
    kHiveMultiSz = 7,
    kHiveQword = 11,
};

/// The size of the hive that emptyHive() answers: a header block and one bin.
constexpr size_t kEmptyHiveSize = 8192;

/// The bytes of a valid registry hive file holding only its root key, named `rootName`
/// (at most 255 Latin-1 characters; longer names are cut).
std::string emptyHive(std::string_view rootName = "ROOT");

/// Writes emptyHive() to `path`; false with a one-line `error` when the file cannot be written.
bool writeEmptyHive(const std::string& path, std::string& error);

/// Writes `tree` as the hive file `path`: an empty hive with the tree's keys (in regedit's
/// order) and values added through hivex; texts are stored as UTF-16LE with their terminator.
/// False with a one-line `error` naming the file and what failed.
bool writeHive(const std::string& path, const RegistryTree& tree, std::string& error);

} // namespace mkwin
