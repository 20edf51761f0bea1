// tolvane-import against damaged and hostile installations: whatever the disk holds, the run
// ends with a defined status and message, a record that is whole (or absent), nothing written
// outside the output folder and nothing carried from outside the Windows root.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "e2einstall.h"
#include "icqdb.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;

// Beside the Windows root, in every file that must never be carried or read.
const char kSecret[] = "TOLVANE-SECRET-7f3a";
const char kRoverDatabase[] = "C:\\Program Files\\ICQ\\2000a\\23456789.dat";
const char kRoverOwnerFile[] = "C:\\Program Files\\ICQ\\uin\\23456789.uin";
const char kSounds[] = "C:\\Program Files\\ICQ\\Sounds\\";
const char kRoverSoundsKey[] = "Software\\Mirabilis\\ICQ\\Owners\\23456789\\Prefs\\Sounds";
const char kSecondsLimit[] = "120";

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

Json value(const std::string& key, const std::string& text) {
    Json entry;
    entry["key"] = key;
    entry["value"] = text;
    return entry;
}

Json* findSection(Json& record, const std::string& name) {
    for (Json& section : record["sections"]) {
        if (section["name"] == name) {
            return &section;
        }
    }
    return nullptr;
}

// The entries of a contact's section; the names not given keep their placeholders.
Json contact(const std::string& uin, const std::string& nickname,
             const std::string& firstName = "FirstName") {
    return Json::array({value("UIN", uin), value("First_Name", firstName),
                        value("Last_Name", "LastName"), value("Description", "MyDefinedHandle"),
                        value("Nickname", nickname), value("Email", "PrimaryEmail")});
}

// A registry value of the sample installation's ICQ user, as the description's extraValues
// list holds it.
Json userValue(const std::string& key, const std::string& name, const std::string& text) {
    Json v;
    v["root"] = "HKCU";
    v["key"] = key;
    v["name"] = name;
    v["type"] = "sz";
    v["value"] = text;
    return v;
}

// A sound entry of a record.
Json soundEntry(const std::string& event, const std::string& quotedFile, const Json& carried) {
    Json entry;
    entry["key"] = event;
    entry["file"] = quotedFile;
    entry["carried"] = carried;
    return entry;
}

// The UINs of the contacts in a record, in order.
std::vector<std::string> contactUins(const Json& record) {
    std::vector<std::string> uins;
    for (const Json& section : record["sections"]) {
        if (section["name"] != "CONTACTS") {
            continue;
        }
        for (const Json& entry : section["entries"]) {
            if (entry.contains("section")) {
                uins.push_back(entry["section"]["entries"][0]["value"].get<std::string>());
            }
        }
    }
    return uins;
}

