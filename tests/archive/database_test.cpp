#include "archive/database.h"

#include "icqdb.h"
#include "installation.h"
#include "support/tempdir.h"

#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using archive::ContactStatus;
using archive::Database;
using archive::Direction;
using archive::MessageKind;
using archive::Settings;
using testsupport::TempDir;

std::unique_ptr<Database> open(const std::string& path, const Settings& settings = {}) {
    std::string error;
    std::unique_ptr<Database> db = Database::open(path, settings, error);
    EXPECT_TRUE(db) << error;
    return db;
}

std::string write(const TempDir& dir, const std::string& name,
                  const mkwin::IcqDatabaseContent& content) {
    std::string error;
    EXPECT_TRUE(mkwin::writeIcqDatabase(dir.file(name), content, error)) << error;
    return dir.file(name);
}

// Everything a database delivers, as text, to compare two readings.
std::string dump(const Database& db, bool withWarnings = true) {
    std::ostringstream out;
    const archive::Owner& o = db.owner();
    out << "owner " << o.uin << " " << o.nickName << "|" << o.firstName << "|" << o.lastName << "|"
        << o.email << "\n";
    for (const auto& g : db.groups()) {
        out << "group " << g.id << " " << g.name << "\n";
    }
    for (const auto& c : db.contacts()) {
        out << "contact " << c.uin << " " << static_cast<int>(c.status) << " " << c.rawStatus << " "
            << c.groupId << " " << c.nickName << "|" << c.handle << "|" << c.firstName << "|"
            << c.lastName << "|" << c.hasRecord;
        for (const auto& e : c.emails) {
            out << " " << e;
        }
        out << "\n";
    }
    for (const auto& [key, count] : db.report().entries) {
        out << "report " << key.first << "/" << key.second << " " << count << "\n";
    }
    for (const auto& w : withWarnings ? db.report().warnings : std::vector<std::string>()) {
        out << "warning " << w << "\n";
    }
    const auto message = [&](const archive::Message& m) {
        out << "message " << m.entryId << " " << m.uin << " " << m.time << " "
            << static_cast<int>(m.kind) << " " << m.text << "|" << m.url << "\n";
        return true;
    };
    db.forEachMessage(message);
    db.forEachMessageByContact(message);
    return out.str();
}

mkwin::IcqContactRecord record(uint32_t uin, mkwin::IcqContactStatus status, uint32_t group,
                               const std::string& nick) {
    mkwin::IcqContactRecord c;
    c.uin = uin;
    c.status = status;
    c.group = group;
    c.nickName = nick;
    return c;
}

mkwin::IcqMessage message(uint32_t uin, bool sent, uint16_t subtype, uint32_t time,
                          const std::string& text) {
    mkwin::IcqMessage m;
    m.fields.uin = uin;
    m.fields.sent = sent;
    m.fields.subtype = subtype;
    m.fields.time = time;
    m.fields.text = text;
    return m;
}

constexpr uint32_t kT = 1000000000;

