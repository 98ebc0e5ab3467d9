#include "playback/PlayChannel.h"

#include "platform/base/WindowDpi.h"
#include "playback/ChannelData.h"
#include "playback/ChannelEngine.h"

namespace orv {

namespace {

// The face name cut to the characters a font face holds (UTF-8, cut between characters).
std::string FaceName(const std::string& face) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < face.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(face[i]) & 0xC0) == 0x80;
        if (continuation) continue;
        if (characters == sOVERLAYFONT::kMaxFaceChars) return face.substr(0, i);
        ++characters;
    }
    return face;
}

std::optional<sOVERLAYFONT> MakeOverlayFont(HWND owner, const std::string& face) {
    const std::optional<int> dpi = WindowDpi(owner);
    if (!dpi) return std::nullopt;
    sOVERLAYFONT font;
    font.face = FaceName(face);
    font.height = -MulDiv(sOVERLAYFONT::kPoints, *dpi, 72);  // 72 points to the inch
    return font;
}

// Every channel's frame table maps channel 1's frames.
std::int64_t FrontFrameCount() {
    return g_aPlayerDriverTable[0].GetFrameCount2(g_aPlayChannel[0]);
}

// ---- Slots that hand their work to the engine ----

int CheckMovieFile(sPLAYCHANNEL& c, const std::string& path) { return EngineOf(c).CheckMovieFile(c, path); }

int OpenMovie(sPLAYCHANNEL& c, const std::string& path) {
    const int result = EngineOf(c).OpenMovie(c, path);
    if (result == 1) c.playState = PLAY_STOPPED;
    return result;
}

int CloseMovie(sPLAYCHANNEL& c) {
    const int result = EngineOf(c).CloseMovie(c);
    c.playState = PLAY_CLOSED;
    return result;
}

int LoadRecorderData(sPLAYCHANNEL& c, const std::string& moviePath) {
    return EngineOf(c).LoadRecorderData(c, moviePath);
}

int ResetRecorderData(sPLAYCHANNEL& c) { return EngineOf(c).ResetRecorderData(c); }

// Play, pause and stop: asked for the state the channel is in, nothing happens; the
// state moves only when a player took the call.
int ChangePlayState(sPLAYCHANNEL& c, PlayState target, int (ChannelEngine::*operation)(sPLAYCHANNEL&)) {
    if (c.playState == target) return 1;
    ChannelEngine& engine = EngineOf(c);
    const int result = (engine.*operation)(c);
    if (result != 0 && engine.HasPlayer(c)) c.playState = target;
    return result;
}

int PlayMovie(sPLAYCHANNEL& c) { return ChangePlayState(c, PLAY_PLAYING, &ChannelEngine::PlayMovie); }
int PauseMovie(sPLAYCHANNEL& c) { return ChangePlayState(c, PLAY_PAUSED, &ChannelEngine::PauseMovie); }
int StopMovie(sPLAYCHANNEL& c) { return ChangePlayState(c, PLAY_STOPPED, &ChannelEngine::StopMovie); }

int SeekWhilePlaying(sPLAYCHANNEL& c, std::int64_t frame) { return EngineOf(c).SeekWhilePlaying(c, frame); }
std::int32_t GetCurrentFrame(sPLAYCHANNEL& c) { return EngineOf(c).GetCurrentFrame(c); }
int SeekToFrame(sPLAYCHANNEL& c, std::int64_t frame) { return EngineOf(c).SeekToFrame(c, frame); }
int LocateFrame(sPLAYCHANNEL& c, std::int64_t frame) { return SeekToFrame(c, frame); }

int SetPlaybackSpeed(sPLAYCHANNEL& c, int step) { return EngineOf(c).SetPlaybackSpeed(c, step); }
int SetKeepAspect(sPLAYCHANNEL& c, int keep) { return EngineOf(c).SetKeepAspect(c, keep); }
std::int64_t GetFrameCount(sPLAYCHANNEL& c) { return EngineOf(c).GetFrameCount(c); }
int GetVideoSize(sPLAYCHANNEL& c, int* width, int* height) {
    return EngineOf(c).GetVideoSize(c, width, height);
}
int SetVolume(sPLAYCHANNEL& c, int volume) { return EngineOf(c).SetVolume(c, volume); }
int ShowOverlayText(sPLAYCHANNEL& c, const std::string& text) { return EngineOf(c).ShowOverlayText(c, text); }
int ClearOverlay(sPLAYCHANNEL& c) { return EngineOf(c).ClearOverlay(c); }
int SetVideoFlip(sPLAYCHANNEL& c, int flip) { return EngineOf(c).SetVideoFlip(c, flip); }

