#include "cli.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

// Each run of tolvane-mkwin ("@" standing for the test folder) says what went wrong in one
// line or builds; a refused run writes nothing.
TEST(MkwinCli, BuildsOrSaysWhyNotInOneLine) {
    testsupport::TempDir dir;
    writeFile(dir.file("good.json"), R"({"users": ["Alice"], "icq": {"version": 2000,
        "owners": [{"uin": 4711, "nickname": "Rover",
                    "database": {"contacts": [{"uin": 1, "nickname": "Jörg"}]}}]}})");
    writeFile(dir.file("bad.json"), R"({"icq": {"owners": [{"uin": "x", "nickname": ""}]}})");
    writeFile(dir.file("full/old.txt"), "old");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;  // standard output and error
        const char* made; // below the folder
    } cases[] = {
        {{}, 2, "tolvane-mkwin: DESCRIPTION is required (see --help)\n", nullptr},
        {{"@/bad.json", "@/out"},
         2,
         "tolvane-mkwin: @/bad.json: icq.owners[0].uin: expected a number or a decimal text from "
         "0 to 4294967295, found \"x\"\n",
         nullptr},
        {{"@/good.json", "@/full"},
         2,
         "tolvane-mkwin: @/full: the folder is not empty (use --force to write into it)\n",
         nullptr},
        {{"@/good.json", "@/full", "--force"}, 0, "", "full/Program Files/ICQ/2000a/4711.dat"},
        {{"@/good.json", "--print-expected"}, 0, "", nullptr},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"tolvane-mkwin"};
        std::vector<const char*> argv;
        for (const std::string& arg : c.args) {
            args.push_back(arg[0] == '@' ? dir.path() + arg.substr(1) : arg);
        }
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(mkwin::runMkwin(static_cast<int>(argv.size()), argv.data(), out, err), c.status);
        std::string expected = c.out;
        for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@')) {
            expected.replace(at, 1, dir.path());
        }
        if (!c.args.empty() && c.args.back() == "--print-expected") {
            EXPECT_EQ(nlohmann::json::parse(out.str())["owners"][0]["contacts"][0]["Nickname"],
                      "Jörg");
        } else {
            EXPECT_EQ(out.str() + err.str(), expected);
        }
        EXPECT_FALSE(fs::exists(dir.file("out")));
        EXPECT_TRUE(c.made == nullptr || fs::exists(dir.file(c.made)));
    }
    EXPECT_TRUE(fs::exists(dir.file("full/old.txt")));
}

} // namespace