// An owner, contacts of every status and layout with a repeated record, and one message of
// every kind (Windows-1252 texts).
mkwin::IcqDatabaseContent handmade() {
    using S = mkwin::IcqContactStatus;
    mkwin::IcqDatabaseContent content;
    content.ownerUin = 23456789;
    content.ownerNickName = "Rover";
    content.ownerFirstName = "Robert";
    content.ownerLastName = "\xD6verby";
    content.ownerEmail = "rover@home.se";
    content.ownerPassword = "s3cr3t";
    content.groups = {{1000, "Friends"}, {1001, "Fam\xEDlia"}};

    mkwin::IcqContactRecord removed = record(4711042, S::Removed, 0, "J\xF6rg");
    removed.firstName = "J\xF6rg";
    removed.primaryEmail = "old@web.de";
    removed.moreEmails = {"j@web.de"};
    mkwin::IcqContactRecord listed = record(4711042, S::OnList, 1001, "Joe");
    listed.lastName = "Wei\xDFm\xFC"
                      "ller";
    listed.myDefinedHandle = "J\xF6rg aus K\xF6ln";
    listed.primaryEmail = "j@web.de";
    mkwin::IcqContactRecord awaiting = record(5550123, S::Awaiting, 3, "\xC5sa");
    awaiting.build = 319;
    mkwin::IcqContactRecord old = record(7345012, static_cast<S>(13), 0, "old");
    old.build = 250;
    content.contacts = {removed,  listed,
                        awaiting, record(6120934, S::Ignored, 0, "spam"),
                        old,      record(500, S::OnList, 1000, "tiny")};

    auto longOne = [](uint16_t build, const std::string& text, const std::string& utf8,
                      const std::string& rtf) {
        mkwin::IcqMessage m = message(4711042, true, 1, kT + 9, text);
        m.fields.longForm = true;
        m.fields.utf8 = utf8;
        m.fields.rtf = rtf;
        m.build = build;
        return m;
    };
    mkwin::IcqMessage secondUrl = message(5550123, false, 4, kT + 4, "site\xFEhttp://x.se");
    secondUrl.urlSecondForm = true;
    mkwin::IcqMessage deleted = message(4711042, false, 1, kT + 12, "gone");
    deleted.fields.deleted = true;
    content.messages = {
        message(4711042, false, 1, kT, "Hallo J\xF6rg\r\nwie geht's?"),
        message(4711042, true, 1, kT, "gut"),
        message(5550123, false, 4, kT + 3, "look\xFEhttp://example.com/\xE5"),
        secondUrl,
        message(6120934, false, 6, kT + 5,
                "spam\xFESpam\xFE"
                "Bot\xFEspam@x.com\xFE"
                "1\xFE"
                "add me"),
        message(4711042, false, 12, kT + 6,
                "Joe\xFEJ\xF6rg\xFEW\xFE\xFE"
                "1\xFE"),
        message(4711042, false, 19, kT + 7,
                "2\xFE"
                "5550123\xFE\xC5sa\xFE"
                "6120934\xFEspam\xFE"),
        message(99999999, false, 1, kT + 8, "who is this?"),
        longOne(465, "long one", "", ""),
        longOne(533, "", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "{\\rtf1 x}"),
        longOne(545, "", "", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}Gr\\'fc\\'dfe\\par}"),
        deleted,
        message(4711042, false, 26, kT + 13, "sms text"),
    };
    return content;
}

TEST(Database, DeliversOwnerGroupsContactsAndEveryKindOfMessage) {
    TempDir dir;
    Settings settings;
    settings.timeOffset = 3600;
    const auto db = open(write(dir, "23456789.dat", handmade()), settings);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->walk(), archive::Walk::IndexTree);
    EXPECT_EQ(db->version(), "2000b");
    EXPECT_EQ(db->indexVersion(), 18u);
    EXPECT_EQ(db->builds().at(250), 1u);
    EXPECT_EQ(db->builds().at(319), 1u);
    const std::string expected =
        "owner 23456789 Rover|Robert|Överby|rover@home.se\n"
        "group 1000 Friends\n"
        "group 1001 Família\n"
        "group 3 Awaiting authorization\n"
        // The record on the list wins; the removed one fills the first name and adds a mail.
        "contact 4711042 0 2 1001 Joe|Jörg aus Köln|Jörg|Weißmüller|1 j@web.de old@web.de\n"
        "contact 5550123 1 3 3 Åsa||||1\n"
        "contact 6120934 3 12 0 spam||||1\n"
        "contact 7345012 4 13 0 old||||1\n"
        "contact 99999999 4 0 0 ||||0\n"
        "report contact/bad UIN 1\n"
        "report contact/merged with another record of its UIN 1\n"
        "report contact/read 4\n"
        "report event folder/not exported 4\n"
        "report filing index/not exported 4\n"
        "report label/not exported 2\n"
        "report message/in the Deleted folder 1\n"
        "report message/read 12\n"
        "report note/not exported 1\n"
        "report owner/exported 1\n"
        "report server list/not exported 1\n"
        "report sound scheme/not exported 1\n";
    const std::string all = dump(*db);
    EXPECT_EQ(all.substr(0, expected.size()), expected);
    EXPECT_EQ(db->report().warnings.size(), 1u);
    EXPECT_NE(db->report().warnings[0].find(": UIN 500 is below 10000"), std::string::npos);
    EXPECT_EQ(all.find("s3cr3t"), std::string::npos);

    struct Expected {
        uint32_t uin;
        Direction direction;
        MessageKind kind;
        int64_t time;
        std::string text;
        std::string url;
    };
    const auto in = Direction::Received;
    const auto out = Direction::Sent;
    const int64_t t = int64_t{kT} + 3600;
    const std::vector<Expected> want = {
        {4711042, in, MessageKind::Message, t, "Hallo Jörg\r\nwie geht's?", ""},
        {4711042, out, MessageKind::Message, t, "gut", ""},
        {5550123, in, MessageKind::Url, t + 3, "look", "http://example.com/å"},
        {5550123, in, MessageKind::Url, t + 4, "site", "http://x.se"},
        {6120934, in, MessageKind::AuthorisationRequest, t + 5,
         "spam (Spam Bot) <spam@x.com>\r\nadd me", ""},
        {4711042, in, MessageKind::Added, t + 6, "Joe (Jörg W)", ""},
        {4711042, in, MessageKind::Contacts, t + 7, "Åsa (5550123)\r\nspam (6120934)", ""},
        {99999999, in, MessageKind::Message, t + 8, "who is this?", ""},
        {4711042, out, MessageKind::Message, t + 9, "long one", ""},
        {4711042, out, MessageKind::Message, t + 9, "Привет", ""},
        {4711042, out, MessageKind::Message, t + 9, "Grüße", ""},
        {4711042, in, MessageKind::Sms, t + 13, "sms text", ""},
    };
    std::vector<archive::Message> got;
    db->forEachMessage([&](const archive::Message& m) {
        got.push_back(m);
        return true;
    });
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].uin, want[i].uin);
        EXPECT_EQ(got[i].direction, want[i].direction);
        EXPECT_EQ(got[i].kind, want[i].kind);
        EXPECT_EQ(got[i].time, want[i].time);
        EXPECT_EQ(got[i].text, want[i].text);
        EXPECT_EQ(got[i].url, want[i].url);
    }
    // Two messages of one second are both there, also in contact order.
    std::vector<std::string> byContact;
    db->forEachMessageByContact([&](const archive::Message& m) {
        byContact.push_back(std::to_string(m.uin) + " " + m.text.substr(0, 4));
        return byContact.size() < 3;
    });
    EXPECT_EQ(byContact, (std::vector<std::string>{"4711042 Hall", "4711042 gut", "4711042 Joe "}));

    archive::Archive a;
    archive::fillArchive(*db, a);
    EXPECT_EQ(a.messages, db.get());
    EXPECT_EQ(a.contacts.size(), 5u);
    EXPECT_EQ(a.settings.timeOffset, 3600);
}

