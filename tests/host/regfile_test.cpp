#include "regfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "emptyhive.h"
#include "support/tempdir.h"
#include "text/names.h"
#include "text/utf8.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;
using vqrt::RegFile;
using vqrt::RegLookup;
using vqrt::RegRoot;

constexpr const char* kV5 = "Windows Registry Editor Version 5.00\r\n";
constexpr const char* kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";

std::string utf16File(const std::string& utf8) {
    return "\xFF\xFE" + text::utf8ToUtf16le(utf8);
}

std::unique_ptr<RegFile> parse(const std::string& bytes, std::string* error = nullptr) {
    std::string ignored;
    return RegFile::parse(bytes, "t.reg", "CP1252", error != nullptr ? *error : ignored);
}

// The same export in each form regedit and editors leave it in. `unicode` is the text of the
// value "Ünïcode" as the file's encoding can hold it.
struct Encoding {
    const char* name;
    int version;
    std::string bytes;
    std::string unicode;
};

std::string body(bool regedit4, const std::string& unicodeLine) {
    std::string b = regedit4 ? "REGEDIT4\r\n" : kV5;
    b += "\r\n"
         "; exported by hand\r\n"
         "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\DefaultPrefs\\]\r\n"
         "\"Default Server Host\"=\"login.icq.com\"\r\n"
         "\"Default Server Port\" = dword:00001446\r\n"
         "\"Negative\"=dword:FFFFFFFF\r\n"
         "@=\"default text\"\r\n"
         "\"Quote \\\"x\\\"\"=\"C:\\\\Program Files\\\\ICQ\\\\\"\r\n";
    b += regedit4 ? "\"Sounds\"=hex(2):25,49,43,51,25,5c,6d,73,67,2e,\\\r\n"
                    "  77,61,76,00\r\n"
                  : "\"Sounds\"=hex(2):25,00,49,00,43,00,51,00,25,00,5c,00,6d,00,\\\r\n"
                    "  73,00,67,00,2e,00,\\\r\n"
                    "\t77,00,61,00,76,00,00,00\r\n";
    b += "\"Binary\"=hex:01,02,03\r\n"
         "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
         "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
         "\"LittleDword\"=hex(4):46,14,00,00\r\n"
         "\"Gone\"=-\r\n" +
         unicodeLine +
         "\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe]\n"
         "@=\"C:\\\\Program Files\\\\ICQ\\\\ICQ.exe\"";
    return b;
}

class RegFileEncodings : public ::testing::TestWithParam<Encoding> {};

TEST_P(RegFileEncodings, ReadsEveryKindOfLine) {
    const Encoding& e = GetParam();
    std::string error;
    std::unique_ptr<RegFile> file = parse(e.bytes, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->version(), e.version);
    EXPECT_EQ(file->warnings(), std::vector<std::string>{});

    const struct {
        const char* value;
        std::string text;
    } strings[] = {
        {"default server host", "login.icq.com"},
        {"", "default text"},
        {"Quote \"x\"", "C:\\Program Files\\ICQ\\"},
        {"Sounds", "%ICQ%\\msg.wav"},
        {"\xC3\x9Cn\xC3\xAF"
         "code",
         e.unicode},
    };
    for (const auto& s : strings) {
        char out[64];
        ASSERT_EQ(file->readString("HKCU", kPrefs, s.value, out, sizeof out), 0) << s.value;
        EXPECT_EQ(std::string(out), s.text);
    }
    char out[64];
    EXPECT_EQ(file->readString("HKEY_LOCAL_MACHINE",
                               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
                               "", out, sizeof out),
              0);
    EXPECT_STREQ(out, "C:\\Program Files\\ICQ\\ICQ.exe");

    const struct {
        const char* value;
        int answer;
        long number;
    } numbers[] = {
        {"Default Server Port", 0, 5190},  {"NEGATIVE", 0, -1},
        {"LittleDword", 0, 5190},          {"Binary", vqrt::kRegWrongType, 0},
        {"Multi", vqrt::kRegWrongType, 0}, {"Qword", vqrt::kRegWrongType, 0},
        {"Gone", vqrt::kRegNotFound, 0},   {"Default Server Host", vqrt::kRegWrongType, 0},
    };
    for (const auto& n : numbers) {
        long number = 0;
        EXPECT_EQ(file->readDword("HKCU", kPrefs, n.value, &number), n.answer) << n.value;
        EXPECT_EQ(number, n.number) << n.value;
    }
    EXPECT_EQ(file->readString("HKCU", kPrefs, "Qword", out, sizeof out), vqrt::kRegWrongType);
    EXPECT_EQ(file->lookup(RegRoot::CurrentUser, text::splitKeyPath(kPrefs), "gone").state,
              RegLookup::State::Deleted);
    EXPECT_EQ(file->lookup(RegRoot::CurrentUser, text::splitKeyPath(kPrefs), "Binary").value.type,
              vqrt::kRegBinary);
}

