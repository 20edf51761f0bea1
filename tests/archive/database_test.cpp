#include "archive/database.h"
#include "archive/details.h"

#include "archive/exportall.h"
#include "archive/names.h"
#include "icqdb.h"
#include "support/tempdir.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using archive::Database;
using archive::Settings;
using archive::Walk;
using testsupport::TempDir;
using testsupport::writeFile;

std::unique_ptr<Database> open(const std::string& path, const Settings& settings = {}) {
    std::string error;
    std::unique_ptr<Database> db = Database::open(path, settings, error);
    EXPECT_TRUE(db) << error;
    return db;
}

// Everything a database delivers but its warnings, as text; messages by contact.
std::string dump(const Database& db) {
    std::ostringstream out;
    const archive::Owner& o = db.owner();
    out << "owner " << o.uin << " " << o.nickName << "|" << o.firstName << "|" << o.lastName << "|"
        << o.email << "\n";
    for (const auto& g : db.groups()) {
        out << "group " << g.id << " " << g.name << "\n";
    }
    for (const auto& c : db.contacts()) {
        out << "contact " << c.uin << " " << archive::statusName(c.status) << " " << c.rawStatus
            << " " << c.groupId << " " << c.nickName << "|" << c.handle << "|" << c.firstName << "|"
            << c.lastName << "|" << c.hasRecord;
        for (const auto& e : c.emails) {
            out << " " << e;
        }
        out << "\n";
    }
    for (const auto& [key, count] : db.report().entries) {
        out << key.first << "/" << key.second << " " << count << "\n";
    }
    db.forEachMessageByContact([&](const archive::Message& m) {
        out << m.uin << " " << archive::directionName(m.direction) << " "
            << archive::kindName(m.kind) << " " << m.time << " " << m.text << "|" << m.url << "\n";
        return true;
    });
    return out.str();
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

    const unsigned all = mkwin::kIcqAllProperties;
    content.contacts = {
        {4711042,
         "J\xF6rg",
         "J\xF6rg",
         "",
         "",
         "old@web.de",
         {"j@web.de"},
         all,
         S::Removed,
         0,
         0,
         {{"HomeCity", "K\xF6ln"}, {"BirthYear", 1975}, {"BirthMonth", 4}, {"BirthDay", 12}}},
        {4711042,
         "Joe",
         "",
         "Wei\xDF",
         "J\xF6rg K",
         "j@web.de",
         {},
         all,
         S::OnList,
         1001,
         0,
         {{"HomeCity", "Bonn"},
          {"About", "Fr\xFChst\xFC"
                    "ck"},
          {"Gender", 2},
          {"HomeZip", ""},
          {"WorkCountry", -5},
          {"Password", "x"},
          {"HomeCity", "Bad Godesberg"}}},
        {5550123, "\xC5sa", "", "", "", "", {}, all, S::Awaiting, 3, 319},
        {6120934, "spam", "", "", "", "", {}, all, S::Ignored, 0},
        {7345012, "old", "", "", "", "", {}, all, static_cast<S>(13), 0, 250},
        {500, "tiny", "", "", "", "", {}, all, S::OnList, 1000}};

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
        message(6120934, false, 6, kT + 5, "spam\376Spam\376Bot\376spam@x.com\3761\376add me"),
        message(4711042, false, 12, kT + 6, "Joe\376J\366rg\376W\376\3761\376"),
        message(4711042, false, 19, kT + 7, "2\3765550123\376\305sa\3766120934\376spam\376"),
        longOne(505, "long one", "", ""),
        longOne(533, "", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "{\\rtf1 x}"),
        longOne(545, "", "", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}Gr\\'fc\\'dfe\\par}"),
        deleted,
        message(4711042, false, 26, kT + 13, "sms text"),
    };
    return content;
}

class Builds : public ::testing::TestWithParam<std::pair<uint16_t, const char*>> {};

