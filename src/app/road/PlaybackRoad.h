// The main window's playback road: from a selected row of the browser to a movie playing
// in both channels whose data panes follow the frame on screen, on to the next recording
// at its end. It is the one owner of the channels: every play, pause, stop, seek, speed,
// volume and view request of the window goes through it, and only it drives the channel
// facade (the window starts the channels up and ends them). It owns the road's state (the
// row, the open's flags, the ready tags, the seek target, the two data threads), tells the
// panes what to show through the listeners the window connects (PlaybackListener.h), and
// asks of the window only what the window alone can do, through IPlaybackRoadHost.
//
// Everything here runs on the UI thread except the two data threads (the loader of the
// selected recording's data and the read-ahead of the next one), which report by posted
// messages only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/commands/PlaybackRules.h"
#include "app/commands/Timers.h"
#include "app/road/PlaybackListener.h"
#include "platform/base/NamedMutex.h"
#include "platform/base/WinTypes.h"
#include "playback/ChannelFacade.h"
#include "playback/PlayChannel.h"
#include "recorder/FileEntry.h"
#include "views/EventClassification.h"

namespace orv {

class IRecordingBrowser;
class IFileRows;

// The picture options of both channels, as SetChannelsView takes them.
using ViewRecords = sVIEWRECORD[2];

// Which of the window's controls take input.
enum class RoadControls {
    kNone,     // none (a movie opening, or about to end)
    kIdle,     // what works without a movie (an open failed, the busy time-out)
    kByState,  // by the state of the list and the channels
};

// The window's two sliders, as their messages name them.
enum class RoadSlider { kSeek, kVolume, kOther };

// What only the window can do for the road: its timers and posted messages, the cursor,
// the message box, which controls take input, the layout of its panes and video, and the
// seek slider's drag.
class IPlaybackRoadHost {
public:
    virtual ~IPlaybackRoadHost() = default;

    virtual HWND RoadWindow() const = 0;  // where the loader posts WM_APP_DATA_LOADED
    virtual void SetRoadTimer(unsigned id, unsigned ms) = 0;
    virtual void KillRoadTimer(unsigned id) = 0;
    virtual void ShowWaitCursor(bool on) = 0;
    virtual void ShowError(int textId) = 0;
    virtual void EnableControls(RoadControls controls) = 0;

    // The layout: the panes again in the layout the user chose; the large-video view left
    // and its button released; the map page or the logo in the map's place.
    virtual void RestoreLayout() = 0;
    virtual void LeaveLargeVideo() = 0;
    virtual void UpdateMapPane() = 0;
    // The map page has loaded; it stands shown over a live connection (asked only while the
    // movie is paused or stopped: the question drops a page that lost its line).
    virtual bool MapPageReady() const = 0;
    virtual bool MapPageLive() = 0;
    // Both video surfaces drawn again, black when `black`.
    virtual void PaintVideo(bool black) = 0;
    // The seek slider's thumb is being dragged; the drag is dropped (no release is told).
    virtual bool SeekDragging() const = 0;
    virtual void DropSeekDrag() = 0;
};

// What the window lends the road, by reference: they may be made after the road. The browser
// is made before the road and outlives it; its list (IRecordingBrowser::Rows) may come later.
struct PlaybackLends {
    IRecordingBrowser& browser;          // the list and the folder tree
    const NamedMutexHandle& mutexCache;  // "hMutexCache" and "hMutexCpSet": what each guards,
    const NamedMutexHandle& mutexCpSet;  // at the road's members below
    const EventDetectors& detectors;     // which events are shown and listed
    const ViewRecords& views;            // the surfaces' pan and zoom
};

// Channel 1 as the window's commands and layout read it.
struct FrontChannel {
    bool initialised = false;
    PlayState state = PLAY_CLOSED;  // PLAY_CLOSED when not initialised
    int speedStep = 1;              // 1 when not initialised
    int keepAspect = 0;
};

class CPlaybackRoad {
public:
    static constexpr int kMaxVolume = 65535;

    CPlaybackRoad(IPlaybackRoadHost& host, const PlaybackLends& lends);
    ~CPlaybackRoad();
    CPlaybackRoad(const CPlaybackRoad&) = delete;
    CPlaybackRoad& operator=(const CPlaybackRoad&) = delete;

    // ---- listeners ---------------------------------------------------------------------
    // Told in the order they were connected; a listener is connected once, and stays
    // connected as long as the road.
    void Connect(IPlaybackListener& listener);

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

