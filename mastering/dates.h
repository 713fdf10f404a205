// The two date forms of ISO 9660.
#pragma once

#include <cstdint>

// Volume date and time, ECMA-119 8.4.26.1: sixteen characters
// YYYYMMDDhhmmsscc, then the zone in quarter hours east of Greenwich.
struct VolumeDate {
    uint8_t bytes[17];
};
static_assert(sizeof(VolumeDate) == 17);

// Recording date and time of a directory record, ECMA-119 9.1.5: years since
// 1900, month, day, hour, minute, second, zone in quarter hours.
struct RecordDate {
    uint8_t bytes[7];
};
static_assert(sizeof(RecordDate) == 7);

// The recording date of a file time as the file system reports it (UTC,
// 100-ns units since 1601). The six time fields hold UTC plus the base bias
// of the zone and the zone byte holds bias / 15, so that, read the ISO 9660
// way, the pair denotes the file's instant when no daylight saving is in force.
void record_date_from_file_time(RecordDate& date, uint64_t file_time);
