#include "hiveregistry.h"

#include <string>

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

// Hives that are damaged or no hives at all are read by tolvane-import in the end-to-end tests.

namespace {

// Texts as hives hold them: UTF-16LE with or without a terminator, or bytes in the code page.
TEST(HiveStringToUtf8, DecodesWellFormedAndDamagedData) {
    const auto decode = [](const std::string& data) {
        return vqrt::hiveStringToUtf8(data, "CP1252");
    };
    EXPECT_EQ(decode(std::string("a\0b\0\0", 5)), "ab"); // odd size, NUL last
    EXPECT_EQ(decode(std::string("\x3D\xD8\x00\xDE\0\0", 6)), "\xF0\x9F\x98\x80");
    EXPECT_EQ(decode("\x41\x04\x42\x04"), "\xD1\x81\xD1\x82"); // no terminator
    EXPECT_EQ(decode(std::string("M\xFCller\0", 7)), "M\xC3\xBCller");
}

TEST(HiveRegistry, HiveWithAStaleChecksumIsReadAndAMissingOneIsEmpty) {
    testsupport::TempDir dir;
    testsupport::buildSample({{"users", {"U"}},
                              {"extraValues",
                               {{{"root", "HKCU"},
                                 {"key", "Alpha"},
                                 {"name", "v"},
                                 {"type", "sz"},
                                 {"value", "here"}}}}},
                             dir.path());
    const std::string hive = dir.file("Documents and Settings/U/NTUSER.DAT");
    std::string bytes = testsupport::readFile(hive);
    bytes[0x1FC] ^= 1;
    testsupport::writeFile(hive, bytes);
    vqrt::HiveRegistry registry({"", "", hive});
    char out[8] = "";
    EXPECT_EQ(registry.readString("HKCU", "Alpha", "v", out, sizeof out), 0);
    EXPECT_STREQ(out, "here");
    vqrt::HiveRegistry missing({dir.file("none"), "", ""});
    EXPECT_EQ(missing.readString("HKLM", "Alpha", "v", out, sizeof out), vqrt::kRegNotFound);
    using Lines = std::vector<std::string>;
    EXPECT_EQ(
        registry.warnings(),
        Lines{hive + ": damaged registry hive (header checksum wrong), reading what it holds"});
    EXPECT_EQ(
        missing.warnings(),
        Lines{dir.file("none") + ": cannot open the registry hive (No such file or directory)"});
}

} // namespace
