// tolvane-import against hostile installations and output folders, and stopped in every way:
// whatever happens, the run ends with a defined status and message, an earlier record is never
// lost, nothing is written outside the output folder and nothing is carried from outside the
// Windows root.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

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
const char kSounds[] = "C:\\Program Files\\ICQ\\Sounds\\";
const char kRoverSoundsKey[] = "Software\\Mirabilis\\ICQ\\Owners\\23456789\\Prefs\\Sounds";
const char kNotCarried[] = "tolvane-import: not everything chosen was carried: ";

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Equal records; a failure shows the JSON patch from the actual to the expected one.
void expectRecord(const Json& actual, const Json& expected) {
    EXPECT_TRUE(actual == expected) << "patch from the record to the expected one:\n"
                                    << Json::diff(actual, expected).dump(1);
}

// A sound file of Rover's, as the description lists registry values.
Json roverSound(const std::string& event, const std::string& windowsPath) {
    return {{"root", "HKCU"},
            {"key", kRoverSoundsKey},
            {"name", event},
            {"type", "sz"},
            {"value", windowsPath}};
}

// An entry of a sound event in a record.
Json soundEntry(const std::string& event, const std::string& local, const Json& carried) {
    return {{"key", event}, {"file", "\"" + local + "\""}, {"carried", carried}};
}

