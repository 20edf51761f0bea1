#include "installation.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

// What the builder writes is read back by the host's and the end-to-end tests.

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
