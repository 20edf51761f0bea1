#include "text/codepage.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Codepage, DecodesEachFamilyOfCodePages) {
    const struct {
        const char* codepage;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {"CP1252", "J\xFCrgen \x80", "J\xC3\xBCrgen \xE2\x82\xAC"},
        {"CP1252", "a\x81z", "a" + kReplacement + "z"},        // 0x81 is undefined
        {"CP932", "\x83\x41\xB1", "\xE3\x82\xA2\xEF\xBD\xB1"}, // katakana A, half-width A
        {"CP932", "\x83 \xFF\x83", kReplacement + " " + kReplacement + kReplacement},
        {"CP936", "J\xC3\xBCrgen", "J\xC3\xBCrgen"},  // valid UTF-8 is kept
        {"NO-SUCH-CODEPAGE", "\x80", "\xE2\x82\xAC"}, // decodes as Windows-1252
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::CodepageDecoder(c.codepage).toUtf8(c.bytes), c.utf8) << c.codepage;
        EXPECT_EQ(text::toUtf8(c.bytes, c.codepage), c.utf8) << c.codepage;
    }
}

// Long texts go in blocks (eight bytes, or sixteen with vector instructions): wherever the bytes
// from 0x80 up fall, both ways give the same, and it converts back to the bytes.
// Each way of decoding that the processor allows against the byte-by-byte loop, from texts
// dense with bytes from 0x80 up to runs of ASCII longer than a block.
TEST(Codepage, DecodesLongTextsTheSameInBlocksAsByteByByte) {
    using Vectors = text::CodepageDecoder::Vectors;
    for (const char* codepage : {"CP1252", "CP1251"}) {
        const text::CodepageDecoder bytewise(codepage, Vectors::None);
        const text::CodepageDecoder runs(codepage, Vectors::Runs);
        const text::CodepageDecoder widest(codepage);
        for (const size_t gap : {1, 2, 3, 5, 7, 8, 13, 19, 33, 40, 64, 65, 150}) {
            std::string bytes;
            for (size_t i = 0; bytes.size() < 70 + 13 * gap; ++i) {
                const auto high = static_cast<char>(0x80 + (i * 7 + gap) % 128);
                // 0x98 in CP1251 and five bytes in CP1252 stand for nothing and do not convert
                // back.
                bytes += i % gap != 0 ? static_cast<char>(' ' + i % 90)
                         : bytewise.decode(std::string(1, high)) == kReplacement ? '\r'
                                                                                 : high;
            }
            const std::string decoded = bytewise.decode(bytes);
            EXPECT_EQ(runs.decode(bytes), decoded) << codepage << " " << gap;
            EXPECT_EQ(widest.decode(bytes), decoded) << codepage << " " << gap;
            std::string problem;
            EXPECT_EQ(text::fromUtf8(decoded, codepage, problem).value_or(problem), bytes)
                << codepage << " " << gap;
        }
    }
}

TEST(Codepage, EncodesOrNamesTheCharacterItLacks) {
    const struct {
        const char* codepage;
        std::string utf8;
        std::string bytes;   // when it converts
        std::string problem; // otherwise
    } cases[] = {
        {"CP932", "a\xE3\x82\xA2", "a\x83\x41", ""},
        {"CP1251", "M\xC3\xA4rta", "", "U+00E4 \"\xC3\xA4\" cannot be written in CP1251"},
        {"CP1252", "\xC2\x81", "", "U+0081 cannot be written in CP1252"},
        {"CP1252", "J\xFCrgen", "", "expected UTF-8 text, found a malformed byte sequence"},
        {"KLINGON", "a", "", "unknown code page KLINGON"},
    };
    for (const auto& c : cases) {
        std::string problem;
        const std::optional<std::string> bytes = text::fromUtf8(c.utf8, c.codepage, problem);
        EXPECT_EQ(bytes.value_or(""), c.bytes) << c.utf8;
        EXPECT_EQ(problem, c.problem) << c.utf8;
    }
}

} // namespace
