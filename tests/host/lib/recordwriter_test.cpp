#include "recordwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

std::vector<std::string> listDir(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RecordWriterTest : public ::testing::Test {
protected:
    std::string out() const { return dir.file("out"); }
    std::string src(const std::string& name) const { return dir.file("src/" + name); }
    vqrt::WarningSink sink() {
        return [this](const std::string& line) { warnings.push_back(line); };
    }
    vqrt::RecordWriter writer(const std::string& codepage = "CP1252") {
        return vqrt::RecordWriter(out(), "ICQ", {codepage, sink()});
    }
    // The "carried" value of the only entry of the first section.
    static nlohmann::ordered_json carried(const vqrt::RecordWriter& w, size_t entry = 0) {
        return w.json()["sections"][0]["entries"][entry]["carried"];
    }

    TempDir dir;
    std::vector<std::string> warnings;
};

// Section names, keys, values and file paths all end up as UTF-8, whatever the code page.
TEST_F(RecordWriterTest, EveryTextBecomesUtf8) {
    const struct {
        const char* codepage;
        std::string bytes;
        std::string utf8;
    } cases[] = {{"CP1252", "M\xFCller \x80", "M\xC3\xBCller \xE2\x82\xAC"},
                 {"CP932", "\x83\x41", "\xE3\x82\xA2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codepage);
        warnings.clear();
        vqrt::RecordWriter w = writer(c.codepage);
        w.beginSection(c.bytes.c_str());
        w.writeValue(c.bytes.c_str(), c.bytes.c_str());
        w.writeFileValue(("\"/nonexistent/" + c.bytes + "\"").c_str(), c.bytes.c_str());
        w.endSection();
        w.flush();
        const auto saved = nlohmann::ordered_json::parse(readFile(out() + "/record.json"));
        const auto& section = saved["sections"][0];
        EXPECT_EQ(section["name"], c.utf8);
        EXPECT_EQ(section["entries"][0]["key"], c.utf8);
        EXPECT_EQ(section["entries"][0]["value"], c.utf8);
        EXPECT_EQ(section["entries"][1]["key"], c.utf8);
        EXPECT_EQ(section["entries"][1]["file"], "\"/nonexistent/" + c.utf8 + "\"");
        EXPECT_EQ(warnings, std::vector<std::string>{"/nonexistent/" + c.utf8 +
                                                     ": cannot carry (No such file or directory)"});
    }
}

TEST_F(RecordWriterTest, CarriesFilesUnderUniqueNames) {
    writeFile(src("a/Message.wav"), std::string("RIFF\0A", 6));
    writeFile(src("b/Message.wav"), std::string("RIFF\0B", 6));
    writeFile(src("c/Message"), "no extension");
    writeFile(src("d/Message"), "another");
    writeFile(out() + "/files/Notify.wav", "from an older run");
    writeFile(src("Notify.wav"), "new");
    vqrt::RecordWriter w = writer();
    w.beginSection("ICQ_SOUNDS_SETTINGS");
    for (const char* path : {"a/Message.wav", "b/Message.wav", "a/Message.wav", "c/Message",
                             "d/Message", "Notify.wav"}) {
        w.writeFileValue(("\"" + src(path) + "\"").c_str(), "ICQMessage");
    }
    w.writeFileValue(src("b/Message.wav").c_str(), "unquoted");
    w.endSection();
    const std::vector<std::string> want = {
        "files/Message.wav", "files/Message-2.wav", "files/Message.wav",  "files/Message",
        "files/Message-2",   "files/Notify-2.wav",  "files/Message-2.wav"};
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(carried(w, i), want[i]) << i;
    }
    EXPECT_EQ(readFile(out() + "/files/Message.wav"), std::string("RIFF\0A", 6));
    EXPECT_EQ(readFile(out() + "/files/Message-2.wav"), std::string("RIFF\0B", 6));
    EXPECT_EQ(readFile(out() + "/files/Notify.wav"), "from an older run");
    EXPECT_EQ(readFile(out() + "/files/Notify-2.wav"), "new");
    EXPECT_EQ(listDir(out() + "/files"),
              (std::vector<std::string>{"Message", "Message-2", "Message-2.wav", "Message.wav",
                                        "Notify-2.wav", "Notify.wav"}));
    EXPECT_TRUE(warnings.empty());
}

TEST_F(RecordWriterTest, CarriedNamesAreSafe) {
    std::string longUtf8 = "a";
    for (int i = 0; i < 60; ++i) {
        longUtf8 += "\xC3\xB6";
    }
    const struct {
        std::string source; // file name below the source folder
        std::string carried;
    } cases[] = {
        {".hidden.wav", "_hidden.wav"},
        {"a..b...wav", "a.b.wav"},
        {"it's \"q\" $(rm -rf ~); `x`|&C:\\.wav", "it_s__q____rm_-rf______x___C__.wav"},
        {"Gl\xF6"
         "ckchen.wav",
         "Gl\xC3\xB6"
         "ckchen.wav"},
        {"\xE2\x80\xAEvaw.exe", "_vaw.exe"},
        {std::string(200, 'a') + ".wav", std::string(96, 'a') + ".wav"},
        {"a." + std::string(20, 'b'), "a." + std::string(20, 'b')}, // a long extension is stem
        {longUtf8 + ".wav", longUtf8.substr(0, 95) + ".wav"},       // cut at a character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        fs::remove_all(out());
        writeFile(src(c.source), "content of " + c.source);
        vqrt::RecordWriter w = writer();
        w.beginSection("S");
        w.writeFileValue(("\"" + src(c.source) + "\"").c_str(), "k");
        EXPECT_EQ(carried(w), "files/" + c.carried);
        EXPECT_EQ(readFile(out() + "/files/" + c.carried), "content of " + c.source);
        EXPECT_EQ(listDir(out() + "/files"), std::vector<std::string>{c.carried});
    }
    EXPECT_TRUE(warnings.empty());
}

// A symbolic link or a file in place of files/ is never written through.
TEST_F(RecordWriterTest, FilesFolderMustBeARealFolder) {
    writeFile(src("Message.wav"), "ding");
    fs::create_directories(out());
    fs::create_symlink(dir.path(), out() + "/files");
    for (const char* thing : {"symbolic link", "file"}) {
        vqrt::RecordWriter w = writer();
        w.writeFileValue(src("Message.wav").c_str(), "k");
        EXPECT_TRUE(carried(w).is_null());
        EXPECT_EQ(warnings.back(), src("Message.wav") + ": cannot carry (" + out() +
                                       "/files: cannot create the folder (a " + thing +
                                       " is in its place))");
        fs::remove(out() + "/files");
        writeFile(out() + "/files", "a file");
    }
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"out", "src"}));
}

// A save that fails is reported and tried again at the end; a save leaves only record.json,
// readable by its owner alone.
TEST_F(RecordWriterTest, FailedSaveIsReportedAndTriedAgain) {
    fs::create_directories(out() + "/record.json");
    vqrt::RecordWriter w = writer();
    w.beginSection("ICQ_OWNER");
    w.writeValue("Password", "secret");
    w.endSection();
    w.flush();
    const std::string line = out() + "/record.json: cannot replace (Is a directory)";
    EXPECT_TRUE(w.lastSaveFailed());
    EXPECT_EQ(w.lastSaveError(), line);
    EXPECT_EQ(warnings, std::vector<std::string>{line});
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"record.json"});

    fs::remove(out() + "/record.json");
    w.finish();
    EXPECT_FALSE(w.lastSaveFailed());
    EXPECT_EQ(nlohmann::ordered_json::parse(readFile(out() + "/record.json")), w.json());
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"record.json"});
    struct stat st;
    ASSERT_EQ(stat((out() + "/record.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace
