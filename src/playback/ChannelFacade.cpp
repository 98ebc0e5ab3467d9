#include "playback/ChannelFacade.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "playback/ChannelEngine.h"
#include "playback/PlayChannel.h"
#include "recorder/CardLayout.h"

namespace orv {

namespace {

constexpr std::chrono::milliseconds kSpeedSettle{100};
// Largest scaled frame kept; below 2^63, so rounding it stays within 64 bits.
constexpr double kMaxScaledFrame = 9.0e18;

// Calls `call` (channel index, channel, table) on every initialised channel in order;
// 1 when one gave non-zero.
template <typename Call>
int ForEachChannel(Call call) {
    int any = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        sPLAYCHANNEL& channel = g_aPlayChannel[i];
        if (!channel.initialised) continue;
        if (call(i, channel, g_aPlayerDriverTable[i]) != 0) any = 1;
    }
    return any;
}

// Channel 2 plays the other camera's file of the same recording.
std::string ChannelPath(int index, const std::string& path) {
    return index == 0 ? path : CompanionFileName(path);
}

// Channel 1's frame on the given channel: the frame that shows the same moment.
std::int64_t ChannelFrame(int index, std::int32_t frame) {
    if (index == 0) return frame;
    const double front = g_aPlayChannel[0].frameInterval;
    const double own = g_aPlayChannel[index].frameInterval;
    double factor = front / own;
    if (!(front > 0.0) || !(own > 0.0) || !std::isfinite(factor)) factor = 1.0;
    return std::llround(std::clamp(double(frame) * factor, -kMaxScaledFrame, kMaxScaledFrame));
}

// Next speed steps by the current step, -4 to 4.
constexpr int kFasterWithBackwards[9] = {-2, 1, -1, 1, 1, 2, 4, 1, 4};
constexpr int kFasterForwardOnly[9] = {-2, 1, 1, 1, 1, 2, 2, 1, 4};
constexpr int kSlowerWithPlayer[9] = {1, 1, -2, -2, 1, -1, 1, 1, 2};
constexpr int kSlowerWithoutPlayer[9] = {-4, 1, -4, -2, 1, -1, 1, 1, 2};

}  // namespace

int CheckChannelsFile(const std::string& path) {
    return ForEachChannel([&](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.CheckMovieFile(c, path);
    });
}

int OpenChannels(const std::string& path) {
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    rear.rearOpened = 0;
    int results[kChannelCount] = {};
    ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        results[i] = t.OpenMovie(c, ChannelPath(i, path));
        return results[i];
    });
    rear.rearOpened = results[1];
    return results[0] | results[1];
}

int CloseChannels() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        c.dataLoaded = 0;
        return t.CloseMovie(c);
    });
}

int LoadChannelsData(const std::string& moviePath) {
    return ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        const int loaded = t.LoadRecorderData(c, ChannelPath(i, moviePath));
        if (loaded != 0) c.dataLoaded = 1;
        return loaded;
    });
}

int ResetChannels() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        c.dataLoaded = 0;
        return t.ResetRecorderData(c);
    });
}

int PlayChannels() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) { return t.PlayMovie(c); });
}

int PauseChannels() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) { return t.PauseMovie(c); });
}

int SeekChannelsToFrame(std::int32_t frame) {
    return ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.SeekToFrame(c, ChannelFrame(i, frame));
    });
}

int LocateChannelsFrame(std::int32_t frame) {
    return ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.LocateFrame(c, ChannelFrame(i, frame));
    });
}

int SetChannelsSpeed(int step) {
    const int result = ForEachChannel([&](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.SetPlaybackSpeed(c, step);
    });
    std::this_thread::sleep_for(kSpeedSettle);
    return result;
}

int RefreshChannels() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) { return t.RefreshFrame(c); });
}

int SetChannelsView(const sVIEWRECORD (&views)[2], int redraw) {
    return ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        const sVIEWRECORD& v = views[i];
        return t.SetView(c, v.zoomCentreX, v.zoomCentreY, v.viewOffsetX, v.viewOffsetY, v.zoomFactor, redraw);
    });
}

int GetNextSpeedStep(bool faster) {
    const sPLAYCHANNEL& front = g_aPlayChannel[0];
    if (!front.initialised) return 0;
    if (front.playState != PLAY_PLAYING) return 1;
    const int step = front.speedStep;
    if (step < -4 || step > 4) return 1;
    const int* next = nullptr;
    if (faster) {
        next = front.canPlayBackwards ? kFasterWithBackwards : kFasterForwardOnly;
    } else {
        next = EngineOf(front).HasPlayer(front) ? kSlowerWithPlayer : kSlowerWithoutPlayer;
    }
    return next[step + 4];
}

}  // namespace orv
