#include "views/InfoTexts.h"

#include <gtest/gtest.h>

#include "ViewsTestSupport.h"
#include "platform/base/CalendarTime.h"

namespace orv {
namespace {

using test::FrontChannelData;
using test::QuietRecords;

// G values as the recorder writes them (thousandths of g), through the decoder.
TEST(InfoTexts, GValuesAreCutToHundredthsOfTheRecordedThousandths) {
    const struct {
        const char* field;
        const char* text;
    } cases[] = {
        {"+1239", "1.23G"}, {"-0005", "0.00G"}, {"+0290", "0.29G"}, {"-0290", "-0.29G"},
        {"-1239", "-1.23G"}, {"+3500", "3.50G"}, {"+0000", "0.00G"}, {"+0999", "0.99G"},
    };
    std::vector<fixtures::RawRecord> records = QuietRecords(int(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) records[i].accelY = cases[i].field;
    FrontChannelData data(records);
    ASSERT_TRUE(data.Ready());
    const ChannelsLock lock;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(FormatGValue(ChannelFrameRecords(lock).sensor[i].gY), cases[i].text) << cases[i].field;
    EXPECT_EQ(FormatGValue(kNoGValue), "");
    EXPECT_EQ(FormatGValue(-7.0), "");
}

TEST(InfoTexts, SpeedAndVoltage) {
    const struct {
        BOOL valid;
        double kmh;
        const char* text;
    } speeds[] = {
        {TRUE, 999.4, "999 "}, {TRUE, 0.0, "0 "}, {TRUE, 41.6, "42 "}, {TRUE, 1000.0, ""},
        {TRUE, -1.0, ""},      {FALSE, 40.0, ""},
    };
    for (const auto& c : speeds) EXPECT_EQ(FormatSpeed(c.valid, c.kmh), c.text) << c.kmh;
    EXPECT_EQ(FormatVoltage(124), "12.4");
    EXPECT_EQ(FormatVoltage(125), "12.5");
    EXPECT_EQ(FormatVoltage(0), "0.0");
    EXPECT_EQ(FormatVoltage(kNoVoltage10), "");
}

TEST(InfoTexts, FrameDateAndTime) {
    const SYSTEMTIME start = MakeSystemTime(2024, 4, 13, 10, 0, 0);
    const struct {
        SYSTEMTIME start;
        int position;
        float interval;
        BOOL lapse;
        const char* text;  // empty: nothing to show
    } cases[] = {
        {start, 300, 33.3f, FALSE, "2024/04/13 10:00:09"},    // + 9,990 ms
        {start, 300, 33.3f, TRUE, "2024/04/13 10:02:29"},     // + 149,850 ms
        {start, 0, 33.3f, FALSE, "2024/04/13 10:00:00"},
        {start, 150, 1000.0f / 30.0f, FALSE, "2024/04/13 10:00:05"},  // 4999.9998 ms as a float
        {MakeSystemTime(2024, 12, 31, 23, 59, 59), 30, 33.4f, FALSE, "2025/01/01 00:00:00"},
        {MakeSystemTime(2057, 1, 2, 3, 4, 5), 0, 33.3f, FALSE, "2022/01/02 03:04:05"},  // 35 years lower
        {start, -1, 33.3f, FALSE, ""},
        {SYSTEMTIME{}, 10, 33.3f, FALSE, ""},
    };
    for (const auto& c : cases) {
        const std::optional<SYSTEMTIME> when = FrameDateTime(c.start, c.position, c.interval, c.lapse);
        EXPECT_EQ(when ? FormatDateTime(*when) : std::string(), c.text) << c.position;
    }
}

TEST(InfoTexts, VehicleValuesByDataFormat) {
    const VehicleValues before{2, 8292, 0};
    const VehicleValues none{};
    const struct {
        int format, signal, steering, brake, flag;
        VehicleValues after;
    } cases[] = {
        {'3', 1, 8000, 1, ' ', before},           // blank flag: keep
        {'3', 1, 8000, 1, 0x01, {1, 8000, 1}},
        {'3', 3, 16383, 0, 0x01, {3, kNoSteeringRaw, 0}},
        {'3', 3, 0x2020, 0, 0x01, {3, kNoSteeringRaw, 0}},
        {'2', 1, 8000, 1, 0x01, none},
        {'N', 1, 8000, 1, 0x01, none},
        {'T', 1, 8000, 1, 0x01, before},
    };
    for (const auto& c : cases) {
        const VehicleValues got = ApplyVehicleValues(before, c.format, c.signal, c.steering, c.brake, c.flag);
        EXPECT_EQ(got.nVehicleState, c.after.nVehicleState) << char(c.format) << " " << c.steering;
        EXPECT_EQ(got.nAngleRaw, c.after.nAngleRaw) << char(c.format) << " " << c.steering;
        EXPECT_EQ(got.nVehicleValue3, c.after.nVehicleValue3) << char(c.format) << " " << c.steering;
    }
    EXPECT_EQ(FormatSteering(8192), "  +0\xC2\xB0");
    EXPECT_EQ(FormatSteering(8292), " +10\xC2\xB0");
    EXPECT_EQ(FormatSteering(8091), " -10\xC2\xB0");
    EXPECT_EQ(FormatSteering(kNoSteeringRaw), "");
}

}  // namespace
}  // namespace orv
