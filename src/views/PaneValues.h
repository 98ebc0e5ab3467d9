// What each data pane shows of one frame, as values taken from the frame's record: the
// info panel's G values, mark, speed, voltage and drive-support readings, the gauges'
// values, the map's frame and position, and the graph's cursor. One rule for every pane,
// so that a pane is told a frame by value and draws only what it is told. Qt-free.
#pragma once

#include <optional>

#include "platform/base/WinTypes.h"
#include "recorder/RecorderRecords.h"
#include "views/InfoTexts.h"
#include "views/ObdGauge.h"

namespace orv {

// A vehicle record's drive-support readings as the info panel takes them (by its data
// format): turn-signal kind, steering reading (signed), brake state and the record's
// first code byte.
struct VehicleReadings {
    int nTurnSignal = 0;
    int nSteering = 0;
    int nBrake = 0;
    int nFlag = 0;
    bool operator==(const VehicleReadings&) const = default;
};

// The info panel's values of a frame. A value left none is one the frame does not
// give: the panel keeps what it showed.
struct InfoFrameValues {
    int nPosition = -1;
    double dAccelX = kNoGValue;  // g; kNoGValue without a record
    double dAccelY = kNoGValue;
    double dAccelZ = kNoGValue;
    std::optional<int> nRecMark;  // none without a record
    BOOL bGpsValid = FALSE;
    // None without a GPS record. The speed is kNoSpeedValue without a fix.
    std::optional<double> dSpeed;
    std::optional<int> nVoltage10;
    // None without a GPS record or without a vehicle record.
    std::optional<VehicleReadings> vehicle;
};

// The vehicle gauges' values of a frame: the readings (a slot without one keeps its
// value), taken only from a frame with a GPS record; valid when that record has a fix.
struct ObdFrameValues {
    BOOL bDataValid = FALSE;
    ObdReadings readings{};
};

// The map's frame, and where the recorder was when the frame has a fix.
struct MapFrameValues {
    int nRelJpgNum = 0;
    bool bHasGps = false;  // the frame has a GPS record, with or without a fix
    BOOL bGpsValid = FALSE;
    std::optional<double> dLatitude;  // degrees, with a fix only
    std::optional<double> dLongitude;
};

// The graph's cursor.
struct GraphFrameValues {
    int nCurrentFrame = 0;
};

struct PaneValues {
    InfoFrameValues info;
    ObdFrameValues obd;
    MapFrameValues map;
    GraphFrameValues graph;
};

// The panes' values of frame `frame` (already clamped to the movie) whose record is
// `record` (null when the frame has none). The vehicle readings come from the record's
// own vehicle record, else from its GPS record's.
PaneValues PaneValuesOf(const sSENSORRECORD* record, int frame);

}  // namespace orv
