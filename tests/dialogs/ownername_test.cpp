#include "dialogs/ownername.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* label;
    std::string bytes;
    std::string shown; // UTF-8
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class OwnerDisplayName : public testing::TestWithParam<NameCase> {};

TEST_P(OwnerDisplayName, ShowsTheName) {
    const NameCase& c = GetParam();
    EXPECT_EQ(dialogs::ownerDisplayName(c.bytes).toStdString(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OwnerDisplayName,
    testing::Values(
        NameCase{"Ascii", "Alice", "Alice"}, NameCase{"Empty", "", ""},
        NameCase{"Utf8Kept", "J\xC3\xBCrgen \xE2\x82\xAC", "J\xC3\xBCrgen \xE2\x82\xAC"},
        NameCase{"Latin1Range", "J\xFCrgen", "J\xC3\xBCrgen"},
        NameCase{"Cp1252HighRange", "\x80\x8A\x93x\x94\x9F",
                 "\xE2\x82\xAC\xC5\xA0\xE2\x80\x9Cx"
                 "\xE2\x80\x9D\xC5\xB8"},
        NameCase{"Cp1252Undefined", "a\x81\x8D\x8F\x90\x9D",
                 "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        // A lead byte cut off at the end is not UTF-8, so the whole name is read as Windows-1252.
        NameCase{"TruncatedUtf8", "Ren\xC3", "Ren\xC3\x83"},
        NameCase{"Overlong", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        NameCase{"CrlfLineEnd", "Bob\r\n", "Bob"}, NameCase{"CrLineEnd", "Bob\r", "Bob"},
        NameCase{"InnerCrKept", "B\rob", "B\rob"},
        NameCase{"LineEndAfterCodePageText", "J\xFCrgen\r", "J\xC3\xBCrgen"},
        NameCase{"EmbeddedNul", std::string("a\0b", 3), std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

} // namespace
