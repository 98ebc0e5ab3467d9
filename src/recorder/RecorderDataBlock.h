// The recorder data block: "CSMDAT", a header, a big-endian record count, 124-byte
// records and "CSMEND". It is the whole content of a movie's data file (".ADA") and the
// payload of the "udat" box of a movie.
//
// Block layout (offsets from the block's first byte):
//   0   6       "CSMDAT"
//   6   26      header entry 0
//   32  2       record count, big-endian; 0xFFFF: the records run up to the end tag
//   34  124 x n records
//   ..  6       "CSMEND"
//   ..  6       the recorder's number as six ASCII digits (files the recorder writes), or
//               a 32-bit big-endian count (files we write with 65535 records or more)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orv {

struct sMOVIESCANNER;
struct sGPSRECORD;

inline constexpr std::string_view kDataTag = "CSMDAT";
inline constexpr std::string_view kEndTag = "CSMEND";

constexpr std::size_t kBlockTagSize = 6;
constexpr std::size_t kBlockHeaderOffset = 6;
constexpr std::size_t kBlockHeaderSize = 26;
constexpr std::size_t kBlockCountOffset = 32;
constexpr std::size_t kBlockRecordsOffset = 34;
constexpr std::size_t kTrailerSize = 6;
constexpr std::uint16_t kUncountedRecords = 0xFFFF;

// Header entries: entry 0 starts at block offset 6; further entries follow at a stride
// of 34 bytes while an entry ends with the chain mark "@CS" and an upper-case letter.
// Offsets below are within one entry.
struct HeaderEntryLayout {
    static constexpr std::size_t kStride = 34;
    static constexpr std::size_t kValues = 0;  // four values, 4 ASCII digits each (thousandths)
    static constexpr std::size_t kValueWidth = 4;
    static constexpr std::size_t kLetter = 16;  // 'M' or 'D'; other letters void the values
    static constexpr std::size_t kVersion = 17;
    static constexpr std::size_t kVersionSize = 6;
    static constexpr std::size_t kByteA = 23;
    static constexpr std::size_t kByteB = 24;
    static constexpr std::size_t kByteC = 25;
    static constexpr std::size_t kChainMark = 30;  // "@CS"
    static constexpr std::size_t kChainLetter = 33;
};

// Field offsets within one 124-byte record. Fields are ASCII text except the vehicle
// codes and the eighteen 16-bit vehicle values, which are little-endian binary.
struct sRAWRECORD {
    static constexpr std::size_t kSize = 124;
    static constexpr std::size_t kGpsStatus = 5;  // 'A': valid fix
    static constexpr std::size_t kLatitude = 6;   // ddmm.mmmm
    static constexpr std::size_t kLatitudeSize = 9;
    static constexpr std::size_t kLatitudeSign = 15;  // byte 0: south
    static constexpr std::size_t kLongitude = 16;     // dddmm.mmmm
    static constexpr std::size_t kLongitudeSize = 10;
    static constexpr std::size_t kLongitudeSign = 26;  // byte 0: west
    static constexpr std::size_t kSpeed = 27;
    static constexpr std::size_t kSpeedSize = 4;
    static constexpr std::size_t kDateTime = 31;  // YYMMDDhhmmss
    static constexpr std::size_t kDateTimeSize = 12;
    static constexpr std::size_t kCorrection = 44;  // signed seconds; '*' first: none
    static constexpr std::size_t kCorrectionSize = 3;
    static constexpr std::size_t kVoltage = 48;  // tenths of a volt; blanks: none
    static constexpr std::size_t kVoltageSize = 3;
    static constexpr std::size_t kAccelX = 57;  // thousandths of g, signed
    static constexpr std::size_t kAccelY = 62;
    static constexpr std::size_t kAccelZ = 67;
    static constexpr std::size_t kAccelSize = 5;
    static constexpr std::size_t kManual = 72;         // 'D'
    static constexpr std::size_t kAxis = 73;           // 'X', 'Y', 'Z'
    static constexpr std::size_t kDriveSupport = 74;   // 'N', 'A', 'B', 'H'
    static constexpr std::size_t kEmergencyStop = 75;  // 'D'
    static constexpr std::size_t kParking = 76;        // 'D'
    static constexpr std::size_t kSpeeding = 77;       // 'D'
    static constexpr std::size_t kVehicleCodes = 78;
    static constexpr std::size_t kVehicleCodeCount = 4;
    static constexpr std::size_t kVehicleValues = 82;
    static constexpr std::size_t kVehicleValueCount = 18;
    static constexpr std::size_t kRecordingMark = 122;
    static constexpr std::size_t kAlertCodes = 123;  // high nibble first code, low nibble second
};