// The names in a folder, sorted.
std::vector<std::string> names(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        found.push_back(entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string lastLine(const std::string& text) {
    const std::string lines = text.substr(0, text.find_last_not_of('\n') + 1);
    return lines.substr(lines.rfind('\n') + 1);
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
        for (const char* folder : {"/tmp", "/runtime"}) {
            fs::create_directories(icq->area() + folder);
            fs::permissions(icq->area() + folder, fs::perms::owner_all);
        }
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
    /// a defined status, nothing written outside `out` (and `skip`), nothing left of a run in
    /// `out`, a record.json that parses or does not exist, and the secret nowhere in it.
    ProcessResult run(const std::vector<std::string>& args, const std::string& out,
                      const RunOptions& options = {}, const std::vector<std::string>& skip = {}) {
        std::vector<std::string> ignored = skip;
        // Qt keeps its runtime files there, as in a desktop session.
        ignored.insert(ignored.end(),
                       {out, icq->area() + "/runtime", icq->area() + "/runtime-unprivileged"});
        const TreeSnapshot before = snapshotTree(icq->area(), ignored);
        const ProcessResult r = icq->import(args, "", limited(options));
        const std::set<int> defined = {0, 1, 2, 3, 128 + SIGHUP, 128 + SIGINT, 128 + SIGTERM};
        EXPECT_EQ(defined.count(r.status), 1u) << describe(r);
        EXPECT_EQ(treeChanges(before, snapshotTree(icq->area(), ignored)), "")
            << "written outside " << out;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(out, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            EXPECT_TRUE(name.find(".tmp-") == std::string::npos &&
                        name.rfind(".tolvane-run-", 0) != 0)
                << "left behind: " << it->path();
            EXPECT_EQ(readFile(it->path().string()).find(kSecret), std::string::npos)
                << it->path() << " holds a file from outside the Windows root";
        }
        if (exists(out + "/record.json")) {
            EXPECT_NO_THROW(Json::parse(readFile(out + "/record.json"))) << out;
        }
        return r;
    }

    /// `options` with a time limit, and temporary and runtime folders inside the area.
    RunOptions limited(RunOptions options) const {
        options.wrapper.insert(options.wrapper.begin(), {"/usr/bin/timeout", "-k", "5", "120"});
        options.environment.emplace("TMPDIR", icq->area() + "/tmp");
        options.environment.emplace("XDG_RUNTIME_DIR", icq->area() + "/runtime");
        return options;
    }

    /// How to run tolvane-import as a user for whom permission bits count, with
    /// icq->out("shared") an output folder that user may write to; fails the test when that
    /// cannot work here.
    RunOptions withoutPrivileges() {
        std::string why;
        const std::optional<RunOptions> user = unprivilegedRun(icq->area(), why);
        EXPECT_TRUE(user) << why;
        fs::create_directories(icq->out("shared"));
        fs::permissions(icq->out("shared"), fs::perms::all);
        fs::permissions(icq->area() + "/tmp", fs::perms::all);
        return user.value_or(RunOptions{});
    }

    std::unique_ptr<Installation> icq;
};

// --- the output folder ------------------------------------------------------------------

TEST_F(HostileE2e, OutputFolderThatCannotBeUsedIsRefusedBeforeTheImport) {
    build();
    const RunOptions user = withoutPrivileges();
    const std::string file = icq->out("file");
    writeFile(file, "not a folder\n");
    const std::string locked = icq->out("locked");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const std::pair<std::string, std::string> cases[] = {
        {file + "/out", "cannot create the folder (Not a directory)"},
        {locked, "cannot write to the folder (Permission denied)"},
        {locked + "/out", "cannot create the folder (Permission denied)"},
    };
    for (const auto& [out, line] : cases) {
        const ProcessResult r = run(roverArgs(out), out, user);
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, "tolvane-import: " + out + ": " + line + "\n");
    }
    EXPECT_TRUE(fs::is_empty(locked));
    RunOptions noTemporaryFolder;
    noTemporaryFolder.environment["TMPDIR"] = icq->area() + "/none";
    const ProcessResult printed =
        run({"--password-file", icq->passwordFile(), "--owner", "Rover", "--json"}, locked,
            noTemporaryFolder);
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
    close(lock);
    EXPECT_EQ(run(roverArgs(out), out).status, 0);
    expectRecord(icq->record(out), icq->roverRecord());
}

TEST_F(HostileE2e, EarlierRecordIsNeverLost) {
    struct Case {
        const char* label;
        bool icqInstalled;
        std::string earlierUin; ///< of a bundle that keeps no identity; empty: none
        std::string identity;   ///< the bundle's identity file; "{root}": the Windows root
        bool replace;
        int status;
        std::string line; ///< the last on standard error; "{out}": the output folder
    };
    const std::string noIcq = "tolvane-import: no ICQ installation found in {root} (the registry "
                              "has no ICQ.exe application path)";
    const std::string holds = "tolvane-import: {out} holds the record of another ";
    const std::string done = "ICQ: progress 60/60 (100%)";
    const Case cases[] = {
        {"no ICQ", false, "23456789", "", false, 1,
         noIcq + "; the earlier record is kept as it was: {out}/record.json"},
        {"no ICQ, no earlier record", false, "", "", false, 1, noIcq},
        {"another owner", true, "31415926", "", false, 2,
         holds + "owner (UIN 31415926); --replace replaces it"},
        {"another installation", true, "23456789",
         R"({"installation": "/mnt/elsewhere", "owner": "23456789"})", false, 2,
         holds + "installation (/mnt/elsewhere); --replace replaces it"},
        {"another owner replaced", true, "31415926", "", true, 0, done},
        {"the same owner", true, "23456789", R"({"installation": "{root}", "owner": "23456789"})",
         false, 0, done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        icq->description()["icq"]["installed"] = c.icqInstalled;
        build();
        const std::string out = icq->out();
        const auto fill = [&](const std::string& text) {
            return filled(filled(text, "{out}", out), "{root}", icq->root());
        };
        if (!c.earlierUin.empty()) {
            writeFile(out + "/record.json", R"({"sections": [{"name": "ICQ_OWNER", "entries":
                                                 [{"key": "UIN", "value": ")" +
                                                c.earlierUin + R"(\r"}]}]})");
            writeFile(out + "/files/Old.wav", "old");
        }
        if (!c.identity.empty()) {
            writeFile(out + "/.tolvane-bundle.json", fill(c.identity));
        }
        const TreeSnapshot before = snapshotTree(out, {});
        const ProcessResult r =
            run(roverArgs(out, std::vector<std::string>(c.replace ? 1 : 0, "--replace")), out);
        EXPECT_EQ(r.status, c.status) << describe(r);
        EXPECT_EQ(lastLine(r.err), fill(c.line));
        if (c.status == 0) {
            expectRecord(icq->record(out), icq->roverRecord());
            EXPECT_FALSE(exists(out + "/files/Old.wav"));
            EXPECT_EQ(Json::parse(readFile(out + "/.tolvane-bundle.json")),
                      Json::parse(fill(R"({"installation": "{root}", "owner": "23456789",
                          "members": ["contacts.csv", "contacts.vcf", "files", "history",
                          "icq-archive.sqlite", "report.txt", ".tolvane-bundle.json",
                          "record.json"]})")));
        } else if (!c.earlierUin.empty()) {
            EXPECT_EQ(treeChanges(before, snapshotTree(out, {out + "/.tolvane-lock"})), "");
        } else {
            EXPECT_EQ(icq->record(out), Json::parse(R"({"format": "tolvane-record/1", "plugin":
                "ICQ", "result": -1, "complete": false, "sections": []})"));
        }
    }
}

TEST_F(HostileE2e, OutputFolderThatRunsOutOfSpace) {
    // The record of 400 contacts needs more room than 64 KiB; a sound file of 100 KiB too.
    icq->description()["icq"]["owners"][0]["database"]["generated"] = 400;
    icq->description()["extraValues"] = Json::array({roverSound("ICQBell", "C:\\Big.wav")});
    build();
    writeFile(icq->local("C:\\Big.wav"), std::string(100 * 1024, 'b'));
    // A tmpfs mounted over the folder in a mount namespace of the run's own, its content
    // copied to `kept` at the end; where mounting is not allowed (a container), a file size
    // limit of 64 KiB.
    const std::string mountPoint = icq->out("small");
    const std::string kept = icq->out("kept");
    fs::create_directories(mountPoint);
    fs::create_directories(kept);
    const std::vector<std::string> inNamespace = {"/usr/bin/unshare", "--mount", "--propagation",
                                                  "private",          "/bin/sh", "-c"};
    const std::string mount = "mount -t tmpfs -o size=64k tmpfs \"$1\"";
    std::vector<std::string> probe = inNamespace;
    probe.insert(probe.end(), {mount, "sh", mountPoint});
    const bool canMount = testsupport::runProcess(probe).status == 0;
    RunOptions small;
    small.wrapper = canMount ? inNamespace : std::vector<std::string>{"/bin/sh", "-c"};
    small.wrapper.insert(small.wrapper.end(),
                         {(canMount ? mount + " || exit 99\n" : "trap '' XFSZ\n") +
                              "dir=$1; keep=$2; shift 2\n" +
                              (canMount ? "" : "/usr/bin/prlimit --fsize=65536 -- ") +
                              "\"$@\"; status=$?\ncp -a \"$dir/.\" \"$keep\" || exit 98\n"
                              "exit $status",
                          "sh", mountPoint, kept});
    const std::string cause = std::strerror(canMount ? ENOSPC : EFBIG);
    const std::string out = mountPoint + "/out";

    // The sound file does not fit: it is not carried, the rest is.
    const ProcessResult r =
        run(roverArgs(out, {"--no-contacts", "--no-archive"}), out, small, {mountPoint, kept});
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 50) +
                         "tolvane-import: warning: " + icq->local("C:\\Big.wav") +
                         ": cannot carry (" + out + "/files/Big.wav: cannot write (" + cause +
                         "))\n" + progressLines(50, 60) + kNotCarried + "1 sound file\n");
    EXPECT_EQ(icq->record(kept + "/out")["sections"][3]["entries"][2]["carried"], nullptr);
    fs::remove_all(kept + "/out");
    fs::remove_all(out); // there only without a mount of its own

    // The record does not fit: nothing of it is written.
    const ProcessResult full =
        run(roverArgs(out, {"--no-sounds", "--no-archive"}), out, small, {mountPoint, kept});
    EXPECT_EQ(full.status, 1) << describe(full);
    const std::string unsaved = out + "/record.json: cannot write (" + cause + ")\n";
    EXPECT_EQ(full.err, progressLines(0, 60) + "tolvane-import: warning: " + unsaved +
                            "tolvane-import: " + unsaved);
    EXPECT_EQ(names(kept + "/out"), std::vector<std::string>{".tolvane-lock"});
}

