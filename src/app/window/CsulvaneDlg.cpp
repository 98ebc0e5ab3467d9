#include "app/window/CsulvaneDlgPanes.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QScreen>
#include <QWindow>

#include "app/commands/AppMessages.h"
#include "app/commands/FrameMath.h"
#include "app/surface/MovieMenu.h"
#include "app/settings/SettingDlg.h"
#include "ui/Scaled.h"
#include "platform/base/HeapPolicy.h"
#include "platform/base/PathUtil.h"
#include "platform/web/WebModule.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "playback/engine/HResultText.h"
#include "playback/PlayerWaits.h"
#include "recorder/Mp4Box.h"
#include "ui/CommonUtil.h"
#include "ui/MsgBox.h"
#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"

#include "app/update/InetConnectionAsync.h"

namespace orv {

namespace {

constexpr const char* kOverlayFontFace = "メイリオ";
constexpr int kTextCodecMissing = 113;
constexpr int kTextMapCaption = 151;
constexpr int kTextThumbnailButton = 171;
}  // namespace

CsulvaneDlg::CsulvaneDlg(QWidget* parent) : QDialog(parent) {
    SetHeapPolicy();
    ChooseWebRendering();
    // The window draws its own title and buttons.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pImages = std::make_unique<CResourceImage>();
    m_pOffScreen = std::make_unique<COffScreenDC>(0, 0);
    m_pMapWrap = std::make_unique<CGoogleMapDlgWrap>(std::make_unique<CInetConnectionAsync>(GetSafeHwnd()));
    m_pInfoDlg = std::make_unique<CInfoDlg>(this);
    m_pGraphDlg = std::make_unique<CGSensorDlg>(this);
    // The gauge and map windows are owned by the main window: the window system keeps them
    // above it (a click on it, a play or a move never hides them behind it) and minimises
    // them with it.
    m_pObdDlg = std::make_unique<CObdDlg>(this);
    m_pMapWindow = std::make_unique<CMovieDialog>(GetSafeHwnd(), this);
    for (QWidget* satellite : {static_cast<QWidget*>(m_pObdDlg.get()), static_cast<QWidget*>(m_pMapWindow.get())})
        satellite->installEventFilter(this);
    m_pSeekSlider = std::make_unique<CSkinSliderCtrl>();
    m_pVolumeSlider = std::make_unique<CSkinSliderCtrl>();
    m_pProgress = std::make_unique<CSkinProgressBarCtrl>(this);
    m_pLapTime = std::make_unique<CLapTimeArea>();
    m_pFiler = std::make_unique<CFilerContainerDlg>(this);
    m_pLogo = std::make_unique<CLogoDlg>(m_pImages.get(), nullptr);
    for (CMovieStatic& surface : m_aMovieStatic) surface.m_pOwner = this;
    m_aMovieStatic[0].m_nIndex = 0;
    m_aMovieStatic[1].m_nIndex = 1;
    CreatePlaybackRoad();
    m_showMessage = [this](const QString& text, const QString& caption) {
        CMsgBox box(this);
        box.Show(text, caption, MSGBOX_OK);
    };
}

CsulvaneDlg::~CsulvaneDlg() {
    CleanUp();
    DestroyJobFrame();
}

void CsulvaneDlg::ShowError(int textId) {
    if (m_showMessage) m_showMessage(QString::fromUtf8(UiText(textId)), QStringLiteral("ERROR"));
}

BOOL CsulvaneDlg::OnInitDialog() {
    // Named locks of this process (recursive for their owner).
    m_hMutexCache = OpenNamedMutex("hMutexCache");
    m_hMutexCpSet = OpenNamedMutex("hMutexCpSet");

    ChooseLanguageRow(UserDefaultLangId());
    // Without a screen the window cannot size itself or its fonts: it cannot run.
    if (!InitScaleAndFonts(this)) {
        m_bInitFailed = TRUE;
        if (m_showMessage) m_showMessage(QStringLiteral("No screen to show the window on."), QStringLiteral("ERROR"));
        return TRUE;
    }
    SetUpStartFolderAndTitle();

    if (!CreateChildPanes()) {
        m_bInitFailed = TRUE;
        if (m_showMessage) m_showMessage(QStringLiteral("The main window could not be set up."), QStringLiteral("ERROR"));
        return TRUE;
    }

    SetUpJobsAndSettings();
    InitPlayChannels();
    LoadKnownBoxTypes();

    m_pRoad->RestoreKeepAspect(ReadKeepAspect());
    const int volume = ReadVolume();

    m_pObdDlg->SetOwner(GetSafeHwnd(), m_pImages.get());
    m_pObdDlg->OnInitDialog();
    m_pLapTime->SetUp(m_pOffScreen.get());

    CreateScaleFrameWindow();
    LayoutMainWindow();

    ShowStartState(volume);
    FitToMonitor();
    m_pMapWindow->SetCaptionText(kTextMapCaption);
    SetTimer(TIMER_IDLE, kIdleMs);
    PostAppMessage(GetSafeHwnd(), WM_APP_INIT_DONE, 0, 0);
    return TRUE;
}

// The start folder, the largest window scale this monitor allows, the title and the images.
void CsulvaneDlg::SetUpStartFolderAndTitle() {
    CaptureStartDir();
    // An unreadable current folder still leaves the settings beside the program's start.
    if (g_szStartDir.empty()) g_szStartDir.assign(1, '.');
    {
        MonitorMetrics monitor;
        const int workWidth = MonitorMetricsOf(this, &monitor) ? monitor.workArea.width() : kMainDesignWidth;
        m_fMaxScale = ComputeMaxScale(workWidth, g_fScale);
    }
    setWindowTitle(QStringLiteral("Orvanta5"));
    m_pImages->LoadImages(this);
    setWindowIcon(m_pImages->GetIcon());
}

// The job frame, the settings file and window, and the read of the last source begun.
void CsulvaneDlg::SetUpJobsAndSettings() {
    CreateJobFrame();
    // A failed write is not fatal: every key then reads as its fallback.
    EnsureSettingsFile();
    FinishEarlierRunsWrites();
    // The last source is read while the window is being made and painted; it is opened after.
    m_pFiler->PrefetchDefaultSource();
    m_pSettingDlg = std::make_unique<CSettingDlg>(this, GetSafeHwnd());
    g_pszCodecText = UiText(kTextCodecMissing);
    (void)ReadIniString(settings::kDecode, settings::kInner);  // read, and its value has no use
}

// The playback engine and both channels over it, each in its own surface.
void CsulvaneDlg::InitPlayChannels() {
    m_pEngine = std::make_unique<ChannelEngineImpl>([this](HWND window, RECT* client) {
        for (const CMovieStatic& surface : m_aMovieStatic) {
            if (window != surface.GetSafeHwnd() || !surface.IsCreated()) continue;
            *client = RECT{0, 0, surface.width(), surface.height()};
            return true;
        }
        return false;
    });
    // Each channel shows its picture in its own surface and posts its player's notices there.
    const HWND owners[kChannelCount] = {m_aMovieStatic[0].GetSafeHwnd(), m_aMovieStatic[1].GetSafeHwnd()};
    for (int i = 0; i < kChannelCount; ++i) {
        PlayerDriverTable& table = g_aPlayerDriverTable[i];
        table = kPlayerDriverOperations;
        sPLAYCHANNEL& channel = g_aPlayChannel[i];
        channel.initialised = 0;
        channel.dataLoaded = 0;
        channel.rearOpened = 0;
        channel.volume = 0;
        channel.engine = m_pEngine.get();
        if (table.InitChannel(channel, owners[i], kOverlayFontFace)) {
            channel.initialised = 1;
            channel.dataLoaded = 0;
        }
    }
    if (g_aPlayChannel[0].initialised)
        g_aPlayerDriverTable[0].SetHardwareDecode(g_aPlayChannel[0], ReadHardwareDecode() ? TRUE : FALSE);
    // One call of the window runs until its event loop waits for events again: within it the
    // players are waited for half a second at the most, in all (PlayerWaits.h).
    if (QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance())
        QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, this, [] { EndPlayerWaitCall(); });
}

