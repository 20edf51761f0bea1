#include "hiveregistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "emptyhive.h"
#include "support/tempdir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using vqrt::HiveRegistry;

constexpr const char* kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
// "ab", e acute (2 bytes), a CJK character (3 bytes), "c": 8 bytes of UTF-8.
const std::string kMixed = "ab\xC3\xA9\xE6\x97\xA5"
                           "c";

void buildHives(const TempDir& dir) {
    mkwin::RegistryTree software;
    software.setString("Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
                       "C:\\Program Files\\ICQ\\ICQ.exe");
    std::string error;
    ASSERT_TRUE(mkwin::writeHive(dir.file("SOFTWARE"), software, error)) << error;

    mkwin::RegistryTree user;
    user.setString(kPrefs, "Default Server Host", "login.icq.com");
    user.setDword(kPrefs, "Default Server Port", 5190);
    user.setDword(kPrefs, "Negative Port", 0xFFFFFFFFu);
    user.setRaw(kPrefs, "Big Endian", mkwin::kHiveDwordBigEndian, std::string("\0\0\x14\x46", 4));
    user.setRaw(kPrefs, "Short Dword", mkwin::kHiveDword, "\x01\x02");
    user.setString(kPrefs, "", "the default");
    user.setExpandString("Software\\Mirabilis\\ICQ\\Owners\\12345\\Prefs\\Sounds", "Message",
                         "%ICQ%\\Sounds\\msg.wav");
    user.setString("Software\\Mirabilis\\ICQ\\Owners\\12345\\Prefs", "PlaySound", "Yes");
    user.setString("Software\\\xC3\x9C"
                   "ber",
                   "\xC3\x84rger \xD0\x96", "\xE6\x97\xA5\xE6\x9C\xAC");
    user.setString("Software\\Cut", "Mixed", kMixed);
    user.setString("Software\\Cut", "Long", std::string(5000, 'x'));
    user.setRaw("Software\\Raw", "Binary", mkwin::kHiveBinary, "abc");
    user.setRaw("Software\\Raw", "Ansi", mkwin::kHiveSz, std::string("C:\\ICQ\0", 7));
    ASSERT_TRUE(mkwin::writeHive(dir.file("NTUSER.DAT"), user, error)) << error;
}

class HiveRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(buildHives(dir));
        registry = std::make_unique<HiveRegistry>(dir.file("SOFTWARE"), dir.file("NTUSER.DAT"));
        ASSERT_TRUE(registry->warnings().empty());
    }
    TempDir dir;
    std::unique_ptr<HiveRegistry> registry;
};

struct StringCase {
    const char* root;
    const char* key;
    const char* value;
    int answer;
    std::string text;
};

TEST_F(HiveRegistryTest, ReadsStrings) {
    const StringCase cases[] = {
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
         "", 0, "C:\\Program Files\\ICQ\\ICQ.exe"},
        {"hklm", "software\\microsoft\\windows\\currentversion\\app paths\\icq.EXE\\", nullptr, 0,
         "C:\\Program Files\\ICQ\\ICQ.exe"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs\\", "Default Server Host", 0,
         "login.icq.com"},
        {"HKCU", "\\SOFTWARE\\mirabilis\\\\icq\\defaultprefs", "DEFAULT SERVER HOST", 0,
         "login.icq.com"},
        {"HKEY_CURRENT_USER", kPrefs, "", 0, "the default"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345\\Prefs\\Sounds\\", "message",
         0, "%ICQ%\\Sounds\\msg.wav"},
        {"HKEY_CURRENT_USER",
         "software\\\xC3\xBC"
         "BER",
         "\xC3\xA4RGER \xD0\xB6", 0, "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"HKEY_CURRENT_USER", "Software\\Raw", "Ansi", 0, "C:\\ICQ"},
        // Not there, or not a text.
        {"HKEY_CURRENT_USER", kPrefs, "Default Server Port", vqrt::kRegWrongType, ""},
        {"HKEY_CURRENT_USER", "Software\\Raw", "Binary", vqrt::kRegWrongType, ""},
        {"HKEY_CURRENT_USER", kPrefs, "Missing", vqrt::kRegNotFound, ""},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\AIM", "", vqrt::kRegNotFound, ""},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
         vqrt::kRegNotFound, ""},
        {"HKEY_LOCAL_MACHINE", "Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
         vqrt::kRegNotFound, ""},
        {"HKEY_USERS", kPrefs, "Default Server Host", vqrt::kRegNotFound, ""},
        {"HKEY_SOMEWHERE", kPrefs, "Default Server Host", vqrt::kRegBadArgument, ""},
        {nullptr, kPrefs, "Default Server Host", vqrt::kRegBadArgument, ""},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " / " + (c.value ? c.value : "(null)"));
        char out[128];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(registry->readString(c.root, c.key, c.value, out, sizeof out), c.answer);
        if (c.answer == 0) {
            EXPECT_EQ(std::string(out), c.text);
        } else {
            EXPECT_EQ(out[0], '#'); // untouched
        }
    }
}

