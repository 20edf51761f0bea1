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

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs tolvane-mkwin with `args`, "@" in them standing for `dir`.
Outcome run(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> expanded = {"tolvane-mkwin"};
    std::vector<const char*> argv;
    for (std::string arg : args) {
        expanded.push_back(arg[0] == '@' ? dir + arg.substr(1) : arg);
    }
    for (const std::string& arg : expanded) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = mkwin::runMkwin(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

class MkwinCli : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("good.json"), R"({"users": ["Alice"], "icq": {"version": 2000,
            "owners": [{"uin": 4711, "nickname": "Rover",
                        "database": {"contacts": [{"uin": 1, "nickname": "Jörg"}]}}]}})");
        writeFile(dir.file("bad.json"), R"({"icq": {"owners": [{"uin": "x", "nickname": ""}]}})");
        writeFile(dir.file("broken.json"), "{\"a\":");
        writeFile(dir.file("full/old.txt"), "old");
        writeFile(dir.file("afile"), "");
    }
    testsupport::TempDir dir;
};

TEST_F(MkwinCli, BuildsOrSaysWhyNotInOneLine) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error; // after "tolvane-mkwin: ", "@" for the folder
        const char* made;  // below the folder
    } cases[] = {
        {{}, 2, "DESCRIPTION is required (see --help)", nullptr},
        {{"@/broken.json", "@/out"},
         2,
         "@/broken.json: not valid JSON (parse error at line 1, column 6: syntax error while "
         "parsing value - unexpected end of input; expected '[', '{', or a literal)",
         nullptr},
        {{"@/bad.json", "@/out"},
         2,
         "@/bad.json: icq.owners[0].uin: expected a number or a decimal text from 0 to "
         "4294967295, found \"x\"",
         nullptr},
        {{"@/good.json", "@/full"},
         2,
         "@/full: the folder is not empty (use --force to write into it)",
         nullptr},
        {{"@/good.json", "@/afile", "--force"},
         1,
         "@/afile: cannot create the folder (a file of that name exists)",
         nullptr},
        {{"@/good.json", "@/full", "--force"}, 0, "", "full/Program Files/ICQ/2000a/4711.dat"},
        {{"@/good.json", "@/out", "--registry", "reg5"}, 0, "", "out/registry.reg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const Outcome r = run(c.args, dir.path());
        EXPECT_EQ(r.status, c.status);
        std::string error = c.error.empty() ? "" : "tolvane-mkwin: " + c.error + "\n";
        for (size_t at = error.find('@'); at != std::string::npos; at = error.find('@', at)) {
            error.replace(at, 1, dir.path());
        }
        EXPECT_EQ(r.err, error);
        EXPECT_EQ(r.out, "");
        // A refused run writes nothing.
        EXPECT_TRUE(c.made == nullptr ? c.status == 0 || !fs::exists(dir.file("out"))
                                      : fs::exists(dir.file(c.made)));
    }
    EXPECT_TRUE(fs::exists(dir.file("full/old.txt")));
    EXPECT_EQ(testsupport::readFile(dir.file("out/registry.reg")).substr(0, 4),
              std::string("\xFF\xFEW\0", 4));
    EXPECT_FALSE(fs::exists(dir.file("out/WINDOWS/System32/config/SOFTWARE")));
}

TEST_F(MkwinCli, PrintExpectedWithoutOutdirWritesNothing) {
    const Outcome r = run({"@/good.json", "--print-expected"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const auto expected = nlohmann::json::parse(r.out);
    EXPECT_FALSE(expected.contains("root"));
    EXPECT_EQ(expected["owners"][0]["uin"], "4711");
    EXPECT_EQ(expected["owners"][0]["contacts"][0]["Nickname"], "Jörg");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

} // namespace
