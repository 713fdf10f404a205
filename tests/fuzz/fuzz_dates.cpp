// Date and zone texts of any content: the readers never read beyond the text
// and always give all their bytes.
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
    size_t n = std::strlen(date.c_str());
    if (std::memcmp(v.bytes, date.c_str(), n < 16 ? n : 16) != 0)
        __builtin_trap();
    if (v.bytes[16] != r.bytes[6])
        __builtin_trap();
    return 0;
}
