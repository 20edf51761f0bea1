#include "ini/inireader.h"
#include "recordingreader.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;

/// The value of `key` in the first section named `section`, or "<none>".
std::string valueOf(CIniReader& doc, const char* section, const char* key) {
    char buffer[128];
    return doc.GetKeyVal(section, key, buffer, sizeof buffer) ? buffer : "<none>";
}

/// Section names, key counts and values by position: what an operation could have changed.
std::string snapshot(CIniReader& doc) {
    std::string out;
    char buffer[128];
    for (unsigned int s = 0; s < static_cast<unsigned int>(doc.GetSectionsCount()); ++s) {
        doc.GetSectionName(s, buffer, sizeof buffer);
        out += std::string("[") + buffer + "]";
        for (unsigned int k = 0; k < static_cast<unsigned int>(doc.GetKeysCount(s)); ++k) {
            doc.GetKeyVal(s, k, buffer, sizeof buffer);
            out += std::string(" ") + buffer;
        }
    }
    return out;
}

struct CompareCase {
    const char* a;
    const char* b;
    int document; // without regard to case
    int section;  // byte for byte
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.a)) << " vs "
        << ::testing::PrintToString(std::string(c.b));
}

class NameComparison : public ::testing::TestWithParam<CompareCase> {};

TEST_P(NameComparison, DocumentIgnoresCaseSectionDoesNot) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(CIniReader().inistricmp(c.a, c.b), c.document) << c.a << " / " << c.b;
    EXPECT_EQ(CIniSection().inistricmp(c.a, c.b), c.section) << c.a << " / " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameComparison,
    ::testing::Values(CompareCase{"ICQ User", "ICQ User", 0, 0},
                      CompareCase{"ICQ User", "icq USER", 0, 1}, CompareCase{"", "", 0, 0},
                      CompareCase{"UIN", "UI", 1, 1}, CompareCase{"UI", "UIN", 1, 1},
                      CompareCase{"a", "", 1, 1}, CompareCase{"[x]", "[X]", 0, 1},
                      // Windows-1252 bytes are negative as char and stay themselves.
                      CompareCase{"J\xFCrgen", "J\xFCRGEN", 0, 1},
                      CompareCase{"\xC4", "\xE4", 1, 1}, CompareCase{"\xFF", "\xFF", 0, 0},
                      CompareCase{"\xFF", "\x7F", 1, 1}));

TEST(IniModel, SectionsMatchWithoutCaseKeysExactly) {
    CIniReader doc;
    ASSERT_TRUE(doc.AddSection("ICQ User"));
    ASSERT_TRUE(doc.AddKey("icq user", "NickName", "Rover"));
    EXPECT_EQ(valueOf(doc, "ICQ USER", "NickName"), "Rover");
    EXPECT_EQ(valueOf(doc, "ICQ User", "nickname"), "<none>");
    EXPECT_TRUE(doc.IsSectionFound("iCq uSeR"));
    EXPECT_FALSE(doc.IsSectionFound("ICQ Use"));
    EXPECT_FALSE(doc.AddKey("Other", "k", "v"));
    EXPECT_EQ(snapshot(doc), "[ICQ User] Rover");
}

TEST(IniModel, DuplicatesAreKeptAndTheFirstMatchWins) {
    CIniReader doc;
    doc.AddSection("S");
    doc.AddSection("s");
    doc.AddKey("s", "UIN", "1");
    doc.AddKey("S", "UIN", "2");
    EXPECT_EQ(doc.GetSectionsCount(), 2);
    EXPECT_EQ(doc.GetKeysCount("s"), 2);
    EXPECT_EQ(doc.GetKeysCount(1u), 0);
    EXPECT_EQ(valueOf(doc, "S", "UIN"), "1");

    // A third section renamed to "S" holds the only "only": lookups by name never reach it.
    doc.AddSection("T");
    doc.AddKey("T", "only", "o");
    char twin[] = "S";
    ASSERT_TRUE(doc.SetSectionName(2u, twin));
    EXPECT_EQ(valueOf(doc, "S", "only"), "<none>");
    EXPECT_FALSE(doc.SetKeyVal("S", "only", "x"));
    EXPECT_FALSE(doc.RemoveKey("S", "only"));
    EXPECT_EQ(snapshot(doc), "[S] 1 2[s][S] o");
}

