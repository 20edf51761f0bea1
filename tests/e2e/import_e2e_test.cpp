// tolvane-import as a user runs it on a sound installation: the record of each choice, the
// summary, the owner list and the refusals of bad arguments.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "e2einstall.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;

TEST(ImportE2e, EveryChoiceGivesItsRecord) {
    struct Case {
        const char* label;
        std::vector<std::string> switches;
        /// What differs from the record of Rover with every option, as a JSON patch.
        std::string patch;
        /// What differs from the small installation, as a JSON merge patch; empty: nothing.
        std::string description;
        std::string input; ///< on standard input, instead of a password file
    };
    const auto flagOff = [](int entry) {
        return R"({"op": "replace", "path": "/sections/1/entries/)" + std::to_string(entry) +
               R"(/value", "value": "ICQ_VQX_NO"})";
    };
    const Case cases[] = {
        {"every option", {}, "[]", "", ""},
        {"no server",
         {"--no-server"},
         R"([{"op": "remove", "path": "/sections/1/entries/0"},
             {"op": "remove", "path": "/sections/1/entries/0"}])",
         "",
         ""},
        {"no user settings",
         {"--no-user-settings"},
         "[" + flagOff(2) + R"(, {"op": "remove", "path": "/sections/2"}])",
         "",
         ""},
        {"no contacts",
         {"--no-contacts"},
         "[" + flagOff(3) + R"(, {"op": "remove", "path": "/sections/3"}])",
         "",
         ""},
        {"overwrite contacts", {"--overwrite-contacts"}, "[" + flagOff(4) + "]", "", ""},
        {"no sounds",
         {"--no-sounds"},
         "[" + flagOff(5) + R"(, {"op": "remove", "path": "/sections/4"}])",
         "",
         ""},
        {"default sounds",
         {"--default-sounds"},
         R"([{"op": "remove", "path": "/sections/4/entries/3"},
             {"op": "replace", "path": "/sections/4/entries/2", "value": {"key": "ICQMessage",
              "file": "\"{root}/Program Files/ICQ/Sounds/Message.wav\"", "carried": "files/Message.wav"}}])",
         "",
         ""},
        {"registry in a REGEDIT4 export", {}, "[]", R"({"registry": "reg4"})", ""},
        {"registry in a version 5 export", {}, "[]", R"({"registry": "reg5"})", ""},
        {"ICQ 99b", {}, "[]", R"({"icq": {"version": 319}})", ""},
        {"no ICQ version", {}, "[]", R"({"icq": {"version": null}})", ""},
        {"password on standard input", {"--password-stdin"}, "[]", "", "secret\r\nnot this line\n"},
    };
    Installation common;
    common.build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Installation own;
        Installation& icq = c.description.empty() ? common : own;
        if (!c.description.empty()) {
            own.description().merge_patch(Json::parse(c.description));
            own.build();
        }
        const std::string out = icq.out(c.label);
        std::vector<std::string> args = {"--out", out, "--owner", "Rover"};
        if (c.input.empty()) {
            args.insert(args.end(), {"--password-file", icq.passwordFile()});
        }
        args.insert(args.end(), c.switches.begin(), c.switches.end());
        const ProcessResult r = icq.import(args, c.input);
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(
            icq.record(out).dump(1),
            icq.roverRecord().patch(Json::parse(filled(c.patch, "{root}", icq.root()))).dump(1));
    }
}

// The lines of -v without the confinement's, which name the machine's own folders.
std::string withoutConfinement(const std::string& err) {
    std::string kept;
    for (size_t at = 0, end; at < err.size(); at = end + 1) {
        end = std::min(err.find('\n', at), err.size());
        const std::string line = err.substr(at, end - at);
        if (line.rfind("  ", 0) != 0 && line.find("confined") == std::string::npos) {
            kept += line + "\n";
        }
    }
    return kept;
}

