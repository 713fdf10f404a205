// Time-zone and calendar services through kernel32.
#include <windows.h>

#include <cstdint>

#include "platform/civil.h"
#include "platform/platform.h"

namespace platform {
namespace {

FILETIME to_filetime(uint64_t value)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

uint64_t from_filetime(const FILETIME& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

CalendarTime from_systemtime(const SYSTEMTIME& st)
{
    CalendarTime out;
    out.year = st.wYear;
    out.month = st.wMonth;
    out.day = st.wDay;
    out.hour = st.wHour;
    out.minute = st.wMinute;
    out.second = st.wSecond;
    out.milliseconds = st.wMilliseconds;
    return out;
}

}  // namespace

int32_t time_zone_base_bias()
{
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return 0;
    return static_cast<int32_t>(zone.Bias);
}

uint64_t local_file_time_to_file_time(uint64_t local_time)
{
    const FILETIME local = to_filetime(local_time);
    FILETIME utc;
    if (!LocalFileTimeToFileTime(&local, &utc))
        return local_time;
    return from_filetime(utc);
}

CalendarTime file_time_to_calendar(uint64_t file_time)
{
    // Windows refuses file times of 2^63 and above (and Wine answers them
    // differently); the arithmetic split gives the same fields as
    // FileTimeToSystemTime for every value below and goes on beyond.
    if (file_time >> 63 != 0)
        return detail::split_file_time(file_time);
    const FILETIME ft = to_filetime(file_time);
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st))
        return detail::split_file_time(file_time);
    return from_systemtime(st);
}

CalendarTime local_time_now()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return from_systemtime(st);
}

}  // namespace platform
