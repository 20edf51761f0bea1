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
        {"M\xC3\xA4rta \xE2\x82\xAC \xF0\x9F\x98\x80 back\\slash",
         "M\xC3\xA4rta \xE2\x82\xAC \xF0\x9F\x98\x80 back\\slash"},
        {"\x1B[2J\a\0 del\x7F"s, "\\x1B[2J\\x07\\x00 del\\x7F"},
        {"line\r\nnext\ttab", "line\\r\\nnext\\ttab"},
        {"csi \xC2\x9B"
         "2J",
         "csi \\u009B2J"},                                        // a C1 control in UTF-8
        {"no-break\xC2\xA0space", "no-break\xC2\xA0space"},       // the first character after C1
        {"M\xE4rta \x9B \xE2\x82", "M\\xE4rta \\x9B \\xE2\\x82"}, // no UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::printable(c.text), c.shown) << c.shown;
    }
    EXPECT_EQ(text::printable("a\r\nb\rc\nd\te\x1B", true), "a\nb\nc\nd\te\\x1B");
}

TEST(Printable, ColumnsCountCharactersNotBytes) {
    EXPECT_EQ(text::padded("\xC3\x85sa", 5), "\xC3\x85sa  ");
    EXPECT_EQ(text::padded("Lindstr\xC3\xB6m", 3), "Lindstr\xC3\xB6m");
}

} // namespace
