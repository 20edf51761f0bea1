#include "ini/inireader.h"

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

// Section names match without regard to ASCII case (Windows-1252 letters stay themselves),
// keys exactly; of duplicates the first wins, and removal moves later entries down.
TEST(IniModel, SectionsMatchWithoutCaseKeysExactlyFirstMatchWins) {
    CIniReader doc;
    doc.AddSection("S");
    doc.AddSection("s");
    doc.AddKey("s", "UIN", "1");
    doc.AddKey("S", "UIN", "2");
    doc.AddKey("S", "Nick", "3");
    EXPECT_EQ(valueOf(doc, "S", "UIN"), "1");
    EXPECT_EQ(valueOf(doc, "S", "uin"), "<none>");
    doc.AddSection("J\xFCrgen");
    EXPECT_TRUE(doc.IsSectionFound("J\xFCRGEN"));
    EXPECT_FALSE(doc.IsSectionFound("j\xDCrgen"));
    EXPECT_TRUE(doc.RemoveSection("j\xFCrgen"));
    EXPECT_TRUE(doc.SetKeyValAlways("s", "UIN", "4"));
    EXPECT_TRUE(doc.SetKeyValAlways("New", "k", "5"));
    EXPECT_EQ(snapshot(doc), "[S] 4 2 3[s][New] 5");
    EXPECT_TRUE(doc.RemoveKey("S", "UIN"));
    EXPECT_TRUE(doc.RemoveKey(0u, 0u));
    EXPECT_TRUE(doc.RemoveSection(1u));
    EXPECT_EQ(snapshot(doc), "[S] 3[New] 5");
    EXPECT_TRUE(doc.RemoveAll());
    EXPECT_EQ(doc.GetSectionsCount(), 0);
}

// Texts are kept to 79 characters. One handed out fills exactly `length` bytes: cut, or
// zero-filled, never terminated beyond.
TEST(IniModel, TextsAreCutTo79AndCopiedOutToExactlyLengthBytes) {
    const std::string longText(100, 'n');
    const std::string cut(79, 'n');
    CIniReader doc;
    doc.AddSection(longText.c_str());
    doc.AddKey(cut.c_str(), longText.c_str(), longText.c_str());
    EXPECT_EQ(valueOf(doc, cut.c_str(), longText.c_str()), "<none>");
    EXPECT_TRUE(doc.SetKeyVal(0u, 0u, (longText + "x").c_str()));
    EXPECT_EQ(snapshot(doc), "[" + cut + "] " + cut);
    doc.AddSection("abcdef");
    doc.AddKey("abcdef", "k", "abcdef");
    for (const auto& [length, expected] :
         {std::pair<int, std::string>{-5, ""}, {3, "abc"}, {8, std::string("abcdef\0\0", 8)}}) {
        std::string name(10, '#');
        std::string value(10, '#');
        ASSERT_TRUE(doc.GetSectionName(1u, name.data(), length));
        ASSERT_TRUE(doc.GetKeyVal("ABCDEF", "k", value.data(), length));
        EXPECT_EQ(name, expected + std::string(10 - expected.size(), '#')) << length;
        EXPECT_EQ(value, name);
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
    EXPECT_FALSE(doc.GetSectionName(2u, buffer, 4) || doc.GetKeyVal(1u, 1u, buffer, 4) ||
                 doc.GetKeyVal(~0u, 0u, buffer, 4) || doc.GetKeyVal("A", "K1", buffer, 4) ||
                 doc.RemoveSection(2u) || doc.RemoveSection("C") || doc.RemoveKey(0u, 1u) ||
                 doc.RemoveKey(2u, 0u) || doc.RemoveKey("A", "k2") ||
                 doc.SetSectionName(2u, name) || doc.SetKeyVal(0u, 1u, "x") ||
                 doc.SetKeyVal("B", "k3", "x") || doc.AddKey("C", "k", "v"));
    EXPECT_EQ(doc.GetKeysCount("C") + doc.GetKeysCount(2u), -2);
    EXPECT_EQ(snapshot(doc) + buffer, "[A] v1[B] v1####");
}

} // namespace