void CsulvaneDlg::TermPlayChannels() {
    for (int i = 0; i < kChannelCount; ++i) {
        sPLAYCHANNEL& channel = g_aPlayChannel[i];
        if (!channel.initialised) continue;
        channel.initialised = 0;
        g_aPlayerDriverTable[i].TermChannel(channel);
        channel.engine = nullptr;
    }
    m_pEngine.reset();
}

// What the window shows before a source opens: frame 0, the volume, the idle buttons, the
// progress bar and the surfaces' views.
void CsulvaneDlg::ShowStartState(int volume) {
    m_pRoad->UpdatePlaybackPosition(0);
    SetVolume(volume);
    SetPlayButtonState(FALSE);
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
    PlaceProgressBar();
    ResetViewBlocks();
    if (m_apTransport[BTN_MAP_WINDOW])
        m_apTransport[BTN_MAP_WINDOW]->SetLatched(m_pMapWrap->GetConnection().IsMapEnabled());
    m_bMapShown = m_pMapWrap->GetConnection().IsMapEnabled();
    UpdateControlStates();
    m_pRoad->ApplyKeepAspect();
    m_pRoad->ApplyView(FALSE);
}

// The window kept on its monitors; maximised, with the map beside the video, when its
// fonts had to shrink to fit.
void CsulvaneDlg::FitToMonitor() {
    KeepWindowOnMonitors(this);
    if (FitFontScaleToMonitor(this) < 1.0f) {
        showMaximized();
        PlaceMapBesideVideo();
    }
}

