#pragma once

#include <string>

#include "support/fakehost.h"
#include "support/tempdir.h"

namespace testsupport {

/// The text of an ICQ owner file (".uin") with the given line end.
std::string ownerFileText(const std::string& nickname, const std::string& uin,
                          const std::string& lineEnd = "\n");

/// A Windows tree with ICQ in "C:\Program Files\ICQ" under a temporary folder, and a fake host
/// whose registry says so.
struct IcqInstallation {
    IcqInstallation();

    /// Registers ICQ.exe and, when `version` is not 0, "ICQ Version".
    void install(long version = 2000);
    /// Writes uin/<fileName> and, with `personalSounds`, an "ICQALAdmin" sound for the owner.
    void addOwner(const std::string& fileName, const std::string& nickname, const std::string& uin,
                  bool personalSounds = false, const std::string& lineEnd = "\n");
    /// Local path of a file below the ICQ folder ("uin/a.uin", "2000a/1.dat").
    std::string icqFile(const std::string& relative) const;

    TempDir dir;
    FakeHost host;
};

} // namespace testsupport
