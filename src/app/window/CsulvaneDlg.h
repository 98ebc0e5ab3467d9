// The main window: the video surface with its sliders and transport buttons, the file
// browser, the info panel, the G-sensor graph, the vehicle gauges and the map window. Its
// playback road opens the recording selected in the browser in both channels, tells every
// pane the frame on screen on a 30 ms tick and moves on to the next recording at the end;
// the window starts and ends the channels, hands the road its commands and connects its
// panes to what the road tells (CsulvaneDlgRoad.cpp).
//
// Everything here runs on the UI thread except the road's two data threads (the loader of
// the selected recording's data and the read-ahead of the next one), which report by
// posted messages only.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/commands/ControlRules.h"
#include "app/commands/FrameMath.h"
#include "app/commands/ScaleFrameWindow.h"
#include "app/commands/MainLayout.h"
#include "app/commands/PlaybackRules.h"
#include "app/commands/Timers.h"
#include "app/surface/MovieStatic.h"
#include "app/road/PlaybackRoad.h"
#include "filer/FileListOwner.h"
#include "platform/base/NamedMutex.h"
#include "platform/window/AppWindow.h"
#include "playback/ChannelFacade.h"
#include "playback/PlayChannel.h"
#include "recorder/FileEntry.h"
#include "ui/CaptionDrag.h"
#include "views/EventClassification.h"

class QLabel;

namespace orv {

class ChannelEngineImpl;
class CResourceImage;
class COffScreenDC;
class CGoogleMapDlgWrap;
class CInfoDlg;
class CGSensorDlg;
class CObdDlg;
class CMovieDialog;
class CSkinSliderCtrl;
class CSkinProgressBarCtrl;
class CLapTimeArea;
class CFilerContainerDlg;
class CLogoDlg;
class CSkinButton;
class CSettingDlg;
class CJobFrame;
struct MovieMenuState;

// Control ids.
constexpr int IDC_SEEK_SLIDER = 38100;
constexpr int IDC_VOLUME_SLIDER = 38101;
constexpr int IDC_PROGRESS = 38102;
constexpr int IDC_FRONT_SURFACE = 1000;
constexpr int IDC_REAR_SURFACE = 1001;

class CsulvaneDlg : public QDialog, public AppWindow, public IFileListOwner, public MovieSurfaceOwner {
public:
    explicit CsulvaneDlg(QWidget* parent = nullptr);
    ~CsulvaneDlg() override;

    // ---- the window's operations -----------------------------------------------------
    // Start-up and shutdown, and the handlers that the commands and the posted messages
    // reach.

    // TRUE always; when a step the window cannot run without fails, the failure is
    // reported with "ERROR" and the window ends (m_bInitFailed).
    BOOL OnInitDialog();
    void OnInitDone(WPARAM wParam, LPARAM lParam);
    void CleanUp();
    void OnBtnClose();

    // Commands (CsulvaneDlgCommands.cpp, CsulvaneDlgButtons.cpp, CsulvaneDlgView.cpp). What
    // plays, pauses, stops, seeks or changes the speed or the volume is the road's.
    void OnCommand(int id);
    void OnPlayPause() { m_pRoad->OnPlayPause(); }
    void OnStop() { m_pRoad->OnStop(); }
    void OnPrevMovie() { m_pRoad->OnPrevMovie(); }
    void OnNextMovie() { m_pRoad->OnNextMovie(); }
    void OnSlower() { m_pRoad->ChangeSpeedStep(false); }
    void OnFaster() { m_pRoad->ChangeSpeedStep(true); }
    void OnSnapshot();
    void OnLargeVideo();
    void OnKeepAspect() { m_pRoad->OnKeepAspect(); }
    void OnBrowseSource();
    void OnSettings();
    void OnObdWindow();
    void OnMapWindow();
    void OnBtnMaximize();
    void OnBtnMinimize();
    void OnBtnThumbnail();

