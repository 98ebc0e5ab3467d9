// The playback road's side of the window's commands: the transport buttons, the video menu,
// the sliders, the map's markers and the graph's events, and what the window's other
// commands (a new source, a job, a still picture, the video's layout) ask of the channels.
#include <algorithm>
#include <climits>
#include <functional>
#include <utility>
#include <vector>

#include "app/road/PlaybackRoad.h"
#include "app/road/RoadChannels.h"
#include "playback/ChannelData.h"

namespace orv {

using road::Channel;
using road::ChannelInitialised;
using road::Slots;

// ---- the transport -----------------------------------------------------------------------

bool CPlaybackRoad::KeepForAfterSeek(std::function<void()> command) {
    if (!m_bSeekHeld) return false;
    m_afterSeek.push_back(std::move(command));
    return true;
}

void CPlaybackRoad::DropSeekDrag() {
    m_host.DropSeekDrag();
    m_bSeekHeld = false;
    m_afterSeek.clear();
}

void CPlaybackRoad::OnPlayPause() {
    if (KeepForAfterSeek([this] { OnPlayPause(); })) return;
    if (!m_bDataLoaded || !ChannelInitialised(0)) return;
    if (Channel(0).playState == PLAY_PLAYING) {
        if (IsNearMovieEnd()) return;
        const int step = GetDefaultSpeedStep();
        if (Channel(0).speedStep != step) SetChannelsSpeed(step);
        const BOOL paused = PausePlayback();
        RefreshVideo();
        // Once more now that both players are paused: a rear player that missed a change
        // of speed takes the default step with the front one.
        SetChannelsSpeed(step);
        TellSpeed();
        TransportShown shown;
        if (paused) shown.Playing(false);
        TellTransport(shown.Redraw());
        SetChannelVolumes(0);
        m_host.EnableControls(RoadControls::kByState);  // the speed buttons work only while playing
        return;
    }
    SetChannelVolumes(m_nVolume);
    m_bIgnoreEnd = FALSE;
    const BOOL played = ResumePlayback();
    // A play command that comes before the data plays once the data is in.
    if (!played) m_bResumeAfterLoad = TRUE;
    TellSpeed();
    TellTransport(TransportShown().Playing(played != FALSE));
    m_host.EnableControls(RoadControls::kByState);
}

void CPlaybackRoad::OnStop() {
    if (KeepForAfterSeek([this] { OnStop(); }) || NearEndLocked()) return;
    RewindToStart();
    m_host.EnableControls(RoadControls::kByState);
}

void CPlaybackRoad::RewindToStart() {
    if (ChannelInitialised(0)) {
        SetChannelsSpeed(GetDefaultSpeedStep());
        Slots(0).SetVolume(Channel(0), 0);
    }
    if (ChannelInitialised(1)) Slots(1).SetVolume(Channel(1), 0);
    TellSpeed();
    LocateChannelsFrame(0);
    UpdatePlaybackPosition(0);
    StopPlayback();
    // A front that refused the stop plays on from the start, and is heard again.
    if (ChannelInitialised(0) && Channel(0).playState == PLAY_PLAYING) SetChannelVolumes(m_nVolume);
}

void CPlaybackRoad::OnNextMovie() {
    if (KeepForAfterSeek([this] { OnNextMovie(); }) || NearEndLocked()) return;
    SetChannelVolumes(0);
    PauseChannels();
    StopPlayback();
    PlayNextMovie();
}

void CPlaybackRoad::ChangeSpeedStep(bool faster) {
    if (KeepForAfterSeek([this, faster] { ChangeSpeedStep(faster); })) return;
    if (NearEndLocked() || !ChannelInitialised(0)) return;
    const int step = GetNextSpeedStep(faster);
    if (step == Channel(0).speedStep) return;
    SetChannelsSpeed(step);
    m_host.EnableControls(RoadControls::kByState);
    TellSpeed();
}

void CPlaybackRoad::TellSpeed() { TellTransport(TransportShown().Speed(ShownSpeedStep())); }

int CPlaybackRoad::ShownSpeedStep() const { return ChannelInitialised(0) ? int(Channel(0).speedStep) : 0; }

void CPlaybackRoad::OnKeepAspect() {
    if (!m_bDataLoaded) return;
    const int flag = ChannelInitialised(0) ? Channel(0).keepAspect : 0;
    if (flag != 0 && flag != 1) return;
    m_bKeepAspect = flag == 1 ? FALSE : TRUE;
    SetChannelsKeepAspect(m_bKeepAspect);
    SetChannelsView(m_views, FALSE);
    TellTransport(TransportShown().KeepAspect(m_bKeepAspect == TRUE));
    TellSpeed();
}

void CPlaybackRoad::ApplyKeepAspect() { SetChannelsKeepAspect(m_bKeepAspect); }

void CPlaybackRoad::SetKeepAspect(BOOL keep) {
    SetChannelsKeepAspect(keep);
    m_bKeepAspect = keep;
    TellTransport(TransportShown().KeepAspect(keep == TRUE));
}

void CPlaybackRoad::ApplyView(BOOL redraw) { SetChannelsView(m_views, redraw); }

// ---- volume and the sliders ----------------------------------------------------------------

void CPlaybackRoad::SetChannelVolumes(int front) {
    if (ChannelInitialised(0)) Slots(0).SetVolume(Channel(0), front);
    if (ChannelInitialised(1)) Slots(1).SetVolume(Channel(1), 0);
}

void CPlaybackRoad::SetVolume(int volume) {
    m_nVolume = std::clamp(volume, 0, kMaxVolume);
    TellTransport(TransportShown().Volume(m_nVolume));
    SetChannelVolumes(m_nVolume);
}

void CPlaybackRoad::OnSliderDown(RoadSlider slider, std::int64_t pos, bool besideThumb) {
    if (m_bBusy || slider != RoadSlider::kSeek || !m_bDataLoaded || !ChannelInitialised(0)) return;
    // Silent and paused while the thumb is held; a click on the track seeks at once.
    SetChannelVolumes(0);
    m_nPlayStateAtDown = Channel(0).playState;
    if (Channel(0).playState != PLAY_PAUSED) PauseChannels();
    if (besideThumb) {
        SeekToFrame(pos, m_nPlayStateAtDown);
        RefreshVideo();
        Slots(0).SetVolume(Channel(0), m_nVolume);
        return;
    }
    m_bSeekHeld = true;
}

void CPlaybackRoad::OnSliderDrag(RoadSlider slider, std::int64_t pos) {
    if (m_bBusy) return;
    if (slider == RoadSlider::kSeek) {
        // The panes show the frame under the thumb; the channels move at the release.
        if (m_bDataLoaded && m_bSeekHeld) UpdatePlaybackPosition(pos);
    } else if (slider == RoadSlider::kVolume) {
        SetVolume(int(std::clamp<std::int64_t>(pos, 0, kMaxVolume)));
    }
}

void CPlaybackRoad::OnSliderUp(RoadSlider slider, std::int64_t pos) {
    if (slider == RoadSlider::kVolume) {
        if (!m_bBusy) SetVolume(int(std::clamp<std::int64_t>(pos, 0, kMaxVolume)));
        return;
    }
    if (slider != RoadSlider::kSeek) return;
    // Whether this release ends a hold of the thumb is the road's own record of the press: the
    // release comes as a posted message, and the slider may tell of its next press by the time
    // it is taken. A click beside the thumb sought at its press.
    const bool held = std::exchange(m_bSeekHeld, false);
    std::vector<std::function<void()>> after;
    after.swap(m_afterSeek);
    // A selection since dropped the hold and what it kept. The commands kept are the user's,
    // and each decides for itself whether it can run now.
    if (!held) return;
    if (!m_bBusy && m_bDataLoaded && ChannelInitialised(0)) {
        SeekToFrame(pos, m_nPlayStateAtDown);
        RefreshVideo();
        SetChannelVolumes(m_nVolume);
    }
    for (const std::function<void()>& command : after) command();
}

// ---- the map's markers and the graph's events ------------------------------------------------

void CPlaybackRoad::OnMapMarkerClick(std::int64_t frame) {
    if (KeepForAfterSeek([this, frame] { OnMapMarkerClick(frame); })) return;
    SeekToFrame(frame, ChannelInitialised(0) ? int(Channel(0).playState) : 0);
}

void CPlaybackRoad::OnPrevEvent() {
    if (KeepForAfterSeek([this] { OnPrevEvent(); }) || NearEndLocked()) return;
    if (!JumpToPrevEvent(m_seek.pos)) JumpToPrevEvent(INT_MAX);  // wraps to the last event
}

void CPlaybackRoad::OnNextEvent() {
    if (KeepForAfterSeek([this] { OnNextEvent(); }) || NearEndLocked()) return;
    if (!JumpToNextEvent(m_seek.pos)) JumpToNextEvent(-1);  // wraps to the first event
}

// ---- a new source, a new folder, an emptied list ------------------------------------------------

void CPlaybackRoad::HaltPlayback() {
    if (!(ChannelInitialised(0) && Channel(0).playState == PLAY_PAUSED)) PauseChannels();
    StopPlayback();
}

void CPlaybackRoad::PauseAndStop() {
    PausePlayback();
    StopPlayback();
}

void CPlaybackRoad::SetDefaultSpeed() { SetChannelsSpeed(GetDefaultSpeedStep()); }

void CPlaybackRoad::CloseMovie() {
    ResetChannels();
    CloseChannels();
}

void CPlaybackRoad::LeaveFolder() {
    if (ChannelInitialised(0) && Channel(0).playState != PLAY_CLOSED) {
        PauseChannels();
        if (!m_bAdvancing) StopPlayback();
    }
    if (!m_bFolderAdvance && ChannelInitialised(0)) SetDefaultSpeed();
    CloseMovie();
    ResetPlaybackUi();
}

void CPlaybackRoad::CloseForEmptyList() {
    HaltPlayback();
    SetDefaultSpeed();
    CloseMovie();
    ResetPlaybackUi();
}

void CPlaybackRoad::ReleaseHeldData() {
    // Nothing of the previous list may stay in the channels for the next open.
    for (int i = 0; i < kChannelCount; ++i) {
        if (!ChannelInitialised(i)) continue;
        Slots(i).ResetRecorderData(Channel(i));
        Channel(i).listGpsTrack.reset();
    }
}

PlayState CPlaybackRoad::HoldForSourceMove() {
    if (!ChannelInitialised(0) || Channel(0).playState == PLAY_CLOSED) return PLAY_CLOSED;
    const PlayState before = Channel(0).playState;
    PauseChannels();
    return before;
}

void CPlaybackRoad::ResumeAfterSourceMove(PlayState before) {
    if (before == PLAY_CLOSED) return;
    const double lengthMs = double(Slots(0).GetFrameCount(Channel(0))) * double(Channel(0).frameInterval);
    // A short movie does not survive a change of its source: it is opened afresh and stays
    // stopped at its start. A longer one plays on.
    if (lengthMs < 2000.0 && IsValidRow(m_nCurRow)) {
        m_bResumeAfterLoad = FALSE;
        SelectMovie(FALSE, FALSE, FALSE);
    } else if (before == PLAY_PLAYING) {
        ResumePlayback();
    }
    SetChannelVolumes(m_nVolume);
}

// ---- the jobs -----------------------------------------------------------------------------------

void CPlaybackRoad::PrepareForJob(bool exportOnly, bool deleting) {
    if (exportOnly) {
        PausePlayback();
        if (ChannelInitialised(0)) CancelPrefetch(Channel(0));
        return;
    }
    RewindToStart();
    if (deleting) {
        ClosePlayback();
        if (ChannelInitialised(0)) CancelPrefetch(Channel(0));
    }
}

std::int64_t CPlaybackRoad::CloseMovieOnScreen() {
    const std::int64_t frame = CurrentFrame();
    m_host.KillRoadTimer(TIMER_PLAYBACK);
    m_bDataLoaded = FALSE;
    CloseChannels();
    ResetChannels();
    return frame < 0 ? 0 : frame;
}

void CPlaybackRoad::RewindAfterJoin() {
    LocateChannelsFrame(0);
    UpdatePlaybackPosition(0);
    StopPlayback();
}

// ---- still pictures -----------------------------------------------------------------------------

bool CPlaybackRoad::BeginSnapshot() {
    int cleared = 0;
    for (int i = 0; i < kChannelCount; ++i)
        if (ChannelInitialised(i)) cleared |= Slots(i).ShowOverlayText(Channel(i), std::string());
    if (!cleared) return false;
    if (ChannelInitialised(0) && Channel(0).playState == PLAY_PLAYING) PausePlayback();
    RefreshVideo();
    return true;
}

void CPlaybackRoad::EndSnapshot() {
    for (int i = 0; i < kChannelCount; ++i)
        if (ChannelInitialised(i)) Slots(i).ClearOverlay(Channel(i));
}

void CPlaybackRoad::SettlePicture() { SettleChannels(); }

CPlaybackRoad::SnapshotResult CPlaybackRoad::SaveSnapshots(const std::string& front, const std::string& rear) {
    // The front goes first and the rear only behind it, so that a front that failed never
    // leaves an older front of its name beside a new rear.
    const std::string paths[kChannelCount] = {front, rear};
    SnapshotResult result;
    for (int i = 0; i < kChannelCount && !result.missing; ++i) {
        if (!ChannelInitialised(i) || paths[i].empty()) continue;
        if (Slots(i).SaveSnapshot(Channel(i), paths[i])) ++result.saved;
        else result.missing = Channel(i).playState != PLAY_CLOSED;
    }
    return result;
}

// ---- what the window reads ----------------------------------------------------------------------

FrontChannel CPlaybackRoad::Front() const {
    FrontChannel front;
    if (!ChannelInitialised(0)) return front;
    const sPLAYCHANNEL& channel = Channel(0);
    front.initialised = true;
    front.state = channel.playState;
    front.speedStep = channel.speedStep;
    front.keepAspect = channel.keepAspect;
    return front;
}

bool CPlaybackRoad::IsChannelInitialised(int channel) const {
    return channel >= 0 && channel < kChannelCount && ChannelInitialised(channel);
}

bool CPlaybackRoad::IsChannelShowing(int channel) const {
    return IsChannelInitialised(channel) && Channel(channel).playState != PLAY_CLOSED;
}

std::int64_t CPlaybackRoad::CurrentFrame() const {
    return ChannelInitialised(0) ? Slots(0).GetCurrentFrame(Channel(0)) : 0;
}

std::int64_t CPlaybackRoad::FrameCount() const {
    return ChannelInitialised(0) ? Slots(0).GetFrameCount(Channel(0)) : 0;
}

SIZE CPlaybackRoad::VideoSize(int channel) const {
    int width = 0, height = 0;
    if (IsChannelInitialised(channel)) Slots(channel).GetVideoSize(Channel(channel), &width, &height);
    return SIZE{std::max(width, 0), std::max(height, 0)};
}

}  // namespace orv