// Pseudo-random bytes, the same for the same seed.
std::string randomBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// How to run a program as a user without privileges, for whom permission bits count: nothing
// when the tests run as one already, setpriv (util-linux) when they run as root. Empty with
// `why` set when there is no way.
std::optional<std::vector<std::string>> unprivileged(std::string& why) {
    if (geteuid() != 0) {
        return std::vector<std::string>{};
    }
    const char* const setpriv = "/usr/bin/setpriv";
    if (access(setpriv, X_OK) != 0) {
        why = "running as root without /usr/bin/setpriv to drop privileges";
        return std::nullopt;
    }
    return std::vector<std::string>{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
}

// How to run a program whose output folder `dir` lies on a file system of 64 KiB: a tmpfs
// mounted over `dir` in a mount namespace of the run's own, so that nothing outlives the run,
// whose content is copied to `keep` at the end. Where mounting is not allowed (a container),
// a file size limit of 64 KiB stands in for it. `cause` receives the error the writes get.
RunOptions onSmallFileSystem(const std::string& dir, const std::string& keep, std::string& cause) {
    const char* const unshare = "/usr/bin/unshare";
    const std::vector<std::string> inNamespace = {unshare,   "--mount", "--propagation",
                                                  "private", "/bin/sh", "-c"};
    const char* const mount = "mount -t tmpfs -o size=64k tmpfs \"$1\"";
    RunOptions options;
    std::vector<std::string> probe = inNamespace;
    probe.insert(probe.end(), {mount, "sh", dir});
    if (access(unshare, X_OK) == 0 && testsupport::runProcess(probe).status == 0) {
        cause = std::strerror(ENOSPC);
        options.wrapper = inNamespace;
        options.wrapper.insert(options.wrapper.end(),
                               {std::string(mount) + " || exit 99\n"
                                                     "dir=$1; keep=$2; shift 2\n"
                                                     "\"$@\"; status=$?\n"
                                                     "cp -a \"$dir/.\" \"$keep\" || exit 98\n"
                                                     "exit $status",
                                "sh", dir, keep});
        return options;
    }
    // Writes past the limit fail with EFBIG once SIGXFSZ is ignored; the output folder is then
    // where it is kept.
    cause = std::strerror(EFBIG);
    options.wrapper = {"/bin/sh",
                       "-c",
                       "trap '' XFSZ\n"
                       "dir=$1; keep=$2; shift 2\n"
                       "/usr/bin/prlimit --fsize=65536 -- \"$@\"; status=$?\n"
                       "cp -a \"$dir/.\" \"$keep\" || exit 98\n"
                       "exit $status",
                       "sh",
                       dir,
                       keep};
    return options;
}

class HostileE2e : public ::testing::Test {
protected:
    HostileE2e() : icq(std::make_unique<Installation>(smallDescription())) {}

    /// Starts again with a fresh sample installation (not built).
    void startOver() { icq = std::make_unique<Installation>(smallDescription()); }

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

    /// Imports Rover into `out` with `extra` and checks a clean run: status 0, nothing but
    /// progress and the archive's `archiveWarning` on standard error, and `expected` as the
    /// record.
    void expectCleanImport(const std::string& out, const Json& expected,
                           const std::vector<std::string>& extra = {},
                           const std::string& archiveWarning = "") {
        const ProcessResult r = run(roverArgs(out, extra), out);
        EXPECT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(r.err, progressLines(0, 60) + archiveWarning);
        expectRecord(icq->record(out), expected);
    }

    /// The record of a complete import of Rover.
    Json fullRoverRecord() const {
        Choices choices;
        choices.owner = "Rover";
        return icq->expectedRecord(choices);
    }

    /// Runs tolvane-import with `args` and checks what every run keeps, whatever the input:
    /// no crash and no hang, a record.json that parses or does not exist, no temporary file
    /// left, nothing written outside `out` (and `skip`), and the secret nowhere in the output.
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
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << describe(r);
        EXPECT_EQ(treeChanges(before, snapshotTree(icq->area(), ignored)), "")
            << "written outside " << out;
        checkOutput(out);
        return r;
    }

    /// `options` with a time limit, and temporary and runtime folders inside the area.
    RunOptions limited(RunOptions options) const {
        options.wrapper.insert(options.wrapper.begin(),
                               {"/usr/bin/timeout", "-k", "5", kSecondsLimit});
        options.environment.emplace("TMPDIR", icq->area() + "/tmp");
        options.environment.emplace("XDG_RUNTIME_DIR", icq->area() + "/runtime");
        return options;
    }

    /// The record of `out` is whole or absent, and nothing in `out` holds the secret.
    static void checkOutput(const std::string& out) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(out, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "left behind: " << it->path();
            if (it->is_regular_file()) {
                EXPECT_EQ(readFile(it->path().string()).find(kSecret), std::string::npos)
                    << it->path() << " holds a file from outside the Windows root";
            }
        }
        const std::string path = out + "/record.json";
        if (!exists(path)) {
            return;
        }
        Json record;
        ASSERT_NO_THROW(record = Json::parse(readFile(path))) << path << " is not whole";
        EXPECT_EQ(record["format"], "tolvane-record/1");
        ASSERT_TRUE(record["complete"].is_boolean());
        if (record["complete"].get<bool>()) {
            for (const Json& section : record["sections"]) {
                EXPECT_TRUE(section["closed"].get<bool>()) << section.dump();
            }
        }
    }

    /// The record of a complete import of Rover with these contacts (entries of contact
    /// sections) in place of the installation's.
    Json roverRecord(const std::vector<Json>& contacts) const {
        Json expected = fullRoverRecord();
        Json entries = Json::array();
        for (const Json& inner : contacts) {
            Json section;
            section["name"] = "contact_" + std::to_string(entries.size() + 1);
            section["closed"] = true;
            section["entries"] = inner;
            Json entry;
            entry["section"] = section;
            entries.push_back(entry);
        }
        entries.push_back(value("No_contacts", std::to_string(contacts.size())));
        (*findSection(expected, "CONTACTS"))["entries"] = entries;
        return expected;
    }

    /// How to run tolvane-import without privileges, checked by listing the owners that way;
    /// nothing (with the reason in `why`) when that cannot work here, as with a build folder
    /// that such a user cannot enter.
    std::optional<RunOptions> withoutPrivileges(std::string& why) {
        std::optional<std::vector<std::string>> wrapper = unprivileged(why);
        if (!wrapper) {
            return std::nullopt;
        }
        const fs::perms open = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
        fs::permissions(icq->area(), open);
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

    std::unique_ptr<Installation> icq;
};

// --- contact databases --------------------------------------------------------------------

