#include "commandline.h"

#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

gui::ParseOutcome parse(std::vector<std::string> args, gui::CommandLine& options,
                        std::string& message) {
    args.insert(args.begin(), "tolvane");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return gui::parseCommandLine(static_cast<int>(argv.size()), argv.data(), options, message);
}

TEST(CommandLine, TakesTheInstallationAndPlugins) {
    gui::CommandLine options;
    std::string message;
    ASSERT_EQ(parse({"--windows-root", "/mnt/xp", "--user", "Alice", "--reg", "a.reg", "--reg",
                     "b.reg", "--drive", "d=/mnt/d", "--drive", "E:=/mnt/e", "--codepage", "CP1251",
                     "--plugin", "/p/one.so", "--plugin", "/p/dir"},
                    options, message),
              gui::ParseOutcome::Run)
        << message;
    EXPECT_EQ(options.host.windowsRoot, "/mnt/xp");
    EXPECT_EQ(options.host.user, "Alice");
    EXPECT_EQ(options.host.regFiles, (std::vector<std::string>{"a.reg", "b.reg"}));
    EXPECT_EQ(options.host.drives, (std::map<char, std::string>{{'D', "/mnt/d"}, {'E', "/mnt/e"}}));
    EXPECT_EQ(options.host.codepage, "CP1251");
    EXPECT_EQ(options.plugins, (std::vector<std::string>{"/p/one.so", "/p/dir"}));
}

TEST(CommandLine, DefaultsNeedNoArguments) {
    gui::CommandLine options;
    std::string message;
    ASSERT_EQ(parse({}, options, message), gui::ParseOutcome::Run);
    EXPECT_EQ(options.host.windowsRoot, "");
    EXPECT_EQ(options.host.codepage, "CP1252");
    EXPECT_TRUE(options.plugins.empty());
}

TEST(CommandLine, HelpIsNotAnError) {
    gui::CommandLine options;
    std::string message;
    EXPECT_EQ(parse({"--help"}, options, message), gui::ParseOutcome::Help);
    EXPECT_NE(message.find("--windows-root"), std::string::npos);
}

struct BadArguments {
    std::vector<std::string> args;
    const char* message;
};

void PrintTo(const BadArguments& bad, std::ostream* out) {
    *out << bad.message;
}

class CommandLineErrors : public ::testing::TestWithParam<BadArguments> {};

TEST_P(CommandLineErrors, SayWhatIsWrongInOneLine) {
    gui::CommandLine options;
    std::string message;
    EXPECT_EQ(parse(GetParam().args, options, message), gui::ParseOutcome::Error);
    EXPECT_EQ(message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineErrors,
    ::testing::Values(
        BadArguments{{"--drive", "D"}, "tolvane: --drive D: expected LETTER=DIR, such as D=/mnt/d"},
        BadArguments{{"--drive", "D="},
                     "tolvane: --drive D=: expected LETTER=DIR, such as D=/mnt/d"},
        BadArguments{{"--drive", "DD=/x"},
                     "tolvane: --drive DD=/x: expected LETTER=DIR, such as D=/mnt/d"},
        BadArguments{{"--drive", "1=/x"},
                     "tolvane: --drive 1=/x: expected LETTER=DIR, such as D=/mnt/d"},
        BadArguments{{"--drive", "c=/x"},
                     "tolvane: --drive c=/x: drive C: is the Windows root (--windows-root)"},
        BadArguments{{"--out", "x"},
                     "tolvane: The following arguments were not expected: x --out (see --help)"},
        BadArguments{{"--windows-root"},
                     "tolvane: --windows-root: 1 required TEXT missing (see --help)"}));

TEST(PluginSearch, DefaultFoldersLieBesideTheProgram) {
    // Installed as <prefix>/bin/tolvane, or built as <build>/host/gui/tolvane.
    EXPECT_EQ(gui::defaultPluginFolders("/opt/tolvane/bin"),
              (std::vector<std::string>{"/opt/tolvane/lib/tolvane/plugins",
                                        "/opt/tolvane/lib64/tolvane/plugins", "/opt/src/plugin"}));
    EXPECT_EQ(gui::defaultPluginFolders("/build/host/gui")[2], "/build/src/plugin");
}

TEST(PluginSearch, FindsEachLibraryOnceByName) {
    TempDir dir;
    const std::string folder = dir.file("plugins");
    writeFile(folder + "/libtarvex.so.1.0.0", "elf");
    ASSERT_EQ(symlink("libtarvex.so.1.0.0", (folder + "/libtarvex.so.1").c_str()), 0);
    ASSERT_EQ(symlink("libtarvex.so.1", (folder + "/libtarvex.so").c_str()), 0);
    writeFile(folder + "/libother.so.2", "elf");
    writeFile(folder + "/libstatic.a", "ar");
    writeFile(folder + "/README", "text");
    writeFile(folder + "/libnotes.so.txt", "text");
    writeFile(folder + "/sub/libdeep.so", "elf");
    const std::vector<std::string> inFolder = {folder + "/libother.so.2", folder + "/libtarvex.so"};

    EXPECT_EQ(gui::findPlugins({}, {dir.file("missing"), folder}), inFolder);
    // Given paths replace the default folders; a given file comes once, a missing one stays.
    EXPECT_EQ(gui::findPlugins({folder + "/libtarvex.so.1", dir.file("gone.so"), folder},
                               {dir.file("unused")}),
              (std::vector<std::string>{folder + "/libtarvex.so.1", dir.file("gone.so"),
                                        folder + "/libother.so.2"}));
}

} // namespace