TEST(IniModel, RemovingByNameTakesTheFirstAndLaterEntriesMoveDown) {
    CIniReader doc;
    doc.AddSection("A");
    doc.AddKey("A", "UIN", "1");
    doc.AddKey("A", "UIN", "2");
    doc.AddKey("A", "Nick", "3");
    EXPECT_TRUE(doc.RemoveKey("A", "UIN"));
    EXPECT_EQ(snapshot(doc), "[A] 2 3");
    EXPECT_TRUE(doc.RemoveKey(0u, 0u));
    EXPECT_EQ(snapshot(doc), "[A] 3");
    EXPECT_FALSE(doc.RemoveKey("A", "UIN"));

    doc.AddSection("B");
    doc.AddSection("C");
    EXPECT_TRUE(doc.RemoveSection(1u));
    EXPECT_EQ(snapshot(doc), "[A] 3[C]");
    EXPECT_TRUE(doc.RemoveAll());
    EXPECT_EQ(doc.GetSectionsCount(), 0);
}

TEST(IniModel, TextsAreCutTo79Characters) {
    const std::string longText(100, 'n');
    const std::string cut(79, 'n');
    CIniReader doc;
    doc.AddSection(longText.c_str());
    doc.AddKey(cut.c_str(), longText.c_str(), longText.c_str());
    EXPECT_FALSE(doc.IsSectionFound(longText.c_str()));
    EXPECT_EQ(valueOf(doc, cut.c_str(), longText.c_str()), "<none>");
    EXPECT_EQ(valueOf(doc, cut.c_str(), cut.c_str()), cut);
    EXPECT_TRUE(doc.SetKeyVal(0u, 0u, (longText + "x").c_str()));
    EXPECT_EQ(snapshot(doc), "[" + cut + "] " + cut);
}

TEST(IniModel, SetKeyValAlwaysCreatesThroughTheVirtualInterface) {
    initest::RecordingReader doc;
    EXPECT_FALSE(doc.SetKeyVal("S", "k", "v"));
    EXPECT_EQ(doc.GetSectionsCount(), 0);
    doc.calls.clear();

    EXPECT_TRUE(doc.SetKeyValAlways("S", "k", "1"));
    EXPECT_TRUE(doc.SetKeyValAlways("s", "k", "2"));
    EXPECT_THAT(doc.calls,
                ElementsAre("IsSectionFound(S)", "AddSection(S)", "GetKeyVal(S,k)", "AddKey(S,k,1)",
                            "IsSectionFound(s)", "GetKeyVal(s,k)", "SetKeyVal(s,k,2)"));
    EXPECT_EQ(snapshot(doc), "[S] 2");
}

// Copy-out of "abcdef" through every operation that fills a caller's buffer.
using CopyOut = std::function<bool(CIniReader&, char*, int)>;
struct CopyOutCase {
    const char* label;
    CopyOut copy;
};

void PrintTo(const CopyOutCase& c, std::ostream* os) {
    *os << c.label;
}

class CopyOutLength : public ::testing::TestWithParam<std::tuple<CopyOutCase, int>> {};

TEST_P(CopyOutLength, WritesExactlyLengthBytes) {
    const auto& [accessor, length] = GetParam();
    CIniReader doc;
    doc.AddSection("abcdef");
    doc.AddKey("abcdef", "abcdef", "abcdef");
    std::string buffer(100, '#');
    ASSERT_TRUE(accessor.copy(doc, buffer.data(), length));

    const std::string text = "abcdef";
    const std::size_t written = length > 0 ? static_cast<std::size_t>(length) : 0;
    std::string expected = text.substr(0, written);
    expected.resize(written, '\0');
    expected.resize(buffer.size(), '#');
    EXPECT_EQ(buffer, expected) << accessor.label << " length " << length;
}

INSTANTIATE_TEST_SUITE_P(Lengths, CopyOutLength,
                         ::testing::Combine(
                             ::testing::Values(CopyOutCase{"section name",
                                                           [](CIniReader& d, char* b, int n) {
                                                               return d.GetSectionName(0u, b, n);
                                                           }},
                                               CopyOutCase{"value by position",
                                                           [](CIniReader& d, char* b, int n) {
                                                               return d.GetKeyVal(0u, 0u, b, n);
                                                           }},
                                               CopyOutCase{"value by name",
                                                           [](CIniReader& d, char* b, int n) {
                                                               return d.GetKeyVal("ABCDEF",
                                                                                  "abcdef", b, n);
                                                           }},
                                               CopyOutCase{"key name",
                                                           [](CIniReader&, char* b, int n) {
                                                               CIniSection section;
                                                               section.AddKey("abcdef", "");
                                                               return section.GetKeyName(0, b, n);
                                                           }}),
                             ::testing::Values(-5, 0, 1, 5, 6, 7, 10, 80)));

