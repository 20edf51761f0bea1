#include "fdio.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// Whatever fails, the earlier record.json stays as it was and no temporary file is left.
TEST(WriteFileAtomically, ReplacesWholeOrNotAtAll) {
    const struct {
        const char* folder; // "out" holds record.json, "full" a folder of that name
        int err;            // the writer's answer after it wrote
        std::string error;  // after the test folder; empty for a good save
    } saves[] = {
        {"out", 0, ""},
        {"out", ENOSPC, "/out/record.json: cannot write (No space left on device)"},
        {"missing", 0, "/missing/record.json: cannot write (No such file or directory)"},
        {"full", 0, "/full/record.json: cannot replace (Is a directory)"},
    };
    for (const auto& save : saves) {
        SCOPED_TRACE(save.error);
        testsupport::TempDir dir;
        writeFile(dir.file("out/record.json"), "earlier");
        writeFile(dir.file("full/record.json/inside"), "a folder in the way");
        const auto write = [&](int fd) {
            const int failed = vqrt::writeAll(fd, "new", 3);
            return failed != 0 ? failed : save.err;
        };
        std::string error;
        EXPECT_EQ(
            vqrt::writeFileAtomically(dir.file(save.folder), "record.json", 0640, write, error),
            save.error.empty());
        EXPECT_EQ(error, save.error.empty() ? "" : dir.path() + save.error);
        EXPECT_EQ(readFile(dir.file("out/record.json")), save.error.empty() ? "new" : "earlier");
        for (const char* folder : {"out", "full"}) {
            const auto files = std::filesystem::directory_iterator(dir.file(folder));
            EXPECT_EQ(std::distance(begin(files), end(files)), 1);
        }
        struct stat st;
        if (save.error.empty() && stat(dir.file("out/record.json").c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 0777, 0640u);
        }
    }
}

TEST(ReadWholeFile, ReadsWhateverTheSizeSays) {
    testsupport::TempDir dir;
    writeFile(dir.file("big"), std::string(300000, 'b'));
    std::string bytes = "stale";
    std::string error;
    EXPECT_TRUE(vqrt::readWholeFile(dir.file("big"), bytes, error));
    EXPECT_TRUE(bytes == std::string(300000, 'b'));
    // Files of /proc say they are empty and are not.
    EXPECT_TRUE(vqrt::readWholeFile("/proc/self/status", bytes, error));
    EXPECT_NE(bytes.find("Name:"), std::string::npos);
    EXPECT_FALSE(vqrt::readWholeFile(dir.path(), bytes, error));
    EXPECT_EQ(error, dir.path() + ": cannot read (Is a directory)");
}

} // namespace