// The same database as each version of ICQ writes it.
TEST_P(Builds, DeliverOwnerGroupsContactsAndEveryKindOfMessage) {
    const bool v99a = GetParam().first < 300;
    mkwin::IcqDatabaseContent content = handmade();
    content.build = GetParam().first;
    TempDir dir;
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(dir.file("1.dat"), content, error)) << error;
    Settings settings;
    settings.timeOffset = 3600;
    const auto db = open(dir.file("1.dat"), settings);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->walk(), Walk::IndexTree);
    EXPECT_EQ(db->version(), GetParam().second);
    // The record on the list wins; the removed one fills the first name and adds a mail.
    const std::string expected =
        "owner 23456789 Rover|Robert|Överby|rover@home.se\n" +
        std::string(v99a ? "" : "group 1000 Friends\ngroup 1001 Família\n") +
        "group 3 Awaiting authorization\n"
        "contact 4711042 on-list 2 1001 Joe|Jörg K|Jörg|Weiß|1 j@web.de old@web.de\n"
        "contact 5550123 awaiting-authorisation 3 3 Åsa||||1\n"
        "contact 6120934 ignored 12 0 spam||||1\n"
        "contact 7345012 other 13 0 old||||1\n"
        "contact/bad UIN 1\ncontact/merged with another record of its UIN 1\ncontact/read 4\n"
        "event folder/not exported 4\nfiling index/not exported 4\nlabel/not exported 2\n"
        "message/in the Deleted folder 1\nmessage/read 11\nnote/not exported 1\n"
        "owner/exported 1\nserver list/not exported 1\nsound scheme/not exported 1\n"
        "4711042 received message 1000003600 Hallo Jörg\r\nwie geht's?|\n"
        "4711042 sent message 1000003600 gut|\n"
        "4711042 received added 1000003606 Joe (Jörg W)|\n"
        "4711042 received contacts 1000003607 Åsa (5550123)\r\nspam (6120934)|\n"
        "4711042 sent message 1000003609 long one|\n"
        "4711042 sent message 1000003609 Привет|\n"
        "4711042 sent message 1000003609 Grüße|\n"
        "4711042 received sms 1000003613 sms text|\n"
        "5550123 received url 1000003603 look|http://example.com/å\n"
        "5550123 received url 1000003604 site|http://x.se\n"
        "6120934 received authorisation-request 1000003605 spam (Spam Bot) <spam@x.com>\r\n"
        "add me|\n";
    const std::string all = dump(*db);
    EXPECT_EQ(all, expected);
    // File order after the order by contact, and the order by contact again after it.
    std::vector<uint64_t> offsets;
    db->forEachMessage([&offsets](const archive::Message& m) {
        offsets.push_back(m.offset);
        return true;
    });
    EXPECT_EQ(offsets.size(), 11u);
    EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.end()));
    EXPECT_EQ(dump(*db), expected);
    Settings fewInMemory = settings;
    fewInMemory.referencesInMemory = 2;
    EXPECT_EQ(dump(*open(dir.file("1.dat"), fewInMemory)), expected);
    // What the contact filled in: the record on the list first, the removed one's birthday
    // after; nothing empty, nothing but details.
    const archive::Contact& joe = db->contacts().front();
    for (const auto& [name, value] : {std::pair{"HomeCity", "Bonn"},
                                      {"About", "Frühstück"},
                                      {"Gender", "2"},
                                      {"WorkCountry", "-5"},
                                      {"BirthYear", "1975"},
                                      {"HomeZip", ""},
                                      {"Password", ""}}) {
        EXPECT_EQ(archive::detailOf(joe, name), value) << name;
    }
    EXPECT_EQ(archive::birthday(joe) + " " + archive::birthday(joe, true), "1975-04-12 19750412");
    EXPECT_EQ(archive::genderName(joe), "male");
    std::set<std::string> names;
    for (const auto& detail : joe.details) {
        EXPECT_TRUE(names.insert(detail.first).second) << detail.first << " twice";
    }
    EXPECT_EQ(db->report().warnings.size(), v99a ? 2u : 1u);
    for (const char* end :
         {": UIN 500 is below 10000",
          v99a ? ": the groups of ICQ 99a's owner entry are not read" : "10000"}) {
        EXPECT_THAT(db->report().warnings, ::testing::Contains(::testing::EndsWith(end)));
    }
    EXPECT_EQ(all.find("s3cr3t"), std::string::npos);

    Settings cyrillic;
    cyrillic.codepage = "CP1251";
    EXPECT_EQ(open(dir.file("1.dat"), cyrillic)->owner().lastName, "Цverby");

    // Asked for, the message in the Deleted folder comes too, marked, and is no longer counted
    // as left out.
    settings.deletedFolder = true;
    const auto withDeleted = open(dir.file("1.dat"), settings);
    std::vector<std::string> marked;
    withDeleted->forEachMessage([&marked](const archive::Message& m) {
        if (m.inDeletedFolder) {
            marked.push_back(m.text);
        }
        return true;
    });
    EXPECT_EQ(marked, std::vector<std::string>{"gone"});
    EXPECT_EQ(withDeleted->messageCount(), db->messageCount() + 1);
    EXPECT_EQ(withDeleted->report().entries.count({"message", archive::kLeftInDeletedFolder}), 0u);
}

