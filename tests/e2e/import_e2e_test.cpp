// tolvane-import as a user runs it on a sound installation: the record of each choice, the
// summary, the owner list and the refusals of bad arguments.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "e2einstall.h"

namespace e2e {
namespace {

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

TEST(ImportE2e, FirstOwnerSummaryListAndPrintedRecord) {
    Installation icq;
    icq.build();
    const ProcessResult list = icq.import({"--list"});
    EXPECT_EQ(list.status, 0) << describe(list);
    EXPECT_EQ(list.out, "Märta\nRover\n");

    const ProcessResult first =
        icq.import({"--out", icq.out("first"), "--password-file", icq.passwordFile()});
    EXPECT_EQ(first.status, 0) << describe(first);
    EXPECT_EQ(first.out.substr(0, first.out.find('\n')), "Owner:     Märta (UIN 31415926)");

    const ProcessResult rover =
        icq.import({"--out", icq.out(), "--password-file", icq.passwordFile(), "--owner", "Rover"});
    EXPECT_EQ(rover.out, "Owner:     Rover (UIN 23456789)\n"
                         "Server:    login.icq.com, port 5190\n"
                         "Contacts:  4 imported\n"
                         "Sounds:    3 sound events, 3 sound files carried\n"
                         "Archive:   " +
                             icq.local("C:\\Program Files\\ICQ\\2000a\\23456789.dat") +
                             " (ICQ 2000a)\n"
                             "  Contacts:  3 on the list, 1 removed, 1 known only from messages\n"
                             "  Messages:  77 in 3 conversations exported to history/\n"
                             "  Warnings:  none\n"
                             "Record:    " +
                             icq.out() + "/record.json\n");

    const ProcessResult printed =
        icq.import({"--owner", "Rover\r", "--password-file", icq.passwordFile(), "--json"});
    ASSERT_EQ(printed.status, 0) << describe(printed);
    EXPECT_EQ(Json::parse(printed.out), icq.roverRecord());
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
        {{"--out", out},
         "no owner password given and no terminal to ask on (use --password-file FILE or "
         "--password-stdin)"},
        {{"--out", out, "--password-file", password, "--owner", "Nobody"},
         "no ICQ owner named \"Nobody\" (owners: Märta, Rover)"},
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
    EXPECT_EQ(testsupport::runProcess({TOLVANE_IMPORT, "--frobnicate"}).status, 2);
    struct stat st;
    EXPECT_NE(stat(out.c_str(), &st), 0) << out << " was written";
}

} // namespace
} // namespace e2e
