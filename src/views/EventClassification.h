// Events of a movie from its decoded sensor records: what each of the ten event
// detectors recognises in one record, where an event starts, and the movie's event list
// that the map markers and the graph's previous/next steps are taken from.
//
// The records and the frame table belong to channel 1's active scanner and are replaced
// while a movie changes, so every reader holds the channels' locks: a ChannelsLock must
// be alive for as long as a record found through it is used. The readers that take a
// FrameRecords view work on any frame table and serve the tests and the probe as well.
//
// Qt-free. UI thread (the lock is re-entrant for its owner).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/base/WinTypes.h"
#include "recorder/RecorderRecords.h"

namespace orv {

// Kinds of event; the numbers are what the records and the map page carry.
enum EventKind : int {
    EVENT_NONE = -1,
    EVENT_SUDDEN_ACCELERATION = 0,
    EVENT_SUDDEN_BRAKING = 1,  // named and drawn, but no detector produces it
    EVENT_SUDDEN_STEERING = 2,
    EVENT_SUDDEN_DROP = 3,
    EVENT_SUDDEN_RISE = 4,  // named and drawn, but no detector produces it
    EVENT_MANUAL_RECORDING = 5,
    EVENT_EMERGENCY_STOP = 6,
    EVENT_PARKING_MONITOR = 7,
    EVENT_SPEEDING = 8,
    EVENT_SPEED_CAMERA = 9,
    EVENT_RADAR = 10,
    EVENT_DRIVE_SUPPORT_STEERING = 11,
    EVENT_DRIVE_SUPPORT_ACCELERATION = 12,
    EVENT_DRIVE_SUPPORT_BRAKING = 13,
};
constexpr int EVENT_KIND_COUNT = 14;

// The UI text number naming `kind` (the map's marker names); 0 for no kind.
int EventKindTextId(int kind);

// One record to a kind, or EVENT_NONE.
using EventClassifier = int (*)(const sSENSORRECORD& record);

int ClassifyAxisX(const sSENSORRECORD& record);          // 0 when the axis is X
int ClassifyAxisY(const sSENSORRECORD& record);          // 2 when the axis is Y
int ClassifyAxisZ(const sSENSORRECORD& record);          // 3 when the axis is Z
int ClassifyManual(const sSENSORRECORD& record);         // 5
int ClassifyEmergencyStop(const sSENSORRECORD& record);  // 6
int ClassifyParking(const sSENSORRECORD& record);        // 7
int ClassifySpeeding(const sSENSORRECORD& record);       // 8
int ClassifySpeedCamera(const sSENSORRECORD& record);    // 9: alert codes 10 then 9
int ClassifyRadar(const sSENSORRECORD& record);          // 10: alert codes 8 or 9, then 8
int ClassifyDriveSupport(const sSENSORRECORD& record);   // 11, 12 or 13 as recorded

// The detectors, by index.
enum EventDetectorIndex : int {
    DETECTOR_AXIS_X = 0,
    DETECTOR_AXIS_Y = 1,
    DETECTOR_AXIS_Z = 2,
    DETECTOR_MANUAL = 3,
    DETECTOR_EMERGENCY_STOP = 4,
    DETECTOR_PARKING = 5,
    DETECTOR_SPEEDING = 6,
    DETECTOR_SPEED_CAMERA = 7,
    DETECTOR_RADAR = 8,
    DETECTOR_DRIVE_SUPPORT = 9,
};
constexpr int DETECTOR_COUNT = 10;

struct sEVENTDETECTOR {
    BOOL bShow = TRUE;  // markers on the graph, and a stop of previous/next
    BOOL bList = TRUE;  // entries in the event list, and so markers on the map
    // The curve colour of the axis detectors 0..2; none for the others.
    std::optional<COLORREF> pen;
    EventClassifier classifier = nullptr;
};

using EventDetectors = std::array<sEVENTDETECTOR, DETECTOR_COUNT>;

// The ten detectors as constructed: both flags on, the axis ones with their curve colours.
EventDetectors MakeEventDetectors();

// The detector whose classifier produces `kind` (0, 1 -> 0; 2 -> 1; 3, 4 -> 2; 5 -> 3;
// 6 -> 4; 7 -> 5; 8 -> 6; 9 -> 7; 10 -> 8; 11..13 -> 9); -1 for no kind.
int DetectorOfKind(int kind);

// Where the settings dialog's six event toggles and the panel's axis buttons act: both
// flags of the detector are set together.
void SetDetectorFlags(EventDetectors& detectors, int detector, BOOL on);

// One entry of a movie's event list.
struct sCRASHPOS {
    std::int32_t nRecord = 0;    // sensor record index of the frame where the event starts
    std::int32_t nKind = EVENT_NONE;
    std::int32_t nDetector = 0;  // 0..9
    const sSENSORRECORD* pRecord = nullptr;  // valid while the records it came from are

    friend bool operator==(const sCRASHPOS&, const sCRASHPOS&) = default;
};

// Holds the slot locks of both channels (LockAllChannels) for its lifetime.
class ChannelsLock {
public:
    ChannelsLock();
    ~ChannelsLock();
    ChannelsLock(const ChannelsLock&) = delete;
    ChannelsLock& operator=(const ChannelsLock&) = delete;
};

// A movie's frame table and sensor records, as held by a scanner.
struct FrameRecords {
    std::span<sSENSORRECORD* const> frameTable;  // index = video frame
    std::span<const sSENSORRECORD> sensor;

    // The record at `frame`, or null outside the table, without records, or when the
    // entry is null or not one of the sensor records.
    const sSENSORRECORD* At(std::int64_t frame) const;
    std::int64_t FrameCount() const { return std::int64_t(frameTable.size()); }
};

// Channel 1's active frame table and records; empty when the channel is not
// initialised. Valid while `lock` lives.
FrameRecords ChannelFrameRecords(const ChannelsLock& lock);

// The sensor record shown at video frame `frame` of channel 1, or null (no data, frame
// outside the table). Valid while `lock` lives.
const sSENSORRECORD* GetFrameRecord(const ChannelsLock& lock, int frame);

// Whether an event of `classifier` starts at `frame`: the frame's record is classified
// and it is the first frame or the previous frame's record was classified differently.
// `kind` gets the frame's kind (EVENT_NONE without one).
BOOL FindEventStart(const FrameRecords& records, int frame, EventClassifier classifier, int* kind);

// Appends at most one entry for `detector` at `frame`. TRUE when the detector found
// nothing there; FALSE when it found a kind (whether or not it appended) or without a
// frame table. Kinds 6..13 need their own detector's list flag; kinds 0..5 are the
// caller's to test.
BOOL DetectEvent(const FrameRecords& records, const EventDetectors& detectors, std::vector<sCRASHPOS>& list,
                 int frame, int detector);

// The movie's event list: for every frame, the speeding detector when listed, then the
// first listed detector of 0..5, 7..9 that classifies the frame. Ordered by frame; within
// a frame a speeding entry comes first. Replaces `list`.
void BuildEventList(const FrameRecords& records, const EventDetectors& detectors, std::vector<sCRASHPOS>& list);

// The same over channel 1's records, holding the channels' locks while it runs. The
// entries point into the channel's records: rebuild the list when the movie changes.
void BuildEventList(const EventDetectors& detectors, std::vector<sCRASHPOS>& list);

}  // namespace orv
