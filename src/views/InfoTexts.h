// The texts of the info panel, as rules from values to text, and the drive-support
// values the panel keeps. An empty result means "none": the panel draws its placeholder.
// Numbers are formatted without the user's locale. Qt-free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/WinTypes.h"

namespace orv {

// "None" values kept in the panel's fields.
constexpr double kNoGValue = -5.0;
constexpr double kNoSpeedValue = -1.0;
constexpr int kNoVoltage10 = -1;
constexpr int kNoVehicleValue = -1;
constexpr int kNoSteeringRaw = 0xFFFF;

// "1.23G": the value rounded to whole thousandths, then cut toward zero to hundredths
// (1.239 -> "1.23G", -0.005 -> "0.00G", 0.290 -> "0.29G"). Empty at or below -5.0.
std::string FormatGValue(double g);

// "%.0f " of the speed when the fix is valid and it shows as 0 to 999 (999.4 is "999 ");
// else empty.
std::string FormatSpeed(BOOL gpsValid, double kmh);

// "12.4" of tenths of a volt; empty for -1.
std::string FormatVoltage(int tenths);

// The wall-clock time of frame `position`: start + position x interval ms (x 15 in a
// time-lapse recording), rounded to whole milliseconds. None for a position below 0, for a
// zero result or a year of 0.
std::optional<SYSTEMTIME> FrameDateTime(const SYSTEMTIME& start, int position, float frameIntervalMs,
                                        BOOL timeLapse);

// "YYYY/MM/DD hh:mm:ss"; a year of 2050 or later is shown 35 lower.
std::string FormatDateTime(const SYSTEMTIME& time);

// "%+4d°" of the steering angle of a raw reading (tenths of a degree around 8192), or
// empty when the angle is not a valid one (beyond ±820, or no reading).
std::string FormatSteering(int raw);

// The drive-support values of the panel: turn-signal kind, steering reading, brake.
struct VehicleValues {
    int nVehicleState = kNoVehicleValue;
    int nAngleRaw = kNoSteeringRaw;
    int nVehicleValue3 = kNoVehicleValue;
};

// What the panel keeps of a record's vehicle readings, by the data format letter:
// '3' keeps the previous values when the flag character is a blank, else takes the
// readings (a steering reading of 16383 or the blank 0x2020 is "none"); '2' and 'N' set
// every value to none; other formats keep the previous values.
VehicleValues ApplyVehicleValues(const VehicleValues& previous, int dataFormat, int turnSignal, int steering,
                                 int brake, int flag);

}  // namespace orv
