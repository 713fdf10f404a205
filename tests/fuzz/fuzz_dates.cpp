// Date and zone texts of any content: the readers never read beyond the
// text, and every byte they give lies in its field's range: a real moment
// with a representable zone, or the form that means "not specified".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "settings/date_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string date = input.substr(0, split);
    std::string zone = split == std::string::npos ? "" : input.substr(split + 1);
    zone = zone.c_str();
    VolumeDate v = parse_volume_date(date.c_str(), zone.c_str());
    RecordDate r = parse_record_date(date.c_str(), zone.c_str());

    std::string text(reinterpret_cast<const char*>(v.bytes), 16);
    int volume_zone = int8_t(v.bytes[16]);
    bool volume_unspecified = text == "0000000000000000" && volume_zone == 0;
    if (!volume_unspecified &&
        (date.compare(0, 16, text) != 0 || date_text_problem(text.c_str(), std::to_string(volume_zone).c_str(), false)))
        __builtin_trap();

    static const uint8_t zeros[7] = {};
    if (std::memcmp(r.bytes, zeros, 7) != 0) {
        DateFields f;
        f.year = 1900 + r.bytes[0];
        f.month = r.bytes[1];
        f.day = r.bytes[2];
        f.hour = r.bytes[3];
        f.minute = r.bytes[4];
        f.second = r.bytes[5];
        f.zone = int8_t(r.bytes[6]);
        if (!date_fields_valid(f))
            __builtin_trap();
    }
    return 0;
}
