#include "icqdb.h"

#include "support/tempdir.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mkwin {
void PrintTo(const IcqExpectedContact& c, std::ostream* os) {
    *os << "{" << c.uin << " '" << c.nickName << "' '" << c.myDefinedHandle << "' '" << c.firstName
        << "' '" << c.lastName << "' '" << c.primaryEmail << "'}";
}
} // namespace mkwin

namespace {

using namespace std::string_literals;
using namespace mkwin;

uint32_t le(const std::string& bytes, size_t at, int width = 4) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
    }
    return v;
}

bool allocated(const std::string& file, size_t page, uint32_t slot) {
    return (static_cast<unsigned char>(file.at(page + 0x50 + slot / 8)) & (0x80 >> (slot % 8))) !=
           0;
}

TEST(IcqDb, PropertyEncodings) {
    const std::pair<std::function<void(std::string&)>, std::string> cases[] = {
        {[](std::string& o) { appendTextProperty(o, "NickName", "John"); },
         "\x09\0NickName\0k\x05\0John\0"s},
        {[](std::string& o) { appendTextPropertyWithLength(o, "NickName", 0x0180, "Jo"); },
         "\x09\0NickName\0k\x80\x01Jo\0"s},
        {[](std::string& o) { appendIntProperty(o, "UIN", 12345600); },
         "\x04\0UIN\0i\x00\x61\xBC\x00"s},
        {[](std::string& o) { appendByteProperty(o, "Gender", 'd', 2); }, "\x07\0Gender\0d\x02"s},
        {[](std::string& o) { appendWordProperty(o, "Age", 'f', 0x1234); },
         "\x04\0Age\0f\x34\x12"s},
        {[](std::string& o) { appendDwordProperty(o, "IP", 0x0A000001); },
         "\x03\0IP\0h\x01\0\0\x0A"s},
        {[](std::string& o) { appendBlobProperty(o, "Pic", "\xFF\0"s); },
         "\x04\0Pic\0o\x02\0\0\0\xFF\0"s},
        {[](std::string& o) { appendListProperty(o, "L", "ab"); }, "\x02\0L\0m\x02\0\0\0ab"s},
        {[](std::string& o) { appendRecord(o, 7, 9, "sig", "BODY"); },
         "\x1C\0\0\0\x07\0\0\0\x09\0\0\0sig"s + std::string(13, '\0') + "BODY"},
    };
    for (const auto& [encode, expected] : cases) {
        std::string out = "prefix";
        encode(out);
        EXPECT_EQ(out, "prefix" + expected);
    }
}

IcqContactRecord contact(uint32_t uin, const std::string& nick, unsigned present) {
    IcqContactRecord c;
    c.uin = uin;
    c.nickName = nick;
    c.firstName = "F" + nick;
    c.lastName = "L" + nick;
    c.myDefinedHandle = "H" + nick;
    c.primaryEmail = nick + "@example.com";
    c.present = present;
    return c;
}

IcqExpectedContact expected(int32_t uin, const std::string& first, const std::string& last,
                            const std::string& handle, const std::string& nick,
                            const std::string& email) {
    return IcqExpectedContact{uin, first, last, handle, nick, email};
}

// Owner between records, a nameless record, a repeat, the owner's own UIN, long nicknames.
IcqDatabaseContent handmadeDatabase() {
    IcqDatabaseContent content;
    content.ownerUin = 4711;
    content.ownerNickName = "Me";
    content.ownerFirstName = "Own";
    content.ownerLastName = "Er";
    content.ownerEmail = "me@example.com";
    content.ownerRecordIndex = 2;
    content.historyBytes = 20000;
    content.seed = 9;
    content.contacts = {
        contact(10, "a", kIcqAllProperties),
        contact(11, "b", kIcqFirstName | kIcqUin),
        contact(12, "c", kIcqNickName | kIcqUin),
        contact(10, "a2", kIcqAllProperties),
        contact(4711, "self", kIcqAllProperties),
        contact(13, "e", kIcqMyDefinedHandle | kIcqFirstName | kIcqUin),
        contact(14, std::string(200, 'f'), kIcqNickName | kIcqUin),
        contact(15, std::string(300, 'g'), kIcqNickName | kIcqUin),
        contact(16, "h", kIcqNickName),
        contact(17, "i", kIcqUin),
    };
    content.contacts[1].status = IcqContactStatus::Removed;
    return content;
}