    // ---- selection, open, data (PlaybackRoad.cpp) -----------------------------------------
    BOOL SelectMovie(BOOL resetSeek, BOOL resetGraph, BOOL resetInfo);
    void OnOpenDelay();
    void OnBusyTimeout();
    BOOL OpenSelectedMovie();
    // A channel's player is ready with the open tagged `tag` (CPlayer::OpenTag).
    void OnPlayerReady(int channel, WPARAM tag);
    // The rear companion is late or failed: the front does not wait for it any longer.
    void OnRearReadyTimeout();
    void OnMovieDataLoaded(WPARAM wParam, LPARAM lParam);
    BOOL PlayWithoutLoader();
    BOOL StartPlayback();
    void JoinDataThreads();
    void StartPrefetchNextMovie();

    // ---- the tick and the panes ------------------------------------------------------
    void OnPlaybackTick();
    void FollowPausedPicture();
    // Every pane, the slider and the map at `frame`, clamped into the slider's range.
    BOOL UpdatePlaybackPosition(std::int64_t frame);
    // The seek slider and the graph's cursor at `frame`.
    void UpdateSeekSlider(FrameIndex frame);
    void CheckGpsAtFrame();
    void CheckParkingTrace();
    BOOL SendCrashPositions(int row, BOOL wholeLine);
    void RefreshMapState();
    // The map page came up: the markers are sent again.
    void ResendMarkers();
    void RefreshVideo();

    // ---- continuous play -------------------------------------------------------------
    void OnMovieEnded();
    void PlayNextMovie();
    void AdvanceFolderOrStop();
    void OpenNextNonEmptyFolder(std::uintptr_t from);
    void OnPrevMovie();

    // ---- play, pause, stop, seek -----------------------------------------------------
    BOOL ResumePlayback();
    BOOL PausePlayback();
    BOOL StopPlayback();
    // Channel 1 as the near-end test sees it, and the test (IsNearMovieEnd of the rules).
    ChannelPosition NearEndPosition() const;
    BOOL IsNearMovieEnd() const;
    // Moves both channels to `frame` (a request as a message carries it, clamped here into
    // the movie) and keeps or resumes the play state `keepState`.
    BOOL SeekToFrame(std::int64_t frame, int keepState);
    BOOL JumpToNextEvent(int frame);
    BOOL JumpToPrevEvent(int frame);
    BOOL JumpToEvent(int frame, bool forward);
    void ClosePlayback();
    void ResetPlaybackUi();

    // ---- the window's commands (PlaybackCommands.cpp) ----------------------------------
    // The transport buttons and the video menu.
    void OnPlayPause();
    void OnStop();
    void OnNextMovie();
    void ChangeSpeedStep(bool faster);
    void OnKeepAspect();
    // The sliders' messages: a press, a drag and a release at `pos`; `besideThumb`, the seek
    // slider's press fell beside its thumb (a click on the track). A drag and a release of the
    // seek slider go by what its press began.
    void OnSliderDown(RoadSlider slider, std::int64_t pos, bool besideThumb);
    void OnSliderDrag(RoadSlider slider, std::int64_t pos);
    void OnSliderUp(RoadSlider slider, std::int64_t pos);
    // A marker clicked on the map: its event's frame, in the play state of the moment.
    void OnMapMarkerClick(std::int64_t frame);
    // A release in the graph: the previous or next shown event, wrapping at the ends.
    void OnPrevEvent();
    void OnNextEvent();
    // The volume the user set (clamped to 0..kMaxVolume): channel 1 plays at it, channel 2
    // stays silent.
    void SetVolume(int volume);

