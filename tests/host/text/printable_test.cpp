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
        {"M\xC3\xA4rta \xE2\x82\xAC back\\slash \xC2\xA0",
         "M\xC3\xA4rta \xE2\x82\xAC back\\slash \xC2\xA0"},
        {"\x1B[2J\a\0 del\x7F"s, "\\x1B[2J\\x07\\x00 del\\x7F"},
        {"line\r\nnext\ttab", "line\\r\\nnext\\ttab"},
        {"csi \xC2\x9B", "csi \\u009B"},                          // a C1 control in UTF-8
        {"M\xE4rta \x9B \xE2\x82", "M\\xE4rta \\x9B \\xE2\\x82"}, // no UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::printable(c.text), c.shown) << c.shown;
    }
    EXPECT_EQ(text::printable("a\r\nb\rc\nd\te\x1B", true), "a\nb\nc\nd\te\\x1B");
    EXPECT_EQ(text::padded("\xC3\x85sa", 5), "\xC3\x85sa  "); // columns, not bytes
    EXPECT_EQ(text::padded("Lindstr\xC3\xB6m", 3), "Lindstr\xC3\xB6m");
}

} // namespace
