#include "layeredregistry.h"

#include <gtest/gtest.h>

#include "emptyhive.h"
#include "hiveregistry.h"
#include "regfile.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;
using vqrt::LayeredRegistry;

constexpr const char* kV5 = "Windows Registry Editor Version 5.00\r\n";

// Hives at the bottom, two .reg files above: each value's source is the topmost layer that
// knows it.
class LayeringTest : public ::testing::Test {
protected:
    void SetUp() override {
        mkwin::RegistryTree hive;
        hive.setString("Software\\App", "FromHive", "hive");
        hive.setString("Software\\App", "Overridden", "hive");
        hive.setString("Software\\App", "DeletedLater", "hive");
        hive.setString("Software\\App\\Sub", "Deep", "hive");
        hive.setDword("Software\\App", "Port", 5190);
        hive.setString("Software\\Other", "Kept", "hive");
        std::string error;
        ASSERT_TRUE(mkwin::writeHive(dir.file("NTUSER.DAT"), hive, error)) << error;

        writeFile(dir.file("first.reg"), std::string(kV5) +
                                             "[HKEY_CURRENT_USER\\Software\\App]\n"
                                             "\"Overridden\"=\"first\"\n"
                                             "\"DeletedLater\"=-\n"
                                             "\"Revived\"=-\n"
                                             "\"Port\"=\"not a number\"\n"
                                             "[-HKEY_CURRENT_USER\\Software\\App\\Sub]\n"
                                             "bad line\n");
        writeFile(dir.file("second.reg"), std::string(kV5) + "[HKEY_CURRENT_USER\\software\\app]\n"
                                                             "\"revived\"=\"second\"\n"
                                                             "\"overridden\"=\"second\"\n");
        registry = vqrt::openHostRegistry("", dir.file("NTUSER.DAT"),
                                          {dir.file("first.reg"), dir.file("second.reg")}, "CP1252",
                                          error);
        ASSERT_TRUE(registry) << error;
    }

    TempDir dir;
    std::unique_ptr<LayeredRegistry> registry;
};

TEST_F(LayeringTest, TopmostKnowingLayerWins) {
    EXPECT_EQ(registry->layerCount(), 3u);
    EXPECT_EQ(registry->warnings(),
              std::vector<std::string>{dir.file("first.reg") +
                                       ":8: expected \"name\"=value, found bad line"});
    const struct {
        const char* key;
        const char* value;
        int answer;
        const char* text;
    } cases[] = {
        {"Software\\App", "FromHive", 0, "hive"},
        {"Software\\App", "Overridden", 0, "second"},
        {"Software\\App", "DeletedLater", vqrt::kRegNotFound, ""},
        {"Software\\App", "Revived", 0, "second"},
        {"Software\\App\\Sub", "Deep", vqrt::kRegNotFound, ""},
        {"Software\\Other\\", "Kept", 0, "hive"},
        {"Software\\App", "Port", 0, "not a number"},
    };
    for (const auto& c : cases) {
        char out[32];
        EXPECT_EQ(registry->readString("HKEY_CURRENT_USER", c.key, c.value, out, sizeof out),
                  c.answer)
            << c.value;
        if (c.answer == 0) {
            EXPECT_STREQ(out, c.text);
        }
    }
    // The string on top hides the hive's number.
    long port = 0;
    EXPECT_EQ(registry->readDword("HKCU", "Software\\App", "Port", &port), vqrt::kRegWrongType);
}

TEST(OpenHostRegistry, WarnsAboutHivesAndStopsAtAnUnreadableRegFile) {
    TempDir dir;
    writeFile(dir.file("SOFTWARE"), "");
    writeFile(dir.file("plain.txt"), "just text\n");
    std::string error;
    EXPECT_FALSE(vqrt::openHostRegistry(dir.file("SOFTWARE"), dir.file("NTUSER.DAT"),
                                        {dir.file("plain.txt")}, "CP1252", error));
    EXPECT_EQ(error, dir.file("plain.txt") +
                         ":1: not a registry export (expected \"REGEDIT4\" or \"Windows Registry "
                         "Editor Version 5.00\", found just text)");
    const auto hives =
        vqrt::openHostRegistry(dir.file("SOFTWARE"), dir.file("NTUSER.DAT"), {}, "CP1252", error);
    ASSERT_TRUE(hives);
    EXPECT_EQ(hives->warnings(),
              (std::vector<std::string>{
                  dir.file("SOFTWARE") + ": not a registry hive (expected at least 8192 "
                                         "bytes, found 0)",
                  dir.file("NTUSER.DAT") +
                      ": cannot open the registry hive (No such file or directory)"}));

    const auto none = vqrt::openHostRegistry("", "", {}, "CP1252", error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->warnings().empty());
    char out[8];
    EXPECT_EQ(none->readString("HKLM", "SOFTWARE\\x", "", out, sizeof out), vqrt::kRegNotFound);
}

} // namespace
