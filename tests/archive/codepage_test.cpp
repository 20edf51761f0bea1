#include "archive/codepage.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* codepage;
    std::string bytes;
    std::string utf8;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.codepage << " " << c.utf8;
}

class Decoding : public ::testing::TestWithParam<Case> {};

TEST_P(Decoding, GivesUtf8) {
    const archive::CodepageDecoder decoder(GetParam().codepage);
    ASSERT_TRUE(decoder.ok());
    EXPECT_EQ(decoder.toUtf8(GetParam().bytes), GetParam().utf8);
}

const Case kCases[] = {
    {"CP1252", "plain ASCII, longer than eight bytes\r\n",
     "plain ASCII, longer than eight bytes\r\n"},
    {"CP1252", "J\xF6rg \x80 \x93quoted\x94 \x85", "Jörg € “quoted” …"},
    // 0x81 is not defined in Windows-1252.
    {"CP1252", "a\x81z", "a\xEF\xBF\xBDz"},
    {"CP1251", "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
    // A multi-byte code page goes through iconv whole; a cut or invalid pair costs a byte.
    {"CP932", "\x82\xA0\x93\xFA\x96\x7B", "あ日本"},
    {"CP932", "\x82\xA0\x82", "あ\xEF\xBF\xBD"},
    {"CP936", "\xC4\xE3\xBA\xC3", "你好"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Decoding, ::testing::ValuesIn(kCases));

TEST(Decoding, AnUnknownCodePageIsNotOk) {
    const archive::CodepageDecoder decoder("NO-SUCH-PAGE");
    EXPECT_FALSE(decoder.ok());
    EXPECT_EQ(decoder.toUtf8("abc"), "");
}

TEST(Decoding, Utf8IsRecognised) {
    EXPECT_TRUE(archive::isUtf8("Привет, Jörg"));
    EXPECT_FALSE(archive::isUtf8("J\xF6rg"));
    EXPECT_FALSE(archive::isUtf8("\xED\xA0\x80")); // a surrogate
    EXPECT_FALSE(archive::isUtf8("\xC3"));
}

} // namespace
