#include "installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "text/utf8.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::readFile;
using testsupport::TempDir;

void build(const json& description, const std::string& root) {
    std::string error;
    ASSERT_TRUE(mkwin::buildInstallation(description, root, error)) << error;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Every file below `root` (relative path → bytes).
std::map<std::string, std::string> allFiles(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        files[relative] = entry.is_regular_file() ? readFile(entry.path().string()) : "<folder>";
    }
    return files;
}

// ICQ with one owner, the values a host reads, and sounds on C: and elsewhere.
json icqDescription() {
    return json::parse(R"({
      "users": ["Alice", "Bob"], "icqUser": "Bob",
      "icq": {"version": 2000, "server": {"host": "login.icq.com", "port": -4000},
              "defaultSounds": {"ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\Tür zu.wav",
                                "ICQURL": "D:\\Sounds\\url.wav"},
              "owners": [{"uin": "0012345", "nickname": "Rover", "playSound": "Yes",
                          "sounds": {"ICQALAdmin": "C:\\program files\\icq\\sounds\\Tür zu.wav",
                                     "ICQChat": {"path": "C:\\Gone\\chat.wav", "missing": true}}}]}
    })");
}

TEST(Installation, SoundFilesAreWrittenOnceIntoTheFoldersTheyShare) {
    TempDir dir;
    build(icqDescription(), dir.path());
    EXPECT_EQ(readFile(dir.file("Program Files/ICQ/Sounds/Tür zu.wav")).substr(0, 4), "RIFF");
    // The lower-case spelling found the folders made for the first one.
    EXPECT_FALSE(exists(dir.file("program files")));
    EXPECT_FALSE(exists(dir.file("Gone")));   // marked missing
    EXPECT_FALSE(exists(dir.file("Sounds"))); // on drive D:
    EXPECT_TRUE(exists(dir.file("Program Files/ICQ/ICQ.exe")));
    EXPECT_TRUE(fs::is_directory(dir.file("Program Files/ICQ/uin")));
}

