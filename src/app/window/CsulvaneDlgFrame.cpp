// The main window's own frame: it has no frame from the window manager, so it sizes itself
// by the bands along its edges, shows the new size in an outline while an edge is dragged
// and takes it once, after the release; it maximises onto the work area of its monitor and
// follows a change of that work area with a new scale factor and new fonts.
//
// The work area of a screen stands in for the desktop's task bars: a panel or dock that
// changes it is reported through WM_APP_APPBAR_NOTIFY. There is no way to ask whether a
// panel hides itself, so a maximised window always fills the whole work area.
#include "app/window/CsulvaneDlgPanes.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>

#include "app/commands/ScaleFrameWindow.h"
#include "app/settings/SettingDlg.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"
#include "app/update/UpdateDialog.h"

namespace orv {

namespace {

constexpr float kInfoExtraScaleMaximised = 1.15f;
// The maximise button's picture and tooltip while the window is maximised (it then restores).
constexpr int kMaximiseBitmapRestore = 158;
constexpr int kTextRestoreTip = 170;

POINT ToPoint(const QPoint& p) { return POINT{p.x(), p.y()}; }
QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

Qt::CursorShape CursorForHit(int hit) {
    switch (hit) {
    case HT_LEFT:
    case HT_RIGHT: return Qt::SizeHorCursor;
    case HT_TOP:
    case HT_BOTTOM: return Qt::SizeVerCursor;
    case HT_TOPLEFT:
    case HT_BOTTOMRIGHT: return Qt::SizeFDiagCursor;
    case HT_TOPRIGHT:
    case HT_BOTTOMLEFT: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}

}  // namespace

RECT CsulvaneDlg::FrameRect() const {
    const QRect g = geometry();
    return RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void CsulvaneDlg::PlaceWindow(const RECT& rc) {
    m_bPlacing = TRUE;
    setGeometry(ToQRect(rc));
    m_bPlacing = FALSE;
}

int CsulvaneDlg::HitTestFrame(POINT screen) const {
    return orv::HitTestFrame(FrameRect(), screen, g_fScale, m_bMaximised);
}

int CsulvaneDlg::NcHitTest(POINT screen) const {
    return orv::NcHitTest(FrameRect(), screen, g_fScale, m_bMaximised);
}

BOOL CsulvaneDlg::SizingAllowed() const { return !m_bControlsLocked && !m_bFullView && !m_bMaximised; }

// ---- sizing by the bands -----------------------------------------------------------------

void CsulvaneDlg::ShowScaleFrame() {
    if (m_pScaleFrame) m_pScaleFrame->ShowAt(FrameRect());
}

void CsulvaneDlg::TrackSizingFrame(POINT cursor) {
    RECT rc = m_rcTarget;
    float sx = m_fWindowScaleX, sy = m_fWindowScaleY;
    if (!orv::TrackSizingStep(rc, m_sizing, cursor, m_nSizingEdge, g_fScale, m_fMaxScale, &sx, &sy)) return;
    m_rcTarget = rc;
    m_fPendingScaleX = sx;
    m_fPendingScaleY = sy;
    if (m_pScaleFrame) m_pScaleFrame->MoveTo(m_rcTarget);
}

void CsulvaneDlg::OnFrameButtonDown(POINT screen) {
    KillTimer(TIMER_SIZE_SETTLE);
    m_nFrameHit = HitTestFrame(screen);
    m_nSizingEdge = m_bMaximised ? EDGE_NONE : SizingEdgeFromHit(m_nFrameHit);
    m_bButtonDown = TRUE;
    m_rcTarget = FrameRect();
    m_fPendingScaleX = m_fWindowScaleX;
    m_fPendingScaleY = m_fWindowScaleY;
    m_sizing = SizingTracker{};
    m_overlayClock.invalidate();
    m_caption.End();
    if (NcHitTest(screen) == HT_CAPTION) {
        m_nSizingEdge = EDGE_NONE;
        if (m_pScaleFrame) m_pScaleFrame->hide();
        // A maximised window does not move.
        if (!m_bMaximised && !m_bFullView) m_caption.Press(QPoint(screen.x, screen.y));
        return;
    }
    if (m_nSizingEdge != EDGE_NONE && SizingAllowed()) ShowScaleFrame();
}

void CsulvaneDlg::OnFrameMouseMove(POINT screen, BOOL buttonDown) {
    if (!buttonDown) {
        UpdateFrameCursor(screen);
        return;
    }
    if (!m_bButtonDown) return;
    if (m_caption.Drag(QPoint(screen.x, screen.y))) return;
    if (m_nSizingEdge == EDGE_NONE || !SizingAllowed()) return;
    // The outline follows at most once per throttle period; the window itself waits for
    // the release.
    if (m_overlayClock.isValid() && m_overlayClock.elapsed() < qint64(kOverlayThrottleSeconds * 1000.0)) return;
    m_overlayClock.restart();
    TrackSizingFrame(screen);
}

void CsulvaneDlg::OnFrameButtonUp(POINT screen) {
    if (!m_bButtonDown) return;
    m_bButtonDown = FALSE;
    if (m_caption.End()) {
        m_rcSaved = FrameRect();
    } else if (m_nSizingEdge != EDGE_NONE && SizingAllowed()) {
        TrackSizingFrame(screen);
        if (m_pScaleFrame) m_pScaleFrame->hide();
    }
    SetTimer(TIMER_SIZE_SETTLE, unsigned(std::max(1, QApplication::doubleClickInterval() / 2)));
}

void CsulvaneDlg::OnFrameDoubleClick(POINT screen) {
    KillTimer(TIMER_SIZE_SETTLE);
    if (m_bControlsLocked) return;
    m_bButtonDown = FALSE;
    m_caption.End();
    if (NcHitTest(screen) != HT_CAPTION) return;
    OnBtnMaximize();
}

void CsulvaneDlg::OnSizeSettle() {
    KillTimer(TIMER_SIZE_SETTLE);
    if (!m_bMaximised && !m_bFullView && m_nSizingEdge != EDGE_NONE && m_nFrameHit != HT_CAPTION) {
        // The release already placed the outline at the release point: that is the size.
        m_fWindowScaleX = m_fPendingScaleX;
        m_fWindowScaleY = m_fPendingScaleY;
        SaveWindowScale();
        m_rcSaved = FrameRect();
    }
    m_nSizingEdge = EDGE_NONE;
    OnMonitorChanged();
    PlaceProgressBar();
    m_bPlacing = TRUE;
    KeepWindowOnMonitors(this);
    m_bPlacing = FALSE;
}

void CsulvaneDlg::SaveWindowScale() {
    m_nSizingEdge = EDGE_NONE;
    if (m_nFrameHit != HT_CAPTION && m_rcTarget.Width() > 0 && m_rcTarget.Height() > 0) {
        if (m_pScaleFrame) m_pScaleFrame->MoveTo(m_rcTarget);
        PlaceWindow(m_rcTarget);
        ComputePaneArea(m_rcTarget);
    }
    WriteWindowScale(m_fWindowScaleX, m_fWindowScaleY);
}

// ---- start-up sizes ----------------------------------------------------------------------

void CsulvaneDlg::ResizeToScale() {
    const SIZE size = WindowSizeForScale(g_fScale, m_fWindowScaleX, m_fWindowScaleY);
    const QPoint topLeft = pos();
    PlaceWindow(RECT{topLeft.x(), topLeft.y(), topLeft.x() + size.cx, topLeft.y() + size.cy});
    m_rcTarget = FrameRect();
    ComputePaneArea(m_rcTarget);
}

void CsulvaneDlg::CreateScaleFrameWindow() {
    if (auto stored = ReadWindowScale(settings::kScaleX, m_fMaxScale)) m_fWindowScaleX = *stored;
    if (auto stored = ReadWindowScale(settings::kScaleY, m_fMaxScale)) m_fWindowScaleY = *stored;
    ResizeToScale();
    m_rcSaved = FrameRect();
    // The work area the window is laid out for now; only another one changes the scale.
    GetMonitorRects(&m_rcWorkArea, nullptr, POINT{m_rcSaved.left, m_rcSaved.top});
    if (!m_pScaleFrame) {
        m_pScaleFrame = std::make_unique<ScaleFrameWindow>();
        m_pScaleFrame->hide();
    }
    m_fScaleAtOverlay = g_fScale;
    setMouseTracking(true);
    m_nProgramDevice = ProgramMediumDevice();
}

// ---- panes -------------------------------------------------------------------------------

void CsulvaneDlg::ComputePaneArea(const RECT& window) {
    m_paneArea = orv::ComputePaneArea(window, g_fScale);
    LayoutPanes();
    m_pRoad->ApplyView(FALSE);
}

void CsulvaneDlg::LayoutPanes() {
    // The skin pictures are made again at the current scale; the layout of the current
    // mode then places every pane.
    for (int i = 0; i < kTransportButtonCount; ++i) {
        CSkinButton* button = m_apTransport[std::size_t(i)];
        if (!button || i == BTN_PLAY_PAUSE) continue;
        const RECT frame{0, 0, Scaled(32), Scaled(32)};
        button->SetImage(kTransportButtons[std::size_t(i)].bitmap, &frame);
    }
    for (int i = 0; i < kTitleButtonCount; ++i) {
        CSkinButton* button = m_apTitle[std::size_t(i)];
        if (!button) continue;
        const ButtonDef& def = kTitleButtons[std::size_t(i)];
        const int bitmap = i == 1 && m_bMaximised ? kMaximiseBitmapRestore : def.bitmap;
        const RECT frame{0, 0, Scaled(def.width), Scaled(18)};
        button->SetImage(bitmap, &frame);
    }
    if (g_hFont10) {
        if (m_pSpeedLabel) m_pSpeedLabel->setFont(*g_hFont10);
        if (m_pProgress) m_pProgress->setFont(*g_hFont10);
    }
    if (g_hFont13) {
        if (QWidget* tree = m_pFiler->GetTree()) tree->setFont(*g_hFont13);
        if (QWidget* list = m_pFiler->GetList()) list->setFont(*g_hFont13);
    }
    if (g_hFont10 && m_pFiler->GetPathEdit()) m_pFiler->GetPathEdit()->setFont(*g_hFont10);
    m_pFiler->PlaceFilterButtons();
    SetPlayButtonState(m_pRoad->Front().state == PLAY_PLAYING);
    LayoutForMode(m_nLayoutMode);
}

// ---- maximise, minimise, restore ---------------------------------------------------------

void CsulvaneDlg::OnBtnMaximize() {
    // The window maximises itself onto the work area of its monitor, so that the window
    // manager's idea of a maximised window (or its absence) cannot move it elsewhere.
    OnWindowStateChange(m_bMaximised ? Qt::WindowNoState : Qt::WindowMaximized);
}

void CsulvaneDlg::OnBtnMinimize() { showMinimized(); }

void CsulvaneDlg::OnWindowStateChange(Qt::WindowStates state) {
    // The window keeps its own idea of being maximised (the window system sees a window of
    // the work area's size), so a minimised window comes back to the state it left.
    if (state & Qt::WindowMinimized) {
        if (!m_bMinimised) EnterMinimised();
        return;
    }
    if (m_bMinimised) {
        LeaveMinimised((state & Qt::WindowMaximized) != 0);
        return;
    }
    if (state & Qt::WindowMaximized) {
        if (!m_bMaximised) Maximise();
        return;
    }
    if (m_bMaximised) RestoreFromMaximised();
}

void CsulvaneDlg::EnterMinimised() {
    m_minimised.maximised = m_bMaximised;
    m_minimised.rect = FrameRect();
    m_minimised.map = FALSE;
    m_minimised.obd = FALSE;
    if (m_pMapWindow && m_pMapWindow->isVisible()) {
        m_pMapWindow->showMinimized();
        m_minimised.map = TRUE;
    }
    if (m_pObdDlg && m_bObdShown && m_pObdDlg->isVisible()) {
        m_pObdDlg->showMinimized();
        m_minimised.obd = TRUE;
    }
    m_bMaximised = FALSE;
    m_bMinimised = TRUE;
}

void CsulvaneDlg::LeaveMinimised(bool toMaximised) {
    // Only the satellite windows that went down with the window come back with it: a map
    // hidden by the full view stays hidden.
    if (m_minimised.map && m_pMapWindow && m_bMapShown) m_pMapWindow->showNormal();
    if (m_minimised.obd && m_pObdDlg && m_bObdShown) m_pObdDlg->showNormal();
    m_bMinimised = FALSE;
    if (m_minimised.maximised) {
        // Docked again: the work area may have changed meanwhile. The rectangle saved
        // before maximising stays the one a restore goes back to.
        m_bMaximised = TRUE;
        UpdateScaleForWorkArea();
        SetInfoExtraScale(kInfoExtraScaleMaximised);
        DockToWorkArea();
        if (!m_bFullView) UpdateMaximiseButton();
    } else if (toMaximised) {
        Maximise();
        return;
    }
    // A window manager may have moved or resized the window while it was down.
    if ((!m_bMaximised || m_bFullView) && !(FrameRect() == m_minimised.rect)) {
        m_rcTarget = m_minimised.rect;
        PlaceWindow(m_rcTarget);
        ComputePaneArea(m_rcTarget);
    }
}

void CsulvaneDlg::Maximise() {
    m_rcSaved = FrameRect();
    m_bMaximised = TRUE;
    UpdateScaleForWorkArea();
    SetInfoExtraScale(kInfoExtraScaleMaximised);
    DockToWorkArea();
    UpdateMaximiseButton();
}

void CsulvaneDlg::RestoreFromMaximised() {
    m_bMaximised = FALSE;
    float sx = 1.0f, sy = 1.0f;
    ClampWindowScale(sx, sy, m_rcSaved, g_fScale, m_fMaxScale);
    m_fWindowScaleX = sx;
    m_fWindowScaleY = sy;
    const SIZE least = WindowSizeForScale(g_fScale, sx, sy);
    if (m_rcSaved.Width() < least.cx) m_rcSaved.right = m_rcSaved.left + least.cx;
    if (m_rcSaved.Height() < least.cy) m_rcSaved.bottom = m_rcSaved.top + least.cy;
    m_rcTarget = m_rcSaved;
    SetInfoExtraScale(1.0f);
    PlaceWindow(m_rcTarget);
    ComputePaneArea(m_rcTarget);
    if (!m_bFullView) UpdateMaximiseButton();
}

void CsulvaneDlg::SetInfoExtraScale(float scale) {
    // The info panel widens its own layout while the window is maximised.
    if (m_pInfoDlg) {
        m_pInfoDlg->SetExtraScale(scale);
        m_pInfoDlg->update();
    }
}

void CsulvaneDlg::UpdateMaximiseButton() {
    CSkinButton* button = m_apTitle[1];
    if (!button) return;
    const RECT frame{0, 0, Scaled(26), Scaled(18)};
    button->SetImage(m_bMaximised ? kMaximiseBitmapRestore : kTitleButtons[1].bitmap, &frame);
    button->setToolTip(QString::fromUtf8(UiText(m_bMaximised ? kTextRestoreTip : kTitleButtons[1].tooltip)));
    button->update();
}

void CsulvaneDlg::UpdateScaleForWorkArea() {
    RECT work{};
    const RECT frame = FrameRect();
    if (!GetMonitorRects(&work, nullptr, POINT{frame.left, frame.top})) return;
    ClampWindowScale(m_fWindowScaleX, m_fWindowScaleY, work, g_fScale, m_fMaxScale);
}

void CsulvaneDlg::DockToWorkArea() {
    if (!m_bMaximised || m_bFullView || m_bDocking) return;
    m_bDocking = TRUE;
    RECT work{};
    // The monitor the window was last moved to: the one that holds its top-left corner.
    const RECT frame = FrameRect();
    if (GetMonitorRects(&work, nullptr, POINT{frame.left, frame.top})) {
        m_rcTarget = work;
        if (m_pScaleFrame) m_pScaleFrame->MoveTo(m_rcTarget);
        PlaceWindow(m_rcTarget);
        ComputePaneArea(m_rcTarget);
    }
    m_bDocking = FALSE;
}

void CsulvaneDlg::OnAppBarNotify(WPARAM) {
    // Every change of a work area is a change of position of the desktop's panels.
    if (m_bMaximised) {
        DockToWorkArea();
        PlaceProgressBar();
    } else {
        OnMonitorChanged();
    }
}

void CsulvaneDlg::OnMonitorChanged() {
    if (!m_pScaleFrame) return;
    RECT work{};
    const RECT frame = FrameRect();
    if (!GetMonitorRects(&work, nullptr, POINT{frame.left, frame.top})) return;
    if (work == m_rcWorkArea) return;
    m_rcWorkArea = work;
    MonitorMetrics monitor;
    if (!MonitorMetricsOf(this, &monitor)) return;
    monitor.workArea = ToQRect(work);
    DeleteSharedFonts();
    InitScaleAndFonts(monitor);
    m_fMaxScale = orv::ComputeMaxScale(work.Width(), g_fScale);
    m_fWindowScaleX = std::clamp(m_fWindowScaleX, 1.0f, m_fMaxScale);
    m_fWindowScaleY = std::clamp(m_fWindowScaleY, 1.0f, m_fMaxScale);
    const SIZE size = WindowSizeForScale(g_fScale, m_fWindowScaleX, m_fWindowScaleY);
    m_rcTarget = RECT{frame.left, frame.top, frame.left + size.cx, frame.top + size.cy};
    setUpdatesEnabled(false);
    PlaceWindow(m_rcTarget);
    ComputePaneArea(m_rcTarget);
    setUpdatesEnabled(true);
    m_fScaleAtOverlay = g_fScale;
    // The map window takes the new scale too, and goes back beside the video when shown.
    if (m_bMapInOwnWindow && m_pMapWindow) {
        PlaceMapWindow(m_pMapWindow->x(), m_pMapWindow->y());
        if (m_pMapWindow->isVisible()) PlaceMapBesideVideo();
    }
    if (m_pSettingDlg) {
        m_pSettingDlg->Relayout();
        m_pSettingDlg->update();
    }
    if (auto* notice = dynamic_cast<CUpdateDialog*>(m_pUpdateDlg.get())) notice->FollowScale();
    update();
}

// ---- Qt's events -------------------------------------------------------------------------

void CsulvaneDlg::UpdateFrameCursor(POINT screen) {
    Qt::CursorShape shape = Qt::ArrowCursor;
    // While a movie is being opened the wait cursor stays, over the sizing bands as well.
    if (m_nWaitCursor > 0) shape = Qt::WaitCursor;
    else if (!m_bMaximised && !m_bControlsLocked && !m_bFullView) shape = CursorForHit(HitTestFrame(screen));
    if (shape == Qt::ArrowCursor) unsetCursor();
    else setCursor(shape);
}

void CsulvaneDlg::mouseMoveEvent(QMouseEvent* event) {
    OnFrameMouseMove(ToPoint(event->globalPosition().toPoint()), (event->buttons() & Qt::LeftButton) ? TRUE : FALSE);
    QDialog::mouseMoveEvent(event);
}

void CsulvaneDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnFrameButtonUp(ToPoint(event->globalPosition().toPoint()));
    QDialog::mouseReleaseEvent(event);
}

void CsulvaneDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnFrameDoubleClick(ToPoint(event->globalPosition().toPoint()));
    QDialog::mouseDoubleClickEvent(event);
}

void CsulvaneDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    PlaceObdWindow();  // the gauge window lies over the window's panes wherever it goes
    if (m_bPlacing || m_bMaximised || m_bMinimised || !m_pScaleFrame) return;
    // A move by the window manager: the monitor is looked at once the move has settled.
    m_rcSaved = FrameRect();
    SetTimer(TIMER_SIZE_SETTLE, unsigned(std::max(1, QApplication::doubleClickInterval() / 2)));
}

void CsulvaneDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) OnWindowStateChange(windowState());
}

}  // namespace orv
