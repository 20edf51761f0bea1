#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace guitest {

/// One ICQ account of the installation.
struct IcqOwner {
    std::string nickname;
    std::string uin;
};

/// A small Windows XP installation for the window's tests.
struct SampleInstallation {
    /// User profiles; ICQ's settings are in the first one's hive.
    std::vector<std::string> users = {"Alice"};
    /// Whether the machine's registry names ICQ's program.
    bool icqInstalled = true;
    /// ICQ's accounts. Each has personal sounds (ICQMessage names kSoundFile, ICQALAdmin a
    /// file that is missing) and a contact database with the one contact of kContact.
    std::vector<IcqOwner> owners;
};

/// The sound file every owner's ICQMessage names, below the root.
const char* const kSoundFile = "Program Files/ICQ/Sounds/msg.wav";

/// The installation builder's description of `sample`.
nlohmann::json describe(const SampleInstallation& sample);

/// Builds the installation under `root`; false with `error` when it cannot be written.
bool buildInstallation(const std::string& root, const SampleInstallation& sample,
                       std::string& error);

} // namespace guitest
