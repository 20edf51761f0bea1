// The ICQ archive as a user meets it: tolvane-icq on database files, and the
// archive that tolvane-import writes beside the record. The exports are checked
// by Python's own readers.

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

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

ProcessResult icqTool(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& environment = {}) {
    std::vector<std::string> argv = {TOLVANE_ICQ};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::runProcess(argv, "", environment);
}

// The export folder read by Python's csv, html.parser and sqlite3 and a vCard
// parse by hand.
void expectValidExports(const std::string& folder, int contacts, int messages) {
    const ProcessResult r = testsupport::runProcess(
        {PYTHON, CHECK_EXPORTS, folder, std::to_string(contacts), std::to_string(messages)});
    EXPECT_EQ(r.status, 0) << describe(r);
}

// The window's progress bar only grows, to 100 once, over reading, merging and exporting.
void expectGrowingProgress(const std::string& err) {
    std::vector<int> seen;
    const std::regex line("progress ([0-9]+) 100\n");
    for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator();
         ++it) {
        seen.push_back(std::stoi((*it)[1]));
    }
    ASSERT_FALSE(seen.empty()) << err;
    EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<int>()) ==
                seen.end())
        << err;
    EXPECT_EQ(seen.back(), 100) << err;
}

mkwin::IcqMessage message(uint32_t uin, bool sent, uint32_t time, const std::string& text) {
    mkwin::IcqMessage m;
    m.fields.uin = uin;
    m.fields.sent = sent;
    m.fields.time = time;
    m.fields.text = text;
    m.fields.subtype = mkwin::kIcqSubtypeMessage;
    return m;
}

mkwin::IcqContactRecord contact(uint32_t uin, const std::string& nick,
                                mkwin::IcqContactStatus status, uint32_t group) {
    mkwin::IcqContactRecord r;
    r.uin = uin;
    r.nickName = nick;
    r.status = status;
    r.group = group;
    r.present = mkwin::kIcqNickName | mkwin::kIcqUin;
    return r;
}

// An owner with four contacts of every standing, names that would drive a
// terminal, and five messages. Texts are Windows-1252.
mkwin::IcqDatabaseContent smallDatabase() {
    mkwin::IcqDatabaseContent c;
    c.ownerUin = 1234567;
    c.ownerNickName = "Rover";
    c.groups = {{1000, "General"}, {1001, "Friends\x1B[31m"}};
    using Status = mkwin::IcqContactStatus;
    c.contacts = {contact(4711042, "J\xF6rg", Status::OnList, 1001),
                  contact(5550123, "\xC5sa", Status::OnList, 1000),
                  contact(7345012, "Bj\xF8rn", Status::Removed, 1001),
                  contact(6120934, "x\x1B[2Jy", Status::Ignored, 0)};
    c.contacts[0].details = {{"Gender", 2}, {"HomeCity", "K\xF6ln\x1B[0m"}};
    c.messages = {message(4711042, false, 1037991600, "Hej!\r\nHur m\xE5r du?"),
                  message(4711042, true, 1037991660, "Bra, tack."),
                  message(4711042, false, 1037991720, "Bilder"),
                  message(5550123, false, 1040000000, "Tjena"),
                  message(99999999, false, 1050000000, "Who is this?")};
    return c;
}

std::string writeDatabase(const std::string& path, const mkwin::IcqDatabaseContent& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::string error;
    EXPECT_TRUE(mkwin::writeIcqDatabase(path, content, error)) << error;
    return path;
}

