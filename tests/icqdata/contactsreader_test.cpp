#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include "icqdb.h"
#include "support/tempdir.h"

#include <cstdio>
#include <functional>
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
using mkwin::appendIntProperty;
using mkwin::appendTextProperty;
using mkwin::IcqExpectedContact;
using Contact = CcontactsReader::contactStruct;

constexpr uint32_t kOwner = 4711;

void fillPlaceholders(Contact& c) {
    std::snprintf(c.firstName, sizeof c.firstName, "FirstName");
    std::snprintf(c.lastName, sizeof c.lastName, "LastName");
    std::snprintf(c.myDefinedHandle, sizeof c.myDefinedHandle, "MyDefinedHandle");
    std::snprintf(c.nickName, sizeof c.nickName, "NickName");
    std::snprintf(c.primaryEmail, sizeof c.primaryEmail, "PrimaryEmail");
    c.uin = -111;
}

IcqExpectedContact toExpected(const Contact& c) {
    IcqExpectedContact e;
    e.uin = c.uin;
    e.firstName = c.firstName;
    e.lastName = c.lastName;
    e.myDefinedHandle = c.myDefinedHandle;
    e.nickName = c.nickName;
    e.primaryEmail = c.primaryEmail;
    return e;
}

std::string le32(uint32_t v) {
    std::string out;
    mkwin::appendLe32(out, v);
    return out;
}

// Bare properties as the reader sees them: name, NUL, type, value (no name length).
std::string text(const std::string& name, const std::string& value) {
    return name + "\0k"s + static_cast<char>(value.size() + 1) + "\0"s + value + "\0"s;
}
std::string integer(const std::string& name, uint32_t value) {
    return name + "\0i"s + le32(value);
}

IcqExpectedContact named(int32_t uin, const std::string& nick) {
    IcqExpectedContact c;
    c.uin = uin;
    c.nickName = nick;
    return c;
}

IcqExpectedContact with(IcqExpectedContact c, std::string IcqExpectedContact::*field,
                        const std::string& value) {
    c.*field = value;
    return c;
}

// Reads every contact the way the contacts export does; keeps the reader for existUin checks.
struct Scan {
    std::vector<IcqExpectedContact> contacts;
    std::string output;
};

class ReaderTest : public ::testing::Test {
protected:
    Scan scanBytes(const std::string& bytes, const char* ownerText = "4711") {
        const std::string path = dir_.file("db.dat");
        testsupport::writeFile(path, bytes);
        return scanFile(path, ownerText);
    }