using RawRecord = std::span<const std::uint8_t, sRAWRECORD::kSize>;

// The parsed header. The values and bytes A to C are carried, not interpreted.
struct RecorderHeader {
    float threshold[3] = {};  // the three thresholds in thousandths / 1000, or -1
    float fourthValue = 0;    // same form
    char letter = 0;          // 'M' or 'D' (others: the four values are -1)
    char version[6] = {};     // three two-digit numbers
    std::uint8_t byteA = 0;
    std::uint8_t byteB = 0;
    char mode = 0;  // 'T' for a time-lapse data file name, else 'N'
    std::uint8_t reserved = 0;
    std::uint8_t byteC = 0;

    friend bool operator==(const RecorderHeader&, const RecorderHeader&) = default;
};

// Records per second: ten, or fifteen in time-lapse data files (a 'T' as the first or the
// third character of the file name).
constexpr float kMsPerRecord = 100.0f;
constexpr float kMsPerRecordTimeLapse = 1000.0f / 15.0f;
bool IsTimeLapseDataName(std::string_view fileName);

// Where the header chain ends in `block` (from the tag): the offset of its last entry, and
// whether the bytes ended before the chain did, so that more bytes could lengthen it.
struct HeaderChainEnd {
    std::size_t last = 0;
    bool cut = false;
};
HeaderChainEnd FindHeaderChainEnd(std::span<const std::uint8_t> block);

// Parses header entry 0 and the entries chained behind it (the last one wins); entries
// that would cross the end of `block` end the chain. `block` starts at the tag. False
// when the block is too short for entry 0.
bool ParseHeaderEntries(std::span<const std::uint8_t> block, std::string_view fileName,
                        RecorderHeader* out);

// Whether the bytes start with "CSMEND".
bool IsEndTag(std::span<const std::uint8_t> bytes);

// How a walk over the records of a block ended.
enum class RecordWalkEnd {
    kComplete,     // all counted records, or the end tag of an uncounted block
    // An uncounted block whose data ended before any end tag: after its last whole record,
    // inside a record, or in filler that runs to the end. The recorder leaves the file of a
    // recording whose power failed so: its records are all it holds.
    kUnended,
    kEndTagEarly,  // the end tag stood where a counted record should be
    // The block (its file or its box) ended before its counted records, or before its count
    // could be read; or its head was refused.
    kTruncated,
    kLimit,        // the walk reached its most records with more of the block to go
    kReadError,    // a window could not be read, or the read was cancelled
};

// Whether the records a walk handed out are fewer than the block holds or promises: its
// count promised more, a read failed, or the walk stopped at its limit with more to go. A
// block without a count that ran to the end of its data without a tag is not cut: it
// promised nothing more.
bool RecordsCut(RecordWalkEnd end);

struct RecordWalk {
    RecordWalkEnd end = RecordWalkEnd::kTruncated;
    std::int32_t records = 0;     // records passed to the callback
    std::uint64_t endOffset = 0;  // block offset where the walk stopped (the end tag, if any)
    // The bytes from endOffset that the last window still held (the end tag and what
    // follows it, when they were read with the records); valid until the block's next view.
    std::span<const std::uint8_t> rest;
};

// A block that is read window by window, so that a block of any size is decoded with at
// most one window in memory. `view` gives the `length` bytes at block offset `offset`
// (never past `size`); the view stays valid until the next call. A view shorter than
// asked for means the bytes could not be read.
using BlockView = std::function<std::span<const std::uint8_t>(std::uint64_t offset, std::size_t length)>;
struct BlockSource {
    std::uint64_t size = 0;  // bytes of the block: up to the end of its file or its box
    std::size_t window = 0;  // longest view asked for; at least one record is asked for
    BlockView view;
    // When larger than `window`: how far a header chain that runs past the first window is
    // read (the first view is then asked for again at this length).
    std::size_t headWindow = 0;
};

