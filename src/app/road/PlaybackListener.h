// What the playback road tells whoever shows a recording: the data panes, the seek slider,
// the play button and the labels. The road names none of them; the window connects one
// listener per pane, once, for the road's whole life. Every notice is values (copies); a
// listener keeps what it needs and asks the road nothing back. Plain C++, no toolkit.
//
// Notices come on the UI thread, and some while the road holds locks that other threads take
// too (the locks: PlaybackRoad.h):
// - OnFrameShown, while both channels' slot locks are held when it carries a frame's values
//   (they were read under them) and when the slider goes back to 0 as a recording's data
//   becomes the active data;
// - OnEventsFound, while "hMutexCpSet" is held (the event list its markers came from);
// - and any notice of a selection (a row taken from the list, the next or previous recording
//   chosen, a folder left) may come while "hMutexCache" is held.
// The locks are recursive for the UI thread. A listener therefore takes no lock of its own
// that another thread holds while it waits for these, and waits for no other thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/commands/PlaybackRules.h"
#include "platform/base/WinTypes.h"
#include "playback/PlayChannel.h"
#include "views/PaneValues.h"

namespace orv {

// What the panes let go of when a recording is selected, closed or forgotten
// (OnRecordingCleared takes them or'ed together).
enum RecordingPart : unsigned {
    kPartData = 1u << 0,       // the recording's data: the graph draws no curves any more
    kPartScale = 1u << 1,      // the graph's scale: back to its first, the graph drawn again
    kPartValues = 1u << 2,     // the info panel's values: none
    kPartMovie = 1u << 3,      // the movie closed: the map shows no frame, the graph is drawn again
    kPartRecording = 1u << 4,  // no recording at all: no title or time, the seek range 0..0
};

// A recording on its way to the screen, told at three stages.
struct RecordingOpened {
    enum Stage {
        kOpening,       // the players took the movie; they are not ready yet
        kPlayersReady,  // the players are ready: the frame count is known
        kDataIn,        // the recorder's data is in: playback begins at frame 0
    };
    Stage stage = kOpening;
    std::string path;          // the front movie
    bool parkingTrace = false;  // a parked car's recording on a card with a trace file:
                                // the voltage shows in place of the speed
    int frameCount = 0;         // kPlayersReady, kDataIn: channel 1's frames (the seek range)

    // kDataIn only.
    std::string title;          // the recording's name as the list shows it
    int quality = 0;            // the resolution-and-quality code
    SYSTEMTIME startTime{};     // as the recorder's name tells it, else as the list had it
    float frameInterval = 0.0f;  // ms per frame of channel 1
    // The recording's data, when it has any: its largest |G| overall and per axis, whether
    // it is a time-lapse recording, and its data format letter.
    struct Data {
        double largestG = 0.0;
        double largestAxisG[3] = {0.0, 0.0, 0.0};
        bool timeLapse = false;
        int format = 0;
    };
    std::optional<Data> data;
};

// A frame shown: channel 1's picture, a frame under the dragged slider, or frame 0 when a
// recording is selected. Without values only the seek slider and the graph's cursor move.
struct FrameShown {
    FrameIndex frame = 0;
    std::optional<PaneValues> values;  // PaneValuesOf the frame's record
};

// One event marker of the map: the event, the G values, the frame and where it happened.
struct EventMarker {
    int kind = 0;
    double gX = 0.0, gY = 0.0, gZ = 0.0;
    int frame = 0;
    double latitude = 0.0, longitude = 0.0;
    int valid = 0;
    double speed = 0.0;
};

// The events of the recording at `row` were found again; the markers to send, last first.
struct EventsFound {
    int row = -1;
    BOOL wholeLine = FALSE;  // the map draws the whole list's track before the row's
    std::vector<EventMarker> markers;
};

// The transport as the window shows it. Only what changed is given.
struct TransportShown {
    std::optional<bool> playing;      // the play button's look: "pause" while playing, else "play"
    std::optional<PlayState> status;  // the map page's status: playing, paused, anything else stopped
    std::optional<int> speedStep;     // the speed label's step; 0 without channel 1 (an empty label)
    std::optional<int> volume;        // the volume the user set, 0..65535
    std::optional<bool> keepAspect;   // the keep-aspect flag the user set
    bool redraw = false;              // the panel is drawn again at once (a pause of the play command)

    TransportShown& Playing(bool on) { return playing = on, *this; }
    TransportShown& Status(PlayState state) { return status = state, *this; }
    TransportShown& Speed(int step) { return speedStep = step, *this; }
    TransportShown& Volume(int value) { return volume = value, *this; }
    TransportShown& KeepAspect(bool on) { return keepAspect = on, *this; }
    TransportShown& Redraw() { return redraw = true, *this; }
};

class IPlaybackListener {
public:
    virtual ~IPlaybackListener() = default;

    virtual void OnRecordingCleared(unsigned /*parts*/) {}
    virtual void OnRecordingOpened(const RecordingOpened&) {}
    virtual void OnFrameShown(const FrameShown&) {}
    virtual void OnEventsFound(const EventsFound&) {}
    virtual void OnTransportShown(const TransportShown&) {}
    // A source was opened: whether its card holds a trace file ("pvtrace.txt").
    virtual void OnTraceFile(bool /*found*/) {}
};

}  // namespace orv