    Scan scanFile(const std::string& path, const char* ownerText) {
        reader_ = std::make_unique<CcontactsReader>(ownerText);
        CFileIO file;
        file.openFile(path.c_str(), 1);
        Scan scan;
        auto contact = std::make_unique<Contact>();
        fillPlaceholders(*contact);
        ::testing::internal::CaptureStdout();
        while (reader_->readContact(&file, contact.get()) == 1) {
            scan.contacts.push_back(toExpected(*contact));
            fillPlaceholders(*contact);
        }
        scan.output = ::testing::internal::GetCapturedStdout();
        return scan;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<CcontactsReader> reader_;
};

TEST_F(ReaderTest, ExampleBytesGiveOneContact) {
    // The first byte of the file is discarded.
    const Scan scan = scanBytes("\0"s + "NickName\0k\x05\0John\0"s + "UIN\0i\x39\x30\0\0"s);
    EXPECT_EQ(scan.contacts, std::vector<IcqExpectedContact>{named(12345, "John")});
    EXPECT_EQ(scan.output, "\nown uin : 4711\n");
    EXPECT_TRUE(reader_->existUin(12345));
    EXPECT_FALSE(reader_->existUin(54321));
}

TEST_F(ReaderTest, EmptyOrUnopenedDatabase) {
    EXPECT_TRUE(scanBytes("").contacts.empty());
    EXPECT_TRUE(scanFile(dir_.file("missing.dat"), "4711").contacts.empty());
    CcontactsReader reader("1");
    Contact c{};
    EXPECT_EQ(reader.readContact(nullptr, &c), 0);
}

TEST(ContactsReader, IsKeyMatchesExactNamesOnly) {
    CcontactsReader reader("1");
    const std::pair<const char*, int> cases[] = {
        {"FirstName", 1}, {"LastName", 2},     {"MyDefinedHandle", 3},
        {"NickName", 4},  {"PrimaryEmail", 5}, {"UIN", 6},
        {"nickname", 0},  {"NickNames", 0},    {"UI", 0},
        {"", 0},          {"Uin", 0},          {"\tUIN", 0}};
    for (const auto& [name, key] : cases) {
        EXPECT_EQ(reader.IsKey(name), key) << name;
    }
    EXPECT_EQ(reader.IsKey(nullptr), 0);
}

struct ScanCase {
    const char* label;
    std::string bytes;
    std::vector<IcqExpectedContact> expected;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.label;
}

const std::string kJohn = text("NickName", "John");

std::vector<ScanCase> scanCases() {
    using E = IcqExpectedContact;
    return {
        {"noDiscardedLeadByte", kJohn + "\0"s + integer("UIN", 5), {}},
        {"handleAlone",
         "\0"s + text("MyDefinedHandle", "Boss") + "\0"s + integer("UIN", 5),
         {with(named(5, "NickName"), &E::myDefinedHandle, "Boss")}},
        {"uinMultipleOf256", "\0"s + kJohn + "UIN\0i\x00\x61\xBC\x00"s, {named(12345600, "John")}},
        {"uinHighBitIsNegative", "\0"s + kJohn + integer("UIN", 0xFFFFFFFE), {named(-2, "John")}},
        {"allFields",
         "\0"s + text("FirstName", "J\xFCrgen") + text("LastName", "M\xFCller") +
             text("MyDefinedHandle", "Uncle") + kJohn + text("PrimaryEmail", "j@web.de") +
             integer("UIN", 77),
         {E{77, "J\xFCrgen", "M\xFCller", "Uncle", "John", "j@web.de"}}},
        {"nulInsideTextAddsNothing",
         "\0"s + "NickName\0k\x06\0A\0BCD\0"s + integer("UIN", 9),
         {named(9, "ABCD")}},
        {"lengthByte80ScansTheText",
         "\0"s + "NickName\0k\x80\0"s + text("LastName", "Xy") + integer("UIN", 7),
         {with(named(7, ""), &E::lastName, "Xy")}},
        {"lengthByteFF", "\0"s + "NickName\0k\xFF\x01"s + integer("UIN", 8), {named(8, "")}},
        {"lengthByte01", "\0"s + "NickName\0k\x01\0"s + integer("UIN", 8), {named(8, "")}},
        {"lengthByte00", "\0"s + "NickName\0k\x00\0"s + integer("UIN", 8), {named(8, "")}},
        {"textUinDoesNotClose",
         "\0"s + kJohn + text("UIN", "12") + text("LastName", "Doe") + integer("UIN", 3),
         {with(named(3, "John"), &E::lastName, "Doe")}},
        {"textValueIsNotAName",
         "\0"s + text("NickName", "UIN") + "i1234\0"s + integer("UIN", 4),
         {named(4, "UIN")}},
        {"otherTypeIgnored", "\0"s + "NickName\0dJ\0"s + integer("UIN", 3), {}},
        {"integerNickDropped", "\0"s + integer("NickName", 65) + "\0"s + integer("UIN", 3), {}},
        {"nameMustStandAlone", "\0"s + "\x09NickName\0k\x05\0John\0"s + integer("UIN", 3), {}},
        {"ownerSkippedAndNamesReset",
         "\0"s + kJohn + integer("UIN", kOwner) + text("FirstName", "Ann") + integer("UIN", 5) +
             "\0"s + text("LastName", "Lee") + integer("UIN", 6) + "\0"s +
             text("NickName", "Carl") + integer("UIN", 7),
         {E{7, "Ann", "Lee", "MyDefinedHandle", "Carl", "PrimaryEmail"}}},
        {"repeatedUinOnce",
         "\0"s + kJohn + integer("UIN", 5) + "\0"s + text("MyDefinedHandle", "Again") +
             text("NickName", "Again") + integer("UIN", 5) + text("FirstName", "Zoe") +
             integer("UIN", 6) + "\0"s + text("NickName", "Carl") + integer("UIN", 6),
         {named(5, "John"), with(named(6, "Carl"), &E::firstName, "Zoe")}},
        {"byteAfterUinIsDiscarded",
         "\0"s + kJohn + integer("UIN", 1) + text("NickName", "Bo") + integer("UIN", 2),
         {named(1, "John")}},
    };
}

class ReaderScan : public ReaderTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ReaderScan, AnswersExpectedContacts) {
    EXPECT_EQ(scanBytes(GetParam().bytes).contacts, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ReaderScan, ::testing::ValuesIn(scanCases()),
                         [](const auto& info) { return std::string(info.param.label); });

struct Truncation {
    const char* label;
    std::string contact; // one complete contact; every shorter prefix must give none
};

void PrintTo(const Truncation& t, std::ostream* os) {
    *os << t.label;
}

std::vector<Truncation> truncations() {
    const auto framed = [](const std::function<void(std::string&)>& build) {
        std::string out = "\0"s;
        build(out);
        return out;
    };
    return {
        {"textThenInteger", framed([](std::string& o) {
             appendTextProperty(o, "NickName", "John");
             appendIntProperty(o, "UIN", 12345);
         })},
        {"allTexts", framed([](std::string& o) {
             for (const char* name :
                  {"FirstName", "LastName", "MyDefinedHandle", "NickName", "PrimaryEmail"}) {
                 appendTextProperty(o, name, "value");
             }
             appendIntProperty(o, "UIN", 0x01020304);
         })},
        {"negativeLength", framed([](std::string& o) {
             mkwin::appendTextPropertyWithLength(o, "NickName", 0x0090, "");
             appendIntProperty(o, "UIN", 7);
         })},
        {"textUinThenInteger", framed([](std::string& o) {
             appendTextProperty(o, "NickName", "Al");
             appendTextProperty(o, "UIN", "99");
             appendIntProperty(o, "UIN", 7);
         })},
        {"ignoredTypes", framed([](std::string& o) {
             appendTextProperty(o, "NickName", "Al");
             mkwin::appendByteProperty(o, "LastName", 'd', 1);
             mkwin::appendDwordProperty(o, "UIN", 5);
             appendIntProperty(o, "FirstName", 6);
             appendIntProperty(o, "UIN", 7);
         })},
    };
}

class ReaderTruncation : public ReaderTest, public ::testing::WithParamInterface<Truncation> {};

TEST_P(ReaderTruncation, EndOfFileAnywhereGivesNoContact) {
    const std::string& full = GetParam().contact;
    for (size_t cut = 0; cut < full.size(); ++cut) {
        EXPECT_TRUE(scanBytes(full.substr(0, cut)).contacts.empty()) << "cut at " << cut;
    }
    EXPECT_EQ(scanBytes(full).contacts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Values, ReaderTruncation, ::testing::ValuesIn(truncations()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ReaderTest, LongRunsArePassedOver) {
    for (const size_t length : {1020, 1021, 1022, 1023, 1024, 1025, 2047, 100000}) {
        SCOPED_TRACE(length);
        // A long run that ends in "UIN" is no UIN; the contact closes at the real one.
        const std::string bytes = "\0"s + kJohn + std::string(length - 3, 'x') + "UIN\0i"s +
                                  le32(5) + "\0"s + integer("UIN", 6);
        EXPECT_EQ(scanBytes(bytes).contacts, std::vector<IcqExpectedContact>{named(6, "John")});
    }
}

TEST_F(ReaderTest, OwnerTextIsCutAndReadAsLeadingNumber) {
    const std::string longOwner = "4711" + std::string(3000, 'z');
    const std::string bytes =
        "\0"s + kJohn + integer("UIN", kOwner) + text("NickName", "Bo") + integer("UIN", 8);
    const Scan scan = scanBytes(bytes, longOwner.c_str());
    EXPECT_EQ(scan.contacts, std::vector<IcqExpectedContact>{named(8, "Bo")});
    EXPECT_EQ(scan.output, "\nown uin : " + longOwner.substr(0, 1023) + "\n");

    const Scan crlf = scanBytes(bytes, "4711\r");
    EXPECT_EQ(crlf.contacts.size(), 1u);
    EXPECT_EQ(crlf.output, "\nown uin : 4711\r\n");
    // No leading number: 0 is the owner's UIN.
    EXPECT_TRUE(scanBytes("\0"s + kJohn + integer("UIN", 0), "abc").contacts.empty());
}

TEST_F(ReaderTest, ExistUinStopsAtARecordedMinus111) {
    std::string bytes;
    for (const uint32_t uin : {5u, 0xFFFFFF91u, 6u, 5u, 6u, 0xFFFFFF91u}) {
        bytes += "\0"s + kJohn + integer("UIN", uin);
    }
    const Scan scan = scanBytes(bytes);
    std::vector<int32_t> uins;
    for (const auto& c : scan.contacts) {
        uins.push_back(c.uin);
    }
    EXPECT_EQ(uins, (std::vector<int32_t>{5, -111, 6, 6, -111}));
    EXPECT_TRUE(reader_->existUin(5));
    EXPECT_FALSE(reader_->existUin(6));
    EXPECT_FALSE(reader_->existUin(-111));
}

TEST_F(ReaderTest, ThousandsOfContactsAreAnsweredOnceEach) {
    mkwin::IcqDatabaseContent content;
    content.ownerUin = kOwner;
    for (int round = 0; round < 2; ++round) {
        for (uint32_t i = 0; i < 2000; ++i) {
            mkwin::IcqContactRecord c;
            c.uin = round == 0 ? 100000 + i : 100000 + (i * 7) % 2000;
            c.nickName = "n" + std::to_string(c.uin) + (round == 0 ? "" : "again");
            content.contacts.push_back(c);
        }
    }
    const std::string path = dir_.file("many.dat");
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(path, content, error)) << error;
    const Scan scan = scanFile(path, "4711");
    ASSERT_EQ(scan.contacts.size(), 2000u);
    for (uint32_t i = 0; i < 2000; ++i) {
        EXPECT_EQ(scan.contacts[i].uin, static_cast<int32_t>(100000 + i));
        EXPECT_EQ(scan.contacts[i].nickName, "n" + std::to_string(100000 + i));
    }
    EXPECT_TRUE(reader_->existUin(101999));
}

TEST_F(ReaderTest, LongNamesFollowTheirFirstLengthByte) {
    mkwin::IcqDatabaseContent content;
    content.ownerUin = kOwner;
    content.ownerRecordIndex = 1;
    for (const size_t length : {126, 127, 200, 254, 255, 256, 300, 1000}) {
        mkwin::IcqContactRecord c;
        c.uin = static_cast<uint32_t>(length);
        c.nickName = std::string(length, 'n');
        c.myDefinedHandle = std::string(length, 'h');
        content.contacts.push_back(c);
    }
    const std::string path = dir_.file("long.dat");
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(path, content, error)) << error;
    const Scan scan = scanFile(path, "4711");
    EXPECT_EQ(scan.contacts, mkwin::expectedContacts(content));
    ASSERT_EQ(scan.contacts.size(), 8u);
    EXPECT_EQ(scan.contacts[0].nickName, std::string(126, 'n'));
    EXPECT_EQ(scan.contacts[1].nickName, "");
    EXPECT_EQ(scan.contacts[6].nickName, std::string(300 % 256, 'n'));
}

class RealisticDatabase : public ReaderTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RealisticDatabase, ReadsBackExactlyTheExpectedContacts) {
    const mkwin::IcqDatabaseContent content =
        mkwin::realisticIcqDatabase(kOwner, 400, 2 * 1024 * 1024, GetParam());
    const std::string path = dir_.file("realistic.dat");
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(path, content, error)) << error;
    const std::vector<IcqExpectedContact> expected = mkwin::expectedContacts(content);
    const Scan scan = scanFile(path, "4711\r");
    EXPECT_EQ(scan.contacts, expected);

    // The rules that matter to users, checked apart from the expectation model.
    std::set<int32_t> uins;
    for (const auto& c : scan.contacts) {
        EXPECT_NE(c.uin, static_cast<int32_t>(kOwner));
        EXPECT_TRUE(uins.insert(c.uin).second) << c.uin;
    }
    EXPECT_GT(scan.contacts.size(), 350u);
    EXPECT_LE(scan.contacts.size(), 400u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RealisticDatabase, ::testing::Values(1u, 2u, 3u));

} // namespace