    // ---- what the window's other commands ask of the channels --------------------------
    // The keep-aspect flag as the settings have it, taken without telling anyone; applied
    // to the channels by ApplyKeepAspect and by the next open.
    void RestoreKeepAspect(BOOL keep) { m_bKeepAspect = keep; }
    void ApplyKeepAspect();
    // The flag set, applied and told.
    void SetKeepAspect(BOOL keep);
    // The window's views applied to the channels.
    void ApplyView(BOOL redraw);
    // Paused unless paused, then stopped (the source goes, the program closes, the list is
    // emptied); PauseAndStop pauses as the play command does.
    void HaltPlayback();
    void PauseAndStop();
    void SetDefaultSpeed();
    // The movie of both channels closed and their data reset.
    void CloseMovie();
    // The folder that is left: its movie paused and (unless advancing) stopped, the speed
    // back to the default unless a folder advance is due, the movie closed, the playback
    // view reset.
    void LeaveFolder();
    // The list's recordings went away: halted at the default speed, closed, reset.
    void CloseForEmptyList();
    // A single file was chosen as the source: the channels let go of the held data of the
    // previous list.
    void ReleaseHeldData();
    // The source moves under the movie (a card put back, the layout of the video changed):
    // HoldForSourceMove pauses an open movie and tells the state it had; ResumeAfterSourceMove
    // opens a short movie afresh (stopped at its start) and lets a longer one play on.
    PlayState HoldForSourceMove();
    void ResumeAfterSourceMove(PlayState before);
    // Speed back to the default, silent, at frame 0 and stopped.
    void RewindToStart();
    // A job is about to run: the CSV export pauses; the others rewind, and a delete
    // also closes the movie. The prefetch stops.
    void PrepareForJob(bool exportOnly, bool deleting);
    // A join begins: the movie on screen closes; the frame it showed.
    std::int64_t CloseMovieOnScreen();
    void RewindAfterJoin();
    // A still picture: the overlays cleared and playback paused; false when no channel
    // took the overlay (nothing to save). EndSnapshot puts the overlays back.
    bool BeginSnapshot();
    void EndSnapshot();
    // Waits until the seeks' pictures are on screen.
    void SettlePicture();
    // Each channel's picture into its path (an empty path is skipped): the count saved, and
    // whether a channel with a movie open failed.
    struct SnapshotResult {
        int saved = 0;
        bool missing = false;
    };
    SnapshotResult SaveSnapshots(const std::string& front, const std::string& rear);

    // ---- what the window's commands decide by and change ------------------------------
    FrontChannel Front() const;
    // Channel 1's speed step as the speed label shows it: 0 (an empty label) without it.
    int ShownSpeedStep() const;
    bool IsChannelInitialised(int channel) const;
    // Whether an initialised channel holds a movie.
    bool IsChannelShowing(int channel) const;
    // Channel 1's frame on screen and frame count (0 without channel 1).
    std::int64_t CurrentFrame() const;
    std::int64_t FrameCount() const;
    // A channel's native picture size (0 x 0 without a movie).
    SIZE VideoSize(int channel) const;
    int Volume() const { return m_nVolume; }
    int CurrentRow() const { return m_nCurRow; }
    std::uint64_t SelectionSerial() const { return m_nSelectionSerial; }
    BOOL DataLoaded() const { return m_bDataLoaded; }
    BOOL Busy() const { return m_bBusy; }
    BOOL OpenFailed() const { return m_bOpenFailed; }
    BOOL OpenArmed() const { return m_bOpenArmed; }
    BOOL Advancing() const { return m_bAdvancing; }
    BOOL FolderAdvance() const { return m_bFolderAdvance; }
    BOOL ParkingNoFix() const { return m_bParkingNoFix; }
    // The frame shown has a GPS fix.
    BOOL HasPosition() const { return m_bHasPosition; }
    // Where the seek slider stands and how far it reaches.
    int SeekPos() const { return m_seek.pos; }
    int SeekMax() const { return m_seek.max; }
    // A command may run: not while a playing movie is about to end and continuous play to
    // move on.
    BOOL NearEndLocked() const { return IsNearMovieEnd() && m_bNearEnd; }
    const std::string& OpenPath() const { return m_strOpenPath; }
    const std::vector<sCRASHPOS>& CrashPositions() const { return m_vecCrashPos; }

    // The movie's data is to be loaded again (the source or the movie went away).
    void ForgetData() { m_bDataLoaded = FALSE; }
    void ClearOpenFailed() { m_bOpenFailed = FALSE; }
    void SelectionDone() { m_bSelecting = FALSE; }
    // After a job that closed the movie: the frame it goes back to once the data is in.
    void SetResumePending(BOOL pending) { m_bResumePending = pending; }
    void SetResumeFrame(std::int64_t frame) { m_nResumeFrame = ClampFrame(frame, 0, std::numeric_limits<FrameIndex>::max()); }

private:
    // The browser's list, which owns the entries (null before the list exists).
    IFileRows* Rows() const;
    // `row` becomes the current row with the entry the list shows there now (none for -1).
    void TakeRowFromList(int row);

    // Asks `channel` to stop, once more when it refused and plays on; whether it no longer
    // plays.
    bool AskToStop(int channel);
    // A command given while the seek slider's thumb is held is kept, in order, and taken
    // right after the release's seek: true when it was kept (a seek is held), false when it
    // is to run now.
    bool KeepForAfterSeek(std::function<void()> command);
    // The thumb let go without a release (another recording selected, the movie stopped or
    // closed for a job or a new source): the commands kept for after it go with it.
    void DropSeekDrag();
    void ReadyChannelsReset();
    // Every channel that took the movie is ready (or the rear was given up): once per open.
    void FireMovieOpened();
    // Playback goes on with the rear closed by a stop it refused: the rear movie opens again,
    // and once its player is ready it is brought to the front's frame and state.
    void ReopenClosedRear();
    void RearRejoined();
    void OnMovieOpened();
    void StartLoaderThread(std::string path);
    void ApplyFrontSpeedToBoth();
    // Moves the staged data into the active scanner and tells what the recording holds;
    // whether the frame rate is known.
    BOOL ActivateRecorderData(RecordingOpened& opened);
    // Channel 1 at `front` (0 mutes it); channel 2 always silent.
    void SetChannelVolumes(int front);
    bool DetectorShown(int detector) const;

