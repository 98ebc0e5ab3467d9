// The main window's playback road: from a selected row of the browser to a movie playing
// in both channels whose data panes follow the frame on screen, on to the next recording
// at its end. It owns the road's state (the row, the open's flags, the ready tags, the
// seek target, the two data threads) and reaches the window through IPlaybackRoadHost and
// the window's panes, which it holds by reference under the window's member names.
//
// Everything here runs on the UI thread except the two data threads (the loader of the
// selected recording's data and the read-ahead of the next one), which report by posted
// messages only.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/commands/CsulvaneDlgRules.h"
#include "app/commands/MainLayout.h"
#include "app/commands/Timers.h"
#include "platform/base/NamedMutex.h"
#include "platform/base/WinTypes.h"
#include "playback/ChannelFacade.h"
#include "playback/PlayChannel.h"
#include "recorder/FileEntry.h"
#include "views/EventClassification.h"

namespace orv {

class CGoogleMapDlgWrap;
class CInfoDlg;
class CGSensorDlg;
class CObdDlg;
class CMovieDialog;
class CMovieStatic;
class CSkinSliderCtrl;
class CFilerContainerDlg;
class CLogoDlg;
class CSkinButton;
class ChannelEngineImpl;
class IFileRows;

// The picture options of both channels, as SetChannelsView takes them.
using ViewRecords = sVIEWRECORD[2];

// What the road asks of the window it runs in.
class IPlaybackRoadHost {
public:
    virtual ~IPlaybackRoadHost() = default;

    virtual HWND RoadWindow() const = 0;  // where the loader posts WM_APP_DATA_LOADED
    virtual void SetRoadTimer(unsigned id, unsigned ms) = 0;
    virtual void KillRoadTimer(unsigned id) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void ShowError(int textId) = 0;

    // The enabling of the controls.
    virtual void DisableAllControls() = 0;
    virtual void EnableIdleControls() = 0;
    virtual void UpdateControlStates() = 0;
    virtual void SetPlayButtonState(BOOL playing) = 0;

    // Sound: the volume the user set, applied to the channels and the slider.
    virtual int Volume() const = 0;
    virtual void SetVolume(int volume) = 0;
    virtual void SetChannelVolumes(int front) = 0;

    // The view: picture options of a new movie, the layout the user chose, the panes that
    // follow the layout.
    virtual BOOL KeepAspect() const = 0;
    virtual ViewRecords& Views() = 0;
    virtual int LayoutMode() const = 0;
    virtual void RestoreLayout() = 0;  // the panes again in the layout the user chose
    virtual BOOL LargeVideo() const = 0;
    virtual void SetLargeVideo(BOOL on) = 0;
    virtual BOOL ObdShown() const = 0;
    virtual void UpdateMapPane() = 0;
    virtual void UpdateSpeedLabel() = 0;
};

// The window's members the road uses, by reference: they may be created after the road.
struct PlaybackPanes {
    const std::unique_ptr<CGoogleMapDlgWrap>& mapWrap;
    const std::unique_ptr<CInfoDlg>& info;
    const std::unique_ptr<CGSensorDlg>& graph;
    const std::unique_ptr<CObdDlg>& obd;
    const std::unique_ptr<CMovieDialog>& mapWindow;
    std::array<CMovieStatic, 2>& surfaces;
    const std::unique_ptr<CSkinSliderCtrl>& seekSlider;
    const std::unique_ptr<CFilerContainerDlg>& filer;
    const std::unique_ptr<CLogoDlg>& logo;
    const std::array<CSkinButton*, kTransportButtonCount>& transport;
    const std::unique_ptr<ChannelEngineImpl>& engine;
    const NamedMutexHandle& mutexCache;  // the browser's entries
    const NamedMutexHandle& mutexCpSet;  // the event list
};

class CPlaybackRoad {
public:
    CPlaybackRoad(IPlaybackRoadHost& host, const PlaybackPanes& panes);
    ~CPlaybackRoad();
    CPlaybackRoad(const CPlaybackRoad&) = delete;
    CPlaybackRoad& operator=(const CPlaybackRoad&) = delete;