BOOL CsulvaneDlg::CreateChildPanes() {
    m_pOffScreen = std::make_unique<COffScreenDC>(std::max(width(), 1), std::max(height(), 1));
    m_pFiler->SetImages(m_pImages.get());
    if (!m_pFiler->CreateControls(this)) return FALSE;
    m_pFiler->show();
    m_pMapWindow->OnInitDialog();
    if (!m_aMovieStatic[0].Create(this, IDC_FRONT_SURFACE)) return FALSE;
    // The rear camera's surface, beside the front one with the same styles.
    if (!m_aMovieStatic[1].Create(this, IDC_REAR_SURFACE)) return FALSE;
    m_pMapWrap->SetOwner(GetSafeHwnd());
    // Without a web engine the logo pane stands in the map's place.
    if (CGoogleMapDlgWrap::IsWebEngineAvailable()) m_pMapWrap->CreateHost(m_pMapWindow.get());
    m_pLogo->setParent(m_pMapWindow.get());
    m_pGraphDlg->SetOwner(GetSafeHwnd());
    m_pGraphDlg->LendOffScreen(m_pOffScreen.get());
    m_pGraphDlg->OnInitDialog();
    m_pInfoDlg->SetOwner(GetSafeHwnd(), m_pImages.get());
    m_pInfoDlg->LendOffScreen(m_pOffScreen.get());
    m_pInfoDlg->OnInitDialog();
    m_pGraphDlg->show();
    m_pInfoDlg->show();
    if (!m_pSeekSlider->Create(IDC_SEEK_SLIDER, this) || !m_pVolumeSlider->Create(IDC_VOLUME_SLIDER, this))
        return FALSE;
    m_pSeekSlider->SetImages(174, 159, 160, 161);
    m_pVolumeSlider->SetImages(167, 168, 169, 170);
    m_pVolumeSlider->SetRange(0, kMaxVolumeValue);
    m_pProgress->setObjectName(QStringLiteral("progress bar"));
    if (g_hFont10) m_pProgress->setFont(*g_hFont10);
    m_pProgress->hide();
    m_pSpeedLabel = new QLabel(this);
    m_pSpeedLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    if (g_hFont10) m_pSpeedLabel->setFont(*g_hFont10);
    CreateTransportButtons();
    return TRUE;
}

