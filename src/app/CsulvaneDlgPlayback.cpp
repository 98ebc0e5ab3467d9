// The main window's playback road: from a selected row to a playing movie whose data
// panes follow the frame on screen, and on to the next recording.
#include "app/CsulvaneDlgPanes.h"

#include <QApplication>
#include <QLabel>

#include <climits>
#include <filesystem>

#include "app/AppMessages.h"
#include "app/MovieMenu.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "recorder/RecordingName.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

using CacheLock = std::lock_guard<std::recursive_mutex>;

constexpr int kTextOpenFailed = 96;
constexpr int kTextTooShort = 97;

// Every channel's slot lock, in the order channel 1, channel 2.
// A frame count as the panes and the slider keep it.
int FrameCountOf(std::int64_t frames) { return int(std::clamp<std::int64_t>(frames, 0, INT_MAX)); }

struct AllChannelsLock {
    AllChannelsLock() { LockAllChannels(); }
    ~AllChannelsLock() { UnlockAllChannels(); }
    AllChannelsLock(const AllChannelsLock&) = delete;
    AllChannelsLock& operator=(const AllChannelsLock&) = delete;
};

}  // namespace

// ---- rows and paths ---------------------------------------------------------------------

std::vector<sFILEENTRY>* CsulvaneDlg::Entries() const {
    if (m_pFiler && m_pFiler->GetList()) return &m_pFiler->GetList()->m_vecShown;
    return nullptr;
}

bool CsulvaneDlg::IsValidRow(int row) const {
    const auto* entries = Entries();
    return entries && row >= 0 && row < int(entries->size());
}

std::string CsulvaneDlg::CurrentPath() const {
    if (!m_hMutexCache) return {};
    CacheLock lock(*m_hMutexCache);
    return IsValidRow(m_nCurRow) ? (*Entries())[std::size_t(m_nCurRow)].path : std::string();
}

bool CsulvaneDlg::TakeReselectRequest() {
    if (!m_pFiler || !m_pFiler->TakeRefilter()) return false;
    // A filter change that leaves the open recording at the current row keeps it going where
    // it is; another recording at that row is opened.
    return m_strOpenPath.empty() || CurrentPath() != m_strOpenPath;
}

int CsulvaneDlg::GetDefaultSpeedStep() const { return DefaultSpeedStep(CurrentPath()); }

// ---- a new row ---------------------------------------------------------------------------

void CsulvaneDlg::OnFileRowSelected(int row) {
    if (!m_hMutexCache) return;
    CacheLock lock(*m_hMutexCache);
    // Whether the row is to be opened was decided by the list, which asked for the
    // reselect request once.
    m_nCurRow = row;
    m_pGraphDlg->m_bDataShown = FALSE;
    m_pMapWrap->m_bHasPosition = FALSE;
    SetChannelVolumes(0);
    UpdateMapPane();
    if (!m_bFolderAdvance) m_bIgnoreEnd = TRUE;
    if (!SelectMovie(TRUE, TRUE, TRUE)) m_bIgnoreEnd = FALSE;
    if (!m_bFolderAdvance && ChannelInitialised(0)) {
        const int step = GetDefaultSpeedStep();
        if (Channel(0).speedStep != step) SetChannelsSpeed(step);
    }
}

BOOL CsulvaneDlg::SelectMovie(BOOL resetSeek, BOOL resetGraph, BOOL resetInfo) {
    if (!IsValidRow(m_nCurRow)) return FALSE;
    // A data load of an earlier selection that answers late is dropped by this number.
    ++m_nSelectionSerial;
    if (m_pFiler->GetList()) m_pFiler->GetList()->SetCurrentRow(m_nCurRow);
    if (m_pMapWrap->GetHostWindow()) m_pMapWrap->m_bHasPosition = FALSE;
    StopPlayback();
    m_bDataLoaded = FALSE;
    m_bSelecting = TRUE;
    if (resetSeek) UpdateSeekSlider(0);
    if (resetGraph) {
        m_pGraphDlg->m_nAmplitudeMode = 0;
        m_pGraphDlg->update();
    }
    if (resetInfo) m_pInfoDlg->ResetInfoValues();
    if (!m_bAdvancing) UpdateControlStates();
    KillTimer(TIMER_OPEN_DELAY);
    if (m_bBusy) {
        KillTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        EndWaitCursor();
    }
    // The newest selection wins: an open still waiting for its players is given up, and
    // their notices, when they come, are dropped; this row opens after the delay.
    ReadyChannelsReset();
    m_bOpenArmed = TRUE;
    if (!m_bBusy) {
        m_bBusy = TRUE;
        BeginWaitCursor();
    }
    DisableAllControls();
    SetTimer(TIMER_BUSY_TIMEOUT, kBusyTimeoutMs);
    SetTimer(TIMER_OPEN_DELAY, kOpenDelayMs);
    return TRUE;
}

