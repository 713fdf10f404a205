// Date and time fields: a date text of sixteen digits YYYYMMDDhhmmsscc beside
// a zone text in quarter hours east of Greenwich, and the two ISO 9660 date
// forms made from them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mastering/dates.h"

// The string-to-integer rule of every number typed into a dialog: leading
// white space, an optional sign, decimal digits up to the first other
// character; 0 without digits. Overflow wraps like 32-bit arithmetic.
int32_t text_to_integer(const char* text);

// Formats the local date and time now (or the preset instant, see below) and
// the local standard-time zone into the two texts (each at least 32 bytes).
void set_date_field_to_now(char* date_text, char* zone_text);

// When set (the command line does so from SOURCE_DATE_EPOCH), date fields are
// preset from this UTC instant with zone 0 instead of the clock.
void preset_date_fields_from_epoch(int64_t seconds_since_1970);
void clear_date_field_preset();

VolumeDate parse_volume_date(const char* date_text, const char* zone_text);
RecordDate parse_record_date(const char* date_text, const char* zone_text);
