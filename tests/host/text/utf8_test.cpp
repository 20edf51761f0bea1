#include "text/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(Utf8, ValidatesAndDecodesTheFirstCharacter) {
    const struct {
        std::string bytes;
        bool valid;
        uint32_t first; // code point of the first character, whose length follows
        size_t length;
    } cases[] = {
        {"\xC3\xBCrgen", true, 0xFC, 2},        {"\xF0\x9F\x98\x80", true, 0x1F600, 4},
        {"\xFCrgen", false, 0xFFFD, 1},         // Windows-1252
        {"\xE2\x82", false, 0xFFFD, 1},         // cut short
        {"\xC0\xAF", false, 0xFFFD, 1},         // overlong
        {"\xED\xA0\x80", false, 0xFFFD, 1},     // surrogate
        {"\xF4\x90\x80\x80", false, 0xFFFD, 1}, // past U+10FFFF
        {"abcdefghJ\xC3\xBC", true, 'a', 1},    // past the first eight ASCII bytes
        {"abcdefghi\xC0\xAF", false, 'a', 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::isValidUtf8(c.bytes), c.valid) << c.bytes;
        const text::Utf8Char first = text::decodeUtf8(c.bytes, 0);
        EXPECT_EQ(first.codePoint, c.first) << c.bytes;
        EXPECT_EQ(first.length, c.length) << c.bytes;
    }
    EXPECT_EQ(text::cutUtf8("a\xE6\x97\xA5z", 3), "a");
    EXPECT_EQ(text::cutUtf8("a\xE6\x97\xA5z", 4), "a\xE6\x97\xA5");
    EXPECT_EQ(text::cutUtf8("\x80\x80\x80\x80\x80", 4), "\x80\x80\x80\x80");
}

TEST(Utf16le, ConvertsBothWays) {
    EXPECT_EQ(text::utf8ToUtf16le("I\xC3\xBC\xF0\x9F\x98\x80"), "I\0\xFC\0\x3D\xD8\x00\xDE"s);
    EXPECT_EQ(text::utf16leToUtf8("I\0\xFC\0\x3D\xD8\x00\xDE"s), "I\xC3\xBC\xF0\x9F\x98\x80");
    // What cannot be converted becomes U+FFFD; decoding stops at a NUL unit.
    EXPECT_EQ(text::utf8ToUtf16le("\xFF"), "\xFD\xFF");
    EXPECT_EQ(text::utf16leToUtf8("\x3D\xD8\x61\x00"s), "\357\277\275a");
    EXPECT_EQ(text::utf16leToUtf8("I\0\0\0x\0"s), "I");
}

} // namespace