void CsulvaneDlg::OnOpenDelay() {
    KillTimer(TIMER_OPEN_DELAY);
    if (m_bOpenArmed) {
        m_bOpenArmed = FALSE;
        if (!OpenSelectedMovie()) {
            KillTimer(TIMER_BUSY_TIMEOUT);
            m_bBusy = FALSE;
            EnableIdleControls();
            m_bOpenArmed = TRUE;
            if (m_aMovieStatic[0].m_bLargeVideo) SetLargeVideo(FALSE);
        }
        m_bNearEnd = FALSE;
    }
    EndWaitCursor();
}

void CsulvaneDlg::OnBusyTimeout() {
    KillTimer(TIMER_BUSY_TIMEOUT);
    m_bBusy = FALSE;
    m_bFolderAdvance = FALSE;
    EndWaitCursor();
    for (CMovieStatic& surface : m_aMovieStatic)
        if (surface.IsCreated()) surface.update();
    EnableIdleControls();
    m_bOpenArmed = TRUE;
}

void CsulvaneDlg::ReadyChannelsReset() {
    KillTimer(TIMER_REAR_READY);
    m_bReadyExpected = {false, false};
    m_bReadySeen = {false, false};
    m_aReadyTag = {0, 0};
}

BOOL CsulvaneDlg::OpenSelectedMovie() {
    ClosePlayback();
    DisableAllControls();
    if (!IsValidRow(m_nCurRow)) return FALSE;
    m_bOpenFailed = FALSE;
    const std::string path = CurrentPath();
    ReadyChannelsReset();
    const int result = OpenChannels(path);
    if (result != 0 && result != 2) {
        // The movie opens when every channel that took a movie has said it is ready. Each
        // player tags its notice with its open, so that a late notice of a movie closed
        // since is told from this one's.
        m_bReadyExpected = {ChannelInitialised(0), ChannelInitialised(1) && Channel(1).rearOpened == 1};
        for (int i = 0; i < kChannelCount; ++i) {
            m_aReadyTag[std::size_t(i)] = m_bReadyExpected[std::size_t(i)] ? m_pEngine->OpenTagOf(Channel(i)) : 0;
        }
        m_strOpenPath = path;
        // The map window holds the map again whatever it held before.
        m_pMapWindow->SetCaptionText(CMovieDialog::kCaptionMap);
        CMovieMenu::CloseOpenMenus();
        m_bBusy = TRUE;
        m_pGraphDlg->m_bDataShown = TRUE;
        const RecordingKind kind = GetRecordingKind(path);
        m_bParkingMovie = kind == REC_PARKING || kind == REC_PARKING_IMPACT;
        m_bParkingNoFix = FALSE;
        m_bParkingTrace = m_bParkingMovie ? m_bTraceFile : FALSE;
        m_pInfoDlg->m_bShowVoltage = m_bParkingTrace;
        return TRUE;
    }
    m_pMapWrap->m_bHasPosition = FALSE;
    UpdateMapPane();
    BOOL continuing = FALSE;
    continuing = m_pFiler->TakeContinue();
    if (continuing) {
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
    for (CMovieStatic& surface : m_aMovieStatic)
        if (surface.IsCreated()) surface.FillBlack();
    ShowError(result == 2 ? kTextTooShort : kTextOpenFailed);
    m_bOpenFailed = TRUE;
    UpdateControlStates();
    return FALSE;
}

void CsulvaneDlg::OnPlayerReady(int channel, WPARAM wParam, LPARAM lParam) {
    if (channel < 0 || channel >= kChannelCount || !m_bReadyExpected[std::size_t(channel)] ||
        wParam != WPARAM(m_aReadyTag[std::size_t(channel)]))
        return;
    m_bReadySeen[std::size_t(channel)] = true;
    const bool frontReady = !m_bReadyExpected[0] || m_bReadySeen[0];
    const bool rearReady = !m_bReadyExpected[1] || m_bReadySeen[1];
    if (frontReady && rearReady) {
        KillTimer(TIMER_REAR_READY);
        FireMovieOpened(wParam, lParam);
    } else if (channel == 0) {
        SetTimer(TIMER_REAR_READY, kRearReadyWaitMs);
    }
}

void CsulvaneDlg::FireMovieOpened(WPARAM wParam, LPARAM lParam) {
    // Once per open: a late notice of either channel finds nothing expected any more.
    m_bReadyExpected = {false, false};
    OnMovieOpened(wParam, lParam);
}

void CsulvaneDlg::OnMovieOpened(WPARAM, LPARAM) {
    if (!m_bFolderAdvance) KillTimer(TIMER_OPEN_DELAY);
    m_bOpenArmed = TRUE;
    if (!IsValidRow(m_nCurRow)) return;
    if (ChannelInitialised(0)) m_pInfoDlg->m_nFrameCount = FrameCountOf(Slots(0).GetFrameCount2(Channel(0)));
    UpdateSpeedLabel();
    SetChannelsView(m_aView, TRUE);
    for (int i = 0; i < kChannelCount; ++i)
        if (ChannelInitialised(i)) Slots(i).SetKeepAspect(Channel(i), m_bKeepAspect);
    SeekChannelsToFrame(0);
    BOOL mode = FALSE;
    mode = m_pFiler->TakeContinue();
    m_bFolderAdvance = FALSE;
    if (!mode) {
        StartLoaderThread(m_strOpenPath);
    } else {
        if (!PlayWithoutLoader()) m_bResumeAfterLoad = TRUE;
        StartPrefetchNextMovie();
    }
}

void CsulvaneDlg::StartLoaderThread(std::string path) {
    // A read for an earlier selection stops at its next step instead of holding this thread
    // until its whole file is read.
    JoinDataThreads();
    if (path.empty()) return;
    // The path was copied under the list's lock on this thread, so the loader takes no lock
    // of the window's and a join can never wait on a thread that waits for this one.
    const HWND window = GetSafeHwnd();
    const std::uint64_t serial = m_nSelectionSerial;
    m_loaderThread = std::thread([window, serial, path = std::move(path)] {
        const bool loaded = OpenDataFile(path);
        PostAppMessage(window, WM_APP_DATA_LOADED, WPARAM(serial), LPARAM(loaded ? 1 : 0));
    });
}

void CsulvaneDlg::JoinDataThreads() {
    // A read under way stops at its next step instead of running to the end of its file.
    if ((m_loaderThread.joinable() || m_prefetchThread.joinable()) && ChannelInitialised(0)) CancelPrefetch(Channel(0));
    if (m_loaderThread.joinable()) m_loaderThread.join();
    if (m_prefetchThread.joinable()) m_prefetchThread.join();
}

void CsulvaneDlg::OnMovieDataLoaded(WPARAM wParam, LPARAM lParam) {
    if (!IsCurrentDataLoad(wParam, m_nSelectionSerial)) return;  // answers an older selection
    if (m_bDataLoaded) return;                                   // one load per selection
    m_bDataLoaded = TRUE;
    if (m_bBusy) {
        KillTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        EndWaitCursor();
    }
    UpdateControlStates();
    if (!IsValidRow(m_nCurRow)) return;
    // A data file that cannot be read leaves the channels without records: the movie
    // still plays, with empty panes. The data is always that of the movie open.
    LoadChannelsData(m_strOpenPath);
    SetChannelVolumes(m_nVolume);
    ApplyFrontSpeedToBoth();
    if (m_bResumeAfterLoad) {
        m_bResumeAfterLoad = FALSE;
        m_bIgnoreEnd = FALSE;
        if (ResumePlayback()) SetPlayButtonState(TRUE);
        UpdateControlStates();
    } else if (m_bFolderAdvance) {
        m_bFolderAdvance = FALSE;
        m_bIgnoreEnd = FALSE;
        if (ResumePlayback()) SetPlayButtonState(TRUE);
    } else {
        SetPlayButtonState(FALSE);
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
            UpdateControlStates();
        }
    }
    CheckGpsAtFrame();
}

