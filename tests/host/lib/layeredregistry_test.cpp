#include "layeredregistry.h"

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

namespace {

// A user hive at the bottom, two .reg files above: each value comes from the topmost layer
// that knows it, a deletion hides what the layers below hold, a string on top hides the hive's
// number.
TEST(LayeredRegistry, TopmostKnowingLayerWins) {
    testsupport::TempDir dir;
    testsupport::buildSample(nlohmann::json::parse(R"({"users": ["U"], "extraValues": [
        {"root": "HKCU", "key": "App", "name": "FromHive", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "App", "name": "Overridden", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "App", "name": "DeletedLater", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "App\\Sub", "name": "Deep", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "App\\Sub b", "name": "Deep", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "App", "name": "Port", "type": "dword", "value": 5190}]})"),
                             dir.path());
    testsupport::writeFile(dir.file("first.reg"),
                           "REGEDIT4\n[HKEY_CURRENT_USER\\App]\n\"Overridden\"=\"first\"\n"
                           "\"DeletedLater\"=-\n\"Revived\"=-\n\"Port\"=\"not a number\"\n"
                           "[-HKEY_CURRENT_USER\\app\\sub]\nbad line\n"
                           "[HKEY_CURRENT_USER\\App\\Sub\\C]\n\"Set\"=\"again\"\n");
    testsupport::writeFile(dir.file("second.reg"), "REGEDIT4\n[HKEY_CURRENT_USER\\app]\n"
                                                   "\"revived\"=\"second\"\n"
                                                   "\"overridden\"=\"second\"\n");
    std::string error;
    const auto registry =
        vqrt::openHostRegistry({"", "", dir.file("Documents and Settings/U/NTUSER.DAT")},
                               {dir.file("first.reg"), dir.file("second.reg")}, "CP1252", error);
    ASSERT_TRUE(registry) << error;
    EXPECT_EQ(registry->warnings(),
              std::vector<std::string>{dir.file("first.reg") +
                                       ":8: expected \"name\"=value, found bad line"});
    const struct {
        const char* key;
        const char* value;
        int answer;
        const char* text;
    } cases[] = {
        {"App", "FromHive", 0, "hive"},
        {"App", "Overridden", 0, "second"},
        {"App", "DeletedLater", vqrt::kRegNotFound, ""},
        {"App", "Revived", 0, "second"},
        {"App\\Sub", "Deep", vqrt::kRegNotFound, ""},
        {"App\\Sub b", "Deep", 0, "hive"},
        {"App", "Port", 0, "not a number"},
        {"App\\Sub\\C", "Set", 0, "again"},
    };
    for (const auto& c : cases) {
        char out[32] = "";
        EXPECT_EQ(registry->readString("HKCU", c.key, c.value, out, sizeof out), c.answer)
            << c.value;
        EXPECT_STREQ(out, c.text);
    }
    long port = 0;
    EXPECT_EQ(registry->readDword("HKCU", "App", "Port", &port), vqrt::kRegWrongType);
}

} // namespace
