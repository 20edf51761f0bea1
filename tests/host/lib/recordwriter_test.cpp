#include "recordwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/tempdir.h"
#include "text/utf8.h"

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

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
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

TEST_F(RecordWriterTest, KeepsCallOrderDuplicatesAndOpenSections) {
    vqrt::RecordWriter w = writer();
    w.endSection(); // nothing open: ignored
    w.writeValue(nullptr, nullptr);
    w.beginSection("ICQ_FAILURE");
    w.writeValue("ICQ_VQX_STATUS", "ICQ_VQX_NO");
    w.writeValue("ICQ_VQX_STATUS", "ICQ_VQX_NO");
    w.endSection();
    w.beginSection("CONTACTS");
    w.beginSection("contact_1");
    w.writeValue("UIN", "12345");
    w.endSection();
    w.beginSection("contact_2"); // the user cancelled here
    w.setResult(-1);
    w.finish();
    EXPECT_EQ(w.json().dump(),
              R"({"format":"tolvane-record/1","plugin":"ICQ","result":-1,"complete":false,)"
              R"("sections":[{"name":"","closed":true,"entries":[{"key":"","value":""}]},)"
              R"({"name":"ICQ_FAILURE","closed":true,"entries":[{"key":"ICQ_VQX_STATUS",)"
              R"("value":"ICQ_VQX_NO"},{"key":"ICQ_VQX_STATUS","value":"ICQ_VQX_NO"}]},)"
              R"({"name":"CONTACTS","closed":false,"entries":[{"section":{"name":"contact_1",)"
              R"("closed":true,"entries":[{"key":"UIN","value":"12345"}]}},{"section":)"
              R"({"name":"contact_2","closed":false,"entries":[]}}]}]})");
    EXPECT_EQ(readFile(out() + "/record.json"), w.json().dump(2) + "\n");
    EXPECT_FALSE(w.lastSaveFailed());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(RecordWriterTest, FlushCompletesAndFinishSavesOnlyWhatChanged) {
    vqrt::RecordWriter w = writer();
    w.beginSection("ICQ_SOUNDS_SETTINGS");
    w.endSection();
    w.flush();
    auto saved = nlohmann::ordered_json::parse(readFile(out() + "/record.json"));
    EXPECT_EQ(saved["complete"], true);
    EXPECT_EQ(saved["result"], 0);
    EXPECT_EQ(saved, w.json());

    fs::remove(out() + "/record.json");
    w.setResult(0);
    w.finish(); // nothing changed since the flush
    EXPECT_FALSE(fs::exists(out() + "/record.json"));

    w.setResult(-1);
    w.finish();
    saved = nlohmann::ordered_json::parse(readFile(out() + "/record.json"));
    EXPECT_EQ(saved["complete"], true);
    EXPECT_EQ(saved["result"], -1);
}

TEST_F(RecordWriterTest, UnflushedEmptyRecordIsStillSaved) {
    vqrt::RecordWriter w(dir.file("a/b/c"), "ICQ", {"CP1252", sink()});
    w.finish();
    const auto saved = nlohmann::ordered_json::parse(readFile(dir.file("a/b/c/record.json")));
    EXPECT_EQ(saved.dump(), R"({"format":"tolvane-record/1","plugin":"ICQ","result":0,)"
                            R"("complete":false,"sections":[]})");
}

struct CodepageCase {
    const char* name;
    const char* codepage;
    std::string bytes;
    std::string utf8;
};

void PrintTo(const CodepageCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordWriterCodepage : public RecordWriterTest,
                             public ::testing::WithParamInterface<CodepageCase> {};

TEST_P(RecordWriterCodepage, EveryTextBecomesUtf8) {
    const CodepageCase& param = GetParam();
    vqrt::RecordWriter w(out(), "ICQ", {param.codepage, sink()});
    w.beginSection(param.bytes.c_str());
    w.writeValue(param.bytes.c_str(), param.bytes.c_str());
    w.writeFileValue(("\"/nonexistent/" + param.bytes + "\"").c_str(), param.bytes.c_str());
    w.endSection();
    w.flush();
    const std::string text = readFile(out() + "/record.json");
    EXPECT_TRUE(text::isValidUtf8(text));
    const auto saved = nlohmann::ordered_json::parse(text);
    const auto& section = saved["sections"][0];
    EXPECT_EQ(section["name"], param.utf8);
    EXPECT_EQ(section["entries"][0]["key"], param.utf8);
    EXPECT_EQ(section["entries"][0]["value"], param.utf8);
    EXPECT_EQ(section["entries"][1]["key"], param.utf8);
    EXPECT_EQ(section["entries"][1]["file"], "\"/nonexistent/" + param.utf8 + "\"");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "/nonexistent/" + param.utf8 + ": cannot carry (No such file or directory)");
}

INSTANTIATE_TEST_SUITE_P(
    Codepages, RecordWriterCodepage,
    ::testing::Values(CodepageCase{"Western", "CP1252", "M\xFCller \x80",
                                   "M\xC3\xBCller \xE2\x82\xAC"},
                      CodepageCase{"Utf8Kept", "CP1251", "M\xC3\xBCller", "M\xC3\xBCller"},
                      CodepageCase{"DoubleByte", "CP932", "\x83\x41", "\xE3\x82\xA2"}),
    [](const ::testing::TestParamInfo<CodepageCase>& info) {
        return std::string(info.param.name);
    });

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
    EXPECT_EQ(w.json()["sections"][0]["entries"][0]["file"], "\"" + src("a/Message.wav") + "\"");
    EXPECT_EQ(readFile(out() + "/files/Message.wav"), std::string("RIFF\0A", 6));
    EXPECT_EQ(readFile(out() + "/files/Message-2.wav"), std::string("RIFF\0B", 6));
    EXPECT_EQ(readFile(out() + "/files/Notify.wav"), "from an older run");
    EXPECT_EQ(readFile(out() + "/files/Notify-2.wav"), "new");
    EXPECT_EQ(listDir(out() + "/files"),
              (std::vector<std::string>{"Message", "Message-2", "Message-2.wav", "Message.wav",
                                        "Notify-2.wav", "Notify.wav"}));
    EXPECT_TRUE(warnings.empty());
}