// --- stopping -----------------------------------------------------------------------------

TEST_F(HostileE2e, EveryStopSignalEndsTheRunAndCleansUp) {
    build();
    // The signal comes while the progress line of a step is written: of the step before the
    // contact scan (after the agent looked for a stop), or of the last step.
    const size_t scan = progressLines(0, 35).size();
    const size_t last = progressLines(0, 50).size();
    struct Case {
        int signal;
        size_t errBytes;
        bool earlier; ///< the folder holds a record already
        bool printedOnly;
        std::string line; ///< the last on standard error; "{out}": the output folder
    };
    const std::string stopped = "tolvane-import: interrupted by ";
    const Case cases[] = {
        {SIGINT, scan, true, false,
         stopped + "SIGINT; the earlier record is kept as it was: {out}/record.json"},
        {SIGTERM, scan, false, false,
         stopped + "SIGTERM; the record keeps what was imported so far: {out}/record.json"},
        {SIGHUP, scan, false, true,
         stopped + "SIGHUP; the record keeps what was imported so far: (not kept)"},
        {SIGINT, last, false, false, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string out = icq->out("stop" + std::to_string(++n));
        if (c.earlier) {
            ASSERT_EQ(run(roverArgs(out, {"--no-contacts"}), out).status, 0);
        }
        const TreeSnapshot before = snapshotTree(out, {});
        RunOptions options;
        options.signal = {c.errBytes, c.signal};
        std::vector<std::string> args = roverArgs(out, {"--no-archive"});
        if (c.printedOnly) {
            args.erase(args.begin(), args.begin() + 2);
            args.push_back("--json");
        }
        const ProcessResult r = run(args, out, options);
        const Json record = c.printedOnly ? Json::parse(r.out) : icq->record(out);
        if (c.line.empty()) {
            EXPECT_EQ(r.status, 0) << describe(r);
            expectRecord(record, icq->roverRecord());
            continue;
        }
        EXPECT_EQ(r.status, 128 + c.signal) << describe(r);
        // The line that the signal came in is written or not, as the thread that takes it.
        EXPECT_EQ(r.err.substr(r.err.rfind("ICQ: cancelled\n")),
                  "ICQ: cancelled\n" + filled(c.line, "{out}", out) + "\n");
        if (c.earlier) {
            EXPECT_EQ(treeChanges(before, snapshotTree(out, {})), "");
        } else {
            // Ended before the first contact, not at the progress step after the scan.
            EXPECT_EQ(record["complete"], false);
            EXPECT_EQ(record["sections"][3],
                      Json::parse(R"({"name": "CONTACTS", "closed": false, "entries": []})"));
        }
    }
}

TEST_F(HostileE2e, WhatAKilledRunLeftIsRemovedByTheNext) {
    build();
    const std::string out = icq->out();
    RunOptions killed = limited({});
    killed.signal = {progressLines(0, 35).size(), SIGKILL};
    ASSERT_EQ(icq->import(roverArgs(out), "", killed).status, 128 + SIGKILL);
    std::vector<std::string> left = names(out);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].rfind(".tolvane-run-", 0), 0u);
    // And the temporary record of a run killed while it saved, as older versions left it.
    writeFile(out + "/.record.json.Xy12Ab", "{\"sections\": [");
    EXPECT_EQ(run(roverArgs(out, {"--no-archive"}), out).status, 0);
    EXPECT_EQ(names(out), (std::vector<std::string>{".tolvane-bundle.json", ".tolvane-lock",
                                                    "files", "record.json"}));
    expectRecord(icq->record(out), icq->roverRecord());
}