TEST(IcqTool, ExportIsTheExpectedFilesWhateverTheMachinesZone) {
    // Cyrillic names in Windows-1251; a contact not on the list, exported with
    // --all-contacts.
    mkwin::IcqDatabaseContent content;
    content.ownerUin = 1234567;
    content.ownerNickName = "\xC8\xE2\xE0\xED";
    content.groups = {{1000, "\xC4\xF0\xF3\xE7\xFC\xFF"}};
    content.contacts = {contact(4711042, "\xCF\xE5\xF2\xFF", mkwin::IcqContactStatus::OnList, 1000),
                        contact(7345012, "Bob", mkwin::IcqContactStatus::Removed, 0)};
    content.messages = {message(4711042, false, 1037991600, "\xCF\xF0\xE8\xE2\xE5\xF2!"),
                        message(4711042, true, 1037991660, "Hi")};
    // What Петя told about himself: a birthday without its year, a city, his employer and
    // position, a phone, a page (the database keeps them by name).
    content.contacts[0].details = {{"BirthMonth", 3},
                                   {"BirthDay", 8},
                                   {"Gender", 2},
                                   {"HomeCity", "\xCC\xEE\xF1\xEA\xE2\xE0"},
                                   {"WorkCompany", "\xCC\xCC\xCC, \xC0\xCE"},
                                   {"WorkPosition", "\xE8\xED\xE6\xE5\xED\xE5\xF0"},
                                   {"HomePhone", "+7 495 123"},
                                   {"WorkHomepage", "http://example.ru/a,b"},
                                   {"About", "\xDF; \xF2\xF3\xF2"}};
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("1234567.dat"), content);
    const std::map<std::string, std::string> expected = {
        {"contacts.csv", "uin,display_name,status,status_code,group_id,group,"
                         "handle,nickname,first_name,last_name,"
                         "email,other_emails,has_record,birthday,gender,details\r\n"
                         "4711042,Петя,on-list,2,1000,Друзья,,Петя,,,,,1,--03-08,male,"
                         "\"About: Я; тут; HomeCity: Москва; HomePhone: +7 495 123; "
                         "WorkCompany: МММ, АО; WorkHomepage: http://example.ru/a,b; "
                         "WorkPosition: инженер\"\r\n"
                         "7345012,Bob,removed,5,,,,Bob,,,,,1,,,"
                         "HomePage: http://members.aol.com/mдuschensun95\r\n"},
        {"contacts.vcf", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Петя\r\nNICKNAME:Петя\r\nIMPP:icq:"
                         "4711042\r\n"
                         "CATEGORIES:Друзья\r\nBDAY:--0308\r\nGENDER:M\r\nORG:МММ\\, АО\r\n"
                         "TITLE:инженер\r\nADR;TYPE=home:;;;Москва;;;\r\nNOTE:Я\\; тут\r\n"
                         "TEL;TYPE=home,voice:+7 495 123\r\n"
                         "URL;TYPE=work:http://example.ru/a,b\r\n"
                         "X-ICQ-STATUS:on-list\r\nEND:VCARD\r\n"
                         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bob\r\nNICKNAME:Bob\r\nIMPP:icq:"
                         "7345012\r\nURL:http://members.aol.com/mдuschensun95\r\n"
                         "X-ICQ-STATUS:removed\r\nNOTE:Removed from the ICQ contact "
                         "list\r\nEND:VCARD\r\n"},
        {"history/4711042-Петя.txt",
         "ICQ history: Петя (4711042)\nOwner: Иван (1234567)\nTimes in "
         "Europe/Stockholm\n\n"
         "== 2002-11-22 ==\n\n2002-11-22T20:00:00+01:00  Петя\n  Привет!\n\n"
         "2002-11-22T20:01:00+01:00  Иван\n  Hi\n"}};
    std::map<std::string, std::string> first;
    for (const char* machineZone : {"UTC", "Asia/Kolkata"}) {
        SCOPED_TRACE(machineZone);
        const std::string out = dir.file(std::string("out-") + machineZone);
        // The second run tells the progress of reading and of writing as the window reads it,
        // which changes no file.
        const bool lines = first.size() != 0;
        std::vector<std::string> args = {
            "export", "--codepage", "CP1251", "--time-zone", "Europe/Stockholm", "--all-contacts",
            "--out",  out,          db};
        if (lines) {
            args.insert(args.begin() + 1, "--progress-lines");
        }
        const ProcessResult r = icqTool(args, {{"TZ", machineZone}});
        ASSERT_EQ(r.status, 0) << describe(r);
        EXPECT_TRUE(lines ? std::regex_match(
                                r.err, std::regex("((stage [^\n]+|progress [0-9]{1,3} 100)\n)+"))
                          : r.err.empty())
            << r.err;
        if (lines) {
            expectGrowingProgress(r.err);
        }
        expectValidExports(out, 2, 2);
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (entry.is_regular_file() && entry.path().filename() != "report.txt") {
                files[fs::relative(entry.path(), out).string()] = readFile(entry.path().string());
            }
        }
        for (const auto& [name, text] : expected) {
            EXPECT_EQ(files[name], text) << name;
        }
        EXPECT_TRUE(first.empty() || files == first);
        first = files;
    }
}

