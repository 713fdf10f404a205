// Time-zone and calendar services on POSIX systems, shaped like their Win32
// counterparts: biases in minutes (UTC = local + bias) and 64-bit file times.
#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/civil.h"
#include "platform/platform.h"

namespace platform {
namespace {

// The zone as last read: tzset looks at the zone file again on every call
// (a stat each time), and a scan asks for every entry's date. The zone is
// read again when a new second begins or TZ has changed.
struct Zone {
    time_t second = -1;
    bool tz_set = false;
    std::string tz;
    long base_seconds_west = 0;  // `timezone`: local standard time, seconds west of UTC
    bool known = false;          // false when localtime_r failed
    long offset_now = 0;         // tm_gmtoff now: seconds east of UTC, daylight included
};

const Zone& zone_now()
{
    thread_local Zone zone;
    const time_t now = time(nullptr);
    const char* tz = getenv("TZ");
    if (now == zone.second && (tz != nullptr) == zone.tz_set && (tz == nullptr || zone.tz == tz))
        return zone;
    tzset();
    zone.second = now;
    zone.tz_set = tz != nullptr;
    zone.tz = tz != nullptr ? tz : "";
    zone.base_seconds_west = timezone;
    struct tm parts {};
    zone.known = localtime_r(&now, &parts) != nullptr;
    zone.offset_now = zone.known ? parts.tm_gmtoff : 0;
    return zone;
}

}  // namespace

int32_t time_zone_base_bias()
{
    // `timezone` is the offset of local standard time in seconds west of UTC,
    // which is the Win32 base bias in minutes times sixty.
    return static_cast<int32_t>(zone_now().base_seconds_west / 60);
}

uint64_t local_file_time_to_file_time(uint64_t local_time)
{
    // Like Windows, apply the bias in force now (daylight saving included),
    // not the one in force at the converted instant.
    const Zone& zone = zone_now();
    if (!zone.known)
        return local_time;
    const int64_t bias_minutes = -static_cast<int64_t>(zone.offset_now) / 60;
    const int64_t delta = bias_minutes * 60 * static_cast<int64_t>(detail::ticks_per_second);

    // Saturate instead of wrapping round at either end of the range.
    if (delta >= 0) {
        const uint64_t up = static_cast<uint64_t>(delta);
        return local_time > std::numeric_limits<uint64_t>::max() - up ? std::numeric_limits<uint64_t>::max()
                                                                      : local_time + up;
    }
    const uint64_t down = static_cast<uint64_t>(-delta);
    return local_time < down ? 0 : local_time - down;
}

CalendarTime file_time_to_calendar(uint64_t file_time)
{
    return detail::split_file_time(file_time);
}

CalendarTime local_time_now()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    struct tm parts {};
    CalendarTime out;
    if (localtime_r(&now.tv_sec, &parts) == nullptr)
        return out;
    out.year = static_cast<uint16_t>(parts.tm_year + 1900);
    out.month = static_cast<uint16_t>(parts.tm_mon + 1);
    out.day = static_cast<uint16_t>(parts.tm_mday);
    out.hour = static_cast<uint16_t>(parts.tm_hour);
    out.minute = static_cast<uint16_t>(parts.tm_min);
    // A leap second is shown as 59, as the Win32 clock never reports 60.
    out.second = static_cast<uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    out.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1'000'000);
    return out;
}

}  // namespace platform
