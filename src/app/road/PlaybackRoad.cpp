// The main window's playback road: from a selected row to a playing movie whose data
// panes follow the frame on screen, and on to the next recording.
#include "app/road/PlaybackRoad.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <utility>

#include "app/commands/AppMessages.h"
#include "app/road/RoadChannels.h"
#include "filer/RecordingBrowser.h"
#include "playback/ChannelData.h"
#include "playback/ChannelEngine.h"
#include "recorder/RecordingName.h"

namespace orv {

namespace {

// "hMutexCache" held for a block (the locks and their order: PlaybackRoad.h).
using CacheLock = std::lock_guard<std::recursive_mutex>;

constexpr int kTextOpenFailed = 96;
constexpr int kTextTooShort = 97;

}  // namespace

using road::Channel;
using road::ChannelInitialised;
using road::FrameCountOf;
using road::Slots;

CPlaybackRoad::CPlaybackRoad(IPlaybackRoadHost& host, const PlaybackLends& lends)
    : m_host(host),
      m_browser(lends.browser),
      m_hMutexCache(lends.mutexCache),
      m_hMutexCpSet(lends.mutexCpSet),
      m_detectors(lends.detectors),
      m_views(lends.views) {}

CPlaybackRoad::~CPlaybackRoad() {
    // The window ends the threads at its clean-up; a thread still here only reads a file.
    if (m_loaderThread.joinable()) m_loaderThread.join();
    if (m_prefetchThread.joinable()) m_prefetchThread.join();
}

void CPlaybackRoad::Connect(IPlaybackListener& listener) {
    if (std::find(m_listeners.begin(), m_listeners.end(), &listener) == m_listeners.end())
        m_listeners.push_back(&listener);
}

// ---- rows and paths ---------------------------------------------------------------------

IFileRows* CPlaybackRoad::Rows() const { return m_browser.Rows(); }

bool CPlaybackRoad::IsValidRow(int row) const {
    const IFileRows* rows = Rows();
    return rows && row >= 0 && row < rows->RowCount();
}

std::string CPlaybackRoad::CurrentPath() const { return IsValidRow(m_nCurRow) ? m_entry.path : std::string(); }

void CPlaybackRoad::TakeRowFromList(int row) {
    const std::optional<sFILEENTRY> entry = Rows() ? Rows()->EntryAt(row) : std::nullopt;
    m_nCurRow = row;
    m_entry = entry.value_or(sFILEENTRY{});
}

bool CPlaybackRoad::TakeReselectRequest() {
    if (!m_browser.TakeRefilter()) return false;
    // A filter change that leaves the open recording at the current row keeps it going where
    // it is; another recording at that row is opened.
    const std::optional<sFILEENTRY> shown = Rows() ? Rows()->EntryAt(m_nCurRow) : std::nullopt;
    return m_strOpenPath.empty() || !shown || shown->path != m_strOpenPath;
}

int CPlaybackRoad::GetDefaultSpeedStep() const { return DefaultSpeedStep(CurrentPath()); }

// ---- a new row ---------------------------------------------------------------------------

void CPlaybackRoad::ForgetRow() { MoveCurrentRow(-1); }

void CPlaybackRoad::MoveCurrentRow(int row) {
    std::unique_lock<std::recursive_mutex> lock;
    if (m_hMutexCache) lock = std::unique_lock(*m_hMutexCache);
    m_nCurRow = row;
    // The list shows the same recording at the new row.
    if (row < 0) m_entry = sFILEENTRY{};
}

void CPlaybackRoad::OnFileRowSelected(int row, const sFILEENTRY& entry) {
    if (!m_hMutexCache) return;
    CacheLock lock(*m_hMutexCache);
    // Whether the row is to be opened was decided by the list, which asked for the
    // reselect request once.
    m_nCurRow = row;
    m_entry = entry;
    m_bOpenFailed = FALSE;  // the failure was the last row's
    TellCleared(kPartData);
    m_bHasPosition = FALSE;
    SetChannelVolumes(0);
    m_host.UpdateMapPane();
    if (!m_bFolderAdvance) m_bIgnoreEnd = TRUE;
    if (!SelectMovie(TRUE, TRUE, TRUE)) m_bIgnoreEnd = FALSE;
    if (!m_bFolderAdvance && ChannelInitialised(0)) {
        const int step = GetDefaultSpeedStep();
        if (Channel(0).speedStep != step) SetChannelsSpeed(step);
    }
}

BOOL CPlaybackRoad::SelectMovie(BOOL resetSeek, BOOL resetGraph, BOOL resetInfo) {
    if (!IsValidRow(m_nCurRow)) return FALSE;
    // A data load of an earlier selection that answers late is dropped by this number.
    ++m_nSelectionSerial;
    // A thumb held, and the commands kept for its release, were for the recording before.
    DropSeekDrag();
    m_browser.SetCurrentRow(m_nCurRow);
    m_bHasPosition = FALSE;
    StopPlayback();
    m_bDataLoaded = FALSE;
    m_bSelecting = TRUE;
    if (resetSeek) UpdateSeekSlider(0);
    const unsigned parts = (resetGraph ? kPartScale : 0u) | (resetInfo ? kPartValues : 0u);
    if (parts) TellCleared(parts);
    if (!m_bAdvancing) m_host.EnableControls(RoadControls::kByState);
    m_host.KillRoadTimer(TIMER_OPEN_DELAY);
    if (m_bBusy) {
        m_host.KillRoadTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        m_host.ShowWaitCursor(false);
    }
    // The newest selection wins: an open still waiting for its players is given up, and
    // their notices, when they come, are dropped; this row opens after the delay.
    ReadyChannelsReset();
    m_bOpenArmed = TRUE;
    if (!m_bBusy) {
        m_bBusy = TRUE;
        m_host.ShowWaitCursor(true);
    }
    m_host.EnableControls(RoadControls::kNone);
    m_host.SetRoadTimer(TIMER_BUSY_TIMEOUT, kBusyTimeoutMs);
    m_host.SetRoadTimer(TIMER_OPEN_DELAY, kOpenDelayMs);
    return TRUE;
}

void CPlaybackRoad::OnOpenDelay() {
    m_host.KillRoadTimer(TIMER_OPEN_DELAY);
    if (m_bOpenArmed) {
        m_bOpenArmed = FALSE;
        if (!OpenSelectedMovie()) {
            m_host.KillRoadTimer(TIMER_BUSY_TIMEOUT);
            m_bBusy = FALSE;
            m_host.EnableControls(RoadControls::kIdle);
            m_bOpenArmed = TRUE;
            m_host.LeaveLargeVideo();
        }
        m_bNearEnd = FALSE;
    }
    m_host.ShowWaitCursor(false);
}

void CPlaybackRoad::OnBusyTimeout() {
    m_host.KillRoadTimer(TIMER_BUSY_TIMEOUT);
    m_bBusy = FALSE;
    m_bFolderAdvance = FALSE;
    m_host.ShowWaitCursor(false);
    m_host.PaintVideo(false);
    m_host.EnableControls(RoadControls::kIdle);
    m_bOpenArmed = TRUE;
}

void CPlaybackRoad::ReadyChannelsReset() {
    m_host.KillRoadTimer(TIMER_REAR_READY);
    m_bRearRejoining = false;
    m_bReadyExpected = {false, false};
    m_bReadySeen = {false, false};
    m_aReadyTag = {0, 0};
}

BOOL CPlaybackRoad::OpenSelectedMovie() {
    ClosePlayback();
    m_host.EnableControls(RoadControls::kNone);
    if (!IsValidRow(m_nCurRow)) return FALSE;
    m_bOpenFailed = FALSE;
    // The recording the list shows at the row now, which a job or a new source may have
    // changed since the selection.
    TakeRowFromList(m_nCurRow);
    const std::string path = m_entry.path;
    ReadyChannelsReset();
    const int result = OpenChannels(path);
    if (result != 0 && result != 2) {
        // The movie opens when every channel that took a movie has said it is ready. Each
        // player tags its notice with its open, so that a late notice of a movie closed
        // since is told from this one's.
        m_bReadyExpected = {ChannelInitialised(0), ChannelInitialised(1) && Channel(1).rearOpened == 1};
        for (int i = 0; i < kChannelCount; ++i) {
            m_aReadyTag[std::size_t(i)] =
                m_bReadyExpected[std::size_t(i)] ? EngineOf(Channel(i)).OpenTagOf(Channel(i)) : 0;
        }
        m_strOpenPath = path;
        m_bBusy = TRUE;
        const RecordingKind kind = GetRecordingKind(path);
        m_bParkingMovie = kind == REC_PARKING || kind == REC_PARKING_IMPACT;
        m_bParkingNoFix = FALSE;
        m_bParkingTrace = m_bParkingMovie ? m_bTraceFile : FALSE;
        // The map window holds the map again whatever it held before, and a menu of the
        // movie that was open goes.
        RecordingOpened opening;
        opening.stage = RecordingOpened::kOpening;
        opening.path = path;
        opening.parkingTrace = m_bParkingTrace != FALSE;
        Tell(&IPlaybackListener::OnRecordingOpened, opening);
        return TRUE;
    }
    m_bHasPosition = FALSE;
    m_host.UpdateMapPane();
    if (m_browser.TakeContinue()) {
        // In continuous play a movie that does not open is passed over without a word.
        m_bOpenArmed = TRUE;
        if (IsValidRow(m_nCurRow + 1)) {
            m_bFolderAdvance = FALSE;
            PlayNextMovie();
        } else {
            m_bFolderAdvance = TRUE;
            AdvanceFolderOrStop();
        }
        return FALSE;
    }
    if (m_bFolderAdvance) {
        m_bOpenArmed = TRUE;
        AdvanceFolderOrStop();
        return FALSE;
    }
    m_host.PaintVideo(true);
    m_host.ShowError(result == 2 ? kTextTooShort : kTextOpenFailed);
    m_bOpenFailed = TRUE;
    m_host.EnableControls(RoadControls::kByState);
    return FALSE;
}

void CPlaybackRoad::OnPlayerReady(int channel, WPARAM tag) {
    if (channel < 0 || channel >= kChannelCount || !m_bReadyExpected[std::size_t(channel)] ||
        tag != WPARAM(m_aReadyTag[std::size_t(channel)]))
        return;
    m_bReadySeen[std::size_t(channel)] = true;
    const bool frontReady = !m_bReadyExpected[0] || m_bReadySeen[0];
    const bool rearReady = !m_bReadyExpected[1] || m_bReadySeen[1];
    if (frontReady && rearReady) {
        m_host.KillRoadTimer(TIMER_REAR_READY);
        if (std::exchange(m_bRearRejoining, false)) RearRejoined();
        else FireMovieOpened();
    } else if (channel == 0) {
        m_host.SetRoadTimer(TIMER_REAR_READY, kRearReadyWaitMs);
    }
}

void CPlaybackRoad::OnRearReadyTimeout() {
    m_host.KillRoadTimer(TIMER_REAR_READY);
    if (std::exchange(m_bRearRejoining, false)) {
        // A rear opened again that never got ready is closed again: the next play tries anew.
        m_bReadyExpected[1] = false;
        if (ChannelInitialised(1)) Slots(1).CloseMovie(Channel(1));
        return;
    }
    if (m_bReadySeen[0] && !m_bReadySeen[1]) {
        m_bReadyExpected[1] = false;
        FireMovieOpened();
    }
}

void CPlaybackRoad::FireMovieOpened() {
    // Once per open: a late notice of either channel finds nothing expected any more.
    m_bReadyExpected = {false, false};
    OnMovieOpened();
}

void CPlaybackRoad::OnMovieOpened() {
    if (!m_bFolderAdvance) m_host.KillRoadTimer(TIMER_OPEN_DELAY);
    m_bOpenArmed = TRUE;
    if (!IsValidRow(m_nCurRow)) return;
    if (ChannelInitialised(0)) {
        RecordingOpened ready;
        ready.stage = RecordingOpened::kPlayersReady;
        ready.path = m_strOpenPath;
        ready.parkingTrace = m_bParkingTrace != FALSE;
        ready.frameCount = FrameCountOf(Slots(0).GetFrameCount2(Channel(0)));
        Tell(&IPlaybackListener::OnRecordingOpened, ready);
    }
    TellSpeed();
    SetChannelsView(m_views, TRUE);
    SetChannelsKeepAspect(m_bKeepAspect);
    SeekChannelsToFrame(0);
    const BOOL continuing = m_browser.TakeContinue();
    m_bFolderAdvance = FALSE;
    if (!continuing) {
        StartLoaderThread(m_strOpenPath);
    } else {
        if (!PlayWithoutLoader()) m_bResumeAfterLoad = TRUE;
        StartPrefetchNextMovie();
    }
}

void CPlaybackRoad::StartLoaderThread(std::string path) {
    // A read for an earlier selection stops at its next step instead of holding this thread
    // until its whole file is read.
    JoinDataThreads();
    if (path.empty()) return;
    // The path was copied under the list's lock on this thread, so the loader takes no lock
    // of the window's and a join can never wait on a thread that waits for this one.
    const HWND window = m_host.RoadWindow();
    const std::uint64_t serial = m_nSelectionSerial;
    m_loaderThread = std::thread([window, serial, path = std::move(path)] {
        const bool loaded = OpenDataFile(path);
        PostAppMessage(window, WM_APP_DATA_LOADED, WPARAM(serial), LPARAM(loaded ? 1 : 0));
    });
}

void CPlaybackRoad::JoinDataThreads() {
    // A read under way stops at its next step instead of running to the end of its file.
    if ((m_loaderThread.joinable() || m_prefetchThread.joinable()) && ChannelInitialised(0)) CancelPrefetch(Channel(0));
    if (m_loaderThread.joinable()) m_loaderThread.join();
    if (m_prefetchThread.joinable()) m_prefetchThread.join();
}

void CPlaybackRoad::OnMovieDataLoaded(WPARAM wParam, LPARAM lParam) {
    if (!IsCurrentDataLoad(wParam, m_nSelectionSerial)) return;  // answers an older selection
    if (m_bDataLoaded) return;                                   // one load per selection
    m_bDataLoaded = TRUE;
    if (m_bBusy) {
        m_host.KillRoadTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        m_host.ShowWaitCursor(false);
    }
    m_host.EnableControls(RoadControls::kByState);
    if (!IsValidRow(m_nCurRow)) return;
    // A data file that cannot be read leaves the channels without records: the movie
    // still plays, with empty panes. The data is always that of the movie open.
    LoadChannelsData(m_strOpenPath);
    SetChannelVolumes(m_nVolume);
    ApplyFrontSpeedToBoth();
    if (m_bResumeAfterLoad) {
        m_bResumeAfterLoad = FALSE;
        m_bIgnoreEnd = FALSE;
        if (ResumePlayback()) TellTransport(TransportShown().Playing(true));
        m_host.EnableControls(RoadControls::kByState);
    } else if (m_bFolderAdvance) {
        m_bFolderAdvance = FALSE;
        m_bIgnoreEnd = FALSE;
        if (ResumePlayback()) TellTransport(TransportShown().Playing(true));
    } else {
        TellTransport(TransportShown().Playing(false));
    }
    m_bSelecting = FALSE;
    StartPlayback();
    if (lParam) StartPrefetchNextMovie();
    if (m_bResumePending) {
        m_bResumePending = FALSE;
        SeekChannelsToFrame(m_nResumeFrame);
        UpdatePlaybackPosition(m_nResumeFrame);
        if (m_nResumeFrame != 0) {
            PauseChannels();
            m_host.EnableControls(RoadControls::kByState);
        }
    }
    CheckGpsAtFrame();
}

BOOL CPlaybackRoad::PlayWithoutLoader() {
    if (!IsValidRow(m_nCurRow)) return FALSE;
    BOOL result = FALSE;
    if (m_bDataLoaded) {
        m_bIgnoreEnd = FALSE;
        result = ResumePlayback();
    } else {
        m_bDataLoaded = TRUE;
        if (!LoadChannelsData(m_strOpenPath)) return FALSE;
        m_bSelecting = FALSE;
        ApplyFrontSpeedToBoth();
        result = ResumePlayback();
        SetChannelVolumes(m_nVolume);
        StartPlayback();
        CheckGpsAtFrame();
    }
    if (m_bBusy) {
        m_host.KillRoadTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        m_host.ShowWaitCursor(false);
    }
    TellTransport(TransportShown().Playing(result != FALSE));
    // The open disabled every control; nothing else gives them back while the movie plays.
    m_host.EnableControls(RoadControls::kByState);
    return result;
}

BOOL CPlaybackRoad::StartPlayback() {
    if (!IsValidRow(m_nCurRow) || !ChannelInitialised(0)) return FALSE;
    int width = 0, height = 0;
    Slots(0).GetVideoSize(Channel(0), &width, &height);
    RecordingOpened opened;
    opened.stage = RecordingOpened::kDataIn;
    opened.path = m_strOpenPath;
    opened.parkingTrace = m_bParkingTrace != FALSE;
    const int quality = QualityCode(height, Channel(0).scanners[kStagingScanner].header.byteA);
    m_entry.sortKey2 = quality;
    Rows()->SetEntryQuality(m_nCurRow, m_entry.path, quality);
    opened.quality = quality;
    opened.startTime = m_entry.startTime;
    // The title as the list names it.
    opened.title = MakeListDisplayName(m_entry.path);
    ActivateRecorderData(opened);
    const float interval = Slots(0).GetFrameInterval(Channel(0));
    const int count = FrameCountOf(Slots(0).GetFrameCount(Channel(0)));
    opened.frameInterval = interval;
    opened.frameCount = count;
    m_seek.min = 0;
    m_seek.max = count;
    Tell(&IPlaybackListener::OnRecordingOpened, opened);
    SendCrashPositions(m_nCurRow, FALSE);
    TellSpeed();
    SetVolume(m_nVolume);
    UpdatePlaybackPosition(0);
    m_nSeekTarget = -1;
    m_stall.Reset();
    m_host.SetRoadTimer(TIMER_PLAYBACK, kPlaybackTickMs);
    return TRUE;
}

BOOL CPlaybackRoad::ActivateRecorderData(RecordingOpened& opened) {
    const std::string path = CurrentPath();
    const float interval = ChannelInitialised(0) ? Slots(0).GetFrameInterval(Channel(0)) : 0.0f;
    if (IsRecorderMovieName(path)) {
        m_entry.startTime = RecordingTimeFromName(path);
        // An unknown frame interval gives no rate rather than an infinite one.
        m_entry.sortKey3 = interval > 0.0f ? 1000.0f / interval : 0.0f;
        // The list takes "hMutexCache", which comes before the channels' locks.
        Rows()->SetEntryStartTime(m_nCurRow, path, m_entry.startTime, m_entry.sortKey3);
        opened.startTime = m_entry.startTime;
    }
    const ChannelsLock channels;
    UpdateSeekSlider(0);
    bool moved = false;
    if (ChannelInitialised(0)) {
        sPLAYCHANNEL& front = Channel(0);
        std::lock_guard slot(front.slotLock);
        sMOVIESCANNER& active = front.scanners[kActiveScanner];
        active.Reset();
        front.scanners[kStagingScanner].MoveTo(active);
        moved = !active.sensor.empty();
        if (moved) {
            RecordingOpened::Data data;
            data.largestG = active.largestG;
            std::copy(std::begin(active.largestAxisG), std::end(active.largestAxisG), data.largestAxisG);
            data.timeLapse = active.header.mode == 'T';
            data.format = active.header.byteB;
            opened.data = data;
        }
    }
    if (!moved) {
        m_bHasPosition = FALSE;
        m_host.UpdateMapPane();
    }
    return interval > 0.0f;
}

void CPlaybackRoad::ApplyFrontSpeedToBoth() {
    if (!ChannelInitialised(0)) return;
    const int step = Channel(0).speedStep;
    // Setting a speed makes the players settle for a while on this thread: a step that both
    // channels have already is not set again.
    if (ChannelInitialised(1) && Channel(1).speedStep != step) SetChannelsSpeed(step);
}

// ---- the tick ----------------------------------------------------------------------------

void CPlaybackRoad::OnPlaybackTick() {
    if (!ChannelInitialised(0)) {
        RefreshMapState();
        return;
    }
    sPLAYCHANNEL& front = Channel(0);
    const PlayState state = front.playState;
    // The window is asked only while the movie is quiet: the question drops a page that lost
    // its line.
    const bool quiet = state == PLAY_STOPPED || state == PLAY_PAUSED;
    const bool live = quiet && m_host.MapPageLive();
    const TickSteps steps = PlaybackTickSteps(state, live, live);
    if (steps.endMargin) {
        const bool near = IsNearMovieEnd();
        if (near && !m_bNearEnd) {
            m_host.EnableControls(RoadControls::kNone);
            m_bNearEnd = TRUE;
        } else if (!near && m_bNearEnd) {
            m_host.EnableControls(RoadControls::kByState);
            m_bNearEnd = FALSE;
        }
    }
    if (steps.followFrame) {
        const std::int32_t current = Slots(0).GetCurrentFrame(front);
        m_nShownFrame = current;
        if (current >= 1) {
            const int limit = StallWatchdog::LimitTicks(front.frameInterval, front.speedStep, int(kPlaybackTickMs));
            if (m_stall.Tick(current, limit)) {
                PauseChannels();
                SeekChannelsToFrame(current - 1);
                PlayChannels();
            }
            bool follow = true;
            if (m_nSeekTarget != -1) {
                // Right after a seek the clock may still show the old place for a while.
                const std::int64_t tolerance = SeekTolerance(Slots(0).GetFrameCount(front));
                if (current <= m_nSeekTarget - tolerance || current >= m_nSeekTarget + tolerance) follow = false;
            }
            if (follow) {
                UpdatePlaybackPosition(current);
                m_nSeekTarget = -1;
            }
        }
        RefreshMapState();
    } else {
        FollowPausedPicture();
        if (steps.mapPane) m_host.UpdateMapPane();
    }
}

void CPlaybackRoad::FollowPausedPicture() {
    // A paused picture changes when a seek's picture arrives, or when the last frame due at
    // a pause is shown just after it: the panes go with it. A drag of the slider shows its own
    // frame until it is let go.
    const std::int32_t current = Slots(0).GetCurrentFrame(Channel(0));
    if (current < 0 || current == m_nShownFrame || m_host.SeekDragging()) return;
    m_nShownFrame = current;
    if (m_nSeekTarget != -1) {
        const std::int64_t tolerance = SeekTolerance(Slots(0).GetFrameCount(Channel(0)));
        if (current <= m_nSeekTarget - tolerance || current >= m_nSeekTarget + tolerance) return;
    }
    UpdatePlaybackPosition(current);
    m_nSeekTarget = -1;
}

BOOL CPlaybackRoad::UpdatePlaybackPosition(std::int64_t frame) {
    const ChannelsLock lock;
    const FrameIndex f = ClampToSlider(frame, m_seek.min, m_seek.max);
    m_nSeekTarget = f;
    const sSENSORRECORD* record = GetFrameRecord(lock, f);
    const PaneValues values = PaneValuesOf(record, f);
    // The map's page or the logo in its place: a frame with a fix shows the page (not while
    // a selection opens), a parked car's recording without a fix shows the logo.
    int mapPaneUpdates = 0;
    if (values.map.bHasGps) {
        if (values.map.bGpsValid && !m_bSelecting) {
            m_bHasPosition = TRUE;
            ++mapPaneUpdates;
        }
        const bool parkingNoFix = !values.map.bGpsValid && m_bParkingMovie;
        if (parkingNoFix != bool(m_bParkingNoFix) || !values.map.bGpsValid) {
            m_bParkingNoFix = parkingNoFix;
            ++mapPaneUpdates;
        }
    }
    m_seek.pos = f;
    Tell(&IPlaybackListener::OnFrameShown, FrameShown{f, values});
    while (mapPaneUpdates-- > 0) m_host.UpdateMapPane();
    return TRUE;
}

void CPlaybackRoad::UpdateSeekSlider(FrameIndex frame) {
    m_seek.pos = frame;
    Tell(&IPlaybackListener::OnFrameShown, FrameShown{frame, std::nullopt});
}

// ---- the map's event markers -------------------------------------------------------------

BOOL CPlaybackRoad::SendCrashPositions(int row, BOOL wholeLine) {
    if (!m_hMutexCpSet) return FALSE;
    std::lock_guard markers(*m_hMutexCpSet);
    m_vecCrashPos.clear();
    if (ChannelInitialised(0)) BuildEventList(m_detectors, m_vecCrashPos);
    // The map takes them once its page is ready; it reloads the track first.
    EventsFound found;
    found.row = row;
    found.wholeLine = wholeLine;
    {
        const ChannelsLock lock;
        for (auto it = m_vecCrashPos.rbegin(); it != m_vecCrashPos.rend(); ++it) {
            const sCRASHPOS& entry = *it;
            if (entry.nDetector < 0 || entry.nDetector >= DETECTOR_COUNT ||
                !m_detectors[std::size_t(entry.nDetector)].bList)
                continue;
            // An entry without its records is left out; it would be missing on every try.
            const sSENSORRECORD* sensor = entry.pRecord;
            const sGPSRECORD* gps = sensor ? sensor->gps : nullptr;
            if (!gps) continue;
            if (gps->latitude == 0.0 && gps->longitude == 0.0) continue;
            found.markers.push_back(EventMarker{entry.nKind, sensor->gX, sensor->gY, sensor->gZ, sensor->time,
                                                gps->latitude, gps->longitude, gps->valid, gps->speed});
        }
    }
    Tell(&IPlaybackListener::OnEventsFound, found);
    return TRUE;
}

void CPlaybackRoad::RefreshMapState() {
    if (m_bMarkersSent || !m_host.MapPageReady()) return;
    if (IsValidRow(m_nCurRow) && !SendCrashPositions(m_nCurRow, TRUE)) return;
    m_bMarkersSent = TRUE;
    const PlayState state = ChannelInitialised(0) ? PlayState(Channel(0).playState) : PLAY_CLOSED;
    if (state == PLAY_PAUSED) TellTransport(TransportShown().Status(PLAY_PAUSED));
    else if (state != PLAY_PLAYING) TellTransport(TransportShown().Status(PLAY_STOPPED));
}

void CPlaybackRoad::ResendMarkers() {
    m_bMarkersSent = FALSE;
    RefreshMapState();
}

void CPlaybackRoad::CheckGpsAtFrame() {
    const ChannelsLock lock;
    const sSENSORRECORD* record = ChannelInitialised(0) ? GetFrameRecord(lock, m_seek.pos) : nullptr;
    m_bHasPosition = record && record->gps && record->gps->valid;
}

void CPlaybackRoad::CheckParkingTrace() {
    m_bTraceFile = FALSE;
    if (m_browser.GetSourceKind() == SOURCE_SD && !m_browser.GetSourcePath().empty()) {
        std::error_code error;
        m_bTraceFile = std::filesystem::exists(std::filesystem::path(m_browser.GetSourcePath()) / "pvtrace.txt", error);
    }
    Tell(&IPlaybackListener::OnTraceFile, m_bTraceFile != FALSE);
}

// ---- the end of a movie, next and previous -----------------------------------------------

void CPlaybackRoad::OnMovieEnded() {
    if (m_bIgnoreEnd) return;
    m_bAdvancing = TRUE;
    PlayNextMovie();
    AdvanceFolderOrStop();
    m_bAdvancing = FALSE;
}

void CPlaybackRoad::PlayNextMovie() {
    if (!m_hMutexCache) return;
    bool nextFolder = false;
    {
        CacheLock lock(*m_hMutexCache);
        if (IsValidRow(m_nCurRow) && IsValidRow(m_nCurRow + 1)) {
            TakeRowFromList(m_nCurRow + 1);
            DropSeekDrag();
            m_browser.SelectFileRow(m_nCurRow, TRUE);
            TellCleared(kPartData);
            UpdateSeekSlider(0);
            m_bIgnoreEnd = FALSE;
            SelectMovie(TRUE, TRUE, FALSE);
            return;
        }
        nextFolder = m_browser.NextFolder(m_browser.SelectedFolder()) != kFolderTreeRoot;
        if (nextFolder) {
            PauseChannels();
            SetChannelVolumes(m_nVolume);
            TellSpeed();
        } else {
            // The last row of the last folder: the current movie is selected again and stays
            // stopped; continuous play never wraps to the first row.
            const int step = GetDefaultSpeedStep();
            if (ChannelInitialised(0) && Channel(0).speedStep != step) SetChannelsSpeed(step);
            m_bIgnoreEnd = TRUE;
            SelectMovie(TRUE, FALSE, FALSE);
            m_bAdvancing = FALSE;
        }
    }
    if (!(nextFolder && m_bAdvancing)) StopPlayback();
    m_bFolderAdvance = TRUE;
}

void CPlaybackRoad::AdvanceFolderOrStop() {
    if (!m_bFolderAdvance) return;
    const FolderTreeItem next = m_browser.NextFolder(m_browser.SelectedFolder());
    if (next != kFolderTreeRoot) {
        m_browser.SelectFolder(next);  // the tree reports it; OnFolderSelected opens it
        return;
    }
    m_bFolderAdvance = FALSE;
    m_host.LeaveLargeVideo();
    m_host.RestoreLayout();
}

void CPlaybackRoad::OpenNextNonEmptyFolder(std::uintptr_t from) {
    FolderTreeItem tried = kFolderTreeRoot;
    for (FolderTreeItem item = m_browser.NextFolder(from); item != kFolderTreeRoot;
         item = m_browser.NextFolder(item)) {
        tried = item;
        if (!m_browser.OpenFolder(item)) continue;
        m_browser.SelectFolder(item);
        if (IFileRows* rows = Rows()) LoadListGpsTrack(rows->CopyOfRows());
        CacheLock lock(*m_hMutexCache);
        m_browser.MakeOnlyRowCurrent(0);
        return;
    }
    m_bFolderAdvance = FALSE;
    m_host.LeaveLargeVideo();
    m_host.RestoreLayout();
    m_host.EnableControls(RoadControls::kByState);
    if (tried != kFolderTreeRoot) {
        m_browser.SelectFolder(tried);
    } else if (ChannelInitialised(0)) {
        SetChannelsSpeed(GetDefaultSpeedStep());
    }
}

void CPlaybackRoad::OnPrevMovie() {
    if (KeepForAfterSeek([this] { OnPrevMovie(); }) || NearEndLocked()) return;
    SetChannelVolumes(0);
    PauseChannels();
    StopPlayback();
    if (!m_hMutexCache) return;
    CacheLock lock(*m_hMutexCache);
    if (IsValidRow(m_nCurRow) && m_nCurRow > 0) {
        TakeRowFromList(m_nCurRow - 1);
        DropSeekDrag();
        m_browser.SelectFileRow(m_nCurRow, 2);
        TellCleared(kPartData);
        UpdateSeekSlider(0);
        SelectMovie(TRUE, TRUE, FALSE);
    } else {
        // At the first row "previous" rewinds the movie on screen.
        if (ChannelInitialised(0)) SetChannelsSpeed(GetDefaultSpeedStep());
        StopPlayback();
        LocateChannelsFrame(0);
        RefreshVideo();
        UpdatePlaybackPosition(0);
    }
}

// ---- play, pause, stop, seek -------------------------------------------------------------

BOOL CPlaybackRoad::ResumePlayback() {
    if (!ChannelInitialised(0)) return FALSE;
    const PlayState state = Channel(0).playState;
    if (state != PLAY_STOPPED && state != PLAY_PAUSED) return FALSE;
    const BOOL played = PlayChannels();
    TellTransport(TransportShown().Status(PLAY_PLAYING));
    if (played) ReopenClosedRear();
    return played;
}

void CPlaybackRoad::ReopenClosedRear() {
    // A rear that would neither stop nor pause was closed (StopPlayback). The recording's rear
    // movie opens again as the recording plays on, and joins the front once its player says
    // it is ready, as at an open.
    if (m_bRearRejoining || m_strOpenPath.empty() || !ChannelInitialised(1) || Channel(1).rearOpened != 1 ||
        Channel(1).playState != PLAY_CLOSED)
        return;
    if (ReopenRearChannel(m_strOpenPath) != 1) return;
    m_bRearRejoining = true;
    m_bReadyExpected[1] = true;
    m_bReadySeen[1] = false;
    m_aReadyTag[1] = EngineOf(Channel(1)).OpenTagOf(Channel(1));
    m_host.SetRoadTimer(TIMER_REAR_READY, kRearReadyWaitMs);
}

void CPlaybackRoad::RearRejoined() {
    m_bReadyExpected[1] = false;
    if (!ChannelInitialised(0) || Channel(0).playState == PLAY_CLOSED || Channel(1).playState == PLAY_CLOSED) return;
    // The rear takes the front's picture options, speed and silence, then its frame.
    SetChannelsView(m_views, TRUE);
    SetChannelsKeepAspect(m_bKeepAspect);
    Slots(1).SetVolume(Channel(1), 0);
    ApplyFrontSpeedToBoth();
    if (Channel(0).playState == PLAY_PLAYING) {
        // The front stands still for a moment, the rear is brought to its frame, and both
        // start again together.
        PauseChannels();
        PlayChannels();
    } else {
        AlignPausedChannels();
    }
}

BOOL CPlaybackRoad::PausePlayback() {
    if (!ChannelInitialised(0) || Channel(0).playState != PLAY_PLAYING) return FALSE;
    DropSeekDrag();
    const BOOL paused = PauseChannels();
    // The pause has settled: every pane shows the frame whose picture stays on screen.
    const std::int32_t shown = Slots(0).GetCurrentFrame(Channel(0));
    if (shown >= 0) {
        m_nShownFrame = shown;
        UpdatePlaybackPosition(shown);
        m_nSeekTarget = -1;
    }
    TellTransport(TransportShown().Playing(!paused).Status(PLAY_PAUSED));
    return paused;
}

bool CPlaybackRoad::AskToStop(int channel) {
    sPLAYCHANNEL& c = Channel(channel);
    // A refusal counts only when the channel plays on: a paused one stands still anyway.
    if (Slots(channel).StopMovie(c) == 0 && c.playState == PLAY_PLAYING) Slots(channel).StopMovie(c);
    return c.playState != PLAY_PLAYING;
}

BOOL CPlaybackRoad::StopPlayback() {
    if (!ChannelInitialised(0)) return FALSE;
    const PlayState state = Channel(0).playState;
    if (state != PLAY_PLAYING && state != PLAY_PAUSED) return FALSE;
    {
        CacheLock lock(*m_hMutexCache);
        DropSeekDrag();
        // A player that is not ready refuses the stop (0). The front leads: while it plays on,
        // the rear plays on with it; once it stands, no rear may play on alone. A rear that
        // refuses the stop twice and then the pause is closed (the next open opens it again).
        if (AskToStop(0)) {
            for (int i = 1; i < kChannelCount; ++i) {
                if (!ChannelInitialised(i) || AskToStop(i)) continue;
                if (Slots(i).PauseMovie(Channel(i)) == 0 && Channel(i).playState == PLAY_PLAYING)
                    Slots(i).CloseMovie(Channel(i));
            }
        }
    }
    // The button and the map show what the front does now.
    const PlayState front = Channel(0).playState;
    TransportShown shown;
    if (!m_bAdvancing) shown.Playing(front == PLAY_PLAYING);
    TellTransport(shown.Status(front));
    return TRUE;
}

ChannelPosition CPlaybackRoad::NearEndPosition() const {
    ChannelPosition position;
    position.playbackStarted = m_bDataLoaded != FALSE;
    if (!ChannelInitialised(0)) return position;
    sPLAYCHANNEL& front = Channel(0);
    position.initialised = true;
    position.state = front.playState;
    position.speedStep = front.speedStep;
    // The frame and the count matter only while the movie plays; reading the frame may wait
    // for the player.
    if (position.state == PLAY_PLAYING) {
        position.current = Slots(0).GetCurrentFrame(front);
        position.count = Slots(0).GetFrameCount(front);
    }
    return position;
}

BOOL CPlaybackRoad::IsNearMovieEnd() const { return orv::IsNearMovieEnd(NearEndPosition()) ? TRUE : FALSE; }

BOOL CPlaybackRoad::SeekToFrame(std::int64_t frame, int keepState) {
    const bool front = ChannelInitialised(0);
    const std::int64_t count = front ? Slots(0).GetFrameCount(Channel(0)) : 0;
    const SeekFrames frames =
        ComputeSeekFrames(frame, count, front ? Channel(0).speedStep : 1, front, m_seek.min);
    switch (keepState) {
    case PLAY_PLAYING:
        if (front && Channel(0).playState == PLAY_PLAYING) PauseChannels();
        SeekChannelsToFrame(frames.target);
        UpdatePlaybackPosition(frames.shown);
        PlayChannels();
        return TRUE;
    case PLAY_STOPPED:
    case PLAY_PAUSED:
        LocateChannelsFrame(frames.target);
        UpdatePlaybackPosition(frames.shown);
        m_host.EnableControls(RoadControls::kByState);
        return TRUE;
    default:
        return FALSE;
    }
}

bool CPlaybackRoad::DetectorShown(int detector) const {
    return detector >= 0 && detector < DETECTOR_COUNT && m_detectors[std::size_t(detector)].bShow;
}

BOOL CPlaybackRoad::JumpToNextEvent(int frame) { return JumpToEvent(frame, true); }

BOOL CPlaybackRoad::JumpToPrevEvent(int frame) { return JumpToEvent(frame, false); }

BOOL CPlaybackRoad::JumpToEvent(int frame, bool forward) {
    if (!m_bDataLoaded || !m_hMutexCpSet) return FALSE;
    int target = -1;
    {
        std::lock_guard markers(*m_hMutexCpSet);
        const ChannelsLock lock;
        // The first shown event after `frame` from the front, or before it from the back.
        auto first = [&](auto begin, auto end) {
            for (auto it = begin; it != end; ++it) {
                if (!it->pRecord || !DetectorShown(it->nDetector)) continue;
                const int at = it->pRecord->time;
                if (forward ? at > frame : at < frame) return at;
            }
            return -1;
        };
        target = forward ? first(m_vecCrashPos.begin(), m_vecCrashPos.end())
                         : first(m_vecCrashPos.rbegin(), m_vecCrashPos.rend());
    }
    if (target < 0) return FALSE;
    SeekToFrame(target, ChannelInitialised(0) ? int(Channel(0).playState) : 0);
    return TRUE;
}

void CPlaybackRoad::StartPrefetchNextMovie() {
    if (m_prefetchThread.joinable()) m_prefetchThread.join();
    const std::optional<sFILEENTRY> following = Rows() ? Rows()->EntryAt(m_nCurRow + 1) : std::nullopt;
    std::string next = following ? following->path : std::string();
    if (next.empty()) return;
    m_prefetchThread = std::thread([path = std::move(next)] { OpenNeighbourDataFile(path); });
}

// ---- closing -----------------------------------------------------------------------------

void CPlaybackRoad::ClosePlayback() {
    m_bDataLoaded = FALSE;
    m_strOpenPath.clear();
    m_nShownFrame = -1;
    m_host.KillRoadTimer(TIMER_PLAYBACK);
    m_nSeekTarget = -1;
    TellCleared(kPartMovie);
    DropSeekDrag();
    ResetChannels();
    CloseChannels();
}

void CPlaybackRoad::ResetPlaybackUi() {
    m_seek.min = 0;
    m_seek.max = 0;
    TellCleared(kPartRecording);
    UpdateSeekSlider(0);
    m_host.KillRoadTimer(TIMER_PLAYBACK);
    TellSpeed();
    JoinDataThreads();
    m_bDataLoaded = FALSE;
    m_bHasPosition = FALSE;
    m_bSelecting = TRUE;
    m_bOpenFailed = FALSE;
    RefreshVideo();
    m_host.UpdateMapPane();
    if (m_hMutexCpSet) {
        std::lock_guard markers(*m_hMutexCpSet);
        m_vecCrashPos.clear();
    }
    TellCleared(kPartScale | kPartValues);
    if (ChannelInitialised(0)) OpenDataFile(std::string());
    TakeRowFromList(-1);
    m_bOpenArmed = TRUE;
    m_host.RestoreLayout();
}

void CPlaybackRoad::RefreshVideo() {
    const PlayState state = ChannelInitialised(0) ? PlayState(Channel(0).playState) : PLAY_CLOSED;
    const int step = ChannelInitialised(0) ? Channel(0).speedStep : 1;
    if (state == PLAY_PLAYING && (step == -4 || step == -2)) {
        PauseChannels();
        RefreshChannels();
        PlayChannels();
    } else if (state == PLAY_STOPPED || state == PLAY_PAUSED) {
        RefreshChannels();
    } else if (state != PLAY_PLAYING) {
        m_host.PaintVideo(true);
    }
}

}  // namespace orv
