#include "installation.h"

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

// What the builder writes is read back by the host's and the end-to-end tests.

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(Installation, RefusesToLeaveItsRoot) {
    testsupport::TempDir dir;
    json d = json::parse(R"({"icq": {"version": 2000, "owners": [{"uin": 1, "nickname": "A"}]}})");
    d["extraFiles"] = json::parse(R"([{"path": "C:\\..\\escaped.txt", "text": "x"}])");
    std::string error;
    EXPECT_FALSE(mkwin::buildInstallation(d, dir.file("root"), error));
    EXPECT_EQ(
        error,
        R"(extraFiles[0].path: the path leaves the root with "..", found "C:\\..\\escaped.txt")");
    EXPECT_FALSE(fs::exists(dir.file("root")));

    d.erase("extraFiles");
    fs::create_directories(dir.file("outside"));
    fs::create_directories(dir.file("root"));
    ASSERT_EQ(symlink(dir.file("outside").c_str(), dir.file("root/Program Files").c_str()), 0);
    EXPECT_FALSE(mkwin::buildInstallation(d, dir.file("root"), error));
    EXPECT_EQ(error, dir.file("root/Program Files") +
                         ": refusing to follow a symbolic link below the root");
    EXPECT_TRUE(fs::is_empty(dir.file("outside")));
}

} // namespace