// A database written property by property, with the offset of every piece of the last
// contact's record, so that it can be cut anywhere inside.
struct HandMadeDatabase {
    std::string bytes;
    std::map<std::string, size_t> at; ///< label -> offset of the first byte after the cut
};

HandMadeDatabase handMadeDatabase() {
    using namespace mkwin;
    HandMadeDatabase db;
    std::string owner;
    appendTextProperty(owner, "NickName", "Rover");
    appendIntProperty(owner, "UIN", 23456789);
    appendRecord(db.bytes, 1000, 1, "owner", owner);

    std::string first;
    appendTextProperty(first, "FirstName", "J\xF6rg");
    appendTextProperty(first, "NickName", "J\xF6rg");
    appendIntProperty(first, "UIN", 4711042);
    appendRecord(db.bytes, 1006, 2, "contact", first);

    // The second contact: every kind of value, then its UIN last.
    const size_t record = db.bytes.size();
    const size_t body = record + 28;
    std::string second;
    const auto mark = [&](const std::string& label, size_t offsetInBody) {
        db.at[label] = body + offsetInBody;
    };
    const auto name = [](std::string_view n) { return 2 + n.size() + 1; }; // through the NUL
    size_t p = second.size();
    appendTextProperty(second, "Email", std::string(200, 'e')); // over 127 bytes: empty value
    mark("inside a long text", p + name("Email") + 1 + 2 + 150);
    p = second.size();
    appendByteProperty(second, "Flag", 'd', 1);
    mark("inside a name", p + 3);
    mark("before a type byte", p + name("Flag"));
    p = second.size();
    appendWordProperty(second, "Group", 'f', 2);
    mark("inside a word", p + name("Group") + 1 + 1);
    p = second.size();
    appendDwordProperty(second, "Status", 2);
    mark("inside a dword", p + name("Status") + 1 + 3);
    p = second.size();
    appendBlobProperty(second, "Blob", std::string(40, '\x01'));
    mark("inside a blob length", p + name("Blob") + 1 + 2);
    mark("inside a blob", p + name("Blob") + 1 + 4 + 20);
    p = second.size();
    std::string inner;
    appendTextProperty(inner, "NickName", "Inner");
    appendListProperty(second, "List", inner);
    mark("inside a sublist", p + name("List") + 1 + 4 + 8);
    p = second.size();
    appendTextProperty(second, "NickName", "\xC5sa");
    mark("inside a text name", p + 5);
    mark("inside a text length", p + name("NickName") + 1 + 1);
    mark("inside a text", p + name("NickName") + 1 + 2 + 1);
    mark("before a text's NUL", p + name("NickName") + 1 + 2 + 3);
    p = second.size();
    appendIntProperty(second, "UIN", 5550123);
    mark("inside the UIN's name", p + 3);
    mark("before the UIN's type byte", p + name("UIN"));
    mark("inside the UIN", p + name("UIN") + 1 + 2);
    mark("after the UIN", p + name("UIN") + 1 + 4);
    appendRecord(db.bytes, 1006, 3, "contact", second);
    db.at["inside a record length"] = record + 2;
    db.at["inside a signature"] = record + 12 + 7;
    return db;
}

TEST_F(HostileE2e, DamagedContactDatabaseEndsTheContactListThere) {
    build();
    const HandMadeDatabase db = handMadeDatabase();
    const Json jorg = contact("4711042", "Jörg", "Jörg");
    const Json asa = contact("5550123", "Åsa");
    struct Case {
        std::string label;
        std::string bytes;
        std::vector<Json> contacts;
    };
    std::vector<Case> cases;
    for (const auto& [label, offset] : db.at) {
        const bool whole = label == "after the UIN";
        cases.push_back({"cut " + label, db.bytes.substr(0, offset),
                         whole ? std::vector<Json>{jorg, asa} : std::vector<Json>{jorg}});
    }
    cases.push_back({"empty", "", {}});
    cases.push_back({"only zero bytes", std::string(1 << 20, '\0'), {}});
    cases.push_back({"only 0xFF bytes", std::string(1 << 16, '\xFF'), {}});
    cases.push_back({"random garbage", randomBytes(1 << 18, 1), {}});
    cases.push_back(
        {"garbage after the contacts", db.bytes + randomBytes(1 << 16, 2), {jorg, asa}});
    const std::string path = icq->local(kRoverDatabase);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeFile(path, c.bytes);
        const std::string out = icq->out("db" + std::to_string(++n));
        // The archive refuses these hand-made files; here the plug-in's scan is tested.
        expectCleanImport(out, roverRecord(c.contacts), {"--no-archive"});
    }
}

