// Where the main window puts its panes, and how it paints the space between them.
#include "app/window/CsulvaneDlgPanes.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "platform/gdi/DeviceContext.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

constexpr int kPlayBitmap = 148;
constexpr int kPauseBitmap = 147;
constexpr int kTextPause = 11;
constexpr int kTextPlay = 12;

}  // namespace

void CsulvaneDlg::LayoutMainWindow() {
    m_nLayoutMode = LAYOUT_BESIDE_BROWSER;
    LayoutForMode(m_nLayoutMode);
}

void CsulvaneDlg::LayoutForMode(int mode) {
    const int previous = m_nLayoutMode;
    m_nLayoutMode = mode;
    const RECT client{0, 0, width(), height()};
    const MainLayoutRects r = ComputeMainLayout(client, mode == LAYOUT_FULL_VIEW ? 0 : mode, g_fScale);
    FollowOffScreenSize(client);
    ShowPanesForMode(m_bFullView ? LAYOUT_FULL_VIEW : mode);
    PlaceFrontSurface();
    PlaceRearSurface();
    if (client.Width() > 0 && m_aMovieStatic[0].width() > 0) KeepViewsAcrossLayout(previous, mode, client);

    PlaceInfoPanes(r, mode);
    PlaceDockedMapPane(r);
    PlaceBrowser(r, mode, client);
    PlaceButtonsAndVolume(r);
    UpdateSpeedLabel(m_pRoad->ShownSpeedStep());
    PlaceProgressBar();
    // The gauge window follows the layout it lies over.
    PlaceObdWindow();
    update();
}

// The drawing buffer the panes share follows the window's size.
void CsulvaneDlg::FollowOffScreenSize(const RECT& client) {
    if (!m_pOffScreen || m_pOffScreen->GetSize().cx != client.Width() || m_pOffScreen->GetSize().cy != client.Height()) {
        m_pOffScreen = std::make_unique<COffScreenDC>(std::max(client.Width(), 1), std::max(client.Height(), 1));
        m_pLapTime->SetUp(m_pOffScreen.get());
        m_pInfoDlg->LendOffScreen(m_pOffScreen.get());
        m_pGraphDlg->LendOffScreen(m_pOffScreen.get());
    }
}

// The surfaces' views reset for their new size, a zoomed picture kept zoomed, and a picture
// on screen drawn again.
void CsulvaneDlg::KeepViewsAcrossLayout(int previous, int mode, const RECT& client) {
    const sVIEWRECORD kept[2] = {m_aView[0], m_aView[1]};
    ResetViewBlocks();
    // Another layout keeps a zoomed picture zoomed: the front view follows its surface
    // into the new size, and the rear surface keeps its size in every layout.
    const auto isVideoLayout = [](int m) { return m >= LAYOUT_BESIDE_BROWSER && m <= LAYOUT_FULL_WIDTH; };
    if (!m_bFullView && previous != mode && isVideoLayout(previous) && isVideoLayout(mode)) {
        if (kept[0].zoomFactor > 1.0f) {
            m_aView[0] = kept[0];
            ScaleViewBlock(0, GetViewRects(previous, g_fScale, client).video, GetViewRects(mode, g_fScale, client).video);
        }
        if (kept[1].zoomFactor > 1.0f) m_aView[1] = kept[1];
    }
    // A picture on screen is drawn again into the surface's new size.
    if (IsChannelShowing(0) || IsChannelShowing(1)) m_pRoad->ApplyView(TRUE);
}

// The seek slider, the info panel in the mode's drawing and the G-sensor graph.
void CsulvaneDlg::PlaceInfoPanes(const MainLayoutRects& r, int mode) {
    if (m_pSeekSlider) {
        m_pSeekSlider->setGeometry(ToQRect(r.seekSlider));
        m_pSeekSlider->RecreateBuffer();
    }
    m_pInfoDlg->setGeometry(ToQRect(r.infoPanel));
    m_pInfoDlg->SetDrawMode(mode == LAYOUT_FULL_WIDTH ? 2 : mode == LAYOUT_LARGE ? 1 : 0);
    m_pGraphDlg->setGeometry(ToQRect(r.graph));
}