const std::pair<uint16_t, const char*> kVersions[] = {
    {250, "99a"}, {319, "99b"}, {465, "2000b"}, {505, "2003a"}, {545, "2003a"}};
INSTANTIATE_TEST_SUITE_P(Versions, Builds, ::testing::ValuesIn(kVersions));

constexpr uint32_t kPage = 64205;

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

void setLe32(std::string& bytes, size_t at, uint32_t v) {
    std::memcpy(bytes.data() + at, &v, 4);
}

std::string hex(uint64_t v) {
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

// A realistic database with a message of its own at the end, written after a test damaged it.
struct Files {
    Files() {
        mkwin::IcqDatabaseContent content = mkwin::realisticIcqDatabase(4711000, 60, 300000, 4);
        content.messages = {message(123456, false, 1, kT, "last")};
        std::string error;
        auto files = mkwin::icqDatabaseFiles(content, error);
        EXPECT_TRUE(files) << error;
        dat = files->dat;
        idx = files->idx;
        for (const mkwin::IcqEntryPlace& p : files->places) {
            (p.live ? live : dead).push_back(p);
        }
    }
    std::string write() const {
        writeFile(dir.file("1.dat"), dat);
        if (!idx.empty()) {
            writeFile(dir.file("1.IDX"), idx);
        }
        return dir.file("1.dat");
    }
    // The warning of a walk of the index tree that gave up.
    std::string fallback(const std::string& file, const std::string& problem) const {
        return dir.file(file) + ": " + problem +
               "; reading the data file's allocation bitmap instead";
    }

    // Marks the slots of the entry at `p` in its page's allocation bitmap as used.
    void allocate(const mkwin::IcqEntryPlace& p) {
        const size_t page = 8 + (p.offset - 8) / kPage * kPage;
        const uint32_t first = (p.offset - page - 205) / 64;
        for (uint32_t slot = first; slot < first + slots(p); ++slot) {
            dat[page + 0x50 + slot / 8] |= static_cast<char>(0x80 >> (slot % 8));
        }
    }
    static uint32_t slots(const mkwin::IcqEntryPlace& p) { return (p.size + 63) / 64; }
    // The index tree gives up when more slots are allocated than its entries cover (`grown`
    // more than the live entries, `allocated` more than that).
    std::string olderIndex(uint64_t allocated, uint64_t grown = 0) const {
        uint64_t covered = grown;
        for (const mkwin::IcqEntryPlace& p : live) {
            covered += slots(p);
        }
        return fallback("1.dat", "the index leads to entries in " + std::to_string(covered) +
                                     " slots, but " + std::to_string(covered + allocated) +
                                     " slots are allocated (the index is older than the data "
                                     "file)");
    }

    TempDir dir;
    std::string dat;
    std::string idx;
    std::vector<mkwin::IcqEntryPlace> live;
    std::vector<mkwin::IcqEntryPlace> dead;
};

struct Damage {
    const char* label;
    bool useIndex;
    Walk walk;                                 ///< what the damaged database is read by
    std::function<std::string(Files&)> damage; ///< answers the warning it causes, if any
    uint64_t withdrawn = 0; ///< messages handed over while opening that the file does not hold
};

const Damage kDamages[] = {
    {"no index", true, Walk::AllocationBitmap,
     [](Files& f) {
         f.idx.clear();
         return std::string();
     }},
    {"index loop", true, Walk::AllocationBitmap,
     [](Files& f) {
         const uint32_t root = le32(f.idx, 12);
         setLe32(f.idx, root + 12, root);
         return f.fallback("1.IDX", "the node at " + hex(root) + " points at the node at " +
                                        hex(root) + " a second time (a loop in the tree)");
     }},
    {"index pointer into a node", true, Walk::AllocationBitmap,
     [](Files& f) {
         const uint32_t root = le32(f.idx, 12);
         setLe32(f.idx, root + 8, root + 4);
         return f.fallback("1.IDX", "the node at " + hex(root) + " points at " + hex(root + 4) +
                                        ", which is not a node of the index (" +
                                        std::to_string(f.idx.size()) + " bytes)");
     }},
    {"not an index", true, Walk::AllocationBitmap,
     [](Files& f) {
         setLe32(f.idx, 4, 21);
         return f.fallback("1.IDX", "not an ICQ index (expected the header 4, 20, 8)");
     }},
    {"index leaf to another entry", true, Walk::AllocationBitmap,
     [](Files& f) {
         // The first leaf, of entry 0, is given the offset of another live entry.
         setLe32(f.idx, 20 + 205 + 16, f.live.back().offset);
         return f.fallback("1.dat", "the index leads to entry 0 at offset " +
                                        hex(f.live.back().offset) + ", which holds entry " +
                                        std::to_string(f.live.back().id));
     }},
    {"index older than the data", true, Walk::AllocationBitmap,
     [](Files& f) {
         // A deleted entry's slots allocated again, as if written after the index.
         f.allocate(f.dead.front());
         return f.olderIndex(Files::slots(f.dead.front()));
     }},
    {"index older than the data, and an entry grown over the last message", true,
     Walk::AllocationBitmap,
     [](Files& f) {
         // The entry before the last message claims its slots too: the index walk still
         // hands the message over before it gives up; the bitmap walk never meets it.
         const mkwin::IcqEntryPlace& last = f.live.back();
         const mkwin::IcqEntryPlace* before = nullptr;
         for (const mkwin::IcqEntryPlace& p : f.live) {
             if (p.offset < last.offset && (before == nullptr || p.offset > before->offset)) {
                 before = &p;
             }
         }
         mkwin::IcqEntryPlace grown = *before;
         grown.size = last.offset + last.size - before->offset;
         setLe32(f.dat, before->offset, grown.size - 4);
         uint64_t allocated = 0;
         for (const mkwin::IcqEntryPlace& p : f.dead) {
             f.allocate(p);
             allocated += Files::slots(p);
         }
         const uint64_t more = Files::slots(grown) - Files::slots(*before);
         return f.olderIndex(allocated - more, more);
     },
     1},
    {"message text past its entry", true, Walk::IndexTree,
     [](Files& f) {
         const mkwin::IcqEntryPlace& last = f.live.back();
         f.dat[last.offset + 0x28] = '\x84';
         f.dat[last.offset + 0x29] = '\x03'; // text length 900
         return "entry " + std::to_string(last.id) + " at offset " + hex(last.offset) +
                ": text at 0x28: length 900 past the end of the entry (" +
                std::to_string(last.size - 0x2A) + " bytes left)";
     }},
    {"entry longer than its page", false, Walk::AllocationBitmap,
     [](Files& f) {
         const mkwin::IcqEntryPlace& entry = f.live[20];
         setLe32(f.dat, entry.offset, 70000);
         return "entry at offset " + hex(entry.offset) +
                ": length 70000 past the end of its page (" +
                std::to_string(64000 - ((entry.offset - 8) % kPage - 205)) +
                " bytes left); the 2 allocated slots after it hold no entry";
     }},
    {"garbage page header", false, Walk::AllocationBitmap,
     [](Files& f) {
         setLe32(f.dat, 8 + kPage, 7);
         return f.dir.file("1.dat") +
                ": data page at offset 0xfad5: not a data page header (expected 201, kind 0, "
                "slot size 64; found 7, 0, 64); its entries are skipped";
     }},
    {"no owner entry", false, Walk::AllocationBitmap,
     [](Files& f) {
         for (const mkwin::IcqEntryPlace& p : f.live) {
             if (p.id == 1005) {
                 setLe32(f.dat, p.offset + 8, 1006);
             }
         }
         return f.dir.file("1.dat") + ": no owner entry (My Details, entry 1005)";
     }},
    {"file cut short", false, Walk::AllocationBitmap,
     [](Files& f) {
         const mkwin::IcqEntryPlace& cut = f.live[f.live.size() - 3];
         f.dat.resize(cut.offset + 10);
         return "entry at offset " + hex(cut.offset) + ": length " + std::to_string(cut.size - 4) +
                " past the end of the file (10 bytes left)";
     }},
};

// Whatever the damage, the database opens, says where, and gives what a walk of the
// allocation bitmap finds.
TEST(Database, DamageIsReportedAndTheRestIsRead) {
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.label);
        Files files;
        const std::string warning = d.damage(files);
        const std::string path = files.write();
        Settings settings;
        settings.useIndex = d.useIndex;
        const auto db = open(path, settings);
        ASSERT_TRUE(db);
        EXPECT_EQ(db->walk(), d.walk);
        if (!warning.empty()) {
            EXPECT_THAT(db->report().warnings, ::testing::Contains(warning));
        }
        EXPECT_GT(db->messageCount(), 300u);
        // Handed over while opening: the messages streaming gives, each once, also when a
        // stale index sends the walk back to the bitmaps halfway or at the end.
        std::vector<std::string> handed;
        std::vector<std::string> streamed;
        const auto into = [](std::vector<std::string>& lines) {
            return [&lines](const archive::Message& m) {
                lines.push_back(std::to_string(m.offset) + " " + std::to_string(m.time) + " " +
                                m.text + "|" + m.url);
                return true;
            };
        };
        // Most references and index leaves in temporary files, also the references gathered
        // before a walk gave up.
        Settings fewInMemory = settings;
        fewInMemory.referencesInMemory = 7;
        std::string error;
        const auto opened = Database::open(path, fewInMemory, error, {}, into(handed));
        opened->forEachMessage(into(streamed));
        EXPECT_EQ(opened->walk(), d.walk);
        EXPECT_EQ(opened->withdrawn(), d.withdrawn);
        std::sort(handed.begin(), handed.end());
        std::sort(streamed.begin(), streamed.end());
        EXPECT_TRUE(std::includes(handed.begin(), handed.end(), streamed.begin(), streamed.end()));
        EXPECT_EQ(handed.size(), streamed.size() + d.withdrawn);
        settings.useIndex = false;
        EXPECT_EQ(dump(*db), dump(*open(path, settings)));
    }
}

