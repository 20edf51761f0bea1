#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include "icqdb.h"
#include "support/tempdir.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::literals;
using Lines = std::vector<std::string>;

/// The bytes one of the sample builder's property writers appends.
template <typename... Args, typename... Given>
std::string prop(void (*append)(std::string&, Args...), Given... args) {
    std::string out;
    append(out, args...);
    return out;
}
std::string text(const char* name, std::string_view value) {
    return prop(mkwin::appendTextProperty, name, value);
}
std::string uin(uint32_t value) {
    return prop(mkwin::appendIntProperty, "UIN", value);
}
const std::string kJohn = text("NickName", "John");

// Reads every contact the way the contacts export does, the placeholders refilled before each,
// as "uin|first|last|handle|nick|email"; a placeholder shows as "-".
class ContactsReader : public ::testing::Test {
protected:
    Lines scan(const std::string& bytes, const char* owner = "4711") {
        testsupport::writeFile(dir.file("db.dat"), bytes);
        return scanFile(dir.file("db.dat"), owner);
    }
    Lines scanFile(const std::string& path, const char* owner) {
        CcontactsReader reader(owner);
        CFileIO file;
        file.openFile(path.c_str(), 1);
        Lines contacts;
        auto c = std::make_unique<CcontactsReader::contactStruct>();
        ::testing::internal::CaptureStdout();
        const std::pair<char*, const char*> fields[] = {{c->firstName, "FirstName"},
                                                        {c->lastName, "LastName"},
                                                        {c->myDefinedHandle, "MyDefinedHandle"},
                                                        {c->nickName, "NickName"},
                                                        {c->primaryEmail, "PrimaryEmail"}};
        for (;;) {
            for (const auto& [field, placeholder] : fields) {
                std::strcpy(field, placeholder);
            }
            if (reader.readContact(&file, c.get()) != 1) {
                break;
            }
            std::string line = std::to_string(c->uin);
            for (const auto& [field, placeholder] : fields) {
                line += "|" + std::string(std::strcmp(field, placeholder) == 0 ? "-" : field);
            }
            contacts.push_back(line);
        }
        output = ::testing::internal::GetCapturedStdout();
        return contacts;
    }

    testsupport::TempDir dir;
    std::string output;
};

TEST_F(ContactsReader, ScansTheBytes) {
    struct Case {
        const char* label;
        std::string bytes;
        Lines expected;
        const char* owner = "4711";
    };
    const Case cases[] = {
        // The first byte of the file, and the byte after each UIN, are discarded unread.
        {"discarded bytes",
         "\0NickName\0k\x05\0John\0UIN\0i\x39\x30\0\0"s + "NickName\0k\x03\0Bo\0"s + uin(7),
         {"12345|-|-|-|John|-"}},
        {"handle alone, UIN with the high bit",
         text("MyDefinedHandle", "Boss") + uin(0xFFFFFFFE),
         {"-2|-|-|Boss|-|-"}},
        {"all fields, UIN a multiple of 256",
         text("FirstName", "J\xFCrgen") + text("LastName", "Lee") +
             text("MyDefinedHandle", "Uncle") + kJohn + text("PrimaryEmail", "j@web.de") +
             uin(12345600),
         {"12345600|J\xFCrgen|Lee|Uncle|John|j@web.de"}},
        {"NUL inside a text", text("NickName", "A\0BCD"sv) + uin(9), {"9|-|-|-|ABCD|-"}},
        // A length byte from 0x80 up is negative: no text, the bytes after it are scanned.
        {"length byte 0x80",
         prop(mkwin::appendTextPropertyWithLength, "NickName", uint16_t{0x80}, "") +
             text("LastName", "Xy") + uin(7),
         {"7|-|Xy|-||-"}},
        {"text UIN does not close", kJohn + text("UIN", "12") + uin(3), {"3|-|-|-|John|-"}},
        {"a text value is no name", text("NickName", "UIN") + "i1234"s + uin(4), {"4|-|-|-|UIN|-"}},
        {"other types and longer runs are no names",
         prop(mkwin::appendByteProperty, "NickName", 'd', uint8_t{'J'}) +
             prop(mkwin::appendIntProperty, "NickName", 65u) + text("NickNames", "John") + uin(3),
         {}},
        // The owner's UIN is the leading number of its text (0 without one).
        {"owner skipped, names reset",
         kJohn + uin(4711) + text("FirstName", "Ann") + uin(5) + text("LastName", "Lee") + uin(6) +
             text("NickName", "Carl") + uin(7),
         {"7|Ann|Lee|-|Carl|-"},
         "4711\r"},
        {"owner text without a number", kJohn + uin(0), {}, "abc"},
        {"a repeated UIN once",
         kJohn + uin(5) + text("NickName", "Again") + uin(5) + text("FirstName", "Zoe") + uin(6) +
             text("NickName", "Carl") + uin(6),
         {"5|-|-|-|John|-", "6|Zoe|-|-|Carl|-"}},
        // A recorded -111 ends the seen UINs: those after it are answered again.
        {"-111 ends the seen UINs",
         kJohn + uin(5) + kJohn + uin(0xFFFFFF91u) + kJohn + uin(6) + kJohn + uin(5) + kJohn +
             uin(6),
         {"5|-|-|-|John|-", "-111|-|-|-|John|-", "6|-|-|-|John|-", "6|-|-|-|John|-"}},
        // A long run that ends in "UIN" is no UIN; the contact closes at the real one.
        {"a long run",
         kJohn + std::string(100, 'x') + "UIN\0i\5\0\0\0"s + uin(6),
         {"6|-|-|-|John|-"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scan(c.bytes, c.owner), c.expected) << c.label;
    }
    EXPECT_EQ(output, "\nown uin : 4711\n");
    EXPECT_TRUE(scanFile(dir.file("missing.dat"), "4711").empty());
}

// The seen-UIN table has 1024 slots; UINs answered after it is full are remembered too.
TEST_F(ContactsReader, ThousandsOfContactsAreAnsweredOnceEach) {
    std::string bytes;
    for (uint32_t i = 0; i < 2200; ++i) {
        bytes += kJohn + uin(100000 + i % 1100);
    }
    EXPECT_EQ(scan(bytes).size(), 1100u);
}

} // namespace