TEST_F(RecordWriterTest, RunningTheImportTwiceGivesTheSameBundle) {
    writeFile(src("Message.wav"), "ding");
    std::string first;
    for (int run = 0; run < 2; ++run) {
        vqrt::RecordWriter w = writer();
        w.beginSection("ICQ_SOUNDS_SETTINGS");
        w.writeFileValue(("\"" + src("Message.wav") + "\"").c_str(), "ICQMessage");
        w.endSection();
        w.flush();
        const std::string text = readFile(out() + "/record.json");
        if (run == 0) {
            first = text;
        } else {
            EXPECT_EQ(text, first);
        }
    }
    EXPECT_EQ(listDir(out()), (std::vector<std::string>{"files", "record.json"}));
    EXPECT_EQ(listDir(out() + "/files"), (std::vector<std::string>{"Message.wav"}));
}

struct NameCase {
    const char* name;
    std::string source; // file name below the source folder
    std::string carried;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordWriterNames : public RecordWriterTest,
                          public ::testing::WithParamInterface<NameCase> {};

TEST_P(RecordWriterNames, CarriedNamesAreSafe) {
    const NameCase& param = GetParam();
    writeFile(src(param.source), "content of " + param.source);
    vqrt::RecordWriter w = writer();
    w.beginSection("S");
    w.writeFileValue(("\"" + src(param.source) + "\"").c_str(), "k");
    EXPECT_EQ(carried(w), "files/" + param.carried);
    EXPECT_EQ(readFile(out() + "/files/" + param.carried), "content of " + param.source);
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"files"});
    EXPECT_TRUE(warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordWriterNames,
    ::testing::Values(
        NameCase{"Plain", "Message.wav", "Message.wav"},
        NameCase{"Hidden", ".hidden.wav", "_hidden.wav"}, NameCase{"DotsOnly", "...", "_."},
        NameCase{"DotDotPrefix", "..wav", "_.wav"}, NameCase{"DotRuns", "a..b...wav", "a.b.wav"},
        NameCase{"ShellCharacters", "it's \"q\" $(rm -rf ~); `x`|&.wav",
                 "it_s__q____rm_-rf______x___.wav"},
        NameCase{"Newline", "line\nbreak\r.wav", "line_break_.wav"},
        NameCase{"Backslash", "C:\\evil.wav", "C__evil.wav"},
        NameCase{"Utf8Letters",
                 "Gl\xC3\xB6"
                 "ckchen.wav",
                 "Gl\xC3\xB6"
                 "ckchen.wav"},
        NameCase{"WesternBytes",
                 "Gl\xF6"
                 "ckchen.wav",
                 "Gl\xC3\xB6"
                 "ckchen.wav"},
        NameCase{"BidiOverride", "\xE2\x80\xAEvaw.exe", "_vaw.exe"},
        NameCase{"NoBreakSpace",
                 "a\xC2\xA0"
                 "b.wav",
                 "a_b.wav"},
        NameCase{"LongName", std::string(200, 'a') + ".wav", std::string(96, 'a') + ".wav"},
        NameCase{"LongExtensionIsStem", "a." + std::string(20, 'b'), "a." + std::string(20, 'b')},
        NameCase{"LongUtf8CutAtCharacter",
                 "a" + replaceAll(std::string(60, '*'), "*", "\xC3\xB6") + ".wav",
                 "a" + replaceAll(std::string(47, '*'), "*", "\xC3\xB6") + ".wav"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string value;   // as the plug-in passes it; "@" stands for the source folder
    std::string warning; // "@" likewise
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordWriterRefused : public RecordWriterTest,
                            public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RecordWriterRefused, IsRecordedAsNotCarried) {
    writeFile(src("dir.wav/inside"), "");
    mkfifo(src("pipe.wav").c_str(), 0600);
    fs::create_symlink("nowhere", src("dangling.wav"));
    fs::create_symlink("loop.wav", src("loop.wav"));
    const std::string value = replaceAll(GetParam().value, "@", dir.file("src"));
    vqrt::RecordWriter w = writer();
    w.beginSection("S");
    w.writeFileValue(value.c_str(), "ICQMessage");
    w.endSection();
    w.flush();
    const auto saved = nlohmann::ordered_json::parse(readFile(out() + "/record.json"));
    EXPECT_EQ(saved["sections"][0]["entries"][0].dump(),
              nlohmann::ordered_json({{"key", "ICQMessage"}, {"file", value}, {"carried", nullptr}})
                  .dump());
    EXPECT_EQ(warnings,
              std::vector<std::string>{replaceAll(GetParam().warning, "@", dir.file("src"))});
    EXPECT_TRUE(listDir(out() + "/files").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RecordWriterRefused,
    ::testing::Values(
        RefusedCase{"Missing", "\"@/missing.wav\"",
                    "@/missing.wav: cannot carry (No such file or directory)"},
        RefusedCase{"Directory", "\"@/dir.wav\"", "@/dir.wav: cannot carry (it is a directory)"},
        RefusedCase{"DotDot", "\"@/..\"", "@/..: cannot carry (it is a directory)"},
        RefusedCase{"Fifo", "\"@/pipe.wav\"",
                    "@/pipe.wav: cannot carry (it is not a regular file)"},
        RefusedCase{"DanglingLink", "\"@/dangling.wav\"",
                    "@/dangling.wav: cannot carry (No such file or directory)"},
        RefusedCase{"LinkLoop", "\"@/loop.wav\"",
                    "@/loop.wav: cannot carry (Too many levels of symbolic links)"},
        RefusedCase{"NoLocalPath", "\"\"",
                    "ICQMessage: cannot carry the file (it has no local path)"},
        RefusedCase{"NothingAtAll", "", "ICQMessage: cannot carry the file (it has no local path)"},
        RefusedCase{"Relative", "\"../../etc/passwd\"",
                    "../../etc/passwd: cannot carry (it is not an absolute path)"},
        RefusedCase{"OnlyOnePairOfQuotesRemoved", "\"\"@/missing.wav\"\"",
                    "\"@/missing.wav\": cannot carry (it is not an absolute path)"},
        RefusedCase{"ControlCharactersShownEscaped", "\"@/a\nb\x01.wav\"",
                    "@/a\\nb\\x01.wav: cannot carry (No such file or directory)"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

// As a user for whom permission bits count: a source it cannot read is not carried, and a save
// into a folder it cannot write keeps the earlier record.
TEST_F(RecordWriterTest, UnreadableSourceAndReadOnlyFolder) {
    writeFile(src("secret.wav"), "x");
    chmod(src("secret.wav").c_str(), 0);
    writeFile(out() + "/record.json", "earlier");
    chmod(dir.path().c_str(), 0755);
    chmod(out().c_str(), 0777);
    const auto asUser = [this](const std::function<void(vqrt::RecordWriter&)>& use) {
        return testsupport::asUnprivilegedUser([&] {
            vqrt::RecordWriter w = writer();
            use(w);
            std::string lines = carried(w).dump();
            for (const std::string& line : warnings) {
                lines += "\n" + line;
            }
            return lines;
        });
    };
    EXPECT_EQ(asUser([this](vqrt::RecordWriter& w) {
                  w.beginSection("S");
                  w.writeFileValue(src("secret.wav").c_str(), "k");
              }),
              "null\n" + src("secret.wav") + ": cannot carry (Permission denied)");
    chmod(out().c_str(), 0555);
    EXPECT_EQ(asUser([](vqrt::RecordWriter& w) {
                  w.beginSection("S");
                  w.writeValue("k", "v");
                  w.flush();
              }),
              "null\n" + out() + "/record.json: cannot write (Permission denied)");
    EXPECT_EQ(readFile(out() + "/record.json"), "earlier");
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"record.json"});
}

TEST_F(RecordWriterTest, FilesFolderMustBeARealFolder) {
    writeFile(src("Message.wav"), "ding");
    fs::create_directories(dir.file("elsewhere"));
    fs::create_directories(out());
    fs::create_symlink(dir.file("elsewhere"), out() + "/files");
    {
        vqrt::RecordWriter w = writer();
        w.writeFileValue(src("Message.wav").c_str(), "k");
        EXPECT_TRUE(carried(w).is_null());
    }
    EXPECT_TRUE(listDir(dir.file("elsewhere")).empty());
    fs::remove(out() + "/files");
    writeFile(out() + "/files", "a file");
    {
        vqrt::RecordWriter w = writer();
        w.writeFileValue(src("Message.wav").c_str(), "k");
        EXPECT_TRUE(carried(w).is_null());
    }
    const std::string line =
        src("Message.wav") + ": cannot carry (" + out() + "/files: cannot create the folder (a ";
    EXPECT_EQ(warnings, (std::vector<std::string>{line + "symbolic link is in its place))",
                                                  line + "file is in its place))"}));
}

TEST_F(RecordWriterTest, SaveLeavesOnlyTheRecordReadableByItsOwner) {
    vqrt::RecordWriter w = writer();
    w.beginSection("ICQ_OWNER");
    w.writeValue("Password", "secret");
    w.endSection();
    w.flush();
    w.flush();
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"record.json"});
    struct stat st;
    ASSERT_EQ(stat((out() + "/record.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RecordWriterTest, FailedSaveIsReportedAndTriedAgain) {
    fs::create_directories(out() + "/record.json");
    vqrt::RecordWriter w = writer();
    w.beginSection("ICQ_FAILURE");
    w.endSection();
    w.flush();
    const std::string line = out() + "/record.json: cannot replace (Is a directory)";
    EXPECT_TRUE(w.lastSaveFailed());
    EXPECT_EQ(w.lastSaveError(), line);
    EXPECT_EQ(warnings, std::vector<std::string>{line});
    EXPECT_EQ(listDir(out()), std::vector<std::string>{"record.json"});

    fs::remove(out() + "/record.json");
    w.finish(); // still unsaved: tried again
    EXPECT_FALSE(w.lastSaveFailed());
    EXPECT_EQ(w.lastSaveError(), "");
    EXPECT_EQ(nlohmann::ordered_json::parse(readFile(out() + "/record.json")), w.json());
}

TEST_F(RecordWriterTest, OutputThatIsAFileIsReported) {
    writeFile(out(), "not a folder");
    vqrt::RecordWriter w(out() + "/", "ICQ", {"CP1252", sink()});
    w.finish();
    EXPECT_TRUE(w.lastSaveFailed());
    const std::string line = out() + ": cannot create the folder (Not a directory)";
    EXPECT_EQ(w.lastSaveError(), line);
    EXPECT_EQ(warnings, (std::vector<std::string>{line}));
    EXPECT_EQ(readFile(out()), "not a folder");
}

} // namespace
