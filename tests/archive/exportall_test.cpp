#include "archive/exportall.h"

#include "archive/sqlite.h"
#include "archive/summary.h"
#include "support/samplearchive.h"
#include "support/tempdir.h"

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sqlite3.h>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;

// The rows of `sql`, columns joined by "|", each row ended by a line end.
std::string query(sqlite3* db, const char* sql) {
    std::string rows;
    const auto collect = [](void* out, int n, char** values, char**) {
        auto& text = *static_cast<std::string*>(out);
        for (int i = 0; i < n; ++i) {
            text += (i == 0 ? "" : "|") + std::string(values[i] ? values[i] : "NULL");
        }
        text += "\n";
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql, collect, &rows, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    return rows;
}

void expectIn(const std::string& text, const std::string& part) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nnot in:\n" << text;
}

// `n` times "ä", two octets each.
std::string umlauts(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += "ä";
    }
    return s;
}

// The sample with every contact, one with a name of every character the lists escape and one
// with a handle of 200 bytes.
class Exported : public testing::Test {
protected:
    void SetUp() override {
        sample.archive.contacts[1].nickName = "C\\a,r;l\r\n\"2\"";
        archive::Contact& longName = sample.archive.contacts.emplace_back();
        longName.uin = 6666;
        longName.handle = "a" + umlauts(99) + "b";
        archive::ExportOptions options;
        options.allContacts = true;
        EXPECT_EQ(archive::exportAll(sample.archive, dir.path(), options).error, "");
        expectIn(readFile(dir.file("report.txt")),
                 "\nWritten\n  contacts.vcf        4 contacts\n  contacts.csv        4 contacts\n"
                 "  history/            3 conversations, 6 messages\n"
                 "  icq-archive.sqlite  4 contacts, 6 messages\n");
    }

    testsupport::SampleArchive sample;
    testsupport::TempDir dir;
};

TEST_F(Exported, ContactListsEscapedAndFolded) {
    const std::string csv = readFile(dir.file("contacts.csv"));
    EXPECT_EQ(csv.substr(0, csv.find("6666,")),
              "uin,display_name,status,status_code,group_id,group,handle,nickname,first_name,"
              "last_name,email,other_emails,has_record,birthday,gender,details\r\n"
              "2222,\"Ali; the \"\"great\"\"\",on-list,2,1000,\"Friends, old\","
              "\"Ali; the \"\"great\"\"\",Alice,Alice,Åberg,alice@example.com,a2@example.com,1,,,"
              "\r\n"
              "3333,\"C\\a,r;l \"\"2\"\"\",removed,5,,,,\"C\\a,r;l\n\"\"2\"\"\",,,,,1,1971,,"
              "\"HomeFax: 1;2; Work[2JPos: a,b\"\r\n"
              "4444,4444,other,0,,,,,,,,,0,,,\r\n");
    const std::string vcf = readFile(dir.file("contacts.vcf"));
    EXPECT_EQ(vcf.substr(0, vcf.find("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:4444")),
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ali\\; the \"great\"\r\nN:Åberg;Alice;;;\r\n"
              "NICKNAME:Alice\r\nEMAIL;PREF=1:alice@example.com\r\nEMAIL:a2@example.com\r\n"
              "IMPP:icq:2222\r\nCATEGORIES:Friends\\, old\r\nX-ICQ-STATUS:on-list\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:C\\\\a\\,r\\;l \"2\"\r\n"
              "NICKNAME:C\\\\a\\,r\\;l\\n\"2\"\r\nIMPP:icq:3333\r\nBDAY:1971\r\n"
              "TEL;TYPE=home,fax:1\\;2\r\nX-ICQ-WORK--2JPOS:a\\,b\r\nX-ICQ-STATUS:removed\r\n"
              "NOTE:Removed from the ICQ contact list\r\nEND:VCARD\r\n");
    expectIn(vcf, "\r\nNOTE:Known only from the ICQ message history\r\n");
    // "FN:a" and 35 letters make 74 octets: the 36th letter would pass 75.
    expectIn(vcf,
             "\r\nFN:a" + umlauts(35) + "\r\n " + umlauts(37) + "\r\n " + umlauts(27) + "b\r\n");
}

TEST_F(Exported, HistoryAcrossTheDaylightSavingChangeEscapedAndLinked) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.file("history"))) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"2222-Ali;_the_great.html", "2222-Ali;_the_great.txt",
                                            "4444.html", "4444.txt", "5555.html", "5555.txt",
                                            "index.html"}));
    EXPECT_EQ(readFile(dir.file("history/2222-Ali;_the_great.txt")),
              "ICQ history: Ali; the \"great\" (2222)\n"
              "Owner: Bob (1111)\n"
              "Times in Europe/Stockholm\n"
              "\n== 2003-03-30 ==\n"
              "\n2003-03-30T01:59:59+01:00  Ali; the \"great\"\n  Hi <b>\n  there & you\n"
              "\n2003-03-30T03:00:00+02:00  Bob\n  ok\n"
              "\n2003-03-30T06:53:20+02:00  Ali; the \"great\" (URL)\n"
              "  Look\n  http://example.com/?a=1&b=2\n"
              "\n2003-03-30T06:53:21+02:00  Ali; the \"great\" (URL)\n  javascript:alert(1)\n");
    expectIn(readFile(dir.file("history/4444.txt")), "03:46:40+02:00  4444 (You were added)\n");

    const std::string page = readFile(dir.file("history/2222-Ali;_the_great.html"));
    for (const char* part :
         {"<title>ICQ history: Ali; the &quot;great&quot; (2222)",
          "<time datetime=\"2003-03-30T03:00:00+02:00\">03:00:00</time> <b class=\"who\">Bob</b>",
          "Hi &lt;b&gt;<br>there &amp; you",
          "Look<br><a href=\"http://example.com/?a=1&amp;b=2\" rel=\"noreferrer\">"
          "http://example.com/?a=1&amp;b=2</a>",
          "<div class=\"text\">javascript:alert(1)</div>"}) {
        expectIn(page, part);
    }
    expectIn(readFile(dir.file("history/index.html")),
             "<tr><td><a href=\"2222-Ali%3B_the_great.html\">Ali; the &quot;great&quot;</a></td>"
             "<td>2222</td><td>4</td>"
             "<td><time datetime=\"2003-03-30T01:59:59+01:00\">2003-03-30</time></td>"
             "<td><time datetime=\"2003-03-30T06:53:21+02:00\">2003-03-30</time></td>"
             "<td><a href=\"2222-Ali%3B_the_great.txt\">text</a></td></tr>\n");
}

TEST_F(Exported, SqliteHoldsTheWholeArchive) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(dir.file("icq-archive.sqlite").c_str(), &raw, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    EXPECT_EQ(query(db.get(), "SELECT * FROM owner"), "1111|Bob|Bob||||Europe/Stockholm\n");
    EXPECT_EQ(query(db.get(), "SELECT c.uin, c.status, g.name, count(m.id) FROM contacts c "
                              "LEFT JOIN groups g ON g.id = c.group_id "
                              "LEFT JOIN messages m ON m.uin = c.uin GROUP BY c.uin"),
              "2222|on-list|Friends, old|4\n3333|removed|NULL|0\n4444|other|NULL|1\n"
              "5555|other|NULL|1\n6666|other|NULL|0\n");
    EXPECT_EQ(query(db.get(), "SELECT group_concat(email, ' ') FROM contact_emails"),
              "alice@example.com a2@example.com\n");
    EXPECT_EQ(query(db.get(), "SELECT * FROM contact_details ORDER BY uin, name"),
              "3333|BirthYear|1971\n3333|HomeFax|1;2\n3333|Work[2JPos|a,b\n");
    EXPECT_EQ(query(db.get(), "SELECT direction, kind, time, text, url, hex(raw_text) "
                              "FROM messages WHERE uin = 2222 ORDER BY time_utc LIMIT 3"),
              "received|message|2003-03-30T01:59:59+01:00|Hi <b>\nthere & you||"
              "4869203C623E0D0A7468657265202620796F75\n"
              "sent|message|2003-03-30T03:00:00+02:00|ok||6F6B\n"
              "received|url|2003-03-30T06:53:20+02:00|Look|http://example.com/?a=1&b=2|4C6F6F6B\n");
}

