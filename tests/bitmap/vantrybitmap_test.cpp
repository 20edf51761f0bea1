#include "bitmap/vantrybitmap.h"

#include "bitmap/images.h"
#include "support/tempdir.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

unsigned int lineCountOf(const char* const* xpm) {
    int width = 0, height = 0, colours = 0, chars = 0;
    std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &chars);
    return static_cast<unsigned int>(height + colours + 1);
}

std::vector<std::string> linesOf(const char* const* xpm, unsigned int count) {
    return std::vector<std::string>(xpm, xpm + count);
}

/// The bytes an XPM file written for `xpm` under the array name `name` holds.
std::string savedText(const char* const* xpm, const std::string& name) {
    std::string text = "/* XPM */\nchar* " + name + "[]={\n";
    const unsigned int count = lineCountOf(xpm);
    for (unsigned int i = 0; i < count; ++i) {
        text += "\"" + std::string(xpm[i]) + (i + 1 < count ? "\",\n" : "\"};");
    }
    return text;
}

/// The texts of a bitmap's own array lie one after another in a single block.
void expectOneBlock(const char* const* lines, unsigned int count) {
    for (unsigned int i = 0; i + 1 < count; ++i) {
        EXPECT_EQ(lines[i + 1], lines[i] + std::strlen(lines[i]) + 1) << "line " << i;
    }
}

TEST(CVantryBitmapCopy, IconGivesOwnLinesAndAMaskClearedForNonePixels) {
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(icon));
    const char* const* lines = bitmap.GetBitmap();
    ASSERT_NE(lines, nullptr);
    ASSERT_NE(lines, icon);
    ASSERT_EQ(lineCountOf(icon), 273u);
    for (unsigned int i = 0; i < 273; ++i) {
        EXPECT_STREQ(lines[i], icon[i]) << "line " << i;
        EXPECT_NE(lines[i], icon[i]) << "line " << i;
    }
    expectOneBlock(lines, 273);

    std::vector<unsigned char> expected(32, 0);
    for (int y = 0; y < 16; ++y) {
        const std::string row = icon[1 + 256 + y];
        for (int x = 0; x < 16; ++x) {
            const int pixel = y * 16 + x;
            if (row.compare(static_cast<std::size_t>(2 * x), 2, "--") != 0) {
                expected[static_cast<std::size_t>(pixel / 8)] |=
                    static_cast<unsigned char>(1u << (7 - pixel % 8));
            }
        }
    }
    ASSERT_EQ(bitmap.GetMaskSize(), 32u);
    ASSERT_NE(bitmap.GetMask(), nullptr);
    EXPECT_EQ(std::vector<unsigned char>(bitmap.GetMask(), bitmap.GetMask() + 32), expected);
    // The icon really has both kinds of pixel, so the comparison above means something.
    EXPECT_NE(expected, std::vector<unsigned char>(32, 0));
    EXPECT_NE(expected, std::vector<unsigned char>(32, 0xFF));
}

struct ImageCase {
    const char* name;
    const char* const* xpm;
    unsigned int lines;
};

void PrintTo(const ImageCase& c, std::ostream* os) {
    *os << c.name;
}

const ImageCase kImages[] = {{"icon", icon, 273},
                             {"icq32x32_xpm", icq32x32_xpm, 289},
                             {"sel16_xpm", sel16_xpm, 24},
                             {"desel16_xpm", desel16_xpm, 25}};

class CVantryBitmapImages : public ::testing::TestWithParam<ImageCase> {};

TEST_P(CVantryBitmapImages, CopyTakesEveryLineAndMasksOnlyTheSpaceSeparatedIcon) {
    const ImageCase& image = GetParam();
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(const_cast<const char**>(image.xpm)));
    ASSERT_EQ(lineCountOf(image.xpm), image.lines);
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), image.lines), linesOf(image.xpm, image.lines));
    expectOneBlock(bitmap.GetBitmap(), image.lines);
    // A space as pixel code, or tabs between the parts, hide "None" from the colour test.
    EXPECT_EQ(bitmap.GetMask() != nullptr, image.xpm == icon);
}