// The map page and the logo pane at their place while they are docked in the main window.
void CsulvaneDlg::PlaceDockedMapPane(const MainLayoutRects& r) {
    // A docked map goes back into its own window in a layout without a place for it.
    if (!m_bMapInOwnWindow && (r.mapPane.Width() <= 0 || r.mapPane.Height() <= 0)) {
        DockMapPane(FALSE);
    } else if (!m_bMapInOwnWindow && !m_bFullView) {
        if (QWidget* host = m_pMapWrap->GetHostWindow()) {
            host->setGeometry(ToQRect(r.mapPane));
            host->raise();
        }
        m_pLogo->setGeometry(ToQRect(r.mapPane));
        m_pLogo->raise();
    }
}

// The file browser pane, laid out inside by the mode (stacked in the large layout).
void CsulvaneDlg::PlaceBrowser(const MainLayoutRects& r, int mode, const RECT& client) {
    RECT browser = r.browser;
    if (mode == LAYOUT_LARGE) browser.right = client.right - Scaled(6);
    m_pFiler->setGeometry(ToQRect(browser));
    m_pFiler->SetLayout(mode == LAYOUT_LARGE ? 1 : mode == LAYOUT_FULL_WIDTH ? 2 : 0);
    RECT inner{0, 0, browser.Width(), browser.Height()};
    if (mode == LAYOUT_LARGE) m_pFiler->LayoutStacked(&inner);
    else m_pFiler->LayoutSideBySide(&inner);
}

// The transport and title-bar buttons, the volume slider and the speed label.
void CsulvaneDlg::PlaceButtonsAndVolume(const MainLayoutRects& r) {
    for (int i = 0; i < kTransportButtonCount; ++i)
        if (m_apTransport[std::size_t(i)]) m_apTransport[std::size_t(i)]->setGeometry(ToQRect(r.transport[std::size_t(i)]));
    for (int i = 0; i < kTitleButtonCount; ++i)
        if (m_apTitle[std::size_t(i)]) m_apTitle[std::size_t(i)]->setGeometry(ToQRect(r.titleButtons[std::size_t(i)]));
    if (m_pVolumeSlider) {
        m_pVolumeSlider->setGeometry(ToQRect(r.volumeSlider));
        m_pVolumeSlider->RecreateBuffer();
    }
    if (m_pSpeedLabel) m_pSpeedLabel->setGeometry(ToQRect(r.speedLabel));
}

void CsulvaneDlg::ShowPanesForMode(int mode) {
    const PaneVisibility v = PanesForMode(mode);
    m_pGraphDlg->setVisible(v.graph);
    m_pInfoDlg->setVisible(v.infoPanel);
    if (m_pSeekSlider) m_pSeekSlider->setVisible(v.sliders);
    if (m_pVolumeSlider) m_pVolumeSlider->setVisible(v.sliders);
    if (m_pSpeedLabel) m_pSpeedLabel->setVisible(v.sliders);
    m_pFiler->setVisible(v.browser && !m_pFiler->IsPaneHidden());
    if (m_aMovieStatic[1].IsCreated()) m_aMovieStatic[1].setVisible(v.rearSurface);
    for (int i = 0; i < kTransportButtonCount; ++i)
        if (m_apTransport[std::size_t(i)]) m_apTransport[std::size_t(i)]->setVisible(v.transport[std::size_t(i)]);
    for (CSkinButton* button : m_apTitle)
        if (button) button->setVisible(v.titleButtons);
}

void CsulvaneDlg::PlaceFrontSurface() {
    CMovieStatic& front = m_aMovieStatic[0];
    if (!front.IsCreated()) return;
    if (m_bFullView) {
        front.setGeometry(rect());
    } else {
        const RECT r = ComputeMainLayout(RECT{0, 0, width(), height()}, m_nLayoutMode, g_fScale).front;
        front.setGeometry(r.left, r.top, r.Width(), r.Height());
    }
    front.update();
}

void CsulvaneDlg::PlaceRearSurface() {
    CMovieStatic& rear = m_aMovieStatic[1];
    if (!rear.IsCreated() || m_bFullView) return;
    const RECT r = ComputeMainLayout(RECT{0, 0, width(), height()}, m_nLayoutMode, g_fScale).rearSurface;
    // Layouts without room beside the video keep the rear surface hidden at its last place.
    if (r.Width() <= 0 || r.Height() <= 0) return;
    rear.setGeometry(ToQRect(r));
    rear.update();
}

