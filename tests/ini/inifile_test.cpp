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

struct FileCase {
    const char* label;
    std::string text;
    std::string saved; // what a save of the loaded document writes
};

// Lines are read in pieces of 198 characters; names and values keep 79.
const FileCase kFiles[] = {
    {"keys before the first header", "a=1\n[S]\nb = 2\n", "a=1\n\n[S]\nb=2\n"},
    {"spaces around the equals sign", "  NickName   =  Rover  \n", "NickName=Rover\n"},
    {"header forms", "  [ ICQ User ]  \n[ICQ User] x\n[]\n", "\n[ICQ User]\n\n[ICQ User]\n\n[]\n"},
    {"header without bracket", "[abc \nk=v\n", "\n[abc]\nk=v\n"},
    {"comments", "; note\n   ;  indented   note  \n", "; note\n; indented note\n"},
    {"a line of spaces", "   \n", "=\n"},
    {"lines without equals sign", "x[y]\n\t[t]\nword\n", "x[y]=\n\t[t]=\nword=\n"},
    {"later equals signs", "a=b=c\n=x\n", "a=b=c\n=x\n"},
    {"a repeated header", "[S]\na=1\n[s]\nb=2\n", "\n[S]\na=1\nb=2\n\n[s]\n"},
    {"CRLF owner file", "[ICQ User]\r\nNick=Rover\r\n", "\n[ICQ User]\nNick=Rover\r\n"},
    {"a lone carriage return", "\r\n", "\r=\n"},
    {"no escapes", "[HKCU\\Soft]\n\tPath\t= \"C:\\ICQ\"\n",
     "\n[HKCU\\Soft]\n\tPath\t=\"C:\\ICQ\"\n"},
    {"blank lines, no last newline", "\n\n[S]\n\nk=v", "\n[S]\nk=v\n"},
    {"an empty file", "", ""},
    {"a zero byte", "a=b\0junk\nc=d\n"s, "a=b\nc=d\n"},
    {"a key line of 250 characters", run('n', 100) + "=" + run('v', 149) + "\n",
     run('n', 79) + "=" + run('v', 79) + "\n" + run('v', 52) + "=\n"},
    {"a long comment", ";" + run('c', 100) + "\n", ";" + run('c', 78) + "\n"},
    {"a long section name", "[" + run('x', 100) + "]\nk=v\n", "\n[" + run('x', 79) + "]\nk=v\n"},
    {"a header longer than a piece", "[" + run('h', 250) + "]\n",
     "\n[" + run('h', 79) + "]\n" + run('h', 53) + "]=\n"},
};

TEST(IniFile, LoadsEachLineKindAndSavesItBack) {
    TempDir dir;
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.label);
        writeFile(dir.file("in.ini"), c.text);
        CIniReader doc;
        ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
        ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
        EXPECT_EQ(readFile(dir.file("out.ini")), c.saved);
        // What a save writes reads back into the same document.
        CIniReader again;
        ASSERT_TRUE(again.LoadFromFile(dir.file("out.ini").c_str()));
        ASSERT_TRUE(again.SaveToFile(dir.file("again.ini").c_str()));
        EXPECT_EQ(readFile(dir.file("again.ini")), c.saved);
    }
}

TEST(IniFile, SavesCommentKeysAndHeadersFromTheModel) {
    TempDir dir;
    writeFile(dir.file("out.ini"), run('#', 500));
    CIniReader doc;
    doc.AddSection("A");
    doc.AddKey("A", "  ; note", "dropped");
    doc.AddKey("A", "k;", "v");
    doc.AddSection("Tolvane Dummy Section");
    doc.AddKey("Tolvane Dummy Section", "d", "1");
    doc.AddSection("tolvane dummy section");
    ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("out.ini")),
              "\n[A]\n  ; note\nk;=v\nd=1\n\n[tolvane dummy section]\n");
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
    doc.SetKeyValAlways("T", "c", "4");
    EXPECT_EQ(doc.calls, "+[Tolvane Dummy Section]+a+[S]+b=b+[T]+c");
    // The saver asks for the count; an answer past the sections reads no further.
    ASSERT_TRUE(doc.SaveToFile(dir.file("one.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("one.ini")), "a=1\n");
    doc.sectionsCount = 50;
    ASSERT_TRUE(doc.SaveToFile(dir.file("all.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("all.ini")), "a=1\n\n[S]\nb=3\n\n[T]\nc=4\n");
}

TEST(IniFile, FilesThatCannotBeOpenedAnswerFalse) {
    TempDir dir;
    CIniReader doc;
    doc.AddSection("kept");
    const std::string device = dir.file("device.uin");
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    EXPECT_FALSE(doc.LoadFromFile(nullptr));
    for (const std::string& path : {dir.file("missing.ini"), device, dir.path()}) {
        EXPECT_FALSE(doc.LoadFromFile(path.c_str())) << path;
    }
    EXPECT_EQ(doc.GetSectionsCount(), 1);
    EXPECT_FALSE(doc.SaveToFile(dir.file("no/such/dir.ini").c_str()));
    EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
    EXPECT_FALSE(doc.SaveToFile(nullptr));
}

} // namespace
