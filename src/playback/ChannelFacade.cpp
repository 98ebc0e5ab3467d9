#include "playback/ChannelFacade.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>

#include "playback/ChannelEngine.h"
#include "playback/PlayChannel.h"
#include "playback/PlayerWaits.h"
#include "recorder/CardLayout.h"

namespace orv {

namespace {

// Largest scaled frame kept; below 2^63, so it stays within 64 bits.
constexpr double kMaxScaledFrame = 9.0e18;
// What a scaled frame number may fall short of a whole number by and still count as it: the
// frame intervals are single-precision quotients, each within 6e-8 of itself, so 300 can come
// out as 299.99999 and frame 27420 of a 25 fps rear as 27419.999 (the error grows with the
// number: a hundredth covers three hours). Far below a frame, so that a moment halfway
// through a frame still belongs to that frame.
constexpr double kScaledFrameSlack = 0.01;

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

// Channel 1's frame on the given channel: the channel's frame on screen at the moment
// channel 1's frame begins, the one that began at or before it.
std::int64_t ChannelFrame(int index, std::int32_t frame) {
    if (index == 0) return frame;
    const double front = g_aPlayChannel[0].frameInterval;
    const double own = g_aPlayChannel[index].frameInterval;
    double factor = front / own;
    if (!(front > 0.0) || !(own > 0.0) || !std::isfinite(factor)) factor = 1.0;
    const double scaled = std::clamp(double(frame) * factor, -kMaxScaledFrame, kMaxScaledFrame);
    return std::int64_t(scaled < 0.0 ? std::trunc(scaled - kScaledFrameSlack) : std::trunc(scaled + kScaledFrameSlack));
}

// The engines of the initialised channels, each once, in channel order.
template <typename Call>
void ForEachEngine(Call call) {
    ChannelEngine* seen[kChannelCount] = {};
    for (int i = 0; i < kChannelCount; ++i) {
        if (!g_aPlayChannel[i].initialised) continue;
        ChannelEngine* engine = &EngineOf(g_aPlayChannel[i]);
        if (std::find(std::begin(seen), std::end(seen), engine) != std::end(seen)) continue;
        seen[i] = engine;
        call(*engine);
    }
}

int PauseEachChannel() {
    return ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) { return t.PauseMovie(c); });
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
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    rear.rearOpened = 0;
    int results[kChannelCount] = {};
    const auto open = [&](int i) {
        results[i] = g_aPlayerDriverTable[i].OpenMovie(g_aPlayChannel[i], ChannelPath(i, path));
    };
    if (front.initialised && rear.initialised) {
        // Both movies are opened at the same time, the companion on a thread of its own. Its
        // open ends by asking channel 1 whether its movie has frames: channel 1's slot lock is
        // held here until channel 1's own open is over, so that the answer is about this movie.
        std::unique_lock frontSlot(front.slotLock);
        std::thread companion;
        try {
            companion = std::thread([&open] { open(1); });
        } catch (const std::system_error&) {
            // No thread to be had: the companion opens after channel 1, as it can.
        }
        open(0);
        frontSlot.unlock();
        if (companion.joinable()) companion.join();
        else open(1);
    } else {
        for (int i = 0; i < kChannelCount; ++i)
            if (g_aPlayChannel[i].initialised) open(i);
    }
    rear.rearOpened = results[1];
    return results[0] | results[1];
}

int ReopenRearChannel(const std::string& path) {
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    if (!rear.initialised || rear.playState != PLAY_CLOSED) return 0;
    // Channel 1's open is over: channel 2's open asks it for its frame count as it opens.
    const int result = g_aPlayerDriverTable[1].OpenMovie(rear, ChannelPath(1, path));
    rear.rearOpened = result == 1 ? 1 : 0;
    return rear.rearOpened;
}

int CloseChannels() {
    const PlayerWaitScope call;
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
    // Each channel may still be settling on a seek of its own: the clocks start together
    // once both are there, so the channels play in step whatever each decoder needed.
    ForEachEngine([](ChannelEngine& e) { e.BeginJointStart(); });
    const int result =
        ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) { return t.PlayMovie(c); });
    ForEachEngine([](ChannelEngine& e) { e.EndJointStart(); });
    return result;
}

int SeekChannelsWhilePlaying(std::int32_t frame) {
    const PlayerWaitScope call;
    PauseEachChannel();  // the seek moves every channel anyway
    const int sought = SeekChannelsToFrame(frame);
    return PlayChannels() | sought;
}

int PauseChannels() {
    const PlayerWaitScope call;
    const bool wasPlaying = g_aPlayChannel[0].initialised && g_aPlayChannel[0].playState == PLAY_PLAYING;
    const int result = PauseEachChannel();
    if (wasPlaying) AlignPausedChannels();
    return result;
}

void AlignPausedChannels() {
    const PlayerWaitScope call;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    if (!front.initialised || front.playState == PLAY_CLOSED) return;
    const std::int32_t frame = g_aPlayerDriverTable[0].GetCurrentFrame(front);
    if (frame < 0) return;
    for (int i = 1; i < kChannelCount; ++i) {
        sPLAYCHANNEL& other = g_aPlayChannel[i];
        if (!other.initialised || other.playState == PLAY_CLOSED) continue;
        // Paused a moment after channel 1, a channel may have shown one frame more.
        const std::int64_t wanted = ChannelFrame(i, frame);
        if (g_aPlayerDriverTable[i].GetCurrentFrame(other) == wanted) continue;
        g_aPlayerDriverTable[i].SeekToFrame(other, wanted);
        EngineOf(other).WaitUntilSettled(other);
    }
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

void SettleChannels() {
    const PlayerWaitScope call;
    ForEachChannel([](int, sPLAYCHANNEL& c, const PlayerDriverTable&) {
        EngineOf(c).WaitUntilSettled(c);
        return 0;
    });
}

int SetChannelsSpeed(int step) {
    // The clocks take the new rate as of one moment, so the channels stay in step whenever
    // each gets to it.
    ForEachEngine([](ChannelEngine& e) { e.BeginJointStart(); });
    const int result = ForEachChannel([&](int, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.SetPlaybackSpeed(c, step);
    });
    ForEachEngine([](ChannelEngine& e) { e.EndJointStart(); });
    return result;
}

bool AnyChannelOpen() {
    return std::any_of(std::begin(g_aPlayChannel), std::end(g_aPlayChannel),
                       [](const sPLAYCHANNEL& c) { return c.initialised && c.playState != PLAY_CLOSED; });
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

int SetChannelsKeepAspect(int keep) {
    return ForEachChannel([&](int i, sPLAYCHANNEL& c, const PlayerDriverTable& t) {
        return t.SetKeepAspect(c, i == 0 ? keep : TRUE);
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
