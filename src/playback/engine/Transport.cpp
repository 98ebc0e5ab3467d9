#include "playback/engine/Transport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "playback/PlayerWaits.h"

namespace orv {

namespace {

using SlotLock = std::lock_guard<std::recursive_mutex>;

constexpr double kUnitsPerMs = 10000.0;  // 100-ns units

// Rounds to the nearest integer, held inside the range of int64.
std::int64_t RoundToInt64(double v) {
    constexpr double kLimit = 9.2e18;  // just inside 2^63
    if (std::isnan(v)) return 0;
    return std::llround(std::clamp(v, -kLimit, kLimit));
}

}  // namespace

bool ShownSampleTime(const sRENDERERBLOCK& renderer, LONGLONG* time, LONGLONG* pendingSeek) {
    if (pendingSeek) *pendingSeek = -1;
    if (!renderer.player) return false;
    const ComPtr<CMFActivate> activate = renderer.player->PresenterActivate();
    const ComPtr<EVRCustomPresenter> presenter = activate ? activate->Presenter() : nullptr;
    // The seek is read before the picture: a seek asked meanwhile counts as still to come.
    LONGLONG soughtTime = 0;
    const UINT64 sought = renderer.player->LastSeek(&soughtTime);
    UINT64 shownSeek = 0;
    const bool shown = presenter && presenter->GetShownSampleTime(time, &shownSeek) == S_OK;
    if (shownSeek >= sought) return shown;
    if (pendingSeek) *pendingSeek = soughtTime;
    return false;
}

LONGLONG MediaTimeOfFrame(std::int64_t frame, float frameIntervalMs) {
    return RoundToInt64(double(frame) * double(frameIntervalMs) * kUnitsPerMs);
}

std::int64_t FrameOfMediaTime(LONGLONG time, float frameIntervalMs) {
    if (!(frameIntervalMs > 0.0f) || !std::isfinite(frameIntervalMs)) return 0;
    return RoundToInt64(double(time) / (double(frameIntervalMs) * kUnitsPerMs));
}

sSPEEDCHOICE SpeedForStep(int step, int currentStep, bool canPlayBackwards) {
    switch (step) {
    case 4: return {4.0f, 4};
    case 2: return {2.0f, 2};
    case 1: return {1.0f, 1};
    case -1:
        if (canPlayBackwards) return {-1.0f, -1};
        // Forwards only, -1 toggles between normal and half speed.
        if (currentStep == 1) return {0.5f, -2};
        if (currentStep == -2) return {1.0f, 1};
        return {1.0f, -1};
    case -2: return {canPlayBackwards ? -2.0f : 0.5f, -2};
    case -4: return {canPlayBackwards ? -4.0f : 0.25f, -4};
    default: return {1.0f, step};
    }
}

int PlayMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::shared_ptr<StartGate>& gate) {
    if (renderer.NotReady()) return 0;
    SlotLock slot(channel.slotLock);
    if (!renderer.player) return 1;
    return SUCCEEDED(renderer.player->Play(gate)) ? 1 : 0;
}

int PauseMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer) {
    if (renderer.NotReady()) return 0;
    SlotLock slot(channel.slotLock);
    if (!renderer.player) return 1;
    return SUCCEEDED(renderer.player->Pause()) ? 1 : 0;
}

int StopMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer) {
    // The position is kept: the picture stays where the movie was stopped.
    return PauseMovie(channel, renderer);
}