int SetView(sPLAYCHANNEL& c, int zoomCentreX, int zoomCentreY, int viewOffsetX, int viewOffsetY,
            float zoomFactor, int redraw) {
    return EngineOf(c).SetView(c, zoomCentreX, zoomCentreY, viewOffsetX, viewOffsetY, zoomFactor, redraw);
}

int SaveSnapshot(sPLAYCHANNEL& c, const std::string& path) { return EngineOf(c).SaveSnapshot(c, path); }
int RefreshFrame(sPLAYCHANNEL& c) { return EngineOf(c).RefreshFrame(c); }
int RepaintVideo(sPLAYCHANNEL& c) { return EngineOf(c).RepaintVideo(c); }

// ---- Slots of the channel itself ----

void SetDecodeOption(sPLAYCHANNEL& c, int flag) { c.decodeOption = flag; }
void SetHardwareDecode(sPLAYCHANNEL& c, int flag) { c.hardwareDecode = flag; }
void DoNothing(sPLAYCHANNEL&) {}

// Nothing asks for the trick mode's stepped playback, so only the mode is kept.
int SetTrickMode(sPLAYCHANNEL& c, int mode) {
    if (!(c.frameInterval > 0.0f)) return 0;
    c.trickMode = mode;
    return 1;
}

std::int64_t GetFirstFrame(sPLAYCHANNEL&) { return 0; }
float GetFrameInterval(sPLAYCHANNEL& c) { return c.frameInterval; }

}  // namespace

constexpr PlayerDriverTable kPlayerDriverOperations = {
    InitChannel,       TermChannel,      CheckMovieFile,   OpenMovie,       CloseMovie,
    LoadRecorderData,  ResetRecorderData, PlayMovie,       SeekWhilePlaying, PauseMovie,
    StopMovie,         GetCurrentFrame,  SeekToFrame,      LocateFrame,     SetDecodeOption,
    DoNothing,         SetHardwareDecode, DoNothing,       SetPlaybackSpeed, SetTrickMode,
    SetKeepAspect,     GetFrameCount,    GetFrameCount,    GetFirstFrame,   GetFrameInterval,
    GetVideoSize,      SetVolume,        ShowOverlayText,  ClearOverlay,    SetVideoFlip,
    SetView,           SaveSnapshot,     RefreshFrame,     RepaintVideo,
};
static_assert(sizeof(PlayerDriverTable) == kPlayerDriverSlots * sizeof(&DoNothing));

sPLAYCHANNEL g_aPlayChannel[kChannelCount];
constinit PlayerDriverTable g_aPlayerDriverTable[kChannelCount] = {kPlayerDriverOperations,
                                                                   kPlayerDriverOperations};

int InitChannel(sPLAYCHANNEL& channel, HWND owner, const std::string& fontFace) {
    // A channel set up again may still hold a movie, or what a failed open left behind.
    CloseMovie(channel);
    TermChannel(channel);

    std::lock_guard<std::recursive_mutex> data(channel.dataLock);
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    channel.owner = owner;
    channel.speedStep = 1;
    channel.keepAspect = 1;
    channel.playState = PLAY_CLOSED;
    channel.currentFrame = 0;
    channel.listGpsTrack.reset();
    channel.overlayFont = MakeOverlayFont(owner, fontFace);
    bool ready = true;
    for (sMOVIESCANNER& scanner : channel.scanners) {
        ready = scanner.Init() && ready;
        scanner.SetFrameCountSource(FrontFrameCount);
    }
    return ready ? 1 : 0;
}

int TermChannel(sPLAYCHANNEL& channel) {
    CancelPrefetch(channel);
    std::lock_guard<std::recursive_mutex> data(channel.dataLock);
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    channel.scanners[kPrefetchScanner].cancel = false;
    channel.listGpsTrack.reset();
    channel.overlayFont.reset();
    channel.playState = PLAY_CLOSED;
    for (sMOVIESCANNER& scanner : channel.scanners) scanner.Term();
    return 1;
}

}  // namespace orv