BOOL CsulvaneDlg::PlayWithoutLoader() {
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
        KillTimer(TIMER_BUSY_TIMEOUT);
        m_bBusy = FALSE;
        EndWaitCursor();
    }
    SetPlayButtonState(result);
    // The open disabled every control; nothing else gives them back while the movie plays.
    UpdateControlStates();
    return result;
}

BOOL CsulvaneDlg::StartPlayback() {
    if (!IsValidRow(m_nCurRow) || !ChannelInitialised(0)) return FALSE;
    int width = 0, height = 0;
    Slots(0).GetVideoSize(Channel(0), &width, &height);
    int quality = 0;
    {
        CacheLock lock(*m_hMutexCache);
        sFILEENTRY& entry = (*Entries())[std::size_t(m_nCurRow)];
        quality = QualityCode(height, Channel(0).scanners[kStagingScanner].header.byteA);
        entry.sortKey2 = quality;
        m_pInfoDlg->m_nQualityCode = quality;
        m_pInfoDlg->m_stStart = entry.startTime;
        m_pInfoDlg->m_strTitle = QString::fromStdString(MakeListDisplayName(entry.path));  // as the list names it
        m_pInfoDlg->m_bDataLoaded = TRUE;
    }
    ActivateRecorderData();
    const float interval = Slots(0).GetFrameInterval(Channel(0));
    const int count = FrameCountOf(Slots(0).GetFrameCount(Channel(0)));
    m_pInfoDlg->m_fFrameInterval = interval;
    m_pGraphDlg->m_nFrameCount = count;
    m_pSeekSlider->SetRange(0, count);
    SendCrashPositions(m_nCurRow, FALSE);
    UpdateSpeedLabel();
    m_pInfoDlg->m_nFrameCount = FrameCountOf(Slots(0).GetFrameCount2(Channel(0)));
    SetVolume(m_nVolume);
    UpdatePlaybackPosition(0);
    m_nSeekTarget = -1;
    m_stall.Reset();
    SetTimer(TIMER_PLAYBACK, kPlaybackTickMs);
    return TRUE;
}