    // Messages.
    void OnMovieDataLoaded(WPARAM wParam, LPARAM lParam) { m_pRoad->OnMovieDataLoaded(wParam, lParam); }
    void OnSliderDrag(WPARAM id, LPARAM pos) { m_pRoad->OnSliderDrag(SliderOf(id), pos); }
    void OnSliderDown(WPARAM id, LPARAM pos) { m_pRoad->OnSliderDown(SliderOf(id), pos, SeekBesideThumb()); }
    void OnSliderUp(WPARAM id, LPARAM pos) { m_pRoad->OnSliderUp(SliderOf(id), pos); }
    void OnMapMarkerClick(WPARAM, LPARAM frame) { m_pRoad->OnMapMarkerClick(frame); }
    void OnGSensorPrevEvent() { m_pRoad->OnPrevEvent(); }
    void OnGSensorNextEvent() { m_pRoad->OnNextEvent(); }
    void OnInfoAxisToggle(WPARAM axis, LPARAM state);
    void OnEventFilterChanged(WPARAM index, LPARAM state);
    void OnFolderSelected(WPARAM wParam, LPARAM item);
    void OnSourceLost();
    // WM_APP_SOURCE_LOST: a source that is back by now (the card put back, the folder
    // restored) keeps playing through ResetVideoArea; one still gone is cleared away.
    void OnSourceLostReport();
    // WM_APP_SOURCE_BACK: the lost source is there again; it is opened as it was chosen.
    void OnSourceBack();
    void OnJobProgress(WPARAM done, LPARAM total);
    void OnMapWindowTitleDblClk();
    // WM_APP_MAPWND_CLOSE: the map window's close box.
    void OnMapWindowClosed();
    void OnUpdateInfo();
    void OnAppBarNotify(WPARAM code);
    void OnMonitorChanged();

    // ---- IFileListOwner ------------------------------------------------------------
    HWND GetOwnerHwnd() const override { return GetSafeHwnd(); }
    int GetCurrentFileRow() const override { return m_pRoad->CurrentRow(); }
    bool TakeReselectRequest() override { return m_pRoad->TakeReselectRequest(); }
    void MoveCurrentFileRow(int row) override { m_pRoad->MoveCurrentRow(row); }
    void OnFileRowSelected(int row, const sFILEENTRY& entry) override { m_pRoad->OnFileRowSelected(row, entry); }
    void OnPreviewFile(int row, const sFILEENTRY& entry) override;
    void OnFilterButton(int kind) override;

    // ---- MovieSurfaceOwner ---------------------------------------------------------
    void OnVideoClick(int surface, POINT point) override;
    void OnVideoDblClk(int surface) override;
    void OnVideoContextMenu(POINT screenPoint, int surface) override;
    // Only the graph player posts it, and this platform never builds one.
    void OnGraphNotify(WPARAM, LPARAM) override {}
    // The ended notice carries nothing the road needs; the ready one its open's tag.
    void OnMovieEnded(WPARAM, LPARAM) override { m_pRoad->OnMovieEnded(); }
    void OnPlayerReady(int channel, WPARAM wParam, LPARAM) override { m_pRoad->OnPlayerReady(channel, wParam); }
    bool IsChannelShowing(int channel) const override { return m_pRoad->IsChannelShowing(channel); }

    // ---- what the tests, tools and benches drive ------------------------------------
    BOOL SeekToFrame(std::int64_t frame, int keepState) { return m_pRoad->SeekToFrame(frame, keepState); }
    BOOL SendCrashPositions(int row, BOOL wholeLine) { return m_pRoad->SendCrashPositions(row, wholeLine); }
    // Places every pane for a layout mode (0..2; 3 the full-video view).
    void LayoutForMode(int mode);
    void ApplyFullView(BOOL on);
    void SetLargeVideo(BOOL on);
    void ShowVideoAtNativeSize();
    // The map page and the logo pane docked in the main window (FALSE: in the map window).
    void DockMapPane(BOOL docked);
    // A double click on the map window's title strip: the window goes back beside the
    // video, and when it is there already, the map docks at that place in the main window.
    void PlaceMapBesideVideo();
    void SetVolume(int volume) { m_pRoad->SetVolume(volume); }
    void ApplyModelLimits();
    void EnableBrowserButtons(BOOL on);
    BOOL OpenChosenSource(int kind, std::string path);
    // The window's own frame: a press, move and release of the left button at a screen
    // point, and the cursor over it.
    void OnFrameButtonDown(POINT screen);
    void OnFrameMouseMove(POINT screen, BOOL buttonDown);
    void OnFrameButtonUp(POINT screen);
    void UpdateFrameCursor(POINT screen);
    // Shows a failure to the user; the tests replace it so that no modal box runs.
    void SetShowMessage(std::function<void(const QString& text, const QString& caption)> show) {
        m_showMessage = std::move(show);
    }
    // Asks an OK/Cancel question and answers IDOK or IDCANCEL; runs the source dialog and
    // answers whether it ended with OK. Unset, the skinned box and the dialog run modally;
    // the tests set both.
    void SetAskOkCancel(std::function<int(const QString& text, const QString& caption)> ask) {
        m_askOkCancel = std::move(ask);
    }
    void SetRunSourceDialog(std::function<bool(QDialog& dialog)> run) { m_runSourceDialog = std::move(run); }

