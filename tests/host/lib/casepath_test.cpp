#include "casepath.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

TEST(CasePath, ResolvesEachComponentWithoutRegardToCase) {
    TempDir dir;
    writeFile(dir.file("Program Files/ICQ/ICQ.exe"), "x");
    EXPECT_EQ(vqrt::resolveNoCase(dir.path(), "program files/icq/icq.EXE"),
              dir.path() + "/Program Files/ICQ/ICQ.exe");
    EXPECT_EQ(vqrt::resolveNoCase(dir.path(), "Program Files//./ICQ"),
              dir.path() + "/Program Files/ICQ");
    EXPECT_FALSE(vqrt::resolveNoCase(dir.path(), "program files/aim"));
}

TEST(CasePath, ExactNameWinsThenByteOrder) {
    TempDir dir;
    writeFile(dir.file("Users/b"), "");
    writeFile(dir.file("USERS/a"), "");
    writeFile(dir.file("users/c"), "");
    EXPECT_EQ(vqrt::resolveNoCase(dir.path(), "users"), dir.path() + "/users");
    EXPECT_EQ(vqrt::resolveNoCase(dir.path(), "uSers"), dir.path() + "/USERS");
}

TEST(CasePath, ResolvesInsideTheRootOnly) {
    namespace fs = std::filesystem;
    TempDir dir;
    TempDir outside;
    writeFile(dir.file("root/WINDOWS/System32/config/SOFTWARE"), "hive");
    writeFile(outside.file("System32/config/SOFTWARE"), "hive");
    fs::create_directories(dir.file("root/Other"));
    fs::create_directory_symlink(outside.file("System32"), dir.file("root/Other/System32"));
    fs::create_directory_symlink("../WINDOWS", dir.file("root/Other/Windows"));
    fs::create_symlink("nowhere", dir.file("root/Other/dangling"));
    const std::string root = dir.file("root");
    const struct {
        std::string base;
        std::string relative;
        std::optional<std::string> found;
    } cases[] = {
        {root, "windows/system32/CONFIG/software", root + "/WINDOWS/System32/config/SOFTWARE"},
        {root + "/Other", "windows/System32", root + "/Other/Windows/System32"},
        {root + "/Other", "System32/config/SOFTWARE", std::nullopt},
        {root + "/Other", "system32", std::nullopt},
        {root + "/Other", "dangling", std::nullopt},
        {outside.path(), "System32", std::nullopt},
        {root, "", root},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vqrt::resolveInside(root, c.base, c.relative), c.found) << c.relative;
    }
}

} // namespace
