#include "mastering/dates.h"

#include "platform/platform.h"

void record_date_from_file_time(RecordDate& date, uint64_t file_time)
{
    int32_t base_bias = platform::time_zone_base_bias();
    // The file time is taken as local time and converted to UTC with the bias
    // in force now; the result is UTC plus the bias, paired with bias / 15.
    uint64_t t = platform::local_file_time_to_file_time(file_time);
    platform::CalendarTime c = platform::file_time_to_calendar(t);
    date.bytes[0] = uint8_t((c.year + 148) & 0xFF);
    date.bytes[1] = uint8_t(c.month);
    date.bytes[2] = uint8_t(c.day);
    date.bytes[3] = uint8_t(c.hour);
    date.bytes[4] = uint8_t(c.minute);
    date.bytes[5] = uint8_t(c.second);
    date.bytes[6] = uint8_t(int8_t(base_bias / 15));
}
