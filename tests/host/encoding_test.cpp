#include "encoding.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

struct ConversionCase {
    const char* label;
    const char* codepage;
    std::string utf8;
    std::string bytes;   // empty when the conversion fails
    std::string problem; // for failures
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.label;
}

class FromUtf8 : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FromUtf8, ConvertsOrNamesTheCharacter) {
    std::string problem;
    const auto bytes = mkwin::fromUtf8(GetParam().utf8, GetParam().codepage, &problem);
    if (GetParam().problem.empty()) {
        ASSERT_TRUE(bytes) << problem;
        EXPECT_EQ(*bytes, GetParam().bytes);
    } else {
        EXPECT_FALSE(bytes);
        EXPECT_EQ(problem, GetParam().problem);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromUtf8,
    ::testing::Values(ConversionCase{"western", "CP1252", "J\xC3\xBCrgen \xE2\x82\xAC",
                                     "J\xFCrgen \x80", ""},
                      ConversionCase{"cyrillic", "CP1251", "\xD0\x94\xD0\xB8", "\xC4\xE8", ""},
                      ConversionCase{"ascii", "CP1252", "Rover", "Rover", ""},
                      ConversionCase{"missing letter", "CP1251", "M\xC3\xA4rta", "",
                                     "U+00E4 \"\xC3\xA4\" cannot be written in CP1251"},
                      ConversionCase{"emoji", "CP1252", "\xF0\x9F\x98\x80", "",
                                     "U+1F600 \"\xF0\x9F\x98\x80\" cannot be written in CP1252"},
                      ConversionCase{"control character", "CP1252", "\xC2\x81", "",
                                     "U+0081 cannot be written in CP1252"},
                      ConversionCase{"malformed", "CP1252", "J\xFCrgen", "",
                                     "expected UTF-8 text, found a malformed byte sequence"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = c == ' ' ? '_' : c;
        }
        return name;
    });

TEST(HostText, KeepsUtf8AndDecodesTheCodePageByteByByte) {
    EXPECT_EQ(mkwin::hostText("J\xC3\xBCrgen", "CP1252"), "J\xC3\xBCrgen");
    EXPECT_EQ(mkwin::hostText("J\xFCrgen", "CP1252"), "J\xC3\xBCrgen");
    EXPECT_EQ(mkwin::hostText("\xC4\xE8", "CP1251"), "\xD0\x94\xD0\xB8");
    // 0x81 is undefined in Windows-1252.
    EXPECT_EQ(mkwin::hostText("a\x81\xFC", "CP1252"), "a\xEF\xBF\xBD\xC3\xBC");
}

TEST(Codepage, KnowsIconvNames) {
    EXPECT_TRUE(mkwin::isKnownCodepage("CP1252"));
    EXPECT_TRUE(mkwin::isKnownCodepage("cp1250"));
    EXPECT_FALSE(mkwin::isKnownCodepage("KLINGON"));
    EXPECT_FALSE(mkwin::isKnownCodepage(""));
}

} // namespace
