// tolvane-import against damaged and hostile installations and output folders, and stopped
// in every way: whatever happens, the run ends with a defined status and message, an earlier
// record is never lost, nothing is written outside the output folder and nothing is carried
// from outside the Windows root.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include <gtest/gtest.h>

#include "e2einstall.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;

// Beside the Windows root, in every file that must never be carried or read.
const char kSecret[] = "TOLVANE-SECRET-7f3a";
const char kRoverDatabase[] = "C:\\Program Files\\ICQ\\2000a\\23456789.dat";
const char kSounds[] = "C:\\Program Files\\ICQ\\Sounds\\";
const char kRoverSoundsKey[] = "Software\\Mirabilis\\ICQ\\Owners\\23456789\\Prefs\\Sounds";

std::string describe(const ProcessResult& r) {
    return "status " + std::to_string(r.status) + "\nstderr:\n" + r.err + "\nstdout:\n" + r.out;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Equal records; a failure shows the JSON patch from the actual to the expected one.
void expectRecord(const Json& actual, const Json& expected) {
    EXPECT_TRUE(actual == expected) << "patch from the record to the expected one:\n"
                                    << Json::diff(actual, expected).dump(1);
}

// A registry value of the sample installation's ICQ user, as the description lists it.
Json userValue(const std::string& key, const std::string& name, const std::string& text) {
    return {{"root", "HKCU"}, {"key", key}, {"name", name}, {"type", "sz"}, {"value", text}};
}

Json soundEntry(const std::string& event, const std::string& quotedFile, const Json& carried) {
    return {{"key", event}, {"file", quotedFile}, {"carried", carried}};
}

// The last line of a text.
std::string lastLine(const std::string& text) {
    const std::string lines = text.substr(0, text.find_last_not_of('\n') + 1);
    return lines.substr(lines.rfind('\n') + 1);
}

// `text` with every `mark` replaced by `by`.
std::string filled(std::string text, char mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + by.size())) {
        text.replace(at, 1, by);
    }
    return text;
}

// How to run tolvane-import whose output folder `dir` lies on a file system of 64 KiB: a tmpfs
// mounted over `dir` in a mount namespace of the run's own, whose content is copied to `keep`
// at the end. Where mounting is not allowed (a container), a file size limit of 64 KiB stands
// in for it. `cause` receives the error the writes get.
RunOptions onSmallFileSystem(const std::string& dir, const std::string& keep, std::string& cause) {
    const std::vector<std::string> inNamespace = {"/usr/bin/unshare", "--mount", "--propagation",
                                                  "private",          "/bin/sh", "-c"};
    const char* const mount = "mount -t tmpfs -o size=64k tmpfs \"$1\"";
    std::vector<std::string> probe = inNamespace;
    probe.insert(probe.end(), {mount, "sh", dir});
    const bool canMount = testsupport::runProcess(probe).status == 0;
    cause = std::strerror(canMount ? ENOSPC : EFBIG);
    RunOptions options;
    options.wrapper = canMount ? inNamespace : std::vector<std::string>{"/bin/sh", "-c"};
    // Writes past the limit fail with EFBIG once SIGXFSZ is ignored.
    options.wrapper.insert(
        options.wrapper.end(),
        {std::string(canMount ? mount + std::string(" || exit 99\n") : "trap '' XFSZ\n") +
             "dir=$1; keep=$2; shift 2\n" + (canMount ? "" : "/usr/bin/prlimit --fsize=65536 -- ") +
             "\"$@\"; status=$?\n"
             "cp -a \"$dir/.\" \"$keep\" || exit 98\n"
             "exit $status",
         "sh", dir, keep});
    return options;
}

class HostileE2e : public ::testing::Test {
protected:
    HostileE2e() : icq(std::make_unique<Installation>()) {}

    /// Starts again with a fresh sample installation (not built).
    void startOver() { icq = std::make_unique<Installation>(); }

    /// Builds the installation and puts files with the secret beside its root.
    void build() {
        icq->build();
        for (const char* name : {"secret.wav", "secret.dat"}) {
            writeFile(icq->area() + "/" + name, std::string(kSecret) + "\n");
        }
        fs::create_directories(icq->area() + "/tmp");
        fs::create_directories(icq->area() + "/runtime");
        fs::permissions(icq->area() + "/runtime", fs::perms::owner_all);
    }

