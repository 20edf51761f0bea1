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

/// How a run of tolvane-import is started.
struct RunOptions {
    /// A program with its arguments that runs the command given after them (setpriv, a shell
    /// that mounts first); empty: tolvane-import runs directly.
    std::vector<std::string> wrapper;
    /// Extra environment variables.
    std::map<std::string, std::string> environment;
    /// A signal for the run while it writes to its standard error.
    testsupport::SignalAt signal;
};

/// The status and both outputs of a run, for a failure message.
std::string describe(const testsupport::ProcessResult& r);

/// `text` with every `mark` replaced by `by`.
std::string filled(std::string text, const std::string& mark, const std::string& by);

/// How to run tolvane-import as a user for whom permission bits count: as it is when the tests
/// run as one; when they run as root, as user nobody through setpriv, with `area` opened to
/// everyone and a runtime folder of that user's own in it. Nothing, with the reason in `why`,
/// when there is no setpriv.
std::optional<RunOptions> unprivilegedRun(const std::string& area, std::string& why);

/// The progress lines of a run on standard error for the steps after `from` blocks up to
/// `to` blocks ("ICQ: progress 5/60 (8%)" ...); a complete run goes from 0 to 60.
std::string progressLines(int from, int to);

/// One entry of a file tree as a line: type and permission bits, and for all but folders size,
/// modification time and link target.
using TreeSnapshot = std::map<std::string, std::string>;
/// Every entry below `dir` (links not followed) except those below the folders in `skip`.
TreeSnapshot snapshotTree(const std::string& dir, const std::vector<std::string>& skip);
/// What changed from `before` to `after`, one line per entry ("+", "-" or "~" and the path);
/// empty when nothing did.
std::string treeChanges(const TreeSnapshot& before, const TreeSnapshot& after);

/// A small installation: ICQ 2000 with two owners, "Rover" (CRLF owner file, personal sounds,
/// PlaySound Yes, four contacts) and "Märta" (LF, no personal sounds, two contacts), default
/// sounds, server login.icq.com:5190, one Windows user Alice, hives.
Json smallDescription();

/// A Windows installation built by the sample builder in a temporary folder, and runs of
/// tolvane-import against it.
class Installation {
public:
    explicit Installation(Json description = smallDescription());

    /// Builds it; fails the test when the builder refuses the description.
    void build();
    /// tolvane-import with --windows-root, the .reg files of the installation, and `args`.
    testsupport::ProcessResult import(const std::vector<std::string>& args,
                                      const std::string& input = "",
                                      const RunOptions& run = {}) const;
    /// The record.json of `out`; null when there is none.
    Json record(const std::string& out) const;
    /// The record of a complete import of Rover with every option: a literal, with the root's
    /// local path filled in.
    Json roverRecord() const;

    std::string root() const { return dir_.file("windows"); }
    /// The temporary folder that holds the root, the output folders and the password file.
    const std::string& area() const { return dir_.path(); }
    /// The local path of a Windows path on C: ("C:\\Program Files" gives root()/Program Files).
    std::string local(const std::string& windowsPath) const;
    std::string out(const std::string& name = "out") const { return dir_.file(name); }
    std::string passwordFile() const { return dir_.file("password"); }
    /// What the sample builder says an import finds.
    const Json& expected() const { return expected_; }
    Json& description() { return description_; }

private:
    testsupport::TempDir dir_;
    Json description_;
    Json expected_;
};

} // namespace e2e
