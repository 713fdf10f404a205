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

// Both forms hold the zone as a signed byte from -48 (12 hours west) to 52
// (13 hours east), ECMA-119 8.4.26.1 and 9.1.5.
inline constexpr int lowest_zone = -48;
inline constexpr int highest_zone = 52;

// Calendar fields of a date as typed or computed, before encoding.
struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, hundredths = 0, zone = 0;
};

int days_in_month(int year, int month);
// True when every field names a real moment of the proleptic Gregorian
// calendar within years 1..9999 and the zone is representable. The year range
// of a directory record (1900..2155) is the caller's concern.
bool date_fields_valid(const DateFields& fields);

// The forms that mean "not specified": sixteen '0' digits and a zero zone
// byte, and seven zero bytes.
VolumeDate unspecified_volume_date();
RecordDate unspecified_record_date();

// The recording date of a file time as the file system reports it (UTC,
// 100-ns units since 1601). The six time fields hold UTC plus the base bias
// of the zone and the zone byte holds bias / 15, so that, read the ISO 9660
// way, the pair denotes the file's instant when no daylight saving is in force.
// A zone beyond the representable range is replaced by the nearest one that
// is, the fields moved so that the pair still denotes the same instant; an
// instant outside 1900..2155 is held at the nearest end of that range.
void record_date_from_file_time(RecordDate& date, uint64_t file_time);