TEST(Installation, UserFileTakesHkcuOutOfTheMachineExport) {
    TempDir dir;
    json d = icqDescription();
    d["registry"] = {{"format", "reg5"},
                     {"file", "C:\\Backup\\machine.reg"},
                     {"userFile", "C:\\Backup\\user.reg"}};
    build(d, dir.path());
    const std::string machine = text::utf16leToUtf8(readFile(dir.file("Backup/machine.reg")));
    const std::string user = text::utf16leToUtf8(readFile(dir.file("Backup/user.reg")));
    EXPECT_NE(machine.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"), std::string::npos);
    EXPECT_EQ(machine.find("HKEY_CURRENT_USER"), std::string::npos);
    EXPECT_NE(user.find("\"Default Server Host\"=\"login.icq.com\""), std::string::npos);
    EXPECT_EQ(user.find("HKEY_LOCAL_MACHINE"), std::string::npos);
    EXPECT_FALSE(exists(dir.file("WINDOWS/System32/config/SOFTWARE")));
}

struct OwnerFileCase {
    const char* label;
    const char* codepage;
    json owner;
    const char* file;
    std::string bytes;
};

void PrintTo(const OwnerFileCase& c, std::ostream* os) {
    *os << c.label;
}

class OwnerFiles : public ::testing::TestWithParam<OwnerFileCase> {};

TEST_P(OwnerFiles, AreIniTextInTheCodePageWithTheirLineEnds) {
    TempDir dir;
    build(json{{"codepage", GetParam().codepage}, {"icq", {{"owners", {GetParam().owner}}}}},
          dir.path());
    EXPECT_EQ(readFile(dir.file(std::string("Program Files/ICQ/uin/") + GetParam().file)),
              GetParam().bytes);
}

const OwnerFileCase kOwnerFiles[] = {
    {"crlf by default", "CP1252", json{{"uin", 12345}, {"nickname", "Märta"}}, "12345.uin",
     "[ICQ User]\r\nNickName=M\xE4rta\r\nUIN=12345\r\nFirstName=\r\nLastName=\r\nEmail=\r\n"
     "AutoConnect=1\r\n"},
    {"lf with names", "CP1252",
     json{{"uin", "007"},
          {"nickname", "Zoé"},
          {"lineEnd", "lf"},
          {"firstName", "Zoé"},
          {"lastName", "Lefèvre"},
          {"email", "z@free.fr"},
          {"file", "Zoe.UIN"}},
     "Zoe.UIN",
     "[ICQ User]\nNickName=Zo\xE9\nUIN=007\nFirstName=Zo\xE9\nLastName=Lef\xE8vre\n"
     "Email=z@free.fr\nAutoConnect=1\n"},
    {"cyrillic code page", "CP1251", json{{"uin", 42}, {"nickname", "Дима"}, {"lineEnd", "lf"}},
     "42.uin",
     "[ICQ User]\nNickName=\xC4\xE8\xEC\xE0\nUIN=42\nFirstName=\nLastName=\nEmail=\n"
     "AutoConnect=1\n"},
    {"no nickname", "CP1252", json{{"uin", 9}, {"nickname", nullptr}, {"lineEnd", "lf"}}, "9.uin",
     "[ICQ User]\nUIN=9\nFirstName=\nLastName=\nEmail=\nAutoConnect=1\n"},
};

INSTANTIATE_TEST_SUITE_P(Kinds, OwnerFiles, ::testing::ValuesIn(kOwnerFiles), [](const auto& info) {
    std::string name = info.param.label;
    for (char& c : name) {
        c = c == ' ' ? '_' : c;
    }
    return name;
});

struct DatabaseCase {
    const char* label;
    json icq;
    const char* path; // of the database, below C:\Program Files\ICQ
};

void PrintTo(const DatabaseCase& c, std::ostream* os) {
    *os << c.label;
}

class Databases : public ::testing::TestWithParam<DatabaseCase> {};

TEST_P(Databases, LieWhereTheImportLooksAndGiveTheContactsDescribed) {
    TempDir dir;
    json icq = GetParam().icq;
    icq["owners"] = json::parse(R"([{"uin": 777, "nickname": "Owner", "firstName": "Olle",
        "email": "olle@home.se", "database": {
        "contacts": [{"uin": 1001, "nickname": "Jürgen", "lastName": "Groß", "status": "removed"},
                     {"uin": 1002, "handle": "Françoise", "email": "f@free.fr"},
                     {"uin": 777, "nickname": "Owner"}]}}])");
    if (GetParam().icq.contains("folder")) {
        icq["owners"][0]["database"]["folder"] = GetParam().icq["folder"];
        icq.erase("folder");
    }
    const json d = {{"icq", icq}};
    build(d, dir.path());
    const std::string path = std::string("Program Files/ICQ/") + GetParam().path;
    const std::string db = readFile(dir.file(path));
    EXPECT_NE(db.find("J\xFCrgen"), std::string::npos);
    EXPECT_NE(db.find("Gro\xDF"), std::string::npos);

    std::string error;
    const auto inst = mkwin::parseDescription(d, {}, error);
    ASSERT_TRUE(inst) << error;
    const auto expected = mkwin::expectedImport(*inst);
    const json& owner = expected["owners"][0];
    EXPECT_EQ(owner["database"], path);
    // The owner's own record comes first: its names show through where the first contact has
    // none, as the reader leaves them.
    EXPECT_EQ(json::parse(owner["contacts"].dump()),
              json::parse(R"([{"UIN": "1001", "First_Name": "Olle", "Last_Name": "Groß",
                               "Description": "MyDefinedHandle", "Nickname": "Jürgen",
                               "Email": "olle@home.se"},
                              {"UIN": "1002", "First_Name": "FirstName", "Last_Name": "LastName",
                               "Description": "Françoise", "Nickname": "NickName",
                               "Email": "f@free.fr"}])"));
}

const DatabaseCase kDatabases[] = {
    {"version 2000", json{{"version", 2000}}, "2000a/777.dat"},
    {"version 319", json{{"version", 319}}, "Db99b/777.dat"},
    {"no version", json::object(), "Db99b/777.dat"},
    {"later folder found by the fallback", json{{"version", 2003}, {"folder", "2001a"}},
     "2001a/777.dat"},
};

INSTANTIATE_TEST_SUITE_P(Kinds, Databases, ::testing::ValuesIn(kDatabases), [](const auto& info) {
    std::string name = info.param.label;
    for (char& c : name) {
        c = c == ' ' ? '_' : c;
    }
    return name;
});

TEST(Installation, ExtraFilesReplaceWhatTheBuilderWrites) {
    TempDir dir;
    json d = icqDescription();
    d["extraFiles"] = json::parse(R"([
        {"path": "C:\\Program Files\\ICQ\\uin\\0012345.uin", "text": "NickName=Ä"},
        {"path": "C:\\Documents and Settings\\Alice\\NTUSER.DAT", "hex": "72,65,67,66"}])");
    build(d, dir.path());
    EXPECT_EQ(readFile(dir.file("Program Files/ICQ/uin/0012345.uin")), "NickName=\xC4");
    EXPECT_EQ(readFile(dir.file("Documents and Settings/Alice/NTUSER.DAT")), "regf");
}

