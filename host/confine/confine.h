#pragma once

#include <string>
#include <vector>

namespace vqrt {

/// What a confined process may still reach; the kernel refuses every other file. Paths that do
/// not exist when the process is confined are left out.
struct ConfinementPlan {
    /// Folders whose files may be read and whose entries may be listed, at any depth.
    std::vector<std::string> readTrees;
    /// Single files that may be read.
    std::vector<std::string> readFiles;
    /// Devices that may be read, written and controlled (a terminal's echo).
    std::vector<std::string> devices;
    /// Folders in which anything but devices, sockets and links may be made, written,
    /// renamed and removed, at any depth.
    std::vector<std::string> writeTrees;
    /// Folders beneath which empty folders may be removed (the parent of a scratch folder).
    std::vector<std::string> removeDirTrees;
};

/// How a confinement went.
struct Confinement {
    /// True when the kernel enforces the plan from now on.
    bool enforced = false;
    /// The kernel's Landlock ABI version; 0 without Landlock.
    int abi = 0;
    /// Why the plan is not enforced, in one line; empty when it is.
    std::string reason;
};

/// What an import reads beside the installation: the dynamic linker's cache, the locales and
/// message catalogues, iconv's modules, the user and group files (name services other than
/// files stay out of reach: a user they alone know resolves to nothing), the zone database,
/// fontconfig's files and fonts, this process's /proc entries, /dev/null and the terminal.
ConfinementPlan runtimePlan();

/// The plan as lines ("read beneath /usr/share/zoneinfo"), existing paths only.
std::vector<std::string> describePlan(const ConfinementPlan& plan);

/// What `program` prints of its confinement with -v: "PROGRAM: confined with Landlock (ABI 3)
/// to:" and the plan's lines indented, or "PROGRAM: not confined: REASON" and `otherwise`.
std::string confinementReport(const std::string& program, const Confinement& confinement,
                              const ConfinementPlan& plan, const std::string& otherwise = {});

/// The highest Landlock ABI version the kernel offers; 0 when it offers none.
int landlockAbi();

/// Sets no_new_privs and restricts the calling thread, and every thread and process it starts
/// afterwards, to the plan with Landlock, handling every file-system right the kernel's ABI
/// knows. Threads started before are not restricted. Without Landlock nothing changes and the
/// answer says why.
Confinement confineProcess(const ConfinementPlan& plan);

} // namespace vqrt
