#include "ini/inireader.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

/// The value of `key` in the first section named `section`, or "<none>".
std::string valueOf(CIniReader& doc, const char* section, const char* key) {
    char buffer[128];
    return doc.GetKeyVal(section, key, buffer, sizeof buffer) ? buffer : "<none>";
}

/// Section names and values by position: what an operation could have changed.
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

TEST(IniModel, SectionsMatchWithoutCaseKeysExactly) {
    CIniReader doc;
    ASSERT_TRUE(doc.AddSection("ICQ User"));
    ASSERT_TRUE(doc.AddKey("icq user", "NickName", "Rover"));
    EXPECT_EQ(valueOf(doc, "ICQ USER", "NickName"), "Rover");
    EXPECT_EQ(valueOf(doc, "ICQ User", "nickname"), "<none>");
    EXPECT_TRUE(doc.IsSectionFound("iCq uSeR"));
    EXPECT_FALSE(doc.IsSectionFound("ICQ Use"));
    // Windows-1252 bytes are negative as char and stay themselves.
    doc.AddSection("J\xFCrgen");
    EXPECT_TRUE(doc.IsSectionFound("J\xFCRGEN"));
    EXPECT_FALSE(doc.IsSectionFound("j\xDCrgen"));
    EXPECT_EQ(CIniSection().inistricmp("UIN", "uin"), 1);
}

TEST(IniModel, DuplicatesAreKeptAndTheFirstMatchWins) {
    CIniReader doc;
    doc.AddSection("S");
    doc.AddSection("s");
    doc.AddKey("s", "UIN", "1");
    doc.AddKey("S", "UIN", "2");
    doc.AddKey("S", "Nick", "3");
    EXPECT_EQ(doc.GetKeysCount("s"), 3);
    EXPECT_EQ(valueOf(doc, "S", "UIN"), "1");
    EXPECT_TRUE(doc.SetKeyValAlways("s", "UIN", "4"));
    EXPECT_TRUE(doc.SetKeyValAlways("New", "k", "5"));
    EXPECT_EQ(snapshot(doc), "[S] 4 2 3[s][New] 5");

    // Removing by name takes the first; later entries move down.
    EXPECT_TRUE(doc.RemoveKey("S", "UIN"));
    EXPECT_EQ(snapshot(doc), "[S] 2 3[s][New] 5");
    EXPECT_TRUE(doc.RemoveKey(0u, 0u));
    EXPECT_TRUE(doc.RemoveSection(1u));
    EXPECT_EQ(snapshot(doc), "[S] 3[New] 5");
    EXPECT_TRUE(doc.RemoveSection("new"));
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

// A text handed out fills exactly `length` bytes: cut, or zero-filled, never terminated beyond.
TEST(IniModel, CopyOutWritesExactlyLengthBytes) {
    CIniReader doc;
    doc.AddSection("abcdef");
    doc.AddKey("abcdef", "abcdef", "abcdef");
    CIniSection section;
    section.AddKey("abcdef", "");
    const std::function<bool(char*, int)> accessors[] = {
        [&](char* b, int n) { return doc.GetSectionName(0u, b, n); },
        [&](char* b, int n) { return doc.GetKeyVal(0u, 0u, b, n); },
        [&](char* b, int n) { return doc.GetKeyVal("ABCDEF", "abcdef", b, n); },
        [&](char* b, int n) { return section.GetKeyName(0, b, n); }};
    for (const auto& copy : accessors) {
        for (const auto& [length, expected] : {std::pair<int, std::string>{-5, ""},
                                               {0, ""},
                                               {3, "abc"},
                                               {6, "abcdef"},
                                               {8, std::string("abcdef\0\0", 8)}}) {
            std::string buffer(10, '#');
            ASSERT_TRUE(copy(buffer.data(), length));
            EXPECT_EQ(buffer, expected + std::string(10 - expected.size(), '#')) << length;
        }
    }
}

TEST(IniModel, MissesAnswerFalseAndChangeNothing) {
    CIniReader doc;
    for (const char* section : {"A", "B"}) {
        doc.AddSection(section);
        doc.AddKey(section, "k1", "v1");
    }
    char buffer[] = "####";
    char name[] = "X";
    EXPECT_FALSE(doc.GetSectionName(2u, buffer, 4));
    EXPECT_FALSE(doc.GetKeyVal(1u, 1u, buffer, 4));
    EXPECT_FALSE(doc.GetKeyVal(~0u, 0u, buffer, 4));
    EXPECT_FALSE(doc.GetKeyVal("A", "K1", buffer, 4));
    EXPECT_STREQ(buffer, "####");
    EXPECT_FALSE(doc.RemoveSection(2u) || doc.RemoveSection("C") || doc.RemoveKey(0u, 1u) ||
                 doc.RemoveKey(2u, 0u) || doc.RemoveKey("A", "k2") ||
                 doc.SetSectionName(2u, name) || doc.SetKeyVal(0u, 1u, "x") ||
                 doc.SetKeyVal("B", "k3", "x") || doc.AddKey("C", "k", "v"));
    EXPECT_EQ(doc.GetKeysCount("C"), -1);
    EXPECT_EQ(doc.GetKeysCount(2u), -1);
    EXPECT_EQ(snapshot(doc), "[A] v1[B] v1");
}

} // namespace
