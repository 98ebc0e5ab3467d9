// The typed records decoded from a recorder data block, and their decoders.
//
// Each raw record gives one GPS, one sensor and one vehicle (OBD) record, kept in three
// parallel vectors of a movie-file scanner. Record k lies k x (ms per record) from the
// start of the movie. Once the channel's movie is open, sMOVIESCANNER::BuildFrameTable
// turns those times into video frame numbers, links the records and maps every frame of
// channel 1 to a sensor record.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/base/WinTypes.h"
#include "recorder/RecorderDataBlock.h"

namespace orv {

struct sMOVIESCANNER;
struct sSENSORRECORD;
struct sOBDRECORD;

// "No value" marks kept in the fields themselves.
constexpr double kNoPosition = 720.0;  // latitude or longitude without digits
constexpr double kNoSpeed = 32767.0;
constexpr std::int32_t kNoVoltage = -1;

struct sGPSRECORD {
    std::int32_t index = 0;
    std::int32_t time = 0;   // ms from the start; a video frame after BuildFrameTable
    std::int32_t valid = 0;  // 1 with a valid fix
    sSENSORRECORD* sensor = nullptr;
    sOBDRECORD* obd = nullptr;
    double latitude = kNoPosition;   // degrees, south negative
    double longitude = kNoPosition;  // degrees, west negative
    double speed = kNoSpeed;
    SYSTEMTIME timeOfDay{};  // recorder's wall-clock time; all zero when the record has none
};

struct sSENSORRECORD {
    std::int32_t index = 0;
    std::int32_t event = -1;     // EventKind code, -1 none
    std::int32_t speeding = 0;   // 8 (EVENT_SPEEDING) or 0
    std::int32_t axis = 0;       // 1 X, 2 Y, 3 Z, 0 other
    std::int32_t time = 0;       // ms from the start; a video frame after BuildFrameTable
    std::int32_t mark = 0;       // recording mark letter
    std::int32_t voltage = kNoVoltage;  // tenths of a volt
    sGPSRECORD* gps = nullptr;
    sOBDRECORD* obd = nullptr;
    double gX = 0.0;  // g
    double gY = 0.0;
    double gZ = 0.0;
    std::int32_t alert1 = 0;
    std::int32_t alert2 = 0;
};

struct sOBDRECORD {
    std::int32_t index = 0;
    std::uint8_t codes[sRAWRECORD::kVehicleCodeCount] = {};
    std::uint16_t values[sRAWRECORD::kVehicleValueCount] = {};  // 0x2020 blank, 0x3FFF invalid
};

constexpr std::uint16_t kVehicleValueBlank = 0x2020;
constexpr std::uint16_t kVehicleValueInvalid = 0x3FFF;

// Decodes a whole block (from its tag) into the vectors and `header`, window by window,
// no further than the scanner's record limit. Afterwards the scanner's record counter is
// the index of the last record (-1: none). False when the header is missing or the block
// ends before its count or end tag; the records decoded up to there stay. `walk` (when
// given) tells how the records ended; `alsoVisit` (when given) sees each raw record after
// it was decoded, in the same walk.
bool ParseRecorderBlock(sMOVIESCANNER& scanner, const BlockSource& block,
                        std::vector<sGPSRECORD>& gps, std::vector<sSENSORRECORD>& sensor,
                        RecorderHeader& header, std::vector<sOBDRECORD>& obd,
                        RecordWalk* walk = nullptr, const RawRecordVisitor& alsoVisit = nullptr);
bool ParseRecorderBlock(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                        std::vector<sGPSRECORD>& gps, std::vector<sSENSORRECORD>& sensor,
                        RecorderHeader& header, std::vector<sOBDRECORD>& obd);

// Parses the header of a block (from its tag) into `header` and sets the scanner's ms per
// record from the name of the file it reads (the scanner's path).
bool ParseRecorderHeader(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                         RecorderHeader& header);

// The records of a block share their date, and hours of them their day: a decoder that
// walks a block keeps the last date it read and the last day it showed, so that the
// calendar is worked out once a day instead of once a record. A fresh one knows nothing.
struct RecordDayCache {
    std::uint8_t date[6] = {};  // the YYMMDD digits last read
    bool dateKnown = false;
    bool dateValid = false;
    std::int64_t days = 0;  // days since 1970 of that date
    std::int64_t shownDay = 0;
    bool shownKnown = false;
    std::optional<SYSTEMTIME> shownDate;  // calendar fields of shownDay, time of day zero
};

// Decodes one record as record number `scanner.recordCounter` and appends it; false (and
// nothing appended) when the record is the end tag. `days` (when given) is the walk's cache.
bool AppendGpsRecord(sMOVIESCANNER& scanner, RawRecord raw, std::vector<sGPSRECORD>& gps,
                     RecordDayCache* days = nullptr);

void ParseGpsRecord(const sMOVIESCANNER& scanner, sGPSRECORD& out, RawRecord raw,
                    RecordDayCache* days = nullptr);

// Appends the sensor record of `raw` as record number `scanner.recordCounter`.
void ParseSensorRecord(const sMOVIESCANNER& scanner, RawRecord raw,
                       std::vector<sSENSORRECORD>& sensor);

sOBDRECORD ParseObdRecord(std::int32_t index, RawRecord raw);

// The record's wall-clock time with its correction applied; none when the date and time
// digits do not name a real time.
std::optional<SYSTEMTIME> RecordTime(RawRecord raw, RecordDayCache* days = nullptr);

}  // namespace orv
