#include "views/PaneValues.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "views/InfoTexts.h"

namespace orv {
namespace {

// A frame's records, linked as the decoder links them.
struct Frame {
    sSENSORRECORD sensor;
    sGPSRECORD gps;
    sOBDRECORD obd;
    bool hasSensor = true, hasGps = true, hasObd = true;
    bool obdOnGps = false;  // the vehicle record hangs on the GPS record, not the sensor record

    Frame() {
        sensor.gX = 0.25;
        sensor.gY = -1.239;
        sensor.gZ = 1.0;
        sensor.mark = 'R';
        sensor.voltage = 124;
        gps.valid = 1;
        gps.latitude = 35.5;
        gps.longitude = 139.25;
        gps.speed = 42.4;
        for (std::uint16_t& v : obd.values) v = kVehicleValueInvalid;
        obd.values[kObdReadingSpeed] = 60;
        obd.values[kObdReadingThrottle] = kVehicleValueBlank;
        obd.values[kObdReadingTurnSignal] = 2;
        obd.values[kObdReadingSteering] = 0xFFF0;  // -16: a signed reading
        obd.values[kObdReadingBrake] = 1;
        obd.codes[0] = 'A';
    }
    const sSENSORRECORD* Link() {
        if (!hasSensor) return nullptr;
        sensor.gps = hasGps ? &gps : nullptr;
        gps.obd = hasObd && obdOnGps ? &obd : nullptr;
        sensor.obd = hasObd && !obdOnGps ? &obd : nullptr;
        return &sensor;
    }
};

// Each pane's values of a frame, and the speed text the panel draws from them.
TEST(PaneValues, EachPaneGetsTheFramesValuesAndKeepsWhatTheFrameDoesNotGive) {
    const ObdReadings withObd = {std::nullopt, std::nullopt, std::nullopt, 0, 60};  // throttle blank: its start
    const VehicleReadings vehicle{2, -16, 1, 'A'};
    struct Case {
        const char* name;
        int frame;
        void (*change)(Frame&);
        double gX;
        std::optional<int> mark;
        BOOL gpsValid;
        std::optional<double> speed;  // none: the panel keeps its speed
        std::string speedText;        // what the panel draws; empty: the missing-speed picture
        std::optional<int> voltage;
        std::optional<VehicleReadings> vehicle;
        ObdReadings readings;
        bool mapGps;
        std::optional<double> latitude;
    };
    const Case cases[] = {
        {"fix", 30, [](Frame&) {}, 0.25, 'R', TRUE, 42.4, "42 ", 124, vehicle, withObd, true, 35.5},
        {"first frame", 0, [](Frame&) {}, 0.25, 'R', TRUE, 42.4, "42 ", 124, vehicle, withObd, true, 35.5},
        {"vehicle record on the GPS record", 7, [](Frame& f) { f.obdOnGps = true; }, 0.25, 'R', TRUE, 42.4, "42 ", 124,
         vehicle, withObd, true, 35.5},
        {"no fix: no speed, no position, the readings all the same", 7, [](Frame& f) { f.gps.valid = 0; }, 0.25, 'R',
         FALSE, kNoSpeedValue, "", 124, vehicle, withObd, true, std::nullopt},
        {"speed out of range and no voltage", 7,
         [](Frame& f) {
             f.gps.speed = 1000.0;
             f.sensor.voltage = kNoVoltage;
             f.sensor.gX = 3.5;
         },
         3.5, 'R', TRUE, 1000.0, "", kNoVoltage10, vehicle, withObd, true, 35.5},
        {"speed at the top", 7, [](Frame& f) { f.gps.speed = 999.4; }, 0.25, 'R', TRUE, 999.4, "999 ", 124, vehicle,
         withObd, true, 35.5},
        {"no vehicle record: the gauges and the drive support keep theirs", 7, [](Frame& f) { f.hasObd = false; },
         0.25, 'R', TRUE, 42.4, "42 ", 124, std::nullopt, ObdReadings{}, true, 35.5},
        {"no GPS record: speed, voltage and vehicle kept", 7, [](Frame& f) { f.hasGps = false; }, 0.25, 'R', FALSE,
         std::nullopt, "", std::nullopt, std::nullopt, ObdReadings{}, false, std::nullopt},
        {"no record past the last frame", 99, [](Frame& f) { f.hasSensor = false; }, kNoGValue, std::nullopt, FALSE,
         std::nullopt, "", std::nullopt, std::nullopt, ObdReadings{}, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frame frame;
        c.change(frame);
        const PaneValues v = PaneValuesOf(frame.Link(), c.frame);
        EXPECT_EQ(v.info.nPosition, c.frame);
        EXPECT_EQ(v.map.nRelJpgNum, c.frame);
        EXPECT_EQ(v.graph.nCurrentFrame, c.frame);
        EXPECT_EQ(v.info.dAccelX, c.gX);
        EXPECT_EQ(v.info.dAccelY, c.gX == kNoGValue ? kNoGValue : -1.239);
        EXPECT_EQ(v.info.nRecMark, c.mark);
        EXPECT_EQ(v.info.bGpsValid, c.gpsValid);
        EXPECT_EQ(v.info.dSpeed, c.speed);
        EXPECT_EQ(FormatSpeed(v.info.bGpsValid, v.info.dSpeed.value_or(kNoSpeedValue)), c.speedText);
        EXPECT_EQ(v.info.nVoltage10, c.voltage);
        EXPECT_EQ(v.info.vehicle, c.vehicle);
        EXPECT_EQ(v.obd.readings, c.readings);
        EXPECT_EQ(v.obd.bDataValid, c.gpsValid) << "the gauges are valid with the panel";
        EXPECT_EQ(v.map.bHasGps, c.mapGps);
        EXPECT_EQ(v.map.bGpsValid, c.gpsValid);
        EXPECT_EQ(v.map.dLatitude, c.latitude);
        EXPECT_EQ(v.map.dLongitude, c.latitude ? std::optional<double>(139.25) : std::nullopt);
    }
}

}  // namespace
}  // namespace orv
