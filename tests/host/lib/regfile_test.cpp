#include "regfile.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "text/names.h"
#include "text/utf8.h"

// Exports as edited by hand or by other programs; the builder's are read in hostsession_test.

namespace {

using vqrt::RegFile;
using vqrt::RegLookup;

constexpr const char* kV5 = "Windows Registry Editor Version 5.00\r\n";

std::unique_ptr<RegFile> parse(const std::string& bytes, std::string* error = nullptr) {
    std::string ignored;
    return RegFile::parse(bytes, "t.reg", "CP1252", error != nullptr ? *error : ignored);
}

std::string readString(RegFile& file, const char* name) {
    char out[64];
    return file.readString("HKCU", "K", name, out, sizeof out) == 0 ? out : "<none>";
}

TEST(RegFile, ReadsHandEditedExportsInUtf8) {
    const std::string text = "\xEF\xBB\xBF" + std::string(kV5) +
                             "\r\n; a comment\r\n[HKEY_CURRENT_USER\\K\\]\r\n"
                             "\"Spaced\" = dword:00001446\r\n"
                             "\"Little\"=hex(4):46,14,00,00\r\n"
                             "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
                             "\"Text\"=hex(2):25,00,49,00,\\\r\n\t43,00,51,00,25,00,00,00\r\n"
                             "\"\xC3\x9C\"=\"\xE6\x97\xA5\"\r\n";
    const std::unique_ptr<RegFile> file = parse(text);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->warnings().empty());
    long number = 0;
    EXPECT_EQ(file->readDword("HKCU", "K", "spaced", &number), 0);
    EXPECT_EQ(number, 5190);
    EXPECT_EQ(file->readDword("HKCU", "K", "Little", &number), 0);
    EXPECT_EQ(number, 5190);
    EXPECT_EQ(file->readDword("HKCU", "K", "Multi", &number), vqrt::kRegWrongType);
    EXPECT_EQ(readString(*file, "Text"), "%ICQ%");
    EXPECT_EQ(readString(*file, "\xC3\xBC"), "\xE6\x97\xA5");
}

// A whole registry exported on Windows 98 has no HKEY_CURRENT_USER: the user logged on is
// the one below HKEY_USERS besides .DEFAULT, or .DEFAULT without profiles.
TEST(RegFile, FindsTheCurrentUserOfAWholeWindows98Registry) {
    const std::pair<std::string, std::string> cases[] = {
        {"[HKEY_USERS\\.DEFAULT\\K]\r\n\"v\"=\"default\"\r\n", "default"},
        {"[HKEY_USERS\\.Default\\K]\r\n\"v\"=\"default\"\r\n"
         "[HKEY_USERS\\alice\\K]\r\n\"v\"=\"alice\"\r\n",
         "alice"},
        {"[HKEY_USERS\\alice\\K]\r\n\"v\"=\"alice\"\r\n[HKEY_USERS\\bob\\K]\r\n\"v\"=\"bob\"\r\n",
         "<none>"},
        {"[HKEY_USERS\\.DEFAULT\\K]\r\n\"v\"=\"default\"\r\n[HKEY_CURRENT_USER\\Other]\r\n"
         "\"v\"=\"other\"\r\n",
         "<none>"},
    };
    for (const auto& [keys, expected] : cases) {
        SCOPED_TRACE(keys);
        const std::unique_ptr<RegFile> file = parse("REGEDIT4\r\n\r\n" + keys);
        ASSERT_TRUE(file);
        EXPECT_EQ(readString(*file, "v"), expected);
    }
}

TEST(RegFile, SkipsBadLinesWithOneWarningEach) {
    const struct {
        std::string line;
        std::string expected; // after "t.reg:3: expected "
        bool nextValueKept;
    } cases[] = {
        {"garbage", "\"name\"=value, found garbage", true},
        {"\"a\"=\"x\" junk", "a string in double quotes, found \"a\"=\"x\" junk", true},
        {"\"a\"=dword:123456789", "dword:xxxxxxxx, found \"a\"=dword:123456789", true},
        // A continuation that is followed by no hex data leaves the value cut short.
        {"\"a\"=hex:00,\\", "hex bytes such as hex:00,1f, found \"a\"=hex:00,\\", true},
        {"\"a\"=wat", "\"string\", dword:, hex: or -, found \"a\"=wat", true},
        {"[HKEY_NOWHERE\\x]",
         "a key under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS or "
         "HKEY_CURRENT_CONFIG, found [HKEY_NOWHERE\\x]",
         false},
        {"[HKEY_CURRENT_USER\\x", "[HKEY_...\\key], found [HKEY_CURRENT_USER\\x", false},
        {"[-HKEY_CURRENT_USER]", "a key below the root to delete, found [-HKEY_CURRENT_USER]",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text =
            std::string(kV5) + "[HKEY_CURRENT_USER\\K]\r\n" + c.line + "\r\n\"after\"=\"ok\"\r\n";
        for (const std::string& bytes : {text, "\xFF\xFE" + text::utf8ToUtf16le(text)}) {
            std::unique_ptr<RegFile> file = parse(bytes);
            ASSERT_TRUE(file);
            EXPECT_EQ(file->warnings(),
                      std::vector<std::string>{"t.reg:3: expected " + c.expected});
            EXPECT_EQ(readString(*file, "after") == "ok", c.nextValueKept);
        }
    }
    EXPECT_EQ(parse(std::string(kV5) + "\n\"a\"=\"b\"\n")->warnings(),
              std::vector<std::string>{
                  "t.reg:3: expected [key] before the first value, found \"a\"=\"b\""});
}

TEST(RegFile, RefusesWhatIsNoExport) {
    const std::string expected =
        ": not a registry export (expected \"REGEDIT4\" or \"Windows Registry Editor Version "
        "5.00\", found ";
    std::string error;
    EXPECT_FALSE(parse("", &error));
    EXPECT_EQ(error, "t.reg" + expected + "an empty file)");
    EXPECT_FALSE(parse("\xFF\xFE" + text::utf8ToUtf16le("REGEDIT5\x01\r\n"), &error));
    EXPECT_EQ(error, "t.reg:1" + expected + "REGEDIT5?)");
    testsupport::TempDir dir;
    EXPECT_FALSE(RegFile::load(dir.file("none.reg"), "CP1252", error));
    EXPECT_EQ(error, dir.file("none.reg") + ": cannot open (No such file or directory)");
    // A sparse file: refused by its size before anything is read.
    const std::string huge = dir.file("huge.reg");
    testsupport::writeFile(huge, kV5);
    ASSERT_EQ(truncate(huge.c_str(), off_t{1} << 30), 0);
    EXPECT_FALSE(RegFile::load(huge, "CP1252", error));
    EXPECT_EQ(error, huge + ": too large for a registry export (expected at most 134217728 bytes, "
                            "found 1073741824)");
}

} // namespace
