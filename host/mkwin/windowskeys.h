#pragma once

#include <string>
#include <vector>

#include "localtree.h"
#include "regtree.h"

namespace mkwin {

/// How a Windows version lays out its system volume.
enum class Layout { Xp, Vista, Seven, Nt, Win98 };

/// Folder names and identity of one layout.
struct LayoutInfo {
    const char* key;            ///< the description's word: "xp", "vista", "7", "nt", "98"
    const char* windowsDir;     ///< "WINDOWS", "Windows", "WINNT"
    const char* profilesDir;    ///< "Documents and Settings", "Users" or "WINDOWS\Profiles"
    const char* defaultProfile; ///< the profile new users are copied from
    const char* sharedProfile;  ///< "All Users" or "Public"
    const char* productName;
    const char* version;
    const char* build;
    const char* servicePack;
};

/// The facts of `layout`.
const LayoutInfo& layoutInfo(Layout layout);

/// The folder of the profile `user` (relative to the root).
RelativePath profileDir(Layout layout, const std::string& user);

/// The folders a fresh installation of `layout` has besides the user profiles.
std::vector<RelativePath> systemFolders(Layout layout);
/// The folders of one user profile (relative to the root).
std::vector<RelativePath> profileFolders(Layout layout, const std::string& user);

/// Machine-wide keys every installation of `layout` has (below HKLM\SOFTWARE), so that the
/// SOFTWARE hive looks like a real one. `owner` is the registered owner, taken from the
/// description at `ownerOrigin`.
void addMachineKeys(Layout layout, const std::string& owner, const std::string& ownerOrigin,
                    RegistryTree& software);
/// Keys of a user's own hive (NTUSER.DAT, USER.DAT) for the profile `user`, named in the
/// description at `origin`; an empty name gives the template profile's hive (on Windows 98
/// the Windows folder's USER.DAT, which is everybody's without profiles).
void addUserKeys(Layout layout, const std::string& user, const std::string& origin,
                 RegistryTree& hive);

} // namespace mkwin