// What info, contacts and history show of a database, texts from the disk escaped.
TEST(IcqTool, InfoContactsAndHistory) {
    const TempDir dir;
    mkwin::IcqDatabaseContent content = smallDatabase();
    mkwin::IcqMessage gone = message(5550123, true, 1040000060, "Hejd\xE5");
    gone.fields.deleted = true;
    content.messages.push_back(gone);
    const std::string db = writeDatabase(dir.file("1234567.dat"), content);
    for (const auto& [args, expected] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"info", db},
              "Database:  {dir}/1234567.dat\n"
              "Index:     {dir}/1234567.idx (index version 18)\n"
              "Version:   ICQ 2000b\n"
              "Walk:      the index tree\n"
              "Owner:     Rover (UIN 1234567)\n"
              "Groups:    2\n"
              "     1000  General                 1 contact\n"
              "     1001  Friends\\x1B[31m         1 contact; 1 more not on the list\n"
              "Contacts:  5\n"
              "        2  on the list\n"
              "        1  removed\n"
              "        1  ignored\n"
              "        1  known only from messages\n"
              "Messages:  5 (4 received, 1 sent)\n"
              "        5  message\n"
              "        1  in ICQ's Deleted folder, left out (--deleted-folder)\n"
              "Times:     stored stamps taken as UTC, shown in UTC\n"
              "Warnings:  0\n"},
             {{"history", "--deleted-folder", "--uin", "5550123", db},
              "== Åsa (5550123) ==\n"
              "\n"
              "2002-12-16T00:53:20+00:00  Åsa\n"
              "  Tjena\n"
              "\n"
              "2002-12-16T00:54:20+00:00  Rover (In the Deleted folder)\n"
              "  Hejdå\n"},
             {{"contacts", "--all", db},
              "UIN       Nickname   Handle  Name  E-mail  Group            Status                  "
              "  "
              "Details\n"
              "4711042   Jörg                             Friends\\x1B[31m  on the list            "
              "   "
              "male; Home city: Köln\\x1B[0m\n"
              "5550123   Åsa                              General          on the list             "
              "  "
              "Home page: http://members.aol.com/mäuschensun95\n"
              "6120934   x\\x1B[2Jy                                         ignored                "
              "   "
              "Age: 59; Home page: http://members.aol.com/bébébär0\n"
              "7345012   Bjørn                            Friends\\x1B[31m  removed                "
              "   "
              "Home page: http://members.aol.com/sunice\n"
              "99999999                                                    known only from "
              "messages\n"},
             {{"history", "--uin", "4711042", db},
              "== Jörg (4711042) ==\n"
              "\n"
              "2002-11-22T19:00:00+00:00  Jörg\n"
              "  Hej!\n"
              "  Hur mår du?\n"
              "\n"
              "2002-11-22T19:01:00+00:00  Rover\n"
              "  Bra, tack.\n"
              "\n"
              "2002-11-22T19:02:00+00:00  Jörg\n"
              "  Bilder\n"}}) {
        // Each run had a folder of its own there, for a long history's temporary files.
        const TempDir temporary;
        const ProcessResult r = icqTool(args, {{"TMPDIR", temporary.path()}});
        EXPECT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(r.out, filled(expected, "{dir}", dir.path()));
        EXPECT_TRUE(fs::is_empty(temporary.path()));
    }
}

// Ctrl-C while an export is written leaves the folder as the export before left it.
TEST(IcqTool, StoppedExportLeavesTheFolderAsItWas) {
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("1234567.dat"), smallDatabase());
    const std::string out = dir.file("out");
    const std::vector<std::string> argv = {TOLVANE_ICQ, "export", "--progress-lines",
                                           "--out",     out,      db};
    const ProcessResult first = testsupport::runProcess(argv);
    ASSERT_EQ(first.status, 0) << describe(first);
    const std::string exporting = "stage Exporting 1234567.dat\n";
    const size_t at = first.err.find(exporting);
    ASSERT_NE(at, std::string::npos) << first.err;
    const TreeSnapshot before = snapshotTree(out, {});
    const ProcessResult r = testsupport::runProcess(argv, "", {}, {at + exporting.size(), SIGINT});
    EXPECT_EQ(r.status, 128 + SIGINT) << describe(r);
    EXPECT_EQ(r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1),
              "tolvane-icq: interrupted by SIGINT; " + out + " is as it was\n");
    EXPECT_EQ(treeChanges(before, snapshotTree(out, {})), "");
}