TEST_P(CVantryBitmapImages, SaveWritesTheXpmTextAndLoadReadsTheSameLines) {
    const ImageCase& image = GetParam();
    const TempDir dir;
    const std::string path = dir.file(std::string(image.name) + ".xpm");
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(const_cast<const char**>(image.xpm)));
    ASSERT_TRUE(bitmap.SaveBitmap(path.c_str()));
    EXPECT_EQ(readFile(path), savedText(image.xpm, std::string(image.name) + "_xpm"));

    CVantryBitmap loaded;
    ASSERT_TRUE(loaded.LoadBitmap(path.c_str()));
    EXPECT_EQ(linesOf(loaded.GetBitmap(), image.lines), linesOf(image.xpm, image.lines));
    expectOneBlock(loaded.GetBitmap(), image.lines);
    EXPECT_EQ(loaded.GetMask(), nullptr);

    const std::string again = dir.file("again");
    ASSERT_TRUE(loaded.SaveBitmap(again.c_str()));
    EXPECT_EQ(readFile(again), savedText(image.xpm, "again"));
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, CVantryBitmapImages, ::testing::ValuesIn(kImages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CVantryBitmapCopy, ReadsNoLineBeyondTheCount) {
    // Read as a row, the fourth line would show "None" in use and give a mask; it is not
    // even terminated, which the address sanitizer would report.
    static const char unterminated[2] = {'a', 'a'};
    const char* xpm[] = {"2 1 2 1", "a c None", "b c #000000", "bb", unterminated};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(xpm));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 4), linesOf(xpm, 4));
    EXPECT_EQ(bitmap.GetMask(), nullptr);
}

TEST(CVantryBitmapCopy, MaskRunsOnFromRowToRowAndNeverReadsPastAShortRow) {
    // Width 5 with two characters a pixel: row 0 lacks its last pixel, row 1 stops in the
    // middle of its first; missing and cut pixels count as opaque.
    const char* xpm[] = {"5 2 2 2", "-- c None", "xx c #000000", "--xx----", "-"};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(xpm));
    ASSERT_EQ(bitmap.GetMaskSize(), 2u);
    // Pixels 0-4: 0 1 0 0 1, pixels 5-9: all 1, six unused bits.
    EXPECT_EQ(bitmap.GetMask()[0], 0x4F);
    EXPECT_EQ(bitmap.GetMask()[1], 0xC0);
}

TEST(CVantryBitmapCopy, NullArrayOrNullLineAnswersFalseAndKeepsTheImage) {
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(icon));
    const char* const* before = bitmap.GetBitmap();
    EXPECT_FALSE(bitmap.Copy(nullptr));
    const char* shortArray[] = {"1 1 1 1", "a c None", nullptr};
    EXPECT_FALSE(bitmap.Copy(shortArray));
    EXPECT_EQ(bitmap.GetBitmap(), before);
    EXPECT_NE(bitmap.GetMask(), nullptr);
}

TEST(CVantryBitmapResources, AdoptsTheArrayAndNeverReleasesOrChangesIt) {
    std::string row0 = "ab";
    const char* xpm[] = {"2 1 2 1", "a c None", "b c #FFFFFF", row0.c_str()};
    {
        CVantryBitmap bitmap;
        ASSERT_TRUE(bitmap.Copy(icon));
        ASSERT_TRUE(bitmap.LoadFromResources(xpm));
        EXPECT_EQ(bitmap.GetBitmap(), xpm);
        EXPECT_EQ(bitmap.GetMask(), nullptr);
        EXPECT_FALSE(bitmap.LoadFromResources(nullptr));
        EXPECT_EQ(bitmap.GetBitmap(), xpm);
        bitmap.CleanUp();
        EXPECT_EQ(bitmap.GetBitmap(), xpm);
    }
    EXPECT_EQ(xpm[3], row0.c_str());
    EXPECT_EQ(row0, "ab");

    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromResources(icon));
    EXPECT_EQ(bitmap.GetBitmap(), icon);
    EXPECT_FALSE(bitmap.LoadBitmap("/nonexistent/file.xpm"));
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    EXPECT_STREQ(icon[0], "16 16 256 2");
}

TEST(CVantryBitmapCleanUp, ReleasesOwnLinesAndMask) {
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(icon));
    bitmap.CleanUp();
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    EXPECT_EQ(bitmap.GetMask(), nullptr);
}

TEST(CVantryBitmapSave, NamesTheArrayAfterTheFileWithDotsReplaced) {
    const TempDir dir;
    const char* xpm[] = {"1 1 1 1", "a c #000000", "a"};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromResources(xpm));
    const std::string path = dir.file("my.flower.v2.xpm");
    ASSERT_TRUE(bitmap.SaveBitmap(path.c_str()));
    EXPECT_EQ(readFile(path), "/* XPM */\nchar* my_flower_v2_xpm[]={\n\"1 1 1 1\",\n"
                              "\"a c #000000\",\n\"a\"};");
}