    // ---- rows ------------------------------------------------------------------------
    // Whether the browser's list has the row.
    bool IsValidRow(int row) const;
    // The path of the recording the road holds; "" without a valid row.
    std::string CurrentPath() const;
    int GetDefaultSpeedStep() const;
    bool TakeReselectRequest();
    // A row the browser selected, with the entry it shows there.
    void OnFileRowSelected(int row, const sFILEENTRY& entry);
    // Forgets the current row under "hMutexCache", so that selecting it again opens it.
    void ForgetRow();
    // The list was refilled and shows the current recording at `row` now; nothing opens.
    void MoveCurrentRow(int row);

    // ---- selection, open, data -------------------------------------------------------
    BOOL SelectMovie(BOOL resetSeek, BOOL resetGraph, BOOL resetInfo);
    void OnOpenDelay();
    void OnBusyTimeout();
    BOOL OpenSelectedMovie();
    void OnPlayerReady(int channel, WPARAM wParam, LPARAM lParam);
    // The rear companion is late or failed: the front does not wait for it any longer.
    void OnRearReadyTimeout();
    void OnMovieOpened(WPARAM wParam, LPARAM lParam);
    void OnMovieDataLoaded(WPARAM wParam, LPARAM lParam);
    BOOL PlayWithoutLoader();
    BOOL StartPlayback();
    BOOL ActivateRecorderData();
    void JoinDataThreads();
    void StartPrefetchNextMovie();

    // ---- the tick and the panes ------------------------------------------------------
    void OnPlaybackTick();
    void FollowPausedPicture();
    // Every pane, the slider and the map at `frame`, clamped into the slider's range.
    BOOL UpdatePlaybackPosition(std::int64_t frame);
    void UpdateSeekSlider(FrameIndex frame);
    void CheckGpsAtFrame();
    void CheckParkingTrace();
    BOOL SendCrashPositions(int row, BOOL wholeLine);
    void RefreshMapState();
    // The map page came up: the markers are sent again.
    void ResendMarkers();
    void RefreshVideo();

    // ---- continuous play -------------------------------------------------------------
    void OnMovieEnded(WPARAM wParam, LPARAM lParam);
    void PlayNextMovie();
    void AdvanceFolderOrStop();
    void OpenNextNonEmptyFolder(std::uintptr_t from);
    void OnPrevMovie();

    // ---- play, pause, stop, seek -----------------------------------------------------
    BOOL ResumePlayback();
    BOOL PausePlayback();
    BOOL StopPlayback();
    BOOL IsNearMovieEnd() const;
    // Moves both channels to `frame` (a request as a message carries it, clamped here into
    // the movie) and keeps or resumes the play state `keepState`.
    BOOL SeekToFrame(std::int64_t frame, int keepState);
    BOOL JumpToNextEvent(int frame);
    BOOL JumpToPrevEvent(int frame);
    BOOL JumpToEvent(int frame, bool forward);
    void ClosePlayback();
    void ResetPlaybackUi();

    // ---- what the window's commands decide by and change ------------------------------
    int CurrentRow() const { return m_nCurRow; }
    std::uint64_t SelectionSerial() const { return m_nSelectionSerial; }
    BOOL DataLoaded() const { return m_bDataLoaded; }
    BOOL Busy() const { return m_bBusy; }
    BOOL OpenFailed() const { return m_bOpenFailed; }
    BOOL OpenArmed() const { return m_bOpenArmed; }
    BOOL Advancing() const { return m_bAdvancing; }
    BOOL FolderAdvance() const { return m_bFolderAdvance; }
    BOOL ParkingNoFix() const { return m_bParkingNoFix; }
    // A command may run: not while a playing movie is about to end and continuous play to
    // move on.
    BOOL NearEndLocked() const { return IsNearMovieEnd() && m_bNearEnd; }
    const std::string& OpenPath() const { return m_strOpenPath; }
    const std::vector<sCRASHPOS>& CrashPositions() const { return m_vecCrashPos; }

