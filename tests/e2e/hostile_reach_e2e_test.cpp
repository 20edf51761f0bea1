// tolvane-import against installations that reach beyond their root: links to files and
// folders of this machine, owner files too large to be owner files, and texts made to steer a
// terminal. Nothing outside the root is read, nothing is written outside the output folder,
// and no text of the installation reaches the terminal raw.

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "confine.h"
#include "e2einstall.h"
#include "icqdb.h"
#include "text/printable.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;

// In every file outside the root that a row offers to the run.
const char kMarker[] = "TOLVANE-OUTSIDE-5c1e";
const char kRoverDatabase[] = "C:\\Program Files\\ICQ\\2000a\\23456789.dat";
const char kUinFolder[] = "C:\\Program Files\\ICQ\\uin";
const char kSystem32[] = "C:\\WINDOWS\\System32";
const char kProfile[] = "C:\\Documents and Settings\\Alice";
const char kSound[] = "C:\\Program Files\\ICQ\\Sounds\\New Message.wav";
// Clears the screen, rings the bell and sends the cursor back, as printed instead.
const char kControls[] = "\x1B[2J\a\r";
const char kShown[] = "\\x1B[2J\\x07\\r";
const int kMiB = 1024 * 1024;

/// Reports whether a file was opened or read since it was set up (inotify).
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS), 0) << path;
    }
    ~OpenWatch() { close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    bool touched() const {
        char events[4096];
        return read(fd_, events, sizeof events) > 0;
    }

private:
    int fd_;
};

/// One installation of a row, after it was built.
struct Scene {
    Installation& icq;
    std::string outside; ///< a folder beside the root, the machine's own
    std::string out;
    std::string untouched; ///< a file outside the root that the run must not open
};

/// What a row's run prints and keeps.
struct Expected {
    int status = 0;
    std::string out;
    std::string err;
    /// The entries of the record's CONTACTS section; nothing for a run without a record.
    std::optional<Json> contacts;
};

/// Who runs tolvane-import: whoever runs the tests; root, for whom only the host's checks and
/// the kernel stand between a link and any file; or a user for whom permission bits count.
enum class Who { Tester, Root, Unprivileged };

struct Row {
    const char* label;
    Who who;
    /// Only the kernel's confinement keeps the row's file out of reach: the plug-in opens it.
    bool kernelOnly;
    std::function<void(Json& description)> describe;
    std::function<void(Scene&)> prepare;
    std::function<std::vector<std::string>(const Scene&)> args;
    std::function<Expected(const Scene&)> expect;
};

Json noContacts() {
    Json entry;
    entry["key"] = "No_contacts";
    entry["value"] = "0";
    return Json::array({entry});
}

// A contact database of one contact whose nickname is the marker.
std::string markerDatabase() {
    std::string body;
    mkwin::appendTextProperty(body, "NickName", kMarker);
    mkwin::appendIntProperty(body, "UIN", 666);
    std::string database;
    mkwin::appendRecord(database, 1006, 1, "contact", body);
    return database;
}

// Moves `windowsPath` of the installation to `outside`/`name` and leaves a link to it.
std::string moveOut(const Scene& s, const std::string& windowsPath, const std::string& name) {
    const std::string local = s.icq.local(windowsPath);
    const std::string target = s.outside + "/" + name;
    fs::rename(local, target);
    fs::create_symlink(target, local);
    return target;
}

// An owner file of `size` bytes with a valid owner section, padded with comment lines.
std::string ownerFileOf(size_t size) {
    std::string text = "[ICQ User]\nNickName=Big\nUIN=999\n";
    while (text.size() < size) {
        text += std::string(std::min<size_t>(79, size - text.size() - 1), ';') + "\n";
    }
    return text;
}

