// Time-zone biases, local-to-UTC conversion and calendar splitting.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/platform.h"

namespace {

constexpr uint64_t ticks_per_second = 10'000'000;
constexpr uint64_t ticks_per_day = 86'400 * ticks_per_second;
constexpr uint64_t unix_epoch = 11'644'473'600 * ticks_per_second;

struct CalendarCase {
    const char* what;
    uint64_t file_time;
    platform::CalendarTime expected;
};

bool same(const platform::CalendarTime& a, const platform::CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.milliseconds == b.milliseconds;
}

std::string show(const platform::CalendarTime& t) {
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
             t.second, t.milliseconds);
    return text;
}

TEST(PlatformTime, FileTimeToCalendar) {
    const CalendarCase cases[] = {
        {"1601-01-01", 0, {1601, 1, 1, 0, 0, 0, 0}},
        {"last tick of 1601-01-01", ticks_per_day - 1, {1601, 1, 1, 23, 59, 59, 999}},
        {"1970-01-01", unix_epoch, {1970, 1, 1, 0, 0, 0, 0}},
        {"2003-12-09 12:00:00", unix_epoch + 1'070'971'200 * ticks_per_second, {2003, 12, 9, 12, 0, 0, 0}},
        {"leap day 2000", unix_epoch + 951'782'400 * ticks_per_second + 1'234 * 10'000, {2000, 2, 29, 0, 0, 1, 234}},
        {"1900-03-01 (1900 has no leap day)", 109'266 * ticks_per_day, {1900, 3, 1, 0, 0, 0, 0}},
        {"2000-12-31 (day 366)", unix_epoch + 978'220'800 * ticks_per_second, {2000, 12, 31, 0, 0, 0, 0}},
        {"2100-03-01", unix_epoch + 4'107'542'400 * ticks_per_second, {2100, 3, 1, 0, 0, 0, 0}},
        {"2155-12-31 23:59:59", unix_epoch + 5'869'583'999 * ticks_per_second, {2155, 12, 31, 23, 59, 59, 0}},
        {"largest Win32 file time", 0x7FFF'FFFF'FFFF'FFFFull, {30828, 9, 14, 2, 48, 5, 477}},
        {"a day past the Win32 range", 0x8000'0000'0000'0000ull + ticks_per_day, {30828, 9, 15, 2, 48, 5, 477}},
        {"largest 64-bit value", 0xFFFF'FFFF'FFFF'FFFFull, {60056, 5, 28, 5, 36, 10, 955}},
    };
    for (const CalendarCase& c : cases) {
        const platform::CalendarTime got = platform::file_time_to_calendar(c.file_time);
        EXPECT_TRUE(same(got, c.expected)) << c.what << ": got " << show(got) << ", want " << show(c.expected);
    }
}

TEST(PlatformTime, LocalTimeNowIsAPlausibleDate) {
    const platform::CalendarTime now = platform::local_time_now();
    EXPECT_GE(now.year, 2020);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
    EXPECT_LE(now.second, 59);
    EXPECT_LE(now.milliseconds, 999);
}

#ifndef _WIN32
// Sets TZ for one test and puts the previous value back afterwards.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const char* zone) {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneScope() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

bool zone_installed(const char* zone) {
    if (zone[0] == ':' || std::string(zone).find('/') == std::string::npos) return true;  // a rule, not a file
    return std::string(zone) == "UTC" || access((std::string("/usr/share/zoneinfo/") + zone).c_str(), R_OK) == 0;
}

struct BiasCase {
    const char* zone;
    int32_t base_bias;
};

TEST(PlatformTime, BaseBiasIgnoresDaylightSaving) {
    const BiasCase cases[] = {
        {"UTC", 0},
        {"UTC0", 0},
        {"JST-9", -540},
        {"EST5EDT,M3.2.0,M11.1.0", 300},
        {"EDT4", 240},  // a zone that is permanently four hours behind
        {"IST-5:30", -330},
        {"Asia/Tokyo", -540},
        {"America/New_York", 300},
        {"Asia/Kolkata", -330},
        {"Australia/Adelaide", -570},
    };
    for (const BiasCase& c : cases) {
        if (!zone_installed(c.zone)) continue;
        TimeZoneScope scope(c.zone);
        EXPECT_EQ(platform::time_zone_base_bias(), c.base_bias) << c.zone;
    }
}

TEST(PlatformTime, LocalFileTimeConversionAddsTheBiasInForceNow) {
    const uint64_t local = unix_epoch + 1'070'971'200 * ticks_per_second;  // 2003-12-09 12:00:00
    constexpr uint64_t hour = 3'600 * ticks_per_second;
    {
        TimeZoneScope scope("JST-9");
        EXPECT_EQ(platform::local_file_time_to_file_time(local), local - 9 * hour);
    }
    {
        // Daylight saving all year round: the current bias is 4 hours,
        // whatever the converted instant.
        TimeZoneScope scope("EST5EDT,0/0,J365/25");
        EXPECT_EQ(platform::time_zone_base_bias(), 300);
        EXPECT_EQ(platform::local_file_time_to_file_time(local), local + 4 * hour);
    }
    {
        TimeZoneScope scope("UTC0");
        EXPECT_EQ(platform::local_file_time_to_file_time(local), local);
    }
}

TEST(PlatformTime, LocalFileTimeConversionSaturatesAtTheEnds) {
    {
        TimeZoneScope scope("JST-9");
        EXPECT_EQ(platform::local_file_time_to_file_time(0), 0u);
    }
    {
        TimeZoneScope scope("EST5");
        EXPECT_EQ(platform::local_file_time_to_file_time(UINT64_MAX), UINT64_MAX);
    }
}

TEST(PlatformTime, LocalTimeNowFollowsTheZone) {
    // 14 hours apart, so at least the day or the hour differs.
    platform::CalendarTime east, west;
    {
        TimeZoneScope scope("XXX-14");
        east = platform::local_time_now();
    }
    {
        TimeZoneScope scope("YYY0");
        west = platform::local_time_now();
    }
    EXPECT_TRUE(east.day != west.day || east.hour != west.hour) << show(east) << " / " << show(west);
}
#endif

}  // namespace
