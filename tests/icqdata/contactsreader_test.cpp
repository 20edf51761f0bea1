#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include "icqdb.h"
#include "support/tempdir.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

/// "uin|first|last|handle|nick|email", a placeholder shown as "-".
template <typename Contact> std::string show(const Contact& c) {
    const auto field = [](const std::string& value, const char* placeholder) {
        return value == placeholder ? "-" : value;
    };
    return std::to_string(c.uin) + "|" + field(c.firstName, "FirstName") + "|" +
           field(c.lastName, "LastName") + "|" + field(c.myDefinedHandle, "MyDefinedHandle") + "|" +
           field(c.nickName, "NickName") + "|" + field(c.primaryEmail, "PrimaryEmail");
}

// Bare properties as the reader sees them: name, NUL, type, value (no name length).
std::string text(const std::string& name, const std::string& value) {
    return name + "\0k"s + static_cast<char>(value.size() + 1) + "\0"s + value + "\0"s;
}
std::string integer(const std::string& name, uint32_t value) {
    std::string out = name + "\0i"s;
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>(value >> shift);
    }
    return out;
}
const std::string kJohn = text("NickName", "John");

// Reads every contact the way the contacts export does, placeholders refilled after each.
class ContactsReader : public ::testing::Test {
protected:
    Lines scan(const std::string& bytes, const char* owner = "4711") {
        testsupport::writeFile(dir.file("db.dat"), bytes);
        return scanFile(dir.file("db.dat"), owner);
    }
    Lines scanFile(const std::string& path, const char* owner) {
        reader = std::make_unique<CcontactsReader>(owner);
        CFileIO file;
        file.openFile(path.c_str(), 1);
        Lines contacts;
        auto c = std::make_unique<CcontactsReader::contactStruct>();
        const auto fill = [&] {
            std::snprintf(c->firstName, sizeof c->firstName, "FirstName");
            std::snprintf(c->lastName, sizeof c->lastName, "LastName");
            std::snprintf(c->myDefinedHandle, sizeof c->myDefinedHandle, "MyDefinedHandle");
            std::snprintf(c->nickName, sizeof c->nickName, "NickName");
            std::snprintf(c->primaryEmail, sizeof c->primaryEmail, "PrimaryEmail");
        };
        fill();
        ::testing::internal::CaptureStdout();
        while (reader->readContact(&file, c.get()) == 1) {
            contacts.push_back(show(*c));
            fill();
        }
        output = ::testing::internal::GetCapturedStdout();
        return contacts;
    }

    testsupport::TempDir dir;
    std::unique_ptr<CcontactsReader> reader;
    std::string output;
};

TEST_F(ContactsReader, ExampleBytesGiveOneContact) {
    // The first byte of the file is discarded.
    EXPECT_EQ(scan("\0"s + "NickName\0k\x05\0John\0"s + "UIN\0i\x39\x30\0\0"s),
              Lines{"12345|-|-|-|John|-"});
    EXPECT_EQ(output, "\nown uin : 4711\n");
    EXPECT_TRUE(reader->existUin(12345));
    EXPECT_FALSE(reader->existUin(54321));
    EXPECT_TRUE(scanFile(dir.file("missing.dat"), "4711").empty());
    CcontactsReader::contactStruct c{};
    EXPECT_EQ(reader->readContact(nullptr, &c), 0);
}