TEST_F(HostileE2e, GarbageFullOfPropertyNamesGivesWholeContacts) {
    build();
    // Runs of property names with random types, lengths and values, as a damaged file may
    // hold them: whatever the reader makes of them, every contact is whole.
    std::string bytes;
    const char* const names[] = {"FirstName", "LastName",     "MyDefinedHandle",
                                 "NickName",  "PrimaryEmail", "UIN"};
    const std::string noise = randomBytes(1 << 16, 3);
    for (size_t i = 0; i + 8 < noise.size(); i += 8) {
        bytes += names[static_cast<unsigned char>(noise[i]) % 6];
        bytes += '\0';
        bytes += "ki"[noise[i + 1] & 1];
        bytes.append(noise, i + 2, static_cast<unsigned char>(noise[i + 3]) % 7);
    }
    writeFile(icq->local(kRoverDatabase), bytes);
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out, {"--no-archive"}), out);
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 60));
    const Json record = icq->record(out);
    EXPECT_EQ(record["complete"], true);
    const std::vector<std::string> uins = contactUins(record);
    EXPECT_FALSE(uins.empty());
    for (const Json& section : record["sections"]) {
        if (section["name"] != "CONTACTS") {
            continue;
        }
        const Json& entries = section["entries"];
        ASSERT_EQ(entries.size(), uins.size() + 1);
        for (size_t i = 0; i < uins.size(); ++i) {
            const Json& contact = entries[i]["section"];
            EXPECT_EQ(contact["name"], "contact_" + std::to_string(i + 1));
            ASSERT_EQ(contact["entries"].size(), 6u);
            EXPECT_EQ(contact["entries"][5]["key"], "Email");
        }
        EXPECT_EQ(entries.back(), value("No_contacts", std::to_string(uins.size())));
    }
}

// --- owner files -------------------------------------------------------------------------

TEST_F(HostileE2e, DamagedOwnerFilesAreLeftOutOfTheOwnerList) {
    const std::string longNick(100000, 'L');
    struct Case {
        const char* label;
        std::function<void(const std::string& uinDir)> damage;
        std::string listed;
    };
    const auto extra = [](const std::string& name, const std::string& bytes) {
        return [=](const std::string& uinDir) { writeFile(uinDir + "/" + name, bytes); };
    };
    const auto replaceMarta = [](const std::function<void(const std::string&)>& with) {
        return [=](const std::string& uinDir) {
            fs::remove(uinDir + "/31415926.uin");
            with(uinDir + "/31415926.uin");
        };
    };
    const Case cases[] = {
        {"binary junk", extra("junk.uin", randomBytes(4096, 4)), "M\u00e4rta\nRover\n"},
        {"only zero bytes", extra("zero.uin", std::string(65536, '\0')), "M\u00e4rta\nRover\n"},
        {"junk around an owner section",
         extra("junk.uin", randomBytes(3000, 5) + "\n[ICQ User]\nNickName=Junk\nUIN=1234\n" +
                               randomBytes(3000, 6)),
         "Junk\nM\u00e4rta\nRover\n"},
        {"a nickname line of 100 000 characters",
         extra("long.uin", "[ICQ User]\r\nNickName=" + longNick + "\r\nUIN=777\r\n"),
         std::string(79, 'L') + "\nM\u00e4rta\nRover\n"},
        {"a line of 100 000 characters before the section",
         extra("long.uin", longNick + "\n[ICQ User]\nNickName=Longline\nUIN=778\n"),
         "Longline\nM\u00e4rta\nRover\n"},
        {"a directory", replaceMarta([](const std::string& p) { fs::create_directory(p); }),
         "Rover\n"},
        {"a link to itself", replaceMarta([](const std::string& p) { fs::create_symlink(p, p); }),
         "Rover\n"},
        {"a named pipe",
         replaceMarta([](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }),
         "Rover\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        build();
        c.damage(icq->local("C:\\Program Files\\ICQ\\uin"));
        const std::string out = icq->out();
        const ProcessResult list = run({"--list"}, out);
        EXPECT_EQ(list.status, 0) << describe(list);
        EXPECT_EQ(list.err, "");
        EXPECT_EQ(list.out, c.listed);
        expectCleanImport(out, fullRoverRecord());
    }
}

TEST_F(HostileE2e, FiveThousandOwnerFiles) {
    build();
    const std::string uinDir = icq->local("C:\\Program Files\\ICQ\\uin");
    for (int i = 0; i < 5000; ++i) {
        const std::string uin = std::to_string(100000 + i);
        writeFile(uinDir + "/" + uin + ".uin",
                  "[ICQ User]\r\nNickName=Owner " + uin + "\r\nUIN=" + uin + "\r\n");
    }
    const std::string out = icq->out();
    const ProcessResult list = run({"--list"}, out);
    ASSERT_EQ(list.status, 0) << describe(list);
    EXPECT_EQ(list.err, "");
    std::string listed = "M\u00e4rta\n";
    for (int i = 0; i < 5000; ++i) {
        listed += "Owner " + std::to_string(100000 + i) + "\n";
    }
    EXPECT_EQ(list.out, listed + "Rover\n");
    expectCleanImport(out, fullRoverRecord());
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
    EXPECT_EQ(r.status, 0) << describe(r);
    Json expected = fullRoverRecord();
    Json& entries = (*findSection(expected, "ICQ_SOUNDS_SETTINGS"))["entries"];
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
    EXPECT_EQ(r.err, progressLines(0, 50) + warnings + progressLines(50, 60));
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
    Choices choices;
    choices.owner = "Rover" + weird;
    const std::string out = icq->out("out" + weird);
    RunOptions options;
    // A command that did run would leave its files where the program runs.
    options.wrapper = {"/usr/bin/env", "-C", icq->area()};
    options.environment = {{"VANTRY_USER", "$(touch pwned-4)"},
                           {"VANTRY_GROUP", "`touch pwned-5`"}};
    const ProcessResult r =
        run({"--out", out, "--password-file", icq->passwordFile(), "--owner", choices.owner}, out,
            options);
    EXPECT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 60));
    expectRecord(icq->record(out), icq->expectedRecord(choices));
    for (int i = 1; i <= 5; ++i) {
        EXPECT_FALSE(exists(icq->area() + "/pwned-" + std::to_string(i)));
    }
}