BOOL CsulvaneDlg::ActivateRecorderData() {
    AllChannelsLock channels;
    UpdateSeekSlider(0);
    m_pGraphDlg->m_nLeftMargin = Scaled(CGSensorDlg::kLabelColumn);
    m_pGraphDlg->m_nTileStep = Scaled(CGSensorDlg::kDesignWidth) - m_pGraphDlg->m_nLeftMargin;
    m_pGraphDlg->m_nCurrentFrame = 0;
    const std::string path = CurrentPath();
    const float interval = ChannelInitialised(0) ? Slots(0).GetFrameInterval(Channel(0)) : 0.0f;
    if (IsRecorderMovieName(path)) {
        CacheLock lock(*m_hMutexCache);
        sFILEENTRY& entry = (*Entries())[std::size_t(m_nCurRow)];
        entry.startTime = RecordingTimeFromName(path);
        // An unknown frame interval gives no rate rather than an infinite one.
        entry.sortKey3 = interval > 0.0f ? 1000.0f / interval : 0.0f;
        m_pInfoDlg->m_stStart = entry.startTime;
    }
    bool moved = false;
    if (ChannelInitialised(0)) {
        sPLAYCHANNEL& front = Channel(0);
        std::lock_guard slot(front.slotLock);
        sMOVIESCANNER& active = front.scanners[kActiveScanner];
        active.Reset();
        front.scanners[kStagingScanner].MoveTo(active);
        moved = !active.sensor.empty();
        if (moved) {
            m_pGraphDlg->m_nAmplitudeMode = AmplitudeModeForLargestG(active.largestG);
            for (std::size_t axis = 0; axis < m_pGraphDlg->m_dAxisScale.size(); ++axis)
                if (active.largestAxisG[axis] > 0.0) m_pGraphDlg->m_dAxisScale[axis] = active.largestAxisG[axis];
            m_pInfoDlg->m_bTimeLapse = active.header.mode == 'T';
            m_pInfoDlg->m_nDataFormat = active.header.byteB;
        }
    }
    if (!moved) {
        m_pMapWrap->m_bHasPosition = FALSE;
        UpdateMapPane();
    }
    return interval > 0.0f;
}

void CsulvaneDlg::ApplyFrontSpeedToBoth() {
    if (!ChannelInitialised(0)) return;
    const int step = Channel(0).speedStep;
    // Setting a speed makes the players settle for a while on this thread: a step that both
    // channels have already is not set again.
    if (ChannelInitialised(1) && Channel(1).speedStep != step) SetChannelsSpeed(step);
}

// ---- the tick ----------------------------------------------------------------------------