// A message whose entry changes on the disk after the database was opened is left out of the
// export, and report.txt says where and counts it.
TEST(Database, MessageChangedAfterOpeningIsCountedInTheReport) {
    Files files;
    const std::string path = files.write();
    const auto db = open(path);
    ASSERT_TRUE(db);
    const mkwin::IcqEntryPlace& last = files.live.back();
    std::filesystem::resize_file(path, last.offset + 10);
    archive::Archive archive;
    archive::fillArchive(*db, archive);
    const archive::ExportResult result = archive::exportAll(archive, files.dir.file("out"));
    EXPECT_EQ(result.messages, db->messageCount() - 1);
    const std::string report = testsupport::readFile(files.dir.file("out/report.txt"));
    EXPECT_THAT(report, ::testing::HasSubstr("       1  message: unreadable\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("  " + path + ": entry at offset " + hex(last.offset) +
                                             ": changed since the database was opened (cannot "
                                             "read it again)\n"));
}

// Where no temporary file can be made, the references past the limit stay in memory.
TEST(Database, WithoutATemporaryFolderTheReferencesStayInMemory) {
    Files files;
    const std::string path = files.write();
    const std::string missing = files.dir.file("gone");
    const char* const before = std::getenv("TMPDIR");
    const std::string kept = before != nullptr ? before : "";
    ::setenv("TMPDIR", missing.c_str(), 1);
    Settings settings;
    settings.referencesInMemory = 100;
    const auto db = open(path, settings);
    before != nullptr ? ::setenv("TMPDIR", kept.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(dump(*db), dump(*open(path)));
    EXPECT_GT(db->messageCount(), 300u);
}

TEST(Database, RefusalsSayWhatWasFound) {
    const std::string later =
        ", which this reader cannot read (it reads the <UIN>.dat of ICQ 99a to 2003a)";
    const struct {
        std::string file; ///< written with "bytes" unless empty
        std::string bytes;
        std::string open;  ///< the path opened, relative to the folder
        std::string error; ///< after "<folder>/<open>: "
        std::string codepage = "CP1252";
    } cases[] = {
        {"f/Messages.qdb", "SQLite format 3", "f",
         "a database of ICQ 7 or later (Messages.qdb)" + later},
        {"1.dat", std::string("SQLite format 3\0rest", 20), "1.dat",
         "a database of ICQ 7 or later (an SQLite file like Messages.qdb)" + later},
        {"", "", "", "cannot open the file (a folder)"},
        {"2.dat", "garbage! and more", "2.dat",
         "not an ICQ database (expected the header 04 00 00 00 08 00 00 00, found 67 61 72 62 61 "
         "67 65 21)"},
        {"3.dat", std::string("\x04\0\0\0\x08\0\0\0", 8), "3.dat",
         "cannot decode its texts (iconv knows no code page \"NO-SUCH-PAGE\")", "NO-SUCH-PAGE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        TempDir dir;
        if (!c.file.empty()) {
            writeFile(dir.file(c.file), c.bytes);
        }
        Settings settings;
        settings.codepage = c.codepage;
        std::string error;
        EXPECT_FALSE(Database::open(dir.file(c.open), settings, error));
        EXPECT_EQ(error, dir.file(c.open) + ": " + c.error);
    }
}

} // namespace