TEST(Installation, NeverWritesOutsideItsRoot) {
    TempDir dir;
    const std::string root = dir.file("root");
    build(icqDescription(), root);
    EXPECT_EQ(allFiles(dir.path()).size(), allFiles(root).size() + 1);

    // A description that names a place outside is refused before anything is written.
    json d = icqDescription();
    d["extraFiles"] = json::parse(R"([{"path": "C:\\..\\escaped.txt", "text": "x"}])");
    std::string error;
    EXPECT_FALSE(mkwin::buildInstallation(d, dir.file("second"), error));
    EXPECT_EQ(
        error,
        R"(extraFiles[0].path: the path leaves the root with "..", found "C:\\..\\escaped.txt")");
    EXPECT_FALSE(exists(dir.file("second")));
    EXPECT_FALSE(exists(dir.file("escaped.txt")));
}

TEST(Installation, RefusesToFollowSymbolicLinksBelowTheRoot) {
    TempDir dir;
    const std::string outside = dir.file("outside");
    fs::create_directories(outside);
    fs::create_directories(dir.file("root"));
    ASSERT_EQ(symlink(outside.c_str(), dir.file("root/Program Files").c_str()), 0);
    std::string error;
    EXPECT_FALSE(mkwin::buildInstallation(icqDescription(), dir.file("root"), error));
    EXPECT_EQ(error, dir.file("root/Program Files") +
                         ": refusing to follow a symbolic link below the root");
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST(Installation, SameDescriptionGivesTheSameBytes) {
    json d = icqDescription();
    d["icq"]["owners"][0]["database"] = {{"generated", 20}, {"historyBytes", 50000}, {"seed", 3}};
    TempDir first;
    TempDir second;
    build(d, first.path());
    build(d, second.path());
    const auto a = allFiles(first.path());
    EXPECT_EQ(a, allFiles(second.path()));
    EXPECT_GT(a.at("Program Files/ICQ/2000a/0012345.dat").size(), 50000u);
}

TEST(Installation, ExpectedImportNamesOwnersAndTheirFiles) {
    json d = icqDescription();
    d["icq"]["owners"].push_back(json::parse(R"({"uin": 5, "nickname": "", "lineEnd": "lf"})"));
    d["registry"] = {{"format", "reg4"}, {"file", "C:\\Temp\\All.reg"}};
    std::string error;
    const auto inst = mkwin::parseDescription(d, {}, error);
    ASSERT_TRUE(inst) << error;
    EXPECT_EQ(json::parse(mkwin::expectedImport(*inst).dump()), json::parse(R"({
        "user": "Bob", "registryFiles": ["Temp/All.reg"], "icqInstalled": true,
        "icqVersion": 2000, "owners": [
          {"uin": "0012345", "nickname": "Rover", "listed": true,
           "ownerFile": "Program Files/ICQ/uin/0012345.uin", "lineEnd": "crlf",
           "personalSounds": true, "database": null, "contacts": []},
          {"uin": "5", "nickname": "", "listed": false,
           "ownerFile": "Program Files/ICQ/uin/5.uin", "lineEnd": "lf",
           "personalSounds": false, "database": null, "contacts": []}]})"));
}

// The bundled demo, as `make demo` builds it.
TEST(Installation, DemoSampleIsAnXpMachineWithTwoOwners) {
    const std::string samples = std::string(TOLVANE_SOURCE_DIR) + "/samples";
    const json d = json::parse(readFile(samples + "/demo.json"));
    TempDir dir;
    build(d, dir.path());
    EXPECT_TRUE(exists(dir.file("Documents and Settings/Alice/NTUSER.DAT")));
    std::string error;
    const auto inst = mkwin::parseDescription(d, {}, error);
    ASSERT_TRUE(inst) << error;
    const auto expected = mkwin::expectedImport(*inst);
    ASSERT_EQ(expected["owners"].size(), 2u);
    for (const auto& owner : expected["owners"]) {
        EXPECT_TRUE(owner["listed"].get<bool>());
        EXPECT_GE(owner["contacts"].size(), 20u) << owner["nickname"];
        const auto size = fs::file_size(dir.file(owner["database"].get<std::string>()));
        EXPECT_GT(size, 200u * 1024) << owner["database"];
        EXPECT_LT(size, 1024u * 1024) << owner["database"];
    }
    EXPECT_EQ(expected["owners"][0]["nickname"], "Rover");
    EXPECT_EQ(expected["owners"][0]["lineEnd"], "crlf");
    EXPECT_TRUE(expected["owners"][0]["personalSounds"].get<bool>());
    EXPECT_EQ(expected["owners"][1]["nickname"], "Märta");
    EXPECT_EQ(expected["owners"][1]["lineEnd"], "lf");
    EXPECT_FALSE(expected["owners"][1]["personalSounds"].get<bool>());
    EXPECT_TRUE(exists(dir.file("Program Files/ICQ/Sounds/New Message.wav")));

    const std::string password = readFile(samples + "/demo.password");
    EXPECT_FALSE(password.substr(0, password.find('\n')).empty());
}

} // namespace