TEST(IcqDb, ExpectedContactsFollowTheReaderRules) {
    const std::vector<IcqExpectedContact> want = {
        expected(10, "Fa", "La", "Ha", "a", "a@example.com"),
        // The nameless record's first name is overwritten by the owner's record before it.
        expected(12, "Own", "Er", "MyDefinedHandle", "c", "me@example.com"),
        // The owner's own UIN answers nothing and resets the names, not the rest.
        expected(13, "Fe", "Lself", "He", "NickName", "self@example.com"),
        // 201 bytes with the NUL: the first length byte is negative, the name empty.
        expected(14, "FirstName", "LastName", "MyDefinedHandle", "", "PrimaryEmail"),
        // 301 = 0x12D: the reader takes the first 0x2D - 1 bytes.
        expected(15, "FirstName", "LastName", "MyDefinedHandle", std::string(44, 'g'),
                 "PrimaryEmail"),
        // A record without UIN leaves its name set for the next UIN.
        expected(17, "FirstName", "LastName", "MyDefinedHandle", "h", "PrimaryEmail"),
    };
    EXPECT_EQ(expectedContacts(handmadeDatabase()), want);
}

// Pages, bitmaps and the index tree as ICQ lays them out, checked apart from any reader.
TEST(IcqDb, FilesHaveTheDocumentedStructure) {
    IcqDatabaseContent content = realisticIcqDatabase(4711, 40, 150000, 2);
    std::string error;
    const auto made = icqDatabaseFiles(content, error);
    ASSERT_TRUE(made) << error;
    const IcqDatabaseFiles& files = *made;
    const std::string& dat = files.dat;
    const std::string& idx = files.idx;
    ASSERT_EQ((dat.size() - 8) % 64205, 0u);
    ASSERT_EQ((idx.size() - 20) % 20205, 0u);
    EXPECT_EQ(dat.substr(0, 8), std::string("\x04\0\0\0\x08\0\0\0", 8));

    // Every allocated slot belongs to exactly one live entry; leftovers lie in free slots.
    std::set<std::pair<size_t, uint32_t>> used;
    size_t leftovers = 0;
    for (const IcqEntryPlace& p : files.places) {
        const size_t page = 8 + (p.offset - 8) / 64205 * 64205;
        const uint32_t slot = (p.offset - page - 205) / 64;
        EXPECT_EQ((p.offset - page - 205) % 64, 0u);
        EXPECT_EQ(le(dat, p.offset) + 4, p.size);
        EXPECT_EQ(le(dat, p.offset + 8), p.id);
        EXPECT_LE(slot + (p.size + 63) / 64, 1000u) << "crosses its page";
        leftovers += !p.live;
        for (uint32_t s = slot; s < slot + (p.size + 63) / 64; ++s) {
            EXPECT_EQ(allocated(dat, page, s), p.live);
            if (p.live) {
                used.insert({page, s});
            }
        }
    }
    EXPECT_GT(leftovers, 0u);
    size_t bits = 0;
    for (size_t page = 8; page < dat.size(); page += 64205) {
        EXPECT_EQ(le(dat, page), 201u);
        EXPECT_EQ(le(dat, page + 0x14), page + 64205 == dat.size() ? 0xFFFFFFFFu : page + 64205);
        EXPECT_EQ(le(dat, page + 0x1C), 64u);
        for (uint32_t s = 0; s < 1000; ++s) {
            bits += allocated(dat, page, s);
        }
    }
    EXPECT_EQ(bits, used.size());

    // A balanced 2-3 tree over the live IDs; leaves linked by next (all) and previous (live).
    EXPECT_EQ(le(idx, 0), 4u);
    EXPECT_EQ(le(idx, 4), 20u);
    EXPECT_EQ(le(idx, 8), 8u);
    EXPECT_EQ(le(idx, 16), 18u); // ICQ 2000b
    std::map<uint32_t, uint32_t> live;
    for (const IcqEntryPlace& p : files.places) {
        if (p.live) {
            live[p.id] = p.offset;
        }
    }
    std::map<uint32_t, uint32_t> reached;
    std::set<int> depths;
    std::function<void(uint32_t, int, int64_t, int64_t)> walk = [&](uint32_t node, int depth,
                                                                    int64_t low, int64_t high) {
        ASSERT_EQ((node - 20) % 20205 >= 205 && ((node - 20) % 20205 - 205) % 20 == 0, true);
        if (le(idx, node) == 0xFFFFFFFEu) {
            const uint32_t id = le(idx, node + 4);
            EXPECT_GE(id, low);
            EXPECT_LT(id, high);
            reached[id] = le(idx, node + 16);
            depths.insert(depth);
            return;
        }
        const int64_t key0 = le(idx, node);
        const bool three = le(idx, node + 16) != 0xFFFFFFFFu;
        const int64_t key1 = three ? le(idx, node + 4) : high;
        walk(le(idx, node + 8), depth + 1, low, key0);
        walk(le(idx, node + 12), depth + 1, key0, key1);
        if (three) {
            walk(le(idx, node + 16), depth + 1, key1, high);
        }
    };
    walk(le(idx, 12), 0, 0, int64_t{1} << 32);
    EXPECT_EQ(reached, live);
    EXPECT_EQ(depths.size(), 1u);
    // From the first leaf, next pointers pass every leaf once; previous ones skip the dead.
    std::vector<uint32_t> forward;
    uint32_t lastLive = 0xFFFFFFFFu;
    for (uint32_t leaf = 225; leaf != 0xFFFFFFFFu; leaf = le(idx, leaf + 8)) {
        const bool isLive = live.count(le(idx, leaf + 4)) != 0;
        EXPECT_EQ(le(idx, leaf + 12), lastLive);
        lastLive = isLive ? leaf : lastLive;
        forward.push_back(le(idx, leaf + 4));
    }
    EXPECT_EQ(forward.size(), files.places.size());
    EXPECT_TRUE(std::is_sorted(forward.begin(), forward.end()));
}

