#include "cli.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

// Each run of tolvane-mkwin ("@" standing for the test folder) builds or says why not in one
// line; a refused run writes nothing.
TEST(MkwinCli, BuildsOrSaysWhyNotInOneLine) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("good.json"),
                           R"({"icq": {"version": 2000, "owners": [{"uin": 4711, "nickname": "R",
                               "database": {"contacts": [{"uin": 1, "nickname": "Jörg"}]}}]}})");
    testsupport::writeFile(dir.file("full/old.txt"), "old");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // what standard output or error holds; "@" stands for the folder
    } cases[] = {
        {{}, 2, "tolvane-mkwin: DESCRIPTION is required (see --help)\n"},
        {{"@/good.json", "@/full"},
         2,
         "tolvane-mkwin: @/full: the folder is not empty (use --force to write into it)\n"},
        {{"@/good.json", "@/full", "--force"}, 0, ""},
    };
    const auto run = [&](std::vector<std::string> args) {
        std::vector<const char*> argv = {"tolvane-mkwin"};
        for (std::string& arg : args) {
            arg = arg[0] == '@' ? dir.path() + arg.substr(1) : arg;
            argv.push_back(arg.c_str());
        }
        std::ostringstream out;
        const int status = mkwin::runMkwin(static_cast<int>(argv.size()), argv.data(), out, out);
        return std::to_string(status) + " " + out.str();
    };
    for (const auto& c : cases) {
        std::string expected = std::to_string(c.status) + " " + c.out;
        for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@')) {
            expected.replace(at, 1, dir.path());
        }
        EXPECT_EQ(run(c.args), expected);
    }
    EXPECT_TRUE(fs::exists(dir.file("full/old.txt")));
    EXPECT_TRUE(fs::exists(dir.file("full/Program Files/ICQ/2000a/4711.dat")));
}

} // namespace
