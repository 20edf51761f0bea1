#include "plugin/tarvex.h"

#include <cstring>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

using Getter = char* (tarvex::*)(char*, int);

struct IdentityCase {
    const char* label;
    Getter getter;
    const char* text;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
    *os << c.label;
}

class IdentityTest : public ::testing::TestWithParam<IdentityCase> {};

// Every identity text fills exactly `length` bytes: zero-padded when shorter, unterminated
// when as long or longer; nothing beyond `length` is touched.
TEST_P(IdentityTest, CopiesExactlyLengthBytes) {
    tarvex plugin(nullptr);
    const IdentityCase& c = GetParam();
    const size_t textLen = std::strlen(c.text);
    for (int length : {1, 2, static_cast<int>(textLen), static_cast<int>(textLen) + 1, 40}) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ((plugin.*c.getter)(buffer, length), buffer);
        for (int i = 0; i < length; ++i) {
            const char expected = static_cast<size_t>(i) < textLen ? c.text[i] : '\0';
            EXPECT_EQ(buffer[i], expected) << c.label << " length " << length << " byte " << i;
        }
        EXPECT_EQ(buffer[length], 'x') << c.label << " wrote past length " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IdentityTest,
    ::testing::Values(IdentityCase{"name", &tarvex::getName, "ICQ"},
                      IdentityCase{"description", &tarvex::getDescription, "ICQ Importer Plugin"},
                      IdentityCase{"tooltip", &tarvex::getToolTip, "ICQ Instant Messanger"},
                      IdentityCase{"major", &tarvex::getMajorCategory, "Communication"},
                      IdentityCase{"minor", &tarvex::getMinorCategory, "Instant Messanger"},
                      IdentityCase{"internal", &tarvex::getInternalCategory, "ICQ"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Identity, NameExamples) {
    tarvex plugin(nullptr);
    char two[3] = {'x', 'x', 'x'};
    plugin.getName(two, 2);
    EXPECT_EQ(std::string(two, 3), std::string("ICx"));

    char ten[10];
    std::memset(ten, 'x', sizeof ten);
    plugin.getName(ten, 10);
    EXPECT_EQ(std::string(ten, 10), std::string("ICQ\0\0\0\0\0\0\0", 10));
}

TEST(Identity, InternalCategoryThroughBaseIsOwnText) {
    tarvex object(nullptr);
    plugin& base = object;
    char buffer[32] = {};
    base.getInternalCategory(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "ICQ");
}

TEST(Identity, VersionsPropertiesAndBlocks) {
    tarvex plugin(nullptr);
    version_t v{7, 7};
    EXPECT_EQ(plugin.getVersion(&v), &v);
    EXPECT_EQ(v.major, 0);
    EXPECT_EQ(v.minor, 1);
    version_t e{7, 7};
    EXPECT_EQ(plugin.getMinEngineVersion(&e), &e);
    EXPECT_EQ(e.major, 0);
    EXPECT_EQ(e.minor, 1);
    long props = 0;
    EXPECT_EQ(plugin.getProperties(&props), &props);
    EXPECT_EQ(props, 2);
    EXPECT_EQ(plugin.getBlockCount(), 60);
}

TEST(Identity, FreshObjectHoldsEmptyState) {
    tarvex plugin(nullptr);
    EXPECT_EQ(plugin.icqVersion, 0);
    EXPECT_STREQ(plugin.icqDir, "");
    EXPECT_STREQ(plugin.ownerUin, "");
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(plugin.optionsDlg, nullptr);
    EXPECT_TRUE(plugin.profileMap.empty());
}

} // namespace