void CsulvaneDlg::CreateTransportButtons() {
    auto make = [this](const ButtonDef& def, int width, int height) {
        auto* button = new CSkinButton(this);
        button->SetDlgCtrlID(def.command);
        // Button pictures are made at the button's size on screen.
        const RECT frame{0, 0, Scaled(width), Scaled(height)};
        button->SetImage(def.bitmap, &frame);
        button->setToolTip(QString::fromUtf8(UiText(def.tooltip)));
        const int command = def.command;
        connect(button, &QAbstractButton::clicked, this, [this, command] { OnCommand(command); });
        return button;
    };
    for (int i = 0; i < kTransportButtonCount; ++i) m_apTransport[std::size_t(i)] = make(kTransportButtons[std::size_t(i)], 32, 32);
    for (int i = 0; i < kTitleButtonCount; ++i) {
        const ButtonDef& def = kTitleButtons[std::size_t(i)];
        m_apTitle[std::size_t(i)] = make(def, def.width, 18);
    }
    // The thumbnail button is the one title button that says what it does in words.
    if (CSkinButton* thumbnail = m_apTitle[BTN_TITLE_THUMBNAIL])
        thumbnail->setText(QString::fromUtf8(UiText(kTextThumbnailButton)));
}

void CsulvaneDlg::OnInitDone(WPARAM, LPARAM) {
    if (m_bInitFailed || m_bCleanedUp || m_bInitDoneBegun) return;
    // The window reaches the screen before the last source is opened and listed: its first
    // painting lets the rest go on (or, for a shown window that is not painted, the next
    // idle tick).
    if (isVisible() && !m_bPainted && !m_bInitDoneWaiting) {
        m_bInitDoneWaiting = TRUE;
        return;
    }
    m_bInitDoneWaiting = FALSE;
    m_bInitDoneBegun = TRUE;
    PlaceMapBesideVideo();
    RestoreLastSource();
    ApplyLogoPicture();
    m_pMapWrap->GetConnection().StartUpdateCheck(m_pFiler->GetRecorderVersion(), m_pFiler->GetRecorderNumber(),
                                                m_pFiler->GetModelKey());
    m_bInitDone = TRUE;
    // The list's hover previews and the thumbnail button follow the stored setting.
    const bool thumbnails = ReadThumbnail();
    if (CFileListCtrl* list = m_pFiler->GetList()) list->EnablePreview(thumbnails);
    if (CSkinButton* button = m_apTitle[BTN_TITLE_THUMBNAIL]) {
        button->SetLatched(thumbnails);
        button->update();
    }
    // The work area of the screen stands in for the application bar's notices.
    if (QScreen* display = screen()) {
        connect(display, &QScreen::availableGeometryChanged, this,
                [this] { PostAppMessage(GetSafeHwnd(), WM_APP_APPBAR_NOTIFY, 0, 0); });
    }
    if (m_bPainted) RefreshVideoAfterStart();
}

void CsulvaneDlg::RefreshVideoAfterStart() {
    if (!m_bInitDone || m_bVideoRefreshed) return;
    m_bVideoRefreshed = TRUE;
    QMetaObject::invokeMethod(this, [this] { RefreshVideo(); }, Qt::QueuedConnection);
}

BOOL CsulvaneDlg::RestoreLastSource() {
    BOOL found = FALSE;
    const RECT front = RECT{0, 0, m_aMovieStatic[0].width(), m_aMovieStatic[0].height()};
    found = m_pFiler->InitFromDefaultFolder(&front);
    if (found) {
        SetPlayButtonState(FALSE);
        CheckParkingTrace();
        if (m_pFiler->GetSourceKind() == SOURCE_SD) m_bCsvDisabled = FALSE;
    }
    ApplyModelLimits();
    UpdateControlStates();
    m_pRoad->ApplyKeepAspect();
    m_pRoad->ApplyView(FALSE);
    return found;
}

void CsulvaneDlg::ApplyModelLimits() {
    const bool limited = g_bLimitedModel;
    for (int kind : {5, 6}) {  // the speed-camera and radar filters
        if (CSkinButton* filter = m_pFiler->GetFilterButton(kind)) filter->setEnabled(!limited);
    }
    if (!m_pSettingDlg) return;
    // Drive support, speeding, speed camera and radar: off and locked for the limited model;
    // for any other, the user's own choice again. Their markers follow the boxes.
    for (int index : {0, 3, 4, 5}) {
        m_pSettingDlg->SetEventLocked(index, limited ? TRUE : FALSE);
        SetDetectorOfEventBox(index);
    }
    FollowDetectors();
}

