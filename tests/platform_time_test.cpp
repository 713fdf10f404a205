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
#include "test_support.h"

namespace {

constexpr uint64_t second = 10'000'000;
constexpr uint64_t day = 86'400 * second;
constexpr uint64_t unix_epoch = 11'644'473'600 * second;

std::string show(const platform::CalendarTime& t)
{
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
             t.second, t.milliseconds);
    return text;
}

TEST(PlatformTime, FileTimeToCalendar)
{
    const struct {
        uint64_t file_time;
        const char* expected;
    } cases[] = {
        {0, "1601-01-01 00:00:00.000"},
        {day - 1, "1601-01-01 23:59:59.999"},
        {unix_epoch, "1970-01-01 00:00:00.000"},
        {unix_epoch + 1'070'971'200 * second, "2003-12-09 12:00:00.000"},
        {unix_epoch + 951'782'400 * second + 12'340'000, "2000-02-29 00:00:01.234"},
        {109'266 * day, "1900-03-01 00:00:00.000"},  // 1900 has no leap day
        {unix_epoch + 978'220'800 * second, "2000-12-31 00:00:00.000"},
        {unix_epoch + 5'869'583'999 * second, "2155-12-31 23:59:59.000"},
        {0x7FFF'FFFF'FFFF'FFFFull, "30828-09-14 02:48:05.477"},  // the largest Win32 file time
        {0x8000'0000'0000'0000ull + day, "30828-09-15 02:48:05.477"},
        {0xFFFF'FFFF'FFFF'FFFFull, "60056-05-28 05:36:10.955"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(show(platform::file_time_to_calendar(c.file_time)), c.expected);
}

#ifndef _WIN32
TEST(PlatformTime, PosixBaseBiasIgnoresDaylightSaving)
{
    const struct {
        const char* zone;
        int32_t base_bias;
    } cases[] = {
        {"UTC0", 0},          {"JST-9", -540},           {"EST5EDT,M3.2.0,M11.1.0", 300}, {"IST-5:30", -330},
        {"Asia/Tokyo", -540}, {"America/New_York", 300}, {"Asia/Kolkata", -330},
    };
    for (const auto& c : cases) {
        const bool named = std::string(c.zone).find('/') != std::string::npos;
        if (named && access((std::string("/usr/share/zoneinfo/") + c.zone).c_str(), R_OK) != 0)
            continue;
        TimeZoneScope scope(c.zone);
        EXPECT_EQ(platform::time_zone_base_bias(), c.base_bias) << c.zone;
    }
}

TEST(PlatformTime, PosixLocalFileTimeTakesTheBiasInForceNow)
{
    const uint64_t local = unix_epoch + 1'070'971'200 * second;  // a winter date
    constexpr uint64_t hour = 3'600 * second;
    const struct {
        const char* zone;
        uint64_t input;
        uint64_t expected;
    } cases[] = {
        {"UTC0", local, local},
        {"JST-9", local, local - 9 * hour},
        // Daylight saving all year: four hours now, whatever the date given.
        {"EST5EDT,0/0,J365/25", local, local + 4 * hour},
        {"JST-9", 0, 0},                   // held at the start of the range
        {"EST5", UINT64_MAX, UINT64_MAX},  // and at its end
    };
    for (const auto& c : cases) {
        TimeZoneScope scope(c.zone);
        EXPECT_EQ(platform::local_file_time_to_file_time(c.input), c.expected) << c.zone;
    }
}

TEST(PlatformTime, PosixLocalTimeNowFollowsTheZone)
{
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
    EXPECT_GE(west.year, 2020);
}
#endif

}  // namespace