    /// The arguments of an import of Rover into `out`, then `extra`.
    std::vector<std::string> roverArgs(const std::string& out,
                                       const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args = {"--out",   out,    "--password-file", icq->passwordFile(),
                                         "--owner", "Rover"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    /// Runs tolvane-import with `args` and checks what every run keeps, whatever the input:
    /// a defined status, nothing written outside `out` (and `skip`), no temporary file left
    /// in `out`, a record.json that parses or does not exist, and the secret nowhere in it.
    ProcessResult run(const std::vector<std::string>& args, const std::string& out,
                      const RunOptions& options = {}, const std::vector<std::string>& skip = {}) {
        // Outside the area the snapshot would not see what the run writes.
        EXPECT_EQ(out.rfind(icq->area() + "/", 0), 0u) << out << " is not in " << icq->area();
        std::vector<std::string> ignored = skip;
        ignored.push_back(out);
        // Qt keeps its runtime files there, as in a desktop session.
        ignored.push_back(icq->area() + "/runtime");
        ignored.push_back(icq->area() + "/runtime-unprivileged");
        const TreeSnapshot before = snapshotTree(icq->area(), ignored);
        const ProcessResult r = icq->import(args, "", limited(options));
        const std::set<int> defined = {0, 1, 2, 3, 128 + SIGHUP, 128 + SIGINT, 128 + SIGTERM};
        EXPECT_EQ(defined.count(r.status), 1u) << describe(r);
        EXPECT_EQ(treeChanges(before, snapshotTree(icq->area(), ignored)), "")
            << "written outside " << out;
        checkOutput(out);
        return r;
    }

    /// `options` with a time limit, and temporary and runtime folders inside the area.
    RunOptions limited(RunOptions options) const {
        options.wrapper.insert(options.wrapper.begin(), {"/usr/bin/timeout", "-k", "5", "120"});
        options.environment.emplace("TMPDIR", icq->area() + "/tmp");
        options.environment.emplace("XDG_RUNTIME_DIR", icq->area() + "/runtime");
        return options;
    }

    /// The record of `out` is whole or absent, and nothing in `out` holds the secret or is
    /// left of a run.
    static void checkOutput(const std::string& out) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(out, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "left behind: " << it->path();
            EXPECT_NE(name.rfind(".tolvane-run-", 0), 0u) << "left behind: " << it->path();
            if (it->is_regular_file()) {
                EXPECT_EQ(readFile(it->path().string()).find(kSecret), std::string::npos)
                    << it->path() << " holds a file from outside the Windows root";
            }
        }
        if (exists(out + "/record.json")) {
            EXPECT_NO_THROW(Json::parse(readFile(out + "/record.json"))) << out;
        }
    }

    /// How to run tolvane-import without privileges, checked by listing the owners that way;
    /// nothing (with the reason in `why`) when that cannot work here.
    std::optional<RunOptions> withoutPrivileges(std::string& why) {
        std::optional<std::vector<std::string>> wrapper = unprivileged(why);
        if (!wrapper) {
            return std::nullopt;
        }
        fs::permissions(icq->area(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::permissions(icq->area() + "/tmp", fs::perms::all);
        RunOptions options;
        options.wrapper = *wrapper;
        if (!wrapper->empty()) {
            // Qt wants a runtime folder of the user's own.
            const std::string runtime = icq->area() + "/runtime-unprivileged";
            fs::create_directories(runtime);
            fs::permissions(runtime, fs::perms::owner_all);
            if (chown(runtime.c_str(), 65534, 65534) != 0) {
                why = runtime + ": cannot give it to the unprivileged user";
                return std::nullopt;
            }
            options.environment["XDG_RUNTIME_DIR"] = runtime;
        }
        const ProcessResult probe = icq->import({"--list"}, "", limited(options));
        if (probe.status != 0 || probe.out != "M\u00e4rta\nRover\n") {
            why = "tolvane-import cannot run as an unprivileged user here: " + probe.err;
            return std::nullopt;
        }
        return options;
    }

    /// An output folder that everybody may write to.
    std::string sharedOut(const std::string& name) const {
        const std::string out = icq->out(name);
        fs::create_directories(out);
        fs::permissions(out, fs::perms::all);
        return out;
    }

    /// The record of a complete import of Rover without sounds and without contacts found.
    Json roverWithoutContactsOrSounds() const {
        Json expected = icq->roverRecord();
        expected["sections"][1]["entries"][5]["value"] = "ICQ_VQX_NO";
        expected["sections"][3]["entries"] =
            Json::array({{{"key", "No_contacts"}, {"value", "0"}}});
        expected["sections"].erase(4);
        return expected;
    }

    std::unique_ptr<Installation> icq;
};

// --- the output folder ------------------------------------------------------------------

TEST_F(HostileE2e, OutputFolderThatCannotBeUsedIsRefusedBeforeTheImport) {
    build();
    std::string why;
    const std::optional<RunOptions> user = withoutPrivileges(why);
    const std::string file = icq->out("file");
    writeFile(file, "not a folder\n");
    const std::string locked = icq->out("locked");
    fs::create_directories(locked);
    struct Case {
        std::string out;
        bool unprivileged;
        std::string line;
    };
    const Case cases[] = {
        {file, false, file + ": cannot create the folder (Not a directory)"},
        {file + "/out", false, file + "/out: cannot create the folder (Not a directory)"},
        // Folders of root, readable by everyone.
        {locked, true, locked + ": cannot write to the folder (Permission denied)"},
        {locked + "/out", true, locked + "/out: cannot create the folder (Permission denied)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        if (c.unprivileged && !user) {
            ADD_FAILURE() << why;
            continue;
        }
        const ProcessResult r = run(roverArgs(c.out), c.out, c.unprivileged ? *user : RunOptions());
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, "tolvane-import: " + c.line + "\n");
    }
    EXPECT_EQ(readFile(file), "not a folder\n");
    EXPECT_TRUE(fs::is_empty(locked));

    RunOptions noTemporaryFolder;
    noTemporaryFolder.environment["TMPDIR"] = icq->area() + "/none";
    const ProcessResult printed =
        run({"--password-file", icq->passwordFile(), "--json"}, locked, noTemporaryFolder);
    EXPECT_EQ(printed.status, 2) << describe(printed);
    EXPECT_EQ(printed.err, "tolvane-import: cannot create a scratch folder for the record in " +
                               icq->area() + "/none: No such file or directory (use --out DIR)\n");
}

TEST_F(HostileE2e, OneImportAtATimeWritesToAFolder) {
    build();
    const std::string out = icq->out();
    fs::create_directories(out);
    const int lock = open((out + "/.tolvane-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0) << std::strerror(errno);
    const ProcessResult busy = run(roverArgs(out), out);
    EXPECT_EQ(busy.status, 2) << describe(busy);
    EXPECT_EQ(busy.err, "tolvane-import: " + out + ": another import is writing there\n");
    EXPECT_FALSE(exists(out + "/record.json"));
    close(lock);
    const ProcessResult free = run(roverArgs(out), out);
    EXPECT_EQ(free.status, 0) << describe(free);
    expectRecord(icq->record(out), icq->roverRecord());
}

TEST_F(HostileE2e, EarlierRecordIsNeverLost) {
    // An earlier bundle of a version that kept no identity: its record names the owner.
    const auto olderBundle = [](const std::string& out, const std::string& uin) {
        writeFile(out + "/record.json",
                  R"({"format": "tolvane-record/1", "plugin": "ICQ", "result": 0, "complete": true,
                      "sections": [{"name": "ICQ_OWNER", "closed": true, "entries": [
                        {"key": "UIN", "value": ")" +
                      uin + R"(\r"}]}]})");
        writeFile(out + "/files/Old.wav", "old");
    };
    struct Case {
        const char* label;
        bool icqInstalled;
        std::string earlierUin; ///< empty: no earlier bundle
        std::string identity;   ///< the identity file, if any; "@" stands for the Windows root
        std::vector<std::string> extra;
        int status;
        std::string line; ///< the last line on standard error; "@" stands for the folder
        bool replaced;
    };
    const Case cases[] = {
        {"no ICQ",
         false,
         "23456789",
         "",
         {},
         1,
         "no ICQ installation found in # (the registry has no ICQ.exe application path); the "
         "earlier record is kept as it was: @/record.json",
         false},
        {"no ICQ and no earlier record",
         false,
         "",
         "",
         {},
         1,
         "no ICQ installation found in # (the registry has no ICQ.exe application path)",
         true},
        {"another owner",
         true,
         "31415926",
         "",
         {},
         2,
         "@ holds the record of another owner (UIN 31415926); --replace replaces it",
         false},
        {"another installation",
         true,
         "23456789",
         R"({"installation": "/mnt/elsewhere", "owner": "23456789", "members": ["files"]})",
         {},
         2,
         "@ holds the record of another installation (/mnt/elsewhere); --replace replaces it",
         false},
        {"another owner replaced",
         true,
         "31415926",
         "",
         {"--replace"},
         0,
         "ICQ: progress 60/60 (100%)",
         true},
        {"the same owner",
         true,
         "23456789",
         R"({"installation": "#", "owner": "23456789"})",
         {},
         0,
         "ICQ: progress 60/60 (100%)",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        icq->description()["icq"]["installed"] = c.icqInstalled;
        build();
        const auto fill = [&](const std::string& text, const std::string& out) {
            return filled(filled(text, '@', out), '#', icq->root());
        };
        const std::string out = icq->out();
        if (!c.earlierUin.empty()) {
            olderBundle(out, c.earlierUin);
        }
        if (!c.identity.empty()) {
            writeFile(out + "/.tolvane-bundle.json", fill(c.identity, out));
        }
        const TreeSnapshot before = snapshotTree(out, {});
        const ProcessResult r = run(roverArgs(out, c.extra), out);
        EXPECT_EQ(r.status, c.status) << describe(r);
        EXPECT_EQ(lastLine(r.err), (c.status == 0 ? "" : "tolvane-import: ") + fill(c.line, out));
        if (!c.replaced) {
            EXPECT_EQ(treeChanges(before, snapshotTree(out, {out + "/.tolvane-lock"})), "");
        } else if (c.icqInstalled) {
            expectRecord(icq->record(out), icq->roverRecord());
            EXPECT_FALSE(exists(out + "/files/Old.wav"));
            EXPECT_EQ(Json::parse(readFile(out + "/.tolvane-bundle.json")),
                      Json::parse(R"({"installation": ")" + icq->root() +
                                  R"(", "owner": "23456789", "members": ["files",
                                   ".tolvane-bundle.json", "record.json"]})"));
        } else {
            EXPECT_EQ(icq->record(out),
                      Json::parse(R"({"format": "tolvane-record/1", "plugin": "ICQ", "result": -1,
                                      "complete": false, "sections": []})"));
        }
    }
}

TEST_F(HostileE2e, OutputFolderThatRunsOutOfSpace) {
    // The record of 400 contacts needs more room than 64 KiB; a sound file of 100 KiB too.
    icq->description()["icq"]["owners"][0]["database"]["generated"] = 400;
    icq->description()["extraFiles"] =
        Json::array({Json::parse(R"({"path": "C:\\Sounds\\Big.wav", "hex": "00"})")});
    icq->description()["extraValues"].push_back(
        userValue(kRoverSoundsKey, "ICQBell", "C:\\Sounds\\Big.wav"));
    build();
    writeFile(icq->local("C:\\Sounds\\Big.wav"), std::string(100 * 1024, 'b'));
    const std::string mountPoint = icq->out("small");
    const std::string kept = icq->out("kept");
    fs::create_directories(mountPoint);
    fs::create_directories(kept);
    const std::string out = mountPoint + "/out";
    std::string cause;
    const RunOptions small = onSmallFileSystem(mountPoint, kept, cause);
    const std::string keptOut = kept + "/out";

    // The sound file does not fit: it is not carried, the rest is.
    const ProcessResult r = run(roverArgs(out, {"--no-contacts"}), out, small, {mountPoint, kept});
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 50) + "tolvane-import: warning: " +
                         icq->local("C:\\Sounds\\Big.wav") + ": cannot carry (" + out +
                         "/files/Big.wav: cannot write (" + cause + "))\n" + progressLines(50, 60) +
                         "tolvane-import: not everything chosen was carried: 1 sound file\n");
    EXPECT_EQ(icq->record(keptOut)["sections"][3]["entries"][2]["carried"], nullptr);
    EXPECT_FALSE(exists(keptOut + "/files/Big.wav"));
    checkOutput(keptOut);
    fs::remove_all(keptOut);
    fs::remove_all(out); // there only without a mount of its own

    // The record does not fit: nothing of it is written.
    const ProcessResult full = run(roverArgs(out, {"--no-sounds"}), out, small, {mountPoint, kept});
    EXPECT_EQ(full.status, 1) << describe(full);
    const std::string unsaved = out + "/record.json: cannot write (" + cause + ")\n";
    EXPECT_EQ(full.err, progressLines(0, 60) + "tolvane-import: warning: " + unsaved +
                            "tolvane-import: " + unsaved);
    EXPECT_FALSE(exists(keptOut + "/record.json"));
    checkOutput(keptOut);
}

// --- stopping -----------------------------------------------------------------------------

TEST_F(HostileE2e, EveryStopSignalEndsTheRunAndCleansUp) {
    // So many contacts that the plug-in's line for each (--verbose) fills the pipe of standard
    // error long before the scan ends: the signal comes while the contact scan runs.
    icq->description()["icq"]["owners"][0]["database"]["generated"] = 20000;
    build();
    const std::string scan = "ICQ: progress 40/60";
    struct Case {
        const char* label;
        int signal;
        std::string after;
        bool earlier; ///< the folder holds a record already
        bool printedOnly;
        std::string line; ///< after "interrupted by"; "@" stands for the record
    };
    const Case cases[] = {
        {"SIGINT, earlier record", SIGINT, scan, true, false,
         "SIGINT; the earlier record is kept as it was: @"},
        {"SIGTERM, no earlier record", SIGTERM, scan, false, false,
         "SIGTERM; the record keeps what was imported so far: @"},
        {"SIGHUP, --json only", SIGHUP, scan, false, true,
         "SIGHUP; the record keeps what was imported so far: (not kept)"},
        {"SIGINT after the last step", SIGINT, "ICQ: progress 60/60", false, false, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string out = icq->out("stop" + std::to_string(++n));
        if (c.earlier) {
            ASSERT_EQ(run(roverArgs(out, {"--no-contacts"}), out).status, 0);
        }
        const TreeSnapshot before = snapshotTree(out, {});
        RunOptions options;
        options.signal = {c.after, c.signal};
        std::vector<std::string> args = roverArgs(out, {"--verbose"});
        if (c.printedOnly) {
            args.erase(args.begin(), args.begin() + 2);
            args.push_back("--json");
        }
        const ProcessResult r = run(args, out, options);
        if (c.line.empty()) {
            EXPECT_EQ(r.status, 0) << describe(r);
            EXPECT_EQ(icq->record(out)["complete"], true);
            continue;
        }
        EXPECT_EQ(r.status, 128 + c.signal) << describe(r);
        EXPECT_EQ(lastLine(r.err),
                  "tolvane-import: interrupted by " + filled(c.line, '@', out + "/record.json"));
        const Json record = c.printedOnly ? Json::parse(r.out) : icq->record(out);
        if (c.earlier) {
            EXPECT_EQ(treeChanges(before, snapshotTree(out, {})), "");
            continue;
        }
        // Ended inside the scan, not at the progress step after it.
        EXPECT_EQ(record["complete"], false);
        EXPECT_EQ(record["sections"][3]["name"], "CONTACTS");
        EXPECT_EQ(record["sections"][3]["closed"], false);
    }
}

TEST_F(HostileE2e, WhatAKilledRunLeftIsRemovedByTheNext) {
    build();
    const std::string out = icq->out();
    RunOptions killed = limited({});
    killed.signal = {"ICQ: progress 40/60", SIGKILL};
    const ProcessResult r = icq->import(roverArgs(out), "", killed);
    ASSERT_EQ(r.status, 128 + SIGKILL) << describe(r);
    bool left = false;
    for (const auto& entry : fs::directory_iterator(out)) {
        left = left || entry.path().filename().string().rfind(".tolvane-run-", 0) == 0;
    }
    EXPECT_TRUE(left);
    EXPECT_FALSE(exists(out + "/record.json"));
    const ProcessResult next = run(roverArgs(out), out);
    EXPECT_EQ(next.status, 0) << describe(next);
    expectRecord(icq->record(out), icq->roverRecord());
}

// --- what could not be carried ------------------------------------------------------------

TEST_F(HostileE2e, ContactDatabaseThatCannotBeReadIsNamed) {
    std::string why;
    struct Case {
        const char* label;
        std::function<void(const std::string& path)> make;
        std::string gap; ///< "@" stands for the database's path; empty: read, no contacts in it
    };
    const Case cases[] = {
        {"missing", [](const std::string& p) { fs::remove(p); }, "@ (No such file or directory)"},
        {"a directory",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         "@ (it is not a regular file)"},
        {"a named pipe",
         [](const std::string& p) {
             fs::remove(p);
             mkfifo(p.c_str(), 0644);
         },
         "@ (it is not a regular file)"},
        {"a link to itself",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_symlink(p, p);
         },
         "@ (Too many levels of symbolic links)"},
        {"unreadable", [](const std::string& p) { fs::permissions(p, fs::perms::none); },
         "@ (Permission denied)"},
        {"named by a UIN that leaves the folder",
         [this](const std::string&) {
             writeFile(icq->local("C:\\Program Files\\ICQ\\uin\\23456789.uin"),
                       "[ICQ User]\r\nNickName=Rover\r\nUIN=../../../../secret\r\n");
         },
         "the contact database (the owner's UIN \"../../../../secret\" names none)"},
        {"garbage", [](const std::string& p) { writeFile(p, std::string(4096, '\x5A')); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        build();
        const std::optional<RunOptions> user = withoutPrivileges(why);
        ASSERT_TRUE(user) << why;
        const std::string path = icq->local(kRoverDatabase);
        c.make(path);
        const std::string out = sharedOut("out");
        const ProcessResult r = run(roverArgs(out, {"--no-sounds"}), out, *user);
        Json expected = roverWithoutContactsOrSounds();
        if (c.gap.rfind("the", 0) == 0) {
            expected["sections"][2]["entries"][0]["value"] = "../../../../secret\r";
        }
        expectRecord(icq->record(out), expected);
        const std::string gap = filled(c.gap, '@', "the contact database " + path);
        EXPECT_EQ(r.status, gap.empty() ? 0 : 3) << describe(r);
        EXPECT_EQ(r.err,
                  progressLines(0, 60) +
                      (gap.empty()
                           ? ""
                           : "tolvane-import: not everything chosen was carried: " + gap + "\n"));
        EXPECT_NE(r.out.find("Contacts:  0 imported" +
                             (gap.empty() ? "\n" : "; not carried: " + gap + "\n")),
                  std::string::npos)
            << r.out;
    }
}

TEST_F(HostileE2e, SoundFilesThatCannotBeCarried) {
    struct Case {
        const char* event; ///< in the order ICQ reads its events
        const char* name;
        std::function<void(const std::string& path)> make;
        /// Why it is not carried; empty: the path converts to nothing, since a link that
        /// cannot be followed to its end cannot be shown to stay inside the root.
        std::string cause;
    };
    const Case cases[] = {
        {"ICQALMessage", "missing.wav", [](const std::string&) {}, "No such file or directory"},
        {"ICQALURL", "folder.wav", [](const std::string& p) { fs::create_directory(p); },
         "it is a directory"},
        {"ICQBackspace", "loop.wav", [](const std::string& p) { fs::create_symlink(p, p); }, ""},
        {"ICQBell", "pipe.wav", [](const std::string& p) { mkfifo(p.c_str(), 0644); },
         "it is not a regular file"},
        {"ICQBirthday", "huge.wav",
         [](const std::string& p) {
             writeFile(p, "");
             fs::resize_file(p, (64 << 20) + 1);
         },
         "it is larger than 64 MiB"},
        {"ICQChat", "locked.wav",
         [](const std::string& p) {
             writeFile(p, "x");
             fs::permissions(p, fs::perms::none);
         },
         "Permission denied"},
    };
    for (const Case& c : cases) {
        icq->description()["extraValues"].push_back(
            userValue(kRoverSoundsKey, c.event, std::string(kSounds) + c.name));
    }
    // A sparse file of 64 MiB with one byte of data at its end is carried, holes and all.
    icq->description()["extraValues"].push_back(
        userValue(kRoverSoundsKey, "ICQChatAction", std::string(kSounds) + "sparse.wav"));
    build();
    std::string why;
    const std::optional<RunOptions> user = withoutPrivileges(why);
    ASSERT_TRUE(user) << why;
    for (const Case& c : cases) {
        c.make(icq->local(kSounds) + c.name);
    }
    const std::string sparse = icq->local(kSounds) + "sparse.wav";
    writeFile(sparse, "");
    fs::resize_file(sparse, 64 << 20);
    {
        std::FILE* f = std::fopen(sparse.c_str(), "r+");
        std::fseek(f, -1, SEEK_END);
        std::fputc('!', f);
        std::fclose(f);
    }
    const std::string out = sharedOut("out");
    const ProcessResult r = run(roverArgs(out, {"--no-contacts"}), out, *user);
    EXPECT_EQ(r.status, 3) << describe(r);
    Json expected = icq->roverRecord();
    Json& entries = expected["sections"][4]["entries"];
    std::string warnings;
    size_t at = 2; // after PlaySound and ICQALAdmin
    for (const Case& c : cases) {
        const std::string local = c.cause.empty() ? "" : icq->local(kSounds) + c.name;
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at++),
                       soundEntry(c.event, "\"" + local + "\"", nullptr));
        warnings += "tolvane-import: warning: " +
                    (c.cause.empty()
                         ? c.event + std::string(": cannot carry the file (it has no local path)")
                         : local + ": cannot carry (" + c.cause + ")") +
                    "\n";
    }
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at),
                   soundEntry("ICQChatAction", "\"" + sparse + "\"", "files/sparse.wav"));
    expected["sections"][1]["entries"][3]["value"] = "ICQ_VQX_NO";
    expected["sections"].erase(3);
    EXPECT_EQ(r.err, progressLines(0, 50) + warnings + progressLines(50, 60) +
                         "tolvane-import: not everything chosen was carried: 6 sound files\n");
    expectRecord(icq->record(out), expected);
    EXPECT_NE(r.out.find("Sounds:    10 sound events, 4 sound files carried (6 missing)\n"),
              std::string::npos)
        << r.out;
    struct stat st;
    ASSERT_EQ(stat((out + "/files/sparse.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 64 << 20);
    EXPECT_LT(st.st_blocks * 512, 1 << 20) << "holes written out";
}

// --- paths and names ----------------------------------------------------------------------

TEST_F(HostileE2e, SoundPathsNeverLeaveTheWindowsRoot) {
    struct Case {
        const char* event; ///< in the order ICQ reads its events
        std::string windowsPath;
        /// Through a link that leaves the root: the path converts to nothing at all.
        bool linkedOut;
    };
    const std::string sounds = kSounds;
    const Case cases[] = {
        {"ICQALMessage", "C:\\..\\..\\secret.wav", false},
        {"ICQALURL", sounds + "..\\..\\..\\..\\..\\..\\secret.wav", false},
        {"ICQBackspace", "\\\\?\\C:\\..\\secret.wav", false},
        {"ICQBell", "C:/Program Files/../../secret.wav", false},
        {"ICQBirthday", sounds + "escape.wav", true},
        {"ICQChat", sounds + "absolute.wav", true},
        {"ICQChatAction", sounds + "outside\\secret.wav", true},
    };
    for (const Case& c : cases) {
        icq->description()["extraValues"].push_back(
            userValue(kRoverSoundsKey, c.event, c.windowsPath));
    }
    build();
    const std::string soundDir = icq->local(kSounds);
    fs::create_symlink("../../../../secret.wav", soundDir + "escape.wav");
    fs::create_symlink(icq->area() + "/secret.wav", soundDir + "absolute.wav");
    fs::create_directory_symlink(icq->area(), soundDir + "outside");
    ASSERT_EQ(readFile(soundDir + "escape.wav"), std::string(kSecret) + "\n");

    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 3) << describe(r);
    Json expected = icq->roverRecord();
    Json& entries = expected["sections"][4]["entries"];
    std::string warnings;
    size_t at = 2; // after PlaySound and ICQALAdmin
    for (const Case& c : cases) {
        const std::string local = c.linkedOut ? "" : icq->root() + "/secret.wav";
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at++),
                       soundEntry(c.event, "\"" + local + "\"", nullptr));
        warnings += "tolvane-import: warning: " +
                    (c.linkedOut ? c.event + std::string(": cannot carry the file (it has no "
                                                         "local path)")
                                 : local + ": cannot carry (No such file or directory)") +
                    "\n";
    }
    EXPECT_EQ(r.err, progressLines(0, 50) + warnings + progressLines(50, 60) +
                         "tolvane-import: not everything chosen was carried: 7 sound files\n");
    expectRecord(icq->record(out), expected);
}

