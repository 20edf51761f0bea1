#include "codepage.h"

#include <iconv.h>

#include <cctype>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
    const char* label;
    std::string bytes;
    bool valid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.label;
}

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, Classifies) {
    EXPECT_EQ(vqrt::isValidUtf8(GetParam().bytes), GetParam().valid) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Bytes, Utf8Validity,
                         ::testing::Values(Utf8Case{"ascii", "Rover", true},
                                           Utf8Case{"umlaut", "J\xC3\xBCrgen", true},
                                           Utf8Case{"euro", "\xE2\x82\xAC", true},
                                           Utf8Case{"emoji", "\xF0\x9F\x98\x80", true},
                                           Utf8Case{"cp1252 umlaut", "J\xFCrgen", false},
                                           Utf8Case{"truncated", "\xE2\x82", false},
                                           Utf8Case{"overlong", "\xC0\xAF", false},
                                           Utf8Case{"surrogate", "\xED\xA0\x80", false},
                                           Utf8Case{"past max", "\xF4\x90\x80\x80", false},
                                           Utf8Case{"ascii run", "quick brown fox", true},
                                           Utf8Case{"after 8", "abcdefghJ\xC3\xBC", true},
                                           Utf8Case{"bad after 8", "abcdefghi\xC0\xAF", false},
                                           Utf8Case{"cut at 16", "abcdefghijklmnop\xE2", false}),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(Codepage, KeepsUtf8AndDecodesAnsi) {
    EXPECT_EQ(vqrt::toUtf8("J\xC3\xBCrgen", "CP1252"), "J\xC3\xBCrgen");
    EXPECT_EQ(vqrt::toUtf8("J\xFCrgen \x80", "CP1252"), "J\xC3\xBCrgen \xE2\x82\xAC");
    EXPECT_EQ(vqrt::toUtf8("\xC4\xE5", "CP1251"), "\xD0\x94\xD0\xB5");
    // 0x81 is undefined in CP1252: it becomes U+FFFD and nothing else is lost.
    EXPECT_EQ(vqrt::toUtf8("a\x81z", "CP1252"), "a\xEF\xBF\xBDz");
    EXPECT_TRUE(vqrt::isKnownCodepage("CP1252"));
    EXPECT_FALSE(vqrt::isKnownCodepage("NO-SUCH-CODEPAGE"));
}

TEST(Codepage, DecoderDecodesEachByteAsIconvDoes) {
    for (const char* codepage : {"CP1252", "CP1251", "CP437", "ISO-8859-15", "CP932"}) {
        SCOPED_TRACE(codepage);
        const vqrt::CodepageDecoder decoder(codepage);
        const iconv_t cd = iconv_open("UTF-8", codepage);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        std::string all;
        std::string expected;
        for (int c = 0x80; c <= 0xFF; ++c) {
            char in[1] = {static_cast<char>(c)};
            char out[8];
            char* inPtr = in;
            char* outPtr = out;
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const bool ok =
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
            const std::string utf8 = ok ? std::string(out, sizeof out - outLeft) : "\xEF\xBF\xBD";
            EXPECT_EQ(decoder.toUtf8(std::string(1, static_cast<char>(c)) + "a"), utf8 + "a") << c;
            all += static_cast<char>(c);
            expected += utf8;
        }
        iconv_close(cd);
        EXPECT_EQ(decoder.toUtf8(all), expected);
        EXPECT_EQ(vqrt::toUtf8(all, codepage), expected);
    }
    // Valid UTF-8 is kept; an unknown code page decodes as Windows-1252.
    EXPECT_EQ(vqrt::CodepageDecoder("CP1251").toUtf8("J\xC3\xBCrgen"), "J\xC3\xBCrgen");
    EXPECT_EQ(vqrt::CodepageDecoder("NO-SUCH-CODEPAGE").toUtf8("\x80"), "\xE2\x82\xAC");
}

TEST(Codepage, Utf16le) {
    using namespace std::string_literals;
    EXPECT_EQ(vqrt::utf16leToUtf8("I\0C\0Q\0\0\0x\0"s), "ICQ");
    EXPECT_EQ(vqrt::utf16leToUtf8("\xFC\0"s), "\xC3\xBC");
    EXPECT_EQ(vqrt::utf16leToUtf8("\x3D\xD8\x00\xDE"s), "\xF0\x9F\x98\x80");
    EXPECT_EQ(vqrt::utf16leToUtf8("\x3D\xD8"s
                                  "a\0"s),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(vqrt::utf16leToUtf8("a\0b"s), "a\xEF\xBF\xBD");
}

} // namespace