struct MissCase {
    const char* label;
    std::function<bool(CIniReader&, char*)> op;
};

void PrintTo(const MissCase& c, std::ostream* os) {
    *os << c.label;
}

class MissingEntry : public ::testing::TestWithParam<MissCase> {};

// Two sections of two keys; every position or name below misses.
TEST_P(MissingEntry, AnswersFalseAndChangesNothing) {
    CIniReader doc;
    for (const char* section : {"A", "B"}) {
        doc.AddSection(section);
        doc.AddKey(section, "k1", "v1");
        doc.AddKey(section, "k2", "v2");
    }
    const std::string before = snapshot(doc);
    std::string buffer(16, '#');
    EXPECT_FALSE(GetParam().op(doc, buffer.data())) << GetParam().label;
    EXPECT_EQ(buffer, std::string(16, '#')) << GetParam().label;
    EXPECT_EQ(snapshot(doc), before) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Misses, MissingEntry,
    ::testing::Values(
        MissCase{"name at count",
                 [](CIniReader& d, char* b) { return d.GetSectionName(2u, b, 8); }},
        MissCase{"value section at count",
                 [](CIniReader& d, char* b) { return d.GetKeyVal(2u, 0u, b, 8); }},
        MissCase{"value key at count",
                 [](CIniReader& d, char* b) { return d.GetKeyVal(1u, 2u, b, 8); }},
        MissCase{"value huge index",
                 [](CIniReader& d, char* b) { return d.GetKeyVal(~0u, 0u, b, 8); }},
        MissCase{"value missing section",
                 [](CIniReader& d, char* b) { return d.GetKeyVal("C", "k1", b, 8); }},
        MissCase{"value missing key",
                 [](CIniReader& d, char* b) { return d.GetKeyVal("A", "K1", b, 8); }},
        MissCase{"remove section at count",
                 [](CIniReader& d, char*) { return d.RemoveSection(2u); }},
        MissCase{"remove missing section",
                 [](CIniReader& d, char*) { return d.RemoveSection("C"); }},
        MissCase{"remove key at count", [](CIniReader& d, char*) { return d.RemoveKey(0u, 2u); }},
        MissCase{"remove key of section at count",
                 [](CIniReader& d, char*) { return d.RemoveKey(2u, 0u); }},
        MissCase{"rename at count",
                 [](CIniReader& d, char*) {
                     char name[] = "X";
                     return d.SetSectionName(2u, name);
                 }},
        MissCase{"set at count", [](CIniReader& d, char*) { return d.SetKeyVal(0u, 2u, "x"); }},
        MissCase{"set missing key",
                 [](CIniReader& d, char*) { return d.SetKeyVal("B", "k3", "x"); }},
        MissCase{"add to missing section",
                 [](CIniReader& d, char*) { return d.AddKey("C", "k", "v"); }}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = c == ' ' ? '_' : c;
        }
        return name;
    });

TEST(IniModel, KeyCountOfAMissingSectionIsMinusOne) {
    CIniReader doc;
    doc.AddSection("A");
    EXPECT_EQ(doc.GetKeysCount("B"), -1);
    EXPECT_EQ(doc.GetKeysCount(1u), -1);
    EXPECT_EQ(doc.GetKeysCount(0u), 0);
}

TEST(IniModel, OnlyKeyChangesMakeASectionDirty) {
    CIniSection section;
    EXPECT_FALSE(section.IsDirty());
    EXPECT_FALSE(section.RemoveKey("k"));
    EXPECT_FALSE(section.RemoveKey(0ul));
    EXPECT_FALSE(section.SetKeyVal("k", "v"));
    EXPECT_FALSE(section.SetKeyVal(0ul, "v"));
    section.SetSectionName("renamed");
    section.RemoveAll();
    EXPECT_FALSE(section.IsDirty());

    ASSERT_TRUE(section.AddKey("k", "v"));
    EXPECT_TRUE(section.IsDirty());
    section.RemoveAll();
    section.SetSectionName("again");
    EXPECT_TRUE(section.IsDirty());
    EXPECT_EQ(section.GetKeysCount(), 0);

    CIniReader doc;
    doc.SetKeyValAlways("S", "k", "v");
    doc.RemoveSection("S");
    EXPECT_FALSE(doc.IsDirty());
}

} // namespace