TEST_F(HostileE2e, ShellCharactersInNamesRunNothing) {
    const std::string weird = " $(touch pwned-1); `touch pwned-2` 'q' \"d\" & touch pwned-3 |";
    Json& d = icq->description();
    d["users"] = Json::array({"Al" + weird});
    d["icq"]["folder"] = "C:\\Program Files\\ICQ" + weird;
    Json& rover = d["icq"]["owners"][0];
    rover["nickname"] = "Rover" + weird;
    rover["sounds"] = Json::object();
    rover["sounds"]["ICQALAdmin"] = "C:\\Program Files\\ICQ" + weird + "\\Sounds\\Admin.wav";
    rover["sounds"]["ICQMessage"] = "C:\\Sounds" + weird + "\\New" + weird + ".wav";
    build();
    const std::string out = icq->out("out" + weird);
    RunOptions options;
    // A command that did run would leave its files where the program runs.
    options.wrapper = {"/usr/bin/env", "-C", icq->area()};
    options.environment = {{"VANTRY_USER", "$(touch pwned-4)"},
                           {"VANTRY_GROUP", "`touch pwned-5`"}};
    const ProcessResult r =
        run({"--out", out, "--password-file", icq->passwordFile(), "--owner", "Rover" + weird}, out,
            options);
    EXPECT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 60));
    const Json record = icq->record(out);
    EXPECT_EQ(record["sections"][2]["entries"][1]["value"], "Rover" + weird + "\r");
    EXPECT_EQ(record["sections"][3]["entries"].size(), 5u);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_FALSE(exists(icq->area() + "/pwned-" + std::to_string(i)));
    }
}

