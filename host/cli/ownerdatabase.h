#pragma once

#include <string>
#include <vector>

class CArbiter;

namespace cli {

/// The chosen owner's contact database, found as the plug-in finds it: the owner's UIN from
/// their owner file, then `<UIN>.dat` in the database folder of the ICQ version and, when that
/// holds none, in the folders of the other versions.
struct OwnerDatabase {
    /// The owner's UIN as the owner file gives it, without its line end; empty when unknown.
    std::string uin;
    /// The database the plug-in reads, or the one it looked for first; empty when no path can
    /// be built (no ICQ folder, a UIN that would name another folder, a path too long).
    std::string path;
    /// True when `path` is a regular file: the plug-in opens it.
    bool found = false;
    /// Why there is no path, or, once checked, why `path` cannot be read; empty otherwise.
    std::string problem;
};

/// An owner file of the installation, as the plug-in reads it.
struct OwnerFile {
    /// The nickname's exact bytes (a CRLF owner file leaves its carriage return in them).
    std::string nickname;
    /// The UIN without its line end.
    std::string uin;
    std::string path;
    /// False when a later owner file has the same nickname: the plug-in keeps one owner per
    /// nickname, the last one the finder lists, so the options page cannot choose this one.
    bool reachable = true;
};

/// The owner files the plug-in would list (a nickname and a UIN, both not empty), ordered as
/// its page lists them: by the nickname's bytes, owners of one nickname in the finder's order.
std::vector<OwnerFile> findOwnerFiles(CArbiter& host);

/// The database of the owner with `uin`, looked for through the services the host hands to
/// the plug-in. The file itself is not opened: it may lead outside the installation, which
/// the process may read only once it is confined.
OwnerDatabase findOwnerDatabase(CArbiter& host, const std::string& uin);

/// Checks whether the database can be read as the process can read it now: once confined, as
/// the plug-in was when it read the contacts.
void checkOwnerDatabase(OwnerDatabase& database);

} // namespace cli