TEST(ImportE2e, WhatARunPrints) {
    struct Case {
        const char* label;
        std::vector<std::string> args; ///< after --password-file; {out} is the output folder
        int status;
        std::string out; ///< {root} is the root, {out} the output folder
        std::string err; ///< {progress} is the progress of a complete run
    };
    const std::string rover = "Owner:     Rover (UIN 23456789)\n"
                              "Server:    login.icq.com, port 5190\n";
    const std::string roverStandings =
        "Contacts:  3 on the list, 1 removed, 1 known only from messages (4 in the record)\n";
    const std::string roverContacts =
        roverStandings + "Messages:  77 in 3 conversations exported to history/; 5 in ICQ's "
                         "Deleted folder left out (--deleted-folder)\n";
    const std::string sounds = "Sounds:    3 sound events, 3 sound files carried\n";
    const std::string sound = "tolvane-import: sound ICQ";
    const Case cases[] = {
        {"list",
         {"--list"},
         0,
         "Nickname  UIN       Contacts  Messages\n"
         "M\u00e4rta     31415926         2        53\n"
         "Rover     23456789         3        77\n",
         ""},
        {"summary",
         {"--out", "{out}", "--owner", "Rover"},
         0,
         rover + roverContacts + sounds + "Record:    {out}/record.json\n",
         "{progress}"},
        {"with ICQ's Deleted folder",
         {"--out", "{out}", "--owner", "Rover", "--deleted-folder"},
         0,
         rover + roverStandings +
             "Messages:  82 in 3 conversations exported to history/, 5 of them from ICQ's "
             "Deleted folder\n" +
             sounds + "Record:    {out}/record.json\n",
         "{progress}"},
        {"without the archive",
         {"--out", "{out}", "--owner", "Rover", "--no-archive"},
         0,
         rover + "Contacts:  4 in the record\nMessages:  not exported (--no-archive)\n" + sounds +
             "Record:    {out}/record.json\n",
         "{progress}"},
        {"quiet, the owner without regard to case",
         {"--out", "{out}", "--owner", "rOVER", "-q"},
         0,
         "",
         ""},
        {
            "verbose, the owner by UIN",
            {"--out", "{out}", "--owner", "23456789", "-v"},
            0,
            rover + roverContacts + sounds + "Record:    {out}/record.json\n",
            "tolvane-import: machine hive: {root}/WINDOWS/System32/config/SOFTWARE\n"
            "tolvane-import: user hive of Alice: {root}/Documents and Settings/Alice/NTUSER.DAT\n"
            "tolvane-import: plug-in: " TARVEX_PLUGIN "\n"
            "tolvane-import: owner: Rover (UIN 23456789), owner file "
            "{root}/Program Files/ICQ/uin/23456789.uin\n{progress}"
            "tolvane-import: contact database: {root}/Program Files/ICQ/2000a/23456789.dat (ICQ "
            "2000a)\ntolvane-import: archive written: contacts.vcf, contacts.csv, history/, "
            "icq-archive.sqlite, report.txt\n" +
                sound +
                "ALAdmin: {root}/Program Files/ICQ/Sounds/Admin.wav -> {out}/files/Admin.wav\n" +
                sound +
                "Message: {root}/Program Files/ICQ/Sounds/New Message.wav -> "
                "{out}/files/New_Message.wav\n" +
                sound +
                "WebSearch: {root}/Documents and Settings/Alice/My Music/search me.wav -> "
                "{out}/files/search_me.wav\n",
        },
        {"several owners and no terminal",
         {"--out", "{out}"},
         2,
         "",
         "tolvane-import: 2 ICQ owners, choose one with --owner NICKNAME or --owner UIN: "
         "M\u00e4rta (UIN 31415926), Rover (UIN 23456789)\n"},
        {"an empty owner",
         {"--out", "{out}", "--owner", ""},
         2,
         "",
         "tolvane-import: --owner needs a nickname or UIN (see --list)\n"},
    };
    Installation icq;
    icq.build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string out = icq.out(c.label);
        std::vector<std::string> args = {"--password-file", icq.passwordFile()};
        for (const std::string& arg : c.args) {
            args.push_back(filled(arg, "{out}", out));
        }
        const ProcessResult r = icq.import(args);
        EXPECT_EQ(r.status, c.status) << describe(r);
        const auto fill = [&](const std::string& text) {
            return filled(filled(filled(text, "{root}", icq.root()), "{out}", out), "{progress}",
                          progressLines(0, 60));
        };
        EXPECT_EQ(r.out, fill(c.out));
        EXPECT_EQ(withoutConfinement(r.err), fill(c.err));
    }
    const ProcessResult printed =
        icq.import({"--owner", "Rover\r", "--password-file", icq.passwordFile(), "--json"});
    ASSERT_EQ(printed.status, 0) << describe(printed);
    EXPECT_EQ(Json::parse(printed.out), icq.roverRecord());
}

