#include "views/ObdGauge.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orv {

namespace {

// The dials' printed marks: value and needle angle (degrees clockwise from straight up).
// Between them the needle moves evenly; the sweep passes through 0 at the dial's top.
struct Anchor {
    int value;
    double angle;
};
constexpr Anchor kPercentDial[] = {{0, 261.5}, {25, 311.5}, {50, 0.0}, {75, 48.5}, {100, 99.0}};
constexpr Anchor kPressureDial[] = {{0, 251.5}, {55, 306.5}, {110, 0.0}, {165, 53.5}, {220, 108.0}};
constexpr Anchor kCoolantDial[] = {{0, 261.5}, {26, 313.0}, {50, 0.0}, {78, 55.0}, {105, 108.0}};
constexpr Anchor kSpeedDial[] = {{0, 261.5}, {75, 312.0}, {150, 0.0}, {225, 48.5}, {300, 99.0}};

// One angle per integer value of the range, rounded to a tenth of a degree.
template <std::size_t N>
std::vector<double> AngleTable(const Anchor (&anchors)[N]) {
    std::vector<double> table(std::size_t(anchors[N - 1].value) + 1);
    // Angles unwrapped so that the sweep only grows: the first ones lie before the top.
    auto unwrapped = [&](std::size_t i) { return anchors[i].angle < anchors[0].angle && i > 0 ? anchors[i].angle + 360.0 : anchors[i].angle; };
    for (std::size_t i = 0; i + 1 < N; ++i) {
        const double a0 = unwrapped(i), a1 = unwrapped(i + 1);
        const int v0 = anchors[i].value, v1 = anchors[i + 1].value;
        for (int v = v0; v <= v1; ++v) {
            const double a = a0 + (a1 - a0) * double(v - v0) / double(v1 - v0);
            table[std::size_t(v)] = std::fmod(std::round(a * 10.0) / 10.0, 360.0);
        }
    }
    return table;
}

double Lookup(const std::vector<double>& table, int value) {
    if (value < 0) value = 0;
    if (value >= int(table.size())) value = int(table.size()) - 1;
    return table[std::size_t(value)];
}

}  // namespace

void ClampObdValue(int& value, int kind) {
    if (kind < 0 || kind >= OBD_KIND_COUNT) return;
    const int top = ObdRangeTop[std::size_t(kind)];
    if (value > top) value = top;
    if (value < 0) value = 0;
}

int ObdStepToward(int value, int target, int kind, BOOL rising) {
    if (kind == OBD_SPEED) {
        if (rising && value + 8 <= target) return value + 8;
        if (!rising && value - 8 >= target) return value - 8;
    }
    const int stride = kind == OBD_INTAKE_PRESSURE ? 6 : 2;
    if (rising) return value + stride > target ? value + 1 : value + stride;
    return value - stride < target ? value - 1 : value - stride;
}

int ObdSlotOfKind(int kind) {
    switch (kind) {
    case OBD_THROTTLE: return OBD_SLOT_THROTTLE;
    case OBD_ENGINE_SPEED: return OBD_SLOT_ENGINE;
    case OBD_INTAKE_PRESSURE: return OBD_SLOT_INTAKE;
    case OBD_COOLANT_TEMP: return OBD_SLOT_COOLANT;
    case OBD_SPEED: return OBD_SLOT_SPEED;
    default: return -1;
    }
}

ObdReadings ObdReadingsOf(const sOBDRECORD& record) {
    struct Reading {
        int index;
        int slot;
        int kind;
        int (*convert)(int raw);
    };
    static constexpr Reading kReadings[] = {
        {kObdReadingCoolant, OBD_SLOT_COOLANT, OBD_COOLANT_TEMP, [](int raw) { return raw - 40; }},
        // Absolute kPa to the dial's scale, whose 90 is atmospheric pressure (101 kPa).
        {kObdReadingIntake, OBD_SLOT_INTAKE, OBD_INTAKE_PRESSURE, [](int raw) { return raw - 101 + 90; }},
        {kObdReadingEngine, OBD_SLOT_ENGINE, OBD_ENGINE_SPEED, [](int raw) { return raw / 100; }},
        {kObdReadingThrottle, OBD_SLOT_THROTTLE, OBD_THROTTLE, [](int raw) { return raw / 10; }},
        {kObdReadingSpeed, OBD_SLOT_SPEED, OBD_SPEED, [](int raw) { return raw; }},
    };
    ObdReadings readings{};
    for (const Reading& r : kReadings) {
        const int raw = record.values[r.index];
        if (raw == kVehicleValueInvalid) continue;
        readings[std::size_t(r.slot)] = raw == kVehicleValueBlank ? ObdStartValueTable[std::size_t(r.kind)] : r.convert(raw);
    }
    return readings;
}

