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

std::string readText(CFileIO& file, char terminator) {
    const std::unique_ptr<char[]> text(file.stringRead(terminator));
    return text ? text.get() : "<null>";
}

TEST(FileIO, ReadsBytesAndPositions) {
    TempDir dir;
    writeFile(dir.file("s"), "0\0002345678\n"s);
    CFileIO file;
    EXPECT_EQ(file.getCurrentPos(), -1);
    EXPECT_EQ(file.getSize(), -1);
    ASSERT_EQ(file.openFile(dir.file("s").c_str(), 1), 0);
    EXPECT_STREQ(file.readChar(), "0");
    EXPECT_STREQ(file.readChar(), "");
    EXPECT_EQ(file.getSize(), 10);
    EXPECT_EQ(file.getCurrentPos(), 2);
    EXPECT_EQ(readAll(file), "2345678\n");
    EXPECT_EQ(file.readChar(), nullptr);
    // Moving back after the end reads again, stringRead included.
    EXPECT_EQ(file.moveToPos(3), 0);
    EXPECT_EQ(readText(file, '6'), "345");
    EXPECT_EQ(file.getCurrentPos(), 7);
    file.closeFile();
    EXPECT_EQ(file.readChar(), nullptr);
    EXPECT_EQ(readText(file, '\n'), "<null>");
}

TEST(FileIO, StringReadStopsAt1023CharactersOrTheTerminator) {
    TempDir dir;
    const std::string exact(1023, 'e');
    writeFile(dir.file("t"), exact + "\n" + std::string(1023, 'l') + "Xrest\n\nlast");
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("t").c_str(), 1), 0);
    EXPECT_EQ(readText(file, '\n'), exact);
    EXPECT_EQ(readText(file, '\n'), std::string(1023, 'l')); // 'X' is consumed and lost
    EXPECT_EQ(readText(file, '\n'), "rest");
    EXPECT_EQ(readText(file, '\n'), "");
    EXPECT_EQ(readText(file, '\n'), "last"); // the end of the file ends the text
    EXPECT_EQ(readText(file, '\n'), "<null>");
}

TEST(FileIO, ReadsLargeFilesAcrossBufferRefills) {
    TempDir dir;
    std::string bytes(3 * 64 * 1024 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7919) % 251);
    }
    writeFile(dir.file("big"), bytes);
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("big").c_str(), 1), 0);
    EXPECT_EQ(readAll(file), bytes);
}

// /proc/self/mem is a regular file whose first page is never mapped: every read of it fails
// with EIO, as reads of a damaged disk do. They read as the end of the file.
TEST(FileIO, ReadErrorsReadAsTheEndOfTheFile) {
    CFileIO chars;
    if (chars.openFile("/proc/self/mem", 1) != 0) {
        GTEST_SKIP() << "/proc/self/mem cannot be opened here";
    }
    EXPECT_EQ(chars.readChar(), nullptr);
    EXPECT_EQ(readText(chars, '\n'), "<null>");
    CFileIO text;
    ASSERT_EQ(text.openFile("/proc/self/mem", 1), 0);
    EXPECT_EQ(readText(text, '\n'), "");
    EXPECT_EQ(readText(text, '\n'), "<null>");
}

// Only a regular file is read: a FIFO's open must not wait for a writer, and a device such as
// /dev/zero never ends. Unknown modes open nothing.
TEST(FileIO, OpensOnlyRegularFilesForReading) {
    TempDir dir;
    writeFile(dir.file("file"), "dat");
    ASSERT_EQ(::symlink(dir.file("file").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    const auto open = [&](const std::string& name, int mode) {
        const std::string path = dir.file(name);
        CFileIO file;
        auto opened =
            std::async(std::launch::async, [&] { return file.openFile(path.c_str(), mode); });
        if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            // A writer lets the waiting open go on, so that the test can end.
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "openFile waited for a writer";
        }
        return std::to_string(opened.get()) + " " + readAll(file);
    };
    EXPECT_EQ(open("link", 1), "0 dat");
    for (const char* name : {"fifo", "zero", "dangling", "", "missing"}) {
        EXPECT_EQ(open(name, 1), "-1 ") << name;
    }
    for (const int mode : {0, 4, -1}) {
        EXPECT_EQ(open("file", mode), "-1 ") << mode;
        EXPECT_EQ(open("missing", mode), "-1 ") << mode;
    }
    EXPECT_EQ(readFile(dir.file("file")), "dat");
    EXPECT_NE(access(dir.file("missing").c_str(), F_OK), 0);
}

TEST(FileIO, WritesAndAppends) {
    TempDir dir;
    const std::string path = dir.file("w");
    writeFile(path, "old content");
    CFileIO file;
    ASSERT_EQ(file.openFile(path.c_str(), 2), 0);
    file.writeChar('a');
    file.writeChar('\0');
    EXPECT_EQ(file.stringWrite("bc"), 0);
    EXPECT_EQ(file.getCurrentPos(), 4);
    EXPECT_EQ(file.closeFile(), 0);
    EXPECT_EQ(readFile(path), "a\0bc"s);

    ASSERT_EQ(file.openFile(path.c_str(), 3), 0);
    file.moveToPos(0);
    file.stringWrite("de");
    file.closeFile();
    EXPECT_EQ(readFile(path), "a\0bcde"s);
    {
        // Not closed explicitly: the destructor closes and flushes.
        CFileIO fresh;
        ASSERT_EQ(fresh.openFile(dir.file("new").c_str(), 3), 0);
        fresh.stringWrite("fresh");
    }
    EXPECT_EQ(readFile(dir.file("new")), "fresh");
}

TEST(FileIO, CreatedFilesGet0664LessTheUmask) {
    struct Case {
        mode_t umask;
        int mode;
        mode_t existing; // 0: the file is created
        mode_t expected;
    };
    for (const Case& c : {Case{0, 2, 0, 0664}, Case{022, 2, 0, 0644}, Case{077, 3, 0, 0600},
                          Case{0, 2, 0600, 0600}}) {
        TempDir dir;
        const std::string path = dir.file("p");
        if (c.existing != 0) {
            writeFile(path, "keep");
            ASSERT_EQ(chmod(path.c_str(), c.existing), 0);
        }
        const mode_t saved = umask(c.umask);
        CFileIO file;
        const int opened = file.openFile(path.c_str(), c.mode);
        umask(saved);
        ASSERT_EQ(opened, 0);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected) << "umask " << c.umask << " mode " << c.mode;
    }
}

} // namespace
