#include "recorder/RecorderRecords.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/base/CalendarTime.h"
#include "platform/base/PathUtil.h"
#include "recorder/BigEndian.h"
#include "recorder/MovieScanner.h"

namespace orv {

namespace {

// EventKind codes that the sensor records carry.
constexpr std::int32_t kEventManualRecording = 5;
constexpr std::int32_t kEventEmergencyStop = 6;
constexpr std::int32_t kEventParkingMonitor = 7;
constexpr std::int32_t kEventSpeeding = 8;
constexpr std::int32_t kEventDriveSupportSteering = 11;
constexpr std::int32_t kEventDriveSupportAcceleration = 12;
constexpr std::int32_t kEventDriveSupportBraking = 13;

template <std::size_t Offset, std::size_t Size>
std::span<const std::uint8_t, Size> Field(RawRecord raw) {
    return raw.subspan<Offset, Size>();
}

// Fixed-layout field readers. The recorder writes its numbers zero-padded at fixed places
// (speed "0045", acceleration "+0250", latitude "3539.1234"); a field in that layout is
// read here with a few word operations, any other goes through FieldNumber. Both give the
// same value: the digits as one integer divided once by the power of ten of the fraction.

// Four ASCII digits at p as their number, or -1 when any of them is not a digit.
inline std::int32_t FourDigits(const std::uint8_t* p) {
    const std::uint32_t x = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    // A byte is a digit when it lies in 0x30..0x39: its high nibble is 3, and stays 3 with 6
    // added (a byte that fails the first test fails as a whole, so a carry out of it does
    // not matter).
    if ((x & 0xF0F0F0F0u) != 0x30303030u || ((x + 0x06060606u) & 0xF0F0F0F0u) != 0x30303030u) return -1;
    std::uint32_t v = x - 0x30303030u;
    v = (v * 10 + (v >> 8)) & 0x00FF00FFu;  // two two-digit numbers
    v = (v * 100 + (v >> 16)) & 0xFFFFu;
    return std::int32_t(v);
}

inline bool IsDigitByte(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Four digits ("0045"), or FieldNumber's reading.
inline std::optional<double> SpeedNumber(std::span<const std::uint8_t, 4> field) {
    const std::int32_t n = FourDigits(field.data());
    if (n >= 0) return double(n);
    return FieldNumber(field);
}

// A sign and four digits ("+0250"), or FieldNumber's reading.
inline std::optional<double> SignedFourNumber(std::span<const std::uint8_t, 5> field) {
    const std::uint8_t sign = field[0];
    if (sign == '+' || sign == '-') {
        const std::int32_t n = FourDigits(field.data() + 1);
        if (n >= 0) return sign == '-' ? -double(n) : double(n);
    }
    return FieldNumber(field);
}

// A sign and two digits ("+09"), or FieldNumber's reading.
inline std::optional<double> SignedTwoNumber(std::span<const std::uint8_t, 3> field) {
    const std::uint8_t sign = field[0];
    if ((sign == '+' || sign == '-') && IsDigitByte(field[1]) && IsDigitByte(field[2])) {
        const double n = double((field[1] - '0') * 10 + (field[2] - '0'));
        return sign == '-' ? -n : n;
    }
    return FieldNumber(field);
}

// Three digits ("125"), or FieldNumber's reading.
inline std::optional<double> ThreeDigitNumber(std::span<const std::uint8_t, 3> field) {
    if (IsDigitByte(field[0]) && IsDigitByte(field[1]) && IsDigitByte(field[2]))
        return double((field[0] - '0') * 100 + (field[1] - '0') * 10 + (field[2] - '0'));
    return FieldNumber(field);
}

// `Whole` digits, a point and four digits ("3539.1234", "13945.1234"; Whole 4 or 5), or
// FieldNumber's reading.
template <std::size_t Whole>
std::optional<double> MinutesNumber(std::span<const std::uint8_t, Whole + 5> field) {
    static_assert(Whole == 4 || Whole == 5);
    const std::uint8_t* p = field.data();
    std::int64_t whole = 0;
    if constexpr (Whole == 5) {
        if (!IsDigitByte(*p)) return FieldNumber(field);
        whole = (*p++ - '0') * 10000;
    }
    const std::int32_t high = FourDigits(p);
    const std::int32_t low = p[4] == '.' ? FourDigits(p + 5) : -1;
    if (high < 0 || low < 0) return FieldNumber(field);
    return double((whole + high) * 10000 + low) / 1e4;
}

// Milliseconds of the record at hand from the start of the movie, in 32-bit float as the
// recorder's timing is defined.
std::int32_t RecordMs(const sMOVIESCANNER& scanner) {
    return std::int32_t(float(scanner.recordCounter) * scanner.msPerRecord);
}

// A field's number (`number`, read from `field`); 0 when it has a digit but no number starts
// it, `none` without a digit.
double NumberOr(std::optional<double> number, std::span<const std::uint8_t> field, double none) {
    if (number) return *number;
    return FieldHasDigit(field) ? 0.0 : none;
}

// ddmm.mmmm or dddmm.mmmm (`number`, read from `field`) to degrees; the sign byte 0 makes it
// south or west.
double Coordinate(std::optional<double> number, std::span<const std::uint8_t> field, std::uint8_t signByte) {
    if (!number && !FieldHasDigit(field)) return kNoPosition;
    const double v = number.value_or(0.0);
    const std::int64_t hundreds = std::int64_t(std::trunc(v)) / 100;
    // The minutes are the remainder of v by 100 (fmod): v and 100 x hundreds lie within a
    // factor of two of each other (or hundreds is 0), so the difference is exact. Fields of
    // ten characters keep 100 x hundreds exact.
    const double minutes = v - 100.0 * double(hundreds);
    return (double(hundreds) + minutes / 60.0) * (signByte != 0 ? 1.0 : -1.0);
}

std::int32_t SensorEvent(RawRecord raw) {
    using R = sRAWRECORD;
    if (raw[R::kEmergencyStop] == 'D') return kEventEmergencyStop;
    if (raw[R::kManual] == 'D') return kEventManualRecording;
    if (raw[R::kParking] == 'D') return kEventParkingMonitor;
    switch (raw[R::kDriveSupport]) {
        case 'A': return kEventDriveSupportAcceleration;
        case 'B': return kEventDriveSupportBraking;
        case 'H': return kEventDriveSupportSteering;
        default: return -1;
    }
}

std::int32_t SensorAxis(std::uint8_t letter) {
    switch (letter) {
        case 'X': return 1;
        case 'Y': return 2;
        case 'Z': return 3;
        default: return 0;
    }
}

double Acceleration(std::span<const std::uint8_t, sRAWRECORD::kAccelSize> field) {
    return SignedFourNumber(field).value_or(0.0) / 1000.0;
}

// A record time in milliseconds as a frame number: truncated in 32-bit float, held to the
// range of the field.
std::int32_t FrameOfTime(std::int32_t ms, float frameInterval) {
    const float frame = std::trunc(float(ms) / frameInterval);
    if (frame >= 2147483520.0f) return std::numeric_limits<std::int32_t>::max();
    if (frame <= -2147483520.0f) return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(frame);
}

// How many records a block will give at most, for reserving the vectors once: its count,
// or what its bytes can hold when it runs up to its end tag; never more than the walk takes,
// and for an uncounted block no more than a counted one can hold, so that a large block of
// filler costs no large reservation.
std::size_t ExpectedRecords(std::uint64_t blockSize, std::span<const std::uint8_t> head,
                            std::int32_t maxRecords) {
    if (blockSize <= kBlockRecordsOffset || head.size() < kBlockRecordsOffset) return 0;
    const std::uint64_t fit = (blockSize - kBlockRecordsOffset) / sRAWRECORD::kSize;
    const unsigned count = ReadBe16(head.data() + kBlockCountOffset);
    const std::uint64_t claimed = count == kUncountedRecords ? kUncountedRecords - 1 : count;
    return std::size_t(std::min({fit, claimed, std::uint64_t(std::max(maxRecords, 0))}));
}

// Room for `more` elements, growing at least geometrically when the vector already holds
// records, so that appending block after block stays linear.
template <class T>
void ReserveMore(std::vector<T>& v, std::size_t more) {
    if (v.capacity() - v.size() < more) v.reserve(std::max(v.size() + more, 2 * v.capacity()));
}

}  // namespace

bool ParseRecorderHeader(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                         RecorderHeader& header) {
    if (!ParseHeaderEntries(block, PathFindFileName(scanner.path), &header)) return false;
    scanner.msPerRecord = header.mode == 'T' ? kMsPerRecordTimeLapse : kMsPerRecord;
    return true;
}

bool ParseRecorderBlock(sMOVIESCANNER& scanner, const BlockSource& block,
                        std::vector<sGPSRECORD>& gps, std::vector<sSENSORRECORD>& sensor,
                        RecorderHeader& header, std::vector<sOBDRECORD>& obd, RecordWalk* walk,
                        const RawRecordVisitor& alsoVisit) {
    scanner.recordCounter = -1;
    bool headed = false;
    RecordLimits limits;
    limits.maxRecords = scanner.recordLimit;
    RecordDayCache days;
    const RecordWalk done = WalkBlockRecords(
        block,
        [&](std::span<const std::uint8_t> head) {
            headed = ParseRecorderHeader(scanner, head, header);
            if (headed) {
                const std::size_t expected = ExpectedRecords(block.size, head, limits.maxRecords);
                ReserveMore(gps, expected);
                ReserveMore(sensor, expected);
                ReserveMore(obd, expected);
            }
            return headed;
        },
        [&](std::int32_t k, RawRecord raw) {
            scanner.recordCounter = k;
            AppendGpsRecord(scanner, raw, gps, &days);  // the walk stops before an end tag
            ParseSensorRecord(scanner, raw, sensor);
            obd.push_back(ParseObdRecord(k, raw));
            if (alsoVisit) alsoVisit(k, raw);
        },
        limits);
    scanner.recordCounter = done.records - 1;
    if (walk) *walk = done;
    return headed && done.end == RecordWalkEnd::kComplete;
}

bool ParseRecorderBlock(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                        std::vector<sGPSRECORD>& gps, std::vector<sSENSORRECORD>& sensor,
                        RecorderHeader& header, std::vector<sOBDRECORD>& obd) {
    return ParseRecorderBlock(scanner, InMemoryBlock(block), gps, sensor, header, obd);
}

bool AppendGpsRecord(sMOVIESCANNER& scanner, RawRecord raw, std::vector<sGPSRECORD>& gps,
                     RecordDayCache* days) {
    if (IsEndTag(raw)) return false;
    sGPSRECORD& record = gps.emplace_back();
    ParseGpsRecord(scanner, record, raw, days);
    record.index = scanner.recordCounter;
    return true;
}

void ParseGpsRecord(const sMOVIESCANNER& scanner, sGPSRECORD& out, RawRecord raw, RecordDayCache* days) {
    using R = sRAWRECORD;
    out = sGPSRECORD{};
    out.time = RecordMs(scanner);
    out.valid = raw[R::kGpsStatus] == 'A' ? 1 : 0;
    const auto speed = Field<R::kSpeed, R::kSpeedSize>(raw);
    out.speed = NumberOr(SpeedNumber(speed), speed, kNoSpeed);
    const auto latitude = Field<R::kLatitude, R::kLatitudeSize>(raw);
    out.latitude = Coordinate(MinutesNumber<4>(latitude), latitude, raw[R::kLatitudeSign]);
    const auto longitude = Field<R::kLongitude, R::kLongitudeSize>(raw);
    out.longitude = Coordinate(MinutesNumber<5>(longitude), longitude, raw[R::kLongitudeSign]);
    if (const auto t = RecordTime(raw, days)) out.timeOfDay = *t;
}

void ParseSensorRecord(const sMOVIESCANNER& scanner, RawRecord raw,
                       std::vector<sSENSORRECORD>& sensor) {
    using R = sRAWRECORD;
    sSENSORRECORD r;
    r.index = scanner.recordCounter;
    r.time = RecordMs(scanner);
    r.event = SensorEvent(raw);
    r.axis = SensorAxis(raw[R::kAxis]);
    r.speeding = raw[R::kSpeeding] == 'D' ? kEventSpeeding : 0;
    r.gX = Acceleration(Field<R::kAccelX, R::kAccelSize>(raw));
    r.gY = Acceleration(Field<R::kAccelY, R::kAccelSize>(raw));
    r.gZ = Acceleration(Field<R::kAccelZ, R::kAccelSize>(raw));
    const auto voltage = Field<R::kVoltage, R::kVoltageSize>(raw);
    if (const std::optional<double> v = ThreeDigitNumber(voltage)) {
        r.voltage = std::int32_t(*v);
    } else {
        r.voltage = FieldIsBlank(voltage) ? kNoVoltage : 0;
    }
    r.mark = raw[R::kRecordingMark];
    r.alert1 = raw[R::kAlertCodes] >> 4;
    r.alert2 = raw[R::kAlertCodes] & 0x0F;
    sensor.push_back(r);
}

sOBDRECORD ParseObdRecord(std::int32_t index, RawRecord raw) {
    using R = sRAWRECORD;
    sOBDRECORD r;
    r.index = index;
    std::copy_n(raw.data() + R::kVehicleCodes, R::kVehicleCodeCount, r.codes);
    for (std::size_t i = 0; i < R::kVehicleValueCount; ++i) {
        const std::size_t at = R::kVehicleValues + 2 * i;
        r.values[i] = std::uint16_t(raw[at] | raw[at + 1] << 8);  // little-endian
    }
    return r;
}

std::optional<SYSTEMTIME> RecordTime(RawRecord raw, RecordDayCache* days) {
    using R = sRAWRECORD;
    const auto digits = Field<R::kDateTime, R::kDateTimeSize>(raw);
    // YYMM, DDhh and mmss, each -1 when it holds anything but digits.
    const std::int32_t yearMonth = FourDigits(digits.data());
    const std::int32_t dayHour = FourDigits(digits.data() + 4);
    const std::int32_t minuteSecond = FourDigits(digits.data() + 8);
    if (yearMonth < 0 || dayHour < 0 || minuteSecond < 0) return std::nullopt;
    RecordDayCache once;
    RecordDayCache& c = days ? *days : once;
    if (!c.dateKnown || !std::equal(c.date, c.date + sizeof c.date, digits.begin())) {
        std::copy_n(digits.begin(), sizeof c.date, c.date);
        c.dateKnown = true;
        const SYSTEMTIME date = MakeSystemTime(2000 + yearMonth / 100, yearMonth % 100, dayHour / 100);
        c.dateValid = IsValidSystemTime(date);
        c.days = c.dateValid ? DaysFromCivil(date.wYear, date.wMonth, date.wDay) : 0;
    }
    const int hour = dayHour % 100, minute = minuteSecond / 100, second = minuteSecond % 100;
    if (!c.dateValid || hour >= 24 || minute >= 60 || second >= 60) return std::nullopt;
    std::int64_t seconds = c.days * 86400 + hour * 3600 + minute * 60 + second;
    if (raw[R::kCorrection] != '*') {
        seconds += std::int64_t(SignedTwoNumber(Field<R::kCorrection, R::kCorrectionSize>(raw)).value_or(0.0));
    }
    // Dates from 2000 on and corrections below 1000 s keep the count positive.
    const std::int64_t day = seconds / 86400;
    if (!c.shownKnown || c.shownDay != day) {
        c.shownKnown = true;
        c.shownDay = day;
        c.shownDate = SecondsToSystemTime(day * 86400);
    }
    if (!c.shownDate) return std::nullopt;
    SYSTEMTIME st = *c.shownDate;
    const std::int64_t secondOfDay = seconds - day * 86400;
    st.wHour = std::uint16_t(secondOfDay / 3600);
    st.wMinute = std::uint16_t(secondOfDay / 60 % 60);
    st.wSecond = std::uint16_t(secondOfDay % 60);
    return st;
}

bool sMOVIESCANNER::BuildFrameTable() {
    if (!frameCount_) return false;
    const std::int64_t frames = frameCount_();
    if (frames < 1 || frames > kMaxFrames) return false;
    if (!std::isfinite(frameInterval) || !(frameInterval > 0.0f)) return false;
    if (gps.size() != sensor.size() || obd.size() != sensor.size()) return false;

    for (sSENSORRECORD& s : sensor) s.time = FrameOfTime(s.time, frameInterval);
    for (sGPSRECORD& g : gps) g.time = FrameOfTime(g.time, frameInterval);

    frameTable.clear();
    largestG = 0.0;
    std::fill(std::begin(largestAxisG), std::end(largestAxisG), 0.0);
    const std::size_t n = sensor.size();
    if (n == 0) return true;

    // Each frame moves the cursor by at most one record: the record shown at frame f is
    // the one the cursor held before that frame's step.
    frameTable.resize(std::size_t(frames));
    std::size_t i = 0;
    for (std::int64_t f = 0; f < frames; ++f) {
        frameTable[std::size_t(f)] = &sensor[i];
        if (i + 1 < n && sensor[i + 1].time <= f) ++i;
    }

    // Each GPS record links to the sensor record of its frame; each sensor record to the
    // GPS and vehicle record four places before it.
    std::size_t c = 0;
    for (std::size_t k = 0; k < n; ++k) {
        largestAxisG[0] = std::max(largestAxisG[0], std::fabs(sensor[k].gX));
        largestAxisG[1] = std::max(largestAxisG[1], std::fabs(sensor[k].gY));
        largestAxisG[2] = std::max(largestAxisG[2], std::fabs(sensor[k].gZ));
        if (gps[c].time <= sensor[k].time) {
            gps[c].sensor = &sensor[k];
            gps[c].obd = &obd[k];
            if (c + 1 < n) ++c;
        }
        const std::size_t link = c < 5 ? 0 : c - 5;
        sensor[k].gps = &gps[link];
        sensor[k].obd = &obd[link];
    }
    largestG = *std::max_element(std::begin(largestAxisG), std::end(largestAxisG));
    return true;
}

const sSENSORRECORD* sMOVIESCANNER::FrameRecord(std::int64_t frame) const {
    if (frame < 0 || std::uint64_t(frame) >= frameTable.size()) return nullptr;
    return frameTable[std::size_t(frame)];
}

}  // namespace orv