QRect CsulvaneDlg::ObdWindowRect() const {
    const RECT r = ComputeMainLayout(RECT{0, 0, width(), height()}, m_nLayoutMode, g_fScale).gaugeWindow;
    return QRect(mapToGlobal(QPoint(r.left, r.top)), QSize(r.Width(), r.Height()));
}

void CsulvaneDlg::PlaceObdWindow() {
    if (!m_bObdShown || m_bFullView || !m_pObdDlg || m_pObdDlg->isMinimized()) return;
    const QRect r = ObdWindowRect();
    if (r.isEmpty()) return;
    if (m_pObdDlg->geometry() == r) return;
    m_pObdDlg->move(r.topLeft());
    m_pObdDlg->resize(r.size());
}

void CsulvaneDlg::PlaceProgressBar() {
    if (!m_pProgress || !m_aMovieStatic[0].IsCreated()) return;
    const QRect front = m_aMovieStatic[0].geometry();
    const int height = Scaled(22);
    m_pProgress->setGeometry(front.left(), front.bottom() + 1 - height, front.width(), height);
    m_pProgress->update();
}

void CsulvaneDlg::PlaceMapWindow(int x, int y) {
    const SIZE map = MapPaneSize(g_fScale);
    const QRect page = ToQRect(MapPageInMapWindow(g_fScale));
    if (QWidget* host = m_pMapWrap->GetHostWindow()) host->setGeometry(page);
    m_pLogo->setGeometry(page);
    m_pMapWindow->MoveWindow(x, y, map.cx, map.cy);
}

void CsulvaneDlg::AttachMapPane() {
    QWidget* host = m_pMapWrap->GetHostWindow();
    if (m_bMapInOwnWindow) {
        // Moved once, when it was docked; the map window kept its rectangle meanwhile.
        if (m_pLogo->parentWidget() != m_pMapWindow.get()) {
            m_pMapWrap->SetParent(m_pMapWindow.get());
            m_pLogo->setParent(m_pMapWindow.get());
            const QRect page = ToQRect(MapPageInMapWindow(g_fScale));
            if (host) host->setGeometry(page);
            m_pLogo->setGeometry(page);
        }
    } else {
        m_pMapWindow->hide();
        if (m_pLogo->parentWidget() != this) {
            m_pMapWrap->SetParent(this);
            m_pLogo->setParent(this);
        }
        // At the front surface's top-right corner: the rear surface's place beside the video,
        // and outside the window while the front surface fills it in the full-video view.
        const QRect front = m_aMovieStatic[0].geometry();
        const SIZE map = MapPaneSize(g_fScale);
        const QRect pane(front.right() + 1, front.top() + (m_bFullView ? 0 : 1), map.cx, map.cy);
        if (host) {
            host->setGeometry(pane);
            host->raise();
        }
        m_pLogo->setGeometry(pane);
        m_pLogo->raise();
    }
    UpdateMapPane();
}

void CsulvaneDlg::DockMapPane(BOOL docked) {
    if (bool(docked) == !bool(m_bMapInOwnWindow)) return;
    m_bMapInOwnWindow = !docked;
    AttachMapPane();
}

void CsulvaneDlg::OnMapWindowTitleDblClk() { PlaceMapBesideVideo(); }

void CsulvaneDlg::PlaceMapBesideVideo() {
    const CMovieStatic& front = m_aMovieStatic[0];
    if (!front.IsCreated()) return;
    const QPoint topRight = front.mapToGlobal(QPoint(front.width(), 0));
    RECT work{};
    if (!GetMonitorRects(&work, nullptr, POINT{topRight.x(), topRight.y()})) return;
    const QPoint topLeft = front.mapToGlobal(QPoint(0, 0));
    if (topLeft.x() < work.left || topLeft.y() < work.top || topRight.x() > work.right) return;
    // Over the rear surface where the layout has one, so that the map hides the rear
    // picture and nothing else.
    const RECT rear = ComputeMainLayout(RECT{0, 0, width(), height()}, m_nLayoutMode, g_fScale).rearSurface;
    if (!m_bFullView && rear.Width() > 0) {
        const QPoint at = mapToGlobal(QPoint(rear.left, rear.top));
        PlaceMapWindow(at.x(), at.y());
        return;
    }
    // Else at the surface's right edge, its bottom level with the info panel's top.
    const int y = topLeft.y() + front.height() + Scaled(10);
    PlaceMapWindow(topRight.x(), y - MapPaneSize(g_fScale).cy);
}

