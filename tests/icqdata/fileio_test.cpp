#include "icqdata/fileio.h"

#include "support/tempdir.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Reads the rest of the file with readChar; a NUL byte shows as an empty text.
std::string readAll(CFileIO& file) {
    std::string bytes;
    for (const char* p = file.readChar(); p != nullptr; p = file.readChar()) {
        bytes.push_back(p[0]);
    }
    return bytes;
}

TEST(FileIO, ReadCharGivesByteAndNulThenNull) {
    TempDir dir;
    writeFile(dir.file("a.bin"), "A\0B"s);
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("a.bin").c_str(), 1), 0);
    const char* p = file.readChar();
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "A");
    EXPECT_STREQ(file.readChar(), "");
    EXPECT_STREQ(file.readChar(), "B");
    EXPECT_EQ(file.readChar(), nullptr);
    EXPECT_EQ(file.readChar(), nullptr);
}

TEST(FileIO, ReadErrorsReadAsTheEndOfTheFile) {
    // A folder is not opened at all.
    TempDir dir;
    CFileIO folder;
    EXPECT_EQ(folder.openFile(dir.path().c_str(), 1), -1);
    EXPECT_EQ(folder.readChar(), nullptr);

    // /proc/self/mem is a regular file whose first page is never mapped: every read of it fails
    // with EIO, as reads of a damaged disk do.
    CFileIO chars;
    if (chars.openFile("/proc/self/mem", 1) != 0) {
        GTEST_SKIP() << "/proc/self/mem cannot be opened here";
    }
    EXPECT_EQ(chars.readChar(), nullptr);
    EXPECT_EQ(chars.readChar(), nullptr);
    EXPECT_EQ(std::unique_ptr<char[]>(chars.stringRead('\n')), nullptr);

    CFileIO text;
    ASSERT_EQ(text.openFile("/proc/self/mem", 1), 0);
    const std::unique_ptr<char[]> first(text.stringRead('\n'));
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first.get(), "");
    EXPECT_EQ(std::unique_ptr<char[]>(text.stringRead('\n')), nullptr);
}

TEST(FileIO, ReadCharTextIsSharedByAllObjects) {
    TempDir dir;
    writeFile(dir.file("x"), "x");
    writeFile(dir.file("y"), "y");
    CFileIO first;
    CFileIO second;
    ASSERT_EQ(first.openFile(dir.file("x").c_str(), 1), 0);
    ASSERT_EQ(second.openFile(dir.file("y").c_str(), 1), 0);
    const char* fromFirst = first.readChar();
    const char* fromSecond = second.readChar();
    EXPECT_EQ(fromFirst, fromSecond);
    EXPECT_STREQ(fromFirst, "y");
}

TEST(FileIO, ReadsLargeFilesAcrossBufferRefills) {
    TempDir dir;
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7919) % 251);
    }
    writeFile(dir.file("big"), bytes);
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("big").c_str(), 1), 0);
    EXPECT_EQ(readAll(file), bytes);
}

struct BadOpen {
    const char* label;
    int mode;
    bool fileExists;
};

class FileIOBadOpen : public ::testing::TestWithParam<BadOpen> {};

TEST_P(FileIOBadOpen, AnswersMinusOneAndReadsNothing) {
    TempDir dir;
    const std::string path = dir.file("f");
    if (GetParam().fileExists) {
        writeFile(path, "data");
    }
    CFileIO file;
    EXPECT_EQ(file.openFile(path.c_str(), GetParam().mode), -1);
    EXPECT_EQ(file.readChar(), nullptr);
    EXPECT_EQ(file.stringRead('\n'), nullptr);
    EXPECT_EQ(readFile(path), GetParam().fileExists ? "data" : "");
}

INSTANTIATE_TEST_SUITE_P(Modes, FileIOBadOpen,
                         ::testing::Values(BadOpen{"mode0", 0, true}, BadOpen{"mode4", 4, true},
                                           BadOpen{"modeMinus1", -1, true},
                                           BadOpen{"mode0Missing", 0, false},
                                           BadOpen{"readMissing", 1, false}),
                         [](const auto& info) { return std::string(info.param.label); });

// What a database path on a hostile disk may name instead of a file: reading must neither wait
// for a FIFO's writer nor scan a device that never ends.
struct PathKind {
    const char* label;
    void (*make)(const std::string& path);
    int expected;
};

void PrintTo(const PathKind& file, std::ostream* out) {
    *out << file.label;
}

class FileIOReadsOnlyRegularFiles : public ::testing::TestWithParam<PathKind> {};

