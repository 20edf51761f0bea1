// tolvane-import against installations that reach beyond their root: links to files and
// folders of this machine, owner files too large to be owner files, and texts made to steer a
// terminal. Nothing outside the root is opened (inotify tells), nothing is written outside
// the output folder, and no text of the installation reaches the terminal raw.

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "confine.h"
#include "e2einstall.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

const char kDatabase[] = "C:\\Program Files\\ICQ\\2000a\\23456789.dat";
const char kUinFolder[] = "C:\\Program Files\\ICQ\\uin";
// Clears the screen, rings the bell and sends the cursor back; "^" in a row's texts.
const char kControls[] = "\x1B[2J\a\r";
const char kShown[] = "\\x1B[2J\\x07\\r";

// Who runs tolvane-import: whoever runs the tests; root, for whom only the host's checks and
// the kernel stand between a link and any file; or a user for whom permission bits count.
enum class Who { Tester, Root, Unprivileged };

struct Scene {
    Installation& icq;
    std::string outside;   ///< a folder beside the root, the machine's own
    std::string untouched; ///< a file outside the root that the run must not open
};

// Moves `windowsPath` of the installation to the outside folder and leaves a link to it.
std::string moveOut(const Scene& s, const std::string& windowsPath) {
    const std::string target =
        s.outside + "/" + fs::path(s.icq.local(windowsPath)).filename().string();
    fs::rename(s.icq.local(windowsPath), target);
    fs::create_symlink(target, s.icq.local(windowsPath));
    return target;
}

// Replaces the contact database by a link to `target`.
void linkDatabase(Scene& s, const std::string& target) {
    fs::remove(s.icq.local(kDatabase));
    fs::create_symlink(target, s.icq.local(kDatabase));
    s.untouched = target;
}

// An owner file of `size` bytes with a valid owner section, padded with empty lines.
std::string ownerFileOf(const std::string& name, size_t size) {
    const std::string text = "[ICQ User]\nNickName=" + name + "\nUIN=999\n";
    return text + std::string(size - text.size(), '\n');
}

void renameOwner(Json& d) {
    d["icq"]["owners"][0]["nickname"] = std::string("Ro") + kControls + "ver";
    d["icq"]["server"]["host"] = std::string("login") + kControls + ".icq.com";
    d["icq"]["folder"] = std::string("C:\\Program Files\\IC") + kControls + "Q";
}

struct Row {
    const char* label;
    Who who;
    /// Only the kernel's confinement keeps the row's file out of reach: the plug-in opens it.
    bool kernelOnly;
    std::function<void(Json&)> describe;
    std::function<void(Scene&)> prepare;
    /// The arguments after the installation's; "{out}", "{password}" are filled in.
    std::vector<std::string> args;
    int status;
    /// Both outputs ("*" first: somewhere in it); "{out}", "{root}", "{db}", "^" (the controls as
    /// shown), "{p0-60}" (the progress lines of steps 0 to 60) and the like are filled in.
    std::string out;
    std::string err;
};

const std::vector<std::string> kRover = {"--out",   "{out}", "--password-file", "{password}",
                                         "--owner", "Rover", "--no-sounds"};
const std::vector<std::string> kList = {"--list"};
// The database is out of reach of the archive too; the run says it could not be carried.
const std::string kWithoutDatabase =
    "Owner:     Rover (UIN 23456789)\nServer:    login.icq.com, port 5190\nContacts:  0 in "
    "the record; not carried: the contact database {db} (Permission denied)\nMessages:  not "
    "exported (see the warning above)\nSounds:    not imported\nRecord:    {out}/record.json\n";
const std::string kWithoutDatabaseErr =
    "{p0-60}tolvane-import: warning: {db}: cannot open the file (Permission denied)\n"
    "tolvane-import: not everything chosen was carried: the contact database {db} (Permission "
    "denied)\n";

