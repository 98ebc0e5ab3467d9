#include "playback/ChannelEngine.h"

#include "playback/ChannelData.h"
#include "playback/PlayChannel.h"

namespace orv {

namespace {

class NullEngine final : public ChannelEngine {
public:
    int CheckMovieFile(sPLAYCHANNEL& channel, const std::string& path) override {
        return IsMp4File(channel, path) ? 1 : 0;
    }
    int OpenMovie(sPLAYCHANNEL&, const std::string&) override { return 0; }
    int CloseMovie(sPLAYCHANNEL&) override { return 1; }
    int LoadRecorderData(sPLAYCHANNEL&, const std::string&) override { return 0; }
    int ResetRecorderData(sPLAYCHANNEL&) override { return 1; }

    int PlayMovie(sPLAYCHANNEL&) override { return 1; }
    int SeekWhilePlaying(sPLAYCHANNEL&, std::int64_t) override { return 1; }
    int PauseMovie(sPLAYCHANNEL&) override { return 1; }
    int StopMovie(sPLAYCHANNEL&) override { return 1; }
    std::int32_t GetCurrentFrame(sPLAYCHANNEL&) override { return 0; }
    int SeekToFrame(sPLAYCHANNEL&, std::int64_t) override { return 1; }

    int SetPlaybackSpeed(sPLAYCHANNEL&, int) override { return 1; }
    int SetKeepAspect(sPLAYCHANNEL& channel, int keep) override {
        channel.keepAspect = keep;
        return 1;
    }
    std::int64_t GetFrameCount(sPLAYCHANNEL&) override { return 0; }
    int GetVideoSize(sPLAYCHANNEL&, int*, int*) override { return 0; }
    int SetVolume(sPLAYCHANNEL&, int) override { return 1; }

    int ShowOverlayText(sPLAYCHANNEL&, const std::string&) override { return 0; }
    int ClearOverlay(sPLAYCHANNEL&) override { return 1; }
    int SetVideoFlip(sPLAYCHANNEL&, int) override { return 0; }
    int SetView(sPLAYCHANNEL&, int, int, int, int, float, int) override { return 0; }
    int SaveSnapshot(sPLAYCHANNEL&, const std::string&) override { return 0; }
    int RefreshFrame(sPLAYCHANNEL&) override { return 0; }
    int RepaintVideo(sPLAYCHANNEL&) override { return 0; }

    bool HasPlayer(const sPLAYCHANNEL&) const override { return false; }
};

}  // namespace

ChannelEngine& NullChannelEngine() {
    static NullEngine engine;
    return engine;
}

ChannelEngine& EngineOf(const sPLAYCHANNEL& channel) {
    return channel.engine ? *channel.engine : NullChannelEngine();
}

}  // namespace orv