    // ---- what the tests, tools and benches look at ----------------------------------
    // The playback road's state.
    const CPlaybackRoad& Road() const { return *m_pRoad; }
    // The rows of the browser's list (0 without a browser).
    int RowCount() const;
    const std::vector<sCRASHPOS>& CrashPositions() const { return m_pRoad->CrashPositions(); }
    CMovieStatic& FrontSurface() { return m_aMovieStatic[0]; }
    CMovieStatic& RearSurface() { return m_aMovieStatic[1]; }
    CInfoDlg* InfoPanel() const { return m_pInfoDlg.get(); }
    CObdDlg* ObdWindow() const { return m_pObdDlg.get(); }
    CMovieDialog* MapWindow() const { return m_pMapWindow.get(); }
    CGoogleMapDlgWrap* MapBridge() const { return m_pMapWrap.get(); }
    CFilerContainerDlg* Browser() const { return m_pFiler.get(); }
    CSkinSliderCtrl* SeekSlider() const { return m_pSeekSlider.get(); }
    CSettingDlg* SettingWindow() const { return m_pSettingDlg.get(); }
    QDialog* UpdateDialog() const { return m_pUpdateDlg.get(); }
    ScaleFrameWindow* ScaleFrame() const { return m_pScaleFrame.get(); }
    ChannelEngineImpl* Engine() const { return m_pEngine.get(); }
    BOOL IsInitFailed() const { return m_bInitFailed; }
    BOOL IsInitDone() const { return m_bInitDone; }
    BOOL IsMapShown() const { return m_bMapShown; }
    // The map page lives in the map window (FALSE: docked in the main window).
    BOOL IsMapInOwnWindow() const { return m_bMapInOwnWindow; }
    BOOL IsFullView() const { return m_bFullView; }
    int LayoutMode() const { return m_nLayoutMode; }
    // The pan and zoom of a surface's channel.
    const sVIEWRECORD& View(int surface) const { return m_aView[surface]; }
    float WindowScaleX() const { return m_fWindowScaleX; }
    float WindowScaleY() const { return m_fWindowScaleY; }
    float MaxScale() const { return m_fMaxScale; }
    const PaneArea& Panes() const { return m_paneArea; }
    RECT FrameRect() const;
    BOOL IsMaximised() const { return m_bMaximised; }
    // The caption is being dragged (the window moves with the mouse).
    BOOL IsMoving() const { return m_caption.IsFollowing(); }
    // The volume the slider set, which the front channel plays at.
    int Volume() const { return m_pRoad->Volume(); }

    static constexpr int kMaxVolumeValue = CPlaybackRoad::kMaxVolume;

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(unsigned id) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    // Watches the gauge and map windows' states (minimised on their own or with the window).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- start-up and shutdown (CsulvaneDlg.cpp) -------------------------------------
    // The steps of OnInitDialog, in their order.
    void SetUpStartFolderAndTitle();
    BOOL CreateChildPanes();
    void SetUpJobsAndSettings();
    void InitPlayChannels();
    void TermPlayChannels();
    void ShowStartState(int volume);
    void FitToMonitor();
    void CreateTransportButtons();
    BOOL RestoreLastSource();
    void ResetViewForSource();
    // Empties the browser's list and the entries behind it, with its folder tree too when
    // `withTree` (the source is gone); under "hMutexCache".
    void ClearBrowserList(BOOL withTree);