std::vector<std::string> rover(const Scene& s, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--out",   s.out,   "--password-file", s.icq.passwordFile(),
                                     "--owner", "Rover", "--no-sounds"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

const char kNoArchive[] = "Messages:  not exported (--no-archive)\n";

std::string summary(const Scene& s, const std::string& owner, const std::string& server,
                    const std::string& contacts, const std::string& messages) {
    return "Owner:     " + owner + " (UIN 23456789)\nServer:    " + server +
           "\nContacts:  " + contacts + "\n" + messages + "Sounds:    not imported\n" +
           "Record:    " + s.out + "/record.json\n";
}

// The database is out of reach of the archive too; the run says it could not be carried.
Expected roverWithoutContacts(const Scene& s) {
    const std::string database = s.icq.local(kRoverDatabase);
    const std::string gap = "the contact database " + database + " (Permission denied)";
    return {3,
            summary(s, "Rover", "login.icq.com, port 5190", "0 in the record; not carried: " + gap,
                    "Messages:  not exported (see the warning above)\n"),
            progressLines(0, 60) + "tolvane-import: warning: " + database +
                ": cannot open the file (Permission denied)\n"
                "tolvane-import: not everything chosen was carried: " +
                gap + "\n",
            noContacts()};
}

Expected noIcq(const Scene& s) {
    return {1, "", "tolvane-import: no ICQ installation found in " + s.icq.root() + "\n", {}};
}

// The owners as --list prints them: `first` with no database, then Märta and Rover.
Expected listed(const std::string& err = "", const std::string& first = "",
                const std::string& rover = "Rover") {
    const size_t width = std::max<size_t>(8, text::columns(rover));
    return {0,
            text::padded("Nickname", width) + "  UIN       Contacts  Messages\n" + first +
                text::padded("M\u00e4rta", width) + "  31415926         2        53\n" +
                text::padded(rover, width) + "  23456789         3        77\n",
            err,
            {}};
}

std::vector<std::string> list(const Scene&) {
    return {"--list"};
}

void renameOwner(Json& description) {
    description["icq"]["owners"][0]["nickname"] = std::string("Ro") + kControls + "ver";
    description["icq"]["server"]["host"] = std::string("login") + kControls + ".icq.com";
}

const Row kRows[] = {
    {"a contact database linked to /etc/shadow", Who::Root, true, nullptr,
     [](Scene& s) {
         fs::remove(s.icq.local(kRoverDatabase));
         fs::create_symlink("/etc/shadow", s.icq.local(kRoverDatabase));
         s.untouched = "/etc/shadow";
     },
     [](const Scene& s) { return rover(s); }, roverWithoutContacts},
    {"a contact database linked to a file outside", Who::Unprivileged, true, nullptr,
     [](Scene& s) {
         writeFile(s.outside + "/contacts.dat", markerDatabase());
         fs::remove(s.icq.local(kRoverDatabase));
         fs::create_symlink(s.outside + "/contacts.dat", s.icq.local(kRoverDatabase));
         s.untouched = s.outside + "/contacts.dat";
     },
     [](const Scene& s) { return rover(s); }, roverWithoutContacts},
    {"System32 linked to a folder outside that holds the machine's hive", Who::Tester, false,
     nullptr,
     [](Scene& s) { s.untouched = moveOut(s, kSystem32, "System32") + "/config/SOFTWARE"; }, list,
     noIcq},
    {"the registry folder linked to a folder outside", Who::Tester, false, nullptr,
     [](Scene& s) {
         s.untouched = moveOut(s, std::string(kSystem32) + "\\config", "config") + "/SOFTWARE";
     },
     list, noIcq},
    {"a user's profile linked to a folder outside", Who::Tester, false, nullptr,
     [](Scene& s) { s.untouched = moveOut(s, kProfile, "Alice") + "/NTUSER.DAT"; }, list,
     [](const Scene&) { return listed(); }},
    {"a sound file linked to a file outside", Who::Tester, false, nullptr,
     [](Scene& s) { s.untouched = moveOut(s, kSound, "sound.wav"); },
     [](const Scene& s) {
         return std::vector<std::string>{
             "--out",   s.out,   "--password-file", s.icq.passwordFile(),
             "--owner", "Rover", "--no-contacts",   "--no-archive"};
     },
     [](const Scene& s) {
         return Expected{3,
                         "Owner:     Rover (UIN 23456789)\nServer:    login.icq.com, port "
                         "5190\nContacts:  not imported\n" +
                             std::string(kNoArchive) +
                             "Sounds:    3 sound events, 2 sound files carried (1 missing)\n"
                             "Record:    " +
                             s.out + "/record.json\n",
                         progressLines(0, 50) +
                             "tolvane-import: warning: ICQMessage: cannot carry the file (it "
                             "has no local path)\n" +
                             progressLines(50, 60) +
                             "tolvane-import: not everything chosen was carried: 1 sound file\n",
                         {}};
     }},
    {"an owner file of 1 MiB", Who::Tester, false, nullptr,
     [](Scene& s) { writeFile(s.icq.local(kUinFolder) + "/big.uin", ownerFileOf(kMiB)); }, list,
     [](const Scene& s) {
         return listed(
             "tolvane-import: warning: no contact database of UIN 999 found (looked for " +
                 s.icq.local("C:\\Program Files\\ICQ\\2000a\\999.dat") + ")\n",
             "Big       999              ?         ?\n");
     }},
    {"an owner file over 1 MiB", Who::Tester, false, nullptr,
     [](Scene& s) { writeFile(s.icq.local(kUinFolder) + "/big.uin", ownerFileOf(kMiB + 1)); }, list,
     [](const Scene& s) {
         return listed("tolvane-import: warning: " + s.icq.local(kUinFolder) +
                       "/big.uin: left out (larger than 1 MiB)\n");
     }},
    {"control characters in an owner's nickname, listed", Who::Tester, false, renameOwner, nullptr,
     list, [](const Scene&) { return listed("", "", std::string("Ro") + kShown + "ver"); }},
    {"control characters in the summary, the owner chosen as listed", Who::Tester, false,
     renameOwner, nullptr,
     [](const Scene& s) {
         std::vector<std::string> args = rover(s, {"--no-contacts", "--no-archive"});
         args[5] = std::string("Ro") + kShown + "ver";
         return args;
     },
     [](const Scene& s) {
         const std::string shown = summary(s, std::string("Ro") + kShown + "ver",
                                           std::string("login") + kShown + ".icq.com, port 5190",
                                           "not imported", kNoArchive);
         return Expected{0, shown, progressLines(0, 60), {}};
     }},
    {"control characters in an error naming the owners", Who::Tester, false, renameOwner, nullptr,
     [](const Scene& s) {
         std::vector<std::string> args = rover(s);
         args[5] = "Nobody";
         return args;
     },
     [](const Scene&) {
         return Expected{2,
                         "",
                         std::string("tolvane-import: no ICQ owner named \"Nobody\" (owners: "
                                     "M\u00e4rta (UIN 31415926), Ro") +
                             kShown + "ver (UIN 23456789))\n",
                         {}};
     }},
    {"control characters in the plug-in's own lines", Who::Tester, false,
     [](Json& d) { d["icq"]["folder"] = std::string("C:\\Program Files\\IC") + kControls + "Q"; },
     nullptr,
     [](const Scene& s) {
         return std::vector<std::string>{"--out", s.out, "--owner", "Nobody", "--debug"};
     },
     [](const Scene& s) {
         return Expected{2,
                         "",
                         "tolvane-import: machine hive: " + s.icq.local(kSystem32) +
                             "/config/SOFTWARE\ntolvane-import: user hive of Alice: " +
                             s.icq.local(kProfile) + "/NTUSER.DAT\ntolvane-import: plug-in: " +
                             TARVEX_PLUGIN "\n\n --> C:\\Program Files\\IC" + kShown +
                             "Q\ntolvane-import: no ICQ owner named \"Nobody\" (owners: "
                             "M\u00e4rta (UIN 31415926), Rover (UIN 23456789))\n",
                         {}};
     }},
    {"control characters in an error naming the users", Who::Tester, false,
     [](Json& d) {
         d["users"] = Json::array({"Alice", "Eve"});
     },
     [](Scene& s) {
         fs::rename(s.icq.local("C:\\Documents and Settings\\Eve"),
                    s.icq.local("C:\\Documents and Settings\\E") + kControls + "ve");
     },
     list,
     [](const Scene& s) {
         return Expected{2,
                         "",
                         "tolvane-import: " + s.icq.root() + ": several users (Alice, E" + kShown +
                             "ve); choose one with --user NAME\n",
                         {}};
     }},
    {"control characters in a warning naming a file", Who::Tester, false,
     [](Json& d) {
         d["users"] = Json::array({"Alice", "Eve"});
     },
     [](Scene& s) {
         const std::string profile =
             s.icq.local("C:\\Documents and Settings\\E") + kControls + "ve";
         fs::rename(s.icq.local("C:\\Documents and Settings\\Eve"), profile);
         writeFile(profile + "/NTUSER.DAT", "");
     },
     [](const Scene&) {
         return std::vector<std::string>{"--user", std::string("E") + kControls + "ve", "--list"};
     },
     [](const Scene& s) {
         return listed("tolvane-import: warning: " + s.icq.local("C:\\Documents and Settings\\E") +
                       kShown +
                       "ve/NTUSER.DAT: not a registry hive (expected at least 8192 bytes, "
                       "found 0)\n");
     }},
};

// The output folder holds neither the marker nor a line of /etc/shadow.
void expectNothingFromOutside(const std::string& out) {
    const std::string shadowLine = geteuid() == 0 ? readFile("/etc/shadow").substr(0, 20) : "";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(out, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) {
            continue;
        }
        const std::string content = readFile(it->path().string());
        EXPECT_EQ(content.find(kMarker), std::string::npos) << it->path();
        EXPECT_TRUE(shadowLine.empty() || content.find(shadowLine) == std::string::npos)
            << it->path() << " holds a line of /etc/shadow";
    }
}

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
        Scene setup{icq, icq.area() + "/outside", icq.out(), ""};
        fs::create_directories(setup.outside);
        fs::create_directories(setup.out);
        fs::permissions(setup.out, fs::perms::all);
        if (row.prepare) {
            row.prepare(setup);
        }
        const Expected expected = row.expect(setup);
        options->wrapper.insert(options->wrapper.begin(), {"/usr/bin/timeout", "-k", "5", "120"});
        options->environment.emplace("TMPDIR", setup.out);
        options->environment.emplace("XDG_RUNTIME_DIR", icq.area() + "/runtime");
        fs::create_directories(icq.area() + "/runtime");
        fs::permissions(icq.area() + "/runtime", fs::perms::owner_all);
        const std::vector<std::string> skip = {setup.out, icq.area() + "/runtime",
                                               icq.area() + "/runtime-unprivileged"};
        const TreeSnapshot before = snapshotTree(icq.area(), skip);
        std::optional<OpenWatch> watch;
        if (!setup.untouched.empty()) {
            watch.emplace(setup.untouched);
        }

        const ProcessResult r = icq.import(row.args(setup), "", *options);
        EXPECT_EQ(r.status, expected.status) << r.err;
        EXPECT_EQ(r.out, expected.out);
        EXPECT_EQ(r.err, expected.err);
        if (expected.contacts) {
            const Json record = icq.record(setup.out);
            for (const Json& section : record["sections"]) {
                if (section["name"] == "CONTACTS") {
                    EXPECT_EQ(section["entries"], *expected.contacts);
                }
            }
        }
        EXPECT_FALSE(watch && watch->touched()) << setup.untouched << " was opened";
        EXPECT_EQ(treeChanges(before, snapshotTree(icq.area(), skip)), "");
        expectNothingFromOutside(setup.out);
    }
}

} // namespace
} // namespace e2e
