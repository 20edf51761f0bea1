// The ICQ archive as a user meets it: tolvane-icq on database files, and the archive that
// tolvane-import writes beside the record. The exports are checked by Python's own readers.

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "e2einstall.h"
#include "icqdb.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

const char* const kExports[] = {"contacts.vcf", "contacts.csv", "history/index.html",
                                "icq-archive.sqlite", "report.txt"};

std::string describe(const ProcessResult& r) {
    return "status " + std::to_string(r.status) + "\nstderr:\n" + r.err + "\nstdout:\n" + r.out;
}

ProcessResult icqTool(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& environment = {}) {
    std::vector<std::string> argv = {TOLVANE_ICQ};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::runProcess(argv, "", environment);
}

// The export folder read by Python's csv, html.parser and sqlite3 and a vCard parse by hand.
void expectValidExports(const std::string& folder, int contacts, int messages) {
    const ProcessResult r = testsupport::runProcess(
        {PYTHON, CHECK_EXPORTS, folder, std::to_string(contacts), std::to_string(messages)});
    EXPECT_EQ(r.status, 0) << describe(r);
}

// Every file below `folder` with its bytes.
std::map<std::string, std::string> contentsOf(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = readFile(entry.path().string());
        }
    }
    return files;
}

mkwin::IcqMessage message(uint32_t uin, bool sent, uint32_t time, const std::string& text,
                          uint16_t subtype = mkwin::kIcqSubtypeMessage) {
    mkwin::IcqMessage m;
    m.fields.uin = uin;
    m.fields.sent = sent;
    m.fields.time = time;
    m.fields.text = text;
    m.fields.subtype = subtype;
    return m;
}

// An owner with four contacts of every standing, a name that would drive a terminal, and
// five messages (one more in the Deleted folder). Texts are Windows-1252.
mkwin::IcqDatabaseContent smallDatabase() {
    mkwin::IcqDatabaseContent c;
    c.ownerUin = 1234567;
    c.ownerNickName = "Rover";
    c.ownerFirstName = "Robert";
    c.ownerLastName = "\xD6verby";
    c.ownerEmail = "rover@example.se";
    c.groups = {{1000, "General"}, {1001, "Friends\x1B[31m"}};
    const auto contact = [](uint32_t uin, const std::string& nick, mkwin::IcqContactStatus status,
                            uint32_t group) {
        mkwin::IcqContactRecord r;
        r.uin = uin;
        r.nickName = nick;
        r.status = status;
        r.group = group;
        r.present = mkwin::kIcqNickName | mkwin::kIcqUin;
        return r;
    };
    using Status = mkwin::IcqContactStatus;
    c.contacts = {contact(4711042, "J\xF6rg", Status::OnList, 1001),
                  contact(5550123, "\xC5sa", Status::OnList, 1000),
                  contact(7345012, "Bj\xF8rn", Status::Removed, 0),
                  contact(6120934, "x\x1B[2Jy", Status::Ignored, 0)};
    c.messages = {message(4711042, false, 1037991600, "Hej!\r\nHur m\xE5r du?"),
                  message(4711042, true, 1037991660, "Bra, tack."),
                  message(4711042, false, 1037991720, "Bilder\xFEhttp://example.com/fest",
                          mkwin::kIcqSubtypeUrl),
                  message(5550123, false, 1040000000, "Tjena"),
                  message(99999999, false, 1050000000, "Who is this?")};
    mkwin::IcqMessage deleted = message(5550123, true, 1040000100, "gone");
    deleted.fields.deleted = true;
    c.messages.push_back(deleted);
    return c;
}

std::string writeDatabase(const std::string& path, const mkwin::IcqDatabaseContent& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::string error;
    EXPECT_TRUE(mkwin::writeIcqDatabase(path, content, error)) << error;
    return path;
}

