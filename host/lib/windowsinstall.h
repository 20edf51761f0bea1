#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vqrt {

/// A user profile folder of a Windows installation.
struct UserProfile {
    /// The profile folder's name as it is on disk ("Alice").
    std::string name;
    /// Local path of the profile folder.
    std::string profileDir;
    /// Local path of its NTUSER.DAT (the user's registry hive), or on Windows 95, 98 and ME of
    /// its USER.DAT.
    std::string ntuserDat;
};

/// Whether `root` holds a Windows folder (Windows or WINNT, in any case): a Windows
/// installation, even one whose registry cannot be read.
bool holdsWindowsFolder(const std::string& root);

/// The name of the user whose registry is the Windows folder's USER.DAT on Windows 95, 98 and
/// ME: everybody's without user profiles, the template of new profiles with them.
inline constexpr const char* kWin9xDefaultUser = "Default";

/// What a mounted Windows system volume holds: the Windows folder, the machine's SOFTWARE
/// hive (or Windows 95, 98 and ME's SYSTEM.DAT) and the user profiles, every path component
/// found without regard to case.
class WindowsInstallation {
public:
    /// Looks at `root`. Usable when it holds the SOFTWARE hive, SYSTEM.DAT or USER.DAT, or at
    /// least one user profile;
    /// otherwise nothing, with a one-line `error` naming the path, what was expected and what
    /// was found.
    static std::optional<WindowsInstallation> locate(const std::string& root, std::string& error);

    /// The root as given.
    const std::string& root() const { return root_; }
    /// Local path of the Windows folder (Windows, WINNT, ...); empty when there is none.
    const std::string& windowsDir() const { return windowsDir_; }
    /// Local path of System32/config/SOFTWARE, or of SYSTEM.DAT when win9x(); empty when the
    /// hive is missing.
    const std::string& softwareHive() const { return softwareHive_; }
    /// True for Windows 95, 98 or ME, whose registry is SYSTEM.DAT and each user's USER.DAT.
    bool win9x() const { return win9x_; }
    /// Local path of System32/config/SYSTEM beside it; empty when that hive is missing.
    const std::string& systemHive() const { return systemHive_; }
    /// The users: profiles under Users or Documents and Settings that hold an NTUSER.DAT,
    /// except the system's own profiles (Default, All Users, Public, ...), in name order
    /// without regard to case. On Windows 95, 98 and ME the profiles under the Windows
    /// folder's Profiles that hold a USER.DAT, or kWin9xDefaultUser when there are none.
    const std::vector<UserProfile>& users() const { return users_; }
    /// The names of users(), separated by ", ".
    std::string userList() const;

    /// The profile whose HKEY_CURRENT_USER the run reads. `wanted` empty: the only user, or
    /// none when there is no user at all; an error listing them when there are several.
    /// Otherwise the profile named `wanted` without regard to case, the system's own profiles
    /// included. False with a one-line `error` when no profile fits.
    bool chooseUser(const std::string& wanted, std::optional<UserProfile>& chosen,
                    std::string& error) const;

private:
    WindowsInstallation() = default;
    void findUsers(const std::string& base);
    void findWin9xUsers();
    // The profiles in `dir` that hold `hiveName`, the system's own apart; a name met before is
    // kept once.
    void addProfiles(const std::string& dir, const char* hiveName);

    std::string root_;
    std::string windowsDir_;
    std::string softwareHive_;
    std::string systemHive_;
    bool win9x_ = false;
    std::vector<UserProfile> users_;
    std::vector<UserProfile> systemProfiles_;
};

} // namespace vqrt
