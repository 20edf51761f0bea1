#include "ini/regularfile.h"

#include "support/tempdir.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

// What a path on a hostile disk may name instead of a file, and whether it is read.
struct Entry {
    const char* label;
    void (*make)(const std::string& path);
    bool opens;
};

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << entry.label;
}

class OpenRegularFile : public ::testing::TestWithParam<Entry> {};

TEST_P(OpenRegularFile, OpensOnlyRegularFilesAndNeverWaits) {
    TempDir dir;
    const std::string path = dir.file("owner.uin");
    GetParam().make(path);
    auto opened = std::async(std::launch::async, [&] { return openRegularFile(path.c_str()); });
    if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        // A writer lets the waiting open go on, so that the test can end.
        ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "the open waited for a writer";
    }
    const StdioFile file = opened.get();
    ASSERT_EQ(file != nullptr, GetParam().opens);
    if (file) {
        char text[8] = {};
        ASSERT_NE(std::fgets(text, sizeof text, file.get()), nullptr);
        EXPECT_STREQ(text, "[ok]\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OpenRegularFile,
    ::testing::Values(
        Entry{"regularFile", [](const std::string& p) { writeFile(p, "[ok]\n"); }, true},
        Entry{"linkToRegularFile",
              [](const std::string& p) {
                  writeFile(p + ".real", "[ok]\n");
                  ASSERT_EQ(::symlink((p + ".real").c_str(), p.c_str()), 0);
              },
              true},
        Entry{"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false},
        Entry{"linkToDevZero",
              [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }, false},
        Entry{"directory", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
              false},
        Entry{"danglingLink",
              [](const std::string& p) { ASSERT_EQ(::symlink("nowhere", p.c_str()), 0); }, false},
        Entry{"missing", [](const std::string&) {}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OpenRegularFile, NullPathOpensNothing) {
    EXPECT_EQ(openRegularFile(nullptr), nullptr);
}

} // namespace
