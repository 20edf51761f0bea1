#include "archive/timefmt.h"

#include "archive/exporterror.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <date/tz.h>

namespace archive {

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

std::string dateOf(int64_t localSeconds) {
    const date::sys_days day{date::days{floorDiv(localSeconds, 86400)}};
    const date::year_month_day ymd{day};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

std::string clockOf(int64_t localSeconds) {
    const int64_t s = localSeconds - floorDiv(localSeconds, 86400) * 86400;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return buf;
}

} // namespace

TimeZone::TimeZone(const std::string& name) : name_(name) {
    if (name == "UTC") {
        return;
    }
    try {
        zone_ = date::locate_zone(name);
    } catch (const std::exception&) {
        throw ExportError(name + ": unknown time zone (not in the system's zone database)");
    }
}

TimeZone::Local TimeZone::local(int64_t utc) const {
    int64_t offset = 0;
    if (zone_ != nullptr) {
        offset = zone_->get_info(date::sys_seconds{std::chrono::seconds{utc}}).offset.count();
        // ISO 8601 offsets have whole minutes; the old local mean times that do not are
        // cut to the minute, and the local time follows, so the instant stays exact.
        offset -= offset % 60;
    }
    return {utc + offset, static_cast<int>(offset / 60)};
}

std::string TimeZone::isoTime(int64_t utc) const {
    const Local l = local(utc);
    const int m = std::abs(l.offsetMinutes);
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", l.offsetMinutes < 0 ? '-' : '+', m / 60,
                  m % 60);
    return dateOf(l.seconds) + "T" + clockOf(l.seconds) + zone;
}

std::string TimeZone::localDate(int64_t utc) const {
    return dateOf(local(utc).seconds);
}

std::string TimeZone::localClock(int64_t utc) const {
    return clockOf(local(utc).seconds);
}

} // namespace archive