// A block held in memory: one view of the whole span.
BlockSource InMemoryBlock(std::span<const std::uint8_t> block);

// Records come at ten a second, fifteen in time-lapse files. No recording is longer than
// a day: a recorder writes clips of minutes and a joined movie stays below 4 GiB, which
// holds a day of video only at bit rates no recorder uses. A block is read no further
// than a day of records at the faster rate (1,296,000 records, about 250 MB decoded);
// the walk ends at that limit in a block that claims more.
constexpr std::int32_t kFastestRecordsPerSecond = 15;
constexpr std::int32_t kMaxRecordingSeconds = 24 * 3600;
constexpr std::int32_t kMaxBlockRecords = kMaxRecordingSeconds * kFastestRecordsPerSecond;

// A filler record is 124 copies of one byte: 0x00 (the unwritten part of a file that the
// recorder made full size in advance), 0x20 (blanks) or 0xFF (erased flash). It holds no
// value at all. A block that runs up to its end tag but has none (the power failed while
// the recorder wrote it) ends where the filler that runs to the end of its data begins.
// Filler with a record or the end tag behind it, however long, is records.
std::optional<std::uint8_t> FillerByte(RawRecord record);

// How far a walk may go: the most records it hands out. Readers of a recording's data
// lower it to what the movie can show (MovieRecordLimit); tests and fuzzing use smaller
// figures to reach the end.
struct RecordLimits {
    std::int32_t maxRecords = kMaxBlockRecords;  // more records end the walk at kLimit
    // In a block without a count, a run of filler that reaches maxRecords is read on to the
    // next thing that is not filler, nothing of it kept: the walk ends unended when that is
    // the end of the data (a file the recorder made full size and never finished), else at
    // kLimit. Costs reading the rest of such a block.
    bool followFiller = false;
};

using RawRecordVisitor = std::function<void(std::int32_t, RawRecord)>;
// Gets the first window of the block (from the tag, at most `window` bytes, or `headWindow`
// bytes when a header chain runs past `window`, so a header chain is read as far as that
// window reaches); false ends the walk before any record, as truncated.
using BlockHeadVisitor = std::function<bool(std::span<const std::uint8_t> head)>;

// The count rule shared by every reader: count 0 means no records, 0xFFFF records up to
// "CSMEND", any other count exactly that many records (an end tag among them stops the
// walk). Records never run past the block's size: a count that does ends the walk as
// truncated. Calls `onHead` (when given) with the first window, then `onRecord` with each
// record number and record in order.
//
// Without a count, a run of filler records is counted, not kept, until a record or the
// end tag follows it: then its records are read again and handed out as stored. A run that
// reaches the end of the block (nothing but filler follows) is no records and ends the walk
// as unended with endOffset at the run's first record; a run that reaches
// `limits.maxRecords` ends it at kLimit there, since no record behind it could be handed
// out, unless `limits.followFiller` says to look on. Otherwise the walk reads no further
// than the limit allows.
RecordWalk WalkBlockRecords(const BlockSource& block, const BlockHeadVisitor& onHead,
                            const RawRecordVisitor& onRecord, const RecordLimits& limits = {});
// The same over a block in memory.
RecordWalk WalkRawRecords(std::span<const std::uint8_t> block, const RawRecordVisitor& onRecord,
                          const RecordLimits& limits = {});

// The recorder's number in the six bytes behind "CSMEND": none when they are all blanks or
// hold anything but digits and blanks.
std::optional<std::int32_t> ParseRecorderNumber(std::span<const std::uint8_t> trailer);

// Text fields. FieldNumber reads as a C text-to-number conversion would: leading blanks,
// an optional sign, digits with an optional fraction; none when no number starts there.
std::optional<double> FieldNumber(std::span<const std::uint8_t> field);
bool FieldHasDigit(std::span<const std::uint8_t> field);
bool FieldIsBlank(std::span<const std::uint8_t> field);

// Appends the GPS records of a block (from its tag) to `gps`, as the list-wide track
// wants them: times in milliseconds from the start of the file, no links. Uses the
// scanner's ms per record. False when the block ends early.
bool OnRecordBlock(sMOVIESCANNER& scanner, const BlockSource& block, std::vector<sGPSRECORD>& gps);
bool OnRecordBlock(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                   std::vector<sGPSRECORD>& gps);

}  // namespace orv
