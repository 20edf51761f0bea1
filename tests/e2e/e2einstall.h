#pragma once

#include <map>
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

/// A Windows installation built by the sample builder in a temporary folder, and runs of
/// tolvane-import against it.
class Installation {
public:
    explicit Installation(Json description);

    /// Builds it; fails the test when the builder refuses the description.
    void build();
    /// tolvane-import with --windows-root, the .reg files of the installation, and `args`.
    testsupport::ProcessResult import(const std::vector<std::string>& args,
                                      const std::string& input = "") const;
    /// The record.json of `out`, with every "carried" name kept.
    Json record(const std::string& out) const;
    /// The record a correct import writes for `choices`.
    Json expectedRecord(const Choices& choices) const;

    std::string root() const { return dir_.file("windows"); }
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