    // ---- the main road: selection, open, data, tick (CPlaybackRoad) ------------------
    // The road's steps under their own names, for the window's own use.
    BOOL SelectMovie(BOOL resetSeek, BOOL resetGraph, BOOL resetInfo) {
        return m_pRoad->SelectMovie(resetSeek, resetGraph, resetInfo);
    }
    void CheckGpsAtFrame() { m_pRoad->CheckGpsAtFrame(); }
    void CheckParkingTrace() { m_pRoad->CheckParkingTrace(); }
    void OnPlaybackTick() { m_pRoad->OnPlaybackTick(); }
    void OpenNextNonEmptyFolder(std::uintptr_t from) { m_pRoad->OpenNextNonEmptyFolder(from); }
    void ResetPlaybackUi() { m_pRoad->ResetPlaybackUi(); }
    void RefreshVideo() { m_pRoad->RefreshVideo(); }
    // The speed label for channel 1's speed step (0: empty).
    void UpdateSpeedLabel(int speedStep);
    BOOL IsNearMovieEnd() const { return m_pRoad->IsNearMovieEnd(); }
    void UpdateMapPane();
    // The slider a message names, and whether the seek slider's last press fell beside its
    // thumb.
    static RoadSlider SliderOf(WPARAM id);
    bool SeekBesideThumb() const;

    // ---- layout (CsulvaneDlgLayout.cpp) -----------------------------------------------
    void LayoutMainWindow();
    // The steps of LayoutForMode, in their order.
    void FollowOffScreenSize(const RECT& client);
    void KeepViewsAcrossLayout(int previous, int mode, const RECT& client);
    void PlaceInfoPanes(const MainLayoutRects& r, int mode);
    void PlaceDockedMapPane(const MainLayoutRects& r);
    void PlaceBrowser(const MainLayoutRects& r, int mode, const RECT& client);
    void PlaceButtonsAndVolume(const MainLayoutRects& r);
    void ShowPanesForMode(int mode);
    void PlaceFrontSurface();
    // The rear camera's surface at its place beside the video (modes without one leave it
    // hidden).
    void PlaceRearSurface();
    // The vehicle-gauge window over the panes of the current layout (screen coordinates),
    // and the shown window moved and sized there.
    QRect ObdWindowRect() const;
    void PlaceObdWindow();
    void PlaceMapWindow(int x, int y);
    void AttachMapPane();
    void SetStayOnTop(bool on);
    void ResetVideoArea();
    // The logo pane's picture: the notice when the map is on and cannot be reached.
    void ApplyLogoPicture();
    void ResetViewBlocks();
    void ScaleViewBlock(int surface, const RECT& from, const RECT& to);
    void SetPlayButtonState(BOOL playing);
    // Leaves the large-video view, when on, and releases its button.
    void LeaveLargeVideo();

    // ---- control states (CsulvaneDlgCommands.cpp) -------------------------------------
    // What the video menu is built from, and whether it is refused (the window cleaned up,
    // an open pending, the end of the movie near): asked when it opens and again when an
    // item was chosen in it.
    MovieMenuState VideoMenuState() const;
    BOOL VideoMenuRefused() const;
    void UpdateControlStates();
    void DisableAllControls();
    void EnableIdleControls();

    // ---- the window's own frame (CsulvaneDlgFrame.cpp): sizing by the bands along its
    // edges with the scale overlay, maximising onto the work area, following a monitor
    // change.
    int HitTestFrame(POINT screen) const;
    // Caption or client, as the window system would be told: the window moves by its caption.
    int NcHitTest(POINT screen) const;
    BOOL SizingAllowed() const;
    void ShowScaleFrame();
    void TrackSizingFrame(POINT cursor);
    void OnFrameDoubleClick(POINT screen);
    void OnSizeSettle();
    void SaveWindowScale();
    void ResizeToScale();
    void CreateScaleFrameWindow();
    void ComputePaneArea(const RECT& window);
    void LayoutPanes();
    void OnWindowStateChange(Qt::WindowStates state);
    void EnterMinimised();
    void LeaveMinimised(bool toMaximised);
    void Maximise();
    void RestoreFromMaximised();
    void UpdateMaximiseButton();
    void SetInfoExtraScale(float scale);
    void UpdateScaleForWorkArea();
    void DockToWorkArea();
    void PlaceWindow(const RECT& rc);

