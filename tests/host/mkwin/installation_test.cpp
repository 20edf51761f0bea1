#include "installation.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "text/utf8.h"

// What the builder writes is read back by the host's and the end-to-end tests; here are the
// builder's own promises.

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::readFile;
using testsupport::TempDir;

void build(const json& description, const std::string& root) {
    std::string error;
    ASSERT_TRUE(mkwin::buildInstallation(description, root, error)) << error;
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

// ICQ with one owner, and sounds on C: (two spellings of one file), D: and missing.
const json kIcq = json::parse(R"({
  "users": ["Alice", "Bob"], "icqUser": "Bob",
  "icq": {"version": 2000, "server": {"host": "login.icq.com", "port": -4000},
          "defaultSounds": {"ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\Tür zu.wav",
                            "ICQURL": "D:\\Sounds\\url.wav"},
          "owners": [{"uin": "0012345", "nickname": "Rover", "playSound": "Yes",
                      "sounds": {"ICQALAdmin": "C:\\program files\\icq\\sounds\\Tür zu.wav",
                                 "ICQChat": {"path": "C:\\Gone\\chat.wav", "missing": true}},
                      "database": {"generated": 20, "historyBytes": 50000, "seed": 3}}]}})");

// Everything lies inside the root, sound files once in the folders they share, and the same
// description gives the same bytes.
TEST(Installation, WritesTheSameFilesInsideItsRoot) {
    TempDir dir;
    build(kIcq, dir.file("a"));
    build(kIcq, dir.file("b"));
    const auto files = allFiles(dir.file("a"));
    EXPECT_EQ(files, allFiles(dir.file("b")));
    EXPECT_EQ(allFiles(dir.path()).size(), 2 * files.size() + 2);
    EXPECT_EQ(files.at("Program Files/ICQ/Sounds/Tür zu.wav").substr(0, 4), "RIFF");
    EXPECT_EQ(files.count("program files") + files.count("Gone") + files.count("Sounds"), 0u);
    EXPECT_GT(files.at("Program Files/ICQ/2000a/0012345.dat").size(), 50000u);
}

TEST(Installation, UserFileTakesHkcuOutOfTheMachineExport) {
    TempDir dir;
    json d = kIcq;
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
    EXPECT_FALSE(fs::exists(dir.file("WINDOWS/System32/config/SOFTWARE")));
}

// Owner files are INI text in the installation's code page, with the line ends asked for.
TEST(Installation, OwnerFilesAreIniTextInTheCodePage) {
    const struct {
        const char* codepage;
        json owner;
        const char* file;
        std::string bytes;
    } cases[] = {
        {"CP1252",
         {{"uin", 12345}, {"nickname", "Märta"}},
         "12345.uin",
         "[ICQ User]\r\nNickName=M\xE4rta\r\nUIN=12345\r\nFirstName=\r\nLastName=\r\nEmail=\r\n"
         "AutoConnect=1\r\n"},
        {"CP1251",
         {{"uin", "007"}, {"nickname", "Дима"}, {"lineEnd", "lf"}, {"file", "Zoe.UIN"}},
         "Zoe.UIN",
         "[ICQ User]\nNickName=\xC4\xE8\xEC\xE0\nUIN=007\nFirstName=\nLastName=\nEmail=\n"
         "AutoConnect=1\n"},
        {"CP1252",
         {{"uin", 9}, {"nickname", nullptr}, {"lineEnd", "lf"}},
         "9.uin",
         "[ICQ User]\nUIN=9\nFirstName=\nLastName=\nEmail=\nAutoConnect=1\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        build(json{{"codepage", c.codepage}, {"icq", {{"owners", {c.owner}}}}}, dir.path());
        EXPECT_EQ(readFile(dir.file(std::string("Program Files/ICQ/uin/") + c.file)), c.bytes);
    }
}

TEST(Installation, RefusesToLeaveItsRoot) {
    TempDir dir;
    json d = kIcq;
    d["extraFiles"] = json::parse(R"([{"path": "C:\\..\\escaped.txt", "text": "x"}])");
    std::string error;
    EXPECT_FALSE(mkwin::buildInstallation(d, dir.file("root"), error));
    EXPECT_EQ(
        error,
        R"(extraFiles[0].path: the path leaves the root with "..", found "C:\\..\\escaped.txt")");
    EXPECT_FALSE(fs::exists(dir.file("root")));

    fs::create_directories(dir.file("outside"));
    fs::create_directories(dir.file("root"));
    ASSERT_EQ(symlink(dir.file("outside").c_str(), dir.file("root/Program Files").c_str()), 0);
    EXPECT_FALSE(mkwin::buildInstallation(kIcq, dir.file("root"), error));
    EXPECT_EQ(error, dir.file("root/Program Files") +
                         ": refusing to follow a symbolic link below the root");
    EXPECT_TRUE(fs::is_empty(dir.file("outside")));
}

} // namespace
