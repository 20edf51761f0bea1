#include "bundlesaver.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

std::vector<std::string> listTree(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(fs::relative(it->path(), path).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

unsigned modeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

class BundleSaver : public ::testing::Test {
protected:
    BundleSaver() {
        writeFile(staging("record.json"), "{\"new\": true}");
        writeFile(staging("files/msg.wav"), "sound");
        writeFile(staging("files/msg-2.wav"), "other sound");
    }
    std::string staging(const std::string& name) const { return dir.file("staging/" + name); }
    bool save(const std::string& target) {
        return gui::saveBundle(dir.file("staging"), target, error, &files);
    }

    TempDir dir;
    std::string error;
    int files = -1;
};

TEST_F(BundleSaver, CopiesTheRecordAndItsFilesIntoANewFolder) {
    const std::string target = dir.file("out/deeper");
    ASSERT_TRUE(save(target)) << error;
    EXPECT_EQ(files, 2);
    EXPECT_EQ(listTree(target), (std::vector<std::string>{"files", "files/msg-2.wav",
                                                          "files/msg.wav", "record.json"}));
    EXPECT_EQ(readFile(target + "/record.json"), "{\"new\": true}");
    EXPECT_EQ(readFile(target + "/files/msg-2.wav"), "other sound");
    EXPECT_EQ(modeOf(target + "/record.json"), 0600u);
    EXPECT_EQ(modeOf(target + "/files/msg.wav"), 0644u);
}

TEST_F(BundleSaver, ReplacesAnEarlierBundleAndKeepsOtherFiles) {
    const std::string target = dir.file("out");
    writeFile(target + "/record.json", "old");
    writeFile(target + "/files/msg.wav", "old sound");
    writeFile(target + "/files/kept.wav", "kept");
    ASSERT_TRUE(save(target)) << error;
    EXPECT_EQ(readFile(target + "/record.json"), "{\"new\": true}");
    EXPECT_EQ(readFile(target + "/files/msg.wav"), "sound");
    EXPECT_EQ(readFile(target + "/files/kept.wav"), "kept");
}

TEST_F(BundleSaver, ARecordWithoutFilesMakesNoFilesFolder) {
    fs::remove_all(staging("files"));
    ASSERT_TRUE(save(dir.file("out"))) << error;
    EXPECT_EQ(files, 0);
    EXPECT_EQ(listTree(dir.file("out")), std::vector<std::string>{"record.json"});
}

struct FailedSave {
    const char* name;
    void (*prepare)(const std::string& target);
    const char* cause; ///< after the target path
};

void PrintTo(const FailedSave& failure, std::ostream* out) {
    *out << failure.name;
}

class BundleSaverFailure : public BundleSaver, public ::testing::WithParamInterface<FailedSave> {};

// Whatever fails, an earlier record.json stays as it was and no temporary file is left.
TEST_P(BundleSaverFailure, LeavesTheEarlierRecordWhole) {
    const std::string target = dir.file("out");
    writeFile(target + "/record.json", "old");
    GetParam().prepare(target);
    EXPECT_FALSE(save(target));
    EXPECT_EQ(error, target + GetParam().cause);
    EXPECT_EQ(readFile(target + "/record.json"), "old");
    for (const std::string& name : listTree(target)) {
        EXPECT_NE(fs::path(name).filename().string()[0], '.') << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BundleSaverFailure,
    ::testing::Values(
        FailedSave{"FilesIsAFile",
                   [](const std::string& t) { writeFile(t + "/files", "in the way"); },
                   "/files: cannot create the folder (Not a directory)"},
        FailedSave{"CarriedNameIsAFolder",
                   [](const std::string& t) { writeFile(t + "/files/msg.wav/x", "in the way"); },
                   "/files/msg.wav: cannot replace (Is a directory)"}),
    [](const ::testing::TestParamInfo<FailedSave>& info) { return std::string(info.param.name); });

TEST_F(BundleSaver, NothingToSaveWithoutARecord) {
    fs::remove(staging("record.json"));
    EXPECT_FALSE(save(dir.file("out")));
    EXPECT_EQ(error, staging("record.json") +
                         ": no record to save (expected the record of an import run)");
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

} // namespace