std::int32_t GetCurrentFrame(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer) {
    if (renderer.NotReady()) return 0;
    SlotLock slot(channel.slotLock);
    std::int64_t frame = 0;
    LONGLONG shown = 0, pending = -1;
    if (ShownSampleTime(renderer, &shown, &pending)) {
        // The picture on screen is what every pane and the snapshot's name go by: the clock
        // runs up to a frame ahead of it while playing, and a paused clock may stand early
        // in a frame whose picture is already there.
        frame = std::clamp<std::int64_t>(FrameOfMediaTime(shown, channel.frameInterval), 0,
                                         std::numeric_limits<std::int32_t>::max());
    } else if (pending >= 0) {
        // The picture of an earlier seek, or the clock still where it stood, would be taken
        // for the frame sought.
        frame = std::min<std::int64_t>(FrameOfMediaTime(pending, channel.frameInterval),
                                       std::numeric_limits<std::int32_t>::max());
    } else if (ComPtr<IMFPresentationClock> clock = renderer.player ? renderer.player->Clock() : nullptr) {
        MFTIME time = 0;
        const PlayerWaitScope call;
        for (int read = 0; read < kClockReads; ++read) {
            if (FAILED(clock->GetTime(&time))) {
                time = -1;
                break;
            }
            // The reads again are a wait for the player too: within the call's budget.
            const auto pause = std::chrono::milliseconds(kClockReadPauseMs);
            if (std::chrono::steady_clock::now() + pause > PlayerWaitDeadline()) break;
            std::this_thread::sleep_for(pause);
            if (time != 0) break;
        }
        frame = time < 0 ? -1 : std::min<std::int64_t>(FrameOfMediaTime(time, channel.frameInterval),
                                                        std::numeric_limits<std::int32_t>::max());
    }
    channel.currentFrame = frame;
    return std::int32_t(frame);
}

int SeekToFrame(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, std::int64_t frame) {
    if (renderer.NotReady()) return 0;
    SlotLock slot(channel.slotLock);
    const ComPtr<IMFVideoDisplayControl> display = renderer.DisplayControl();
    if (!display) return 1;
    const std::int64_t last = std::max<std::int64_t>(GetFrameCount(channel, renderer) - 1, 0);
    frame = std::clamp<std::int64_t>(frame, 0, last);
    if (FAILED(renderer.player->SeekTo(MediaTimeOfFrame(frame, channel.frameInterval)))) return 0;
    display->RepaintVideo();
    return 1;
}

std::int64_t GetFrameCount(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer) {
    SlotLock slot(channel.slotLock);
    UINT64 duration = 0;
    if (!renderer.player) return 0;
    // The source's duration is the movie header's: where that belies the sample table, the
    // table's frames are what plays.
    if (channel.tableFrameCount > 0) return channel.tableFrameCount;
    if (FAILED(renderer.player->GetDuration(&duration))) return 0;
    const LONGLONG time = LONGLONG(std::min<UINT64>(duration, UINT64(std::numeric_limits<LONGLONG>::max())));
    return FrameOfMediaTime(time, channel.frameInterval);
}

int GetVideoSize(const sRENDERERBLOCK& renderer, int* width, int* height) {
    const ComPtr<IMFVideoDisplayControl> display = renderer.DisplayControl();
    SIZE size, aspectRatio;
    if (!display || !width || !height || FAILED(display->GetNativeVideoSize(&size, &aspectRatio))) return 0;
    *width = size.cx;
    *height = size.cy;
    return 1;
}

int SetPlaybackSpeed(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, int step,
                     const std::shared_ptr<SharedMoment>& moment) {
    const sSPEEDCHOICE choice = SpeedForStep(step, channel.speedStep, channel.canPlayBackwards != 0);
    channel.speedStep = choice.step;
    if (!renderer.player) return 1;
    renderer.player->SetVolume(choice.step == 1 ? channel.volume : 0);
    renderer.player->SetRate(choice.rate > kThinningAboveRate ? TRUE : FALSE, choice.rate, moment);
    return 1;
}

int SetVolume(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, int volume) {
    if (!renderer.player) return 1;
    const std::uint16_t level = std::uint16_t(std::clamp(volume, 0, 65535));
    renderer.player->SetVolume(channel.speedStep == 1 ? level : 0);
    channel.volume = level;
    return 1;
}

}  // namespace orv
