#include "pluginloader.h"

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

TEST(PluginLoader, EachLoadGivesAPluginObjectOfItsOwn) {
    std::string error;
    const auto loaded = vqrt::LoadedPlugin::load(TARVEX_PLUGIN_PATH, error);
    ASSERT_NE(loaded, nullptr) << error;
    EXPECT_EQ(loaded->identity().name, "ICQ");
    EXPECT_EQ(vqrt::versionText(loaded->identity().version), "0.1");
    const auto again = vqrt::LoadedPlugin::load(TARVEX_PLUGIN_PATH, error);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->object(), loaded->object());
}

TEST(PluginLoader, ErrorsNameTheFileAndTheCause) {
    testsupport::TempDir dir;
    const std::string text = dir.file("notes.txt");
    testsupport::writeFile(text, "not a library");
    const struct {
        std::string path;
        std::string expectedStart;
    } cases[] = {
        {dir.file("missing.so"), dir.file("missing.so") + ": cannot load the plug-in (cannot open "
                                                          "shared object file: No such file or "
                                                          "directory)"},
        {text, text + ": cannot load the plug-in ("},
        {VQRT_LIBRARY_PATH, std::string(VQRT_LIBRARY_PATH) +
                                ": not a plug-in (expected the symbol getObject, found none)"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(vqrt::LoadedPlugin::load(c.path, error), nullptr);
        EXPECT_EQ(error.substr(0, c.expectedStart.size()), c.expectedStart) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

} // namespace