TEST_F(HostileE2e, LinkLoopsInTheIcqFolder) {
    // The owner folder itself is a link to itself: ICQ is there, its owners are not.
    build();
    const std::string icqDir = icq->local("C:\\Program Files\\ICQ");
    fs::rename(icqDir + "/uin", icqDir + "/uin-real");
    fs::create_directory_symlink("uin", icqDir + "/uin");
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 2) << describe(r);
    EXPECT_EQ(r.err, "tolvane-import: no ICQ owner named \"Rover\" (owners: none)\n");
    EXPECT_FALSE(exists(out));

    // Loops beside the owner files and the databases change nothing.
    fs::remove(icqDir + "/uin");
    fs::rename(icqDir + "/uin-real", icqDir + "/uin");
    fs::create_directory_symlink(".", icqDir + "/uin/again");
    fs::create_symlink("a.uin", icqDir + "/uin/b.uin");
    fs::create_symlink("b.uin", icqDir + "/uin/a.uin");
    fs::create_directory_symlink("../ICQ", icqDir + "/2000a/ICQ");
    fs::create_directory_symlink("2003a", icqDir + "/2003a");
    const ProcessResult loops = run(roverArgs(out), out);
    EXPECT_EQ(loops.status, 0) << describe(loops);
    EXPECT_EQ(loops.err, progressLines(0, 60));
    expectRecord(icq->record(out), icq->roverRecord());
}

} // namespace
} // namespace e2e
