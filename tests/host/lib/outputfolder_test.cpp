#include "outputfolder.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Every file below `dir` with its content, folders ending in "/".
std::vector<std::string> tree(const std::string& dir) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().string().substr(dir.size() + 1);
        entries.push_back(entry.is_directory() ? name + "/" : name + "=" + readFile(entry.path()));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::unique_ptr<vqrt::OutputFolder> openFolder(const std::string& path) {
    std::string error;
    auto folder = vqrt::OutputFolder::open(path, error);
    EXPECT_TRUE(folder) << error;
    return folder;
}

// Over an earlier bundle whose identity names contacts.vcf among its members, a file of the
// user's and what a killed run left: a discard leaves the bundle as it was, a commit replaces
// it as a whole; either way what the killed run left goes and the lock file stays.
TEST(OutputFolder, DiscardKeepsAndCommitReplacesTheEarlierBundle) {
    TempDir dir;
    const std::string out = dir.file("out");
    const std::string identity = R"({"installation": "/mnt/xp", "owner": "123",
                      "members": ["record.json", "files", "contacts.vcf", "../notes.txt"]})";
    for (const auto& [name, bytes] :
         std::map<std::string, std::string>{{"record.json", "earlier"},
                                            {"files/a.wav", "a"},
                                            {"contacts.vcf", "earlier contacts"},
                                            {"notes.txt", "mine"},
                                            {".tolvane-bundle.json", identity},
                                            {".tolvane-run-Ab12Cd/record.json", "of a killed run"},
                                            {".record.json.tmp-Xy34Zw", "of an older version"}}) {
        writeFile(out + "/" + name, bytes);
    }
    writeFile(openFolder(out)->staging() + "/record.json", "discarded");
    EXPECT_EQ(tree(out),
              (std::vector<std::string>{".tolvane-bundle.json=" + identity,
                                        ".tolvane-lock=", "contacts.vcf=earlier contacts", "files/",
                                        "files/a.wav=a", "notes.txt=mine", "record.json=earlier"}));
    auto folder = openFolder(out);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->holdsBundle());
    EXPECT_EQ(folder->earlierIdentity().value_or(vqrt::BundleIdentity{}).owner, "123");
    writeFile(folder->staging() + "/record.json", "new");
    writeFile(folder->staging() + "/files/b.wav", "b");
    std::string error;
    ASSERT_TRUE(folder->commit({"/mnt/old", "456"}, error)) << error;
    EXPECT_EQ(tree(out), (std::vector<std::string>{".tolvane-bundle.json=" +
                                                       readFile(out + "/.tolvane-bundle.json"),
                                                   ".tolvane-lock=", "files/", "files/b.wav=b",
                                                   "notes.txt=mine", "record.json=new"}));
    EXPECT_EQ(nlohmann::json::parse(readFile(out + "/.tolvane-bundle.json")),
              nlohmann::json::parse(R"({"installation": "/mnt/old", "owner": "456",
                  "members": ["files", ".tolvane-bundle.json", "record.json"]})"));
}

// A bundle replaces only what an earlier bundle wrote: the entries its identity names, or
// those of a version that kept no identity, known by its record. Anything else of those names is
// somebody else's, and a commit that would replace it moves nothing.
TEST(OutputFolder, NeverReplacesSomebodyElsesFiles) {
    const std::string record = "{\n  \"format\": \"tolvane-record/1\",\n}";
    const std::vector<std::string> names = {"files", "history", "record.json"};
    const std::pair<std::map<std::string, std::string>, std::vector<std::string>> cases[] = {
        {{{"files/taxes.txt", "mine"}}, {"files/"}},
        {{{"record.json", "{}"}, {"history/a.txt", "mine"}}, {"history/", "record.json"}},
        {{{".tolvane-bundle.json",
           R"({"installation": "/mnt/xp", "owner": "123", "members": ["record.json", "files"]})"},
          {"files/a.wav", "older"},
          {"history/a.txt", "mine"}},
         {"history/"}},
        {{{"record.json", record}, {"files/a.wav", "older"}}, {}},
    };
    for (const auto& [before, strangers] : cases) {
        TempDir dir;
        const std::string out = dir.file("out");
        for (const auto& [name, bytes] : before) {
            writeFile(out + "/" + name, bytes);
        }
        fs::create_directories(out + "/history"); // empty, so nobody's
        auto folder = openFolder(out);
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder->strangers(names), strangers);
        for (const std::string& name : names) {
            writeFile(folder->staging() + "/" + name + (name == "record.json" ? "" : "/new"),
                      "new");
        }
        std::string error;
        EXPECT_EQ(folder->commit({"/mnt/xp", "123"}, error), strangers.empty());
        if (strangers.empty()) {
            EXPECT_EQ(readFile(out + "/record.json"), "new");
            EXPECT_FALSE(fs::exists(out + "/files/a.wav"));
        } else {
            EXPECT_EQ(error, out + ": holds " + strangers.front() +
                                 ", which no earlier import wrote; nothing was replaced");
            for (const auto& [name, bytes] : before) {
                EXPECT_EQ(readFile(out + "/" + name), bytes) << name;
            }
        }
    }
}

} // namespace
