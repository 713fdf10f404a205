#include "settings/date_field.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// The seconds from 1601-01-01 to 1970-01-01, and the instants 1900-01-01 and
// 2156-01-01 00:00:00 UTC in seconds since 1970.
constexpr int64_t seconds_1601_to_1970 = 11644473600LL;
constexpr int64_t first_preset = -2208988800LL;
constexpr int64_t end_of_presets = 5869584000LL;
constexpr uint64_t ticks_per_second = 10000000ULL;

bool is_white(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Days from 1601-01-01 to the first of the month.
int64_t days_since_1601(int year, int month)
{
    int64_t y = year - 1601;
    int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += days_in_month(year, m);
    return days;
}

// The calendar fields moved by a number of minutes.
platform::CalendarTime moved(const platform::CalendarTime& c, int minutes)
{
    int64_t seconds = (days_since_1601(c.year, c.month) + c.day - 1) * 86400 + c.hour * 3600 + c.minute * 60 +
                      c.second + int64_t(minutes) * 60;
    if (seconds < 0)
        return c;
    platform::CalendarTime out =
        platform::file_time_to_calendar(uint64_t(seconds) * ticks_per_second + c.milliseconds * 10000ULL);
    return out;
}

// The sixteen characters YYYYMMDDhhmmsscc read as fields; false when any of
// them is not a digit.
bool digits_to_fields(const char* text, DateFields& f)
{
    for (int i = 0; i < 16; ++i)
        if (!is_digit(text[i]))
            return false;
    auto number = [&](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    f.year = number(0, 4);
    f.month = number(4, 2);
    f.day = number(6, 2);
    f.hour = number(8, 2);
    f.minute = number(10, 2);
    f.second = number(12, 2);
    f.hundredths = number(14, 2);
    return true;
}

bool record_year(int year)
{
    return year >= 1900 && year <= 2155;
}

}  // namespace

int32_t text_to_integer(const char* text)
{
    while (is_white(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9')
        value = value * 10 + uint32_t(*text++ - '0');
    return int32_t(negative ? 0u - value : value);
}

bool fixed_date_source(int64_t seconds_since_1970, DateSource& source)
{
    if (seconds_since_1970 < first_preset || seconds_since_1970 >= end_of_presets)
        return false;
    source.fixed = true;
    source.seconds_since_1970 = seconds_since_1970;
    return true;
}

void set_date_field_to_now(char* date_text, char* zone_text, const DateSource& source)
{
    platform::CalendarTime now;
    int zone;
    if (source.fixed) {
        uint64_t file_time = uint64_t(source.seconds_since_1970 + seconds_1601_to_1970) * ticks_per_second;
        now = platform::file_time_to_calendar(file_time);
        zone = 0;
    } else {
        now = platform::local_time_now();
        zone = -platform::time_zone_base_bias() / 15;
        int representable = zone < lowest_zone ? lowest_zone : zone > highest_zone ? highest_zone : zone;
        if (representable != zone) {
            now = moved(now, (representable - zone) * 15);
            zone = representable;
        }
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", now.year % 10000, now.month % 100, now.day % 100,
                  now.hour % 100, now.minute % 100, now.second % 100, now.milliseconds / 10 % 100);
    std::memcpy(date_text, text, 17);
    std::snprintf(zone_text, 32, "%d", zone);
}

VolumeDate parse_volume_date(const char* date_text, const char* zone_text)
{
    // The text stands in a zero-filled buffer; a text shorter than sixteen
    // characters is followed by zero bytes and is no date.
    char text[17] = {};
    size_t n = std::strlen(date_text);
    std::memcpy(text, date_text, n < 16 ? n : 16);
    DateFields f;
    if (!digits_to_fields(text, f))
        return unspecified_volume_date();
    f.zone = text_to_integer(zone_text);
    if (!date_fields_valid(f))
        return unspecified_volume_date();
    VolumeDate date;
    std::memcpy(date.bytes, text, 16);
    date.bytes[16] = uint8_t(int8_t(f.zone));
    return date;
}

RecordDate parse_record_date(const char* date_text, const char* zone_text)
{
    char text[17] = {};
    size_t n = std::strlen(date_text);
    std::memcpy(text, date_text, n < 16 ? n : 16);
    auto group = [&](int from, int length) {
        char part[5] = {};
        std::memcpy(part, text + from, size_t(length));
        return text_to_integer(part);
    };
    DateFields f;
    f.year = group(0, 4);
    f.month = group(4, 2);
    f.day = group(6, 2);
    f.hour = group(8, 2);
    f.minute = group(10, 2);
    f.second = group(12, 2);
    f.zone = text_to_integer(zone_text);
    if (!record_year(f.year) || !date_fields_valid(f))
        return unspecified_record_date();
    RecordDate date;
    date.bytes[0] = uint8_t(f.year - 1900);
    date.bytes[1] = uint8_t(f.month);
    date.bytes[2] = uint8_t(f.day);
    date.bytes[3] = uint8_t(f.hour);
    date.bytes[4] = uint8_t(f.minute);
    date.bytes[5] = uint8_t(f.second);
    date.bytes[6] = uint8_t(int8_t(f.zone));
    return date;
}

const char* date_text_problem(const char* date_text, const char* zone_text, bool record_date)
{
    DateFields f;
    if (std::strlen(date_text) != 16 || !digits_to_fields(date_text, f))
        return "the date is not sixteen digits YYYYMMDDhhmmsscc";
    const char* z = zone_text;
    if (*z == '+' || *z == '-')
        ++z;
    size_t digits = std::strlen(z);
    if (digits == 0 || digits > 3)
        return "the zone is not a whole number of quarter hours from -48 to 52";
    for (size_t i = 0; i < digits; ++i)
        if (!is_digit(z[i]))
            return "the zone is not a whole number of quarter hours from -48 to 52";
    f.zone = text_to_integer(zone_text);
    if (f.zone < lowest_zone || f.zone > highest_zone)
        return "the zone is outside -48 to 52 quarter hours";
    if (std::strcmp(date_text, "0000000000000000") == 0 && f.zone == 0)
        return nullptr;  // not specified
    if (!date_fields_valid(f))
        return "the date names no moment of the calendar";
    if (record_date && !record_year(f.year))
        return "a directory record holds only the years 1900 to 2155";
    return nullptr;
}
