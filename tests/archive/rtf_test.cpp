#include "archive/rtf.h"
#include "text/codepage.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Rtf, ReducesToPlainText) {
    const text::CodepageDecoder cp1252("CP1252");
    const std::pair<std::string, std::string> cases[] = {
        // As ICQ writes it.
        {"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
         "\\viewkind4\\uc1\\pard\\f0\\fs20 Gr\\'fc\\'dfe\\par\r\nzweite Zeile\\par\r\n}\r\n",
         "Grüße\r\nzweite Zeile"},
        {"{\\rtf1 a\\{b\\}c\\\\d\\tab e\\line f}", "a{b}c\\d\te\r\nf"},
        // Unicode with its fallback, and a surrogate pair.
        {"{\\rtf1\\uc1 \\u1055?\\u1088?\\u-10179?x}", "Пр\xEF\xBF\xBDx"},
        {"{\\rtf1\\uc0 \\u-10179\\u-8704 x}", "\xF0\x9F\x98\x80x"},
        {"{\\rtf1{\\colortbl;\\red0;}{\\*\\generator Riched20;}text}", "text"},
        // Cut short, and braces that do not pair.
        {"{\\rtf1 abc\\'f", "abc"},
        {"}}{\\rtf1 ok}}}", "ok"},
    };
    for (const auto& [rtf, text] : cases) {
        EXPECT_EQ(archive::rtfToText(rtf, cp1252), text) << rtf;
    }
}

} // namespace
