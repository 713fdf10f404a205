#include "platform/civil.h"

namespace platform::detail {

CalendarTime split_file_time(uint64_t file_time)
{
    // 1601-01-01 opens a 400-year Gregorian cycle, so the day count splits
    // into cycles of 400, 100, 4 and 1 years without any offset. The last
    // year of a 4-year group is the leap year, except for the last group of a
    // century that is not the fourth of its cycle.
    constexpr uint64_t days_per_400 = 146'097;
    constexpr uint64_t days_per_100 = 36'524;
    constexpr uint64_t days_per_4 = 1'461;
    constexpr uint64_t days_per_1 = 365;

    CalendarTime out;
    const uint64_t seconds = file_time / ticks_per_second;
    out.milliseconds = static_cast<uint16_t>((file_time % ticks_per_second) / 10'000);
    const uint64_t second_of_day = seconds % 86'400;
    out.hour = static_cast<uint16_t>(second_of_day / 3'600);
    out.minute = static_cast<uint16_t>(second_of_day / 60 % 60);
    out.second = static_cast<uint16_t>(second_of_day % 60);

    uint64_t day = seconds / 86'400;
    const uint64_t cycles = day / days_per_400;
    day %= days_per_400;
    uint64_t centuries = day / days_per_100;
    if (centuries == 4)
        centuries = 3;  // the last day of a leap 400th year
    day -= centuries * days_per_100;
    const uint64_t groups = day / days_per_4;
    day %= days_per_4;
    uint64_t years = day / days_per_1;
    if (years == 4)
        years = 3;  // the last day of a leap year
    day -= years * days_per_1;

    const bool leap = years == 3 && (groups != 24 || centuries == 3);
    out.year = static_cast<uint16_t>(1601 + cycles * 400 + centuries * 100 + groups * 4 + years);

    static constexpr uint16_t month_days[2][12] = {
        {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
        {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    };
    uint16_t month = 0;
    while (day >= month_days[leap][month]) {
        day -= month_days[leap][month];
        ++month;
    }
    out.month = static_cast<uint16_t>(month + 1);
    out.day = static_cast<uint16_t>(day + 1);
    return out;
}

}  // namespace platform::detail
