#include "fdio.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

std::vector<std::string> listDir(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

vqrt::FileWriter writing(const std::string& bytes, int err = 0) {
    return [bytes, err](int fd) {
        const int written = vqrt::writeAll(fd, bytes.data(), bytes.size());
        return written != 0 ? written : err;
    };
}

TEST(WriteFileAtomically, ReplacesTheFileWholeWithItsMode) {
    TempDir dir;
    writeFile(dir.file("record.json"), "earlier, and longer than what replaces it");
    std::string error;
    ASSERT_TRUE(vqrt::writeFileAtomically(dir.path(), "record.json", 0640, writing("new"), error))
        << error;
    EXPECT_EQ(readFile(dir.file("record.json")), "new");
    struct stat st;
    ASSERT_EQ(stat(dir.file("record.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"record.json"});
}

struct Failure {
    const char* name;
    std::string folder; ///< below the test folder
    vqrt::FileWriter write;
    std::string error; ///< after the path of the test folder
};

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << failure.name;
}

class WriteFileAtomicallyFailure : public ::testing::TestWithParam<Failure> {};

// Whatever fails, the earlier file stays as it was and no temporary file is left.
TEST_P(WriteFileAtomicallyFailure, KeepsTheEarlierFile) {
    TempDir dir;
    writeFile(dir.file("out/record.json/inside"), "a folder in the way");
    writeFile(dir.file("kept/record.json"), "earlier");
    const std::string folder = dir.file(GetParam().folder);
    std::string error;
    EXPECT_FALSE(vqrt::writeFileAtomically(folder, "record.json", 0600, GetParam().write, error));
    EXPECT_EQ(error, dir.path() + GetParam().error);
    EXPECT_EQ(readFile(dir.file("kept/record.json")), "earlier");
    EXPECT_EQ(listDir(dir.file("kept")), std::vector<std::string>{"record.json"});
    EXPECT_EQ(listDir(dir.file("out")), std::vector<std::string>{"record.json"});
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteFileAtomicallyFailure,
    ::testing::Values(Failure{"WriteFails", "kept", writing(std::string(100000, 'x'), ENOSPC),
                              "/kept/record.json: cannot write (No space left on device)"},
                      Failure{"FolderMissing", "missing", writing("x"),
                              "/missing/record.json: cannot write (No such file or directory)"},
                      Failure{"FolderInTheWay", "out", writing("x"),
                              "/out/record.json: cannot replace (Is a directory)"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

TEST(ReadWholeFile, ReadsWhateverTheSizeSays) {
    TempDir dir;
    const std::string big(300000, 'b');
    writeFile(dir.file("big"), big);
    writeFile(dir.file("empty"), "");
    std::string bytes = "stale";
    std::string error;
    EXPECT_TRUE(vqrt::readWholeFile(dir.file("big"), bytes, error));
    EXPECT_TRUE(bytes == big);
    EXPECT_TRUE(vqrt::readWholeFile(dir.file("empty"), bytes, error));
    EXPECT_EQ(bytes, "");
    // Files of /proc say they are empty and are not.
    EXPECT_TRUE(vqrt::readWholeFile("/proc/self/status", bytes, error));
    EXPECT_NE(bytes.find("Name:"), std::string::npos);
    EXPECT_EQ(error, "");

    EXPECT_FALSE(vqrt::readWholeFile(dir.file("missing"), bytes, error));
    EXPECT_EQ(error, dir.file("missing") + ": cannot read (No such file or directory)");
    EXPECT_FALSE(vqrt::readWholeFile(dir.path(), bytes, error));
    EXPECT_EQ(error, dir.path() + ": cannot read (Is a directory)");
}

} // namespace