const std::string kUnicodeLine = "\"\xC3\x9Cn\xC3\xAF"
                                 "code\"=\"\xE6\x97\xA5\xE6\x9C\xAC\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    AllForms, RegFileEncodings,
    ::testing::Values(Encoding{"utf16", 5, utf16File(body(false, kUnicodeLine)),
                               "\xE6\x97\xA5\xE6\x9C\xAC"},
                      Encoding{"utf8bom", 5, "\xEF\xBB\xBF" + body(false, kUnicodeLine),
                               "\xE6\x97\xA5\xE6\x9C\xAC"},
                      Encoding{"utf8", 5, body(false, kUnicodeLine), "\xE6\x97\xA5\xE6\x9C\xAC"},
                      // REGEDIT4 is in the code page: "Ünïcode"="été" in Windows-1252.
                      Encoding{"regedit4", 4,
                               body(true, "\"\xDCn\xEF"
                                          "code\"=\"\xE9t\xE9\"\r\n"),
                               "\xC3\xA9t\xC3\xA9"}),
    [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

struct BadLine {
    std::string line;
    std::string expected; // after "t.reg:3: expected "
    bool nextValueKept;
};

TEST(RegFileWarnings, SkipsBadLinesWithOneWarningEach) {
    const std::string longLine = "\"a\"=" + std::string(100, 'z');
    const BadLine cases[] = {
        {"garbage", "\"name\"=value, found garbage", true},
        {"\"unterminated=1", "\"name\"=value, found \"unterminated=1", true},
        {"\"a\" \"b\"", "\"name\"=value, found \"a\" \"b\"", true},
        {"\"a\"=\"open", "a string in double quotes, found \"a\"=\"open", true},
        {"\"a\"=\"x\" junk", "a string in double quotes, found \"a\"=\"x\" junk", true},
        {"\"a\"=dword:xyz", "dword:xxxxxxxx, found \"a\"=dword:xyz", true},
        {"\"a\"=dword:123456789", "dword:xxxxxxxx, found \"a\"=dword:123456789", true},
        {"\"a\"=dword:", "dword:xxxxxxxx, found \"a\"=dword:", true},
        {"\"a\"=hex:0g", "hex bytes such as hex:00,1f, found \"a\"=hex:0g", true},
        {"\"a\"=hex:001", "hex bytes such as hex:00,1f, found \"a\"=hex:001", true},
        {"\"a\"=hex:00,,01", "hex bytes such as hex:00,1f, found \"a\"=hex:00,,01", true},
        {"\"a\"=hex(zz):00", "hex bytes such as hex:00,1f, found \"a\"=hex(zz):00", true},
        {"\"a\"=hex(2)00", "hex bytes such as hex:00,1f, found \"a\"=hex(2)00", true},
        // A continuation that is followed by no hex data leaves the value cut short.
        {"\"a\"=hex:00,\\", "hex bytes such as hex:00,1f, found \"a\"=hex:00,\\", true},
        {"\"a\"=wat", "\"string\", dword:, hex: or -, found \"a\"=wat", true},
        {longLine, "\"string\", dword:, hex: or -, found \"a\"=" + std::string(53, 'z') + "...",
         true},
        {"[HKEY_NOWHERE\\x]",
         "a key under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS or "
         "HKEY_CURRENT_CONFIG, found [HKEY_NOWHERE\\x]",
         false},
        {"[HKEY_CURRENT_USER\\x", "[HKEY_...\\key], found [HKEY_CURRENT_USER\\x", false},
        {"[-HKEY_CURRENT_USER]", "a key below the root to delete, found [-HKEY_CURRENT_USER]",
         false},
    };
    for (const BadLine& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text =
            std::string(kV5) + "[HKEY_CURRENT_USER\\K]\r\n" + c.line + "\r\n\"after\"=\"ok\"\r\n";
        for (const std::string& bytes : {text, utf16File(text)}) {
            std::unique_ptr<RegFile> file = parse(bytes);
            ASSERT_TRUE(file);
            EXPECT_EQ(file->warnings(),
                      std::vector<std::string>{"t.reg:3: expected " + c.expected});
            char out[8];
            EXPECT_EQ(file->readString("HKCU", "K", "after", out, sizeof out) == 0,
                      c.nextValueKept);
        }
    }
}

TEST(RegFileWarnings, HugeValuesAreSkipped) {
    // 17 MiB of hex bytes over continuation lines, then a line of 20 MB of garbage.
    std::string text = std::string(kV5) + "[HKEY_CURRENT_USER\\K]\n\"big\"=hex:00,\\\n";
    std::string hexLine = "  ";
    for (int i = 0; i < 25; ++i) {
        hexLine += "00,";
    }
    hexLine += "\\\n";
    size_t lines = 3;
    while (text.size() < (size_t{17} << 20)) {
        text += hexLine;
        ++lines;
    }
    text += "  00\n" + std::string(20000000, 'z') + "\n\"after\"=\"ok\"\n";
    std::unique_ptr<RegFile> file = parse(text);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->warnings(),
              (std::vector<std::string>{
                  "t.reg:3: expected at most 16 MiB of value text, found \"big\"=hex:00,\\",
                  "t.reg:" + std::to_string(lines + 2) + ": expected \"name\"=value, found " +
                      std::string(57, 'z') + "..."}));
    char out[8];
    EXPECT_EQ(file->readString("HKCU", "K", "after", out, sizeof out), 0);
    EXPECT_EQ(file->readString("HKCU", "K", "big", out, sizeof out), vqrt::kRegNotFound);
}

