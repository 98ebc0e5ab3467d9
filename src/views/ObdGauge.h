// The vehicle gauges' rules: the five values a gauge can show, their ranges and start
// values, the values read from a vehicle record, the needle's steps toward its target
// and its angle on the dial. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/base/WinTypes.h"
#include "recorder/RecorderRecords.h"

namespace orv {

enum ObdValueKind : int {
    OBD_THROTTLE = 0,          // percent, 0..100
    OBD_ENGINE_SPEED = 1,      // 100 rpm, 0..100
    OBD_INTAKE_PRESSURE = 2,   // kPa above atmospheric (101 kPa) plus 90, 0..220
    OBD_COOLANT_TEMP = 3,      // degrees Celsius, 0..105
    OBD_SPEED = 4,             // km/h, 0..300
};
constexpr int OBD_KIND_COUNT = 5;

// Where a needle starts, by kind: 90 is atmospheric pressure on the intake dial.
constexpr std::array<int, OBD_KIND_COUNT> ObdStartValueTable = {0, 0, 90, 0, 0};

// The largest value of each kind.
constexpr std::array<int, OBD_KIND_COUNT> ObdRangeTop = {100, 100, 220, 105, 300};

// Clamps `value` into the range of `kind`; a kind outside 0..4 leaves it.
void ClampObdValue(int& value, int kind);

// One step of the needle from `value` toward `target`: steps of 2 (intake 6, speed 8)
// that end with steps of 1, so the needle lands exactly on the target.
int ObdStepToward(int value, int target, int kind, BOOL rising);

// The gauges' current values, in the order the window keeps them.
enum ObdValueSlot : int {
    OBD_SLOT_COOLANT = 0,
    OBD_SLOT_INTAKE = 1,
    OBD_SLOT_ENGINE = 2,
    OBD_SLOT_THROTTLE = 3,
    OBD_SLOT_SPEED = 4,
};
using ObdValues = std::array<int, OBD_KIND_COUNT>;  // by ObdValueSlot

// The slot of `kind`; -1 outside 0..4.
int ObdSlotOfKind(int kind);

// Vehicle record readings (by their index in the record) that the gauges show.
constexpr int kObdReadingCoolant = 0;
constexpr int kObdReadingIntake = 1;
constexpr int kObdReadingEngine = 2;
constexpr int kObdReadingSpeed = 3;
constexpr int kObdReadingThrottle = 7;
constexpr int kObdReadingTurnSignal = 15;
constexpr int kObdReadingSteering = 16;
constexpr int kObdReadingBrake = 17;

// The values a record gives, by ObdValueSlot: coolant - 40, intake - 101 + 90, engine /
// 100, throttle / 10, speed, each in whole numbers. A blank reading gives the kind's start
// value; an invalid one gives none, and the gauge keeps the value it had.
using ObdReadings = std::array<std::optional<int>, OBD_KIND_COUNT>;
ObdReadings ObdReadingsOf(const sOBDRECORD& record);

// `values` with the readings of `record` taken in (see ObdReadingsOf).
void ReadObdValues(const sOBDRECORD& record, ObdValues& values);
// `values` with `readings` taken in: a slot without a reading keeps its value.
void ApplyObdReadings(const ObdReadings& readings, ObdValues& values);

// The needle angle in degrees (clockwise from straight up, 0..360) of a value already
// clamped into its kind's range; 0 for a kind outside 0..4.
double ObdNeedleAngle(int kind, int value);
double CalcThrottleNeedle(int value);
double CalcEngineSpeedNeedle(int value);
double CalcIntakePressureNeedle(int value);
double CalcCoolantNeedle(int value);
double CalcSpeedNeedle(int value);

// Where the window puts its three dials and their choosers. The dials sit side by side
// below the title strip, each with its chooser under it: at size 1 a face is 210 x 151
// design pixels, the faces 213 apart and 9 from the edges; the row is drawn as large as
// the window's width and its height above the choosers allow, and centred in the room.
struct ObdDialPlaces {
    std::array<RECT, 3> dial;
    std::array<RECT, 3> combo;
};
ObdDialPlaces PlaceObdDials(int width, int height, float scale, int comboHeight);

}  // namespace orv