TEST_F(ContactsReader, ScansTheBytes) {
    struct Case {
        const char* label;
        std::string bytes;
        Lines expected;
    };
    const Case cases[] = {
        {"no discarded lead byte", kJohn + "\0"s + integer("UIN", 5), {}},
        {"handle alone",
         "\0"s + text("MyDefinedHandle", "Boss") + integer("UIN", 5),
         {"5|-|-|Boss|-|-"}},
        {"UIN a multiple of 256",
         "\0"s + kJohn + "UIN\0i\x00\x61\xBC\x00"s,
         {"12345600|-|-|-|John|-"}},
        {"UIN with the high bit", "\0"s + kJohn + integer("UIN", 0xFFFFFFFE), {"-2|-|-|-|John|-"}},
        {"all fields",
         "\0"s + text("FirstName", "J\xFCrgen") + text("LastName", "Lee") +
             text("MyDefinedHandle", "Uncle") + kJohn + text("PrimaryEmail", "j@web.de") +
             integer("UIN", 77),
         {"77|J\xFCrgen|Lee|Uncle|John|j@web.de"}},
        {"NUL inside a text",
         "\0"s + "NickName\0k\x06\0A\0BCD\0"s + integer("UIN", 9),
         {"9|-|-|-|ABCD|-"}},
        // A length byte from 0x80 up is negative: no text, the bytes after it are scanned.
        {"length byte 0x80",
         "\0"s + "NickName\0k\x80\0"s + text("LastName", "Xy") + integer("UIN", 7),
         {"7|-|Xy|-||-"}},
        {"length byte 0x00", "\0"s + "NickName\0k\x00\0"s + integer("UIN", 8), {"8|-|-|-||-"}},
        {"text UIN does not close",
         "\0"s + kJohn + text("UIN", "12") + integer("UIN", 3),
         {"3|-|-|-|John|-"}},
        {"a text value is no name",
         "\0"s + text("NickName", "UIN") + "i1234\0"s + integer("UIN", 4),
         {"4|-|-|-|UIN|-"}},
        {"other types ignored",
         "\0"s + "NickName\0dJ\0"s + integer("NickName", 65) + "\0"s + integer("UIN", 3),
         {}},
        {"name must stand alone", "\0"s + "\x09NickName\0k\x05\0John\0"s + integer("UIN", 3), {}},
        {"owner skipped, names reset",
         "\0"s + kJohn + integer("UIN", 4711) + text("FirstName", "Ann") + integer("UIN", 5) +
             "\0"s + text("LastName", "Lee") + integer("UIN", 6) + "\0"s +
             text("NickName", "Carl") + integer("UIN", 7),
         {"7|Ann|Lee|-|Carl|-"}},
        {"a repeated UIN once",
         "\0"s + kJohn + integer("UIN", 5) + "\0"s + text("NickName", "Again") + integer("UIN", 5) +
             text("FirstName", "Zoe") + integer("UIN", 6) + "\0"s + text("NickName", "Carl") +
             integer("UIN", 6),
         {"5|-|-|-|John|-", "6|Zoe|-|-|Carl|-"}},
        {"the byte after a UIN is discarded",
         "\0"s + kJohn + integer("UIN", 1) + text("NickName", "Bo") + integer("UIN", 2),
         {"1|-|-|-|John|-"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scan(c.bytes), c.expected) << c.label;
    }
}

TEST_F(ContactsReader, EndOfFileAnywhereGivesNoContact) {
    const std::string full = "\0"s + text("NickName", "Al") + "LastName\0d\x01"s +
                             text("UIN", "9") + integer("FirstName", 6) +
                             integer("UIN", 0x01020304);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        EXPECT_TRUE(scan(full.substr(0, cut)).empty()) << "cut at " << cut;
    }
    EXPECT_EQ(scan(full).size(), 1u);
}

TEST_F(ContactsReader, LongRunsArePassedOver) {
    for (const size_t length : {16, 1024, 100000}) {
        // A long run that ends in "UIN" is no UIN; the contact closes at the real one.
        const std::string bytes = "\0"s + kJohn + std::string(length - 3, 'x') + integer("UIN", 5) +
                                  "\0"s + integer("UIN", 6);
        EXPECT_EQ(scan(bytes), Lines{"6|-|-|-|John|-"}) << length;
    }
}

TEST_F(ContactsReader, OwnerTextIsReadAsItsLeadingNumber) {
    const std::string bytes =
        "\0"s + kJohn + integer("UIN", 4711) + text("NickName", "Bo") + integer("UIN", 8);
    EXPECT_EQ(scan(bytes, "4711\r"), Lines{"8|-|-|-|Bo|-"});
    EXPECT_EQ(output, "\nown uin : 4711\r\n");
    // No leading number: 0 is the owner's UIN.
    EXPECT_TRUE(scan("\0"s + kJohn + integer("UIN", 0), "abc").empty());
}

TEST_F(ContactsReader, ExistUinStopsAtARecordedMinus111) {
    std::string bytes;
    for (const uint32_t uin : {5u, 0xFFFFFF91u, 6u, 5u, 6u, 0xFFFFFF91u}) {
        bytes += "\0"s + kJohn + integer("UIN", uin);
    }
    EXPECT_EQ(scan(bytes), (Lines{"5|-|-|-|John|-", "-111|-|-|-|John|-", "6|-|-|-|John|-",
                                  "6|-|-|-|John|-", "-111|-|-|-|John|-"}));
    EXPECT_TRUE(reader->existUin(5));
    EXPECT_FALSE(reader->existUin(6));
    EXPECT_FALSE(reader->existUin(-111));
}

// The seen-UIN table has 1024 slots; UINs answered after it is full are remembered too.
TEST_F(ContactsReader, ThousandsOfContactsAreAnsweredOnceEach) {
    std::string bytes;
    for (int round = 0; round < 2; ++round) {
        for (uint32_t uin = 100000; uin < 101100; ++uin) {
            bytes += "\0"s + kJohn + integer("UIN", uin);
        }
    }
    const Lines contacts = scan(bytes);
    ASSERT_EQ(contacts.size(), 1100u);
    EXPECT_EQ(contacts.back(), "101099|-|-|-|John|-");
}

TEST_F(ContactsReader, RealisticDatabaseGivesTheExpectedContacts) {
    const mkwin::IcqDatabaseContent content =
        mkwin::realisticIcqDatabase(4711, 400, 2 * 1024 * 1024, 1);
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(dir.file("realistic.dat"), content, error)) << error;
    Lines expected;
    for (const auto& c : mkwin::expectedContacts(content)) {
        expected.push_back(show(c));
    }
    EXPECT_GT(expected.size(), 350u);
    EXPECT_EQ(scanFile(dir.file("realistic.dat"), "4711\r"), expected);
}

} // namespace