TEST(CVantryBitmapSave, WithoutImageOrWithoutFileAnswersFalse) {
    const TempDir dir;
    const std::string path = dir.file("empty.xpm");
    CVantryBitmap bitmap;
    EXPECT_FALSE(bitmap.SaveBitmap(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(bitmap.Copy(icon));
    EXPECT_FALSE(bitmap.SaveBitmap(dir.file("missing/icon.xpm").c_str()));
    EXPECT_FALSE(bitmap.SaveBitmap(dir.path().c_str()));
}

TEST(CVantryBitmapLoad, TruncatedFileAnswersFalseAndLeavesTheBitmapEmpty) {
    const TempDir dir;
    std::string text = savedText(icon, "icon_xpm");
    // Keep the header, the colours and 10 of the 16 rows.
    std::size_t end = 0;
    for (int line = 0; line < 2 + 1 + 256 + 10; ++line) {
        end = text.find('\n', end) + 1;
    }
    const std::string path = dir.file("short.xpm");
    writeFile(path, text.substr(0, end));
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(icon));
    EXPECT_FALSE(bitmap.LoadBitmap(path.c_str()));
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    EXPECT_EQ(bitmap.GetMask(), nullptr);
}

TEST(CVantryBitmapLoad, TakesEveryLineAfterTheHeaderCommentsIncluded) {
    const TempDir dir;
    const std::string path = dir.file("comment.xpm");
    writeFile(path, "/* XPM */\n"
                    "static const char* picture[] = {\n"
                    "/* width height colours chars */\n"
                    "\"2 3 2 1\",\n"
                    "\"a c None\",\n"
                    "\"b c #000000\",\n"
                    "\"ab\",\n"
                    "/* between */\n"
                    "\"ba\",\n"
                    "\"bb\"};\n");
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadBitmap(path.c_str()));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 6),
              (std::vector<std::string>{"2 3 2 1", "a c None", "b c #000000", "ab",
                                        "/* between */\n", "ba"}));
    EXPECT_EQ(bitmap.GetMask(), nullptr);
}

TEST(CVantryBitmapLoad, ReadsLongLinesInPiecesOf79Characters) {
    const TempDir dir;
    const std::string path = dir.file("long.xpm");
    writeFile(path, "\"100 2 1 1\",\n\"x c #000000\",\n\"" + std::string(100, 'x') + "\",\n");
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadBitmap(path.c_str()));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 4),
              (std::vector<std::string>{"100 2 1 1", "x c #000000", std::string(78, 'x'), ",\n"}));
}

TEST(CVantryBitmapLoad, FileWithoutHeaderOrNotAFileAnswersFalse) {
    const TempDir dir;
    const std::string path = dir.file("noheader.xpm");
    writeFile(path, "/* XPM */\nno quoted line here\n");
    CVantryBitmap bitmap;
    EXPECT_FALSE(bitmap.LoadBitmap(path.c_str()));
    EXPECT_FALSE(bitmap.LoadBitmap(dir.path().c_str()));
    EXPECT_FALSE(bitmap.LoadBitmap(dir.file("absent.xpm").c_str()));
    EXPECT_FALSE(bitmap.LoadBitmap(nullptr));
    // A FIFO would make the open wait for a writer.
    const std::string fifo = dir.file("fifo.xpm");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(bitmap.LoadBitmap(fifo.c_str()));
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
}

// Headers that every operation refuses. The arrays hold the header line alone, so any
// attempt to read the lines such a header announces would read past the array.
struct BadHeader {
    const char* label;
    const char* header;
};

void PrintTo(const BadHeader& c, std::ostream* os) {
    *os << c.label;
}

class CVantryBitmapBadHeader : public ::testing::TestWithParam<BadHeader> {};

TEST_P(CVantryBitmapBadHeader, CopyAnswersFalseAndKeepsTheImage) {
    const char* xpm[] = {GetParam().header};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(sel16_xpm));
    EXPECT_FALSE(bitmap.Copy(xpm));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 24), linesOf(sel16_xpm, 24));
}

TEST_P(CVantryBitmapBadHeader, CollectXpmInfoCountsNothing) {
    const char* xpm[] = {GetParam().header};
    CVantryBitmap bitmap;
    unsigned int lines = 99;
    unsigned int bytes = 7;
    bitmap.CollectXpmInfo(xpm, &lines, &bytes);
    EXPECT_EQ(lines, 0u);
    EXPECT_EQ(bytes, 7u);
    EXPECT_EQ(bitmap.GetMask(), nullptr);
}

