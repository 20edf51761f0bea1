#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "layeredregistry.h"

namespace vqrt {

class HiveFile;

/// The registry of a Windows installation read from its hive files:
/// HKEY_LOCAL_MACHINE\SOFTWARE\... and HKEY_LOCAL_MACHINE\SYSTEM\... from the machine's hives
/// of those names, HKEY_CURRENT_USER\... from the user's NTUSER.DAT. Other machine hives and
/// roots are absent. A missing or damaged hive reads as empty; warnings() tells the host about
/// it.
class HiveRegistry : public RegistryLayer {
public:
    /// Opens the hives. `codepage` decodes the 8-bit texts that damaged hives hold instead of
    /// UTF-16.
    explicit HiveRegistry(const HivePaths& hives, std::string codepage = "CP1252");
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

    /// One line for each given hive that could not be read whole: the file, what was expected
    /// and what was found. Includes damage met while reading keys.
    std::vector<std::string> warnings() const override;

    RegLookup lookup(RegRoot root, const std::vector<std::string>& key,
                     std::string_view valueName) const override;

private:
    std::unique_ptr<HiveFile> software_;
    std::unique_ptr<HiveFile> system_;
    std::unique_ptr<HiveFile> user_;
    std::string codepage_;
};

/// The text of REG_SZ / REG_EXPAND_SZ data as UTF-8: UTF-16LE up to its first NUL unit, with
/// or without a terminator and of any length. Data that cannot be UTF-16 (8-bit text with a
/// single NUL byte, as damaged hives hold) is decoded from `codepage`.
std::string hiveStringToUtf8(std::string_view data, const std::string& codepage);

} // namespace vqrt