TEST(RegFileWarnings, ValueBeforeAnyKey) {
    std::unique_ptr<RegFile> file = parse(std::string(kV5) + "\n\"a\"=\"b\"\n");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->warnings(),
              std::vector<std::string>{"t.reg:3: expected [key] before the first value, found "
                                       "\"a\"=\"b\""});
}

TEST(RegFileErrors, RefusesWhatIsNoExport) {
    const std::string expected =
        "not a registry export (expected \"REGEDIT4\" or \"Windows Registry Editor Version "
        "5.00\", found ";
    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {"", "t.reg: " + expected + "an empty file)"},
        {"hello\r\nworld\r\n", "t.reg:1: " + expected + "hello)"},
        {utf16File("REGEDIT5\r\n"), "t.reg:1: " + expected + "REGEDIT5)"},
        {"\x01\x02\x03", "t.reg:1: " + expected +
                             "?"
                             "?"
                             "?)"},
        {"[HKEY_CURRENT_USER\\x]\n", "t.reg:1: " + expected + "[HKEY_CURRENT_USER\\x])"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parse(c.bytes, &error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(RegFileErrors, LoadNamesTheFileAndCause) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(RegFile::load(dir.file("none.reg"), "CP1252", error));
    EXPECT_EQ(error, dir.file("none.reg") + ": cannot open (No such file or directory)");
    EXPECT_FALSE(RegFile::load(dir.path(), "CP1252", error));
    EXPECT_EQ(error, dir.path() + ": not a registry export (expected a file, found a directory)");

    // A sparse file: refused by its size before anything is read.
    const std::string huge = dir.file("huge.reg");
    writeFile(huge, kV5);
    ASSERT_EQ(truncate(huge.c_str(), off_t{1} << 30), 0);
    EXPECT_FALSE(RegFile::load(huge, "CP1252", error));
    EXPECT_EQ(error, huge + ": too large for a registry export (expected at most 134217728 bytes, "
                            "found 1073741824)");

    writeFile(dir.file("ok.reg"), std::string(kV5) + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1\n");
    std::unique_ptr<RegFile> file = RegFile::load(dir.file("ok.reg"), "CP1252", error);
    ASSERT_TRUE(file);
    long n = 0;
    EXPECT_EQ(file->readDword("HKCU", "a", "V", &n), 0);
    EXPECT_EQ(n, 1);
}

TEST(RegFileDeletions, DeletedKeysHideTheirSubkeysUntilSetAgain) {
    std::unique_ptr<RegFile> file = parse(std::string(kV5) + "[HKEY_CURRENT_USER\\A\\B]\n"
                                                             "\"x\"=\"1\"\n"
                                                             "[HKEY_CURRENT_USER\\A b]\n"
                                                             "\"k\"=\"kept\"\n"
                                                             "[-HKEY_CURRENT_USER\\a]\n"
                                                             "\"ignored\"=\"after a deletion\"\n"
                                                             "[HKEY_CURRENT_USER\\A\\B\\C]\n"
                                                             "\"y\"=\"2\"\n"
                                                             "[HKEY_CURRENT_USER\\A]\n"
                                                             "\"z\"=-\n");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->warnings().empty());
    using State = RegLookup::State;
    const struct {
        const char* key;
        const char* value;
        State state;
    } cases[] = {
        {"A\\B", "x", State::Deleted},    {"A\\B\\C", "y", State::Found},
        {"A\\B\\C", "w", State::Deleted}, {"A", "z", State::Deleted},
        {"A", "ignored", State::Deleted}, {"A b", "k", State::Found},
        {"A2", "x", State::Absent},       {"Other\\A\\B", "x", State::Absent},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(file->lookup(RegRoot::CurrentUser, text::splitKeyPath(c.key), c.value).state,
                  c.state)
            << c.key << " " << c.value;
    }
    EXPECT_EQ(file->lookup(RegRoot::LocalMachine, text::splitKeyPath("A\\B"), "x").state,
              State::Absent);
}

} // namespace