TEST_P(CVantryBitmapBadHeader, SaveOfAnAdoptedArrayWritesNoFile) {
    const TempDir dir;
    const std::string path = dir.file("bad.xpm");
    const char* xpm[] = {GetParam().header};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromResources(xpm));
    EXPECT_FALSE(bitmap.SaveBitmap(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_P(CVantryBitmapBadHeader, LoadAnswersFalse) {
    const TempDir dir;
    const std::string path = dir.file("bad.xpm");
    writeFile(path, "/* XPM */\nchar* bad[]={\n\"" + std::string(GetParam().header) +
                        "\",\n\"a c None\",\n\"a\"};");
    CVantryBitmap bitmap;
    EXPECT_FALSE(bitmap.LoadBitmap(path.c_str()));
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, CVantryBitmapBadHeader,
    ::testing::Values(
        BadHeader{"empty", ""}, BadHeader{"three_numbers", "16 16 256"},
        BadHeader{"words", "a b c d"}, BadHeader{"number_then_word", "1 x 1 1"},
        BadHeader{"zero_width", "0 16 2 1"}, BadHeader{"zero_height", "16 0 2 1"},
        BadHeader{"zero_colours", "16 16 0 1"}, BadHeader{"zero_chars_per_pixel", "16 16 2 0"},
        BadHeader{"negative_width", "-1 16 2 1"}, BadHeader{"negative_height", "16 -16 2 1"},
        BadHeader{"negative_colours", "1 1 -1 1"},
        BadHeader{"height_past_long_long", "1 99999999999999999999 1 1"},
        BadHeader{"height_wrapping_to_one_as_int", "1 4294967297 1 1"},
        BadHeader{"height_past_int", "1 2147483648 1 1"}, BadHeader{"huge_side", "40000 40000 1 1"},
        BadHeader{"huge_colours", "1 1 2000000 1"},
        BadHeader{"code_longer_than_buffer", "1 1 1 18"}),
    [](const auto& info) { return std::string(info.param.label); });

struct NoneDefinedCase {
    const char* label;
    const char* line;
    bool none;
    const char* code;
};

void PrintTo(const NoneDefinedCase& c, std::ostream* os) {
    *os << c.label;
}

class IsNoneDefined : public ::testing::TestWithParam<NoneDefinedCase> {};

TEST_P(IsNoneDefined, AnswersAndRecordsTheCode) {
    char code[CVantryBitmap::kCodeSize + 1];
    std::memset(code, '?', sizeof code);
    EXPECT_EQ(CVantryBitmap::IsNoneDefined(GetParam().line, code), GetParam().none);
    EXPECT_STREQ(code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    ColourLines, IsNoneDefined,
    ::testing::Values(NoneDefinedCase{"icon_none", "-- c None", true, "--"},
                      NoneDefinedCase{"lower_case", "a c none", true, "a"},
                      NoneDefinedCase{"mixed_case", "a c NoNe", true, "a"},
                      NoneDefinedCase{"many_spaces_and_keys", "   x   c  cc None", true, "x"},
                      // A space as code is passed over: the key is taken for the code.
                      NoneDefinedCase{"space_code", "  c None", true, "c"},
                      NoneDefinedCase{"tabs", "--\tc\tNone", false, "--\tc\tNone"},
                      NoneDefinedCase{"longer_word", "a c Nonesuch", false, "a"},
                      NoneDefinedCase{"colour", "a c #000000", false, "a"},
                      NoneDefinedCase{"no_value", "a c", false, "a"},
                      NoneDefinedCase{"empty", "", false, ""},
                      NoneDefinedCase{"code_cut_to_buffer", "abcdefghijklmnopqrstuvwxyz c None",
                                      true, "abcdefghijklmnopq"}),
    [](const auto& info) { return std::string(info.param.label); });

struct NoneUsedCase {
    const char* label;
    const char* row;
    const char* code;
    unsigned int chars;
    bool used;
};

void PrintTo(const NoneUsedCase& c, std::ostream* os) {
    *os << c.label;
}

class IsNoneUsed : public ::testing::TestWithParam<NoneUsedCase> {};

TEST_P(IsNoneUsed, LooksAtWholePixelsOnly) {
    EXPECT_EQ(CVantryBitmap::IsNoneUsed(GetParam().row, GetParam().code, GetParam().chars),
              GetParam().used);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IsNoneUsed,
    ::testing::Values(NoneUsedCase{"found", "ab--cd", "--", 2, true},
                      NoneUsedCase{"straddling_two_pixels", "a--b", "--", 2, false},
                      NoneUsedCase{"cut_last_pixel", "abcd-", "--", 2, false},
                      NoneUsedCase{"empty_row", "", "--", 2, false},
                      NoneUsedCase{"last_pixel", "xyz", "z", 1, true},
                      NoneUsedCase{"first_chars_of_code", "--", "--\tc\tNone", 2, true},
                      NoneUsedCase{"code_too_short", "c", "", 1, false},
                      NoneUsedCase{"zero_chars_per_pixel", "ab", "ab", 0, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(BitmapHelpers, StripQuotesKeepsWhatTheFirstQuotesEnclose) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"abc\",\n", "abc"}, {"no quotes\n", "no quotes\n"}, {"\"open end\n", "open end\n"},
        {"x\"\"y", ""},        {"\"a\"b\"c\"", "a"},           {"\"", ""}};
    for (const auto& [input, output] : cases) {
        std::vector<char> text(input.begin(), input.end());
        text.push_back('\0');
        CVantryBitmap::StripQuotes(text.data());
        EXPECT_EQ(std::string(text.data()), output) << input;
    }
}

} // namespace
