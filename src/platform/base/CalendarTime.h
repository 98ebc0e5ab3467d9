// Calendar arithmetic on wall-clock fields.
//
// The recorder writes local wall-clock time into its file names and records. We never
// pass those values through the machine's time zone: a name's digits give the same
// fields on every machine, whatever TZ or daylight saving time says.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/base/WinTypes.h"

namespace orv {

// Broken-down time in the style of struct tm: years since 1900, months 0..11.
// Fields may lie outside their ranges; MakeWallClockSeconds carries them over.
struct CalendarFields {
    std::int64_t tm_year = 70;
    std::int64_t tm_mon = 0;
    std::int64_t tm_mday = 1;
    std::int64_t tm_hour = 0;
    std::int64_t tm_min = 0;
    std::int64_t tm_sec = 0;
};

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

// Seconds since 1970-01-01 00:00:00 of the wall-clock fields, with out-of-range fields
// carried over as mktime does. The time zone is never applied.
std::int64_t MakeWallClockSeconds(const CalendarFields& f);

// The calendar fields (day of week included) of a second count since 1970.
// Gives nothing when the year falls outside 1601..30827.
std::optional<SYSTEMTIME> SecondsToSystemTime(std::int64_t seconds);

// FILETIME <-> SYSTEMTIME without any zone conversion (both hold wall-clock time).
// Fail, as their Windows namesakes do, on fields out of range.
bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME* ft);
bool FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME* st);

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

// A SYSTEMTIME of the given fields (day of week and milliseconds 0); nothing is checked.
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Whether the fields name a real day and time (leap years counted).
bool IsValidSystemTime(const SYSTEMTIME& st);

// Seconds since 1970 of a valid SYSTEMTIME (milliseconds dropped).
std::int64_t SystemTimeToSeconds(const SYSTEMTIME& st);

}  // namespace orv
