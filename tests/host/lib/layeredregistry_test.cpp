#include "layeredregistry.h"

#include <gtest/gtest.h>

#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

constexpr const char* kV5 = "Windows Registry Editor Version 5.00\r\n";

// A user hive at the bottom, two .reg files above: each value comes from the topmost layer
// that knows it, and a deletion hides what the layers below hold.
TEST(LayeredRegistry, TopmostKnowingLayerWins) {
    TempDir dir;
    testsupport::buildSample(nlohmann::json::parse(R"({"users": ["U"], "extraValues": [
        {"root": "HKCU", "key": "Software\\App", "name": "FromHive", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "Software\\App", "name": "Overridden", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "Software\\App", "name": "DeletedLater", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "Software\\App\\Sub", "name": "Deep", "type": "sz", "value": "hive"},
        {"root": "HKCU", "key": "Software\\App", "name": "Port", "type": "dword", "value": 5190}]})"),
                             dir.path());
    writeFile(dir.file("first.reg"), std::string(kV5) + "[HKEY_CURRENT_USER\\Software\\App]\n"
                                                        "\"Overridden\"=\"first\"\n"
                                                        "\"DeletedLater\"=-\n"
                                                        "\"Revived\"=-\n"
                                                        "\"Port\"=\"not a number\"\n"
                                                        "[-HKEY_CURRENT_USER\\Software\\App\\Sub]\n"
                                                        "bad line\n");
    writeFile(dir.file("second.reg"), std::string(kV5) + "[HKEY_CURRENT_USER\\software\\app]\n"
                                                         "\"revived\"=\"second\"\n"
                                                         "\"overridden\"=\"second\"\n");
    std::string error;
    const auto registry =
        vqrt::openHostRegistry("", dir.file("Documents and Settings/U/NTUSER.DAT"),
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
        {"Software\\App", "FromHive", 0, "hive"},
        {"Software\\App", "Overridden", 0, "second"},
        {"Software\\App", "DeletedLater", vqrt::kRegNotFound, ""},
        {"Software\\App", "Revived", 0, "second"},
        {"Software\\App\\Sub", "Deep", vqrt::kRegNotFound, ""},
        {"Software\\App", "Port", 0, "not a number"},
    };
    for (const auto& c : cases) {
        char out[32] = "";
        EXPECT_EQ(registry->readString("HKEY_CURRENT_USER", c.key, c.value, out, sizeof out),
                  c.answer)
            << c.value;
        EXPECT_STREQ(out, c.text);
    }
    // The string on top hides the hive's number.
    long port = 0;
    EXPECT_EQ(registry->readDword("HKCU", "Software\\App", "Port", &port), vqrt::kRegWrongType);
}

} // namespace
