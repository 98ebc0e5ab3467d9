#include "playback/engine/MovieOpen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>

#include "platform/base/HeapPolicy.h"
#include "platform/media/MediaFoundation.h"
#include "playback/ChannelData.h"
#include "playback/engine/HResultText.h"
#include "playback/engine/OverlayBitmap.h"

namespace orv {

namespace {

using SlotLock = std::lock_guard<std::recursive_mutex>;

// Lets go of what the active scanner holds: its records, its file and its path.
void ClearActiveScanner(sMOVIESCANNER& scanner) {
    scanner.busy = false;
    scanner.Reset();
    scanner.CloseMapping();
    scanner.path.clear();
}

// A frame rate attribute as frames per second; 0 when it is missing or empty.
double FrameRate(IMFMediaType* type, const GUID& key) {
    UINT32 numerator = 0, denominator = 0;
    if (FAILED(MFGetAttributeRatio(type, key, &numerator, &denominator)) || denominator == 0) return 0.0;
    return double(numerator) / double(denominator);
}

}  // namespace

int CheckMovieFile(sPLAYCHANNEL& channel, const std::string& path) {
    return IsMp4File(channel, path) ? 1 : 0;
}

int OpenMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::string& path) {
    {
        SlotLock slot(channel.slotLock);
        if (!CheckMovieFile(channel, path)) return 0;
        const int scan = PrescanMovie(channel, path);
        if (scan != 1) return scan;
        channel.canPlayBackwards = 0;
        if (!CreateRenderer(renderer, channel.owner) || !OpenRendererFile(renderer, path) ||
            !PrepareRenderer(renderer)) {
            DestroyRenderer(renderer);
            return 0;
        }
    }
    // Channel 1's slot lock comes before this channel's: it is asked holding none of ours.
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    if (front.initialised && g_aPlayerDriverTable[0].GetFrameCount2(front) > 0) return 1;
    SlotLock slot(channel.slotLock);
    DestroyRenderer(renderer);
    return 0;
}

int CloseMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer) {
    SlotLock slot(channel.slotLock);
    // A playing movie stops where it is before its session closes.
    if (channel.playState != PLAY_CLOSED && renderer.player) renderer.player->Pause();
    DestroyRenderer(renderer);
    return 1;
}

int LoadRecorderData(sPLAYCHANNEL& channel, const std::string& moviePath) {
    // The data lock comes before the slot lock, so the data is read holding neither.
    if (!LoadChannelData(channel, moviePath)) return 0;
    // The frame table asks channel 1 for its frame count: its slot lock first.
    SlotLock front(g_aPlayChannel[0].slotLock);
    SlotLock slot(channel.slotLock);
    sMOVIESCANNER& staging = channel.scanners[kStagingScanner];
    if (!staging.BuildFrameTable()) staging.Reset();
    return 1;
}

int ResetRecorderData(sPLAYCHANNEL& channel) {
    SlotLock slot(channel.slotLock);
    sMOVIESCANNER& active = channel.scanners[kActiveScanner];
    ClearActiveScanner(active);
    active.Reset();
    channel.scanners[kStagingScanner].Reset();
    return 1;
}

int PrescanMovie(sPLAYCHANNEL& channel, const std::string& path) {
    SlotLock slot(channel.slotLock);
    sMOVIESCANNER& scanner = channel.scanners[kActiveScanner];
    float durationS = 0.0f;
    TrackTiming timing;
    int result = 0;
    channel.tableFrameCount = 0;
    // The interval and the frame count are the sample table's where the header's duration
    // belies it; the shortest-movie rule goes by the header's duration.
    if (scanner.OpenMapping(path) && PrescanMovieBoxes(scanner, &durationS, &timing)) {
        channel.frameInterval = scanner.frameInterval;
        if (timing.headerBelied) {
            channel.tableFrameCount =
                std::int64_t(std::min<std::uint64_t>(timing.frames, std::numeric_limits<std::int64_t>::max()));
        }
        // Counted in single precision: 2.0 s at 30 frames per second is too short.
        if (durationS > kShortestMovieS) {
            result = 1;
        } else {
            result = std::trunc(1000.0f / channel.frameInterval) == kAlwaysPlayedFps ? 1 : 2;
        }
    }
    ClearActiveScanner(scanner);
    if (result == 2) return 2;
    if (result == 0 && !DetectFrameRate(channel, path)) return 0;
    scanner.frameInterval = channel.frameInterval;
    channel.scanners[kStagingScanner].frameInterval = channel.frameInterval;
    return 1;
}

int DetectFrameRate(sPLAYCHANNEL& channel, const std::string& path) {
    ComPtr<IMFMediaSource> source;
    if (FAILED(MFCreateSourceFromURL(path, source.ReleaseAndGetAddressOf()))) return 0;
    ComPtr<IMFPresentationDescriptor> descriptor;
    DWORD streams = 0;
    if (SUCCEEDED(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf())))
        descriptor->GetStreamDescriptorCount(&streams);
    int found = 0;
    for (DWORD i = 0; i < streams && !found; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        if (FAILED(descriptor->GetStreamDescriptorByIndex(i, &selected, stream.ReleaseAndGetAddressOf())) ||
            FAILED(stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf())))
            break;
        ComPtr<IMFMediaType> type;
        if (!ShowHResult(handler->GetCurrentMediaType(type.ReleaseAndGetAddressOf()))) break;
        double rate = FrameRate(type.Get(), MF_MT_FRAME_RATE);
        if (!(rate > 0.0)) rate = FrameRate(type.Get(), MF_MT_REAL_FRAME_RATE);
        const float interval = float(1000.0 / rate);
        if (rate > 0.0 && std::isfinite(interval) && interval > 0.0f) {
            SlotLock slot(channel.slotLock);
            channel.frameInterval = interval;
            found = 1;
        }
    }
    source->Shutdown();
    return found;
}

int CreateRenderer(sRENDERERBLOCK& renderer, HWND window) {
    DestroyRenderer(renderer);
    CPlayer* player = nullptr;
    if (FAILED(CPlayer::CreateInstance(window, &player))) return 0;
    renderer.player.Attach(player);
    renderer.overlayBitmap = MakeOverlayBitmap();
    return 1;
}

int OpenRendererFile(sRENDERERBLOCK& renderer, const std::string& path) {
    return renderer.player && SUCCEEDED(renderer.player->OpenFile(path)) ? 1 : 0;
}

int PrepareRenderer(sRENDERERBLOCK& renderer) {
    // The rate control arrives with the topology; until then the session plays at 1.0.
    if (ComPtr<IMFRateControl> rate = renderer.player->RateControl()) rate->SetRate(FALSE, 1.0f);
    return 1;
}

void DestroyRenderer(sRENDERERBLOCK& renderer) {
    // The session holds the player while it waits for events: close it first.
    const bool hadPlayer = renderer.player.Get() != nullptr;
    if (hadPlayer) renderer.player->CloseSession();
    renderer.player.Reset();
    renderer.overlayBitmap = QImage();
    // What the movie's threads freed stays in the C library's heaps until trimmed.
    if (hadPlayer) TrimHeapsSoon();
}

}  // namespace orv
