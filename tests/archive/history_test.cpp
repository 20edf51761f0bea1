#include "archive/history.h"

#include "archive/sqlite.h"
#include "support/samplearchive.h"
#include "support/tempdir.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::readFile;

// Pages are tested through exportall; here a long conversation's pages, turned at each month
// once a page has grown past one byte.
TEST(HistoryWriter, ALongConversationGoesOnInPagesFromAMonthOn) {
    const testsupport::SampleArchive sample;
    const testsupport::TempDir dir;
    const archive::TimeZone zone("Europe/Stockholm");
    archive::HistoryWriter writer(dir.path(), sample.archive, zone, 1);
    using archive::Direction;
    // 2001-09-09, 2001-09-10 (the same month, the same page), 2003-08-04, 2003-09-08 (a page
    // of the same year), 2004-07-16.
    for (const int64_t time : {1000000001, 1000090000, 1060000000, 1063000000, 1090000000}) {
        const archive::Message m = testsupport::message(5555, Direction::Sent, time, "x");
        writer.add(m, archive::messageRow(m, zone));
    }
    writer.finish();
    const std::string first = readFile(dir.file("5555.html"));
    const std::string second = readFile(dir.file("5555-2003-08.html"));
    const std::string sameYear = readFile(dir.file("5555-2003-09.html"));
    const std::string third = readFile(dir.file("5555-2004-07.html"));
    EXPECT_THAT(
        first,
        HasSubstr("<a href=\"#2001-09-09\">2001</a></p>\n<p><a "
                  "href=\"5555-2003-08.html\">Later messages, from 2003-08</a></p>\n</body>"));
    EXPECT_THAT(first, Not(HasSubstr("2003-08-04")));
    EXPECT_THAT(second, HasSubstr("<title>ICQ history: 5555 (5555), from 2003-08</title>"));
    EXPECT_THAT(second, HasSubstr("<a href=\"index.html\">All conversations</a> \u00b7 <a "
                                  "href=\"5555.html\">Earlier messages</a> \u00b7 <a "
                                  "href=\"#years\">Years</a>"));
    EXPECT_THAT(second,
                HasSubstr("<p id=\"years\">Years: <a href=\"#2003-08-04\">2003</a></p>\n"
                          "<p><a href=\"5555-2003-09.html\">Later messages, from 2003-09</a>"));
    EXPECT_THAT(sameYear, HasSubstr("<p id=\"years\">Years: <a href=\"#2003-09-08\">2003</a></p>"));
    EXPECT_THAT(third, HasSubstr("<a href=\"5555-2003-09.html\">Earlier messages</a>"));
    EXPECT_THAT(third, HasSubstr("<a href=\"#2004-07-16\">2004</a></p>\n</body>"));
    EXPECT_THAT(
        readFile(dir.file("index.html")),
        HasSubstr("<a href=\"5555.html\">5555</a> <small>(later pages: <a "
                  "href=\"5555-2003-08.html\">2003-08</a>, <a "
                  "href=\"5555-2003-09.html\">2003-09</a>, <a "
                  "href=\"5555-2004-07.html\">2004-07</a>)</small></td><td>5555</td><td>5<"));
    // The text file stays one.
    EXPECT_THAT(readFile(dir.file("5555.txt")), HasSubstr("== 2004-07-16 =="));
}

} // namespace