void CsulvaneDlg::CleanUp() {
    if (m_bCleanedUp) return;
    m_bCleanedUp = TRUE;
    // A video menu still open would run its choice on the cleaned-up window.
    CMovieMenu::CloseOpenMenus();
    m_pMapWrap->GetConnection().StopInternetThreads();
    if (isMaximized()) showNormal();
    // Closed while down from the maximised state: it counts as maximised here.
    if (m_bMinimised && m_minimised.maximised) {
        m_bMinimised = FALSE;
        m_bMaximised = TRUE;
    }
    if (m_bMaximised) OnBtnMaximize();  // the scales of the normal window are stored
    if (m_bInitDone) WriteWindowScale(m_fWindowScaleX, m_fWindowScaleY);
    KillTimer(TIMER_IDLE);
    // A running long job ends first, so that nothing still uses the channels or the list.
    if (m_stopWorkerJob) m_stopWorkerJob();
    m_pRoad->HaltPlayback();
    ResetViewForSource();
    KillTimer(TIMER_PLAYBACK);
    JoinDataThreads();
    TermPlayChannels();
    FreeKnownBoxTypes();
    // Anyone still copying a path under a lock finishes before the locks go.
    for (NamedMutexHandle* lock : {&m_hMutexCache, &m_hMutexCpSet}) {
        if (!*lock) continue;
        (*lock)->lock();
        (*lock)->unlock();
        lock->reset();
    }
    m_pObdDlg->hide();
    m_pMapWindow->hide();
    if (m_pSettingDlg) m_pSettingDlg->hide();
}

void CsulvaneDlg::OnBtnClose() {
    CleanUp();
    QDialog::reject();
}

void CsulvaneDlg::reject() {
    // Escape and the window manager's close end the program the same way as the close button.
    OnBtnClose();
}

void CsulvaneDlg::ResetViewForSource() {
    m_pRoad->SetDefaultSpeed();
    m_pMapWindow->SetCaptionText(kTextMapCaption);
    m_aMovieStatic[0].m_nIndex = 0;
    m_aMovieStatic[1].m_nIndex = 1;
    m_pRoad->CloseMovie();
    // With the movie closed this only puts the surfaces and the map back in place.
    ResetVideoArea();
    ResetPlaybackUi();
    SetPlayButtonState(FALSE);
    if (m_pSeekSlider) m_pSeekSlider->SetCaptured(FALSE);
    if (m_pInfoDlg->DataFormat() == '2' || m_pInfoDlg->DataFormat() == 'N')
        m_pInfoDlg->SetVehicleValues(-1, 0xFFFF, -1, 0);
    m_pInfoDlg->update();
    m_pGraphDlg->update();
    if (m_apTransport[BTN_VIEW_LARGE_VIDEO]) {
        m_apTransport[BTN_VIEW_LARGE_VIDEO]->SetLatched(FALSE);
        m_apTransport[BTN_VIEW_LARGE_VIDEO]->update();
    }
    // The rows go with the entries behind them: what the window counts is what it shows.
    ClearBrowserList(FALSE);
    UpdateControlStates();
}

void CsulvaneDlg::ClearBrowserList(BOOL withTree) {
    {
        std::unique_lock<std::recursive_mutex> lock;
        if (m_hMutexCache) lock = std::unique_lock(*m_hMutexCache);
        if (withTree) m_pFiler->ClearBrowser();
        else m_pFiler->ClearList();
    }
    m_pFiler->update();
}

