#include "bitmap/vantrybitmap.h"

#include "bitmap/images.h"
#include "support/tempdir.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using Lines = std::vector<std::string>;

Lines linesOf(const char* const* xpm, unsigned int count) {
    return xpm == nullptr ? Lines{} : Lines(xpm, xpm + count);
}

// Width 5 with two characters a pixel: row 0 lacks its last pixel, row 1 stops in the middle
// of its first; missing and cut pixels count as opaque. The mask runs on from row to row.
TEST(CVantryBitmap, CopyTakesOwnLinesAndMasksTheNonePixels) {
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.Copy(icon));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 273), linesOf(icon, 273));
    EXPECT_EQ(bitmap.GetMaskSize(), 32u);
    const char* xpm[] = {"5 2 2 2", "-- c None", "xx c #000000", "--xx----", "-"};
    ASSERT_TRUE(bitmap.Copy(xpm));
    ASSERT_EQ(bitmap.GetMaskSize(), 2u);
    // Pixels 0-4: 0 1 0 0 1, pixels 5-9: all 1, six unused bits.
    EXPECT_EQ(bitmap.GetMask()[0], 0x4F);
    EXPECT_EQ(bitmap.GetMask()[1], 0xC0);

    // Read as a row, the unterminated fourth line would show "None" in use and give a mask.
    static const char unterminated[2] = {'a', 'a'};
    const char* shortImage[] = {"2 1 2 1", "a c None", "b c #000000", "bb", unterminated};
    ASSERT_TRUE(bitmap.Copy(shortImage));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 4), linesOf(shortImage, 4));
    EXPECT_EQ(bitmap.GetMask(), nullptr);
    // "None" is the last word of a colour line whose parts only spaces separate, in any case.
    for (const auto& [line, masked] : {std::pair<const char*, bool>{"   -   c  cc nOnE", true},
                                       {"-\tc\tNone", false},
                                       {"- c Nonesuch", false}}) {
        const char* single[] = {"1 1 1 1", line, "-"};
        ASSERT_TRUE(bitmap.Copy(single));
        EXPECT_EQ(bitmap.GetMask() != nullptr, masked) << line;
    }
}

TEST(CVantryBitmap, AdoptedArraysAreNeverReleasedOrChanged) {
    std::string row = "ab";
    const char* xpm[] = {"2 1 2 1", "a c None", "b c #FFFFFF", row.c_str()};
    {
        CVantryBitmap bitmap;
        ASSERT_TRUE(bitmap.Copy(icon));
        const char* nullLine[] = {"1 1 1 1", "a c None", nullptr};
        EXPECT_FALSE(bitmap.Copy(nullptr) || bitmap.Copy(nullLine));
        EXPECT_EQ(linesOf(bitmap.GetBitmap(), 1), Lines{icon[0]});
        ASSERT_TRUE(bitmap.LoadFromResources(xpm));
        EXPECT_EQ(bitmap.GetBitmap(), xpm);
        EXPECT_EQ(bitmap.GetMask(), nullptr);
        bitmap.CleanUp();
        EXPECT_EQ(bitmap.GetBitmap(), xpm);
    }
    EXPECT_EQ(xpm[3], row.c_str());
    EXPECT_EQ(row, "ab");
}

TEST(CVantryBitmap, SaveWritesAnArrayNamedAfterTheFileLoadReadsLines) {
    const TempDir dir;
    const char* xpm[] = {"1 1 1 1", "a c #000000", "a"};
    CVantryBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromResources(xpm));
    const std::string path = dir.file("my.flower.v2.xpm");
    ASSERT_TRUE(bitmap.SaveBitmap(path.c_str()));
    EXPECT_EQ(readFile(path),
              "/* XPM */\nchar* my_flower_v2_xpm[]={\n\"1 1 1 1\",\n\"a c #000000\",\n\"a\"};");

    ASSERT_TRUE(bitmap.Copy(icon));
    ASSERT_TRUE(bitmap.SaveBitmap(dir.file("icon.xpm").c_str()));
    CVantryBitmap loaded;
    ASSERT_TRUE(loaded.LoadBitmap(dir.file("icon.xpm").c_str()));
    EXPECT_EQ(linesOf(loaded.GetBitmap(), 273), linesOf(icon, 273));
    EXPECT_EQ(loaded.GetMask(), nullptr);

    // Without an image, or where no file can be written, nothing is saved.
    EXPECT_FALSE(CVantryBitmap().SaveBitmap(dir.file("empty.xpm").c_str()) ||
                 bitmap.SaveBitmap(dir.path().c_str()));

    // Loading takes every line after the header, in pieces of 79 characters.
    writeFile(dir.file("a.xpm"), "/* XPM */\nstatic const char* picture[] = {\n\"3 3 2 1\",\n"
                                 "\"a c None\",\n\"b c #000000\",\n\"aba\",\n/* between */\n\"" +
                                     std::string(100, 'b') + "\",\n");
    ASSERT_TRUE(bitmap.LoadBitmap(dir.file("a.xpm").c_str()));
    EXPECT_EQ(linesOf(bitmap.GetBitmap(), 6), (Lines{"3 3 2 1", "a c None", "b c #000000", "aba",
                                                     "/* between */\n", std::string(78, 'b')}));

    // A file that ends before its last row, has no header, or is no file reads as nothing.
    writeFile(dir.file("short.xpm"), "\"2 3 2 1\",\n\"a c None\",\n\"b c #000000\",\n\"ab\",\n");
    writeFile(dir.file("noheader.xpm"), "/* XPM */\nno quoted line here\n");
    ASSERT_EQ(::mkfifo(dir.file("fifo.xpm").c_str(), 0600), 0);
    for (const char* name : {"short.xpm", "noheader.xpm", "fifo.xpm"}) {
        ASSERT_TRUE(bitmap.Copy(icon));
        EXPECT_FALSE(bitmap.LoadBitmap(dir.file(name).c_str())) << name;
        EXPECT_EQ(bitmap.GetBitmap(), nullptr);
        EXPECT_EQ(bitmap.GetMask(), nullptr);
    }
}

// The arrays hold the header line alone, so any attempt to read the lines such a header
// announces would read past the array.
TEST(CVantryBitmap, EveryOperationRefusesABadHeader) {
    const TempDir dir;
    for (const char* header : {"16 16 256", "1 x 1 1", "16 16 2 0", "1 99999999999999999999 1 1",
                               "40000 40000 1 1", "1 1 1 18"}) {
        SCOPED_TRACE(header);
        const char* xpm[] = {header};
        CVantryBitmap bitmap;
        EXPECT_FALSE(bitmap.Copy(xpm));
        ASSERT_TRUE(bitmap.LoadFromResources(xpm));
        EXPECT_FALSE(bitmap.SaveBitmap(dir.file("bad.xpm").c_str()));
        EXPECT_NE(access(dir.file("bad.xpm").c_str(), F_OK), 0);
        writeFile(dir.file("bad.xpm"), "\"" + std::string(header) + "\",\n\"a c None\",\n\"a\"};");
        EXPECT_FALSE(bitmap.LoadBitmap(dir.file("bad.xpm").c_str()));
        ::unlink(dir.file("bad.xpm").c_str());
    }
}

} // namespace
