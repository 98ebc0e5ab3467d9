#include "views/ObdGauge.h"

#include <gtest/gtest.h>

#include "ViewsTestSupport.h"

namespace orv {
namespace {

using test::FrontChannelData;
using test::QuietRecords;
namespace fx = orv::fixtures;

int Clamped(const ObdValues& values, int kind) {
    int v = values[std::size_t(ObdSlotOfKind(kind))];
    ClampObdValue(v, kind);
    return v;
}

// Readings as the fixture writer stores them, through the decoder, to the gauges' targets.
TEST(ObdGauge, ValuesFromTheRecordsReadings) {
    const struct {
        int reading;
        std::uint16_t raw;
        int kind;
        int target;
    } cases[] = {
        {7, 655, OBD_THROTTLE, 65},
        {7, fx::kVehicleBlank, OBD_THROTTLE, 0},
        {2, 2750, OBD_ENGINE_SPEED, 27},
        {1, 191, OBD_INTAKE_PRESSURE, 180},
        {1, 28, OBD_INTAKE_PRESSURE, 17},
        {1, fx::kVehicleBlank, OBD_INTAKE_PRESSURE, 90},
        {1, 400, OBD_INTAKE_PRESSURE, 220},
        {0, 0, OBD_COOLANT_TEMP, 0},  // -40 degrees, below the dial
        {0, 128, OBD_COOLANT_TEMP, 88},
        {3, 350, OBD_SPEED, 300},
        {3, 42, OBD_SPEED, 42},
    };
    std::vector<fx::RawRecord> records = QuietRecords(int(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) records[i].vehicleValues[std::size_t(cases[i].reading)] = cases[i].raw;
    FrontChannelData data(records);
    ASSERT_TRUE(data.Ready());
    const ChannelsLock lock;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ObdValues values{7, 7, 7, 7, 7};
        ReadObdValues(g_aPlayChannel[0].scanners[kActiveScanner].obd[i], values);
        EXPECT_EQ(Clamped(values, cases[i].kind), cases[i].target) << "reading " << cases[i].reading << " = " << cases[i].raw;
    }

    // An invalid reading keeps what the gauge had.
    sOBDRECORD invalid;
    for (std::uint16_t& v : invalid.values) v = kVehicleValueInvalid;
    ObdValues values{1, 2, 3, 4, 5};
    ReadObdValues(invalid, values);
    EXPECT_EQ(values, (ObdValues{1, 2, 3, 4, 5}));
}

TEST(ObdGauge, NeedleStepsLandOnTheTarget) {
    const struct {
        int kind, from, to;
        std::vector<int> steps;
    } cases[] = {
        {OBD_SPEED, 0, 21, {8, 16, 18, 20, 21}},
        {OBD_SPEED, 21, 0, {13, 5, 3, 1, 0}},
        {OBD_INTAKE_PRESSURE, 90, 100, {96, 97, 98, 99, 100}},
        {OBD_INTAKE_PRESSURE, 100, 87, {94, 88, 87}},
        {OBD_THROTTLE, 0, 5, {2, 4, 5}},
        {OBD_COOLANT_TEMP, 10, 7, {8, 7}},
    };
    for (const auto& c : cases) {
        std::vector<int> got;
        for (int v = c.from; v != c.to && got.size() < 100;) {
            v = ObdStepToward(v, c.to, c.kind, c.from < c.to);
            got.push_back(v);
        }
        EXPECT_EQ(got, c.steps) << c.kind << ": " << c.from << " -> " << c.to;
    }
}

TEST(ObdGauge, RangesAndNeedleAngles) {
    const struct {
        int kind, value;
        double angle;
    } anchors[] = {
        {OBD_THROTTLE, 0, 261.5},        {OBD_THROTTLE, 25, 311.5},        {OBD_THROTTLE, 50, 0.0},
        {OBD_THROTTLE, 75, 48.5},        {OBD_THROTTLE, 100, 99.0},        {OBD_ENGINE_SPEED, 0, 261.5},
        {OBD_ENGINE_SPEED, 50, 0.0},     {OBD_ENGINE_SPEED, 100, 99.0},    {OBD_INTAKE_PRESSURE, 0, 251.5},
        {OBD_INTAKE_PRESSURE, 55, 306.5}, {OBD_INTAKE_PRESSURE, 110, 0.0}, {OBD_INTAKE_PRESSURE, 165, 53.5},
        {OBD_INTAKE_PRESSURE, 220, 108.0}, {OBD_COOLANT_TEMP, 0, 261.5},   {OBD_COOLANT_TEMP, 26, 313.0},
        {OBD_COOLANT_TEMP, 50, 0.0},     {OBD_COOLANT_TEMP, 78, 55.0},     {OBD_COOLANT_TEMP, 105, 108.0},
        {OBD_SPEED, 0, 261.5},           {OBD_SPEED, 75, 312.0},           {OBD_SPEED, 150, 0.0},
        {OBD_SPEED, 225, 48.5},          {OBD_SPEED, 300, 99.0},
    };
    for (const auto& a : anchors) EXPECT_DOUBLE_EQ(ObdNeedleAngle(a.kind, a.value), a.angle) << a.kind << " " << a.value;

    // Every table sweeps clockwise without a step back, through the top of the dial.
    for (int kind = 0; kind < OBD_KIND_COUNT; ++kind) {
        double previous = -1.0;
        for (int v = 0; v <= ObdRangeTop[std::size_t(kind)]; ++v) {
            double a = ObdNeedleAngle(kind, v);
            if (a < 180.0) a += 360.0;
            EXPECT_GE(a, previous) << kind << " " << v;
            previous = a;
        }
    }

    const struct {
        int kind, in, out;
    } clamps[] = {{OBD_SPEED, 350, 300}, {OBD_COOLANT_TEMP, -40, 0}, {OBD_INTAKE_PRESSURE, 221, 220},
                  {OBD_THROTTLE, 100, 100}, {5, 999, 999}, {-1, -7, -7}};
    for (const auto& c : clamps) {
        int v = c.in;
        ClampObdValue(v, c.kind);
        EXPECT_EQ(v, c.out) << c.kind << " " << c.in;
    }
}

}  // namespace
}  // namespace orv