    // The movie's data is to be loaded again (the source or the movie went away).
    void ForgetData() { m_bDataLoaded = FALSE; }
    void ClearOpenFailed() { m_bOpenFailed = FALSE; }
    void SelectionDone() { m_bSelecting = FALSE; }
    // The end of the movie is acted on again (a play command).
    void AllowEnd() { m_bIgnoreEnd = FALSE; }
    // Playing begins once the data is in (a play command that came before it).
    void SetResumeAfterLoad(BOOL resume) { m_bResumeAfterLoad = resume; }
    // After a job that closed the movie: the frame it goes back to once the data is in.
    void SetResumePending(BOOL pending) { m_bResumePending = pending; }
    void SetResumeFrame(std::int64_t frame) { m_nResumeFrame = ClampFrame(frame, 0, std::numeric_limits<FrameIndex>::max()); }

private:
    // The browser's list, which owns the entries (null without a browser).
    IFileRows* Rows() const;
    // `row` becomes the current row with the entry the list shows there now (none for -1).
    void TakeRowFromList(int row);

    void ReadyChannelsReset();
    void FireMovieOpened(WPARAM wParam, LPARAM lParam);
    void StartLoaderThread(std::string path);
    void ApplyFrontSpeedToBoth();
    // Leaves the large-video view, when on, and releases its button.
    void LeaveLargeVideo();
    bool DetectorShown(int detector) const;

    IPlaybackRoadHost& m_host;
    // The window's panes, under its own names.
    const std::unique_ptr<CGoogleMapDlgWrap>& m_pMapWrap;
    const std::unique_ptr<CInfoDlg>& m_pInfoDlg;
    const std::unique_ptr<CGSensorDlg>& m_pGraphDlg;
    const std::unique_ptr<CObdDlg>& m_pObdDlg;
    const std::unique_ptr<CMovieDialog>& m_pMapWindow;
    std::array<CMovieStatic, 2>& m_aMovieStatic;
    const std::unique_ptr<CSkinSliderCtrl>& m_pSeekSlider;
    const std::unique_ptr<CFilerContainerDlg>& m_pFiler;
    const std::unique_ptr<CLogoDlg>& m_pLogo;
    const std::array<CSkinButton*, kTransportButtonCount>& m_apTransport;
    const std::unique_ptr<ChannelEngineImpl>& m_pEngine;
    const NamedMutexHandle& m_hMutexCache;
    const NamedMutexHandle& m_hMutexCpSet;

    // Selections are numbered so that a data load answering an older one is dropped.
    std::uint64_t m_nSelectionSerial = 0;
    int m_nCurRow = -1;
    // The entry of the current row: handed by the list with the selection, taken from it
    // again when the road moves on by itself and at the open.
    sFILEENTRY m_entry;
    BOOL m_bDataLoaded = FALSE;
    BOOL m_bSelecting = FALSE;
    BOOL m_bOpenArmed = TRUE;
    BOOL m_bFolderAdvance = FALSE;
    BOOL m_bIgnoreEnd = FALSE;
    BOOL m_bBusy = FALSE;
    BOOL m_bAdvancing = FALSE;
    BOOL m_bOpenFailed = FALSE;
    BOOL m_bNearEnd = FALSE;
    BOOL m_bResumeAfterLoad = FALSE;
    BOOL m_bResumePending = FALSE;
    FrameIndex m_nResumeFrame = -1;
    FrameIndex m_nSeekTarget = -1;
    FrameIndex m_nShownFrame = -1;  // channel 1's picture on screen when the tick looked last
    BOOL m_bMarkersSent = FALSE;
    BOOL m_bTraceFile = FALSE;      // "pvtrace.txt" at the root of the SD-card source
    BOOL m_bParkingTrace = FALSE;   // the current movie is a parking one on such a card
    BOOL m_bParkingMovie = FALSE;   // the current movie is a parking or parking-impact recording
    BOOL m_bParkingNoFix = FALSE;   // ... and the frame on screen has no GPS fix
    int m_nMapFrameSaved = -1;
    std::vector<sCRASHPOS> m_vecCrashPos;

    // The channels that opened the current movie, the tags their players' notices carry
    // (CPlayer::OpenTag), and those whose player reported ready.
    std::array<bool, 2> m_bReadyExpected{};
    std::array<std::uint64_t, 2> m_aReadyTag{};
    std::array<bool, 2> m_bReadySeen{};
    std::string m_strOpenPath;  // the recording whose movie the channels have open

    std::thread m_loaderThread;
    std::thread m_prefetchThread;

    StallWatchdog m_stall;
};

}  // namespace orv