// --- registry -----------------------------------------------------------------------------

TEST_F(HostileE2e, RegistryValuesLongerThanEveryBuffer) {
    const std::string longName(5000, 'x');
    icq->description()["icq"]["server"]["host"] = "h" + longName;
    icq->description()["extraValues"].push_back(
        userValue(kRoverSoundsKey, "ICQBell", std::string(kSounds) + longName + ".wav"));
    build();
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 0) << describe(r);
    Json expected = fullRoverRecord();
    // The server name fills its 128-byte buffer; the sound path its 1024-byte one.
    (*findSection(expected, "ICQ_IMPORTED_SETTINGS"))["entries"][0]["value"] =
        "h" + longName.substr(0, 126);
    const std::string cut = (std::string(kSounds) + longName).substr(0, 1023);
    const std::string local = icq->local(cut);
    Json& sounds = (*findSection(expected, "ICQ_SOUNDS_SETTINGS"))["entries"];
    sounds.insert(sounds.begin() + 2, soundEntry("ICQBell", "\"" + local + "\"", nullptr));
    EXPECT_EQ(r.err, progressLines(0, 50) + "tolvane-import: warning: " + local +
                         ": cannot carry (File name too long)\n" + progressLines(50, 60));
    expectRecord(icq->record(out), expected);

    // An application path that long names no owner folder: ICQ is there, without owners.
    startOver();
    icq->description()["icq"]["appPath"] = "C:\\" + longName + "\\ICQ.exe";
    build();
    const std::string longOut = icq->out();
    const ProcessResult list = run({"--list"}, longOut);
    EXPECT_EQ(list.status, 1) << describe(list);
    EXPECT_EQ(list.err, "tolvane-import: ICQ is installed but has no owners\n");
    const ProcessResult noOwner = run(roverArgs(longOut), longOut);
    EXPECT_EQ(noOwner.status, 2) << describe(noOwner);
    EXPECT_EQ(noOwner.err, "tolvane-import: no ICQ owner named \"Rover\" (owners: none)\n");
    EXPECT_FALSE(exists(longOut));
}

// --- things that are not what they should be ----------------------------------------------

TEST_F(HostileE2e, DatabaseThatIsNoFileGivesNoContacts) {
    struct Case {
        const char* label;
        std::function<void(const std::string& path)> make;
    };
    const Case cases[] = {
        {"a directory", [](const std::string& p) { fs::create_directory(p); }},
        {"a link to itself", [](const std::string& p) { fs::create_symlink(p, p); }},
        {"a named pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"a folder that links to itself",
         [](const std::string& p) {
             const fs::path folder = fs::path(p).parent_path();
             fs::remove_all(folder);
             fs::create_directory_symlink(folder.filename(), folder);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        build();
        const std::string path = icq->local(kRoverDatabase);
        fs::remove(path);
        c.make(path);
        const std::string out = icq->out();
        expectCleanImport(out, roverRecord({}), {},
                          "tolvane-import: warning: no contact database of UIN 23456789 found, "
                          "so no archive is written\n");
    }
}

TEST_F(HostileE2e, SoundFilesThatAreNoFilesAreNotCarried) {
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
        {"ICQBell", "pipe.wav", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
         "it is not a regular file"},
    };
    for (const Case& c : cases) {
        icq->description()["extraValues"].push_back(
            userValue(kRoverSoundsKey, c.event, std::string(kSounds) + c.name));
    }
    build();
    for (const Case& c : cases) {
        c.make(icq->local(kSounds) + c.name);
    }
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 0) << describe(r);
    Json expected = fullRoverRecord();
    Json& entries = (*findSection(expected, "ICQ_SOUNDS_SETTINGS"))["entries"];
    std::string warnings;
    size_t at = 2;
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
    EXPECT_EQ(r.err, progressLines(0, 50) + warnings + progressLines(50, 60));
    expectRecord(icq->record(out), expected);
}