TEST_F(HiveRegistryTest, ReadsDwordsWithTheirSign) {
    const struct {
        const char* value;
        int answer;
        long number;
    } cases[] = {
        {"Default Server Port", 0, 5190},
        {"negative port", 0, -1},
        {"Big Endian", 0, 5190},
        {"Short Dword", vqrt::kRegWrongType, 0},
        {"Default Server Host", vqrt::kRegWrongType, 0},
        {"Nothing", vqrt::kRegNotFound, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        long out = 77;
        EXPECT_EQ(registry->readDword("HKEY_CURRENT_USER", kPrefs, c.value, &out), c.answer);
        EXPECT_EQ(out, c.answer == 0 ? c.number : 77);
    }
    EXPECT_EQ(registry->readDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port", nullptr),
              vqrt::kRegBadArgument);
}

TEST_F(HiveRegistryTest, CutsLongValuesAtCharacterBoundariesWithinOutSize) {
    const char* expected[] = {"",
                              "",
                              "a",
                              "ab",
                              "ab",
                              "ab\xC3\xA9",
                              "ab\xC3\xA9",
                              "ab\xC3\xA9",
                              "ab\xC3\xA9\xE6\x97\xA5",
                              kMixed.c_str(),
                              kMixed.c_str()};
    for (size_t outSize = 0; outSize <= 10; ++outSize) {
        SCOPED_TRACE(outSize);
        char out[16];
        std::memset(out, '#', sizeof out);
        const int answer = registry->readString("HKCU", "Software\\Cut", "Mixed", out, outSize);
        if (outSize == 0) {
            EXPECT_EQ(answer, vqrt::kRegBadArgument);
        } else {
            EXPECT_EQ(answer, 0);
            EXPECT_EQ(std::string(out), expected[outSize]);
        }
        for (size_t i = outSize; i < sizeof out; ++i) {
            ASSERT_EQ(out[i], '#') << "byte " << i << " written";
        }
    }
    char out[128];
    ASSERT_EQ(registry->readString("HKCU", "Software\\Cut", "Long", out, sizeof out), 0);
    EXPECT_EQ(std::string(out), std::string(127, 'x'));
}

TEST(HiveStringToUtf8, DecodesWellFormedAndDamagedData) {
    const struct {
        std::string data;
        std::string text;
    } cases[] = {
        {std::string("a\0b\0\0\0", 6), "ab"},
        {std::string("a\0b\0", 4), "ab"},                             // no terminator
        {std::string("a\0b\0\0", 5), "ab"},                           // odd size, NUL last
        {std::string("a\0b", 3), "a\xEF\xBF\xBD"},                    // odd stray byte
        {std::string("\x3D\xD8\x00\xDE\0\0", 6), "\xF0\x9F\x98\x80"}, // surrogate pair
        {"\x41\x04\x42\x04", "\xD1\x81\xD1\x82"},                     // Cyrillic, no terminator
        {std::string("C:\\ICQ\0", 7), "C:\\ICQ"},                     // 8-bit, odd size
        {std::string("abc\0", 4), "abc"},                             // 8-bit, even size
        {"abcd", "abcd"},                                             // 8-bit, no terminator
        {std::string("M\xFCller\0", 7), "M\xC3\xBCller"},             // code page text
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vqrt::hiveStringToUtf8(c.data, "CP1252"), c.text) << c.text;
    }
}