// People who kept only their ICQ folder name it, or the index, instead of the data file.
TEST(IcqTool, AFolderOrTheIndexStandsForItsDatabase) {
    const TempDir dir;
    const std::string db = writeDatabase(dir.file("ICQ/2000b/1234567.dat"), smallDatabase());
    writeDatabase(dir.file("ICQ/NewDB/1234567.dat"), smallDatabase());
    for (const std::string& given :
         {dir.file("ICQ"), dir.file("ICQ/2000b"), dir.file("ICQ/2000b/1234567.idx")}) {
        const ProcessResult r = icqTool({"info", given});
        EXPECT_EQ(r.status, 0) << describe(r);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Database:  " + db) << given;
    }
    writeDatabase(dir.file("ICQ/2000a/7654321.dat"), smallDatabase());
    testsupport::writeFile(dir.file("saved/report.txt"), "ICQ archive of Rover (23456789)\n");
    testsupport::writeFile(dir.file("saved/icq-archive.sqlite"), "");
    const std::pair<std::string, std::string> refused[] = {
        {dir.file("saved"),
         ": holds no ICQ database (no <UIN>.dat in it, nor in its folders 2003a, 2002a, 2001a, "
         "2000b, 2000a, Db99b and NewDB); it holds an import or ICQ archive saved earlier, which "
         "the window shows: tolvane --open \"" +
             dir.file("saved") + "\""},
        {dir.file("ICQ"), ": holds the databases of 2 owners (2000b/1234567.dat, "
                          "2000a/7654321.dat); name one of them"},
        {dir.path(), ": holds no ICQ database (no <UIN>.dat in it, nor in its folders 2003a, "
                     "2002a, 2001a, 2000b, 2000a, Db99b and NewDB); below it: "
                     "ICQ/2000b/1234567.dat, ICQ/NewDB/1234567.dat, ICQ/2000a/7654321.dat; name "
                     "the one to read, or for export every copy of one owner's database"}};
    for (const auto& [given, err] : refused) {
        const ProcessResult r = icqTool({"contacts", given});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "tolvane-icq: " + given + err + "\n");
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
    const ProcessResult r =
        icqTool({"export", "--verbose", "--progress-lines", "--out", out, a, b});
    ASSERT_EQ(r.status, 0) << describe(r);
    expectGrowingProgress(r.err);
    // Confined: the copies' folders read, the export (and the merge's spill file) written.
    if (r.err.rfind("tolvane-icq: not confined: ", 0) != 0) {
        for (const std::string& line : {"  read beneath " + dir.file("2002") + "\n",
                                        "  read beneath " + dir.file("2003") + "\n",
                                        "  read and write beneath " + out + "\n"}) {
            EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
        }
        EXPECT_EQ(r.err.find("write beneath"), r.err.rfind("write beneath")) << r.err;
    }
    EXPECT_NE(r.out.find("Messages:  6 in 3 conversations exported to history/\n"
                         "Merged:    2 copies of the database; 3 messages found "
                         "in more than one "
                         "and kept once\n"),
              std::string::npos)
        << r.out;
    expectValidExports(out, 2, 6);

    mkwin::IcqDatabaseContent other = smallDatabase();
    other.ownerUin = 7654321;
    const std::string c = writeDatabase(dir.file("other/7654321.dat"), other);
    const ProcessResult refused = icqTool({"export", "--out", dir.file("mixed"), a, c});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "tolvane-icq: " + a +
                               ": a database of another owner (UIN 1234567, not 7654321 as in " +
                               c + ")\n");
    // Nor does one owner's export replace another's unasked.
    const ProcessResult kept = icqTool({"export", "--out", out, c});
    EXPECT_EQ(kept.status, 2);
    EXPECT_EQ(kept.err, "tolvane-icq: " + out +
                            ": holds the ICQ archive of another owner (UIN 1234567); --replace "
                            "replaces it\n");
    EXPECT_EQ(icqTool({"export", "--replace", "--out", out, c}).status, 0);
    expectValidExports(out, 2, 5);
}

