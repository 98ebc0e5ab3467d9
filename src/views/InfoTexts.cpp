#include "views/InfoTexts.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/base/CalendarTime.h"

namespace orv {

namespace {

// Fixed-point text of `value` with `digits` decimals, in the C locale's notation.
std::string Fixed(double value, int digits) {
    char text[48];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    return std::string(text, result.ptr);
}

constexpr int kSteeringCentre = 8192;
constexpr int kSteeringNone16 = 16383;  // the 14-bit reading with every bit set
constexpr int kVehicleBlank16 = 0x2020;
constexpr int kLargestAngle = 820;      // the angle as shown, either way
constexpr std::int64_t kTicksPerMs = 10000;  // 100-ns steps

}  // namespace

std::string FormatGValue(double g) {
    if (!(g > kNoGValue) || !std::isfinite(g)) return {};
    // Whole thousandths first: the record holds thousandths, and 0.290 must not become
    // 0.28999... before it is cut to hundredths.
    const double milli = std::round(g * 1000.0);
    if (std::fabs(milli) > 1e12) return {};
    const long long hundredths = static_cast<long long>(milli) / 10;
    const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
    char text[40];
    std::snprintf(text, sizeof text, "%s%lld.%02lldG", hundredths < 0 ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}

std::string FormatSpeed(BOOL gpsValid, double kmh) {
    // Up to what still shows as three digits: 999.4 is "999", 999.5 would be "1000".
    if (!gpsValid || !(kmh >= 0.0 && kmh < 999.5)) return {};
    return Fixed(kmh, 0) + " ";
}

std::string FormatVoltage(int tenths) {
    if (tenths == kNoVoltage10) return {};
    return Fixed(tenths / 10.0, 1);
}

std::optional<SYSTEMTIME> FrameDateTime(const SYSTEMTIME& start, int position, float frameIntervalMs,
                                        BOOL timeLapse) {
    if (position < 0 || !std::isfinite(frameIntervalMs)) return std::nullopt;
    FILETIME base{};
    if (!SystemTimeToFileTime(start, &base)) return std::nullopt;
    double ms = double(position) * double(frameIntervalMs);
    if (timeLapse) ms *= 15.0;
    // Whole milliseconds: the interval is a 32-bit float, and frame 150 of a 30 fps movie
    // must show the start plus 5 s, not 4.9999998 s (which would show a second early).
    const double ticks = std::round(ms) * double(kTicksPerMs);
    // Beyond some 29,000 years the sum would not fit the 64-bit file time.
    if (!(std::fabs(ticks) < 9.0e18)) return std::nullopt;
    const std::uint64_t startTicks = (std::uint64_t(base.dwHighDateTime) << 32) | base.dwLowDateTime;
    const std::int64_t delta = std::int64_t(ticks);
    if (delta < 0 && std::uint64_t(-delta) > startTicks) return std::nullopt;
    const std::uint64_t sum = startTicks + std::uint64_t(delta);
    if (sum == 0) return std::nullopt;
    FILETIME when{std::uint32_t(sum & 0xFFFFFFFFu), std::uint32_t(sum >> 32)};
    SYSTEMTIME out{};
    if (!FileTimeToSystemTime(when, &out) || out.wYear == 0) return std::nullopt;
    return out;
}

std::string FormatDateTime(const SYSTEMTIME& time) {
    // The recorder counts some years from a base 35 years too late; those come back here.
    const int year = time.wYear >= 2050 ? time.wYear - 35 : time.wYear;
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", year, int(time.wMonth), int(time.wDay),
                  int(time.wHour), int(time.wMinute), int(time.wSecond));
    return text;
}

std::string FormatSteering(int raw) {
    if (raw < 0 || raw > 0xFFFF) return {};
    const int angle = (raw - kSteeringCentre) / 10;
    if (angle < -kLargestAngle || angle > kLargestAngle) return {};
    char text[24];
    std::snprintf(text, sizeof text, "%+4d\xC2\xB0", angle);
    return text;
}

VehicleValues ApplyVehicleValues(const VehicleValues& previous, int dataFormat, int turnSignal, int steering,
                                 int brake, int flag) {
    switch (dataFormat) {
    case '3': {
        if (flag == ' ') return previous;
        const bool noSteering = steering == kSteeringNone16 || steering == kVehicleBlank16;
        return VehicleValues{turnSignal, noSteering ? kNoSteeringRaw : steering, brake};
    }
    case '2':
    case 'N':
        return VehicleValues{};
    default:
        return previous;
    }
}

}  // namespace orv
