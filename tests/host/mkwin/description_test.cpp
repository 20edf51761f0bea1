#include "description.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using mkwin::parseDescription;
using nlohmann::json;

// A description with one owner, into which a case puts its fault.
#define OWNER(fields) R"({"icq": {"owners": [{"uin": 1, "nickname": "A"}, {)" fields R"(}]}})"

// One case for each kind of message: the path of the value, what was expected, what was found.
TEST(Description, RefusalNamesThePathAndWhatWasExpected) {
    const struct {
        const char* description;
        const char* message;
    } cases[] = {
        {"[]", "description: expected an object, found []"},
        {R"({"layuot": "xp"})",
         "layuot: unknown key (expected one of layout, users, icqUser, codepage, registry, "
         "timeZone, icq, extraValues, extraFiles)"},
        {R"({"timeZone": {"standardName": "Västeuropa, normaltid"}})",
         R"(timeZone: expected an object with "key", such as "W. Europe Standard Time")"},
        {R"({"users": ["../evil"]})",
         R"(users[0]: expected a file or folder name (not empty, no "/" or "\", not ".."), found "../evil")"},
        {OWNER(R"("nickname": "B")"),
         "icq.owners[1].uin: missing (expected a number or a decimal text)"},
        {OWNER(R"("uin": 2, "nickname": "Дима")"),
         R"(icq.owners[1].nickname: U+0414 "Д" cannot be written in CP1252)"},
        {OWNER(R"("uin": 2, "nickname": "B", "database": {"generated": 1000000})"),
         "icq.owners[1].database.generated: expected a whole number from 0 to 100000, found "
         "1000000"},
        {R"({"extraFiles": [{"path": "C:\\a.txt", "text": "x", "hex": "00"}]})",
         R"(extraFiles[0]: expected either "text" or "hex")"},
        {R"({"extraFiles": [{"path": "C:\\a.bin", "hex": "01,g0"}]})",
         R"(extraFiles[0].hex: expected hex bytes such as "01,ff,7e", found "01,g0")"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseDescription(json::parse(c.description), {}, error)) << c.message;
        EXPECT_EQ(error, c.message);
    }
}

// A generated database lists its owner among the contacts, as people listed themselves: under
// the names the description gives the owner, not generated ones.
TEST(Description, GeneratedDatabaseListsTheOwnerByTheOwnersNames) {
    std::string error;
    const auto installation = parseDescription(
        json::parse(R"({"icq": {"owners": [{"uin": 4711, "nickname": "Rover", "firstName":
            "Robert", "lastName": "Överby", "email": "rover@home.se",
            "database": {"generated": 20}}]}})"),
        {}, error);
    ASSERT_TRUE(installation) << error;
    const mkwin::PlannedFile& file = installation->files.back();
    ASSERT_EQ(file.kind, mkwin::PlannedFile::Kind::Database);
    int listed = 0;
    for (const mkwin::IcqContactRecord& c : file.database.contacts) {
        if (c.uin == 4711) {
            ++listed;
            EXPECT_EQ(c.nickName + "|" + c.firstName + "|" + c.lastName + "|" + c.primaryEmail,
                      "Rover|Robert|\xD6verby|rover@home.se");
        }
    }
    EXPECT_EQ(listed, 1);
}

} // namespace
