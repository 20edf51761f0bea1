#include "ini/inireader.h"
#include "support/tempdir.h"

#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

std::string run(char c, std::size_t n) {
    return std::string(n, c);
}

// Each row: the file, and what a save of the loaded document writes. Lines are read in pieces
// of 198 characters; names and values keep 79.
const std::pair<std::string, std::string> kFiles[] = {
    {"a=1\n[S]\nb = 2\n", "a=1\n\n[S]\nb=2\n"},
    {"  NickName   =  Rover  \r\n=x\na=b=c\n", "NickName=Rover \r\n=x\na=b=c\n"},
    {"  [ ICQ User ]  \n[HKCU\\S] x\n[]\n[abc \n", "\n[ICQ User]\n\n[HKCU\\S]\n\n[]\n\n[abc]\n"},
    {"; note\n   ;  indented   note  \n   \nword\n\t[t]\n",
     "; note\n; indented note\n=\nword=\n\t[t]=\n"},
    {"[S]\na=1\n[s]\nb=2", "\n[S]\na=1\nb=2\n\n[s]\n"},
    {"a=b\0junk\n\n\nc=d\n"s, "a=b\nc=d\n"},
    {run('n', 100) + "=" + run('v', 149) + "\n",
     run('n', 79) + "=" + run('v', 79) + "\n" + run('v', 52) + "=\n"},
    {"[" + run('h', 250) + "]\n", "\n[" + run('h', 79) + "]\n" + run('h', 53) + "]=\n"},
};

TEST(IniFile, LoadsEachLineKindAndSavesItBack) {
    TempDir dir;
    for (const auto& [text, saved] : kFiles) {
        SCOPED_TRACE(text);
        writeFile(dir.file("in.ini"), text);
        CIniReader doc;
        ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
        ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
        EXPECT_EQ(readFile(dir.file("out.ini")), saved);
        // What a save writes reads back into the same document.
        CIniReader again;
        ASSERT_TRUE(again.LoadFromFile(dir.file("out.ini").c_str()));
        ASSERT_TRUE(again.SaveToFile(dir.file("out.ini").c_str()));
        EXPECT_EQ(readFile(dir.file("out.ini")), saved);
    }
}

/// Logs the virtual operations that loading and SetKeyValAlways reach; answers its own count.
class RecordingReader : public CIniReader {
public:
    bool AddSection(const char* name) override {
        calls += std::string("+[") + name + "]";
        return CIniReader::AddSection(name);
    }
    bool AddKey(const char* section, const char* key, const char* value) override {
        calls += std::string("+") + key;
        return CIniReader::AddKey(section, key, value);
    }
    bool SetKeyVal(const char* section, const char* key, const char* value) override {
        calls += std::string("=") + key;
        return CIniReader::SetKeyVal(section, key, value);
    }
    int GetSectionsCount() override { return sectionsCount; }

    std::string calls;
    int sectionsCount = 1;
};

TEST(IniFile, LoadSaveAndSetKeyValAlwaysGoThroughTheVirtualInterface) {
    TempDir dir;
    writeFile(dir.file("in.ini"), "a=1\n[S]\n");
    RecordingReader doc;
    ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
    doc.SetKeyValAlways("S", "b", "2");
    doc.SetKeyValAlways("S", "b", "3");
    // Only the exact name of the leading keys' section goes without a header.
    doc.AddSection("tolvane dummy section");
    EXPECT_EQ(doc.calls, "+[Tolvane Dummy Section]+a+[S]+b=b+[tolvane dummy section]");
    // The saver asks for the count; an answer past the sections reads no further.
    ASSERT_TRUE(doc.SaveToFile(dir.file("one.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("one.ini")), "a=1\n");
    doc.sectionsCount = 50;
    writeFile(dir.file("all.ini"), run('#', 500));
    ASSERT_TRUE(doc.SaveToFile(dir.file("all.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("all.ini")), "a=1\n\n[S]\nb=3\n\n[tolvane dummy section]\n");
}

// Only a regular file is loaded (links followed); a failed load adds nothing.
TEST(IniFile, FilesThatCannotBeOpenedAnswerFalse) {
    TempDir dir;
    writeFile(dir.file("file"), "k=v\n");
    ASSERT_EQ(::symlink(dir.file("file").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    CIniReader doc;
    EXPECT_TRUE(doc.LoadFromFile(dir.file("link").c_str()));
    EXPECT_FALSE(doc.LoadFromFile(dir.file("zero").c_str()) ||
                 doc.LoadFromFile(dir.file("missing").c_str()) || doc.LoadFromFile(nullptr));
    EXPECT_EQ(doc.GetSectionsCount(), 1);
    EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()) || doc.SaveToFile(nullptr));
}

} // namespace
