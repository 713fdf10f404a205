// Calendar arithmetic on 64-bit file times, shared by both implementations.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform::detail {

// 100-ns units in one second, and the seconds from 1601-01-01 to 1970-01-01.
inline constexpr uint64_t ticks_per_second = 10'000'000;
inline constexpr int64_t seconds_1601_to_1970 = 11'644'473'600;

// Splits any 64-bit file time (100-ns units since 1601-01-01 UTC) into
// proleptic Gregorian calendar fields. Every value is accepted: the largest
// lands in the year 60056, which still fits the 16-bit year field.
CalendarTime split_file_time(uint64_t file_time);

}  // namespace platform::detail