TEST(IcqDb, OwnerAndContactsKeepTheirBuildAndStatus) {
    IcqDatabaseContent content = handmadeDatabase();
    content.contacts[0].status = IcqContactStatus::Ignored;
    content.contacts[2].build = 319;
    content.contacts[3].status = IcqContactStatus::Awaiting;
    std::string error;
    const auto made = icqDatabaseFiles(content, error);
    ASSERT_TRUE(made) << error;
    const IcqDatabaseFiles& files = *made;
    std::vector<std::string> contacts;
    for (const IcqEntryPlace& p : files.places) {
        const std::string e = files.dat.substr(p.offset, p.size);
        if (e.substr(12, 16) == kIcqOwnerSignature) {
            EXPECT_EQ(p.id, 1005u);
            EXPECT_EQ(le(e, 0x1C, 2), 465u);
            EXPECT_EQ(e.substr(0x1E, 4), "USER");
            EXPECT_NE(e.find("\x09\0Password\0k"), std::string::npos);
        } else if (e.substr(12, 16) == kIcqContactSignature) {
            contacts.push_back(std::to_string(le(e, 4)) + " " + std::to_string(le(e, 0x1C, 2)) +
                               " " + std::to_string(le(e, 0x22)));
        }
    }
    EXPECT_EQ(contacts,
              (std::vector<std::string>{"2 465 12", "1 465 5", "1 319 2", "1 465 3", "1 465 2",
                                        "1 465 2", "1 465 2", "1 465 2", "1 465 2", "1 465 2"}));
}