    // ---- snapshot and view commands (CsulvaneDlgView.cpp) ----------------------------
    void SaveSnapshotFiles();
    std::string MakeSnapshotFileName(const std::string& folder) const;
    void RestoreVideoLayout();
    void FollowRefilteredList();

    // ---- the remaining commands and messages (CsulvaneDlgButtons.cpp) ----------------
    BOOL OnFurtherCommand(int id);
    BOOL OnFurtherAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam);
    // A double click on the rear surface: the map window back over it, the map switched on.
    void ShowMapOverRear();
    // The gauge or map window minimised on its own is off the screen while its button says
    // on: it is switched off as by its button.
    void FollowSatelliteStates();
    void PlayPreviewOf(const std::string& path);
    static std::uint64_t ProgramMediumDevice();
    void FinishSourceLoss();

    // ---- main-window state ---------------------------------------------------------
    std::function<void(const QString& text, const QString& caption)> m_showMessage;
    std::function<void()> m_stopWorkerJob;
    NamedMutexHandle m_hMutexCache;
    NamedMutexHandle m_hMutexCpSet;
    BOOL m_bMapShown = FALSE;
    BOOL m_bInitDone = FALSE;
    // The window has begun its first painting; the deferred initialisation waits for it.
    BOOL m_bPainted = FALSE;
    BOOL m_bInitDoneWaiting = FALSE;
    BOOL m_bInitDoneBegun = FALSE;
    sVIEWRECORD m_aView[2];
    float m_fWindowScaleX = 1.0f;
    float m_fWindowScaleY = 1.0f;
    float m_fMaxScale = 1.0f;
    int m_nLayoutMode = LAYOUT_BESIDE_BROWSER;
    BOOL m_bFullView = FALSE;
    BOOL m_bLargeVideo = FALSE;
    BOOL m_bMapInOwnWindow = TRUE;
    BOOL m_bCsvDisabled = TRUE;
    BOOL m_bObdShown = FALSE;
    BOOL m_bControlsLocked = FALSE;

    // The frame's, the sources' and the satellite windows' state.
    std::function<int(const QString& text, const QString& caption)> m_askOkCancel;
    std::function<bool(QDialog& dialog)> m_runSourceDialog;
    std::unique_ptr<ScaleFrameWindow> m_pScaleFrame;
    std::unique_ptr<QDialog> m_pUpdateDlg;
    PaneArea m_paneArea;
    SizingTracker m_sizing;
    QElapsedTimer m_overlayClock;
    RECT m_rcTarget{};
    RECT m_rcSaved{};
    RECT m_rcWorkArea{};
    int m_nFrameHit = HT_NOWHERE;
    int m_nSizingEdge = EDGE_NONE;
    BOOL m_bButtonDown = FALSE;
    BOOL m_bPlacing = FALSE;
    // A press on the caption. Its moves by hand are the window's own placings, which a move
    // by the window manager is told apart from.
    CaptionDrag m_caption{this, [this](const QPoint& topLeft) {
                              m_bPlacing = TRUE;
                              move(topLeft);
                              m_bPlacing = FALSE;
                          }};
    BOOL m_bMaximised = FALSE;
    BOOL m_bMinimised = FALSE;
    // What minimising left behind, for the restore: the maximised flag, the window's
    // rectangle and the satellite windows that were minimised with it.
    struct MinimisedState {
        BOOL maximised = FALSE;
        RECT rect{};
        BOOL map = FALSE;
        BOOL obd = FALSE;
    } m_minimised;
    BOOL m_bDocking = FALSE;
    BOOL m_bMapPlaced = FALSE;
    float m_fPendingScaleX = 1.0f;
    float m_fPendingScaleY = 1.0f;
    float m_fScaleAtOverlay = 1.0f;
    std::uint64_t m_nProgramDevice = 0;