// --- what could not be carried ------------------------------------------------------------

TEST_F(HostileE2e, ContactDatabaseThatCannotBeReadIsNamed) {
    using Make = std::function<void(const std::string& path)>;
    const auto replaced = [](const Make& by) {
        return [by](const std::string& p) {
            fs::remove(p);
            by(p);
        };
    };
    const std::pair<Make, std::string> cases[] = {
        {replaced([](const std::string&) {}), "No such file or directory"},
        {replaced([](const std::string& p) { fs::create_directory(p); }),
         "it is not a regular file"},
        {replaced([](const std::string& p) { mkfifo(p.c_str(), 0644); }),
         "it is not a regular file"},
        {replaced([](const std::string& p) { fs::create_symlink(p, p); }),
         "Too many levels of symbolic links"},
        {[](const std::string& p) { fs::permissions(p, fs::perms::none); }, "Permission denied"},
        {[this](const std::string&) {
             writeFile(icq->local("C:\\Program Files\\ICQ\\uin\\23456789.uin"),
                       "[ICQ User]\r\nNickName=Rover\r\nUIN=../../../../secret\r\n");
         },
         "UIN"},
        // Read, but without contacts: nothing is missing.
        {[](const std::string& p) { writeFile(p, std::string(4096, 'Z')); }, ""},
    };
    for (const auto& [make, cause] : cases) {
        SCOPED_TRACE(cause);
        startOver();
        build();
        const RunOptions user = withoutPrivileges();
        const std::string path = icq->local("C:\\Program Files\\ICQ\\2000a\\23456789.dat");
        make(path);
        const std::string out = icq->out("shared");
        const ProcessResult r = run(roverArgs(out, {"--no-sounds", "--no-archive"}), out, user);
        const bool uin = cause == "UIN";
        const std::string gap =
            cause.empty() ? ""
            : uin ? "the contact database (the owner's UIN \"../../../../secret\" would name "
                    "another folder)"
                  : "the contact database " + path + " (" + cause + ")";
        EXPECT_EQ(r.status, gap.empty() ? 0 : 3) << describe(r);
        EXPECT_EQ(r.err, progressLines(0, 60) + (gap.empty() ? "" : kNotCarried + gap + "\n"));
        const std::string contacts =
            "Contacts:  0 in the record" + (gap.empty() ? "" : "; not carried: " + gap);
        EXPECT_NE(r.out.find(contacts + "\n"), std::string::npos) << r.out;
        const Json patch = Json::parse(
            R"([{"op": "replace", "path": "/sections/1/entries/5/value", "value": "ICQ_VQX_NO"},
                {"op": "remove", "path": "/sections/4"},
                {"op": "replace", "path": "/sections/3/entries",
                 "value": [{"key": "No_contacts", "value": "0"}]},
                {"op": "replace", "path": "/sections/2/entries/0/value", "value": ")" +
            std::string(uin ? "../../../../secret" : "23456789") + R"(\r"}])");
        expectRecord(icq->record(out), icq->roverRecord().patch(patch));
    }
}