// Messages the owner moved to ICQ's Deleted folder, exported when asked, say so everywhere.
TEST(ExportAll, MessagesOfTheDeletedFolderAreMarked) {
    testsupport::SampleArchive sample;
    using archive::Direction;
    archive::Message gone = testsupport::message(5555, Direction::Received, 1000000001, "who?");
    gone.inDeletedFolder = true;
    archive::Message link = testsupport::message(5555, Direction::Sent, 1000000002, "see");
    link.kind = archive::MessageKind::Url;
    link.url = "http://x.se";
    link.inDeletedFolder = true;
    const testsupport::InMemoryMessageSource source(
        {gone, link, testsupport::message(5555, Direction::Sent, 1000000003, "kept")});
    sample.archive.messages = &source;
    sample.archive.settings.deletedFolder = true;
    const testsupport::TempDir dir;
    const archive::ExportResult result = archive::exportAll(sample.archive, dir.path(), {});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(archive::messagesText(sample.archive.report, result),
              "3 in 1 conversation exported to history/, 2 of them from ICQ's Deleted folder");
    expectIn(readFile(dir.file("history/5555.txt")),
             "+02:00  5555 (In the Deleted folder)\n  who?\n\n"
             "2001-09-09T03:46:42+02:00  Bob (URL, in the Deleted folder)\n  see\n  http://x.se\n\n"
             "2001-09-09T03:46:43+02:00  Bob\n  kept\n");
    expectIn(readFile(dir.file("history/5555.html")),
             "<div class=\"m received deleted\"><time datetime=\"2001-09-09T03:46:41+02:00\">"
             "03:46:41</time> <b class=\"who\">5555</b> <span class=\"kind\">In the Deleted "
             "folder</span>");
    expectIn(readFile(dir.file("report.txt")),
             "\nMessages in ICQ's Deleted folder exported with the others, marked as such\n");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(dir.file("icq-archive.sqlite").c_str(), &raw, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    EXPECT_EQ(query(db.get(), "SELECT text, deleted_folder FROM history"),
              "who?|1\nsee|1\nkept|0\n");
}

// A conversation's page lists its years at the end, each linked to its first day.
TEST(ExportAll, ConversationPagesLinkTheirYears) {
    testsupport::SampleArchive sample;
    using archive::Direction;
    const testsupport::InMemoryMessageSource source(
        {testsupport::message(5555, Direction::Received, 1000000001, "a"),
         testsupport::message(5555, Direction::Sent, 1000090000, "b"),
         testsupport::message(5555, Direction::Sent, 1060000000, "c")});
    sample.archive.messages = &source;
    const testsupport::TempDir dir;
    ASSERT_EQ(archive::exportAll(sample.archive, dir.path(), {}).error, "");
    const std::string page = readFile(dir.file("history/5555.html"));
    for (const char* part :
         {"<a href=\"index.html\">All conversations</a> \u00b7 <a href=\"#years\">Years</a>",
          "<h2 id=\"2001-09-09\">2001-09-09</h2>", "<h2 id=\"2001-09-10\">2001-09-10</h2>",
          "<p id=\"years\">Years: <a href=\"#2001-09-09\">2001</a> \u00b7 "
          "<a href=\"#2003-08-04\">2003</a></p>\n</body>"}) {
        expectIn(page, part);
    }
}

// The contact list alone: the report counts what it leaves out, and lists the warnings.
TEST(ExportAll, ReportCountsEveryEntryAndListsTheWarnings) {
    testsupport::SampleArchive sample;
    sample.archive.report.entries[{"message", "in the Deleted folder"}] = 2;
    // What the reading delivered: the export says what became of it instead.
    sample.archive.report.entries[{"message", archive::kReadOutcome}] = 6;
    sample.archive.report.entries[{"contact", archive::kReadOutcome}] = 2;
    sample.archive.report.sources = {"/old/1111.dat (ICQ 2000b, read through its index)"};
    sample.archive.report.warnings = {"entry 9 at offset 0x40: text length 900 past the end"};
    const testsupport::TempDir dir;
    archive::ExportOptions options;
    options.csv = options.history = options.sqlite = false;
    const archive::ExportResult result = archive::exportAll(sample.archive, dir.path(), options);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.contacts, 1u);
    EXPECT_EQ(result.messages, 0u);
    EXPECT_FALSE(fs::exists(dir.file("contacts.csv")));
    EXPECT_EQ(readFile(dir.file("report.txt")),
              "ICQ archive of Bob (1111)\n"
              "Texts read as CP1252; stored times plus 0 s taken as UTC; times shown in "
              "Europe/Stockholm\n"
              "\nRead from\n"
              "  /old/1111.dat (ICQ 2000b, read through its index)\n"
              "\nWritten\n"
              "  contacts.vcf  1 contact; left out: 2 not on the list (--all-contacts)\n"
              "\nEntries by kind and outcome\n"
              "       1  contact: exported\n"
              "       1  contact: not exported (other; --all-contacts adds it)\n"
              "       1  contact: not exported (removed; --all-contacts adds it)\n"
              "       2  message: in the Deleted folder\n"
              "       6  message: not exported (neither history nor database chosen)\n"
              "\nMessages found in more than one copy and kept once: 0\n"
              "\nWarnings (1)\n"
              "  entry 9 at offset 0x40: text length 900 past the end\n");
}

