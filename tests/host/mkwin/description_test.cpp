#include "description.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

using mkwin::parseDescription;
using nlohmann::json;

struct BadCase {
    const char* label;
    const char* description;
    const char* message;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.label;
}

class BadDescription : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadDescription, NamesThePathAndWhatWasExpected) {
    std::string error;
    EXPECT_FALSE(parseDescription(json::parse(GetParam().description), {}, error));
    EXPECT_EQ(error, GetParam().message);
}

// A description with one owner, into which each case puts its fault.
#define OWNER(fields) R"({"icq": {"owners": [{"uin": 1, "nickname": "A"}, {)" fields R"(}]}})"

const BadCase kBadCases[] = {
    {"not an object", "[]", "description: expected an object, found []"},
    {"unknown top key", R"({"layuot": "xp"})",
     "layuot: unknown key (expected one of layout, users, icqUser, codepage, registry, icq, "
     "extraValues, extraFiles)"},
    {"unknown layout", R"({"layout": "win95"})",
     R"(layout: expected one of "xp", "vista", "7", "nt", found "win95")"},
    {"user leaving the root", R"({"users": ["../evil"]})",
     R"(users[0]: expected a file or folder name (not empty, no "/" or "\", not ".."), found "../evil")"},
    {"user twice", R"({"users": ["Alice", "alice"]})", R"(users[1]: "alice" is listed twice)"},
    {"system profile", R"({"users": ["All Users"]})",
     R"(users[0]: "All Users" is a profile Windows keeps for itself)"},
    {"unknown icq user", R"({"users": ["Alice"], "icqUser": "Bob"})",
     R"(icqUser: expected one of the users, found "Bob")"},
    {"unknown code page", R"({"codepage": "KLINGON"})",
     R"(codepage: unknown code page "KLINGON" (expected an iconv name such as "CP1252"))"},
    {"unknown registry format", R"({"registry": "reg6"})",
     R"(registry: expected one of "hive", "reg4", "reg5", found "reg6")"},
    {"reg file leaving the root", R"({"registry": {"format": "reg4", "file": "C:\\..\\x.reg"}})",
     R"(registry.file: the path leaves the root with "..", found "C:\\..\\x.reg")"},
    {"icq folder on D:", R"({"icq": {"folder": "D:\\ICQ"}})",
     R"(icq.folder: expected a path on drive C:, found "D:\\ICQ")"},
    {"version as text", R"({"icq": {"version": "2000"}})",
     R"(icq.version: expected a whole number from -2147483648 to 4294967295, found "2000")"},
    {"uin not decimal", OWNER(R"("uin": "12x", "nickname": "B")"),
     R"(icq.owners[1].uin: expected a number or a decimal text from 0 to 4294967295, found "12x")"},
    {"uin missing", OWNER(R"("nickname": "B")"),
     "icq.owners[1].uin: missing (expected a number or a decimal text)"},
    {"nickname missing", OWNER(R"("uin": 2)"),
     "icq.owners[1].nickname: missing (expected a text, or null for none)"},
    {"nickname outside the code page", OWNER(R"("uin": 2, "nickname": "Дима")"),
     R"(icq.owners[1].nickname: U+0414 "Д" cannot be written in CP1252)"},
    {"owner file leaving the folder", OWNER(R"("uin": 2, "nickname": "B", "file": "../x.uin")"),
     R"(icq.owners[1].file: expected a file or folder name (not empty, no "/" or "\", not ".."), found "../x.uin")"},
    {"line end", OWNER(R"("uin": 2, "nickname": "B", "lineEnd": "cr")"),
     R"(icq.owners[1].lineEnd: expected one of "crlf", "lf", found "cr")"},
    {"database folder absolute",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"folder": "/tmp"})"),
     R"(icq.owners[1].database.folder: expected a file or folder name (not empty, no "/" or "\", not ".."), found "/tmp")"},
    {"too many generated contacts",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"generated": 1000000})"),
     "icq.owners[1].database.generated: expected a whole number from 0 to 100000, found 1000000"},
    {"contact status",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"contacts": [{"status": "blocked"}]})"),
     R"(icq.owners[1].database.contacts[0].status: expected one of "list", "awaiting", "removed", "ignored", found "blocked")"},
    {"ICQ 98 build", OWNER(R"("uin": 2, "nickname": "B", "database": {"build": 150})"),
     "icq.owners[1].database.build: expected a build number from 200 (ICQ 99a) to 65535, found "
     "150"},
    {"group without name",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"groups": [{"id": 1000}]})"),
     R"(icq.owners[1].database.groups[0]: expected an "id" and a "name")"},
    {"message without time",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"messages": [{"uin": 5}]})"),
     "icq.owners[1].database.messages[0].time: missing"},
    {"message time",
     OWNER(
         R"("uin": 2, "nickname": "B", "database": {"messages": [{"uin": 5, "time": "2002-13-01 00:00:00"}]})"),
     R"(icq.owners[1].database.messages[0].time: expected seconds since 1970 or a UTC time such as "2002-03-04 18:30:00", found "2002-13-01 00:00:00")"},
    {"message kind",
     OWNER(
         R"("uin": 2, "nickname": "B", "database": {"messages": [{"uin": 5, "time": 1, "kind": "chat"}]})"),
     R"(icq.owners[1].database.messages[0].kind: expected one of "message", "url", "authRequest", "authDenied", "authGranted", "systemRequest", "added", "webPager", "emailExpress", "contacts", "sms", found "chat")"},
    {"UTF-8 copy of a short message",
     OWNER(
         R"("uin": 2, "nickname": "B", "database": {"messages": [{"uin": 5, "time": 1, "utf8Only": true}]})"),
     R"(icq.owners[1].database.messages[0].utf8Only: only a long message keeps a UTF-8 copy (add "long": true))"},
    {"contact text with NUL",
     OWNER(R"("uin": 2, "nickname": "B", "database": {"contacts": [{"email": "a\u0000b"}]})"),
     R"(icq.owners[1].database.contacts[0].email: expected a text without NUL characters, found "a\u0000b")"},
    {"sound leaving the root",
     OWNER(R"("uin": 2, "nickname": "B", "sounds": {"ICQChat": "C:\\a\\..\\..\\b.wav"})"),
     R"(icq.owners[1].sounds.ICQChat: the path leaves the root with "..", found "C:\\a\\..\\..\\b.wav")"},
    {"extra value type",
     R"({"extraValues": [{"root": "HKCU", "key": "K", "type": "qword", "value": 1}]})",
     R"(extraValues[0].type: expected "sz", "expand_sz", "dword", "binary" or a type number, found "qword")"},
    {"extra value outside SOFTWARE",
     R"({"extraValues": [{"root": "HKLM", "key": "SYSTEM\\X", "type": "sz", "value": ""}]})",
     R"(extraValues[0].key: expected a key below SOFTWARE, found "SYSTEM\\X")"},
    {"extra file with text and hex",
     R"({"extraFiles": [{"path": "C:\\a.txt", "text": "x", "hex": "00"}]})",
     R"(extraFiles[0]: expected either "text" or "hex")"},
    {"extra file at the root itself", R"({"extraFiles": [{"path": "C:\\", "text": "x"}]})",
     R"(extraFiles[0].path: expected a file path such as "C:\\registry.reg", found "C:\\")"},
    {"REGEDIT4 text outside the code page",
     R"({"registry": "reg4", "extraValues": [{"root": "HKCU", "key": "K", "name": "n",
         "type": "sz", "value": "Дима"}]})",
     R"(extraValues[0]: U+0414 "Д" cannot be written in CP1252)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BadDescription, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(Description, DatabaseHoldsGroupsMessagesAndBuilds) {
    const json d = json::parse(R"({"icq": {"version": 2003, "owners": [{"uin": 7, "nickname": "A",
        "database": {"folder": "2002a", "index": false, "groups": [{"id": 1000, "name": "Família"}],
          "contacts": [{"uin": 12345, "status": "ignored", "build": 319, "moreEmails": ["a@b.c"]}],
          "messages": [
            {"uin": 12345, "direction": "out", "time": "2002-03-04 18:30:00", "text": "Grüß\r\ndich"},
            {"uin": 12345, "time": 5, "kind": "url", "text": "look", "url": "http://x.se"},
            {"uin": 12345, "time": 6, "kind": "added", "nickname": "Bo", "firstName": "Bö"},
            {"uin": 12345, "time": 7, "kind": "contacts", "contacts": [{"uin": 1, "nickname": "x"}]},
            {"uin": 12345, "time": 8, "long": true, "utf8Only": true, "text": "Дима", "deleted": true}
          ]}}]}})");
    std::string error;
    const auto inst = parseDescription(d, {}, error);
    ASSERT_TRUE(inst) << error;
    const mkwin::IcqDatabaseContent& db = inst->files.back().database;
    EXPECT_EQ(db.build, 533);
    EXPECT_FALSE(db.index);
    ASSERT_EQ(db.groups.size(), 1u);
    EXPECT_EQ(db.groups[0].name, "Fam\xEDlia");
    EXPECT_EQ(db.contacts.at(0).status, mkwin::IcqContactStatus::Ignored);
    EXPECT_EQ(db.contacts.at(0).build, 319);
    EXPECT_EQ(db.contacts.at(0).moreEmails, std::vector<std::string>{"a@b.c"});
    ASSERT_EQ(db.messages.size(), 5u);
    EXPECT_TRUE(db.messages[0].fields.sent);
    EXPECT_EQ(db.messages[0].fields.time, 1015266600u);
    EXPECT_EQ(db.messages[0].fields.text, "Gr\xFC\xDF\r\ndich");
    EXPECT_EQ(db.messages[1].fields.text, "look\xFEhttp://x.se");
    EXPECT_EQ(db.messages[2].fields.subtype, 12);
    EXPECT_EQ(db.messages[2].fields.text, "Bo\xFE"
                                          "B\xF6\xFE\xFE\xFE"
                                          "1\xFE");
    EXPECT_EQ(db.messages[3].fields.text, "1\xFE"
                                          "1\xFEx\xFE");
    EXPECT_EQ(db.messages[4].fields.text, "");
    EXPECT_EQ(db.messages[4].fields.utf8, "Дима");
    EXPECT_TRUE(db.messages[4].fields.deleted);
}

TEST(Description, TextOutsideTheCodePageIsFineInVersion5Exports) {
    const json d = json::parse(R"({"registry": "reg5", "extraValues": [{"root": "HKCU",
        "key": "K", "name": "n", "type": "sz", "value": "Дима"}]})");
    std::string error;
    EXPECT_TRUE(parseDescription(d, {}, error)) << error;
}

} // namespace
