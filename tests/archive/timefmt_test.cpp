#include "archive/timefmt.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(TimeZone, IsoTimeWithTheOffsetThenInForce) {
    struct Case {
        const char* zone;
        int64_t utc;
        const char* iso;
    };
    for (const Case& c : {Case{"America/New_York", 946684800, "1999-12-31T19:00:00-05:00"},
                          Case{"Asia/Kolkata", 0, "1970-01-01T05:30:00+05:30"},
                          Case{"UTC", -1, "1969-12-31T23:59:59+00:00"},
                          Case{"UTC", 4294967295, "2106-02-07T06:28:15+00:00"}}) {
        EXPECT_EQ(archive::TimeZone(c.zone).isoTime(c.utc), c.iso);
    }
    // Date and clock are those of the local time.
    const archive::TimeZone zone("Europe/Stockholm");
    EXPECT_EQ(zone.localDate(1048982399) + " " + zone.localClock(1048982399),
              "2003-03-30 00:59:59");
}

TEST(TimeOffset, ReadAsHoursAndMinutes) {
    struct Valid {
        const char* text;
        int64_t seconds;
        const char* shown;
    };
    for (const Valid& v : {Valid{"-05:30", -19800, "-05:30"}, Valid{"0", 0, "+00:00"},
                           Valid{"1:00", 3600, "+01:00"}, Valid{"+24:00", 86400, "+24:00"}}) {
        int64_t read = -1;
        EXPECT_TRUE(archive::parseOffset(v.text, read)) << v.text;
        EXPECT_EQ(read, v.seconds) << v.text;
        EXPECT_EQ(archive::offsetText(v.seconds), v.shown);
    }
    for (const char* text : {"", "+", "+1", "01:60", "+24:01", "+01:00x", "+001:00", "--1:00"}) {
        int64_t read = 0;
        EXPECT_FALSE(archive::parseOffset(text, read)) << text;
    }
}

} // namespace