void CsulvaneDlg::OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (m_bCleanedUp && msg != WM_APP_RUN_ASYNC) return;
    if (OnJobMessage(msg, wParam, lParam)) return;
    switch (msg) {
    case WM_APP_INIT_DONE: OnInitDone(wParam, lParam); break;
    case WM_APP_DATA_LOADED: OnMovieDataLoaded(wParam, lParam); break;
    case WM_APP_SLIDER_DRAG: OnSliderDrag(wParam, lParam); break;
    case WM_APP_SLIDER_DOWN: OnSliderDown(wParam, lParam); break;
    case WM_APP_SLIDER_UP: OnSliderUp(wParam, lParam); break;
    case WM_APP_MAP_READY:
        m_pRoad->ResendMarkers();
        update();  // drawn again around the page that came up
        break;
    case WM_APP_MAP_MARKER_CLICK: OnMapMarkerClick(wParam, lParam); break;
    case WM_APP_GSENSOR_PREV_EVENT: OnGSensorPrevEvent(); break;
    case WM_APP_GSENSOR_NEXT_EVENT: OnGSensorNextEvent(); break;
    case WM_APP_EVENT_FILTER: OnEventFilterChanged(wParam, lParam); break;
    case WM_APP_INFO_AXIS_TOGGLE: OnInfoAxisToggle(wParam, lParam); break;
    case WM_APP_FOLDER_SELECTED: OnFolderSelected(wParam, lParam); break;
    case WM_APP_SOURCE_LOST: OnSourceLostReport(); break;
    case WM_APP_SOURCE_BACK: OnSourceBack(); break;
    case WM_APP_PROGRESS: OnJobProgress(wParam, lParam); break;
    case WM_APP_OBD_CLOSED:
        m_bObdShown = FALSE;
        if (m_apTransport[BTN_OBD_WINDOW]) {
            m_apTransport[BTN_OBD_WINDOW]->SetLatched(FALSE);
            m_apTransport[BTN_OBD_WINDOW]->update();
        }
        break;
    case WM_APP_MAPWND_PAINT: m_pRoad->ApplyView(FALSE); break;
    case WM_APP_MAPWND_TITLE_DBLCLK: OnMapWindowTitleDblClk(); break;
    case WM_APP_MAPWND_CLOSE: OnMapWindowClosed(); break;
    default: OnFurtherAppMessage(msg, wParam, lParam); break;  // accepted and ignored (double clicks in the list)
    }
}

void CsulvaneDlg::OnTimer(unsigned id) {
    switch (id) {
    case TIMER_PLAYBACK: OnPlaybackTick(); break;
    case TIMER_OPEN_DELAY: OnOpenDelay(); break;
    case TIMER_BUSY_TIMEOUT: OnBusyTimeout(); break;
    case TIMER_SIZE_SETTLE: OnSizeSettle(); break;
    case TIMER_REAR_READY:
        // The rear companion is late or failed: the front does not wait for it any longer.
        m_pRoad->OnRearReadyTimeout();
        break;
    case TIMER_IDLE:
        if (m_bInitDoneWaiting) PostAppMessage(GetSafeHwnd(), WM_APP_INIT_DONE, 0, 0);
        // The modal loop runs no idle processing: deferred deletions are run here.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        break;
    default: break;
    }
}

void CsulvaneDlg::keyPressEvent(QKeyEvent* event) {
    // Escape closes the program's own menus, not the program.
    if (event->key() == Qt::Key_Escape) {
        CMovieMenu::CloseOpenMenus();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CsulvaneDlg::mousePressEvent(QMouseEvent* event) {
    // The caption strip moves the borderless window, the bands along its edges size it.
    if (event->button() == Qt::LeftButton)
        OnFrameButtonDown(POINT{event->globalPosition().toPoint().x(), event->globalPosition().toPoint().y()});
    QDialog::mousePressEvent(event);
}

void CsulvaneDlg::BeginWaitCursor() {
    if (m_nWaitCursor++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CsulvaneDlg::EndWaitCursor() {
    if (m_nWaitCursor == 0) return;
    if (--m_nWaitCursor != 0) return;
    QApplication::restoreOverrideCursor();
    // The frame's cursor kept the wait cursor while it was up; the next move sets its own.
    if (cursor().shape() == Qt::WaitCursor) unsetCursor();
}

}  // namespace orv
