#include "ini/inireader.h"
#include "recordingreader.h"
#include "support/tempdir.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using ::testing::ElementsAreArray;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kDummy = "Tolvane Dummy Section";

std::string sec(const std::string& name) {
    return "AddSection(" + name + ")";
}
std::string key(const std::string& section, const std::string& name, const std::string& value) {
    return "AddKey(" + section + "," + name + "," + value + ")";
}
std::string run(char c, std::size_t n) {
    return std::string(n, c);
}

std::string labelName(std::string label) {
    for (char& c : label) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return label;
}

struct FileCase {
    const char* label;
    std::string text;
    std::vector<std::string> calls; // what the loader asks of the document
    std::string saved;              // what a save of the loaded document writes
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.label;
}

class LoadAndSave : public ::testing::TestWithParam<FileCase> {};

TEST_P(LoadAndSave, ReadsEachLineKindAndWritesItBack) {
    const FileCase& c = GetParam();
    testsupport::TempDir dir;
    writeFile(dir.file("in.ini"), c.text);
    initest::RecordingReader doc;
    ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
    EXPECT_THAT(doc.calls, ElementsAreArray(c.calls));
    ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("out.ini")), c.saved);

    // What a save writes reads back into the same document.
    CIniReader again;
    ASSERT_TRUE(again.LoadFromFile(dir.file("out.ini").c_str()));
    ASSERT_TRUE(again.SaveToFile(dir.file("again.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("again.ini")), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadAndSave,
    ::testing::Values(
        FileCase{"keys before the first header",
                 "a=1\n[S]\nb = 2\n",
                 {sec(kDummy), key(kDummy, "a", "1"), sec("S"), key("S", "b", "2")},
                 "a=1\n\n[S]\nb=2\n"},
        FileCase{"spaces around the equals sign",
                 "  NickName   =  Rover  \n",
                 {sec(kDummy), key(kDummy, "NickName", "Rover")},
                 "NickName=Rover\n"},
        FileCase{"header forms",
                 "  [ ICQ User ]  \n[ICQ User] trailing\n[]\n[ ]\n",
                 {sec(kDummy), sec("ICQ User"), sec("ICQ User"), sec(""), sec("")},
                 "\n[ICQ User]\n\n[ICQ User]\n\n[]\n\n[]\n"},
        FileCase{"comments",
                 "; note\n   ;  indented   note  \n",
                 {sec(kDummy), key(kDummy, "; note", ""), key(kDummy, "; indented note", "")},
                 "; note\n; indented note\n"},
        FileCase{"a line of spaces", "   \n", {sec(kDummy), key(kDummy, "", "")}, "=\n"},
        FileCase{"brackets that open no header",
                 "x[y]\n\t[t]\n",
                 {sec(kDummy), key(kDummy, "x[y]", ""), key(kDummy, "\t[t]", "")},
                 "x[y]=\n\t[t]=\n"},
        FileCase{"a word alone", "word\n", {sec(kDummy), key(kDummy, "word", "")}, "word=\n"},
        FileCase{"later equals signs",
                 "a=b=c\n=x\n",
                 {sec(kDummy), key(kDummy, "a", "b=c"), key(kDummy, "", "x")},
                 "a=b=c\n=x\n"},
        FileCase{"a repeated header",
                 "[S]\na=1\n[s]\nb=2\n",
                 {sec(kDummy), sec("S"), key("S", "a", "1"), sec("s"), key("s", "b", "2")},
                 "\n[S]\na=1\nb=2\n\n[s]\n"},
        FileCase{"CRLF owner file",
                 "[ICQ User]\r\nNickName=Rover\r\nUIN=12345\r\n",
                 {sec(kDummy), sec("ICQ User"), key("ICQ User", "NickName", "Rover\r"),
                  key("ICQ User", "UIN", "12345\r")},
                 "\n[ICQ User]\nNickName=Rover\r\nUIN=12345\r\n"},
        FileCase{"a lone carriage return", "\r\n", {sec(kDummy), key(kDummy, "\r", "")}, "\r=\n"},
        FileCase{"tabs quotes backslashes",
                 "[HKEY_CURRENT_USER\\Software\\Mirabilis]\n\tPath\t= \"C:\\ICQ\"\n",
                 {sec(kDummy), sec("HKEY_CURRENT_USER\\Software\\Mirabilis"),
                  key("HKEY_CURRENT_USER\\Software\\Mirabilis", "\tPath\t", "\"C:\\ICQ\"")},
                 "\n[HKEY_CURRENT_USER\\Software\\Mirabilis]\n\tPath\t=\"C:\\ICQ\"\n"},
        FileCase{"blank lines and no last newline",
                 "\n\n[S]\n\nk=v",
                 {sec(kDummy), sec("S"), key("S", "k", "v")},
                 "\n[S]\nk=v\n"},
        FileCase{"an empty file", "", {sec(kDummy)}, ""},
        FileCase{"a zero byte",
                 "a=b\0junk\nc=d\n"s,
                 {sec(kDummy), key(kDummy, "a", "b"), key(kDummy, "c", "d")},
                 "a=b\nc=d\n"},
        FileCase{"a header without bracket",
                 "[abc \nk=v\n",
                 {sec(kDummy), sec("abc"), key("abc", "k", "v")},
                 "\n[abc]\nk=v\n"},
        // 250 characters: the first piece holds 198 of them, the rest is a line of its own.
        FileCase{
            "a key line of 250 characters",
            run('n', 100) + "=" + run('v', 149) + "\n",
            {sec(kDummy), key(kDummy, run('n', 79), run('v', 79)), key(kDummy, run('v', 52), "")},
            run('n', 79) + "=" + run('v', 79) + "\n" + run('v', 52) + "=\n"},
        FileCase{"a piece ends after 198 characters",
                 "k=" + run('v', 196) + "tail\n",
                 {sec(kDummy), key(kDummy, "k", run('v', 79)), key(kDummy, "tail", "")},
                 "k=" + run('v', 79) + "\ntail=\n"},
        FileCase{"a long comment",
                 ";" + run('c', 100) + "\n",
                 {sec(kDummy), key(kDummy, ";" + run('c', 100), "")},
                 ";" + run('c', 78) + "\n"},
        FileCase{"a long section name",
                 "[" + run('x', 100) + "]\nk=v\n",
                 {sec(kDummy), sec(run('x', 100)), key(run('x', 79), "k", "v")},
                 "\n[" + run('x', 79) + "]\nk=v\n"},
        // The "]" of a 250-character header falls into the second piece.
        FileCase{"a header longer than a piece",
                 "[" + run('h', 250) + "]\n",
                 {sec(kDummy), sec(run('h', 197)), key(run('h', 79), run('h', 53) + "]", "")},
                 "\n[" + run('h', 79) + "]\n" + run('h', 53) + "]=\n"}),
    [](const auto& info) { return labelName(info.param.label); });

TEST(IniFile, SavesCommentKeysAndHeadersFromTheModel) {
    testsupport::TempDir dir;
    writeFile(dir.file("out.ini"), run('#', 500));
    CIniReader doc;
    doc.AddSection("A");
    doc.AddKey("A", "  ; note", "dropped");
    doc.AddKey("A", "k;", "v");
    doc.AddSection(kDummy.c_str());
    doc.AddKey(kDummy.c_str(), "d", "1");
    doc.AddSection("tolvane dummy section");
    ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("out.ini")),
              "\n[A]\n  ; note\nk;=v\nd=1\n\n[tolvane dummy section]\n");

    CIniReader empty;
    ASSERT_TRUE(empty.SaveToFile(dir.file("out.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("out.ini")), "");
}

TEST(IniFile, SaveTakesTheSectionCountFromTheVirtualInterface) {
    testsupport::TempDir dir;
    initest::RecordingReader doc;
    doc.AddSection("A");
    doc.AddSection("B");
    doc.sectionsCountOverride = 1;
    ASSERT_TRUE(doc.SaveToFile(dir.file("one.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("one.ini")), "\n[A]\n");
    EXPECT_EQ(doc.calls.back(), "GetSectionsCount");

    doc.sectionsCountOverride = 50;
    ASSERT_TRUE(doc.SaveToFile(dir.file("all.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("all.ini")), "\n[A]\n\n[B]\n");
}

TEST(IniFile, LoadingAddsToWhatTheDocumentHolds) {
    testsupport::TempDir dir;
    writeFile(dir.file("in.ini"), "a=1\n[S]\nb=2\n");
    CIniReader doc;
    ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
    ASSERT_TRUE(doc.LoadFromFile(dir.file("in.ini").c_str()));
    EXPECT_EQ(doc.GetSectionsCount(), 4);
    EXPECT_EQ(doc.GetKeysCount(0u), 2);
    EXPECT_EQ(doc.GetKeysCount(1u), 2);
    EXPECT_EQ(doc.GetKeysCount(2u), 0);
    EXPECT_EQ(doc.GetKeysCount(3u), 0);
    ASSERT_TRUE(doc.SaveToFile(dir.file("out.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("out.ini")), "a=1\na=1\n\n[S]\nb=2\nb=2\n\n[S]\n");
}

TEST(IniFile, FilesThatCannotBeOpenedAnswerFalse) {
    testsupport::TempDir dir;
    initest::RecordingReader doc;
    doc.AddSection("kept");
    doc.calls.clear();
    EXPECT_FALSE(doc.LoadFromFile(dir.file("missing.ini").c_str()));
    EXPECT_FALSE(doc.LoadFromFile(nullptr));
    // Not a file: a link to a device that never ends, and a folder.
    const std::string device = dir.file("device.uin");
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    EXPECT_FALSE(doc.LoadFromFile(device.c_str()));
    EXPECT_FALSE(doc.LoadFromFile(dir.path().c_str()));
    EXPECT_TRUE(doc.calls.empty());
    EXPECT_EQ(doc.GetSectionsCount(), 1);

    EXPECT_FALSE(doc.SaveToFile(dir.file("no/such/dir.ini").c_str()));
    EXPECT_FALSE(doc.SaveToFile(dir.path().c_str()));
    EXPECT_FALSE(doc.SaveToFile(nullptr));
}

struct ParseCase {
    std::string line;
    int keyLength;
    int valueLength;
    bool ok;
    std::string key;
    std::string value;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.line);
}

class ParseLine : public ::testing::TestWithParam<ParseCase> {};

// Buffers hold exactly `length` written bytes (text, then zeros) and nothing when refused.
TEST_P(ParseLine, SplitsAtTheFirstEqualsSign) {
    const ParseCase& c = GetParam();
    std::string keyBuffer(100, '#');
    std::string valueBuffer(100, '#');
    CIniReader doc;
    EXPECT_EQ(doc.ParseLine(c.line.c_str(), keyBuffer.data(), c.keyLength, valueBuffer.data(),
                            c.valueLength),
              c.ok)
        << c.line;
    const auto expected = [&](const std::string& text, int length) {
        std::string bytes = c.ok ? text : "";
        bytes.resize(c.ok ? static_cast<std::size_t>(length) : 0, '\0');
        bytes.resize(100, '#');
        return bytes;
    };
    EXPECT_EQ(keyBuffer, expected(c.key, c.keyLength)) << c.line;
    EXPECT_EQ(valueBuffer, expected(c.value, c.valueLength)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseLine,
    ::testing::Values(ParseCase{"a = b\n", 5, 5, true, "a", "b"},
                      ParseCase{"  a  =  b  ", 5, 5, true, "a", "b"},
                      ParseCase{"abcdef=ghij", 3, 2, true, "abc", "gh"},
                      ParseCase{"a==b", 5, 5, true, "a", "=b"}, ParseCase{"=", 5, 5, true, "", ""},
                      ParseCase{"k", 0, 0, true, "", ""}, ParseCase{"; c=d", 5, 5, false, "", ""},
                      ParseCase{"  ;x", 5, 5, false, "", ""},
                      ParseCase{"   \n", 5, 5, false, "", ""}, ParseCase{"", 5, 5, false, "", ""}));

TEST(IniLines, ReadLineClearsSizeBytesAndReadsPieces) {
    testsupport::TempDir dir;
    writeFile(dir.file("long.ini"), run('x', 250) + "\n");
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(dir.file("long.ini").c_str(), "r"),
                                                     &std::fclose);
    ASSERT_TRUE(file);
    CIniReader doc;
    std::string buffer(201, '#');
    EXPECT_FALSE(doc.ReadLine(nullptr, buffer.data(), 199));
    EXPECT_FALSE(doc.ReadLine(file.get(), buffer.data(), 1));
    ASSERT_TRUE(doc.ReadLine(file.get(), buffer.data(), 199));
    EXPECT_EQ(buffer, run('x', 198) + "\0##"s);
    ASSERT_TRUE(doc.ReadLine(file.get(), buffer.data(), 199));
    EXPECT_EQ(buffer, run('x', 52) + "\n" + std::string(146, '\0') + "##");
    EXPECT_FALSE(doc.ReadLine(file.get(), buffer.data(), 199));
    EXPECT_FALSE(doc.ReadLine(file.get(), buffer.data(), 199));
}

} // namespace
