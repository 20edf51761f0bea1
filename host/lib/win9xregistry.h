#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "layeredregistry.h"

namespace vqrt {

/// One registry file of Windows 95, 98 or ME (SYSTEM.DAT, USER.DAT: "CREG"), read whole:
/// a key area ("RGKN") that links the keys into a tree, and data blocks ("RGDB") that hold
/// each key's name and values, found by the key's number. Texts are in the installation's
/// code page. Damage ends the reading of the keys it touches, never the file's: what could
/// be read stays, and problem() says what could not.
class Win9xRegistryFile {
public:
    /// A larger file is refused (the registries of these systems stay far below).
    static constexpr size_t kMaxFileBytes = size_t{64} << 20;
    /// Keys deeper than this are left out: no real registry nests so far.
    static constexpr size_t kMaxDepth = 64;

    /// Reads the file at `path`; a file that is missing, unreadable or no such registry is
    /// empty with problem() saying so.
    static Win9xRegistryFile load(const std::string& path, const std::string& codepage);
    /// load(), and when the file cannot be read whole, the copy Windows made of it when it last
    /// started well (SYSTEM.DA0 beside SYSTEM.DAT, USER.DA0 beside USER.DAT), if that one can
    /// be; problem() then names both.
    static Win9xRegistryFile loadOrBackup(const std::string& path, const std::string& codepage);
    /// Reads the bytes of a file; `name` stands for it in messages.
    static Win9xRegistryFile parse(std::string_view bytes, const std::string& name,
                                   const std::string& codepage);

    /// One line for what could not be read ("PATH: damaged (…)"); empty when all was read.
    const std::string& problem() const { return problem_; }
    /// The value `valueName` of the key whose components are `key` (the root's own values for
    /// none); null when there is no such key or value.
    const RegValue* find(const std::vector<std::string>& key, std::string_view valueName) const;
    /// True when the key exists.
    bool hasKey(const std::vector<std::string>& key) const;
    /// The names of the root key's subkeys, as the file spells them.
    std::vector<std::string> topKeys() const;

private:
    // Names are keyed folded (text::foldName), as Windows matches them without regard to case.
    struct Key {
        std::string name;
        std::map<std::string, RegValue> values;
        std::map<std::string, Key> children;
    };
    class Reader;

    const Key* keyAt(const std::vector<std::string>& key) const;

    Key root_;
    std::string problem_;
};

/// The registry of a Windows 95, 98 or ME installation: HKEY_LOCAL_MACHINE\... from
/// SYSTEM.DAT, HKEY_CURRENT_USER\... from the user's USER.DAT (the Windows folder's own, whose
/// keys lie below .DEFAULT, or a profile's). Other roots are absent; so is a file not given.
class Win9xRegistry : public RegistryLayer {
public:
    Win9xRegistry(const std::string& systemDat, const std::string& userDat,
                  const std::string& codepage);

    /// One line for each file that could not be read whole.
    std::vector<std::string> warnings() const override;

    RegLookup lookup(RegRoot root, const std::vector<std::string>& key,
                     std::string_view valueName) const override;

private:
    Win9xRegistryFile machine_;
    Win9xRegistryFile user_;
    // Where HKEY_CURRENT_USER begins in user_: ".DEFAULT", or nothing.
    std::vector<std::string> userBase_;
};

} // namespace vqrt
