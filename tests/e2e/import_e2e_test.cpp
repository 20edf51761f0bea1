#include <sys/stat.h>

#include <gtest/gtest.h>

#include "e2einstall.h"

namespace e2e {
namespace {

using testsupport::ProcessResult;

std::string describe(const ProcessResult& r) {
    return "status " + std::to_string(r.status) + "\nstderr:\n" + r.err + "\nstdout:\n" + r.out;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class ImportE2e : public ::testing::Test {
protected:
    ImportE2e() : icq(smallDescription()) {}

    /// Runs an import with `choices` into a fresh folder and checks the whole record.
    void importAndCompare(const Choices& choices, const std::string& outName = "out") {
        std::vector<std::string> args = {"--out", icq.out(outName), "--password-file",
                                         icq.passwordFile()};
        if (!choices.owner.empty()) {
            args.insert(args.end(), {"--owner", choices.owner});
        }
        const std::vector<std::string> extra = switches(choices);
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = icq.import(args);
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(icq.record(icq.out(outName)).dump(2), icq.expectedRecord(choices).dump(2));
    }

    Installation icq;
};

TEST_F(ImportE2e, DefaultRunImportsTheFirstOwnerCompletely) {
    icq.build();
    Choices choices;
    importAndCompare(choices);
    const ProcessResult again = icq.import(
        {"--out", icq.out("quiet"), "--password-file", icq.passwordFile(), "--owner", "Rover"});
    EXPECT_EQ(again.out, "Owner:     Rover (UIN 23456789)\n"
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
                             icq.out("quiet") + "/record.json\n");
}

TEST_F(ImportE2e, OwnerWithCrlfFileAndPersonalSounds) {
    icq.build();
    Choices choices;
    choices.owner = "Rover";
    importAndCompare(choices);
}

TEST_F(ImportE2e, EveryOptionSwitch) {
    icq.build();
    struct Case {
        const char* label;
        void (*apply)(Choices&);
    };
    const Case cases[] = {
        {"no-server", [](Choices& c) { c.server = false; }},
        {"no-user-settings", [](Choices& c) { c.userSettings = false; }},
        {"no-contacts", [](Choices& c) { c.contacts = false; }},
        {"overwrite-contacts", [](Choices& c) { c.overwrite = true; }},
        {"no-sounds", [](Choices& c) { c.sounds = false; }},
        {"default-sounds", [](Choices& c) { c.defaultSounds = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Choices choices;
        choices.owner = "Rover";
        c.apply(choices);
        importAndCompare(choices, c.label);
    }
}

TEST_F(ImportE2e, RegistryExportsGiveTheSameRecordAsHives) {
    for (const char* format : {"reg4", "reg5"}) {
        SCOPED_TRACE(format);
        Installation fromReg(smallDescription());
        fromReg.description()["registry"] = format;
        fromReg.build();
        ASSERT_FALSE(fromReg.expected()["registryFiles"].empty());
        Choices choices;
        choices.owner = "Rover";
        const ProcessResult r = fromReg.import({"--out", fromReg.out(), "--password-file",
                                                fromReg.passwordFile(), "--owner", "Rover"});
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(fromReg.record(fromReg.out()).dump(2), fromReg.expectedRecord(choices).dump(2));
    }
}

TEST_F(ImportE2e, OldIcqKeepsItsContactsInDb99b) {
    for (const bool versionGiven : {true, false}) {
        Installation old(smallDescription());
        if (versionGiven) {
            old.description()["icq"]["version"] = 319;
        } else {
            old.description()["icq"].erase("version");
        }
        old.build();
        ASSERT_NE(old.expected()["owners"][0]["database"].get<std::string>().find("/Db99b/"),
                  std::string::npos);
        Choices choices;
        choices.owner = "Rover";
        const ProcessResult r = old.import(
            {"--out", old.out(), "--password-file", old.passwordFile(), "--owner", "Rover"});
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(old.record(old.out()).dump(2), old.expectedRecord(choices).dump(2));
    }
}

TEST_F(ImportE2e, MissingDatabaseAndMissingSounds) {
    icq.description()["icq"]["owners"][0].erase("database");
    icq.description()["icq"]["owners"][0]["sounds"]["ICQMessage"] =
        Json::parse(R"({"path": "C:\\Program Files\\ICQ\\Sounds\\Gone.wav", "missing": true})");
    icq.build();
    Choices choices;
    choices.owner = "Rover";
    const ProcessResult r =
        icq.import({"--out", icq.out(), "--password-file", icq.passwordFile(), "--owner", "Rover"});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(icq.record(icq.out()).dump(2), icq.expectedRecord(choices).dump(2));
    EXPECT_NE(r.err.find("tolvane-import: warning: " + icq.root() +
                         "/Program Files/ICQ/Sounds/Gone.wav: cannot carry"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Contacts:  0 imported"), std::string::npos);
}

TEST_F(ImportE2e, NoIcqInstalledIsStatusOneWithoutSections) {
    icq.description()["icq"]["installed"] = false;
    icq.build();
    const ProcessResult r = icq.import({"--out", icq.out(), "--password-file", icq.passwordFile()});
    EXPECT_EQ(r.status, 1) << describe(r);
    EXPECT_EQ(r.err, "tolvane-import: no ICQ installation found in " + icq.root() +
                         " (the registry has no ICQ.exe application path)\n");
    const Json record = icq.record(icq.out());
    EXPECT_EQ(record["sections"], Json::array());
    EXPECT_EQ(record["complete"], false);
    EXPECT_EQ(record["result"], -1);
}

TEST_F(ImportE2e, ListPasswordOnStdinAndJson) {
    icq.build();
    const ProcessResult list = icq.import({"--list"});
    EXPECT_EQ(list.status, 0) << describe(list);
    EXPECT_EQ(list.out, "Märta\nRover\n");

    const ProcessResult json =
        icq.import({"--owner", "Rover\r", "--password-stdin", "--json", "--out", icq.out()},
                   "secret\r\nnot this line\n");
    ASSERT_EQ(json.status, 0) << describe(json);
    EXPECT_EQ(Json::parse(json.out), icq.record(icq.out()));
    Choices choices;
    choices.owner = "Rover";
    EXPECT_EQ(icq.record(icq.out()).dump(2), icq.expectedRecord(choices).dump(2));

    const ProcessResult printedOnly =
        icq.import({"--owner", "Rover", "--password-stdin", "--json"}, "secret\n");
    ASSERT_EQ(printedOnly.status, 0) << describe(printedOnly);
    EXPECT_EQ(Json::parse(printedOnly.out)["sections"].size(), 5u);
}

TEST_F(ImportE2e, BadArgumentsWriteNothing) {
    icq.build();
    const std::string out = icq.out();
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"--out", out},
         "tolvane-import: no owner password given and no terminal to ask on (use "
         "--password-file FILE or --password-stdin)\n"},
        {{"--out", out, "--password-file", icq.passwordFile(), "--owner", "Nobody"},
         "tolvane-import: no ICQ owner named \"Nobody\" (owners: Märta, Rover)\n"},
        {{"--out", out, "--password-file", icq.out("nofile")},
         "tolvane-import: cannot read the password file " + icq.out("nofile") +
             ": No such file or directory\n"},
        {{"--out", out, "--password-file", icq.passwordFile(), "--user", "Bob"},
         "tolvane-import: " + icq.root() +
             ": no user \"Bob\" (expected a profile with NTUSER.DAT under Users or Documents "
             "and Settings, found: Alice)\n"},
        {{"--out", out, "--password-file", icq.passwordFile(), "--drive", "D"},
         "tolvane-import: --drive D: expected LETTER=DIR, such as D=/mnt/d\n"},
        {{"--password-file", icq.passwordFile()},
         "tolvane-import: --out DIR is required (or --list, or --json) (see --help)\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = icq.import(c.args);
        EXPECT_EQ(r.status, 2) << describe(r);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(exists(out)) << "written for " << c.err;
    }
    const ProcessResult noRoot = testsupport::runProcess(
        {TOLVANE_IMPORT, "--windows-root", icq.out("nowhere"), "--out", out});
    EXPECT_EQ(noRoot.status, 2);
    EXPECT_EQ(noRoot.err, "tolvane-import: " + icq.out("nowhere") +
                              ": not a directory (expected the root of a mounted Windows system "
                              "volume)\n");
    const ProcessResult unknown = testsupport::runProcess({TOLVANE_IMPORT, "--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_FALSE(exists(out));
}

} // namespace
} // namespace e2e
