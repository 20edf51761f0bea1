#include "archive/timefmt.h"

#include "archive/exporterror.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* zone;
    int64_t utc;
    const char* iso;
};

class TimeFormat : public testing::TestWithParam<Case> {};

// The machine's own zone must not matter: each case runs under two of them.
TEST_P(TimeFormat, IsoTimeWithTheOffsetThenInForce) {
    const Case& c = GetParam();
    for (const char* machineZone : {"UTC", "Asia/Kolkata"}) {
        setenv("TZ", machineZone, 1);
        tzset();
        EXPECT_EQ(archive::TimeZone(c.zone).isoTime(c.utc), c.iso) << "TZ=" << machineZone;
    }
    unsetenv("TZ");
    tzset();
}

INSTANTIATE_TEST_SUITE_P(
    Zones, TimeFormat,
    testing::Values(Case{"Europe/Stockholm", 1048985999, "2003-03-30T01:59:59+01:00"},
                    Case{"Europe/Stockholm", 1048986000, "2003-03-30T03:00:00+02:00"},
                    Case{"Europe/Stockholm", 1067130000, "2003-10-26T02:00:00+01:00"},
                    Case{"America/New_York", 946684800, "1999-12-31T19:00:00-05:00"},
                    Case{"Asia/Kolkata", 0, "1970-01-01T05:30:00+05:30"},
                    Case{"UTC", -1, "1969-12-31T23:59:59+00:00"},
                    Case{"UTC", 4294967295, "2106-02-07T06:28:15+00:00"}));

TEST(TimeZone, DateAndClockArePartsOfTheLocalTime) {
    const archive::TimeZone zone("Europe/Stockholm");
    EXPECT_EQ(zone.localDate(1048982399), "2003-03-30");
    EXPECT_EQ(zone.localClock(1048982399), "00:59:59");
    EXPECT_EQ(zone.localDate(1048978799), "2003-03-29");
    EXPECT_EQ(archive::TimeZone().name(), "UTC");
}

TEST(TimeZone, UnknownNameIsAClearError) {
    for (const std::string name : {"Mars/Olympus", "", "../etc/passwd"}) {
        try {
            archive::TimeZone zone(name);
            ADD_FAILURE() << name;
        } catch (const archive::ExportError& e) {
            EXPECT_EQ(std::string(e.what()),
                      name + ": unknown time zone (not in the system's zone database)");
        }
    }
}

TEST(TimeOffset, ReadAsHoursAndMinutes) {
    struct Valid {
        const char* text;
        int64_t seconds;
        const char* shown;
    };
    for (const Valid& v : {Valid{"+01:00", 3600, "+01:00"}, Valid{"-05:30", -19800, "-05:30"},
                           Valid{"0", 0, "+00:00"}, Valid{"1:00", 3600, "+01:00"},
                           Valid{"+24:00", 86400, "+24:00"}}) {
        int64_t read = -1;
        EXPECT_TRUE(archive::parseOffset(v.text, read)) << v.text;
        EXPECT_EQ(read, v.seconds) << v.text;
        EXPECT_EQ(archive::offsetText(v.seconds), v.shown);
    }
    for (const char* text :
         {"", "+", "+1", "01:60", "+24:01", "1h", "+01:00x", "+001:00", "--1:00"}) {
        int64_t read = 0;
        EXPECT_FALSE(archive::parseOffset(text, read)) << text;
    }
}

} // namespace
