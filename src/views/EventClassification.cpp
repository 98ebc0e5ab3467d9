#include "views/EventClassification.h"

#include "playback/ChannelData.h"
#include "playback/PlayChannel.h"

namespace orv {

namespace {

constexpr int kKindText[EVENT_KIND_COUNT] = {69, 70, 72, 71, 73, 74, 75, 76, 77, 141, 142, 67, 65, 66};
constexpr int kKindDetector[EVENT_KIND_COUNT] = {0, 0, 1, 2, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9};

// Alert codes of the record's last byte.
constexpr int kAlertRadarLow = 8;
constexpr int kAlertRadarHigh = 9;
constexpr int kAlertCamera = 10;

int AxisKind(const sSENSORRECORD& r, int axis, int kind) { return r.axis == axis ? kind : EVENT_NONE; }

int EventIs(const sSENSORRECORD& r, int kind) { return r.event == kind ? kind : EVENT_NONE; }

}  // namespace

int EventKindTextId(int kind) { return kind >= 0 && kind < EVENT_KIND_COUNT ? kKindText[kind] : 0; }

int ClassifyAxisX(const sSENSORRECORD& r) { return AxisKind(r, 1, EVENT_SUDDEN_ACCELERATION); }
int ClassifyAxisY(const sSENSORRECORD& r) { return AxisKind(r, 2, EVENT_SUDDEN_STEERING); }
int ClassifyAxisZ(const sSENSORRECORD& r) { return AxisKind(r, 3, EVENT_SUDDEN_DROP); }
int ClassifyManual(const sSENSORRECORD& r) { return EventIs(r, EVENT_MANUAL_RECORDING); }
int ClassifyEmergencyStop(const sSENSORRECORD& r) { return EventIs(r, EVENT_EMERGENCY_STOP); }
int ClassifyParking(const sSENSORRECORD& r) { return EventIs(r, EVENT_PARKING_MONITOR); }
int ClassifySpeeding(const sSENSORRECORD& r) { return r.speeding == EVENT_SPEEDING ? EVENT_SPEEDING : EVENT_NONE; }

int ClassifySpeedCamera(const sSENSORRECORD& r) {
    return r.alert1 == kAlertCamera && r.alert2 == kAlertRadarHigh ? EVENT_SPEED_CAMERA : EVENT_NONE;
}

int ClassifyRadar(const sSENSORRECORD& r) {
    const bool first = r.alert1 == kAlertRadarLow || r.alert1 == kAlertRadarHigh;
    return first && r.alert2 == kAlertRadarLow ? EVENT_RADAR : EVENT_NONE;
}

int ClassifyDriveSupport(const sSENSORRECORD& r) {
    return r.event >= EVENT_DRIVE_SUPPORT_STEERING && r.event <= EVENT_DRIVE_SUPPORT_BRAKING ? r.event : EVENT_NONE;
}

EventDetectors MakeEventDetectors() {
    constexpr EventClassifier kClassifiers[DETECTOR_COUNT] = {
        ClassifyAxisX,   ClassifyAxisY,    ClassifyAxisZ,       ClassifyManual, ClassifyEmergencyStop,
        ClassifyParking, ClassifySpeeding, ClassifySpeedCamera, ClassifyRadar,  ClassifyDriveSupport,
    };
    EventDetectors detectors;
    for (int i = 0; i < DETECTOR_COUNT; ++i) detectors[std::size_t(i)].classifier = kClassifiers[i];
    detectors[DETECTOR_AXIS_X].pen = RGB(0, 255, 0);
    detectors[DETECTOR_AXIS_Y].pen = RGB(255, 0, 0);
    detectors[DETECTOR_AXIS_Z].pen = RGB(128, 128, 255);
    return detectors;
}

int DetectorOfKind(int kind) { return kind >= 0 && kind < EVENT_KIND_COUNT ? kKindDetector[kind] : -1; }

void SetDetectorFlags(EventDetectors& detectors, int detector, BOOL on) {
    if (detector < 0 || detector >= DETECTOR_COUNT) return;
    detectors[std::size_t(detector)].bShow = on ? TRUE : FALSE;
    detectors[std::size_t(detector)].bList = on ? TRUE : FALSE;
}

ChannelsLock::ChannelsLock() { LockAllChannels(); }
ChannelsLock::~ChannelsLock() { UnlockAllChannels(); }

const sSENSORRECORD* FrameRecords::At(std::int64_t frame) const {
    if (frame < 0 || frame >= FrameCount() || sensor.empty()) return nullptr;
    const sSENSORRECORD* record = frameTable[std::size_t(frame)];
    // The entry must point into this movie's records; anything else is not read.
    if (!record || record < sensor.data() || record >= sensor.data() + sensor.size()) return nullptr;
    return record;
}

FrameRecords ChannelFrameRecords(const ChannelsLock&) {
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    if (!front.initialised) return {};
    const sMOVIESCANNER& active = front.scanners[kActiveScanner];
    return FrameRecords{active.frameTable, active.sensor};
}

const sSENSORRECORD* GetFrameRecord(const ChannelsLock& lock, int frame) {
    return ChannelFrameRecords(lock).At(frame);
}

BOOL FindEventStart(const FrameRecords& records, int frame, EventClassifier classifier, int* kind) {
    int found = EVENT_NONE;
    BOOL start = FALSE;
    const sSENSORRECORD* record = classifier ? records.At(frame) : nullptr;
    if (record) {
        found = classifier(*record);
        if (found >= 0) {
            const sSENSORRECORD* previous = frame > 0 ? records.At(frame - 1) : nullptr;
            start = !previous || classifier(*previous) != found;
        }
    }
    if (kind) *kind = found;
    return start;
}

BOOL DetectEvent(const FrameRecords& records, const EventDetectors& detectors, std::vector<sCRASHPOS>& list,
                 int frame, int detector) {
    if (records.frameTable.empty() || detector < 0 || detector >= DETECTOR_COUNT) return FALSE;
    int kind = EVENT_NONE;
    const BOOL start = FindEventStart(records, frame, detectors[std::size_t(detector)].classifier, &kind);
    if (kind < 0) return TRUE;
    if (kind >= EVENT_EMERGENCY_STOP && !detectors[std::size_t(DetectorOfKind(kind))].bList) return FALSE;
    if (start) {
        const sSENSORRECORD* record = records.At(frame);
        list.push_back(sCRASHPOS{record->index, kind, detector, record});
    }
    return FALSE;
}

void BuildEventList(const FrameRecords& records, const EventDetectors& detectors, std::vector<sCRASHPOS>& list) {
    list.clear();
    constexpr int kOrder[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};
    const int frames = int(std::min<std::int64_t>(records.FrameCount(), INT32_MAX));
    for (int frame = 0; frame < frames; ++frame) {
        if (detectors[DETECTOR_SPEEDING].bList) DetectEvent(records, detectors, list, frame, DETECTOR_SPEEDING);
        for (const int d : kOrder) {
            if (!detectors[std::size_t(d)].bList) continue;
            if (!DetectEvent(records, detectors, list, frame, d)) break;
        }
    }
}

void BuildEventList(const EventDetectors& detectors, std::vector<sCRASHPOS>& list) {
    const ChannelsLock lock;
    BuildEventList(ChannelFrameRecords(lock), detectors, list);
}

}  // namespace orv
