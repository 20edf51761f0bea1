#pragma once

#include <string>
#include <vector>

namespace guitest {

/// One ICQ account of the installation.
struct IcqOwner {
    std::string nickname;
    std::string uin;
};

/// A small Windows installation for the window's tests.
struct InstallationSpec {
    /// User profiles (Users/<name>/NTUSER.DAT); ICQ's settings are in the first one's hive.
    std::vector<std::string> users = {"Alice"};
    /// Whether the machine's registry names ICQ's program.
    bool icqInstalled = true;
    /// Owner files in ICQ's uin folder; each owner has personal sounds: ICQMessage names
    /// kSoundFile, ICQALAdmin a file that does not exist.
    std::vector<IcqOwner> owners;
};

/// The sound file every owner's ICQMessage names, below the root.
const char* const kSoundFile = "Program Files/ICQ/Sounds/msg.wav";
/// Its bytes.
const char* const kSoundBytes = "RIFF-test-sound";

/// Builds the installation under `root`; false with `error` when something cannot be written.
bool buildInstallation(const std::string& root, const InstallationSpec& spec, std::string& error);

} // namespace guitest