TEST(ImportE2e, OwnerChosenOnTheTerminal) {
    struct Case {
        const char* label;
        std::string typed;
        int status;
        std::string answers; ///< what the run prints after the list
    };
    const std::string ask = "Import which owner (1-2)? ";
    const std::string again = "Answer with a number from 1 to 2, a nickname or a UIN.\n";
    const Case cases[] = {
        {"a number after wrong answers", "x\n3\n\n2\n", 0,
         ask + again + ask + again + ask + again + ask},
        {"a nickname", "m\u00e4rta\n", 0, ask},
        {"input ended", "", 2, ask + "\ntolvane-import: no owner chosen (input ended)\n"},
    };
    Installation icq;
    icq.build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string out = icq.out(c.label);
        const ProcessResult r = testsupport::runOnTerminal(
            {TOLVANE_IMPORT, "--plugin", TARVEX_PLUGIN, "--windows-root", icq.root(), "--out", out,
             "--password-file", icq.passwordFile(), "-q"},
            c.typed, {{"QT_QPA_PLATFORM", "offscreen"}});
        EXPECT_EQ(r.status, c.status) << describe(r);
        EXPECT_EQ(r.out, "ICQ owners in " + icq.root() +
                             ":\n  1  M\u00e4rta  UIN 31415926\n  2  Rover  UIN 23456789\n" +
                             c.answers);
    }
    EXPECT_EQ(icq.record(icq.out("a number after wrong answers")), icq.roverRecord());
    EXPECT_EQ(icq.record(icq.out("a nickname"))["sections"][2]["entries"][0]["value"], "31415926");
}

// Owner files of a Cyrillic Windows keep nicknames in CP1251: --codepage decodes them for the
// list and for --owner, as it does for the record.
TEST(ImportE2e, OwnerNicknameInTheInstallationsCodePage) {
    Installation icq;
    icq.description()["codepage"] = "CP1251";
    Json& owners = icq.description()["icq"]["owners"];
    owners[0].erase("database");
    owners[1]["nickname"] = "Иван";
    owners[1]["database"]["contacts"] = Json::parse(R"([{"uin": 9120456, "nickname": "Олег"}])");
    icq.build();
    const ProcessResult list = icq.import({"--codepage", "CP1251", "--list"});
    EXPECT_EQ(list.out, "Nickname  UIN       Contacts  Messages\n"
                        "Rover     23456789         ?         ?\n"
                        "Иван      31415926         1        53\n");
    const std::string out = icq.out();
    const ProcessResult r = icq.import({"--codepage", "CP1251", "--owner", "иван", "--out", out,
                                        "--password-file", icq.passwordFile()});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Owner:     Иван (UIN 31415926)");
    EXPECT_NE(testsupport::readFile(out + "/contacts.csv").find("Олег"), std::string::npos);
}

// Two owners with one nickname: the page lists one, so the importer reaches only the later; the
// other's database still gives an archive when it is chosen by UIN.
TEST(ImportE2e, OwnerHiddenBySameNicknameGetsItsArchive) {
    Installation icq;
    Json hidden = icq.description()["icq"]["owners"][1];
    hidden["uin"] = 11111111;
    hidden["nickname"] = "Rover";
    hidden["lineEnd"] = "crlf";
    icq.description()["icq"]["owners"].push_back(hidden);
    icq.build();
    const std::string why = "the importer reaches only the other owner of this nickname, UIN "
                            "23456789";
    const ProcessResult list = icq.import({"--list"});
    EXPECT_EQ(list.out, "Nickname  UIN       Contacts  Messages\n"
                        "M\u00e4rta     31415926         2        53\n"
                        "Rover     11111111         2        53  archive only: " +
                            why + "\nRover     23456789         3        77\n");

    const std::string out = icq.out();
    const ProcessResult r = icq.import({"--owner", "11111111", "--out", out});
    EXPECT_EQ(r.status, 3) << describe(r);
    EXPECT_EQ(r.out, "Owner:     Rover (UIN 11111111)\nContacts:  2 on the list\n"
                     "Messages:  53 in 2 conversations exported to history/\n"
                     "Record:    none: " +
                         why + "\nArchive:   " + out + "\n");
    EXPECT_EQ(r.err, "tolvane-import: not everything chosen was carried: no record of Rover "
                     "(UIN 11111111) (" +
                         why + ")\n");
    EXPECT_NE(testsupport::readFile(out + "/contacts.csv").find("Hélène"), std::string::npos);
    EXPECT_EQ(icq.record(out), nullptr);

    const ProcessResult named =
        icq.import({"--owner", "Rover", "--password-file", icq.passwordFile(), "--json"});
    EXPECT_EQ(Json::parse(named.out)["sections"][2]["entries"][0]["value"], "23456789\r");
}