std::string hiveBytes(const TempDir& dir) {
    const std::string path = dir.file("good");
    mkwin::RegistryTree tree;
    // "Alpha" is written before the bulk, so its cells lie in the first bin.
    tree.setString("Alpha", "v", "here");
    for (int i = 0; i < 40; ++i) {
        tree.setString("Bulk\\K" + std::to_string(i), "v", std::string(3000, 'v'));
    }
    std::string error;
    EXPECT_TRUE(mkwin::writeHive(path, tree, error)) << error;
    return readFile(path);
}

TEST(HiveRegistryDamage, MissingOrBrokenHivesReadAsEmptyWithOneLineEach) {
    TempDir dir;
    const std::string good = hiveBytes(dir);
    ASSERT_GT(good.size(), 3 * 4096u);
    std::string badSum = good;
    badSum[0x1FC] ^= 1;
    const struct {
        const char* name;
        std::string bytes;
        std::string problem;
    } cases[] = {
        {"missing", "", ": cannot open the registry hive (No such file or directory)"},
        {"empty", "", ": not a registry hive (expected at least 8192 bytes, found 0)"},
        {"short", good.substr(0, 5000),
         ": not a registry hive (expected at least 8192 bytes, found 5000)"},
        {"garbage", std::string(8192, 'x'),
         ": not a registry hive (expected \"regf\" at the start, found 78 78 78 78)"},
        {"nobins", "regf" + std::string(12284, '\0'),
         ": damaged registry hive, read as empty (hivex: Operation not supported)"},
        {"badsum", badSum,
         ": damaged registry hive (header checksum wrong), reading what it holds"},
        {"cut", good.substr(0, good.size() / 2 + 100),
         ": damaged registry hive (bins cut short, header checksum wrong), reading what it holds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        if (std::string(c.name) != "missing") {
            writeFile(path, c.bytes);
        }
        HiveRegistry registry("", path);
        EXPECT_EQ(registry.warnings(), std::vector<std::string>{path + c.problem});
        char out[32] = "";
        const int answer = registry.readString("HKCU", "Alpha", "v", out, sizeof out);
        if (c.problem.find("reading what it holds") != std::string::npos) {
            EXPECT_EQ(answer, 0);
            EXPECT_STREQ(out, "here");
        } else {
            EXPECT_EQ(answer, vqrt::kRegNotFound);
        }
        long number = 0;
        EXPECT_NE(registry.readDword("HKCU", "Bulk\\K1", "v", &number), 0);
    }
    HiveRegistry directory(dir.path(), "");
    EXPECT_EQ(directory.warnings(),
              std::vector<std::string>{
                  dir.path() + ": not a registry hive (expected a file, found a directory)"});
}

// Random damage inside the bins must never make a lookup crash or hang.
TEST(HiveRegistryDamage, SurvivesRandomlyDamagedCells) {
    TempDir dir;
    const std::string good = hiveBytes(dir);
    std::mt19937 random(1234);
    std::uniform_int_distribution<size_t> offset(4096, good.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 150; ++round) {
        std::string bytes = good;
        for (int i = 0; i < 24; ++i) {
            bytes[offset(random)] = static_cast<char>(byte(random));
        }
        const std::string path = dir.file("damaged");
        writeFile(path, bytes);
        HiveRegistry registry("", path);
        char out[64];
        for (int i = 0; i < 40; ++i) {
            registry.readString("HKCU", ("Bulk\\K" + std::to_string(i)).c_str(), "v", out,
                                sizeof out);
        }
        registry.readString("HKCU", "Alpha", "v", out, sizeof out);
    }
}

} // namespace
