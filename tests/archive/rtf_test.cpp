#include "archive/rtf.h"
#include "text/codepage.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* label;
    std::string rtf;
    std::string text;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.label;
}

class Rtf : public ::testing::TestWithParam<Case> {};

TEST_P(Rtf, ReducesToPlainText) {
    const text::CodepageDecoder cp1252("CP1252");
    EXPECT_EQ(archive::rtfToText(GetParam().rtf, cp1252), GetParam().text);
}

const Case kCases[] = {
    {"as ICQ writes it",
     "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
     "\\viewkind4\\uc1\\pard\\f0\\fs20 Gr\\'fc\\'dfe\\par\r\nzweite Zeile\\par\r\n}\r\n",
     "Grüße\r\nzweite Zeile"},
    {"escapes", "{\\rtf1 a\\{b\\}c\\\\d\\tab e\\line f}", "a{b}c\\d\te\r\nf"},
    {"unicode with fallback", "{\\rtf1\\uc1 \\u1055?\\u1088?\\u-10179?x}", "Пр\xEF\xBF\xBDx"},
    {"surrogate pair", "{\\rtf1\\uc0 \\u-10179\\u-8704 x}", "\xF0\x9F\x98\x80x"},
    {"hidden groups", "{\\rtf1{\\colortbl;\\red0;}{\\*\\generator Riched20;}text}", "text"},
    {"cut short", "{\\rtf1 abc\\'f", "abc"},
    {"unbalanced braces", "}}{\\rtf1 ok}}}", "ok"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Rtf, ::testing::ValuesIn(kCases));

} // namespace
