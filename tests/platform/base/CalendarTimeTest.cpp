#include "platform/base/CalendarTime.h"

#include <cstdlib>
#include <ctime>
#include <limits>

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(CalendarTime, WallClockSecondsMatchKnownInstants) {
    EXPECT_EQ(MakeWallClockSeconds({70, 0, 1, 0, 0, 0}), 0);
    EXPECT_EQ(MakeWallClockSeconds({122, 0, 1, 12, 0, 0}), 1641038400);  // 2022-01-01 12:00
    EXPECT_EQ(MakeWallClockSeconds({124, 1, 29, 23, 59, 59}), 1709251199);  // leap day 2024
}

TEST(CalendarTime, OutOfRangeFieldsCarryOverLikeMktime) {
    // Month 12 is January of the next year; day 0 is the last day of the month before.
    EXPECT_EQ(MakeWallClockSeconds({121, 12, 1, 0, 0, 0}), MakeWallClockSeconds({122, 0, 1, 0, 0, 0}));
    EXPECT_EQ(MakeWallClockSeconds({122, 2, 0, 0, 0, 0}), MakeWallClockSeconds({122, 1, 28, 0, 0, 0}));
    EXPECT_EQ(MakeWallClockSeconds({122, 0, 1, 25, 61, 0}),
              MakeWallClockSeconds({122, 0, 2, 2, 1, 0}));
    EXPECT_EQ(MakeWallClockSeconds({122, -1, 1, 0, 0, 0}), MakeWallClockSeconds({121, 11, 1, 0, 0, 0}));
}

TEST(CalendarTime, HugeFieldsStayOnTheirSideOfTheEpoch) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const std::int64_t y2022 = MakeWallClockSeconds({122, 0, 1, 0, 0, 0});
    EXPECT_GT(MakeWallClockSeconds({kMax, 0, 1, 0, 0, 0}), y2022);
    EXPECT_GT(MakeWallClockSeconds({kMax, kMax, kMax, kMax, kMax, kMax}), y2022);
    EXPECT_LT(MakeWallClockSeconds({kMin, 0, 1, 0, 0, 0}), 0);
    EXPECT_LT(MakeWallClockSeconds({kMin, kMin, kMin, kMin, kMin, kMin}), 0);
}

TEST(CalendarTime, SecondsBackToFieldsWithWeekday) {
    auto st = SecondsToSystemTime(1641038400);
    ASSERT_TRUE(st);
    EXPECT_EQ(*st, [] {
        SYSTEMTIME e = MakeSystemTime(2022, 1, 1, 12, 0, 0);
        e.wDayOfWeek = 6;  // Saturday
        return e;
    }());
    auto before = SecondsToSystemTime(-1);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->wYear, 1969);
    EXPECT_EQ(before->wDayOfWeek, 3);  // Wednesday
    EXPECT_FALSE(SecondsToSystemTime(-12000000000LL));  // before 1601
}

TEST(CalendarTime, FieldsDoNotShiftWithTheMachinesZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    std::int64_t results[3];
    const char* zones[] = {"UTC", "Asia/Tokyo", "America/New_York"};
    for (int i = 0; i < 3; ++i) {
        setenv("TZ", zones[i], 1);
        tzset();
        // 2021-03-14 02:30 does not exist in New York (DST gap); the wall clock still stands.
        results[i] = MakeWallClockSeconds({121, 2, 14, 2, 30, 0});
    }
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
    auto st = SecondsToSystemTime(results[0]);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->wHour, 2);
    EXPECT_EQ(st->wMinute, 30);
}

TEST(CalendarTime, FileTimeRoundTripAndValidation) {
    FILETIME ft;
    SYSTEMTIME st = MakeSystemTime(2022, 1, 1, 12, 0, 0);
    st.wMilliseconds = 250;
    ASSERT_TRUE(SystemTimeToFileTime(st, &ft));
    EXPECT_EQ(ft.Value(), (1641038400ULL + 11644473600ULL) * 10000000ULL + 2500000ULL);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(ft, &back));
    EXPECT_EQ(back.wYear, 2022);
    EXPECT_EQ(back.wMilliseconds, 250);
    EXPECT_EQ(back.wDayOfWeek, 6);

    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2022, 2, 29, 0, 0, 0), &ft));  // not a leap year
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(2024, 2, 29, 0, 0, 0), &ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2022, 13, 1, 0, 0, 0), &ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2022, 1, 1, 24, 0, 0), &ft));
    EXPECT_FALSE(FileTimeToSystemTime(FILETIME::FromValue(0x8000000000000000ULL), &back));
}

}  // namespace
}  // namespace orv