TEST_F(HostileE2e, LinkLoopsInTheIcqFolder) {
    // The owner folder itself is a link to itself: ICQ is there, its owners are not.
    build();
    const std::string uinDir = icq->local("C:\\Program Files\\ICQ\\uin");
    fs::remove_all(uinDir);
    fs::create_directory_symlink("uin", uinDir);
    const std::string out = icq->out();
    const ProcessResult list = run({"--list"}, out);
    EXPECT_EQ(list.status, 1) << describe(list);
    EXPECT_EQ(list.err, "tolvane-import: ICQ is installed but has no owners\n");
    const ProcessResult r = run(roverArgs(out), out);
    EXPECT_EQ(r.status, 2) << describe(r);
    EXPECT_EQ(r.err, "tolvane-import: no ICQ owner named \"Rover\" (owners: none)\n");
    EXPECT_FALSE(exists(out));

    // Loops beside the owner files and the databases change nothing.
    startOver();
    build();
    const std::string icqDir = icq->local("C:\\Program Files\\ICQ");
    fs::create_directory_symlink(".", icqDir + "/uin/again");
    fs::create_symlink("a.uin", icqDir + "/uin/b.uin");
    fs::create_symlink("b.uin", icqDir + "/uin/a.uin");
    fs::create_directory_symlink("../ICQ", icqDir + "/2000a/ICQ");
    fs::create_directory_symlink("2003a", icqDir + "/2003a");
    const std::string loopsOut = icq->out();
    expectCleanImport(loopsOut, fullRoverRecord());
}

TEST_F(HostileE2e, OwnerUinNamingAnotherFolderReadsNoDatabaseThere) {
    // An owner file is text: its UIN can name a path, here one to a database beside the root.
    build();
    std::string secretContacts;
    std::string body;
    mkwin::appendTextProperty(body, "NickName", kSecret);
    mkwin::appendIntProperty(body, "UIN", 666);
    mkwin::appendRecord(secretContacts, 1006, 1, "contact", body);
    writeFile(icq->area() + "/secret.dat", secretContacts);
    writeFile(icq->local(kRoverOwnerFile),
              "[ICQ User]\r\nNickName=Rover\r\nUIN=../../../../secret\r\n");
    const std::string out = icq->out();
    const ProcessResult r = run(roverArgs(out, {"--no-sounds"}), out);
    EXPECT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.err, progressLines(0, 60) + "tolvane-import: warning: no contact database of UIN "
                                            "../../../../secret found, so no archive is written\n");
    const Json record = icq->record(out);
    EXPECT_EQ(record["sections"][2]["entries"][0], value("UIN", "../../../../secret\r"));
    EXPECT_EQ(record["sections"][3]["entries"], Json::array({value("No_contacts", "0")}));
}

