#include "text/printable.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(Printable, EscapesWhatATerminalWouldObey) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"Rover", "Rover"},
        {"M\xC3\xA4rta \xE2\x82\xAC \xF0\x9F\x98\x80",
         "M\xC3\xA4rta \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\x1B[2J\a", "\\x1B[2J\\x07"},
        {"line\r\nnext\ttab", "line\\r\\nnext\\ttab"},
        {"nul\0end"s, "nul\\x00end"},
        {"del\x7F", "del\\x7F"},
        {"csi \xC2\x9B"
         "2J",
         "csi \\u009B2J"},                                  // a C1 control in UTF-8
        {"no-break\xC2\xA0space", "no-break\xC2\xA0space"}, // the first character after C1
        {"M\xE4rta \x9B", "M\\xE4rta \\x9B"},               // Windows-1252, no UTF-8
        {"cut \xE2\x82", "cut \\xE2\\x82"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::printable(c.text), c.shown) << c.shown;
    }
}

TEST(Printable, KeepsLinesWhenAskedTo) {
    EXPECT_EQ(text::printable("a\r\nb\rc\nd\te\x1B", true), "a\nb\nc\nd\te\\x1B");
}

TEST(Printable, ColumnsCountCharactersNotBytes) {
    EXPECT_EQ(text::columns("\xC3\x85sa"), 3u);
    EXPECT_EQ(text::padded("\xC3\x85sa", 5), "\xC3\x85sa  ");
    EXPECT_EQ(text::padded("Lindstr\xC3\xB6m", 3), "Lindstr\xC3\xB6m");
}

} // namespace
