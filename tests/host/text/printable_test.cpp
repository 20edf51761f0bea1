#include "text/printable.h"

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* label;
    std::string in;
    std::string oneLine;
    std::string withLines;
};

class Printable : public ::testing::TestWithParam<Case> {};

TEST_P(Printable, EscapesWhatATerminalWouldObey) {
    EXPECT_EQ(text::printable(GetParam().in), GetParam().oneLine);
    EXPECT_EQ(text::printable(GetParam().in, true), GetParam().withLines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Printable,
    ::testing::Values(Case{"plain", "Jörg aus Köln €", "Jörg aus Köln €", "Jörg aus Köln €"},
                      Case{"line ends", "a\r\nb\rc\nd", "a\\r\\nb\\rc\\nd", "a\nb\nc\nd"},
                      Case{"tab", "a\tb", "a\\tb", "a\tb"},
                      Case{"escape sequence", "\x1B[2Jx\x7F", "\\x1B[2Jx\\x7F", "\\x1B[2Jx\\x7F"},
                      Case{"C1 control",
                           "a\xC2\x9B"
                           "1m",
                           "a\\u009B1m", "a\\u009B1m"},
                      Case{"no UTF-8", "caf\xE9\xC3", "caf\\xE9\\xC3", "caf\\xE9\\xC3"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(Printable, ColumnsCountCharactersNotBytes) {
    EXPECT_EQ(text::columns("Åsa"), 3u);
    EXPECT_EQ(text::padded("Åsa", 5), "Åsa  ");
    EXPECT_EQ(text::padded("Lindström", 3), "Lindström");
}

} // namespace
