#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layeredregistry.h"

namespace vqrt {

/// The keys and values of one registry export (.reg file) as regedit would import them:
/// "REGEDIT4" files in the installation's 8-bit code page, "Windows Registry Editor Version
/// 5.00" files in UTF-16LE (or UTF-8). Deleted keys and values hide what lies below. An export
/// without HKEY_CURRENT_USER (the whole registry of Windows 95, 98 or ME) answers for it from
/// HKEY_USERS: the one user there besides .DEFAULT, else .DEFAULT.
class RegFile : public RegistryLayer {
public:
    /// A file larger than this is refused.
    static constexpr size_t kMaxFileBytes = size_t{128} << 20;
    /// A value spanning more text than this (continuation lines included) is skipped.
    static constexpr size_t kMaxValueText = size_t{16} << 20;

    /// Reads the export at `path`. Null with a one-line `error` when the file cannot be read or
    /// is no registry export; lines that cannot be understood are skipped into warnings().
    static std::unique_ptr<RegFile> load(const std::string& path, const std::string& codepage,
                                         std::string& error);
    /// Parses the bytes of an export; `name` stands for the file in messages.
    static std::unique_ptr<RegFile> parse(std::string_view bytes, const std::string& name,
                                          const std::string& codepage, std::string& error);

    /// 4 for "REGEDIT4", 5 for "Windows Registry Editor Version 5.00".
    int version() const { return version_; }
    /// One line per skipped line: "file.reg:12: expected ..., found ...".
    std::vector<std::string> warnings() const override { return warnings_; }

    RegLookup lookup(RegRoot root, const std::vector<std::string>& key,
                     std::string_view valueName) const override;

private:
    // A key as the file leaves it. `wiped`: the key was deleted, so only values set after the
    // deletion exist in it and below it. A value mapped to nothing was deleted.
    struct KeyState {
        bool wiped = false;
        std::map<std::string, std::optional<RegValue>> values;
    };
    class Parser;
    // Lets only load() and parse() construct, through make_unique.
    struct Token {};

public:
    explicit RegFile(Token) {}

private:
    static std::string mapKey(RegRoot root, const std::vector<std::string>& key);
    void deleteKey(const std::string& mapped);
    void chooseUserBelowUsers();

    int version_ = 0;
    std::vector<std::string> warnings_;
    // Keyed by mapKey(): the root's number and the folded components, joined by backslashes.
    std::map<std::string, KeyState> keys_;
    // Where HKEY_CURRENT_USER is answered from below HKEY_USERS; empty: from itself.
    std::vector<std::string> userBelowUsers_;
};

} // namespace vqrt