TEST(IcqTool, WhatItCannotReadIsRefusedInOneLine) {
    const TempDir dir;
    for (const char* table : {"Messages1234567.dbf", "Users1234567.dbf", "O1234567.dbf"}) {
        writeFile(dir.file(std::string("2003b/1234567/") + table), "\x03");
    }
    writeFile(dir.file("short.dat"), "ICQ");
    const std::string later = dir.file("2003b/1234567");
    const std::string shortDb = dir.file("short.dat");
    const std::string refused = later + ": a database of ICQ 2003b or later (Messages1234567.dbf, "
                                        "O1234567.dbf, Users1234567.dbf), which this reader "
                                        "cannot read (it reads the <UIN>.dat of ICQ 99a to 2003a)";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"info", later}, 1, refused},
        // The ICQ folder that holds them.
        {{"export", "--out", dir.file("out"), dir.path()}, 1, refused},
        {{"contacts", dir.file("none.dat")},
         2,
         dir.file("none.dat") + ": cannot open the file (No such file or directory)"},
        {{"history", shortDb},
         2,
         shortDb + ": not an ICQ database (the file has 3 bytes, fewer than its "
                   "8-byte header)"},
        {{"info", "--time-zone", "Mars/Olympus", shortDb},
         2,
         "--time-zone Mars/Olympus: unknown time zone (not in the system's zone "
         "database)"},
    };
    for (const auto& [args, status, err] : cases) {
        SCOPED_TRACE(err);
        const ProcessResult r = icqTool(args);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.err, "tolvane-icq: " + err + "\n");
    }
}

TEST(ImportArchive, WrittenBesideTheRecordWithAllContactsOrLeftOut) {
    Json description = smallDescription();
    description["timeZone"] = {{"key", "Tokyo Standard Time"}};
    description["codepage"] = "CP1254";
    Installation icq(description);
    icq.build();
    const ProcessResult r = icq.import({"--password-file", icq.passwordFile(), "--owner", "Rover",
                                        "--out", icq.out("all"), "--all-contacts"});
    ASSERT_EQ(r.status, 0) << describe(r);
    expectValidExports(icq.out("all"), 5, 77);
    // Shown in UTC, as no zone was given, while the old Windows was set to another one.
    // So are its texts, decoded in the default code page.
    const std::string times = "\nTimes:     in UTC; the old Windows was set to Tokyo Standard "
                              "Time (--time-zone Asia/Tokyo)\nTexts:     decoded as CP1252; the "
                              "old Windows used code page CP1254 (--codepage CP1254)\n";
    EXPECT_NE(r.out.find(times), std::string::npos) << r.out;
    // UTC and the code page chosen on purpose.
    const ProcessResult utc =
        icq.import({"--password-file", icq.passwordFile(), "--owner", "Rover", "--out",
                    icq.out("utc"), "--time-zone", "UTC", "--codepage", "CP1252"});
    ASSERT_EQ(utc.status, 0) << describe(utc);
    EXPECT_EQ(utc.out.find("Times:"), std::string::npos) << utc.out;
    EXPECT_EQ(utc.out.find("Texts:"), std::string::npos) << utc.out;
    const ProcessResult list = icq.import({"--list"});
    EXPECT_NE(list.out.find("\n\nThe old Windows used code page CP1254 (--codepage CP1254)\nThe "
                            "old Windows was set to Tokyo Standard Time (--time-zone "
                            "Asia/Tokyo)\n"),
              std::string::npos)
        << list.out;

    const ProcessResult left = icq.import({"--password-file", icq.passwordFile(), "--owner",
                                           "Rover", "--out", icq.out("without"), "--no-archive"});
    ASSERT_EQ(left.status, 0) << describe(left);
    EXPECT_NE(left.out.find("Messages:  not exported (--no-archive)\n"), std::string::npos)
        << left.out;
    EXPECT_FALSE(fs::exists(icq.out("without") + "/contacts.csv"));
}

} // namespace
} // namespace e2e
