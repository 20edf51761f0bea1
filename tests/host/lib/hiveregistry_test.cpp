#include "hiveregistry.h"

#include <string>

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

// Texts as hives hold them: UTF-16LE with or without a terminator, or bytes in the code page.
TEST(HiveStringToUtf8, DecodesWellFormedAndDamagedData) {
    const struct {
        std::string data;
        std::string text;
    } cases[] = {
        {std::string("a\0b\0\0\0", 6), "ab"},
        {std::string("a\0b\0\0", 5), "ab"},                           // odd size, NUL last
        {std::string("a\0b", 3), "a\xEF\xBF\xBD"},                    // odd stray byte
        {std::string("\x3D\xD8\x00\xDE\0\0", 6), "\xF0\x9F\x98\x80"}, // surrogate pair
        {"\x41\x04\x42\x04", "\xD1\x81\xD1\x82"},                     // Cyrillic, no terminator
        {std::string("C:\\ICQ\0", 7), "C:\\ICQ"},                     // 8-bit, odd size
        {std::string("M\xFCller\0", 7), "M\xC3\xBCller"},             // code page text
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vqrt::hiveStringToUtf8(c.data, "CP1252"), c.text) << c.text;
    }
}

TEST(HiveRegistry, MissingOrBrokenHivesReadAsEmptyOrAsFarAsTheyGo) {
    // A user hive whose first half holds "Alpha" and the root's key list: the builder writes
    // keys in name order, so the 40 values of 3000 bytes below "Zulk" come last.
    TempDir dir;
    nlohmann::json values = {
        {{"root", "HKCU"}, {"key", "Alpha"}, {"name", "v"}, {"type", "sz"}, {"value", "here"}}};
    for (int i = 0; i < 40; ++i) {
        values.push_back({{"root", "HKCU"},
                          {"key", "Zulk\\K" + std::to_string(i)},
                          {"name", "v"},
                          {"type", "sz"},
                          {"value", std::string(3000, 'v')}});
    }
    testsupport::buildSample({{"users", {"U"}}, {"extraValues", values}}, dir.file("sample"));
    const std::string good =
        testsupport::readFile(dir.file("sample/Documents and Settings/U/NTUSER.DAT"));
    std::string badSum = good;
    badSum[0x1FC] ^= 1;
    const struct {
        const char* name;
        std::string bytes;
        std::string problem;
    } cases[] = {
        {"missing", "", ": cannot open the registry hive (No such file or directory)"},
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
        vqrt::HiveRegistry registry("", path);
        EXPECT_EQ(registry.warnings(), std::vector<std::string>{path + c.problem});
        char out[32] = "";
        const bool readable = c.problem.find("reading what it holds") != std::string::npos;
        EXPECT_EQ(registry.readString("HKCU", "Alpha", "v", out, sizeof out),
                  readable ? 0 : vqrt::kRegNotFound);
        EXPECT_STREQ(out, readable ? "here" : "");
        long number = 0;
        EXPECT_NE(registry.readDword("HKCU", "Zulk\\K1", "v", &number), 0);
    }
}

} // namespace
