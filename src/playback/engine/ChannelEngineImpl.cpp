#include "playback/engine/ChannelEngineImpl.h"

#include <chrono>
#include <utility>

#include "playback/engine/MovieOpen.h"
#include "playback/engine/Overlay.h"
#include "playback/engine/Snapshot.h"
#include "playback/engine/Transport.h"
#include "playback/engine/View.h"

namespace orv {

namespace {

// How long a channel that has its first picture waits for the other's: as long as a seek
// waits for its own first picture, so a channel that cannot get there holds the other no
// longer than that.
constexpr std::chrono::milliseconds kJointStartLimit{5000};

}  // namespace

ChannelEngineImpl::ChannelEngineImpl(ClientRectSource clientRect) : clientRect_(std::move(clientRect)) {}

ChannelEngineImpl::~ChannelEngineImpl() {
    for (auto& [channel, block] : blocks_) DestroyRenderer(*block);
}

sRENDERERBLOCK& ChannelEngineImpl::Block(const sPLAYCHANNEL& channel) const {
    std::lock_guard<std::mutex> lock(blocksLock_);
    std::unique_ptr<sRENDERERBLOCK>& block = blocks_[&channel];
    if (!block) {
        block = std::make_unique<sRENDERERBLOCK>();
        block->clientRect = clientRect_;
    }
    return *block;
}

int ChannelEngineImpl::CheckMovieFile(sPLAYCHANNEL& c, const std::string& path) {
    return orv::CheckMovieFile(c, path);
}
int ChannelEngineImpl::OpenMovie(sPLAYCHANNEL& c, const std::string& path) {
    return orv::OpenMovie(c, Block(c), path);
}
int ChannelEngineImpl::CloseMovie(sPLAYCHANNEL& c) { return orv::CloseMovie(c, Block(c)); }
int ChannelEngineImpl::LoadRecorderData(sPLAYCHANNEL& c, const std::string& moviePath) {
    return orv::LoadRecorderData(c, moviePath);
}
int ChannelEngineImpl::ResetRecorderData(sPLAYCHANNEL& c) { return orv::ResetRecorderData(c); }

int ChannelEngineImpl::PlayMovie(sPLAYCHANNEL& c) {
    std::shared_ptr<StartGate> gate;
    {
        std::lock_guard lock(jointLock_);
        gate = joint_;
    }
    return orv::PlayMovie(c, Block(c), gate);
}

void ChannelEngineImpl::BeginJointStart() {
    std::lock_guard lock(jointLock_);
    if (joint_) joint_->Seal();
    joint_ = StartGate::Create(kJointStartLimit);
    jointRate_ = std::make_shared<SharedMoment>();
}

void ChannelEngineImpl::EndJointStart() {
    std::lock_guard lock(jointLock_);
    if (joint_) joint_->Seal();
    joint_.reset();
    jointRate_.reset();
}
void ChannelEngineImpl::WaitUntilSettled(sPLAYCHANNEL& c) {
    // Without the slot lock: the wait is for the session's threads, which never take it.
    if (const ComPtr<CPlayer> player = PlayerOf(c)) player->WaitUntilSettled();
}
int ChannelEngineImpl::SeekWhilePlaying(sPLAYCHANNEL&, std::int64_t) { return 1; }
int ChannelEngineImpl::PauseMovie(sPLAYCHANNEL& c) { return orv::PauseMovie(c, Block(c)); }
int ChannelEngineImpl::StopMovie(sPLAYCHANNEL& c) { return orv::StopMovie(c, Block(c)); }
std::int32_t ChannelEngineImpl::GetCurrentFrame(sPLAYCHANNEL& c) { return orv::GetCurrentFrame(c, Block(c)); }
int ChannelEngineImpl::SeekToFrame(sPLAYCHANNEL& c, std::int64_t frame) {
    return orv::SeekToFrame(c, Block(c), frame);
}

int ChannelEngineImpl::SetPlaybackSpeed(sPLAYCHANNEL& c, int step) {
    std::shared_ptr<SharedMoment> moment;
    {
        std::lock_guard lock(jointLock_);
        moment = jointRate_;
    }
    return orv::SetPlaybackSpeed(c, Block(c), step, moment);
}
int ChannelEngineImpl::SetKeepAspect(sPLAYCHANNEL& c, int keep) { return orv::SetKeepAspect(c, Block(c), keep); }
std::int64_t ChannelEngineImpl::GetFrameCount(sPLAYCHANNEL& c) { return orv::GetFrameCount(c, Block(c)); }
int ChannelEngineImpl::GetVideoSize(sPLAYCHANNEL& c, int* width, int* height) {
    return orv::GetVideoSize(Block(c), width, height);
}
int ChannelEngineImpl::SetVolume(sPLAYCHANNEL& c, int volume) { return orv::SetVolume(c, Block(c), volume); }

int ChannelEngineImpl::ShowOverlayText(sPLAYCHANNEL& c, const std::string& text) {
    return orv::ShowOverlayText(c, Block(c), text);
}
int ChannelEngineImpl::ClearOverlay(sPLAYCHANNEL& c) { return orv::ClearOverlay(c, Block(c)); }
int ChannelEngineImpl::SetVideoFlip(sPLAYCHANNEL&, int) { return 0; }
int ChannelEngineImpl::SetView(sPLAYCHANNEL& c, int zoomCentreX, int zoomCentreY, int viewOffsetX, int viewOffsetY,
                               float zoomFactor, int redraw) {
    return orv::SetView(c, Block(c), zoomCentreX, zoomCentreY, viewOffsetX, viewOffsetY, zoomFactor, redraw);
}
int ChannelEngineImpl::SaveSnapshot(sPLAYCHANNEL& c, const std::string& path) {
    return orv::SaveSnapshot(Block(c), path);
}
int ChannelEngineImpl::RefreshFrame(sPLAYCHANNEL& c) { return orv::RefreshFrame(Block(c)); }
int ChannelEngineImpl::RepaintVideo(sPLAYCHANNEL& c) { return orv::RepaintVideo(c, Block(c)); }

bool ChannelEngineImpl::HasPlayer(const sPLAYCHANNEL& c) const { return bool(Block(c).player); }

ComPtr<CPlayer> ChannelEngineImpl::PlayerOf(const sPLAYCHANNEL& c) const { return Block(c).player; }

std::uint64_t ChannelEngineImpl::OpenTagOf(const sPLAYCHANNEL& c) const {
    const ComPtr<CPlayer> player = PlayerOf(c);
    return player ? player->OpenTag() : 0;
}

}  // namespace orv
