#include "app/surface/MovieStatic.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStyleHints>
#include <cmath>

#include "platform/media/VideoFrameSink.h"
#include "playback/presenter/D3DPresentEngine.h"
#include "ui/ScaleFonts.h"

namespace orv {

namespace {

unsigned DoubleClickMs() {
    const int ms = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    return ms > 0 ? unsigned(ms) : 400u;
}

// The zoom cursor of the large-video view: a magnifier 32 x 32 design pixels.
QCursor ZoomCursor() {
    const int size = std::max(int(32.0f * g_fScale), 8);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal r = size * 0.3;
    const QPointF centre(size * 0.4, size * 0.4);
    painter.setPen(QPen(Qt::white, std::max(2.0, size / 10.0)));
    painter.drawEllipse(centre, r, r);
    painter.drawLine(centre + QPointF(r * 0.7, r * 0.7), QPointF(size - 2, size - 2));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawEllipse(centre, r, r);
    return QCursor(pixmap, int(centre.x()), int(centre.y()));
}

}  // namespace

CMovieStatic::CMovieStatic() { setAttribute(Qt::WA_OpaquePaintEvent); }

CMovieStatic::~CMovieStatic() {
    // After this no presenter thread calls into the surface any more.
    SetVideoFrameSink(GetSafeHwnd(), nullptr);
}

BOOL CMovieStatic::Create(QWidget* parent, int controlId) {
    setParent(parent);
    setObjectName(QString("VideoSurface%1").arg(controlId));
    // The presenter makes its pictures at the size they are shown at, which it learns here.
    SetVideoFrameSink(
        GetSafeHwnd(), [this](const QImage& frame, const RECT& destination) { OnFramePresented(frame, destination); },
        [this] { return SIZE{width(), height()}; });
    setMouseTracking(true);
    m_bCreated = TRUE;
    show();
    return TRUE;
}

void CMovieStatic::OnFramePresented(const QImage& frame, const RECT& destination) {
    {
        std::lock_guard lock(m_frameLock);
        m_frame = frame;
        m_destination = destination;
        m_frameTime = std::chrono::steady_clock::now();
    }
    // The presenter's thread only keeps the picture; the UI thread paints it.
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

QImage CMovieStatic::LastFrame() const {
    std::lock_guard lock(m_frameLock);
    return m_frame;
}

std::chrono::steady_clock::time_point CMovieStatic::LastFrameTime() const {
    std::lock_guard lock(m_frameLock);
    return m_frameTime;
}

void CMovieStatic::FillBlack() {
    {
        std::lock_guard lock(m_frameLock);
        m_frame = QImage();
    }
    if (width() > 0) update();
}

bool CMovieStatic::PaintsBlack() const {
    if (!m_bPicture) return true;
    return !(m_pOwner && m_pOwner->IsChannelShowing(m_nIndex == 1 ? 1 : 0));
}

void CMovieStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    QImage frame;
    RECT destination{};
    {
        std::lock_guard lock(m_frameLock);
        frame = m_frame;
        destination = m_destination;
    }
    if (PaintsBlack() || frame.isNull()) {
        painter.fillRect(all, Qt::black);
        return;
    }
    QRect target = destination.Width() > 0 && destination.Height() > 0
                       ? QRect(destination.left, destination.top, destination.Width(), destination.Height())
                       : all;
    // Black bands wherever the picture does not reach.
    const QRegion bands = QRegion(all).subtracted(QRegion(target));
    for (const QRect& band : bands) painter.fillRect(band, Qt::black);
    const int padding = frame.width() - target.width();
    if (frame.height() == target.height() && (padding == 0 || padding == 1)) {
        // The picture was made at the size it is shown at (its width made even): drawn as it is.
        painter.drawImage(target.topLeft(), frame, QRect(QPoint(0, 0), target.size()));
    } else {
        // A picture made for the size before a resize, until the next one comes.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, frame);
    }
}

void CMovieStatic::OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (!HasOwner()) return;
    switch (msg) {
    case WM_APP_GRAPH_NOTIFY:
        if (m_nIndex == 0) m_pOwner->OnGraphNotify(wParam, lParam);
        break;
    case WM_APP_PLAYER_ENDED:
        if (m_nIndex == 0) m_pOwner->OnMovieEnded(wParam, lParam);
        break;
    case WM_APP_PLAYER_READY:
        m_pOwner->OnPlayerReady(m_nIndex, wParam, lParam);
        break;
    default:
        break;
    }
}

void CMovieStatic::OnLButtonDown(unsigned flags, POINT point) {
    m_bButtonUpSeen = FALSE;
    if (m_bDblClkSeen) return;
    m_bClickReported = FALSE;
    if (m_nIndex == 0 || m_nIndex == 1) {
        m_down = {flags, point};
        SetTimer(TIMER_CLICK_DOWN, DoubleClickMs());
    }
}

void CMovieStatic::OnLButtonUp(unsigned flags, POINT point) {
    m_bButtonUpSeen = TRUE;
    if (m_bDblClkSeen) {
        m_bDblClkSeen = FALSE;
        return;
    }
    if (m_nIndex == 0 || m_nIndex == 1) {
        m_up = {flags, point};
        SetTimer(TIMER_CLICK_UP, DoubleClickMs());
    }
}

void CMovieStatic::OnLButtonDblClk(unsigned, POINT) {
    KillTimer(TIMER_CLICK_DOWN);
    KillTimer(TIMER_CLICK_UP);
    m_bClickReported = FALSE;
    m_bDblClkSeen = TRUE;
    if (HasOwner()) m_pOwner->OnVideoDblClk(m_nIndex);
    // The second press's release is still to come unless it came already.
    if (m_bButtonUpSeen) m_bDblClkSeen = FALSE;
}

void CMovieStatic::OnContextMenu(POINT screenPoint) {
    if (HasOwner()) m_pOwner->OnVideoContextMenu(screenPoint, m_nIndex);
}

void CMovieStatic::OnTimer(unsigned id) {
    if (id == TIMER_CLICK_DOWN) {
        KillTimer(TIMER_CLICK_DOWN);
        if (!m_bClickReported) {
            m_bClickReported = TRUE;
            if (HasOwner()) m_pOwner->OnVideoClick(m_nIndex, m_down.point);
        }
    } else if (id == TIMER_CLICK_UP) {
        KillTimer(TIMER_CLICK_UP);
        if (m_bClickReported) m_bClickReported = FALSE;
    }
}

void CMovieStatic::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(0, POINT{int(event->position().x()), int(event->position().y())});
}

void CMovieStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(0, POINT{int(event->position().x()), int(event->position().y())});
}

void CMovieStatic::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(0, POINT{int(event->position().x()), int(event->position().y())});
}

void CMovieStatic::contextMenuEvent(QContextMenuEvent* event) {
    OnContextMenu(POINT{event->globalPos().x(), event->globalPos().y()});
}

void CMovieStatic::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TellRefreshRate();
}

void CMovieStatic::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    UpdateCursor();
}

void CMovieStatic::UpdateCursor() {
    if (m_bLargeVideo) setCursor(ZoomCursor());
    else unsetCursor();
}

void CMovieStatic::TellRefreshRate() {
    // The presenter schedules its pictures against the display's refresh rate.
    const QScreen* display = screen();
    const double hz = display ? display->refreshRate() : 0.0;
    if (std::isfinite(hz) && hz >= 1.0 && hz < 1000.0) D3DPresentEngine::SetDisplayRefreshRate(UINT32(std::lround(hz)));
}

}  // namespace orv