class Walks : public ::testing::TestWithParam<unsigned> {};

TEST_P(Walks, TreeBitmapAndMissingIndexAgree) {
    TempDir dir;
    mkwin::IcqDatabaseContent content = mkwin::realisticIcqDatabase(4711, 80, 200000, GetParam());
    const std::string withIndex = write(dir, "4711.dat", content);
    content.index = false;
    const std::string without =
        write(dir, "no/4711.dat", (std::filesystem::create_directory(dir.file("no")), content));
    Settings bitmap;
    bitmap.useIndex = false;
    const auto tree = open(withIndex);
    const auto walked = open(withIndex, bitmap);
    const auto alone = open(without);
    ASSERT_TRUE(tree && walked && alone);
    EXPECT_EQ(tree->walk(), archive::Walk::IndexTree);
    EXPECT_EQ(walked->walk(), archive::Walk::AllocationBitmap);
    EXPECT_EQ(alone->walk(), archive::Walk::AllocationBitmap);
    EXPECT_EQ(alone->indexPath(), "");
    EXPECT_EQ(dump(*tree), dump(*walked));
    EXPECT_EQ(dump(*tree), dump(*alone));
    EXPECT_GT(tree->messageCount(), 300u);

    // Contact order: UINs ascending, times within a UIN not falling.
    std::pair<uint32_t, int64_t> last{0, 0};
    uint64_t count = 0;
    tree->forEachMessageByContact([&](const archive::Message& m) {
        EXPECT_TRUE(m.uin > last.first || (m.uin == last.first && m.time >= last.second));
        last = {m.uin, m.time};
        ++count;
        return true;
    });
    EXPECT_EQ(count, tree->messageCount());
}

INSTANTIATE_TEST_SUITE_P(Seeds, Walks, ::testing::Values(1u, 2u));

