#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vqrt/registryreader.h"

namespace vqrt {

/// The predefined keys a registry path starts from.
enum class RegRoot { LocalMachine, CurrentUser, ClassesRoot, Users, CurrentConfig };

/// "HKEY_LOCAL_MACHINE" or "HKLM", "HKEY_CURRENT_USER" or "HKCU", and so on for the other
/// predefined keys, without regard to case; nothing for any other name.
std::optional<RegRoot> parseRegRoot(std::string_view name);

/// Of the keys `names` below HKEY_USERS (or at the root of a Windows 95, 98 or ME USER.DAT,
/// which is one), the current user's: the one besides .DEFAULT (the user logged on), else
/// .DEFAULT; nothing when there is neither or several others.
std::optional<std::string> currentUserBelowUsers(const std::vector<std::string>& names);

/// Value types as Windows numbers them.
enum RegType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegMultiSz = 7,
    kRegQword = 11,
};

/// A value as a layer holds it: texts decoded to UTF-8, 32-bit numbers with their sign.
struct RegValue {
    enum class Kind { Text, Number, Other };
    Kind kind = Kind::Other;
    uint32_t type = kRegNone;
    /// Valid UTF-8 when kind is Text.
    std::string text;
    /// The stored 32 bits taken as signed when kind is Number.
    int32_t number = 0;

    static RegValue makeText(uint32_t type, std::string text);
    static RegValue makeNumber(uint32_t type, int32_t number);
    static RegValue makeOther(uint32_t type);
};

/// What one layer knows about a value.
struct RegLookup {
    enum class State {
        Absent,  ///< this layer says nothing; the layers below decide
        Found,   ///< the value, which hides the layers below
        Deleted, ///< removed here (the value, its key or a parent key): hides the layers below
    };
    State state = State::Absent;
    RegValue value;

    static RegLookup found(RegValue value);
    static RegLookup deleted();
};

/// Answers of readString and readDword.
enum RegAnswer : int {
    kRegOk = 0,
    kRegNotFound = 2,     ///< no such key or value
    kRegWrongType = 13,   ///< the value exists with another type
    kRegBadArgument = 87, ///< a null pointer, no room for a terminator, or an unknown root
};

/// Copies `text` into `out` cut to at most outSize - 1 bytes, at a UTF-8 character boundary,
/// and terminates it. Writes nothing when outSize is 0.
void copyCut(std::string_view text, char* out, size_t outSize);

/// A source of registry values (hive files, a .reg export, a stack of layers) that is also a
/// complete CRegistryReader: readString and readDword answer from lookup(). They leave `out`
/// unchanged unless they answer kRegOk.
class RegistryLayer : public CRegistryReader {
public:
    /// What this layer says about `valueName` ("" for the default value) of the key whose
    /// components (as text::splitKeyPath gives them) are `key`.
    virtual RegLookup lookup(RegRoot root, const std::vector<std::string>& key,
                             std::string_view valueName) const = 0;
    /// Problems that did not stop the reading (a damaged hive, a skipped line), one line each:
    /// "PATH: what happened (cause)".
    virtual std::vector<std::string> warnings() const { return {}; }

    /// The text of a REG_SZ or REG_EXPAND_SZ value, cut to outSize - 1 bytes.
    int readString(const char* root, const char* keyPath, const char* valueName, char* out,
                   size_t outSize) final;
    /// A REG_DWORD (or big-endian dword) value, its sign kept.
    int readDword(const char* root, const char* keyPath, const char* valueName, long* out) final;

private:
    int find(const char* root, const char* keyPath, const char* valueName, RegValue& value) const;
};

/// Layers stacked on each other: a value comes from the topmost layer that knows it, and a
/// layer that deleted it hides those below.
class LayeredRegistry : public RegistryLayer {
public:
    /// Puts `layer` on top of the layers added before; a null layer is ignored.
    void addLayer(std::unique_ptr<RegistryLayer> layer);

    RegLookup lookup(RegRoot root, const std::vector<std::string>& key,
                     std::string_view valueName) const override;
    /// The warnings of all layers, bottom first.
    std::vector<std::string> warnings() const override;

private:
    std::vector<std::unique_ptr<RegistryLayer>> layers_; // bottom first
};

/// The hive files of an installation; an empty path: that hive is absent.
struct HivePaths {
    std::string software; ///< System32/config/SOFTWARE; on Windows 95, 98 and ME SYSTEM.DAT
    std::string system;   ///< System32/config/SYSTEM
    std::string user;     ///< the user's NTUSER.DAT; on Windows 95, 98 and ME USER.DAT
    /// The files are Windows 95, 98 or ME's, where SYSTEM.DAT holds all of HKEY_LOCAL_MACHINE.
    bool win9x = false;
};

/// The registry of a host run: the machine's hives and the user's hive at the bottom,
/// then the .reg exports in the order given, each overriding what lies below. A missing or
/// damaged hive and skipped .reg lines are warnings(); a .reg file that cannot be read or is
/// no registry export is an error: the answer is null and `error` says why.
std::unique_ptr<LayeredRegistry> openHostRegistry(const HivePaths& hives,
                                                  const std::vector<std::string>& regFiles,
                                                  const std::string& codepage, std::string& error);

} // namespace vqrt
