#include "app/commands/PlaybackRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "recorder/RecordingName.h"

namespace orv {

int QualityCode(int frameHeight, int qualityLetter) {
    // Columns: quality letter 'M', 'H', any other.
    struct Row {
        int height;
        int codes[3];
    };
    static constexpr Row kRows[] = {
        {360, {0, 1, 2}}, {720, {11, 3, 4}}, {1080, {12, 5, 6}}, {1296, {0, 9, 10}}, {1440, {0, 7, 8}},
    };
    const int column = qualityLetter == 'M' ? 0 : qualityLetter == 'H' ? 1 : 2;
    for (const Row& row : kRows)
        if (row.height == frameHeight) return row.codes[column];
    return 0;
}

int SpeedLabelTextId(int speedStep) {
    switch (speedStep) {
    case -4: return 61;
    case -2: return 60;
    case 1: return 57;
    case 2: return 58;
    case 4: return 59;
    default: return -1;
    }
}

int EndMargin(int speedStep) { return speedStep == 2 ? 40 : speedStep == 4 ? 80 : 20; }

FrameIndex ClampFrame(std::int64_t frame, std::int64_t first, std::int64_t last) {
    // The range itself is cut to what a FrameIndex holds, so that every result fits.
    constexpr std::int64_t kLow = std::numeric_limits<FrameIndex>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<FrameIndex>::max();
    first = std::clamp(first, kLow, kHigh);
    last = std::clamp(last, first, kHigh);
    return FrameIndex(std::clamp(frame, first, last));
}

SeekFrames ComputeSeekFrames(std::int64_t frame, std::int64_t frameCount, int speedStep, bool frontInitialised,
                             int sliderMin) {
    const std::int64_t last = std::max<std::int64_t>(frameCount - 1, 0);
    const int margin = frontInitialised ? EndMargin(speedStep) : 20;
    const std::int64_t target = std::min(frame, frameCount - margin);
    const std::int64_t shown = std::max<std::int64_t>(std::min(frame, frameCount - 1), sliderMin);
    return SeekFrames{ClampFrame(target, 0, last), ClampFrame(shown, 0, last)};
}

FrameIndex ClampToSlider(std::int64_t frame, int sliderMin, int sliderMax) {
    return ClampFrame(frame, sliderMin, std::int64_t(sliderMax) - 1);
}

std::int64_t SeekTolerance(std::int64_t frameCount) { return frameCount / 1000 + 30; }

bool IsInEndMargin(std::int64_t current, std::int64_t frameCount, int speedStep) {
    if (frameCount <= 0) return false;
    return current + EndMargin(speedStep) >= frameCount;
}

bool IsNearMovieEnd(const ChannelPosition& channel) {
    constexpr int kStopped = 1, kPaused = 3;
    if (!channel.playbackStarted) return true;
    if (!channel.initialised || channel.state == kStopped || channel.state == kPaused) return false;
    return IsInEndMargin(channel.current, channel.count, channel.speedStep);
}

bool FullViewToggleAllowed(bool viewOn, std::int64_t current, std::int64_t frameCount) {
    constexpr std::int64_t kLastFrames = 10;
    return viewOn || frameCount <= 0 || current + kLastFrames < frameCount;
}

int DefaultSpeedStep(std::string_view path) {
    if (path.empty()) return 1;
    const auto slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if ((!name.empty() && name.front() == 'T') || GetAlertLetterKind(name) == 8) return -2;
    return 1;
}

double SpeedFactor(int speedStep) {
    switch (speedStep) {
    case 2: return 2.0;
    case 4: return 4.0;
    case -2: return 0.5;
    case -4: return 0.25;
    default: return 1.0;
    }
}

TickSteps PlaybackTickSteps(int playState, bool logoHidden, bool mapConnected) {
    constexpr int kClosed = 0, kPlaying = 2;
    if (playState == kPlaying) return {true, true, false};
    if (playState == kClosed) return {false, true, false};
    return {false, false, !(logoHidden && mapConnected)};
}

int StallWatchdog::LimitTicks(double frameIntervalMs, int speedStep, int tickMs) {
    if (!std::isfinite(frameIntervalMs) || frameIntervalMs <= 0.0 || tickMs <= 0) return kMinimumTicks;
    const double frameTicks = frameIntervalMs / SpeedFactor(speedStep) / double(tickMs);
    const double limit = std::ceil(3.0 * frameTicks);
    // A frame interval of hours would overflow an int; an hour of ticks is plenty.
    return int(std::clamp(limit, double(kMinimumTicks), 3600000.0 / tickMs));
}

bool StallWatchdog::Tick(std::int32_t current, int limitTicks) {
    if (current != lastFrame_) {
        lastFrame_ = current;
        sameTicks_ = 0;
        return false;
    }
    if (++sameTicks_ <= limitTicks) return false;
    sameTicks_ = 0;
    return true;
}

}  // namespace orv
