#include "archive/names.h"

#include "archive/text.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(FileStem, IsSafeAndStartsWithTheUin) {
    const std::pair<std::string, std::string> cases[] = {
        {"../../etc/passwd", "2222-etc_passwd"},
        {"a\\b:c*d?e\"f<g>h|i j", "2222-a_b_c_d_e_f_g_h_i_j"},
        {".hidden.", "2222-hidden"},
        {"", "2222"},
        {"\x01\x1b[31m\x7f", "2222-[31m"},
        // C1 controls and a right-to-left override go; other letters stay.
        {"\xC2\x85x\xE2\x80\xAEgpj.exe", "2222-x_gpj.exe"},
        // Cut at 48 bytes, never inside a character.
        {std::string(30, 'a') + std::string(20, '\xC3') + "x",
         "2222-" + std::string(30, 'a') + "������"},
    };
    for (const auto& [name, stem] : cases) {
        EXPECT_EQ(archive::fileStem(2222, name), stem) << name;
    }
}

TEST(UniqueNames, RepeatsGetANumberAlsoWhenOnlyTheCaseDiffers) {
    archive::UniqueNames names;
    EXPECT_EQ(names.take("2222-Al"), "2222-Al");
    EXPECT_EQ(names.take("2222-AL"), "2222-AL-2");
    EXPECT_EQ(names.take("2222-al"), "2222-al-3");
}

TEST(CleanText, LineEndsControlsAndStrayBytes) {
    EXPECT_EQ(archive::cleanText("a\r\nb\rc\nd\te\x01\x7f"), "a\nb\nc\nd\te");
    EXPECT_EQ(archive::cleanText("\xE5\xC3\xA5\xED\xA0\x80\xF0\x9F\x98\x80"),
              "\xEF\xBF\xBD\xC3\xA5\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

// Long texts go eight or sixteen bytes at a time between the bytes that need a look: wherever
// those fall, the text is what cleaning or escaping each piece alone gives.
TEST(CleanText, LongTextsAsTheirPiecesAlone) {
    const std::string pieces[] = {"\r\n", "\r",       "\x01",         "\x7f", "\t",
                                  "\n",   "\xC3\xA5", "\xE2\x82\xAC", "\xE5", "&<\"'>"};
    for (const std::string& piece : pieces) {
        for (size_t gap = 1; gap <= 17; ++gap) {
            std::string text;
            std::string expected;
            std::string escaped;
            for (size_t i = 0; i < 40; ++i) {
                text += std::string(gap, 'x') + piece;
                expected += std::string(gap, 'x') + archive::cleanText(piece);
                escaped += std::string(gap, 'x') + archive::htmlEscape(piece, true);
            }
            EXPECT_EQ(archive::cleanText(text), expected) << gap;
            EXPECT_EQ(archive::htmlEscape(text, true), escaped) << gap;
            std::string lines = archive::htmlEscape(text);
            for (size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at)) {
                lines.replace(at, 1, "<br>");
            }
            EXPECT_EQ(lines, escaped) << gap;
        }
    }
}

} // namespace