TEST_P(FileIOReadsOnlyRegularFiles, ForReading) {
    TempDir dir;
    const std::string path = dir.file("12345678.dat");
    GetParam().make(path);
    CFileIO file;
    auto opened = std::async(std::launch::async, [&] { return file.openFile(path.c_str(), 1); });
    if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        // A writer lets the waiting open go on, so that the test can end.
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
        ADD_FAILURE() << "openFile waited for a writer";
    }
    ASSERT_EQ(opened.get(), GetParam().expected);
    if (GetParam().expected != 0) {
        EXPECT_EQ(file.readChar(), nullptr);
    } else {
        EXPECT_EQ(readAll(file), "dat");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileIOReadsOnlyRegularFiles,
    ::testing::Values(
        PathKind{"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, -1},
        PathKind{"linkToDevZero",
                 [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }, -1},
        PathKind{"directory", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
                 -1},
        PathKind{"danglingLink",
                 [](const std::string& p) { ASSERT_EQ(::symlink("nowhere", p.c_str()), 0); }, -1},
        PathKind{"linkToRegularFile",
                 [](const std::string& p) {
                     writeFile(p + ".real", "dat");
                     ASSERT_EQ(::symlink((p + ".real").c_str(), p.c_str()), 0);
                 },
                 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FileIO, WriteModeCreatesOrEmpties) {
    TempDir dir;
    const std::string path = dir.file("w");
    writeFile(path, "old content");
    {
        CFileIO file;
        ASSERT_EQ(file.openFile(path.c_str(), 2), 0);
        file.writeChar('a');
        file.writeChar('\0');
        EXPECT_EQ(file.stringWrite("bc"), 0);
        EXPECT_EQ(file.getCurrentPos(), 4);
        EXPECT_EQ(file.closeFile(), 0);
    }
    EXPECT_EQ(readFile(path), "a\0bc"s);
    {
        // Not closed explicitly: the destructor closes and flushes.
        CFileIO file;
        ASSERT_EQ(file.openFile(dir.file("new").c_str(), 2), 0);
        file.stringWrite("fresh");
    }
    EXPECT_EQ(readFile(dir.file("new")), "fresh");
}

TEST(FileIO, AppendModeWritesAtTheEnd) {
    TempDir dir;
    const std::string path = dir.file("log");
    writeFile(path, "abc");
    CFileIO file;
    ASSERT_EQ(file.openFile(path.c_str(), 3), 0);
    file.moveToPos(0);
    file.writeChar('d');
    file.stringWrite("ef");
    file.closeFile();
    EXPECT_EQ(readFile(path), "abcdef");

    ASSERT_EQ(file.openFile(dir.file("missing").c_str(), 3), 0);
    file.stringWrite("x");
    file.closeFile();
    EXPECT_EQ(readFile(dir.file("missing")), "x");
}

struct Permission {
    const char* label;
    mode_t umask;
    int mode;
    mode_t existing; // 0: the file is created
    mode_t expected;
};

class FileIOPermissions : public ::testing::TestWithParam<Permission> {};

TEST_P(FileIOPermissions, CreatedFilesGet0664LessUmask) {
    const Permission& p = GetParam();
    TempDir dir;
    const std::string path = dir.file("p");
    if (p.existing != 0) {
        writeFile(path, "keep");
        ASSERT_EQ(chmod(path.c_str(), p.existing), 0);
    }
    const mode_t saved = umask(p.umask);
    CFileIO file;
    const int opened = file.openFile(path.c_str(), p.mode);
    umask(saved);
    ASSERT_EQ(opened, 0);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, p.expected);
}

INSTANTIATE_TEST_SUITE_P(Umask, FileIOPermissions,
                         ::testing::Values(Permission{"writeUmask0", 0, 2, 0, 0664},
                                           Permission{"appendUmask0", 0, 3, 0, 0664},
                                           Permission{"writeUmask022", 022, 2, 0, 0644},
                                           Permission{"appendUmask077", 077, 3, 0, 0600},
                                           Permission{"existingKeepsBits", 0, 2, 0600, 0600}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FileIO, StringReadLimitsAndTerminator) {
    TempDir dir;
    const std::string exact(1023, 'e');
    const std::string longer = std::string(1023, 'l') + "Xrest";
    writeFile(dir.file("t"), exact + "\n" + longer + "\n\nlast");
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("t").c_str(), 1), 0);
    const auto next = [&] { return std::unique_ptr<char[]>(file.stringRead('\n')); };

    auto text = next();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text.get(), exact);
    text = next();
    EXPECT_EQ(text.get(), std::string(1023, 'l')); // 'X' is consumed and lost
    EXPECT_EQ(next().get(), std::string("rest"));
    EXPECT_EQ(next().get(), std::string(""));
    EXPECT_EQ(next().get(), std::string("last")); // end of file ends the text
    EXPECT_EQ(next(), nullptr);
}

TEST(FileIO, PositionsAndSize) {
    TempDir dir;
    writeFile(dir.file("s"), "0123456789");
    CFileIO file;
    EXPECT_EQ(file.getCurrentPos(), -1);
    EXPECT_EQ(file.getSize(), -1);
    ASSERT_EQ(file.openFile(dir.file("s").c_str(), 1), 0);
    file.readChar();
    file.readChar();
    file.readChar();
    EXPECT_EQ(file.getSize(), 10);
    EXPECT_EQ(file.getCurrentPos(), 3);
    EXPECT_STREQ(file.readChar(), "3");

    EXPECT_EQ(readAll(file), "456789");
    EXPECT_EQ(file.moveToPos(8), 0);
    EXPECT_EQ(file.getCurrentPos(), 8);
    EXPECT_EQ(readAll(file), "89");
    // Moving back after the end reads again, stringRead included.
    file.moveToPos(1);
    std::unique_ptr<char[]> text(file.stringRead('5'));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "1234");
    EXPECT_EQ(file.getCurrentPos(), 6);

    file.closeFile();
    EXPECT_EQ(file.readChar(), nullptr);
    EXPECT_EQ(file.stringRead('\n'), nullptr);
}

TEST(FileIO, DestructorAlwaysWritesItsLine) {
    TempDir dir;
    writeFile(dir.file("d"), "d");
    ::testing::internal::CaptureStdout();
    { CFileIO neverOpened; }
    {
        CFileIO closed;
        closed.openFile(dir.file("d").c_str(), 1);
        closed.closeFile();
    }
    {
        CFileIO open;
        open.openFile(dir.file("d").c_str(), 1);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              " in fileio destructor\n in fileio destructor\n in fileio destructor\n");
}

} // namespace