void ApplyObdReadings(const ObdReadings& readings, ObdValues& values) {
    for (std::size_t slot = 0; slot < readings.size(); ++slot)
        if (readings[slot]) values[slot] = *readings[slot];
}

void ReadObdValues(const sOBDRECORD& record, ObdValues& values) { ApplyObdReadings(ObdReadingsOf(record), values); }

double CalcThrottleNeedle(int value) {
    static const std::vector<double> table = AngleTable(kPercentDial);
    return Lookup(table, value);
}

double CalcEngineSpeedNeedle(int value) {
    static const std::vector<double> table = AngleTable(kPercentDial);
    return Lookup(table, value);
}

double CalcIntakePressureNeedle(int value) {
    static const std::vector<double> table = AngleTable(kPressureDial);
    return Lookup(table, value);
}

double CalcCoolantNeedle(int value) {
    static const std::vector<double> table = AngleTable(kCoolantDial);
    return Lookup(table, value);
}

double CalcSpeedNeedle(int value) {
    static const std::vector<double> table = AngleTable(kSpeedDial);
    return Lookup(table, value);
}

double ObdNeedleAngle(int kind, int value) {
    switch (kind) {
    case OBD_THROTTLE: return CalcThrottleNeedle(value);
    case OBD_ENGINE_SPEED: return CalcEngineSpeedNeedle(value);
    case OBD_INTAKE_PRESSURE: return CalcIntakePressureNeedle(value);
    case OBD_COOLANT_TEMP: return CalcCoolantNeedle(value);
    case OBD_SPEED: return CalcSpeedNeedle(value);
    default: return 0.0;
    }
}

ObdDialPlaces PlaceObdDials(int width, int height, float scale, int comboHeight) {
    // Design pixels of the row at size 1.
    constexpr double kFaceWidth = 210, kFaceHeight = 151, kPitch = 213, kMargin = 9, kTitle = 20, kGap = 2;
    constexpr double kRowWidth = 2 * kMargin + 2 * kPitch + kFaceWidth;
    constexpr double kComboWidth = 180;
    constexpr double kSmallest = 0.1;  // a window too small for its dials still gets some
    const double s = scale > 0.0f ? double(scale) : 1.0;
    const int title = int(kTitle * s);
    const int gap = std::max(1, int(kGap * s));
    const double roomHeight = double(height - title - comboHeight - 3 * gap);
    const double size = std::max(kSmallest, std::min(double(width) / (kRowWidth * s), roomHeight / (kFaceHeight * s)));
    const int faceWidth = int(kFaceWidth * s * size);
    const int faceHeight = int(kFaceHeight * s * size);
    const int pitch = int(kPitch * s * size);
    const int left = (width - (2 * pitch + faceWidth)) / 2;
    const int block = faceHeight + gap + comboHeight;
    const int top = title + std::max(gap, (height - title - block) / 2);
    const int comboWidth = std::min(int(kComboWidth * s), faceWidth);
    ObdDialPlaces places{};
    for (int i = 0; i < 3; ++i) {
        const int x = left + pitch * i;
        places.dial[std::size_t(i)] = RECT{x, top, x + faceWidth, top + faceHeight};
        const int comboLeft = x + (faceWidth - comboWidth) / 2;
        const int comboTop = top + faceHeight + gap;
        places.combo[std::size_t(i)] = RECT{comboLeft, comboTop, comboLeft + comboWidth, comboTop + comboHeight};
    }
    return places;
}

}  // namespace orv
