// tolvane-import against hostile output folders and sound files, and stopped in every way:
// whatever happens, the run ends with a defined status and message, an earlier record is never
// lost, nothing is written outside the output folder and nothing is carried from outside the
// Windows root.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

// Beside the Windows root, in every file that must never be carried.
const char kSecret[] = "TOLVANE-SECRET-7f3a";
const char kSounds[] = "C:\\Program Files\\ICQ\\Sounds\\";
const char kNotCarried[] = "tolvane-import: not everything chosen was carried: ";

// Equal records; a failure shows the JSON patch from the actual to the expected one.
void expectRecord(const Json& actual, const Json& expected) {
    EXPECT_TRUE(actual == expected) << "patch from the record to the expected one:\n"
                                    << Json::diff(actual, expected).dump(1);
}

// A sound file of Rover's, as the description lists registry values.
Json roverSound(const std::string& event, const std::string& windowsPath) {
    return {{"root", "HKCU"},
            {"key", "Software\\Mirabilis\\ICQ\\Owners\\23456789\\Prefs\\Sounds"},
            {"name", event},
            {"type", "sz"},
            {"value", windowsPath}};
}

class HostileE2e : public ::testing::Test {
protected:
    HostileE2e() : icq(std::make_unique<Installation>()) {}

    /// Starts again with a fresh sample installation (not built).
    void startOver() { icq = std::make_unique<Installation>(); }

    /// Builds the installation and puts a file with the secret beside its root.
    void build() {
        icq->build();
        writeFile(icq->area() + "/secret.wav", std::string(kSecret) + "\n");
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
    /// a defined status, nothing written outside `out`, nothing left of a run in `out`, and
    /// the secret nowhere in it.
    ProcessResult run(const std::vector<std::string>& args, const std::string& out,
                      RunOptions options = {}) {
        // Qt keeps its runtime files there, as in a desktop session.
        const std::vector<std::string> ignored = {out, icq->area() + "/runtime",
                                                  icq->area() + "/runtime-unprivileged"};
        const TreeSnapshot before = snapshotTree(icq->area(), ignored);
        options.wrapper.insert(options.wrapper.begin(), {"/usr/bin/timeout", "-k", "5", "120"});
        options.environment.emplace("TMPDIR", icq->area() + "/tmp");
        options.environment.emplace("XDG_RUNTIME_DIR", icq->area() + "/runtime");
        const ProcessResult r = icq->import(args, "", options);
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
        return r;
    }

    /// How to run tolvane-import as a user for whom permission bits count, with
    /// icq->out("shared") an output folder that user may write to.
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

TEST_F(HostileE2e, OutputFolderThatCannotBeUsedIsRefusedBeforeTheImport) {
    build();
    const RunOptions user = withoutPrivileges();
    const std::string file = icq->out("file");
    writeFile(file, "not a folder\n");
    const std::string locked = icq->out("locked");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    for (const auto& [out, line] :
         {std::pair<std::string, std::string>{file + "/out",
                                              "cannot create the folder (Not a directory)"},
          {locked, "cannot write to the folder (Permission denied)"}}) {
        const ProcessResult r = run(roverArgs(out), out, user);
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, "tolvane-import: " + out + ": " + line + "\n");
    }
}

// An output folder that holds files of the names an import writes, which no import wrote
// there (a person's own files/ and contacts.vcf in ~/Documents), is refused before the run.
TEST_F(HostileE2e, SomebodyElsesFilesAreNeverReplaced) {
    build();
    const std::string out = icq->out("documents");
    writeFile(out + "/files/taxes-2003.txt", "mine");
    writeFile(out + "/contacts.vcf", "from the phone");
    const TreeSnapshot before = snapshotTree(out, {});
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 2) << describe(r);
    EXPECT_EQ(r.err, "tolvane-import: " + out +
                         ": holds files/ and contacts.vcf, which no earlier import wrote; move "
                         "them away or choose another folder\n");
    EXPECT_EQ(treeChanges(before, snapshotTree(out, {out + "/.tolvane-lock"})), "");
    // Nor is what somebody put into the history of an earlier import, which goes as a whole.
    const std::string ours = icq->out("ours");
    ASSERT_EQ(run(roverArgs(ours), ours).status, 0);
    writeFile(ours + "/history/notes.odt", "mine");
    const ProcessResult again = run(roverArgs(ours), ours);
    EXPECT_EQ(again.status, 2) << describe(again);
    EXPECT_EQ(again.err, "tolvane-import: " + ours +
                             "/history: holds notes.odt, which no export wrote; move it away or "
                             "choose another folder\n");
    EXPECT_EQ(readFile(ours + "/history/notes.odt"), "mine");
}