TEST_F(HostileE2e, DamagedHives) {
    const char* const software = "C:\\WINDOWS\\System32\\config\\SOFTWARE";
    const char* const user = "C:\\Documents and Settings\\Alice\\NTUSER.DAT";
    const std::string cutShort = "damaged registry hive (bins cut short, header checksum wrong), "
                                 "reading what it holds";
    struct Case {
        const char* label;
        const char* hive;
        std::function<std::string(const std::string& bytes)> damage;
        std::string warning;
        /// What of the registry the import still finds.
        enum { Nothing, MachineOnly, Everything } found;
    };
    const Case cases[] = {
        {"empty machine hive", software, [](const std::string&) { return std::string(); },
         "not a registry hive (expected at least 8192 bytes, found 0)", Case::Nothing},
        {"garbage machine hive", software,
         [](const std::string& b) { return randomBytes(b.size(), 7); },
         "not a registry hive (expected \"regf\" at the start, found 63 B7 29 99)", Case::Nothing},
        {"machine hive cut in its header", software,
         [](const std::string& b) { return b.substr(0, 300); },
         "not a registry hive (expected at least 8192 bytes, found 300)", Case::Nothing},
        {"machine hive without its last bin", software,
         [](const std::string& b) { return b.substr(0, b.size() - 4096 - 100); }, cutShort,
         Case::Everything},
        {"empty user hive", user, [](const std::string&) { return std::string(); },
         "not a registry hive (expected at least 8192 bytes, found 0)", Case::MachineOnly},
        {"garbage user hive", user,
         [](const std::string& b) { return "regf" + randomBytes(b.size() - 4, 8); },
         "damaged registry hive, read as empty (hivex: Operation not supported)",
         Case::MachineOnly},
        {"user hive with its first bin only", user,
         [](const std::string& b) { return b.substr(0, 8192 + 100); }, cutShort, Case::MachineOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startOver();
        build();
        const std::string path = icq->local(c.hive);
        writeFile(path, c.damage(readFile(path)));
        const std::string out = icq->out();
        const ProcessResult r = run(roverArgs(out), out);
        const std::string warning = "tolvane-import: warning: " + path + ": " + c.warning + "\n";
        if (c.found == Case::Nothing) {
            EXPECT_EQ(r.status, 1) << describe(r);
            EXPECT_EQ(r.err, warning + "tolvane-import: no ICQ installation found in " +
                                 icq->root() + " (the registry has no ICQ.exe application path)\n");
            const Json record = icq->record(out);
            EXPECT_EQ(record["complete"], false);
            EXPECT_EQ(record["sections"], Json::array());
            continue;
        }
        EXPECT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(r.err, warning + progressLines(0, 60));
        Json expected = fullRoverRecord();
        if (c.found == Case::MachineOnly) {
            // No server, no sounds: they are the user's settings.
            Json& settings = (*findSection(expected, "ICQ_IMPORTED_SETTINGS"))["entries"];
            settings[0]["value"] = "ICQ_VQX_NO";
            settings[1]["value"] = "ICQ_VQX_NO";
            (*findSection(expected, "ICQ_SOUNDS_SETTINGS"))["entries"] = Json::array();
            EXPECT_NE(r.out.find("Server:    unknown host, unknown port\n"), std::string::npos)
                << r.out;
        }
        expectRecord(icq->record(out), expected);
    }
}

TEST_F(HostileE2e, UnreadableFiles) {
    build();
    std::string why;
    const std::optional<RunOptions> user = withoutPrivileges(why);
    if (!user) {
        GTEST_SKIP() << why;
    }
    const auto lock = [&](const std::string& windowsPath) {
        fs::permissions(icq->local(windowsPath), fs::perms::none);
    };
    // Märta's owner file, Rover's database and one of his sounds.
    lock("C:\\Program Files\\ICQ\\uin\\31415926.uin");
    lock(kRoverDatabase);
    lock("C:\\Program Files\\ICQ\\Sounds\\New Message.wav");
    const std::string out = icq->out("shared");
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    const ProcessResult list = run({"--list"}, out, *user);
    EXPECT_EQ(list.status, 0) << describe(list);
    EXPECT_EQ(list.err, "");
    EXPECT_EQ(list.out, "Rover\n");
    const ProcessResult r = run(roverArgs(out), out, *user);
    EXPECT_EQ(r.status, 0) << describe(r);
    const std::string sound = icq->local("C:\\Program Files\\ICQ\\Sounds\\New Message.wav");
    const std::string noArchive = "tolvane-import: warning: " + icq->local(kRoverDatabase) +
                                  ": cannot open the file (Permission denied)\n";
    EXPECT_EQ(r.err, progressLines(0, 50) + "tolvane-import: warning: " + sound +
                         ": cannot carry (Permission denied)\n" + progressLines(50, 60) +
                         noArchive);
    Json expected = roverRecord({});
    (*findSection(expected, "ICQ_SOUNDS_SETTINGS"))["entries"][2]["carried"] = nullptr;
    expectRecord(icq->record(out), expected);

    // The user's hive: ICQ is found in the machine's, the owner's settings are not there.
    lock("C:\\Documents and Settings\\Alice\\NTUSER.DAT");
    const std::string noUser = out + "/no-user";
    const ProcessResult hive = run(roverArgs(noUser, {"--no-contacts"}), noUser, *user, {out});
    EXPECT_EQ(hive.status, 0) << describe(hive);
    EXPECT_EQ(hive.err, "tolvane-import: warning: " +
                            icq->local("C:\\Documents and Settings\\Alice\\NTUSER.DAT") +
                            ": cannot read the registry hive (Permission denied)\n" +
                            progressLines(0, 60) + noArchive);
    const Json record = icq->record(noUser);
    EXPECT_EQ(record["sections"][1]["entries"][0], value("ICQ_HOST_SERVER_NAME", "ICQ_VQX_NO"));
    EXPECT_EQ(record["sections"][3]["entries"], Json::array());

    // The owner folder: ICQ is there, its owners are not.
    lock("C:\\Program Files\\ICQ\\uin");
    const ProcessResult folder = run({"--list"}, out, *user);
    EXPECT_EQ(folder.status, 1) << describe(folder);
    EXPECT_EQ(folder.err, "tolvane-import: warning: " +
                              icq->local("C:\\Documents and Settings\\Alice\\NTUSER.DAT") +
                              ": cannot read the registry hive (Permission denied)\n"
                              "tolvane-import: ICQ is installed but has no owners\n");
}

// --- the output folder -------------------------------------------------------------------

TEST_F(HostileE2e, OutputFolderThatCannotBeMade) {
    build();
    writeFile(icq->out("file"), "not a folder\n");
    for (const std::string& out : {icq->out("file"), icq->out("file") + "/out"}) {
        SCOPED_TRACE(out);
        const ProcessResult r = run(roverArgs(out), out);
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, "tolvane-import: warning: " + out +
                             ": cannot create the folder (Not a directory)\n"
                             "tolvane-import: cannot use " +
                             out + " as the output folder\n");
    }
    EXPECT_EQ(readFile(icq->out("file")), "not a folder\n");
}