void CsulvaneDlg::SetStayOnTop(bool on) {
    // A new set of window flags recreates the window hidden, and a hidden dialog ends its
    // modal loop, which is the program's: the shown window takes the flag in place.
    if (QWindow* window = isVisible() ? windowHandle() : nullptr) window->setFlag(Qt::WindowStaysOnTopHint, on);
    else setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

void CsulvaneDlg::ApplyFullView(BOOL on) {
    if (bool(on) == bool(m_bFullView)) return;
    m_bFullView = on;
    for (CMovieStatic& surface : m_aMovieStatic) surface.m_bFullScreen = on;
    if (on) {
        m_rcNormal = geometry();
        ShowPanesForMode(LAYOUT_FULL_VIEW);
        SetStayOnTop(true);
        RECT monitor{};
        const QPoint centre = geometry().center();
        if (GetMonitorRects(nullptr, &monitor, POINT{centre.x(), centre.y()})) setGeometry(ToQRect(monitor));
        show();
        PlaceFrontSurface();
        m_aMovieStatic[0].raise();
        m_pMapWindow->hide();
        AttachMapPane();
        ResetViewBlocks();
        m_pRoad->ApplyView(FALSE);
        return;
    }
    m_pRoad->SetKeepAspect(TRUE);
    SetStayOnTop(false);
    if (!m_rcNormal.isEmpty()) setGeometry(m_rcNormal);
    show();
    ResetViewBlocks();
    LayoutForMode(m_nLayoutMode);
    m_pRoad->ApplyView(FALSE);
    UpdateMapPane();
}

void CsulvaneDlg::SetLargeVideo(BOOL on) {
    m_bLargeVideo = on;
    for (CMovieStatic& surface : m_aMovieStatic) {
        surface.m_bLargeVideo = on;
        if (surface.IsCreated()) surface.UpdateCursor();
    }
    m_pFiler->SetHideControls(on);
    m_pFiler->ShowBrowserControls(!on);
    m_pFiler->setVisible(m_nLayoutMode != LAYOUT_FULL_WIDTH && !m_pFiler->IsPaneHidden());
    update();
    if (!on) {
        ResetViewBlocks();
        m_pRoad->ApplyView(FALSE);
    }
}

void CsulvaneDlg::ResetVideoArea() {
    const PlayState before = m_pRoad->HoldForSourceMove();
    // The surfaces back in the window at their places (a snapshot hides and resizes them),
    // the map back in its own window.
    for (CMovieStatic& surface : m_aMovieStatic)
        if (surface.IsCreated() && surface.parentWidget() != this) surface.setParent(this);
    if (m_aMovieStatic[0].IsCreated()) m_aMovieStatic[0].show();
    if (m_aMovieStatic[1].IsCreated())
        m_aMovieStatic[1].setVisible(!m_bFullView && PanesForMode(m_nLayoutMode).rearSurface);
    DockMapPane(FALSE);
    PlaceMapWindow(m_pMapWindow->x(), m_pMapWindow->y());
    PlaceFrontSurface();
    PlaceRearSurface();
    if (m_bFullView) m_aMovieStatic[0].raise();
    m_pRoad->ResumeAfterSourceMove(before);
}

void CsulvaneDlg::LeaveLargeVideo() {
    if (m_bLargeVideo) SetLargeVideo(FALSE);
    // The button shows the view: it is released with it.
    if (CSkinButton* button = m_apTransport[BTN_VIEW_LARGE_VIDEO]) {
        button->SetLatched(FALSE);
        button->update();
    }
}

void CsulvaneDlg::ApplyLogoPicture() {
    const BOOL online = !(m_bMapShown && !m_pMapWrap->GetConnection().IsConnected());
    if (m_pLogo->IsOnline() == online) return;
    m_pLogo->SetOnline(online);
    m_pLogo->update();
}

void CsulvaneDlg::ResetViewBlocks() {
    const CMovieStatic& front = m_aMovieStatic[0];
    // Each view is centred on its surface; a rear surface that has no size yet takes the
    // rear camera's design size.
    const CMovieStatic& rearSurface = m_aMovieStatic[1];
    const SIZE rear = rearSurface.IsCreated() && rearSurface.width() > 0 && rearSurface.height() > 0
                          ? SIZE{rearSurface.width(), rearSurface.height()}
                          : RearSurfaceSize(g_fScale);
    const SIZE sizes[2] = {{front.width(), front.height()}, rear};
    for (int i = 0; i < 2; ++i) {
        sVIEWRECORD& view = m_aView[i];
        view = sVIEWRECORD{};
        view.zoomCentreX = sizes[i].cx / 2;
        view.zoomCentreY = sizes[i].cy / 2;
        view.zoomFactor = 1.0f;
    }
}

void CsulvaneDlg::ScaleViewBlock(int surface, const RECT& from, const RECT& to) {
    if (surface < 0 || surface > 1 || from.Width() <= 0 || from.Height() <= 0) return;
    sVIEWRECORD& view = m_aView[surface];
    const double sx = double(to.Width()) / from.Width(), sy = double(to.Height()) / from.Height();
    view.clickX = int(view.clickX * sx);
    view.clickY = int(view.clickY * sy);
    view.zoomCentreX = int(view.zoomCentreX * sx);
    view.zoomCentreY = int(view.zoomCentreY * sy);
    view.viewOffsetX = int(view.viewOffsetX * sx);
    view.viewOffsetY = int(view.viewOffsetY * sy);
}

void CsulvaneDlg::SetPlayButtonState(BOOL playing) {
    if (m_bFullView) return;
    CSkinButton* button = m_apTransport[BTN_PLAY_PAUSE];
    if (!button) return;
    const RECT frame{0, 0, Scaled(32), Scaled(32)};
    button->SetImage(playing ? kPauseBitmap : kPlayBitmap, &frame);
    button->setToolTip(QString::fromUtf8(UiText(playing ? kTextPause : kTextPlay)));
    button->update();
}

void CsulvaneDlg::paintEvent(QPaintEvent* event) {
    if (!m_bPainted) {
        m_bPainted = TRUE;
        // The initialisation that waited for this painting goes on once it is on the screen.
        if (m_bInitDoneWaiting) PostAppMessage(GetSafeHwnd(), WM_APP_INIT_DONE, 0, 0);
    }
    QPainter painter(this);
    if (m_bFullView) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Once after start the surfaces are drawn afresh, after this painting.
    RefreshVideoAfterStart();
    if (m_nLayoutMode == LAYOUT_BESIDE_BROWSER && m_pLogo->isVisible()) ApplyLogoPicture();
    // The skin's frame, the title and the pane frames change only with the size and the
    // layout: they are drawn once into a picture that every later painting copies from.
    if (m_background.size() != size() || m_nBackgroundMode != m_nLayoutMode) {
        m_background = QImage(size(), QImage::Format_RGB32);
        m_nBackgroundMode = m_nLayoutMode;
        DeviceContext dc(&m_background);
        const RECT client{0, 0, width(), height()};
        dc.FillRect(client, RGB(0, 0, 0));
        m_pImages->DrawFrameTiles(dc, client);
        RECT title = ComputeMainLayout(client, m_nLayoutMode, g_fScale).title;
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(255, 255, 255));
        QFont* old = g_hFont10 ? dc.SelectFont(g_hFont10) : nullptr;
        dc.DrawText(QStringLiteral("Orvanta5"), &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        if (old) dc.SelectFont(old);
        m_pInfoDlg->DrawParentFrame(&dc);
    }
    painter.drawImage(event->rect(), m_background, event->rect());
    painter.end();
    // The compact strip of the full-width layout shows the frame's values: drawn live.
    if (m_nLayoutMode == LAYOUT_FULL_WIDTH) {
        DeviceContext dc(this);
        m_pInfoDlg->DrawCompactInfo(&dc);
    }
}

}  // namespace orv
