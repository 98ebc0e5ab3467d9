// The playback road's frame arithmetic, lookup tables and rules (the jobs wait by the same
// end margin): values in, values out, so that the road and the jobs only apply what they
// decide.
#pragma once

#include <cstdint>
#include <string_view>

namespace orv {

// The resolution-and-quality code of a recording, from its frame height and the quality
// letter of its recorder data; the CSV export and the info panel read it.
int QualityCode(int frameHeight, int qualityLetter);

// UI text id of the speed label of a speed step (-4, -2, 1, 2, 4); -1: an empty label.
int SpeedLabelTextId(int speedStep);

// Frames kept free before the end of the movie: 40 at step 2, 80 at step 4, else 20.
int EndMargin(int speedStep);

// A frame of channel 1 as it crosses the window: from the slider (or a map marker, or an
// event) through the playback road to the channels. A request arrives as the message's
// wide value and is clamped once, by ClampFrame, where the road takes it in.
using FrameIndex = std::int32_t;

// `frame` clamped into [first, last]; `first` when the range is empty (last < first).
FrameIndex ClampFrame(std::int64_t frame, std::int64_t first, std::int64_t last);

// How far a seek lands and what the slider shows for a request of `frame`.
struct SeekFrames {
    FrameIndex target;  // where the channels are moved to
    FrameIndex shown;   // what the slider and the panes show
};
// The target is lowered to count - margin, the shown frame to count - 1 and raised to the
// slider minimum; both end up in [0, count - 1] (0 for an empty movie).
SeekFrames ComputeSeekFrames(std::int64_t frame, std::int64_t frameCount, int speedStep, bool frontInitialised,
                             int sliderMin);

// A frame from a slider position, clamped into [min, max - 1]; a range of 0..0 gives min.
FrameIndex ClampToSlider(std::int64_t frame, int sliderMin, int sliderMax);

// Frames the clock may stray from the last seek target before the panes follow it again.
std::int64_t SeekTolerance(std::int64_t frameCount);

// True while the current frame lies in the end margin of a playing movie.
bool IsInEndMargin(std::int64_t current, std::int64_t frameCount, int speedStep);

// Channel 1 as the near-end test sees it.
struct ChannelPosition {
    bool playbackStarted = false;  // the movie's data has loaded and playback began
    bool initialised = false;
    int state = 0;  // PlayState: 1 stopped, 2 playing, 3 paused
    std::int64_t current = 0;
    std::int64_t count = 0;
    int speedStep = 0;
};

// True when a command that acts on the movie must wait: the movie's data has not loaded yet,
// or a running movie is within its end margin (20 frames, 40 at speed step 2, 80 at step 4),
// so that its end and the move to the next recording would come while the command runs. The
// road's transport commands, the video menu, the jobs, the snapshot and the large-video
// command all wait by it.
bool IsNearMovieEnd(const ChannelPosition& channel);

// Whether the full-video view may be switched: leaving it always; going into it not within
// the last 10 frames, where the movie is about to end and continuous play to move on.
bool FullViewToggleAllowed(bool viewOn, std::int64_t current, std::int64_t frameCount);

// The speed step that a recording starts with: -2 (half speed) for a time-lapse
// recording, else 1.
int DefaultSpeedStep(std::string_view path);

// Playing speed relative to normal for a step (0.25 .. 4); 1 for an unknown step.
double SpeedFactor(int speedStep);

// What one playback tick does in channel 1's play state (PLAY_CLOSED 0 .. PLAY_PAUSED 3).
struct TickSteps {
    bool endMargin;    // the controls follow the end margin
    bool followFrame;  // the panes follow the current frame, under the stall watchdog
    bool mapPane;      // the map pane is brought up to date
};
// Playing: the margin and the frame; closed: the frame (a closed channel reports no
// frame to follow); stopped or paused: the map pane, unless the map page stands shown
// (`logoHidden`) on a live connection, where it has nothing to change.
TickSteps PlaybackTickSteps(int playState, bool logoHidden, bool mapConnected);

// The stall watchdog of the playback tick. A player that shows the same frame for longer
// than the limit while playing is nudged (pause, one frame back, play). The limit is in
// ticks of `tickMs` and covers at least three frames at the current speed, so that a
// movie with long frames played slowly is never pushed back; it is never below 30 ticks.
class StallWatchdog {
public:
    static constexpr int kMinimumTicks = 30;
    static int LimitTicks(double frameIntervalMs, int speedStep, int tickMs);

    // One tick with the frame on screen; true when the player must be nudged now.
    bool Tick(std::int32_t current, int limitTicks);
    void Reset() { lastFrame_ = 0, sameTicks_ = 0; }

private:
    std::int32_t lastFrame_ = 0;
    int sameTicks_ = 0;
};

}  // namespace orv
