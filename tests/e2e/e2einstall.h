#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/process.h"
#include "support/tempdir.h"

namespace e2e {

using Json = nlohmann::ordered_json;

/// What the user chose on the command line, as the expected record sees it.
struct Choices {
    std::string owner; ///< nickname as listed; empty: the first owner
    std::string password = "secret";
    bool server = true;
    bool userSettings = true;
    bool contacts = true;
    bool overwrite = false;
    bool sounds = true;
    bool defaultSounds = false;
};

/// The command-line switches for `choices` (owner and password excluded).
std::vector<std::string> switches(const Choices& choices);

/// How a run of tolvane-import is started.
struct RunOptions {
    /// A program with its arguments that runs the command given after them (setpriv, a shell
    /// that mounts first); empty: tolvane-import runs directly.
    std::vector<std::string> wrapper;
    /// Extra environment variables.
    std::map<std::string, std::string> environment;
};

/// How to run tolvane-import as a user for whom permission bits count: as it is when the tests
/// run as one; when they run as root, as user nobody through setpriv, with `area` opened to
/// everyone and a runtime folder of that user's own in it. Nothing, with the reason in `why`,
/// when there is no setpriv.
std::optional<RunOptions> unprivilegedRun(const std::string& area, std::string& why);

/// The progress lines of a run on standard error for the steps after `from` blocks up to
/// `to` blocks ("ICQ: progress 5/60 (8%)" ...); a complete run goes from 0 to 60.
std::string progressLines(int from, int to);

/// One entry of a file tree as a line: type, permission bits, size, modification time and
/// link target.
using TreeSnapshot = std::map<std::string, std::string>;
/// Every entry below `dir` (links not followed) except those below the folders in `skip`.
TreeSnapshot snapshotTree(const std::string& dir, const std::vector<std::string>& skip);
/// What changed from `before` to `after`, one line per entry ("+", "-" or "~" and the path);
/// empty when nothing did.
std::string treeChanges(const TreeSnapshot& before, const TreeSnapshot& after);

/// A Windows installation built by the sample builder in a temporary folder, and runs of
/// tolvane-import against it.
class Installation {
public:
    explicit Installation(Json description);

    /// Builds it; fails the test when the builder refuses the description.
    void build();
    /// tolvane-import with --windows-root, the .reg files of the installation, and `args`.
    testsupport::ProcessResult import(const std::vector<std::string>& args,
                                      const std::string& input = "",
                                      const RunOptions& run = {}) const;
    /// The record.json of `out`, with every "carried" name kept.
    Json record(const std::string& out) const;
    /// The record a correct import writes for `choices`.
    Json expectedRecord(const Choices& choices) const;

    std::string root() const { return dir_.file("windows"); }
    /// The temporary folder that holds the root, the output folders and the password file.
    const std::string& area() const { return dir_.path(); }
    /// The local path of a Windows path on C: ("C:\\Program Files" gives root()/Program Files).
    std::string local(const std::string& windowsPath) const;
    std::string out(const std::string& name = "out") const { return dir_.file(name); }
    std::string passwordFile() const { return dir_.file("password"); }
    const Json& expected() const { return expected_; }
    Json& description() { return description_; }

private:
    testsupport::TempDir dir_;
    Json description_;
    Json expected_;
};

/// A small installation: ICQ 2000 with two owners, "Rover" (CRLF owner file, personal sounds,
/// PlaySound Yes, four contacts) and "Märta" (LF, no personal sounds, two contacts), default
/// sounds, server login.icq.com:5190, one Windows user Alice, hives.
Json smallDescription();

} // namespace e2e