TEST_F(HostileE2e, OutputFolderThatIsNotWritable) {
    build();
    std::string why;
    const std::optional<RunOptions> user = withoutPrivileges(why);
    if (!user) {
        GTEST_SKIP() << why;
    }
    // Folders of root, readable by everyone.
    const std::string locked = icq->out("locked");
    fs::create_directories(locked);
    const std::string inLocked = locked + "/out";
    const ProcessResult r = run(roverArgs(inLocked), inLocked, *user);
    EXPECT_EQ(r.status, 2) << describe(r);
    EXPECT_EQ(r.err, "tolvane-import: warning: " + inLocked +
                         ": cannot create the folder (Permission denied)\n"
                         "tolvane-import: cannot use " +
                         inLocked + " as the output folder\n");
    EXPECT_FALSE(exists(inLocked));

    // The folder is there but cannot take the record: nothing is carried and nothing saved.
    const ProcessResult there = run(roverArgs(locked), locked, *user);
    EXPECT_EQ(there.status, 1) << describe(there);
    std::string warnings;
    for (const char* sound : {"C:\\Program Files\\ICQ\\Sounds\\Admin.wav",
                              "C:\\Program Files\\ICQ\\Sounds\\New Message.wav",
                              "C:\\Documents and Settings\\Alice\\My Music\\search me.wav"}) {
        warnings += "tolvane-import: warning: " + icq->local(sound) + ": cannot carry (" + locked +
                    "/files: cannot create the folder (Permission denied))\n";
    }
    const std::string unsaved = locked + "/record.json: cannot write (Permission denied)\n";
    EXPECT_EQ(there.err, progressLines(0, 50) + warnings + progressLines(50, 60) +
                             "tolvane-import: warning: " + unsaved + "tolvane-import: " + unsaved);
    EXPECT_TRUE(fs::is_empty(locked));
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
    EXPECT_EQ(r.status, 0) << describe(r);
    // Nor does the archive; the record is kept all the same.
    EXPECT_EQ(r.err, progressLines(0, 50) +
                         "tolvane-import: warning: " + icq->local("C:\\Sounds\\Big.wav") +
                         ": cannot carry (" + out + "/files/Big.wav: cannot write (" + cause +
                         "))\n" + progressLines(50, 60) + "tolvane-import: warning: " + out +
                         "/contacts.csv: could not write (" + cause + ")\n");
    const Json record = icq->record(keptOut);
    EXPECT_EQ(record["complete"], true);
    EXPECT_EQ(record["sections"][3]["entries"][2]["carried"], nullptr);
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
    EXPECT_TRUE(exists(keptOut));
    EXPECT_FALSE(exists(keptOut + "/record.json"));
    checkOutput(keptOut);
}

TEST_F(HostileE2e, TemporaryFolderThatIsMissing) {
    build();
    const std::string nowhere = icq->area() + "/no such folder";
    RunOptions options;
    options.environment["TMPDIR"] = nowhere;
    const std::string out = icq->out();
    const ProcessResult kept = run(roverArgs(out), out, options);
    EXPECT_EQ(kept.status, 0) << describe(kept);
    EXPECT_EQ(kept.err, progressLines(0, 60));
    expectRecord(icq->record(out), fullRoverRecord());

    const ProcessResult printed =
        run({"--password-file", icq->passwordFile(), "--owner", "Rover", "--json"}, out, options);
    EXPECT_EQ(printed.status, 2) << describe(printed);
    EXPECT_EQ(printed.err, "tolvane-import: cannot create a scratch folder for the record in " +
                               nowhere + ": No such file or directory (use --out DIR)\n");
}

} // namespace
} // namespace e2e
