#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "icqdb.h"
#include "localtree.h"
#include "regtree.h"
#include "windowskeys.h"

namespace mkwin {

/// How the registry of an installation is written.
enum class RegistryFormat {
    Hive, ///< SOFTWARE and each user's NTUSER.DAT
    Reg4, ///< one REGEDIT4 export (or two: machine and user), no hives
    Reg5, ///< the same as "Windows Registry Editor Version 5.00" exports
};

/// A file the builder writes.
struct PlannedFile {
    enum class Kind { Bytes, Wav, Database };
    RelativePath path;
    Kind kind = Kind::Bytes;
    /// The content of a Bytes file.
    std::string bytes;
    /// The pitch of a Wav file (see beepWav).
    uint32_t tone = 0;
    /// What a Database file holds.
    IcqDatabaseContent database;
};

/// A user profile and its registry hive.
struct UserHive {
    std::string name;
    RegistryTree hive;
};

/// One ICQ owner as written, for telling what an import should find.
struct OwnerPlan {
    /// The nickname in the installation's code page; nothing when the owner file has none.
    std::optional<std::string> nickname;
    /// The UIN as the owner file holds it.
    std::string uin;
    bool crlf = true;
    RelativePath ownerFile;
    /// An "ICQALAdmin" personal sound is set: the owner has sound settings of its own.
    bool personalSounds = false;
};

/// Everything an installation consists of, checked and converted, ready to be written.
struct Installation {
    Layout layout = Layout::Xp;
    RegistryFormat registry = RegistryFormat::Hive;
    std::string codepage = "CP1252";
    /// The .reg export(s) when the registry is exported; `regUserFile` empty: one file.
    RelativePath regFile;
    RelativePath regUserFile;

    /// HKEY_LOCAL_MACHINE\SOFTWARE.
    RegistryTree software;
    /// HKEY_LOCAL_MACHINE\SYSTEM; written only when something is in it.
    RegistryTree system;
    std::vector<UserHive> users;
    /// The template profile's hive ("Default User" or "Default"), written with the hives.
    UserHive templateProfile;
    /// The user whose HKEY_CURRENT_USER holds ICQ's keys; none when there is no such user.
    std::optional<size_t> icqUser;
    /// HKEY_CURRENT_USER when there is no ICQ user: exported to .reg files, never a hive.
    RegistryTree looseUser;

    /// Folders to create (files create their own folders).
    std::vector<RelativePath> folders;
    std::vector<PlannedFile> files;

    /// What ICQ the description has (false: no "icq" at all).
    bool icq = false;
    bool icqInstalled = false;
    std::optional<uint32_t> icqVersion;
    RelativePath icqFolder;
    std::vector<OwnerPlan> owners;

    /// The HKEY_CURRENT_USER that ICQ's keys go to.
    RegistryTree& currentUser() { return icqUser ? users[*icqUser].hive : looseUser; }
    const RegistryTree& currentUser() const { return icqUser ? users[*icqUser].hive : looseUser; }
};

/// Choices that override the description.
struct DescriptionOptions {
    std::optional<RegistryFormat> registry;
    /// The description's "layout" word ("xp", "98", ...), checked as the description's is.
    std::optional<std::string> layout;
};

/// Reads a description (see installation.h for its form). Nothing, with one line in `error`
/// naming the JSON path and what was expected versus found, when it is wrong.
std::optional<Installation> parseDescription(const nlohmann::json& description,
                                             const DescriptionOptions& options, std::string& error);

/// "hive", "reg4" or "reg5" as a format.
std::optional<RegistryFormat> parseRegistryFormat(const std::string& word);

} // namespace mkwin
