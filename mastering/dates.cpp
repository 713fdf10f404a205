#include "mastering/dates.h"

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr uint64_t ticks_per_minute = 600'000'000;
// 1900-01-01 00:00:00 and 2156-01-01 00:00:00 UTC as file times: the range
// of the year byte of a directory record.
constexpr uint64_t first_record_time = 94'354'848'000'000'000ULL;
constexpr uint64_t end_of_record_times = 175'140'576'000'000'000ULL;

bool leap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

uint64_t moved(uint64_t time, int64_t minutes)
{
    if (minutes >= 0)
        return time + uint64_t(minutes) * ticks_per_minute;
    uint64_t down = uint64_t(-minutes) * ticks_per_minute;
    return time < down ? 0 : time - down;
}

}  // namespace

int days_in_month(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

bool date_fields_valid(const DateFields& f)
{
    return f.year >= 1 && f.year <= 9999 && f.day >= 1 && f.day <= days_in_month(f.year, f.month) && f.hour >= 0 &&
           f.hour <= 23 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 && f.second <= 59 && f.hundredths >= 0 &&
           f.hundredths <= 99 && f.zone >= lowest_zone && f.zone <= highest_zone;
}

VolumeDate unspecified_volume_date()
{
    VolumeDate date;
    std::memset(date.bytes, '0', 16);
    date.bytes[16] = 0;
    return date;
}

RecordDate unspecified_record_date()
{
    return RecordDate{};
}

void record_date_from_file_time(RecordDate& date, uint64_t file_time)
{
    int32_t base_bias = platform::time_zone_base_bias();
    // The file time is taken as local time and converted to UTC with the bias
    // in force now; the result is UTC plus the bias, paired with bias / 15.
    uint64_t t = platform::local_file_time_to_file_time(file_time);
    int zone = base_bias / 15;
    int representable = zone < lowest_zone ? lowest_zone : zone > highest_zone ? highest_zone : zone;
    if (representable != zone) {
        t = moved(t, int64_t(representable) * 15 - base_bias);
        zone = representable;
    }
    // Held to the range that the year byte reaches.
    if (t < first_record_time)
        t = first_record_time;
    if (t >= end_of_record_times)
        t = end_of_record_times - 1;
    platform::CalendarTime c = platform::file_time_to_calendar(t);
    date.bytes[0] = uint8_t(c.year - 1900);
    date.bytes[1] = uint8_t(c.month);
    date.bytes[2] = uint8_t(c.day);
    date.bytes[3] = uint8_t(c.hour);
    date.bytes[4] = uint8_t(c.minute);
    date.bytes[5] = uint8_t(c.second);
    date.bytes[6] = uint8_t(int8_t(zone));
}
