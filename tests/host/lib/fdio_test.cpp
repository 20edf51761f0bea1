#include "fdio.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Writes `bytes`, then fails with `err` when it is not 0.
vqrt::FileWriter writing(const std::string& bytes, int err = 0) {
    return [bytes, err](int fd) {
        const int failed = vqrt::writeAll(fd, bytes.data(), bytes.size());
        return failed != 0 ? failed : err;
    };
}

struct Save {
    const char* folder; ///< below the test folder; "out" holds record.json, "full" a folder of it
    vqrt::FileWriter write;
    std::string error; ///< after the test folder; empty for a good save
};

// Whatever fails, the earlier record.json stays as it was and no temporary file is left.
TEST(WriteFileAtomically, ReplacesWholeOrNotAtAll) {
    const Save saves[] = {
        {"out", writing("new"), ""},
        {"out", writing(std::string(100000, 'x'), ENOSPC),
         "/out/record.json: cannot write (No space left on device)"},
        {"missing", writing("x"), "/missing/record.json: cannot write (No such file or directory)"},
        {"full", writing("x"), "/full/record.json: cannot replace (Is a directory)"},
    };
    for (const Save& save : saves) {
        SCOPED_TRACE(save.error);
        TempDir dir;
        writeFile(dir.file("out/record.json"), "earlier");
        writeFile(dir.file("full/record.json/inside"), "a folder in the way");
        std::string error;
        EXPECT_EQ(vqrt::writeFileAtomically(dir.file(save.folder), "record.json", 0640, save.write,
                                            error),
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
