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

// What "now" is for the date fields a window opens with: the clock, or a
// fixed UTC instant shown with zone 0 (the command line's SOURCE_DATE_EPOCH,
// the tests' fixed instant).
struct DateSource {
    bool fixed = false;
    int64_t seconds_since_1970 = 0;
};
// The fixed source of the instant; false, and `source` unchanged, for an
// instant outside the years 1900..2155 that both date forms can hold.
[[nodiscard]] bool fixed_date_source(int64_t seconds_since_1970, DateSource& source);

// Formats the source's now (by default the local date and time, with the
// local standard-time zone) into the two texts (each at least 32 bytes). A
// zone beyond -48..52 quarter hours (UTC+14 exists) is shown as the nearest
// representable one, the time moved so that the pair names the same instant.
void set_date_field_to_now(char* date_text, char* zone_text, const DateSource& source = {});

// The texts as typed, numbers read with the string-to-integer rule. A text
// that names no real moment (month 13, a letter among the digits, a short
// text), a zone outside -48..52 or, for a directory record, a year outside
// 1900..2155 gives the form that means "not specified" rather than bytes out
// of their range.
VolumeDate parse_volume_date(const char* date_text, const char* zone_text);
RecordDate parse_record_date(const char* date_text, const char* zone_text);

// The stricter reading of a date given on the command line: exactly sixteen
// digits naming a real moment (or all zeros: not specified) and a zone that
// is a whole number within -48..52; for a directory record also a year within
// 1900..2155. Null when acceptable, else what is wrong.
const char* date_text_problem(const char* date_text, const char* zone_text, bool record_date);
