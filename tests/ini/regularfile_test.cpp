#include "ini/regularfile.h"

#include "support/tempdir.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// What a path on a hostile disk may name instead of a file: only regular files are read, and
// the open never waits for a FIFO's writer.
TEST(OpenRegularFile, OpensOnlyRegularFilesAndNeverWaits) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("file"), "");
    ASSERT_EQ(::symlink(dir.file("file").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    for (const auto& [name, opens] : {std::pair<std::string, bool>{"file", true},
                                      {"link", true},
                                      {"fifo", false},
                                      {"zero", false},
                                      {"dangling", false},
                                      {"missing", false},
                                      {"", false}}) {
        const std::string path = dir.file(name);
        auto opened = std::async(std::launch::async, [&] { return openRegularFile(path.c_str()); });
        if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            // A writer lets the waiting open go on, so that the test can end.
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "the open waited for a writer";
        }
        EXPECT_EQ(opened.get() != nullptr, opens) << name;
    }
    EXPECT_EQ(openRegularFile(nullptr), nullptr);
}

} // namespace
