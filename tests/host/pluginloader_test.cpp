#include "pluginloader.h"

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

TEST(PluginLoader, LoadsTheIcqPluginAndAsksItsIdentity) {
    std::string error;
    const auto loaded = vqrt::LoadedPlugin::load(TARVEX_PLUGIN_PATH, error);
    ASSERT_NE(loaded, nullptr) << error;
    const vqrt::PluginIdentity id = loaded->identity();
    EXPECT_EQ(id.name, "ICQ");
    EXPECT_EQ(id.description, "ICQ Importer Plugin");
    EXPECT_EQ(id.toolTip, "ICQ Instant Messanger");
    EXPECT_EQ(id.majorCategory, "Communication");
    EXPECT_EQ(id.minorCategory, "Instant Messanger");
    EXPECT_EQ(id.internalCategory, "ICQ");
    EXPECT_EQ(vqrt::versionText(id.version), "0.1");
    EXPECT_EQ(vqrt::versionText(id.minEngineVersion), "0.1");
    EXPECT_EQ(id.blockCount, 60);
    EXPECT_EQ(id.properties, 2);

    // A second load gives a second, independent object.
    const auto again = vqrt::LoadedPlugin::load(TARVEX_PLUGIN_PATH, error);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->object(), loaded->object());
}

TEST(PluginLoader, ErrorsNameTheFileAndTheCause) {
    testsupport::TempDir dir;
    const std::string text = dir.file("notes.txt");
    testsupport::writeFile(text, "not a library");
    struct Case {
        std::string path;
        std::string expectedStart;
    };
    const Case cases[] = {
        {dir.file("missing.so"), dir.file("missing.so") + ": cannot load the plug-in (cannot open "
                                                          "shared object file: No such file or "
                                                          "directory)"},
        {text, text + ": cannot load the plug-in ("},
        {VQRT_LIBRARY_PATH, std::string(VQRT_LIBRARY_PATH) +
                                ": not a plug-in (expected the symbol getObject, found none)"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(vqrt::LoadedPlugin::load(c.path, error), nullptr);
        EXPECT_EQ(error.substr(0, c.expectedStart.size()), c.expectedStart) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

} // namespace
