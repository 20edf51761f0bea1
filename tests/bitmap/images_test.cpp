#include "bitmap/images.h"

#include <QColor>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* name;
    const char* const* xpm;
    const char* header;
    char separator; // between code, key and value on the colour lines
    const char* noneCode;
};

void PrintTo(const Picture& p, std::ostream* os) {
    *os << p.name;
}

const Picture kPictures[] = {{"icon", icon, "16 16 256 2", ' ', "--"},
                             {"icq32x32_xpm", icq32x32_xpm, "32 32 256 2", '\t', "--"},
                             {"sel16_xpm", sel16_xpm, "16 16 7 1", ' ', " "},
                             {"desel16_xpm", desel16_xpm, "16 16 8 1", ' ', " "}};

struct Parsed {
    int width = 0, height = 0, colours = 0, chars = 0;
    std::vector<std::string> codes;  // in table order
    std::vector<std::string> values; // in table order
    std::map<std::string, std::string> byCode;
};

/// Splits the colour lines as the picture's separator says, failing the test on any
/// line that is not "code<sep>c<sep>value".
Parsed parse(const Picture& picture) {
    Parsed p;
    EXPECT_EQ(std::sscanf(picture.xpm[0], "%d %d %d %d", &p.width, &p.height, &p.colours, &p.chars),
              4);
    const std::string key = std::string(1, picture.separator) + "c" + picture.separator;
    for (int i = 1; i <= p.colours; ++i) {
        const std::string line = picture.xpm[i];
        const std::string code = line.substr(0, static_cast<std::size_t>(p.chars));
        EXPECT_EQ(line.compare(code.size(), key.size(), key), 0) << "colour line " << i;
        const std::string value = line.substr(code.size() + key.size());
        EXPECT_TRUE(value == "None" || (value.size() == 7 && value[0] == '#'))
            << "colour line " << i;
        EXPECT_TRUE(p.byCode.emplace(code, value).second) << "code repeated: " << code;
        p.codes.push_back(code);
        p.values.push_back(value);
    }
    return p;
}

class BuiltInPicture : public ::testing::TestWithParam<Picture> {};

TEST_P(BuiltInPicture, HeaderColoursAndRowsAreWellFormed) {
    const Picture& picture = GetParam();
    EXPECT_STREQ(picture.xpm[0], picture.header);
    const Parsed p = parse(picture);
    ASSERT_EQ(p.byCode.count(picture.noneCode), 1u);
    EXPECT_EQ(p.byCode.at(picture.noneCode), "None");

    std::set<std::string> used;
    for (int y = 0; y < p.height; ++y) {
        const std::string row = picture.xpm[1 + p.colours + y];
        ASSERT_EQ(row.size(), static_cast<std::size_t>(p.width * p.chars)) << "row " << y;
        for (std::size_t x = 0; x < row.size(); x += static_cast<std::size_t>(p.chars)) {
            const std::string code = row.substr(x, static_cast<std::size_t>(p.chars));
            EXPECT_EQ(p.byCode.count(code), 1u) << "undefined code '" << code << "' in row " << y;
            used.insert(code);
        }
    }
    EXPECT_EQ(used.count(picture.noneCode), 1u) << "no transparent pixel";
    // The one-character pictures must not use the letter that their "None" line leaves
    // behind as code when spaces are passed over.
    if (p.chars == 1) {
        EXPECT_EQ(used.count("c"), 0u);
    }
}

TEST_P(BuiltInPicture, QtReadsItWithTheNonePixelsTransparent) {
    const Picture& picture = GetParam();
    const Parsed p = parse(picture);
    const QImage image = QPixmap(picture.xpm).toImage();
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.width(), p.width);
    ASSERT_EQ(image.height(), p.height);
    for (int y = 0; y < p.height; ++y) {
        const std::string row = picture.xpm[1 + p.colours + y];
        for (int x = 0; x < p.width; ++x) {
            const std::string code = row.substr(static_cast<std::size_t>(x * p.chars),
                                                static_cast<std::size_t>(p.chars));
            const QColor colour = image.pixelColor(x, y);
            if (code == picture.noneCode) {
                EXPECT_EQ(colour.alpha(), 0) << x << "," << y;
            } else {
                EXPECT_EQ(colour.alpha(), 255) << x << "," << y;
                EXPECT_EQ(colour.name(QColor::HexRgb).toUpper().toStdString(), p.byCode.at(code))
                    << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, BuiltInPicture, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BuiltInPictures, FlowersShareOneColourTableThatStartsWithNoneBlackMaroon) {
    const Parsed small = parse(kPictures[0]);
    const Parsed large = parse(kPictures[1]);
    ASSERT_EQ(small.values.size(), 256u);
    EXPECT_EQ(small.values, large.values);
    EXPECT_EQ(small.codes, large.codes);
    EXPECT_EQ(small.values[0], "None");
    EXPECT_EQ(small.values[1], "#000000");
    EXPECT_EQ(small.values[2], "#800000");
}

/// Counts the opaque pixels of a picture whose colour is clearly of one hue.
std::map<std::string, int> hues(const char* const* xpm) {
    std::map<std::string, int> counts;
    const QImage image = QPixmap(xpm).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0) {
                ++counts["transparent"];
            } else if (c.red() > 2 * c.green() && c.red() > 2 * c.blue()) {
                ++counts["red"];
            } else if (c.green() > 2 * c.red() && c.green() > 2 * c.blue()) {
                ++counts["green"];
            } else if (c.blue() > 2 * c.red() && c.blue() > 2 * c.green()) {
                ++counts["blue"];
            }
        }
    }
    return counts;
}

TEST(BuiltInPictures, ShowTheirSubjects) {
    for (const char* const* flower : {icon, icq32x32_xpm}) {
        auto counts = hues(flower);
        // Green petals, one red, on a transparent ground that takes the corners.
        EXPECT_GT(counts["green"], 3 * counts["red"]);
        EXPECT_GT(counts["red"], 0);
        EXPECT_EQ(QPixmap(flower).toImage().pixelColor(0, 0).alpha(), 0);
    }
    auto select = hues(sel16_xpm);
    EXPECT_GT(select["red"], 15);
    EXPECT_EQ(select["blue"], 0);
    auto deselect = hues(desel16_xpm);
    EXPECT_GT(deselect["blue"], 15);
    EXPECT_EQ(deselect["red"], 0);
}

} // namespace