const Row kRows[] = {
    {"a contact database linked to /etc/shadow", Who::Root, true, nullptr,
     [](Scene& s) { linkDatabase(s, "/etc/shadow"); }, kRover, 3, kWithoutDatabase,
     kWithoutDatabaseErr},
    {"a contact database linked to a file outside", Who::Unprivileged, true, nullptr,
     [](Scene& s) {
         writeFile(s.outside + "/contacts.dat", "of this machine");
         linkDatabase(s, s.outside + "/contacts.dat");
     },
     kRover, 3, kWithoutDatabase, kWithoutDatabaseErr},
    {"System32 linked to a folder outside that holds the machine's hive", Who::Tester, false,
     nullptr,
     [](Scene& s) {
         // Of the databases on the disk, the one linked out of it is not named.
         writeFile(s.outside + "/contacts.dat", "of this machine");
         linkDatabase(s, s.outside + "/contacts.dat");
         s.untouched = moveOut(s, "C:\\WINDOWS\\System32") + "/config/SOFTWARE";
     },
     kList, 1, "",
     "tolvane-import: no ICQ installation found in {root}; ICQ databases lie on its disk "
     "(Program Files/ICQ/2000a/31415926.dat), whose contacts and history tolvane-icq reads: "
     "tolvane-icq export --out DIR \"{root}/Program Files/ICQ/2000a/31415926.dat\"\n"},
    {"a sound file linked to a file outside",
     Who::Tester,
     false,
     nullptr,
     [](Scene& s) { s.untouched = moveOut(s, "C:\\Program Files\\ICQ\\Sounds\\New Message.wav"); },
     {"--out", "{out}", "--password-file", "{password}", "--owner", "Rover", "--no-contacts",
      "--no-archive"},
     3,
     "Owner:     Rover (UIN 23456789)\nServer:    login.icq.com, port 5190\nContacts:  not "
     "imported\nMessages:  not exported (--no-archive)\nSounds:    3 sound events, 2 sound "
     "files carried (1 missing)\nRecord:    {out}/record.json\n",
     "{p0-50}tolvane-import: warning: ICQMessage: cannot carry the file (it has no local "
     "path)\n{p50-60}tolvane-import: not everything chosen was carried: 1 sound file\n"},
    {"owner files of 1 MiB and over", Who::Tester, false, nullptr,
     [](Scene& s) {
         writeFile(s.icq.local(kUinFolder) + "/big.uin", ownerFileOf("Big", 1 << 20));
         writeFile(s.icq.local(kUinFolder) + "/huge.uin", ownerFileOf("Huge", (1 << 20) + 1));
     },
     kList, 0,
     "Nickname  UIN       Contacts  Messages\nBig       999              ?         ?\n"
     "M\u00e4rta     31415926         2        53\nRover     23456789         3        77\n",
     "tolvane-import: warning: {root}/Program Files/ICQ/uin/huge.uin: left out (larger than 1 "
     "MiB)\ntolvane-import: warning: no contact database of UIN 999 found (looked for "
     "{root}/Program Files/ICQ/2000a/999.dat)\n"},
    {"control characters in the owners listed and the plug-in's own lines",
     Who::Tester,
     false,
     renameOwner,
     nullptr,
     {"--list", "--debug"},
     0,
     "Nickname            UIN       Contacts  Messages\nM\u00e4rta               31415926         "
     "2        53\nRo^ver  23456789         3        77\n",
     "*\n --> C:\\Program Files\\IC^Q\n"},
    {"control characters in the summary, the owner chosen as listed",
     Who::Tester,
     false,
     renameOwner,
     nullptr,
     {"--out", "{out}", "--password-file", "{password}", "--owner", "Ro^ver", "--no-sounds",
      "--no-contacts", "--no-archive"},
     0,
     "Owner:     Ro^ver (UIN 23456789)\nServer:    login^.icq.com, port 5190\nContacts:  not "
     "imported\nMessages:  not exported (--no-archive)\nSounds:    not imported\nRecord:    "
     "{out}/record.json\n",
     "{p0-60}"},
    {"control characters in an error naming the users", Who::Tester, false,
     [](Json& d) {
         d["users"] = Json::array({"Alice", "Eve"});
     },
     [](Scene& s) {
         fs::rename(s.icq.local("C:\\Documents and Settings\\Eve"),
                    s.icq.local("C:\\Documents and Settings\\E") + kControls + "ve");
     },
     kList, 2, "",
     "tolvane-import: {root}: several users (Alice, E^ve); choose one with --user NAME\n"},
};