    class JobHost;
    class RoadHost;
    class PaneListener;
    class MapListener;
    class InfoListener;
    class GaugeListener;
    class GraphListener;
    class TransportListener;
    struct PaneListeners;
    void CreatePlaybackRoad();

    // The long jobs' frame (CsulvaneDlgJobs.cpp).
    void CreateJobFrame();
    // Ends a running long job within a bound; the job frame installs it.
    void SetStopWorkerJob(std::function<void()> stop) { m_stopWorkerJob = std::move(stop); }
    void DestroyJobFrame();
    BOOL OnJobCommand(int id);
    BOOL OnJobMessage(unsigned msg, WPARAM wParam, LPARAM lParam);

    void BeginWaitCursor();
    void EndWaitCursor();
    void ShowError(int textId);
    void OnOpenDelay() { m_pRoad->OnOpenDelay(); }
    void OnBusyTimeout() { m_pRoad->OnBusyTimeout(); }
    void JoinDataThreads() { m_pRoad->JoinDataThreads(); }
    // Both flags of a detector from an axis or event-filter toggle; the markers follow.
    void ApplyDetectorToggle(int detector, LPARAM state);
    // Both flags of the detector of settings box `index` from what the box shows; the one
    // way the event filters of the settings window change.
    void SetDetectorOfEventBox(int index);
    // The graph and the map's markers after a change of the detectors' flags.
    void FollowDetectors();
    std::string CurrentPath() const { return m_pRoad->CurrentPath(); }
    bool IsValidRow(int row) const { return m_pRoad->IsValidRow(row); }
    void PlaceProgressBar();
    void ApplyControlStates(const ControlStates& states);

    // Members in the order they come to life; destroyed in reverse.
    std::unique_ptr<CResourceImage> m_pImages;
    std::unique_ptr<COffScreenDC> m_pOffScreen;
    std::unique_ptr<CGoogleMapDlgWrap> m_pMapWrap;
    std::unique_ptr<CInfoDlg> m_pInfoDlg;
    std::unique_ptr<CGSensorDlg> m_pGraphDlg;
    std::unique_ptr<CSettingDlg> m_pSettingDlg;
    std::unique_ptr<CObdDlg> m_pObdDlg;
    std::unique_ptr<CMovieDialog> m_pMapWindow;
    std::array<CMovieStatic, 2> m_aMovieStatic;
    std::unique_ptr<CSkinSliderCtrl> m_pSeekSlider;
    std::unique_ptr<CSkinSliderCtrl> m_pVolumeSlider;
    std::unique_ptr<CSkinProgressBarCtrl> m_pProgress;
    std::unique_ptr<CLapTimeArea> m_pLapTime;
    std::unique_ptr<CFilerContainerDlg> m_pFiler;
    std::unique_ptr<CLogoDlg> m_pLogo;
    std::array<CSkinButton*, kTransportButtonCount> m_apTransport{};  // children of the window
    std::array<CSkinButton*, kTitleButtonCount> m_apTitle{};
    QLabel* m_pSpeedLabel = nullptr;

    std::shared_ptr<JobHost> m_pJobHost;
    std::shared_ptr<CJobFrame> m_pJobFrame;
    std::unique_ptr<ChannelEngineImpl> m_pEngine;
    BOOL m_bInitFailed = FALSE;
    BOOL m_bCleanedUp = FALSE;
    int m_nWaitCursor = 0;

    // The playback road, after what it is lent (destroyed before it), and the listeners
    // through which the panes follow it.
    std::shared_ptr<RoadHost> m_pRoadHost;
    std::shared_ptr<PaneListeners> m_pListeners;
    std::unique_ptr<CPlaybackRoad> m_pRoad;

    QRect m_rcNormal;  // the window's place before the full-video view
    QImage m_background;  // the skin frame, title and pane frames at the current size
    int m_nBackgroundMode = -1;
    BOOL m_bVideoRefreshed = FALSE;  // the first painting after start refreshed the video
    // Once the deferred initialisation is done and the window painted: the surfaces are
    // drawn afresh, once.
    void RefreshVideoAfterStart();
};

}  // namespace orv