TEST(IcqTool, InfoTellsWhatADatabaseHolds) {
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("1234567.dat"), smallDatabase());
    const ProcessResult r = icqTool({"info", db});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Database:  " + db +
                         "\n"
                         "Index:     " +
                         dir.file("1234567.idx") +
                         " (index version 18)\n"
                         "Version:   ICQ 2000b\n"
                         "Walk:      the index tree\n"
                         "Owner:     Rover (UIN 1234567), Robert Överby, rover@example.se\n"
                         "Groups:    2\n"
                         "     1000  General                 1 contact\n"
                         "     1001  Friends\\x1B[31m         1 contact\n"
                         "Contacts:  5\n"
                         "        2  on the list\n"
                         "        1  removed\n"
                         "        1  ignored\n"
                         "        1  known only from messages\n"
                         "Messages:  5 (4 received, 1 sent)\n"
                         "        4  message\n"
                         "        1  url\n"
                         "Times:     stored stamps taken as UTC, shown in UTC\n"
                         "Warnings:  0\n");

    const ProcessResult bitmap = icqTool(
        {"info", "--no-index", "--time-zone", "Europe/Stockholm", "--time-offset", "+01:00", db});
    EXPECT_NE(bitmap.out.find("Walk:      the allocation bitmaps of the data pages\n"),
              std::string::npos)
        << bitmap.out;
    EXPECT_NE(bitmap.out.find("Times:     stored stamps +01:00 taken as UTC, shown in "
                              "Europe/Stockholm\n"),
              std::string::npos)
        << bitmap.out;
}

TEST(IcqTool, ContactsAndHistoryShowEveryTextEscaped) {
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("1234567.dat"), smallDatabase());
    const ProcessResult listed = icqTool({"contacts", db});
    ASSERT_EQ(listed.status, 0) << describe(listed);
    EXPECT_EQ(listed.out, "UIN      Nickname  Handle  Name  E-mail  Group            Status\n"
                          "4711042  Jörg                            Friends\\x1B[31m  on the list\n"
                          "5550123  Åsa                             General          on the list\n"
                          "(3 more not on the list: --all shows them)\n");
    const ProcessResult all = icqTool({"contacts", "--all", db});
    EXPECT_NE(all.out.find("   x\\x1B[2Jy   "), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find('\x1B'), std::string::npos);

    const ProcessResult history =
        icqTool({"history", "--uin", "4711042", "--time-zone", "Europe/Stockholm", db});
    ASSERT_EQ(history.status, 0) << describe(history);
    EXPECT_EQ(history.out, "== Jörg (4711042) ==\n"
                           "\n"
                           "2002-11-22T20:00:00+01:00  Jörg\n"
                           "  Hej!\n"
                           "  Hur mår du?\n"
                           "\n"
                           "2002-11-22T20:01:00+01:00  Rover\n"
                           "  Bra, tack.\n"
                           "\n"
                           "2002-11-22T20:02:00+01:00  Jörg (URL)\n"
                           "  Bilder\n"
                           "  http://example.com/fest\n");
}

TEST(IcqTool, ExportIsTheSameWhateverTheMachinesZone) {
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("1234567.dat"), smallDatabase());
    std::map<std::string, std::string> first;
    for (const char* machineZone : {"UTC", "Asia/Kolkata"}) {
        SCOPED_TRACE(machineZone);
        const std::string out = dir.file(std::string("out-") + machineZone);
        const ProcessResult r = icqTool(
            {"export", "--time-zone", "Europe/Stockholm", "--all-contacts", "--out", out, db},
            {{"TZ", machineZone}});
        ASSERT_EQ(r.status, 0) << describe(r);
        expectValidExports(out, 5, 5);
        const std::map<std::string, std::string> files = contentsOf(out);
        if (first.empty()) {
            first = files;
            EXPECT_EQ(r.out, "Contacts:  2 on the list, 1 removed, 1 ignored, 1 known only from "
                             "messages\n"
                             "Messages:  5 in 3 conversations exported to history/\n"
                             "Warnings:  none\n"
                             "Written:   " +
                                 out +
                                 ": contacts.vcf, contacts.csv, history/, icq-archive.sqlite, "
                                 "report.txt\n");
        } else {
            EXPECT_TRUE(files == first);
        }
    }
}

