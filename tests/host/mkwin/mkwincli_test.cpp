#include "cli.h"

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run(std::vector<std::string> args) {
    args.insert(args.begin(), "tolvane-mkwin");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = mkwin::runMkwin(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

const char* const kDescription =
    R"({"users": ["Alice"], "icq": {"version": 2000, "owners": [{"uin": 4711,
        "nickname": "Rover", "database": {"contacts": [{"uin": 1, "nickname": "Jörg"}]}}]}})";

class MkwinCli : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("good.json"), kDescription);
        writeFile(dir.file("bad.json"), R"({"icq": {"owners": [{"uin": "x", "nickname": ""}]}})");
        writeFile(dir.file("broken.json"), "{\"a\":");
        writeFile(dir.file("full/old.txt"), "old");
        writeFile(dir.file("afile"), "");
    }
    TempDir dir;
};

struct FailureCase {
    const char* label;
    std::vector<std::string> args; // "@" stands for the test's folder
    int status;
    const char* message; // after "tolvane-mkwin: ", with "@" for the folder
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label;
}

class MkwinCliFailures : public MkwinCli, public ::testing::WithParamInterface<FailureCase> {};

std::string withDir(std::string text, const std::string& dir) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
        text.replace(at, 1, dir);
        at += dir.size();
    }
    return text;
}

TEST_P(MkwinCliFailures, SayWhyInOneLine) {
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args) {
        args.push_back(withDir(a, dir.path()));
    }
    const Outcome r = run(args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.err, "tolvane-mkwin: " + withDir(GetParam().message, dir.path()) + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MkwinCliFailures,
    ::testing::Values(
        FailureCase{"no arguments", {}, 2, "DESCRIPTION is required (see --help)"},
        FailureCase{"broken JSON",
                    {"@/broken.json", "@/out"},
                    2,
                    "@/broken.json: not valid JSON (parse error at line 1, column 6: syntax "
                    "error while parsing value - unexpected end of input; expected '[', '{', or "
                    "a literal)"},
        FailureCase{"bad description",
                    {"@/bad.json", "@/out"},
                    2,
                    "@/bad.json: icq.owners[0].uin: expected a number or a decimal text from 0 "
                    "to 4294967295, found \"x\""},
        FailureCase{"folder not empty",
                    {"@/good.json", "@/full"},
                    2,
                    "@/full: the folder is not empty (use --force to write into it)"},
        FailureCase{"outdir is a file",
                    {"@/good.json", "@/afile", "--force"},
                    1,
                    "@/afile: cannot create the folder (a file of that name exists)"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = c == ' ' ? '_' : c;
        }
        return name;
    });

TEST_F(MkwinCli, ForceWritesIntoAFolderThatIsNotEmpty) {
    const Outcome r = run({dir.file("good.json"), dir.file("full"), "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("full/old.txt")));
    EXPECT_TRUE(fs::exists(dir.file("full/Program Files/ICQ/2000a/4711.dat")));
}

TEST_F(MkwinCli, RegistryOptionOverridesTheDescription) {
    const Outcome r = run({dir.file("good.json"), dir.file("out"), "--registry", "reg5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readFile(dir.file("out/registry.reg")).substr(0, 4),
              std::string("\xFF\xFEW\0", 4));
    EXPECT_FALSE(fs::exists(dir.file("out/WINDOWS/System32/config/SOFTWARE")));
}

TEST_F(MkwinCli, PrintExpectedWithoutOutdirWritesNothing) {
    const Outcome r = run({dir.file("good.json"), "--print-expected"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto expected = nlohmann::json::parse(r.out);
    EXPECT_FALSE(expected.contains("root"));
    EXPECT_EQ(expected["owners"][0]["uin"], "4711");
    EXPECT_EQ(expected["owners"][0]["contacts"][0]["Nickname"], "Jörg");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

} // namespace
