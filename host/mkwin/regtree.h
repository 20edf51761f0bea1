#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mkwin {

/// One registry value as the builder will write it.
struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    /// True when `data` is UTF-8 text (REG_SZ / REG_EXPAND_SZ given as text), which each output
    /// encodes its own way; false when `data` holds the exact data bytes.
    bool textual = false;
    std::string data;
    /// Where the value comes from in the description, for messages ("icq.server.host").
    std::string origin;
};

/// A key with its values (in the order set) and subkeys (in the order created).
struct RegistryKey {
    std::string name;
    std::vector<RegistryValue> values;
    std::vector<RegistryKey> children;
};

/// The keys and values of one hive (or of one root of an export), built up in memory. Key and
/// value names match without regard to case (text::foldName), as in Windows; the first spelling of
/// a key stays, and setting a value again replaces it in place.
class RegistryTree {
public:
    /// The key at the backslash-separated `path` below the root, created with its parents.
    RegistryKey& key(std::string_view path);
    /// REG_SZ from UTF-8. `origin` names the value's place in the description, for messages.
    void setString(std::string_view path, const std::string& name, const std::string& utf8,
                   const std::string& origin = {});
    /// REG_EXPAND_SZ from UTF-8.
    void setExpandString(std::string_view path, const std::string& name, const std::string& utf8,
                         const std::string& origin = {});
    /// REG_DWORD, little-endian.
    void setDword(std::string_view path, const std::string& name, uint32_t value,
                  const std::string& origin = {});
    /// Any type with exactly the given data bytes.
    void setRaw(std::string_view path, const std::string& name, uint32_t type,
                const std::string& bytes, const std::string& origin = {});

    const RegistryKey& root() const { return root_; }
    /// True while no key or value has been added.
    bool empty() const { return root_.children.empty() && root_.values.empty(); }

private:
    void set(std::string_view path, RegistryValue value);

    RegistryKey root_;
};

/// The subkeys of `key` in the order regedit lists them: by name without regard to case.
std::vector<const RegistryKey*> sortedChildren(const RegistryKey& key);

} // namespace mkwin
