#include "icqdb.h"

#include "support/tempdir.h"

#include <algorithm>
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

constexpr uint32_t kFilingOwner = 1000;
constexpr uint32_t kFilingGroup = 1004;
constexpr uint32_t kFilingContact = 1006;
constexpr uint32_t kFilingMessage = 2000;

uint32_t le(const std::string& bytes, size_t at, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
    }
    return v;
}

struct Record {
    uint32_t filing;
    uint32_t entry;
    std::string body;
};

struct Property {
    std::string name;
    char type;
    std::string value; // for 'k' without the NUL
};

// Splits a database into its framed records, failing on any inconsistent length.
std::vector<Record> parseRecords(const std::string& db) {
    std::vector<Record> records;
    size_t at = 0;
    while (at < db.size()) {
        EXPECT_LE(at + 28, db.size());
        const uint32_t length = le(db, at, 4);
        EXPECT_GE(length, 24u);
        EXPECT_LE(at + 4 + length, db.size());
        records.push_back({le(db, at + 4, 4), le(db, at + 8, 4), db.substr(at + 28, length - 24)});
        at += 4 + length;
    }
    return records;
}

// Decodes a counted property list, checking every type's layout.
std::vector<Property> parseProperties(const std::string& body, size_t at) {
    const uint32_t count = le(body, at, 4);
    at += 4;
    std::vector<Property> props;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t nameLength = le(body, at, 2);
        Property p{body.substr(at + 2, nameLength - 1), body.at(at + 2 + nameLength), {}};
        EXPECT_EQ(body.at(at + 1 + nameLength), '\0');
        at += 3 + nameLength;
        size_t size = 0;
        switch (p.type) {
        case 'k':
            size = 2 + le(body, at, 2);
            EXPECT_EQ(body.at(at + size - 1), '\0') << p.name;
            p.value = body.substr(at + 2, size - 3);
            break;
        case 'i':
        case 'h':
            size = 4;
            p.value = body.substr(at, 4);
            break;
        case 'd':
        case 'e':
            size = 1;
            break;
        case 'f':
        case 'g':
            size = 2;
            break;
        case 'm':
        case 'o':
            size = 4 + le(body, at, 4);
            break;
        default:
            ADD_FAILURE() << "type " << p.type << " of " << p.name;
        }
        at += size;
        props.push_back(p);
    }
    EXPECT_EQ(at, body.size());
    return props;
}

std::map<std::string, Property> byName(const std::vector<Property>& props) {
    std::map<std::string, Property> out;
    for (const auto& p : props) {
        out[p.name] = p;
    }
    return out;
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

TEST(IcqDb, DatabaseHasTheDocumentedStructure) {
    const IcqDatabaseContent content = handmadeDatabase();
    std::string error;
    const std::optional<std::string> db = icqDatabaseBytes(content, error);
    ASSERT_TRUE(db) << error;
    const std::vector<Record> records = parseRecords(*db);

    std::vector<const Record*> contacts;
    std::vector<const Record*> owners;
    size_t groups = 0;
    size_t history = 0;
    uint32_t lastEntry = 0;
    for (const Record& r : records) {
        EXPECT_GT(r.entry, lastEntry);
        lastEntry = r.entry;
        if (r.filing == kFilingContact) {
            contacts.push_back(&r);
        } else if (r.filing == kFilingOwner) {
            EXPECT_EQ(contacts.size(), content.ownerRecordIndex);
            owners.push_back(&r);
        } else if (r.filing == kFilingGroup) {
            ++groups;
        } else if (r.filing == kFilingMessage) {
            history += 28 + r.body.size();
        }
    }
    EXPECT_EQ(groups, 4u);
    EXPECT_GE(history, content.historyBytes);
    EXPECT_LT(history, content.historyBytes + 1024);
    ASSERT_EQ(owners.size(), 1u);
    ASSERT_EQ(contacts.size(), content.contacts.size());

    const auto owner = byName(parseProperties(owners[0]->body, 0));
    EXPECT_EQ(le(owner.at("UIN").value, 0, 4), content.ownerUin);
    EXPECT_EQ(owner.at("NickName").value, "Me");
    EXPECT_GT(owner.at("About").value.size(), 255u);
    EXPECT_GT(owner.at("AwayMessage").value.size(), 127u);

    for (size_t i = 0; i < contacts.size(); ++i) {
        SCOPED_TRACE(i);
        const IcqContactRecord& c = content.contacts[i];
        const std::string& body = contacts[i]->body;
        EXPECT_EQ(le(body, 0, 4), static_cast<uint32_t>(c.status));
        EXPECT_EQ(le(body, 4, 4), c.group);
        const std::vector<Property> props = parseProperties(body, 8);
        EXPECT_TRUE(std::is_sorted(props.begin(), props.end(),
                                   [](const auto& a, const auto& b) { return a.name < b.name; }));
        const auto named = byName(props);
        EXPECT_EQ(named.count("NickName") == 1, (c.present & kIcqNickName) != 0);
        EXPECT_EQ(named.count("FirstName") == 1, (c.present & kIcqFirstName) != 0);
        if (c.present & kIcqNickName) {
            EXPECT_EQ(named.at("NickName").value, c.nickName);
        }
        if (c.present & kIcqUin) {
            EXPECT_EQ(named.at("UIN").type, 'i');
            EXPECT_EQ(le(named.at("UIN").value, 0, 4), c.uin);
        }
    }
}

TEST(IcqDb, FileAndMemoryGiveTheSameBytesForASeed) {
    testsupport::TempDir dir;
    IcqDatabaseContent content = realisticIcqDatabase(123456, 50, 3 * 1024 * 1024, 5);
    std::string error;
    ASSERT_TRUE(writeIcqDatabase(dir.file("a.dat"), content, error)) << error;
    const std::optional<std::string> bytes = icqDatabaseBytes(content, error);
    EXPECT_EQ(testsupport::readFile(dir.file("a.dat")), bytes);
    EXPECT_EQ(icqDatabaseBytes(content, error), bytes);
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
}

TEST(IcqDb, RealisticDatabaseLooksLikeARealOne) {
    const IcqDatabaseContent content = realisticIcqDatabase(4711, 300, 0, 3);
    std::set<uint32_t> distinct;
    size_t onList = 0;
    size_t nameless = 0;
    size_t self = 0;
    std::set<uint32_t> named;
    for (const auto& c : content.contacts) {
        distinct.insert(c.uin);
        onList += c.status == IcqContactStatus::OnList;
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