// The user the row asks for; nothing, with the reason, when the tests cannot run as it.
std::optional<RunOptions> runAs(const Row& row, const Installation& icq, std::string& why) {
    if (row.kernelOnly && vqrt::landlockAbi() == 0) {
        why = "the kernel offers no Landlock";
        return std::nullopt;
    }
    if (row.who == Who::Root && geteuid() != 0) {
        why = "needs root";
        return std::nullopt;
    }
    return row.who == Who::Unprivileged ? unprivilegedRun(icq.area(), why) : RunOptions{};
}

TEST(HostileReachE2e, NothingBeyondTheRootIsReadOrPrintedRaw) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.label);
        Json description = smallDescription();
        if (row.describe) {
            row.describe(description);
        }
        Installation icq(description);
        icq.build();
        std::string why;
        std::optional<RunOptions> options = runAs(row, icq, why);
        if (!options) {
            std::cout << "[ SKIPPED  ] " << row.label << ": " << why << "\n";
            continue;
        }
        Scene scene{icq, icq.area() + "/outside", ""};
        const std::string out = icq.out();
        for (const std::string& folder : {scene.outside, out, icq.area() + "/runtime"}) {
            fs::create_directories(folder);
        }
        fs::permissions(out, fs::perms::all);
        fs::permissions(icq.area() + "/runtime", fs::perms::owner_all);
        if (row.prepare) {
            row.prepare(scene);
        }
        const auto fill = [&](std::string text) {
            for (const auto& [mark, by] :
                 std::map<std::string, std::string>{{"{out}", out},
                                                    {"{password}", icq.passwordFile()},
                                                    {"{root}", icq.root()},
                                                    {"{db}", icq.local(kDatabase)},
                                                    {"{p0-60}", progressLines(0, 60)},
                                                    {"{p0-50}", progressLines(0, 50)},
                                                    {"{p50-60}", progressLines(50, 60)},
                                                    {"^", kShown}}) {
                text = filled(text, mark, by);
            }
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : row.args) {
            args.push_back(filled(fill(arg), kShown, kControls));
        }
        options->wrapper.insert(options->wrapper.begin(), {"/usr/bin/timeout", "-k", "5", "120"});
        options->environment.emplace("TMPDIR", out);
        options->environment.emplace("XDG_RUNTIME_DIR", icq.area() + "/runtime");
        const std::vector<std::string> skip = {out, icq.area() + "/runtime",
                                               icq.area() + "/runtime-unprivileged"};
        const TreeSnapshot before = snapshotTree(icq.area(), skip);
        // inotify reports whether the file outside was opened or read.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_TRUE(scene.untouched.empty() ||
                    inotify_add_watch(watch, scene.untouched.c_str(), IN_OPEN | IN_ACCESS) >= 0);

        const testsupport::ProcessResult r = icq.import(args, "", *options);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(r.out, fill(row.out));
        // "*" expects the rest somewhere in the output (after the host's -v lines).
        const std::string err = fill(row.err);
        if (err.rfind('*', 0) == 0) {
            EXPECT_NE(r.err.find(err.substr(1)), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, err);
        }
        char events[4096];
        EXPECT_LE(read(watch, events, sizeof events), 0) << scene.untouched << " was opened";
        close(watch);
        EXPECT_EQ(treeChanges(before, snapshotTree(icq.area(), skip)), "") << "written outside";
    }
}

} // namespace
} // namespace e2e
