#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace date {
class time_zone;
}

namespace archive {

/// The source machine's time zone: shows UTC seconds as that machine's wall-clock time with
/// the offset then in force (the zone's historical daylight-saving rules, from the system's
/// zone database). The TZ variable and the zone of the machine running the export play no
/// part.
class TimeZone {
public:
    /// UTC, needing no zone database.
    TimeZone() = default;
    /// The IANA zone `name` ("Europe/Stockholm"); throws ExportError when it is unknown.
    explicit TimeZone(const std::string& name);

    const std::string& name() const { return name_; }
    /// ISO 8601 with the offset: "2003-03-30T03:00:00+02:00".
    std::string isoTime(int64_t utc) const;
    /// The local date: "2003-03-30".
    std::string localDate(int64_t utc) const;
    /// The local wall-clock time: "03:00:00".
    std::string localClock(int64_t utc) const;

private:
    struct Local {
        int64_t seconds; // local seconds since 1970
        int offsetMinutes;
    };
    Local local(int64_t utc) const;

    std::string name_ = "UTC";
    const date::time_zone* zone_ = nullptr;
};

/// Reads an offset "+HH:MM", "-HH:MM" or "HH:MM" (hours 0 to 24, minutes 0 to 59) or "0" as
/// seconds; false for anything else.
bool parseOffset(std::string_view text, int64_t& seconds);
/// "+01:00", "-05:30": `seconds` in whole minutes, as parseOffset reads it.
std::string offsetText(int64_t seconds);

} // namespace archive
