// The playback engine that the main window installs on both channels: each channel plays
// its movie through its own player (CPlayer) on the media layer.
//
// Each channel shows its picture in its owner window (the main window's two video
// surfaces); channel 2 follows channel 1's frame (the channel facade seeks and plays both).
// A channel whose owner has no client area decodes without a view and still answers the
// picture size and the snapshot.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "playback/ChannelEngine.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

class ChannelEngineImpl final : public ChannelEngine {
public:
    // clientRect gives the client area of a channel's owner window (the view and the
    // overlay are laid out in it).
    explicit ChannelEngineImpl(ClientRectSource clientRect);
    // Closes every movie still open.
    ~ChannelEngineImpl() override;
    ChannelEngineImpl(const ChannelEngineImpl&) = delete;
    ChannelEngineImpl& operator=(const ChannelEngineImpl&) = delete;

    int CheckMovieFile(sPLAYCHANNEL& channel, const std::string& path) override;
    int OpenMovie(sPLAYCHANNEL& channel, const std::string& path) override;
    int CloseMovie(sPLAYCHANNEL& channel) override;
    int LoadRecorderData(sPLAYCHANNEL& channel, const std::string& moviePath) override;
    int ResetRecorderData(sPLAYCHANNEL& channel) override;

    int PlayMovie(sPLAYCHANNEL& channel) override;
    // Nothing calls it; it does nothing and gives 1.
    int SeekWhilePlaying(sPLAYCHANNEL& channel, std::int64_t frame) override;
    int PauseMovie(sPLAYCHANNEL& channel) override;
    int StopMovie(sPLAYCHANNEL& channel) override;
    std::int32_t GetCurrentFrame(sPLAYCHANNEL& channel) override;
    int SeekToFrame(sPLAYCHANNEL& channel, std::int64_t frame) override;

    int SetPlaybackSpeed(sPLAYCHANNEL& channel, int step) override;
    int SetKeepAspect(sPLAYCHANNEL& channel, int keep) override;
    std::int64_t GetFrameCount(sPLAYCHANNEL& channel) override;
    int GetVideoSize(sPLAYCHANNEL& channel, int* width, int* height) override;
    int SetVolume(sPLAYCHANNEL& channel, int volume) override;

    int ShowOverlayText(sPLAYCHANNEL& channel, const std::string& text) override;
    int ClearOverlay(sPLAYCHANNEL& channel) override;
    // Nothing calls it; the picture is never turned: 0.
    int SetVideoFlip(sPLAYCHANNEL& channel, int flip) override;
    int SetView(sPLAYCHANNEL& channel, int zoomCentreX, int zoomCentreY, int viewOffsetX, int viewOffsetY,
                float zoomFactor, int redraw) override;
    int SaveSnapshot(sPLAYCHANNEL& channel, const std::string& path) override;
    int RefreshFrame(sPLAYCHANNEL& channel) override;
    int RepaintVideo(sPLAYCHANNEL& channel) override;

    bool HasPlayer(const sPLAYCHANNEL& channel) const override;
    void BeginJointStart() override;
    void EndJointStart() override;
    void WaitUntilSettled(sPLAYCHANNEL& channel) override;

    // The player of the channel's open movie, or null.
    ComPtr<CPlayer> PlayerOf(const sPLAYCHANNEL& channel) const;
    // The tag of that player's current open (CPlayer::OpenTag); 0 without a player.
    std::uint64_t OpenTagOf(const sPLAYCHANNEL& channel) const override;

private:
    // The channel's renderer block, made on first use; it lives as long as the engine.
    sRENDERERBLOCK& Block(const sPLAYCHANNEL& channel) const;

    const ClientRectSource clientRect_;
    mutable std::mutex blocksLock_;  // the map only; a block is guarded by its channel's slot lock
    mutable std::map<const sPLAYCHANNEL*, std::unique_ptr<sRENDERERBLOCK>> blocks_;
    std::mutex jointLock_;
    std::shared_ptr<StartGate> joint_;  // between BeginJointStart and EndJointStart
    std::shared_ptr<SharedMoment> jointRate_;  // the same
};

}  // namespace orv
