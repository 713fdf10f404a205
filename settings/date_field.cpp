#include "settings/date_field.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

bool preset = false;
int64_t preset_seconds = 0;

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

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

void preset_date_fields_from_epoch(int64_t seconds_since_1970)
{
    preset = true;
    preset_seconds = seconds_since_1970;
}

void clear_date_field_preset() { preset = false; }

void set_date_field_to_now(char* date_text, char* zone_text)
{
    platform::CalendarTime now;
    int zone;
    if (preset) {
        uint64_t file_time = uint64_t(preset_seconds + 11644473600LL) * 10000000ULL;
        now = platform::file_time_to_calendar(file_time);
        zone = 0;
    } else {
        now = platform::local_time_now();
        zone = -platform::time_zone_base_bias() / 15;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", now.year % 10000, now.month % 100,
                  now.day % 100, now.hour % 100, now.minute % 100, now.second % 100, now.milliseconds / 10 % 100);
    std::memcpy(date_text, text, 17);
    std::snprintf(zone_text, 32, "%d", zone);
}

VolumeDate parse_volume_date(const char* date_text, const char* zone_text)
{
    VolumeDate date{};
    // The text stands in a zero-filled buffer; a text shorter than sixteen
    // characters is followed by zero bytes.
    size_t n = std::strlen(date_text);
    std::memcpy(date.bytes, date_text, n < 16 ? n : 16);
    date.bytes[16] = uint8_t(text_to_integer(zone_text));
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
    RecordDate date{};
    date.bytes[0] = uint8_t(group(0, 4) - 1900);
    date.bytes[1] = uint8_t(group(4, 2));
    date.bytes[2] = uint8_t(group(6, 2));
    date.bytes[3] = uint8_t(group(8, 2));
    date.bytes[4] = uint8_t(group(10, 2));
    date.bytes[5] = uint8_t(group(12, 2));
    date.bytes[6] = uint8_t(text_to_integer(zone_text));
    return date;
}