TEST(ImportE2e, BadArgumentsWriteNothing) {
    Installation icq;
    icq.build();
    const std::string out = icq.out();
    const std::string password = icq.passwordFile();
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"--out", out, "--owner", "Rover"},
         "no owner password given and no terminal to ask on (use --password-file FILE or "
         "--password-stdin)"},
        {{"--out", out, "--password-file", password, "--owner", "Nobody"},
         "no ICQ owner named \"Nobody\" (owners: Märta (UIN 31415926), Rover (UIN 23456789))"},
        {{"--out", out, "--password-file", icq.out("nofile")},
         "cannot read the password file " + icq.out("nofile") + ": No such file or directory"},
        {{"--out", out, "--password-file", password, "--user", "Bob"},
         icq.root() + ": no user \"Bob\" (expected a profile with NTUSER.DAT under Users or "
                      "Documents and Settings, found: Alice)"},
        {{"--out", out, "--password-file", password, "--drive", "D"},
         "--drive D: expected LETTER=DIR, such as D=/mnt/d"},
        {{"--password-file", password},
         "--out DIR is required (or --list, or --json) (see --help)"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = icq.import(c.args);
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, "tolvane-import: " + c.err + "\n");
    }
    const ProcessResult noRoot = testsupport::runProcess(
        {TOLVANE_IMPORT, "--windows-root", icq.out("nowhere"), "--out", out});
    EXPECT_EQ(noRoot.status, 2);
    EXPECT_EQ(noRoot.err, "tolvane-import: " + icq.out("nowhere") +
                              ": not a directory (expected the root of a mounted Windows system "
                              "volume)\n");
    // An ICQ folder for a root: named, with what reads it.
    const std::string folder = icq.root() + "/Program Files/ICQ";
    const ProcessResult icqFolder =
        testsupport::runProcess({TOLVANE_IMPORT, "--windows-root", folder, "--out", out});
    EXPECT_EQ(icqFolder.status, 2);
    EXPECT_EQ(icqFolder.err,
              "tolvane-import: " + folder +
                  ": no Windows installation found (expected Windows/System32/config/SOFTWARE or "
                  "a user profile under Users or Documents and Settings); it is an ICQ folder "
                  "(2000a/23456789.dat, 2000a/31415926.dat), whose contacts and history "
                  "tolvane-icq reads: tolvane-icq export --out DIR \"" +
                  folder + "/2000a/23456789.dat\"\n");
    // A Windows folder whose registry is gone: what stands in for it, and the databases.
    const std::string bare = icq.out("bare");
    fs::create_directories(bare + "/WINDOWS");
    fs::copy(icq.root() + "/Program Files", bare + "/Program Files", fs::copy_options::recursive);
    EXPECT_EQ(testsupport::runProcess({TOLVANE_IMPORT, "--windows-root", bare, "--list"}).err,
              "tolvane-import: " + bare +
                  ": no Windows installation found (expected Windows/System32/config/SOFTWARE or "
                  "a user profile under Users or Documents and Settings); exports of its registry "
                  "can stand in for it: --reg FILE for HKEY_LOCAL_MACHINE\\SOFTWARE and for "
                  "HKEY_CURRENT_USER (made with regedit /e FILE KEY on that machine); ICQ "
                  "databases lie on its disk (Program Files/ICQ/2000a/23456789.dat, Program "
                  "Files/ICQ/2000a/31415926.dat), whose contacts and history tolvane-icq reads: "
                  "tolvane-icq export --out DIR \"" +
                  bare + "/Program Files/ICQ/2000a/23456789.dat\"\n");
    // An import's output folder for a root: named, with what shows it.
    const std::string saved = icq.out("saved");
    testsupport::writeFile(saved + "/record.json", "{}");
    EXPECT_EQ(testsupport::runProcess({TOLVANE_IMPORT, "--windows-root", saved, "--list"}).err,
              "tolvane-import: " + saved +
                  ": no Windows installation found (expected Windows/System32/config/SOFTWARE or "
                  "a user profile under Users or Documents and Settings); it holds an import or "
                  "ICQ archive saved earlier, which the window shows: tolvane --open \"" +
                  saved + "\"\n");
    EXPECT_EQ(testsupport::runProcess({TOLVANE_IMPORT, "--frobnicate"}).status, 2);
    struct stat st;
    EXPECT_NE(stat(out.c_str(), &st), 0) << out << " was written";
}

