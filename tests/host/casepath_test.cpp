#include "casepath.h"

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

} // namespace