TEST(Database, ADamagedIndexFallsBackToTheBitmapWithAWarning) {
    TempDir dir;
    const std::string path =
        write(dir, "4711.dat", mkwin::realisticIcqDatabase(4711, 30, 50000, 3));
    std::string idx = testsupport::readFile(dir.file("4711.idx"));
    uint32_t root = 0;
    std::memcpy(&root, idx.data() + 12, 4);
    std::memcpy(idx.data() + root + 12, &root, 4); // the root is its own second child
    testsupport::writeFile(dir.file("4711.IDX"), idx);
    std::filesystem::remove(dir.file("4711.idx"));
    Settings bitmap;
    bitmap.useIndex = false;
    const auto db = open(path);
    const auto reference = open(path, bitmap);
    ASSERT_TRUE(db && reference);
    EXPECT_EQ(db->indexPath(), dir.file("4711.IDX"));
    EXPECT_EQ(db->walk(), archive::Walk::AllocationBitmap);
    char rootText[16];
    std::snprintf(rootText, sizeof rootText, "0x%x", root);
    ASSERT_FALSE(db->report().warnings.empty());
    EXPECT_EQ(db->report().warnings[0],
              dir.file("4711.IDX") + ": the node at " + rootText + " points at the node at " +
                  rootText +
                  " a second time (a loop in the tree); reading the data file's allocation "
                  "bitmap instead");
    EXPECT_EQ(dump(*db, false), dump(*reference, false));
}

TEST(Database, ADamagedMessageIsReportedWithItsPlaceAndTheRestIsRead) {
    TempDir dir;
    mkwin::IcqDatabaseContent content = handmade();
    std::vector<mkwin::IcqEntryPlace> places;
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(dir.file("1.dat"), content, error, &places)) << error;
    std::string dat = testsupport::readFile(dir.file("1.dat"));
    const mkwin::IcqEntryPlace& first = places[places.size() - content.messages.size()];
    dat[first.offset + 0x28] = '\x84';
    dat[first.offset + 0x29] = '\x03'; // text length 900
    testsupport::writeFile(dir.file("1.dat"), dat);
    const auto db = open(dir.file("1.dat"));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->messageCount(), 11u);
    EXPECT_EQ(db->report().entries.at({"message", "unreadable"}), 1u);
    char place[64];
    std::snprintf(place, sizeof place, "entry %u at offset 0x%x: ", first.id, first.offset);
    EXPECT_NE(std::find(db->report().warnings.begin(), db->report().warnings.end(),
                        std::string(place) +
                            "text at 0x28: length 900 past the end of the entry (" +
                            std::to_string(first.size - 0x2A) + " bytes left)"),
              db->report().warnings.end());
}

TEST(Database, TextsAreDecodedFromTheChosenCodePage) {
    TempDir dir;
    mkwin::IcqDatabaseContent content;
    content.ownerUin = 777777;
    content.ownerNickName = "\xC8\xE2\xE0\xED"; // Иван in CP1251
    content.contacts = {record(123456, mkwin::IcqContactStatus::OnList, 1000, "\xCF\xE5\xF2\xFF")};
    content.messages = {message(123456, false, 1, kT, "\xCF\xF0\xE8\xE2\xE5\xF2")};
    const std::string path = write(dir, "777777.dat", content);
    Settings cyrillic;
    cyrillic.codepage = "CP1251";
    const auto db = open(path, cyrillic);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->owner().nickName, "Иван");
    EXPECT_EQ(db->contacts().at(0).nickName, "Петя");
    std::string text;
    db->forEachMessage([&](const archive::Message& m) {
        text = m.text;
        return false;
    });
    EXPECT_EQ(text, "Привет");
    EXPECT_EQ(open(path)->owner().nickName, "Èâàí");
}

struct Refusal {
    const char* label;
    std::vector<std::pair<std::string, std::string>> files; ///< name, bytes
    std::string open;  ///< the path opened, relative to the folder
    std::string error; ///< after "<folder>/<open>: "
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.label;
}

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, SayWhatWasFound) {
    TempDir dir;
    for (const auto& [name, bytes] : GetParam().files) {
        testsupport::writeFile(dir.file(name), bytes);
    }
    std::filesystem::create_directories(dir.file("empty"));
    const std::string path = dir.file(GetParam().open);
    std::string error;
    EXPECT_FALSE(Database::open(path, Settings(), error));
    EXPECT_EQ(error, path + ": " + GetParam().error);
}

const std::string kLater =
    "which this reader cannot read (it reads the <UIN>.dat of ICQ 99a to 2003a)";
const std::string k2003b = "f/Messages12345.dbf";

