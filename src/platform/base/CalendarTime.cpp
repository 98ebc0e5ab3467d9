#include "platform/base/CalendarTime.h"

namespace orv {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Fields are held to the range of struct tm's int fields: a year of 2^31 gives some 2^56
// seconds, far from overflow, where a year of 2^40 would overflow 64 bits.
constexpr std::int64_t kFieldLimit = 1LL << 31;

}  // namespace

// Howard Hinnant's days_from_civil.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t MakeWallClockSeconds(const CalendarFields& f) {
    auto clamp = [](std::int64_t v) {
        return v > kFieldLimit ? kFieldLimit : (v < -kFieldLimit ? -kFieldLimit : v);
    };
    const std::int64_t mon = clamp(f.tm_mon);
    const std::int64_t year = clamp(f.tm_year) + 1900 + FloorDiv(mon, 12);
    const unsigned month = unsigned(mon - FloorDiv(mon, 12) * 12) + 1;
    const std::int64_t days = DaysFromCivil(year, month, 1) + clamp(f.tm_mday) - 1;
    return days * 86400 + clamp(f.tm_hour) * 3600 + clamp(f.tm_min) * 60 + clamp(f.tm_sec);
}

std::optional<SYSTEMTIME> SecondsToSystemTime(std::int64_t seconds) {
    std::int64_t days = FloorDiv(seconds, 86400);
    const std::int64_t secOfDay = seconds - days * 86400;
    // civil_from_days
    const std::int64_t z = days + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
    if (y < 1601 || y > 30827) return std::nullopt;

    SYSTEMTIME st;
    st.wYear = std::uint16_t(y);
    st.wMonth = std::uint16_t(m);
    st.wDay = std::uint16_t(d);
    st.wHour = std::uint16_t(secOfDay / 3600);
    st.wMinute = std::uint16_t(secOfDay / 60 % 60);
    st.wSecond = std::uint16_t(secOfDay % 60);
    // 1970-01-01 was a Thursday.
    std::int64_t weekday = (days + 4) % 7;
    if (weekday < 0) weekday += 7;
    st.wDayOfWeek = std::uint16_t(weekday);
    return st;
}

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st;
    st.wYear = std::uint16_t(year);
    st.wMonth = std::uint16_t(month);
    st.wDay = std::uint16_t(day);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    st.wSecond = std::uint16_t(second);
    return st;
}

bool IsValidSystemTime(const SYSTEMTIME& st) {
    if (st.wYear < 1601 || st.wYear > 30827) return false;
    if (st.wMonth < 1 || st.wMonth > 12) return false;
    if (st.wDay < 1 || st.wDay > DaysInMonth(st.wYear, st.wMonth)) return false;
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

std::int64_t SystemTimeToSeconds(const SYSTEMTIME& st) {
    return DaysFromCivil(st.wYear, st.wMonth, st.wDay) * 86400 + st.wHour * 3600 +
           st.wMinute * 60 + st.wSecond;
}

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME* ft) {
    if (!ft || !IsValidSystemTime(st)) return false;
    const std::int64_t secs = SystemTimeToSeconds(st) + kSecondsFrom1601To1970;
    *ft = FILETIME::FromValue(std::uint64_t(secs) * kFileTimeTicksPerSecond +
                              std::uint64_t(st.wMilliseconds) * 10000);
    return true;
}

bool FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME* st) {
    if (!st) return false;
    const std::uint64_t v = ft.Value();
    if (v >= 0x8000000000000000ULL) return false;
    const std::int64_t secs = std::int64_t(v / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
    auto r = SecondsToSystemTime(secs);
    if (!r) return false;
    r->wMilliseconds = std::uint16_t(v % kFileTimeTicksPerSecond / 10000);
    *st = *r;
    return true;
}

}  // namespace orv