    // What the listeners are told.
    template <typename Notice>
    void Tell(void (IPlaybackListener::*notice)(Notice), std::type_identity_t<Notice> value) {
        for (IPlaybackListener* listener : m_listeners) (listener->*notice)(value);
    }
    void TellCleared(unsigned parts) { Tell(&IPlaybackListener::OnRecordingCleared, parts); }
    void TellTransport(const TransportShown& shown) { Tell(&IPlaybackListener::OnTransportShown, shown); }
    void TellSpeed();

    IPlaybackRoadHost& m_host;
    std::vector<IPlaybackListener*> m_listeners;
    // What the window lends.
    IRecordingBrowser& m_browser;

    // The locks the road takes, six in all, in the order below: a lock is never taken while
    // one further down the list is held. Each is recursive, so that the UI thread may take
    // one again while it holds it (a selection from the list stops the channels, which takes
    // "hMutexCache" once more).
    //  1. "hMutexCache": the browser's entries and which of them is current (m_nCurRow,
    //     m_entry, the browser's current row). Held while a row is taken from the list, while
    //     the next or previous recording is chosen and around the stop asked of the channels;
    //     the list takes it itself when the road tells it a row's quality or start time, which
    //     the road does holding none of the locks below. Only the UI thread takes it: a data
    //     thread gets its path copied before it starts.
    const NamedMutexHandle& m_hMutexCache;
    //  2. "hMutexCpSet": the event list (m_vecCrashPos), for the whole of its rebuild and the
    //     telling of its markers, and while an event jump walks it.
    const NamedMutexHandle& m_hMutexCpSet;
    //  3, 4. Each channel's data lock (sPLAYCHANNEL::dataLock): the channel's read-ahead
    //     scanner. Held by a data thread for its whole read (OpenDataFile,
    //     OpenNeighbourDataFile, channel 1's only) and by the load of the selected recording's
    //     data into the staging scanner (LoadChannelsData, on the UI thread).
    //  5, 6. Each channel's slot lock (sPLAYCHANNEL::slotLock), channel 1's before channel
    //     2's: the channel's player, its scanners and its decoded records and frame table.
    //     Every channel operation takes its own; ChannelsLock takes both while the road reads
    //     a frame's record or the event list's records and while the staged data becomes the
    //     active data. A record found under them is not used after they are let go.
    const EventDetectors& m_detectors;
    const ViewRecords& m_views;

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
    BOOL m_bHasPosition = FALSE;
    std::vector<sCRASHPOS> m_vecCrashPos;

    // The requests the road answers for the user: the volume, the keep-aspect flag and
    // channel 1's play state when the seek slider was pressed.
    int m_nVolume = kMaxVolume;
    BOOL m_bKeepAspect = TRUE;
    int m_nPlayStateAtDown = PLAY_CLOSED;
    // The seek slider's thumb is held: from the press until its release is taken. The
    // channels stand paused for the drag only, not for the user, and the release comes as a
    // posted message that a command given in the same moment overtakes; such a command is
    // kept here and taken after the release's seek, so that it acts on the state the seek
    // leaves, not on the drag's pause (which the release would undo).
    bool m_bSeekHeld = false;
    std::vector<std::function<void()>> m_afterSeek;
    // The seek slider as the road set it: its range and position.
    struct SeekRange {
        int min = 0;
        int max = 0;
        int pos = 0;
    } m_seek;

    // The channels that opened the current movie, the tags their players' notices carry
    // (CPlayer::OpenTag), and those whose player reported ready.
    std::array<bool, 2> m_bReadyExpected{};
    std::array<std::uint64_t, 2> m_aReadyTag{};
    std::array<bool, 2> m_bReadySeen{};
    bool m_bRearRejoining = false;  // the rear was opened again and its player is awaited
    std::string m_strOpenPath;  // the recording whose movie the channels have open

    std::thread m_loaderThread;
    std::thread m_prefetchThread;

    StallWatchdog m_stall;
};

}  // namespace orv