const Refusal kRefusals[] = {
    {"2003b folder",
     {{"f/Messages12345.dbf", "\x03"}, {"f/Users12345.dbf", "\x03"}, {"f/O12345.dbf", "\x03"}},
     "f",
     "a database of ICQ 2003b or later (Messages12345.dbf, O12345.dbf, Users12345.dbf), " + kLater},
    {"no .dat beside 2003b tables",
     {{"f/Messages12345.dbf", "\x03"}},
     "f/12345.dat",
     "a database of ICQ 2003b or later (Messages12345.dbf), " + kLater},
    {"a 2003b table",
     {{"f/Users12345.dbf", "\x03"}},
     "f/Users12345.dbf",
     "a database of ICQ 2003b or later (Users12345.dbf), " + kLater},
    {"ICQ 7",
     {{"f/Messages.qdb", "SQLite format 3"}},
     "f",
     "a database of ICQ 7 or later (Messages.qdb), " + kLater},
    {"SQLite named .dat",
     {{"1.dat", std::string("SQLite format 3\0rest", 20)}},
     "1.dat",
     "a database of ICQ 7 or later (an SQLite file like Messages.qdb), " + kLater},
    {"missing", {}, "2.dat", "cannot open the file (No such file or directory)"},
    {"a folder", {}, "empty", "cannot open the file (a folder)"},
    {"empty",
     {{"3.dat", ""}},
     "3.dat",
     "not an ICQ database (the file has 0 bytes, fewer than its 8-byte header)"},
    {"garbage",
     {{"4.dat", "garbage! and more"}},
     "4.dat",
     "not an ICQ database (expected the header 04 00 00 00 08 00 00 00, found 67 61 72 62 61 67 "
     "65 21)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Refusals, ::testing::ValuesIn(kRefusals));

TEST(Database, GarbagePagesGiveAnEmptyArchiveWithAReport) {
    TempDir dir;
    testsupport::writeFile(dir.file("5.dat"),
                           std::string("\x04\0\0\0\x08\0\0\0", 8) + std::string(64205, 'x'));
    const auto db = open(dir.file("5.dat"));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->contacts().size(), 0u);
    EXPECT_EQ(db->messageCount(), 0u);
    EXPECT_EQ(db->version(), "unknown");
    EXPECT_EQ(db->report().warnings,
              (std::vector<std::string>{
                  dir.file("5.dat") +
                      ": data page at offset 0x8: not a data page header (expected 201, kind 0, "
                      "slot size 64; found 2021161080, 2021161080, 2021161080); its entries are "
                      "skipped",
                  dir.file("5.dat") + ": no owner entry (My Details, entry 1005)"}));

    std::string error;
    Settings unknown;
    unknown.codepage = "NO-SUCH-PAGE";
    EXPECT_FALSE(Database::open(dir.file("5.dat"), unknown, error));
    EXPECT_EQ(error, dir.file("5.dat") +
                         ": cannot decode its texts (iconv knows no code page \"NO-SUCH-PAGE\")");
}

// The bundled demo holds a history of every kind of message for its first owner.
TEST(Database, DemoInstallationHoldsAHistory) {
    const std::filesystem::path samples = std::filesystem::path(TOLVANE_SOURCE_DIR) / "samples";
    TempDir dir;
    std::string error;
    ASSERT_TRUE(mkwin::buildInstallation(
        nlohmann::json::parse(testsupport::readFile((samples / "demo.json").string())), dir.path(),
        error))
        << error;
    const auto db = open(dir.file("Program Files/ICQ/2000a/23456789.dat"));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->owner().nickName, "Rover");
    EXPECT_EQ(db->groups().at(0).name, "Vänner");
    EXPECT_GT(db->builds().count(319), 0u);
    EXPECT_GT(db->messageCount(), 500u);
    std::set<MessageKind> kinds;
    std::set<uint32_t> senders;
    bool sameSecond = false;
    archive::Message last;
    db->forEachMessageByContact([&](const archive::Message& m) {
        kinds.insert(m.kind);
        senders.insert(m.uin);
        sameSecond =
            sameSecond || (m.uin == last.uin && m.time == last.time && m.text != last.text);
        last = m;
        return true;
    });
    EXPECT_TRUE(sameSecond);
    for (const MessageKind kind : {MessageKind::Message, MessageKind::Url, MessageKind::Added,
                                   MessageKind::AuthorisationRequest, MessageKind::Contacts}) {
        EXPECT_EQ(kinds.count(kind), 1u) << static_cast<int>(kind);
    }
    const auto stranger = std::find_if(db->contacts().begin(), db->contacts().end(),
                                       [](const archive::Contact& c) { return c.uin == 31337000; });
    ASSERT_NE(stranger, db->contacts().end());
    EXPECT_FALSE(stranger->hasRecord);
    EXPECT_EQ(senders.count(31337000), 1u);
}

} // namespace