// Windows 95, 98 and ME keep their registry in SYSTEM.DAT and USER.DAT: the user's is a
// profile's, or the Windows folder's when profiles are off. Either imports as XP does, the
// short names of its paths too. A
// registry cut short is named, with the exports that can stand in for it and the databases.
TEST(ImportE2e, OlderWindowsIsImportedFromItsOwnRegistry) {
    const std::pair<const char*, const char*> layouts[] = {
        {R"({"layout": "98"})", "user hive of Alice: {root}/WINDOWS/Profiles/Alice/USER.DAT"},
        // Its App Paths with the short names Windows 98 kept in the registry.
        {R"({"layout": "98", "users": [], "icq": {"appPath": "C:\\PROGRA~1\\ICQ\\ICQ.EXE"}})",
         "user hive of Default: {root}/WINDOWS/USER.DAT"},
    };
    for (const auto& [patch, userHive] : layouts) {
        Installation icq;
        icq.description().merge_patch(Json::parse(patch));
        icq.build();
        const std::string out = icq.out();
        const ProcessResult r = icq.import(
            {"--out", out, "--owner", "Rover", "--password-file", icq.passwordFile(), "-v"});
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(icq.record(out).dump(1), icq.roverRecord().dump(1));
        EXPECT_NE(r.err.find(filled(userHive, "{root}", icq.root())), std::string::npos) << r.err;
    }

    Installation cut;
    cut.description().merge_patch(
        Json::parse(R"({"layout": "98", "users": [], "registry": "reg4"})"));
    cut.build();
    const std::string root = cut.root();
    testsupport::writeFile(root + "/WINDOWS/SYSTEM.DAT", "CREG");
    const ProcessResult refused =
        testsupport::runProcess({TOLVANE_IMPORT, "--windows-root", root, "--list"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "tolvane-import: warning: " + root +
                  "/WINDOWS/SYSTEM.DAT: not a Windows 95, 98 or ME registry file (expected at "
                  "least 92 bytes, found 4)\ntolvane-import: no ICQ installation found in " +
                  root +
                  "; exports of its registry can stand in for it: --reg FILE for "
                  "HKEY_LOCAL_MACHINE\\SOFTWARE and for HKEY_CURRENT_USER (made with regedit /e "
                  "FILE KEY on that machine); ICQ databases lie on its disk (Program "
                  "Files/ICQ/2000a/23456789.dat, Program Files/ICQ/2000a/31415926.dat), whose "
                  "contacts and history tolvane-icq reads: tolvane-icq export --out DIR \"" +
                  root + "/Program Files/ICQ/2000a/23456789.dat\"\n");
    const std::string out = cut.out();
    const ProcessResult r =
        cut.import({"--out", out, "--owner", "Rover", "--password-file", cut.passwordFile()});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(cut.record(out).dump(1), cut.roverRecord().dump(1));
}

// ICQ installed on a second partition (D:\ICQ): without that drive's folder no owner is found
// and the run names the drive to give; with --drive the import finds them, and the database.
TEST(ImportE2e, IcqOnAnotherPartitionNeedsItsDrive) {
    Installation icq;
    icq.build();
    const std::string drive = icq.area() + "/D";
    fs::create_directories(drive);
    fs::rename(icq.local("C:\\Program Files\\ICQ"), drive + "/ICQ");
    const std::string moved = icq.area() + "/moved.reg";
    testsupport::writeFile(moved, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                                  "Windows\\CurrentVersion\\App Paths\\ICQ.exe]\r\n"
                                  "@=\"D:\\\\ICQ\\\\ICQ.exe\"\r\n");
    const ProcessResult list = icq.import({"--reg", moved, "--list"});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.err, "tolvane-import: warning: ICQ's owner files are in D:\\ICQ\\uin, on "
                        "drive D:, which was not given: name the folder it is mounted at with "
                        "--drive D=DIR\ntolvane-import: ICQ is installed but has no owners\n");
    const std::string out = icq.out();
    const ProcessResult r =
        icq.import({"--reg", moved, "--drive", "D=" + drive, "--out", out, "--owner", "Rover",
                    "--password-file", icq.passwordFile(), "--no-sounds"});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_NE(r.out.find("\nMessages:  "), std::string::npos) << r.out;
    // The owner and the contacts as from drive C:.
    for (const size_t section : {2, 3}) {
        EXPECT_EQ(icq.record(out)["sections"][section], icq.roverRecord()["sections"][section]);
    }
}

} // namespace
} // namespace e2e