TEST_F(HostileE2e, SoundFilesThatCannotBeCarried) {
    const std::string sounds = kSounds;
    const auto link = [](const std::string& target) {
        return [target](const std::string& p) { fs::create_symlink(target, p); };
    };
    struct Case {
        const char* event; ///< in the order ICQ reads its events
        std::string windowsPath;
        std::function<void(const std::string& local)> make;
        /// Why it is not carried; empty: the path converts to nothing, since a link that
        /// cannot be followed to its end inside the root cannot be shown to stay there.
        std::string cause;
        bool clamped; ///< ".." stops at the root: the local path is <root>/secret.wav
    };
    const Case cases[] = {
        {"ICQALMessage", "C:\\..\\..\\secret.wav", {}, "No such file or directory", true},
        {"ICQALURL",
         sounds + "..\\..\\..\\..\\..\\..\\secret.wav",
         {},
         "No such file or directory",
         true},
        {"ICQBackspace", "\\\\?\\C:\\..\\secret.wav", {}, "No such file or directory", true},
        {"ICQBell", "C:/Program Files/../../secret.wav", {}, "No such file or directory", true},
        {"ICQBirthday", sounds + "escape.wav", link("../../../../secret.wav"), "", false},
        {"ICQChat", sounds + "absolute.wav", link(icq->area() + "/secret.wav"), "", false},
        {"ICQChatAction", sounds + "outside\\x.wav",
         [this](const std::string& p) {
             fs::create_directory_symlink(icq->area(), fs::path(p).parent_path());
         },
         "", false},
        {"ICQChatEmote", sounds + "missing.wav", {}, "No such file or directory", false},
        {"ICQChatLOL", sounds + "folder.wav", [](const std::string& p) { fs::create_directory(p); },
         "it is a directory", false},
        {"ICQChatPage", sounds + "loop.wav", [](const std::string& p) { fs::create_symlink(p, p); },
         "", false},
        {"ICQContact", sounds + "pipe.wav", [](const std::string& p) { mkfifo(p.c_str(), 0644); },
         "it is not a regular file", false},
        {"ICQEMail", sounds + "huge.wav",
         [](const std::string& p) {
             writeFile(p, "");
             fs::resize_file(p, (64 << 20) + 1);
         },
         "it is larger than 64 MiB", false},
        {"ICQExternal", sounds + "locked.wav",
         [](const std::string& p) {
             writeFile(p, "x");
             fs::permissions(p, fs::perms::none);
         },
         "Permission denied", false},
    };
    for (const Case& c : cases) {
        icq->description()["extraValues"].push_back(roverSound(c.event, c.windowsPath));
    }
    // A sparse file of 64 MiB with data at its end only is carried, holes and all.
    icq->description()["extraValues"].push_back(roverSound("ICQFile", sounds + "sparse.wav"));
    build();
    const RunOptions user = withoutPrivileges();
    Json expected = icq->roverRecord();
    Json& entries = expected["sections"][4]["entries"];
    std::string warnings;
    for (const Case& c : cases) {
        const std::string local = c.clamped         ? icq->root() + "/secret.wav"
                                  : c.cause.empty() ? ""
                                                    : icq->local(c.windowsPath);
        if (c.make) {
            c.make(icq->local(c.windowsPath));
        }
        entries.insert(entries.end() - 2, soundEntry(c.event, local, nullptr));
        warnings += "tolvane-import: warning: " +
                    (c.cause.empty()
                         ? c.event + std::string(": cannot carry the file (it has no local path)")
                         : local + ": cannot carry (" + c.cause + ")") +
                    "\n";
    }
    const std::string sparse = icq->local(sounds + "sparse.wav");
    writeFile(sparse, "");
    fs::resize_file(sparse, (64 << 20) - 1);
    std::FILE* f = std::fopen(sparse.c_str(), "a");
    std::fputc('!', f);
    std::fclose(f);
    entries.insert(entries.end() - 2, soundEntry("ICQFile", sparse, "files/sparse.wav"));

    const std::string out = icq->out("shared");
    const ProcessResult r = run(roverArgs(out), out, user);
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 50) + warnings + progressLines(50, 60) + kNotCarried +
                         "13 sound files\n");
    EXPECT_NE(r.out.find("Sounds:    17 sound events, 4 sound files carried (13 missing)\n"),
              std::string::npos)
        << r.out;
    expectRecord(icq->record(out), expected);
    struct stat st;
    ASSERT_EQ(stat((out + "/files/sparse.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 64 << 20);
    EXPECT_LT(st.st_blocks * 512, 1 << 20) << "holes written out";
}

} // namespace
} // namespace e2e
