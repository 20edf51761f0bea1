#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct hive_h;

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

/// UTF-16LE bytes of a UTF-8 text, with the two-byte terminator when `terminate` is set.
/// Malformed UTF-8 bytes become U+FFFD.
std::string utf16le(std::string_view utf8, bool terminate = true);

/// Builds a hive file: starts from an empty hive, adds keys and values through hivex and
/// writes the result with commit(). The first failure is kept in error(); every call after
/// it does nothing and answers false.
class HiveBuilder {
public:
    /// Writes an empty hive to `path` and opens it for writing.
    explicit HiveBuilder(std::string path);
    ~HiveBuilder();
    HiveBuilder(const HiveBuilder&) = delete;
    HiveBuilder& operator=(const HiveBuilder&) = delete;

    /// True while no call has failed.
    bool ok() const { return error_.empty(); }
    /// One line naming the hive file and what failed; empty while ok().
    const std::string& error() const { return error_; }

    /// Creates the key `keyPath` (backslash-separated, below the root) and its missing parents.
    bool addKey(const std::string& keyPath);
    /// REG_SZ: `utf8` stored as UTF-16LE with its terminator. An empty name is the default value.
    bool setString(const std::string& keyPath, const std::string& name, std::string_view utf8);
    /// REG_EXPAND_SZ, stored as setString() stores its text.
    bool setExpandString(const std::string& keyPath, const std::string& name,
                         std::string_view utf8);
    /// REG_DWORD, little-endian.
    bool setDword(const std::string& keyPath, const std::string& name, uint32_t value);
    /// A value of any type with exactly the given data bytes.
    bool setRaw(const std::string& keyPath, const std::string& name, uint32_t type,
                std::string_view bytes);
    /// Writes the hive to its file. The builder stays usable for further changes.
    bool commit();

private:
    struct HiveCloser {
        void operator()(hive_h* hive) const;
    };

    // The node of `keyPath`, created when missing; 0 after a failure.
    size_t node(const std::string& keyPath);
    bool fail(const std::string& what);

    std::string path_;
    std::string error_;
    std::unique_ptr<hive_h, HiveCloser> hive_;
};

} // namespace mkwin