// An export replaces what an earlier export of its owner wrote, its history as a whole, and
// nothing of anybody else's: a folder that holds such files, or another owner's export (unless
// replaceOther says so), refuses the export before anything is written.
TEST(ExportAll, ReplacesAnEarlierExportButNobodyElsesFiles) {
    const std::string own = "ICQ archive of Bob (1111)\n";
    const std::string other = "ICQ archive of Rover (9999)\n";
    struct Case {
        std::map<std::string, std::string> before;
        bool replaceOther;
        std::string error; // after the folder's path
    };
    const Case cases[] = {
        {{{"report.txt", own}, {"history/9999.html", "of a contact gone since"}}, false, ""},
        {{{"report.txt", other}, {"history/9999.html", "of another owner"}}, true, ""},
        {{{"report.txt", other}, {"history/9999.html", "of another owner"}},
         false,
         ": holds the ICQ archive of another owner (UIN 9999); --replace replaces it"},
        {{{"history/9999.html", "of the user"}, {"contacts.csv", "of the user"}},
         true,
         ": holds contacts.csv and history/, which no earlier export wrote (there is no "
         "report.txt of one); move them away or choose another folder"},
        {{{"report.txt", own}, {"history/notes.odt", "of the user"}},
         false,
         "/history: holds notes.odt, which no export wrote; move it away or choose another "
         "folder"},
    };
    for (const Case& c : cases) {
        const testsupport::TempDir dir;
        for (const auto& [name, bytes] : c.before) {
            testsupport::writeFile(dir.file(name), bytes);
        }
        testsupport::SampleArchive sample;
        archive::ExportOptions options;
        options.replaceOther = c.replaceOther;
        const std::string error = archive::exportAll(sample.archive, dir.path(), options).error;
        EXPECT_EQ(error, c.error.empty() ? "" : dir.path() + c.error);
        if (error.empty()) {
            EXPECT_FALSE(fs::exists(dir.file("history/9999.html")));
            EXPECT_TRUE(fs::exists(dir.file("history/index.html")));
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                      5);
        } else {
            for (const auto& [name, bytes] : c.before) {
                EXPECT_EQ(readFile(dir.file(name)), bytes) << name;
            }
        }
    }
}

TEST(ExportAll, FailuresAreOneLineWithPlaceAndCauseAndLeaveNothingBehind) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("file"), "x");
    testsupport::SampleArchive sample;
    EXPECT_EQ(archive::exportAll(sample.archive, dir.file("file/sub")).error,
              dir.file("file/sub") + ": could not create the folder (Not a directory)");
    // Links left in the output folder lead nothing outside it.
    fs::create_directories(dir.file("elsewhere"));
    fs::create_directories(dir.file("linked"));
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("linked/history"));
    fs::create_symlink(dir.file("elsewhere/victim"), dir.file("linked/.contacts.vcf.part"));
    testsupport::writeFile(dir.file("linked/report.txt"), "ICQ archive of Bob (1111)\n");
    EXPECT_EQ(archive::exportAll(sample.archive, dir.file("linked")).error,
              dir.file("linked/history") +
                  ": could not create the folder (a symbolic link is there)");
    EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));
    // A database that is not committed leaves no file.
    { archive::SqliteWriter writer(dir.file("out.sqlite"), sample.archive, archive::TimeZone()); }
    EXPECT_FALSE(fs::exists(dir.file("out.sqlite")) || fs::exists(dir.file(".out.sqlite.part")));
}

// Rows go into the database on a thread of their own: when the disk fills up under them (a
// file size limit stands in for it), the export stops with SQLite's reason, leaves no file of
// its own and the earlier export as it was, its contact list written before included.
TEST(ExportAll, DatabaseThatStopsFittingOnTheDiskIsReported) {
    const testsupport::TempDir dir;
    const std::map<std::string, std::string> earlier = {
        {"report.txt", "ICQ archive of Bob (1111)\n"}, {"contacts.vcf", "an earlier export"}};
    for (const auto& [name, bytes] : earlier) {
        testsupport::writeFile(dir.file(name), bytes);
    }
    std::vector<archive::Message> history;
    for (int i = 0; i < 2000; ++i) {
        history.push_back(testsupport::message(2222 + i % 7, archive::Direction::Sent, i,
                                               std::string(4000, 'a' + i % 26)));
    }
    testsupport::SampleArchive sample;
    const testsupport::InMemoryMessageSource source(history);
    sample.archive.messages = &source;
    archive::ExportOptions options;
    options.history = options.csv = false;
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4 << 20;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = archive::exportAll(sample.archive, dir.path(), options).error;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error,
              dir.file("icq-archive.sqlite") + ": could not write the database (disk I/O error)");
    std::map<std::string, std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        left[entry.path().filename().string()] = readFile(entry.path());
    }
    EXPECT_EQ(left, earlier);
}

} // namespace
