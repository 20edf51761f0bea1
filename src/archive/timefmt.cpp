#include "archive/timefmt.h"

#include "archive/exporterror.h"

#include <chrono>
#include <cstdio>
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

bool digitsAt(std::string_view text, size_t at, size_t n, int& value) {
    value = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool parseOffset(std::string_view text, int64_t& seconds) {
    if (text == "0") {
        seconds = 0;
        return true;
    }
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.remove_prefix(1);
    }
    const size_t colon = text.find(':');
    int hours = 0;
    int minutes = 0;
    if ((colon != 1 && colon != 2) || text.size() != colon + 3 ||
        !digitsAt(text, 0, colon, hours) || !digitsAt(text, colon + 1, 2, minutes) ||
        minutes > 59 || hours * 60 + minutes > 24 * 60) {
        return false;
    }
    seconds = (negative ? -1 : 1) * (int64_t{hours} * 3600 + minutes * 60);
    return true;
}

std::string offsetText(int64_t seconds) {
    const int64_t m = (seconds < 0 ? -seconds : seconds) / 60;
    char text[24];
    std::snprintf(text, sizeof text, "%c%02lld:%02lld", seconds < 0 ? '-' : '+',
                  static_cast<long long>(m / 60), static_cast<long long>(m % 60));
    return text;
}

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
    return dateOf(l.seconds) + "T" + clockOf(l.seconds) + offsetText(l.offsetMinutes * 60);
}

std::string TimeZone::localDate(int64_t utc) const {
    return dateOf(local(utc).seconds);
}

std::string TimeZone::localClock(int64_t utc) const {
    return clockOf(local(utc).seconds);
}

} // namespace archive
