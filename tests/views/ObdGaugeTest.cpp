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

TEST(ObdGauge, DialsFillTheWindowUnderTheTitleWithTheirChoosers) {
    struct Case {
        int width, height;
        float scale;
        int comboHeight;
    };
    // Over the info panel and graph at 1.0 and 1.5, over the tall mode-1 panel, a window
    // larger than the design, and one too small for its dials.
    const Case cases[] = {{655, 252, 1.0f, 24}, {982, 378, 1.5f, 33}, {868, 130, 1.0f, 24},
                          {1455, 611, 1.0f, 24}, {60, 40, 1.0f, 24}};
    for (const Case& c : cases) {
        const ObdDialPlaces p = PlaceObdDials(c.width, c.height, c.scale, c.comboHeight);
        const int title = int(20 * c.scale);
        const RECT& first = p.dial[0];
        const RECT& last = p.dial[2];
        const int faceWidth = first.right - first.left, faceHeight = first.bottom - first.top;
        EXPECT_NEAR(double(faceWidth) / std::max(faceHeight, 1), 210.0 / 151.0, 0.05) << c.width << "x" << c.height;
        if (c.width < 100) continue;  // too small to hold its dials: only their shape is kept
        // Inside the window below the title, each chooser under its own dial.
        EXPECT_GE(first.left, 0) << c.width;
        EXPECT_LE(last.right, c.width) << c.width;
        for (int i = 0; i < 3; ++i) {
            const RECT& dial = p.dial[std::size_t(i)];
            const RECT& combo = p.combo[std::size_t(i)];
            EXPECT_GE(dial.top, title) << c.width << " dial " << i;
            EXPECT_EQ(combo.top, dial.bottom + std::max(1, int(2 * c.scale))) << c.width;
            EXPECT_LE(combo.bottom, c.height) << c.width << " combo " << i;
            EXPECT_GE(combo.left, dial.left);
            EXPECT_LE(combo.right, dial.right);
            if (i > 0) {
                EXPECT_LE(p.dial[std::size_t(i - 1)].right, dial.left);
            }
        }
        // Filled in the width or in the height, whichever bounds the dials.
        const bool wide = last.right - first.left >= c.width * 9 / 10;
        const bool tall = p.combo[0].bottom - title >= (c.height - title) * 9 / 10;
        EXPECT_TRUE(wide || tall) << c.width << "x" << c.height;
    }
    // At the design size the dials keep their faces' size and the choosers their places.
    const ObdDialPlaces design = PlaceObdDials(655, 252, 1.0f, 24);
    EXPECT_EQ(design.dial[0], (RECT{9, 47, 219, 198}));
    EXPECT_EQ(design.dial[2].left, 435);
    EXPECT_EQ(design.combo[0], (RECT{24, 200, 204, 224}));
    EXPECT_EQ(design.combo[1].left, 237);
    EXPECT_EQ(design.combo[2].left, 450);
}

}  // namespace
}  // namespace orv