TEST_F(HostileE2e, KilledRunIsCleanedUpByTheNextOnceTheLockIsFree) {
    build();
    const std::string out = icq->out();
    RunOptions killed;
    killed.signal = {progressLines(0, 35).size(), SIGKILL};
    ASSERT_EQ(icq->import(roverArgs(out), "", killed).status, 128 + SIGKILL);
    ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
    // And the temporary record of a run killed while it saved, as older versions left it.
    writeFile(out + "/.record.json.Xy12Ab", "{\"sections\": [");
    const int lock = open((out + "/.tolvane-lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const ProcessResult busy = icq->import(roverArgs(out));
    EXPECT_EQ(busy.status, 2) << describe(busy);
    EXPECT_EQ(busy.err, "tolvane-import: " + out + ": another import is writing there\n");
    close(lock);
    EXPECT_EQ(run(roverArgs(out, {"--no-archive"}), out).status, 0);
    EXPECT_FALSE(fs::exists(out + "/.record.json.Xy12Ab"));
    expectRecord(icq->record(out), icq->roverRecord());
}

TEST_F(HostileE2e, EarlierRecordIsNeverLostAndEveryStopCleansUp) {
    struct Case {
        bool icqInstalled;
        std::string earlierUin; ///< of a bundle that keeps no identity; empty: none
        std::string identity;   ///< the bundle's identity file; "{root}": the Windows root
        bool replace;
        /// A signal while the progress line of the step before the contact scan is written
        /// (after the agent looked for a stop), or of the last step.
        int signal;
        bool atLastStep;
        int status;
        std::string line; ///< the last on standard error; "{out}": the output folder
    };
    const std::string noIcq = "tolvane-import: no ICQ installation found in {root} (the registry "
                              "has no ICQ.exe application path)";
    // The databases are on the disk all the same.
    const std::string onDisk =
        "; ICQ databases lie on its disk (Program Files/ICQ/2000a/23456789.dat, Program "
        "Files/ICQ/2000a/31415926.dat), whose contacts and history tolvane-icq reads: "
        "tolvane-icq export --out DIR \"{root}/Program Files/ICQ/2000a/23456789.dat\"";
    const std::string holds = "tolvane-import: {out} holds the record of another ";
    const std::string stopped = "tolvane-import: interrupted by ";
    const std::string done = "ICQ: progress 60/60 (100%)";
    const Case cases[] = {
        {false, "23456789", "", false, 0, false, 1,
         noIcq + "; the earlier record is kept as it was: {out}/record.json" + onDisk},
        {false, "", "", false, 0, false, 1, noIcq + onDisk},
        {true, "31415926", "", false, 0, false, 2,
         holds + "owner (UIN 31415926); --replace replaces it"},
        {true, "23456789", R"({"installation": "/mnt/elsewhere", "owner": "23456789"})", false, 0,
         false, 2, holds + "installation (/mnt/elsewhere); --replace replaces it"},
        {true, "31415926", "", true, 0, false, 0, done},
        {true, "23456789", R"({"installation": "{root}", "owner": "23456789"})", false, 0, false, 0,
         done},
        {true, "23456789", "", false, SIGINT, false, 130,
         stopped + "SIGINT; the earlier record is kept as it was: {out}/record.json"},
        {true, "", "", false, SIGTERM, false, 143,
         stopped + "SIGTERM; the record keeps what was imported so far: {out}/record.json"},
        {true, "", "", false, SIGHUP, false, 129,
         stopped + "SIGHUP; the record keeps what was imported so far: {out}/record.json"},
        {true, "", "", false, SIGINT, true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        startOver();
        icq->description()["icq"]["installed"] = c.icqInstalled;
        build();
        const std::string out = icq->out();
        const auto fill = [&](const std::string& text) {
            return filled(filled(text, "{out}", out), "{root}", icq->root());
        };
        if (!c.earlierUin.empty()) {
            writeFile(out + "/record.json", R"({"format": "tolvane-record/1",
                "sections": [{"name": "ICQ_OWNER", "entries":
                [{"key": "UIN", "value": ")" + c.earlierUin +
                                                R"(\r"}]}]})");
            writeFile(out + "/files/Old.wav", "old");
        }
        if (!c.identity.empty()) {
            writeFile(out + "/.tolvane-bundle.json", fill(c.identity));
        }
        const TreeSnapshot before = snapshotTree(out, {});
        RunOptions options;
        options.signal = {progressLines(0, c.atLastStep ? 50 : 35).size(), c.signal};
        // A signal after the plug-in's last step stops the archive that follows it (see the
        // test below); without one, the import is complete.
        std::vector<std::string> extra(c.replace ? 1 : 0, "--replace");
        if (c.atLastStep) {
            extra.push_back("--no-archive");
        }
        const ProcessResult r = run(roverArgs(out, extra), out, c.signal ? options : RunOptions{});
        EXPECT_EQ(r.status, c.status) << describe(r);
        // A signal at the last step may come before or after its progress line is written.
        const std::string lines = r.err.substr(0, r.err.size() - 1);
        if (!c.atLastStep) {
            EXPECT_EQ(lines.substr(lines.rfind('\n') + 1), fill(c.line));
        }
        const Json record = icq->record(out);
        if (c.status == 0) {
            expectRecord(record, icq->roverRecord());
            EXPECT_FALSE(fs::exists(out + "/files/Old.wav"));
            const Json bundle = Json::parse(readFile(out + "/.tolvane-bundle.json"));
            EXPECT_EQ(bundle["installation"], icq->root());
            EXPECT_EQ(bundle["owner"], "23456789");
        } else if (!c.earlierUin.empty()) {
            EXPECT_EQ(treeChanges(before, snapshotTree(out, {out + "/.tolvane-lock"})), "");
        } else if (c.signal) {
            // Ended before the first contact, not at the progress step after the scan.
            EXPECT_EQ(record["complete"], false);
            EXPECT_EQ(record["sections"][3],
                      Json::parse(R"({"name": "CONTACTS", "closed": false, "entries": []})"));
        } else {
            EXPECT_EQ(record, Json::parse(R"({"format": "tolvane-record/1", "plugin": "ICQ",
                "result": -1, "complete": false, "sections": []})"));
        }
    }
}

// Cancel while the ICQ archive is written drops the whole run, not half a history.
TEST_F(HostileE2e, StopWhileTheArchiveIsWrittenLeavesTheFolderAsItWas) {
    build();
    const std::string out = icq->out();
    const std::vector<std::string> args = roverArgs(out, {"--progress-lines", "-q"});
    const ProcessResult first = run(args, out);
    ASSERT_EQ(first.status, 0) << describe(first);
    const std::string writing = "stage Writing the ICQ archive\n";
    const size_t at = first.err.find(writing);
    ASSERT_NE(at, std::string::npos) << first.err;
    const TreeSnapshot before = snapshotTree(out, {});
    RunOptions stopped;
    stopped.signal = {at + writing.size(), SIGINT};
    const ProcessResult r = run(args, out, stopped);
    EXPECT_EQ(r.status, 128 + SIGINT) << describe(r);
    EXPECT_EQ(r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1),
              "tolvane-import: interrupted by SIGINT while the ICQ archive was written; the "
              "output folder is as it was: " +
                  out + "\n");
    EXPECT_EQ(treeChanges(before, snapshotTree(out, {})), "");
}

TEST_F(HostileE2e, ContactDatabaseThatCannotBeReadIsNamed) {
    using Make = std::function<void(const std::string& path)>;
    const std::pair<Make, std::string> cases[] = {
        {[](const std::string& p) { fs::remove(p); }, "No such file or directory"},
        {[](const std::string& p) {
             fs::remove(p);
             mkfifo(p.c_str(), 0644);
         },
         "it is not a regular file"},
        {[](const std::string& p) { fs::permissions(p, fs::perms::none); }, "Permission denied"},
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
        const std::string gap = "the contact database " + path + " (" + cause + ")";
        EXPECT_EQ(r.status, 3) << describe(r);
        EXPECT_EQ(r.err, progressLines(0, 60) + kNotCarried + gap + "\n");
        EXPECT_NE(r.out.find("Contacts:  0 in the record; not carried: " + gap + "\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(icq->record(out)["sections"][3]["entries"],
                  Json::parse(R"([{"key": "No_contacts", "value": "0"}])"));
    }
}

// As a user for whom permission bits count: a sound file that cannot be read is not carried,
// and an owner folder that cannot be read gives no owners.
TEST_F(HostileE2e, WhatTheUserMayNotReadIsNamed) {
    build();
    const RunOptions user = withoutPrivileges();
    const std::string sound = icq->local(std::string(kSounds) + "Admin.wav");
    fs::permissions(sound, fs::perms::none);
    const std::string out = icq->out("shared");
    const ProcessResult r = run(roverArgs(out, {"--no-contacts", "--no-archive", "-q"}), out, user);
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err, kNotCarried + std::string("1 sound file\n"));
    EXPECT_EQ(icq->record(out)["sections"][3]["entries"][0]["carried"], nullptr);

    fs::permissions(icq->local("C:\\Program Files\\ICQ\\uin"), fs::perms::none);
    const ProcessResult list = run({"--list"}, out, user);
    EXPECT_EQ(list.status, 1) << describe(list);
    EXPECT_EQ(list.err, "tolvane-import: warning: " + icq->local("C:\\Program Files\\ICQ\\uin") +
                            ": cannot read the folder (Permission denied)\ntolvane-import: ICQ is "
                            "installed but has no owners\n");
}

TEST_F(HostileE2e, SoundFilesThatCannotBeCarriedAndSparseOnes) {
    const std::string sounds = kSounds;
    // ".." stops at the root; a file over 64 MiB is not carried; a sparse file of exactly
    // 64 MiB with data at its end only is carried, holes and all.
    const std::string huge = icq->local(sounds + "huge.wav");
    const std::string sparse = icq->local(sounds + "sparse.wav");
    icq->description()["extraValues"] =
        Json::array({roverSound("ICQALMessage", sounds + "..\\..\\..\\..\\..\\..\\secret.wav"),
                     roverSound("ICQEMail", sounds + "huge.wav"),
                     roverSound("ICQFile", sounds + "sparse.wav")});
    build();
    for (const auto& [path, size] : {std::pair{huge, (64 << 20) + 1}, {sparse, 64 << 20}}) {
        writeFile(path, "");
        fs::resize_file(path, size - 1);
        std::FILE* f = std::fopen(path.c_str(), "a");
        std::fputc('!', f);
        std::fclose(f);
    }
    Json expected = icq->roverRecord();
    Json& entries = expected["sections"][4]["entries"];
    const auto entry = [](const std::string& event, const std::string& local, const Json& carried) {
        return Json{{"key", event}, {"file", "\"" + local + "\""}, {"carried", carried}};
    };
    entries.insert(entries.end() - 2, {entry("ICQALMessage", icq->root() + "/secret.wav", nullptr),
                                       entry("ICQEMail", huge, nullptr),
                                       entry("ICQFile", sparse, "files/sparse.wav")});

    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 50) + "tolvane-import: warning: " + icq->root() +
                         "/secret.wav: cannot carry (No such file or directory)\n"
                         "tolvane-import: warning: " +
                         huge + ": cannot carry (it is larger than 64 MiB)\n" +
                         progressLines(50, 60) + kNotCarried + "2 sound files\n");
    EXPECT_NE(r.out.find("Sounds:    6 sound events, 4 sound files carried (2 missing)\n"),
              std::string::npos)
        << r.out;
    expectRecord(icq->record(out), expected);
    struct stat st;
    ASSERT_EQ(stat((out + "/files/sparse.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 64 << 20);
    EXPECT_LT(st.st_blocks * 512, 1 << 20) << "holes written out";
}

TEST_F(HostileE2e, SoundFileThatDoesNotFitOnTheDiskIsNotCarried) {
    icq->description()["extraValues"] = Json::array({roverSound("ICQBell", "C:\\Big.wav")});
    build();
    writeFile(icq->local("C:\\Big.wav"), std::string(100 * 1024, 'b'));
    // A file size limit of 64 KiB stands for a full disk: writes fail with EFBIG.
    RunOptions small;
    small.wrapper = {"/bin/sh", "-c", "trap '' XFSZ; exec /usr/bin/prlimit --fsize=65536 -- \"$@\"",
                     "sh"};
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out, {"--no-contacts", "--no-archive"}), out, small);
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.err,
              progressLines(0, 50) + "tolvane-import: warning: " + icq->local("C:\\Big.wav") +
                  ": cannot carry (" + out + "/files/Big.wav: cannot write (File too large))\n" +
                  progressLines(50, 60) + kNotCarried + "1 sound file\n");
    EXPECT_EQ(icq->record(out)["sections"][3]["entries"][2]["carried"], nullptr);
}

} // namespace
} // namespace e2e