TEST(IcqDb, FileAndMemoryGiveTheSameBytesForASeed) {
    testsupport::TempDir dir;
    IcqDatabaseContent content = realisticIcqDatabase(123456, 50, 3 * 1024 * 1024, 5);
    std::string error;
    ASSERT_TRUE(writeIcqDatabase(dir.file("a.dat"), content, error)) << error;
    const IcqDatabaseFiles files = *icqDatabaseFiles(content, error);
    const std::string bytes = files.dat;
    EXPECT_EQ(testsupport::readFile(dir.file("a.dat")), bytes);
    EXPECT_EQ(testsupport::readFile(dir.file("a.idx")), files.idx);
    EXPECT_EQ(icqDatabaseBytes(content, error), bytes);
    content.index = false;
    ASSERT_TRUE(writeIcqDatabase(dir.file("b.dat"), content, error)) << error;
    EXPECT_FALSE(std::ifstream(dir.file("b.idx")).good());
    content.seed = 6;
    EXPECT_NE(icqDatabaseBytes(content, error), bytes);
}

TEST(IcqDb, ErrorsNameFileAndCause) {
    testsupport::TempDir dir;
    IcqDatabaseContent content;
    content.contacts = {contact(7, "ok", kIcqAllProperties), contact(8, "n\0l"s, kIcqNickName)};
    std::string error;
    EXPECT_FALSE(writeIcqDatabase(dir.file("x.dat"), content, error));
    EXPECT_EQ(error, dir.file("x.dat") + ": contact record 1 (UIN 8): NickName holds a NUL byte");
    EXPECT_FALSE(icqDatabaseBytes(content, error));
    EXPECT_EQ(error, "contact record 1 (UIN 8): NickName holds a NUL byte");

    content.contacts.clear();
    content.ownerEmail = std::string(70000, 'x');
    EXPECT_FALSE(icqDatabaseBytes(content, error));
    EXPECT_EQ(error, "owner record: PrimaryEmail of 70000 bytes is longer than a text property "
                     "holds (65534)");

    EXPECT_FALSE(writeIcqDatabase(dir.file("no/such/dir.dat"), IcqDatabaseContent(), error));
    EXPECT_EQ(error,
              dir.file("no/such/dir.dat") + ": cannot create the file (No such file or directory)");

    content.ownerEmail.clear();
    content.messages.push_back(IcqMessage());
    content.messages[0].fields.text = std::string(65000, 'x');
    EXPECT_FALSE(icqDatabaseBytes(content, error));
    EXPECT_EQ(error, "entry 2004 of 65076 bytes does not fit a data page (64000)");
    content.messages[0].build = 150;
    EXPECT_FALSE(icqDatabaseBytes(content, error));
    EXPECT_EQ(error, "message 0: build 150 is ICQ 98, whose entries this writer cannot lay out "
                     "(expected 200 or more)");
}

TEST(IcqDb, RealisticDatabaseLooksLikeARealOne) {
    const IcqDatabaseContent content = realisticIcqDatabase(4711, 300, 0, 3);
    std::set<uint32_t> distinct;
    size_t onList = 0;
    size_t older = 0;
    std::set<uint32_t> statuses;
    size_t nameless = 0;
    size_t self = 0;
    std::set<uint32_t> named;
    for (const auto& c : content.contacts) {
        distinct.insert(c.uin);
        onList += c.status == IcqContactStatus::OnList;
        older += c.build == 319 || c.build == 301;
        statuses.insert(static_cast<uint32_t>(c.status));
        const bool hasName = (c.present & (kIcqNickName | kIcqMyDefinedHandle)) != 0;
        nameless += !hasName;
        if (hasName && c.uin != content.ownerUin) {
            named.insert(c.uin);
        }
        self += c.uin == content.ownerUin;
    }
    EXPECT_EQ(distinct.size(), 301u);
    EXPECT_EQ(self, 1u);
    EXPECT_GT(content.contacts.size(), 360u); // repeated records
    EXPECT_GT(onList, 60u);
    EXPECT_LT(onList, content.contacts.size() / 2);
    EXPECT_GT(nameless, 0u);
    EXPECT_GT(older, 20u);
    EXPECT_EQ(statuses, (std::set<uint32_t>{2, 3, 5, 12, 13}));
    EXPECT_LE(content.ownerRecordIndex, content.contacts.size() / 10);

    const auto answered = expectedContacts(content);
    std::set<int32_t> uins;
    for (const auto& c : answered) {
        EXPECT_NE(c.uin, 4711);
        EXPECT_TRUE(uins.insert(c.uin).second);
    }
    EXPECT_EQ(answered.size(), named.size());
}

} // namespace