void CsulvaneDlg::OnPlaybackTick() {
    if (!ChannelInitialised(0)) {
        RefreshMapState();
        return;
    }
    sPLAYCHANNEL& front = Channel(0);
    const PlayState state = front.playState;
    const bool logoHidden = !m_pLogo || !m_pLogo->isVisible();
    // Asked only while the page stands shown: the question drops a page that lost its line.
    const auto connected = [this] { return m_pMapWrap->ConnectTest() != FALSE; };
    const bool quiet = state == PLAY_STOPPED || state == PLAY_PAUSED;
    const TickSteps steps = PlaybackTickSteps(state, logoHidden, quiet && logoHidden && connected());
    if (steps.endMargin) {
        const bool near = IsNearMovieEnd();
        if (near && !m_bNearEnd) {
            DisableAllControls();
            m_bNearEnd = TRUE;
        } else if (!near && m_bNearEnd) {
            UpdateControlStates();
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
        if (steps.mapPane) UpdateMapPane();
    }
}

void CsulvaneDlg::FollowPausedPicture() {
    // A paused picture changes when a seek's picture arrives, or when the last frame due at
    // a pause is shown just after it: the panes go with it. A drag of the slider shows its own
    // frame until it is let go.
    const std::int32_t current = Slots(0).GetCurrentFrame(Channel(0));
    if (current < 0 || current == m_nShownFrame || (m_pSeekSlider && m_pSeekSlider->IsCaptured())) return;
    m_nShownFrame = current;
    if (m_nSeekTarget != -1) {
        const std::int64_t tolerance = SeekTolerance(Slots(0).GetFrameCount(Channel(0)));
        if (current <= m_nSeekTarget - tolerance || current >= m_nSeekTarget + tolerance) return;
    }
    UpdatePlaybackPosition(current);
    m_nSeekTarget = -1;
}

BOOL CsulvaneDlg::UpdatePlaybackPosition(int frame) {
    const ChannelsLock lock;
    const int f = ClampToSlider(frame, m_pSeekSlider ? m_pSeekSlider->GetRangeMin() : 0,
                                m_pSeekSlider ? m_pSeekSlider->GetRangeMax() : 0);
    m_nSeekTarget = f;
    m_pMapWrap->m_nRelJpgNum = f;
    const sSENSORRECORD* record = GetFrameRecord(lock, f);
    CInfoDlg& info = *m_pInfoDlg;
    if (record) {
        info.m_dAccelX = record->gX;
        info.m_dAccelY = record->gY;
        info.m_dAccelZ = record->gZ;
        info.m_nRecMark = record->mark;
        if (const sGPSRECORD* gps = record->gps) {
            double speed = kNoSpeedValue;
            if (gps->valid) {
                if (!m_bSelecting) {
                    m_pMapWrap->m_bHasPosition = TRUE;
                    UpdateMapPane();
                }
                m_pMapWrap->SetMapPosition(gps->latitude, gps->longitude);
                speed = gps->speed;
            }
            // A parked car's recording without a fix shows the logo in the map's place.
            const bool parkingNoFix = !gps->valid && m_bParkingMovie;
            if (parkingNoFix != bool(m_bParkingNoFix) || !gps->valid) {
                m_bParkingNoFix = parkingNoFix;
                UpdateMapPane();
            }
            info.m_dSpeed = speed;
            // The record keeps the battery voltage in tenths of a volt, as the panel shows it.
            info.m_nVoltage10 = record->voltage;
            const sOBDRECORD* obd = record->obd ? record->obd : gps->obd;
            if (obd) {
                info.SetVehicleValues(obd->values[kObdReadingTurnSignal], std::int16_t(obd->values[kObdReadingSteering]),
                                      obd->values[kObdReadingBrake], obd->codes[0]);
                ReadObdValues(*obd, m_pObdDlg->m_nValue);
            }
            info.m_bGpsValid = gps->valid;
        } else {
            info.m_bGpsValid = FALSE;
        }
    } else {
        info.m_dAccelX = info.m_dAccelY = info.m_dAccelZ = kNoGValue;
        info.m_bGpsValid = FALSE;
    }
    // The gauges' values are of this frame only when its record has a fix.
    m_pObdDlg->m_bDataValid = info.m_bGpsValid;
    info.m_nPosition = f;
    if (PanesForMode(m_nLayoutMode).infoPanel) info.update();
    if (m_bObdShown) m_pObdDlg->update();
    UpdateSeekSlider(f);
    return TRUE;
}

void CsulvaneDlg::UpdateSeekSlider(int frame) {
    if (m_pSeekSlider) m_pSeekSlider->SetPos(frame);
    m_pGraphDlg->m_nCurrentFrame = frame;
    m_pGraphDlg->update();
}

// ---- the map's event markers -------------------------------------------------------------

BOOL CsulvaneDlg::SendCrashPositions(int row, BOOL wholeLine) {
    if (!m_hMutexCpSet) return FALSE;
    std::lock_guard markers(*m_hMutexCpSet);
    m_vecCrashPos.clear();
    if (ChannelInitialised(0)) BuildEventList(m_pGraphDlg->m_aDetector, m_vecCrashPos);
    if (!m_pMapWrap->m_bPageReady) return TRUE;
    m_pMapWrap->ReloadTrack(row, wholeLine);
    const ChannelsLock lock;
    for (auto it = m_vecCrashPos.rbegin(); it != m_vecCrashPos.rend(); ++it) {
        const sCRASHPOS& entry = *it;
        if (entry.nDetector < 0 || entry.nDetector >= DETECTOR_COUNT ||
            !m_pGraphDlg->m_aDetector[std::size_t(entry.nDetector)].bList)
            continue;
        // An entry without its records is left out; it would be missing on every try.
        const sSENSORRECORD* sensor = entry.pRecord;
        const sGPSRECORD* gps = sensor ? sensor->gps : nullptr;
        if (!gps) continue;
        if (gps->latitude == 0.0 && gps->longitude == 0.0) continue;
        m_pMapWrap->ExecScript(AddCrashPosScript(entry.nKind, sensor->gX, sensor->gY, sensor->gZ, 0, row, sensor->time,
                                                 gps->latitude, gps->longitude, gps->valid, gps->speed, 0.0));
    }
    return TRUE;
}

void CsulvaneDlg::RefreshMapState() {
    if (m_bMarkersSent || !m_pMapWrap->m_bPageReady) return;
    if (IsValidRow(m_nCurRow) && !SendCrashPositions(m_nCurRow, TRUE)) return;
    m_bMarkersSent = TRUE;
    const PlayState state = ChannelInitialised(0) ? PlayState(Channel(0).playState) : PLAY_CLOSED;
    if (state == PLAY_PAUSED) m_pMapWrap->SetMapStatus(MAP_STATUS_PAUSE);
    else if (state != PLAY_PLAYING) m_pMapWrap->SetMapStatus(MAP_STATUS_STOP);
}

void CsulvaneDlg::CheckGpsAtFrame() {
    const ChannelsLock lock;
    const sSENSORRECORD* record = ChannelInitialised(0) ? GetFrameRecord(lock, m_pSeekSlider->GetPos()) : nullptr;
    m_pMapWrap->m_bHasPosition = record && record->gps && record->gps->valid;
}

void CsulvaneDlg::CheckParkingTrace() {
    m_bTraceFile = FALSE;
    if (m_pFiler->m_nSourceKind == SOURCE_SD && !m_pFiler->m_strSourcePath.empty()) {
        std::error_code error;
        m_bTraceFile = std::filesystem::exists(std::filesystem::path(m_pFiler->m_strSourcePath) / "pvtrace.txt", error);
    }
    m_pInfoDlg->m_bTraceFile = m_bTraceFile;
}

void CsulvaneDlg::UpdateMapPane() {
    if (!m_pMapWindow) return;
    const bool online = m_pMapWrap->GetConnection().IsConnected();
    // A map docked in the main window shows only while the map is on, and not over the
    // full-video view.
    const bool pane = m_bMapInOwnWindow || (m_bMapShown && !m_bFullView);
    // The page shows when the map is on, the frame has a position and the tiles can load;
    // else the logo pane stands in its place, telling whether the map is offline.
    bool page = pane && m_bMapShown && m_pMapWrap->GetHostWindow() && online && !m_bParkingNoFix;
    m_pMapWrap->ShowMap(page);
    // Showing the page loads the web engine; without it the host is gone and the logo stays.
    page = page && m_pMapWrap->GetHostWindow();
    m_pLogo->setVisible(pane && !page);
    ApplyLogoPicture();
    if (m_bInitDone && !m_bFullView) m_pMapWindow->setVisible(m_bMapShown && m_bMapInOwnWindow);
}

// ---- the end of a movie, next and previous -----------------------------------------------

void CsulvaneDlg::OnMovieEnded(WPARAM, LPARAM) {
    if (m_bIgnoreEnd) return;
    m_bAdvancing = TRUE;
    PlayNextMovie();
    AdvanceFolderOrStop();
    m_bAdvancing = FALSE;
}

void CsulvaneDlg::OnGraphNotify(WPARAM, LPARAM) {
    // Only the graph player posts it, and this platform never builds one.
}

void CsulvaneDlg::PlayNextMovie() {
    if (!m_hMutexCache) return;
    bool nextFolder = false;
    {
        CacheLock lock(*m_hMutexCache);
        if (IsValidRow(m_nCurRow) && IsValidRow(m_nCurRow + 1)) {
            m_nCurRow += 1;
            m_pSeekSlider->SetCaptured(FALSE);
            m_pFiler->SelectFileRow(m_nCurRow, TRUE);
            m_pGraphDlg->m_bDataShown = FALSE;
            UpdateSeekSlider(0);
            m_bIgnoreEnd = FALSE;
            SelectMovie(TRUE, TRUE, FALSE);
            return;
        }
        CFolderTreeCtrl* tree = m_pFiler->GetTree();
        nextFolder = tree && tree->GetNextSiblingItem(tree->GetSelectedItem()) != kFolderTreeRoot;
        if (nextFolder) {
            PauseChannels();
            SetChannelVolumes(m_nVolume);
            UpdateSpeedLabel();
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

void CsulvaneDlg::AdvanceFolderOrStop() {
    if (!m_bFolderAdvance) return;
    CFolderTreeCtrl* tree = m_pFiler->GetTree();
    const FolderTreeItem next = tree ? tree->GetNextSiblingItem(tree->GetSelectedItem()) : kFolderTreeRoot;
    if (next != kFolderTreeRoot) {
        tree->SelectItem(next);  // the tree reports it; OnFolderSelected opens it
        return;
    }
    m_bFolderAdvance = FALSE;
    if (m_bLargeVideo) SetLargeVideo(FALSE);
    if (m_apTransport[BTN_VIEW_LARGE_VIDEO]) m_apTransport[BTN_VIEW_LARGE_VIDEO]->SetLatched(FALSE);
    LayoutForMode(m_nLayoutMode);  // the panes again in the layout the user chose
}

void CsulvaneDlg::OpenNextNonEmptyFolder(std::uintptr_t from) {
    CFolderTreeCtrl* tree = m_pFiler->GetTree();
    FolderTreeItem tried = kFolderTreeRoot;
    for (FolderTreeItem item = tree ? tree->GetNextSiblingItem(from) : kFolderTreeRoot; item != kFolderTreeRoot;
         item = tree->GetNextSiblingItem(item)) {
        tried = item;
        if (!m_pFiler->OpenTreeItem(item)) continue;
        tree->SelectItem(item);
        LoadListGpsTrack(*Entries());
        CacheLock lock(*m_hMutexCache);
        m_pFiler->GetList()->SetCurrentRow(0);
        m_pFiler->GetList()->SelectOnlyRow(0);
        return;
    }
    m_bFolderAdvance = FALSE;
    if (m_bLargeVideo) SetLargeVideo(FALSE);
    LayoutForMode(m_nLayoutMode);  // the panes again in the layout the user chose
    UpdateControlStates();
    if (tried != kFolderTreeRoot) {
        tree->SelectItem(tried);
    } else if (ChannelInitialised(0)) {
        SetChannelsSpeed(GetDefaultSpeedStep());
    }
}

void CsulvaneDlg::OnPrevMovie() {
    if (IsNearMovieEnd() && m_bNearEnd) return;
    SetChannelVolumes(0);
    PauseChannels();
    StopPlayback();
    if (!m_hMutexCache) return;
    CacheLock lock(*m_hMutexCache);
    if (IsValidRow(m_nCurRow) && m_nCurRow > 0) {
        m_nCurRow -= 1;
        m_pSeekSlider->SetCaptured(FALSE);
        m_pFiler->SelectFileRow(m_nCurRow, 2);
        m_pGraphDlg->m_bDataShown = FALSE;
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

BOOL CsulvaneDlg::ResumePlayback() {
    if (!ChannelInitialised(0)) return FALSE;
    const PlayState state = Channel(0).playState;
    if (state != PLAY_STOPPED && state != PLAY_PAUSED) return FALSE;
    const BOOL played = PlayChannels();
    m_pMapWrap->SetMapStatus(MAP_STATUS_PLAY);
    return played;
}

BOOL CsulvaneDlg::PausePlayback() {
    if (!ChannelInitialised(0) || Channel(0).playState != PLAY_PLAYING) return FALSE;
    m_pSeekSlider->SetCaptured(FALSE);
    const BOOL paused = PauseChannels();
    // The pause has settled: every pane shows the frame whose picture stays on screen.
    const std::int32_t shown = Slots(0).GetCurrentFrame(Channel(0));
    if (shown >= 0) {
        m_nShownFrame = shown;
        UpdatePlaybackPosition(shown);
        m_nSeekTarget = -1;
    }
    SetPlayButtonState(!paused);
    m_pMapWrap->SetMapStatus(MAP_STATUS_PAUSE);
    return paused;
}

BOOL CsulvaneDlg::StopPlayback() {
    if (!ChannelInitialised(0)) return FALSE;
    const PlayState state = Channel(0).playState;
    if (state != PLAY_PLAYING && state != PLAY_PAUSED) return FALSE;
    {
        CacheLock lock(*m_hMutexCache);
        m_pSeekSlider->SetCaptured(FALSE);
        int results = 0;
        for (int i = 0; i < kChannelCount; ++i)
            if (ChannelInitialised(i)) results |= Slots(i).StopMovie(Channel(i));
        (void)results;
        if (!m_bAdvancing) SetPlayButtonState(FALSE);
    }
    m_pMapWrap->SetMapStatus(MAP_STATUS_STOP);
    return TRUE;
}

BOOL CsulvaneDlg::IsNearMovieEnd() const {
    if (!m_bDataLoaded) return TRUE;
    if (!ChannelInitialised(0)) return FALSE;
    sPLAYCHANNEL& front = Channel(0);
    if (front.playState != PLAY_PLAYING) return FALSE;
    return IsInEndMargin(Slots(0).GetCurrentFrame(front), Slots(0).GetFrameCount(front), front.speedStep);
}

BOOL CsulvaneDlg::SeekToFrame(int frame, int keepState) {
    const bool front = ChannelInitialised(0);
    const std::int64_t count = front ? Slots(0).GetFrameCount(Channel(0)) : 0;
    const SeekFrames frames =
        ComputeSeekFrames(frame, count, front ? Channel(0).speedStep : 1, front, m_pSeekSlider->GetRangeMin());
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
        UpdateControlStates();
        return TRUE;
    default:
        return FALSE;
    }
}

bool CsulvaneDlg::DetectorShown(int detector) const {
    return detector >= 0 && detector < DETECTOR_COUNT && m_pGraphDlg->m_aDetector[std::size_t(detector)].bShow;
}

BOOL CsulvaneDlg::JumpToNextEvent(int frame) { return JumpToEvent(frame, true); }

BOOL CsulvaneDlg::JumpToPrevEvent(int frame) { return JumpToEvent(frame, false); }

BOOL CsulvaneDlg::JumpToEvent(int frame, bool forward) {
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

void CsulvaneDlg::StartPrefetchNextMovie() {
    if (m_prefetchThread.joinable()) m_prefetchThread.join();
    std::string next;
    {
        CacheLock lock(*m_hMutexCache);
        if (IsValidRow(m_nCurRow + 1)) next = (*Entries())[std::size_t(m_nCurRow + 1)].path;
    }
    if (next.empty()) return;
    m_prefetchThread = std::thread([path = std::move(next)] { OpenNeighbourDataFile(path); });
}

// ---- closing -----------------------------------------------------------------------------

void CsulvaneDlg::ClosePlayback() {
    m_bDataLoaded = FALSE;
    m_strOpenPath.clear();
    m_nShownFrame = -1;
    KillTimer(TIMER_PLAYBACK);
    m_nSeekTarget = -1;
    m_nMapFrameSaved = m_pMapWrap->m_nRelJpgNum;
    if (m_pMapWindow->isVisible()) m_pMapWrap->m_nRelJpgNum = -1;
    if (m_pSeekSlider) m_pSeekSlider->SetCaptured(FALSE);
    ResetChannels();
    CloseChannels();
    m_pGraphDlg->update();
}

void CsulvaneDlg::ResetPlaybackUi() {
    m_pInfoDlg->m_bDataLoaded = FALSE;
    UpdateSeekSlider(0);
    if (m_pSeekSlider) m_pSeekSlider->SetRange(0, 0);
    KillTimer(TIMER_PLAYBACK);
    UpdateSpeedLabel();
    JoinDataThreads();
    m_bDataLoaded = FALSE;
    m_pMapWrap->m_bHasPosition = FALSE;
    m_bSelecting = TRUE;
    m_bOpenFailed = FALSE;
    RefreshVideo();
    UpdateMapPane();
    if (m_hMutexCpSet) {
        std::lock_guard markers(*m_hMutexCpSet);
        m_vecCrashPos.clear();
    }
    m_pGraphDlg->m_nAmplitudeMode = 0;
    m_pGraphDlg->update();
    m_pInfoDlg->ResetInfoValues();
    if (ChannelInitialised(0)) OpenDataFile(std::string());
    m_nCurRow = -1;
    m_bOpenArmed = TRUE;
    LayoutForMode(m_nLayoutMode);  // the panes again in the layout the user chose
}

void CsulvaneDlg::RefreshVideo() {
    const PlayState state = ChannelInitialised(0) ? PlayState(Channel(0).playState) : PLAY_CLOSED;
    const int step = ChannelInitialised(0) ? Channel(0).speedStep : 1;
    if (state == PLAY_PLAYING && (step == -4 || step == -2)) {
        PauseChannels();
        RefreshChannels();
        PlayChannels();
    } else if (state == PLAY_STOPPED || state == PLAY_PAUSED) {
        RefreshChannels();
    } else if (state != PLAY_PLAYING) {
        for (CMovieStatic& surface : m_aMovieStatic)
            if (surface.IsCreated()) surface.FillBlack();
    }
}

void CsulvaneDlg::UpdateSpeedLabel() {
    if (!m_pSpeedLabel) return;
    const int id = ChannelInitialised(0) ? SpeedLabelTextId(Channel(0).speedStep) : -1;
    m_pSpeedLabel->setText(id < 0 ? QString() : QString::fromUtf8(UiText(id)));
    // In the full-width layout the label's text reaches into the compact strip: the strip's
    // title begins after it.
    const int textRight = m_pSpeedLabel->geometry().left() +
                          m_pSpeedLabel->fontMetrics().horizontalAdvance(m_pSpeedLabel->text()) + Scaled(10);
    if (m_pInfoDlg->m_nCompactTitleLeft != textRight) {
        m_pInfoDlg->m_nCompactTitleLeft = textRight;
        if (m_nLayoutMode == LAYOUT_FULL_WIDTH) update();
    }
}

}  // namespace orv