TEST(IcqTool, OverlappingCopiesAreMergedOnce) {
    const TempDir dir;
    mkwin::IcqDatabaseContent older = smallDatabase();
    mkwin::IcqDatabaseContent newer = older;
    older.messages.erase(older.messages.begin() + 3, older.messages.end());
    newer.messages.push_back(message(4711042, true, 1060000000, "Later on"));
    const std::string a = writeDatabase(dir.file("2002/1234567.dat"), older);
    const std::string b = writeDatabase(dir.file("2003/1234567.dat"), newer);
    const std::string out = dir.file("out");
    const ProcessResult r = icqTool({"export", "--out", out, a, b});
    ASSERT_EQ(r.status, 0) << describe(r);
    EXPECT_NE(r.out.find("Messages:  6 in 3 conversations exported to history/\n"
                         "Merged:    2 copies of the database; 3 messages found in more than one "
                         "and kept once\n"),
              std::string::npos)
        << r.out;
    expectValidExports(out, 2, 6);
    const std::string report = readFile(out + "/report.txt");
    EXPECT_NE(report.find("Read from 2 copies of the database, merged\n  " + a), std::string::npos)
        << report;
    EXPECT_NE(report.find("Messages found in more than one copy and kept once: 3\n"),
              std::string::npos);

    mkwin::IcqDatabaseContent other = smallDatabase();
    other.ownerUin = 7654321;
    const std::string c = writeDatabase(dir.file("other/7654321.dat"), other);
    const ProcessResult refused = icqTool({"export", "--out", dir.file("mixed"), a, c});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "tolvane-icq: " + a +
                               ": a database of another owner (UIN 1234567, not 7654321 as in " +
                               c + ")\n");
}

TEST(IcqTool, WhatItCannotReadIsRefusedInOneLine) {
    const TempDir dir;
    for (const char* table : {"Messages1234567.dbf", "Users1234567.dbf", "O1234567.dbf"}) {
        writeFile(dir.file(std::string("2003b/1234567/") + table), "\x03");
    }
    writeFile(dir.file("short.dat"), "ICQ");
    const std::string later = dir.file("2003b/1234567");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"info", later},
         1,
         later + ": a database of ICQ 2003b or later (Messages1234567.dbf, O1234567.dbf, "
                 "Users1234567.dbf), which this reader cannot read (it reads the <UIN>.dat of ICQ "
                 "99a to 2003a)"},
        {{"export", "--out", dir.file("out"), later + "/1234567.dat"},
         1,
         later + "/1234567.dat: a database of ICQ 2003b or later (Messages1234567.dbf, "
                 "O1234567.dbf, Users1234567.dbf), which this reader cannot read (it reads the "
                 "<UIN>.dat of ICQ 99a to 2003a)"},
        {{"contacts", dir.file("none.dat")},
         2,
         dir.file("none.dat") + ": cannot open the file (No such file or directory)"},
        {{"history", dir.file("short.dat")},
         2,
         dir.file("short.dat") +
             ": not an ICQ database (the file has 3 bytes, fewer than its 8-byte header)"},
        {{"info", "--time-zone", "Mars/Olympus", dir.file("short.dat")},
         2,
         "--time-zone Mars/Olympus: unknown time zone (not in the system's zone database)"},
        {{"info", "--time-offset", "1h", dir.file("short.dat")},
         2,
         "--time-offset 1h: expected +HH:MM or -HH:MM, such as +01:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const ProcessResult r = icqTool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, "tolvane-icq: " + c.err + "\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

TEST(ImportArchive, WrittenBesideTheRecordUnlessLeftOut) {
    Installation icq(smallDescription());
    icq.build();
    const std::string out = icq.out("with");
    const ProcessResult r = icq.import({"--out", out, "--password-file", icq.passwordFile(),
                                        "--owner", "Rover", "--time-zone", "Europe/Stockholm"});
    ASSERT_EQ(r.status, 0) << describe(r);
    for (const char* name : kExports) {
        EXPECT_TRUE(fs::is_regular_file(out + "/" + name)) << name;
    }
    expectValidExports(out, 3, 77);

    const std::string without = icq.out("without");
    const ProcessResult left = icq.import({"--out", without, "--password-file", icq.passwordFile(),
                                           "--owner", "Rover", "--no-archive"});
    ASSERT_EQ(left.status, 0) << describe(left);
    EXPECT_NE(left.out.find("Messages:  not exported (--no-archive)\n"), std::string::npos)
        << left.out;
    for (const char* name : kExports) {
        EXPECT_FALSE(fs::exists(without + "/" + name)) << name;
    }
    EXPECT_TRUE(fs::is_regular_file(without + "/record.json"));
}

} // namespace
} // namespace e2e
