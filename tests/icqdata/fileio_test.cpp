#include "icqdata/fileio.h"

#include "support/tempdir.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <tuple>
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

std::string readText(CFileIO& file, char terminator = '\n') {
    const std::unique_ptr<char[]> text(file.stringRead(terminator));
    return text ? text.get() : "<null>";
}

TEST(FileIO, ReadsBytesAndPositions) {
    TempDir dir;
    writeFile(dir.file("s"), "0\0002345678\n"s);
    CFileIO file;
    ASSERT_EQ(file.openFile(dir.file("s").c_str(), 1), 0);
    EXPECT_STREQ(file.readChar(), "0");
    EXPECT_STREQ(file.readChar(), "");
    EXPECT_EQ(file.getSize(), 10);
    EXPECT_EQ(file.getCurrentPos(), 2);
    EXPECT_EQ(readAll(file), "2345678\n");
    // Moving back after the end reads again, stringRead included.
    EXPECT_EQ(file.moveToPos(3), 0);
    EXPECT_EQ(readText(file, '6'), "345");
    EXPECT_EQ(file.getCurrentPos(), 7);
    file.closeFile();
    EXPECT_EQ(file.readChar(), nullptr);
    EXPECT_EQ(readText(file), "<null>");
    // A text stops at 1023 characters or the terminator.
    const std::string exact(1023, 'e');
    writeFile(dir.file("t"), exact + "\n" + exact + "Xrest\n\nlast");
    ASSERT_EQ(file.openFile(dir.file("t").c_str(), 1), 0);
    EXPECT_EQ(readText(file), exact);
    EXPECT_EQ(readText(file), exact); // 'X' is consumed and lost
    EXPECT_EQ(readText(file), "rest");
    EXPECT_EQ(readText(file), "");
    EXPECT_EQ(readText(file), "last"); // the end of the file ends the text
    EXPECT_EQ(readText(file), "<null>");
}

// Only a regular file is read: a FIFO's open must not wait for a writer, and a device such as
// /dev/zero never ends. An unknown mode opens and creates nothing.
TEST(FileIO, OpensOnlyRegularFilesForReading) {
    TempDir dir;
    writeFile(dir.file("file"), "dat");
    ASSERT_EQ(::symlink(dir.file("file").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    for (const auto& [name, mode, expected] :
         {std::tuple<std::string, int, std::string>{"link", 1, "0 dat"},
          {"fifo", 1, "-1 "},
          {"zero", 1, "-1 "},
          {"missing", 0, "-1 "}}) {
        const std::string path = dir.file(name);
        CFileIO file;
        auto opened =
            std::async(std::launch::async, [&] { return file.openFile(path.c_str(), mode); });
        if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK)); // lets the test end
            ADD_FAILURE() << "openFile waited for a writer";
        }
        EXPECT_EQ(std::to_string(opened.get()) + " " + readAll(file), expected) << name;
    }
    EXPECT_NE(access(dir.file("missing").c_str(), F_OK), 0);
}

// Writing truncates, appending writes at the end wherever the position is; the destructor
// closes and flushes. Created files get 0664 less the umask; existing ones keep their bits.
TEST(FileIO, WritesAndAppends) {
    TempDir dir;
    const std::string path = dir.file("w");
    writeFile(path, "old content");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
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
    const mode_t saved = umask(0);
    {
        CFileIO fresh;
        ASSERT_EQ(fresh.openFile(dir.file("new").c_str(), 3), 0);
        fresh.stringWrite("fresh");
    }
    umask(saved);
    EXPECT_EQ(readFile(dir.file("new")), "fresh");
    for (const auto& [name, mode] : {std::pair<std::string, mode_t>{"w", 0600}, {"new", 0664}}) {
        struct stat st {};
        ASSERT_EQ(stat(dir.file(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << name;
    }
}

} // namespace
