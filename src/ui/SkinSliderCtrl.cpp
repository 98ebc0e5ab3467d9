#include "ui/SkinSliderCtrl.h"

#include <QApplication>
#include <QHideEvent>
#include <QMouseEvent>

#include <algorithm>

#include "platform/base/AppMessage.h"
#include "platform/gdi/SkinResources.h"
#include "platform/window/AppWindow.h"
#include "ui/Scaled.h"

namespace orv {

namespace {

constexpr COLORREF kKey = RGB(0, 0, 0);
// Width of the off-screen buffer: the widest slider the layouts make, at scale 1.
constexpr int kBufferWidth = 7680;
// Presses this far left or right of the client area still count; also the slack around
// the thumb within which a press counts as on it.
constexpr int kMargin = 10;

POINT ToPoint(const QPointF& p) {
    const QPoint q = p.toPoint();
    return POINT{q.x(), q.y()};
}

}  // namespace

CSkinSliderCtrl::CSkinSliderCtrl() { setCursor(Qt::ArrowCursor); }

CSkinSliderCtrl::~CSkinSliderCtrl() = default;

BOOL CSkinSliderCtrl::Create(unsigned id, QWidget* parent) {
    m_nID = id;
    if (!parent || parent->rect().isEmpty()) return FALSE;
    setParent(parent);
    setWindowTitle(QStringLiteral("movie slider"));
    setGeometry(0, 0, 0, 0);
    show();
    return TRUE;
}

void CSkinSliderCtrl::SetImages(int trackLeftId, int trackRightId, int thumbId, int thumbDragId) {
    m_trackLeft = LoadSkinBitmap(trackLeftId);
    m_trackRight = LoadSkinBitmap(trackRightId);
    m_thumb = LoadSkinBitmap(thumbId);
    m_thumbDrag = LoadSkinBitmap(thumbDragId);
    m_pOffScreen = std::make_unique<COffScreenDC>(Scaled(kBufferWidth), Scaled(m_thumb.height()));
    update();
}

void CSkinSliderCtrl::RecreateBuffer() {
    if (!m_pOffScreen) return;
    m_pOffScreen = std::make_unique<COffScreenDC>(Scaled(kBufferWidth), Scaled(m_thumb.height()));
    update();
}

void CSkinSliderCtrl::SetPos(int pos) {
    m_nPos = pos;
    if (width() == 0) return;
    update();
}

long long CSkinSliderCtrl::Range() const { return static_cast<long long>(m_nMax) - m_nMin + 1; }

float CSkinSliderCtrl::Fraction() const {
    const long long range = Range();
    if (range <= 0) return 0.0f;
    return std::clamp(float(m_nPos) / float(range), 0.0f, 1.0f);
}

int CSkinSliderCtrl::ThumbWidth() const { return Scaled(m_thumb.width()); }

int CSkinSliderCtrl::ThumbLeft() const {
    const long long range = Range();
    const int room = width() - ThumbWidth();
    if (range <= 0 || room <= 0) return 0;
    const float step = float(room) / float(range);
    return int(std::clamp(float(m_nPos) * step, 0.0f, float(room)));
}

void CSkinSliderCtrl::DrawTrack(DeviceContext& dc) {
    const float w = float(width());
    const float f = Fraction();
    const int wL = m_trackLeft.width();
    const int hL = m_trackLeft.height();
    const int oldMode = dc.SetStretchBltMode(COLORONCOLOR);
    // Both parts take their source size from the left picture: the two are one size.
    dc.TransparentBlt(0, 0, int(w * f), Scaled(hL), m_trackLeft, 0, 0, int(float(wL) * f), hL, kKey);
    dc.TransparentBlt(int(w * f + 1), 0, int(w * (1 - f) + 1), Scaled(hL), m_trackRight, 0, 0,
                      int(float(wL) * (1 - f)), hL, kKey);
    DrawThumb(dc);
    dc.SetStretchBltMode(oldMode);
}

void CSkinSliderCtrl::DrawThumb(DeviceContext& dc) {
    const QImage& thumb = m_bCaptured ? m_thumbDrag : m_thumb;
    const int wT = thumb.width();
    const int hT = thumb.height();
    dc.StretchBlt(ThumbLeft(), 0, Scaled(wT + 2), Scaled(hT), thumb, 0, 0, wT, hT);
}

BOOL CSkinSliderCtrl::OnEraseBkgnd(DeviceContext& dc) {
    if (width() == 0 || !m_pOffScreen) return FALSE;
    DrawTrack(m_pOffScreen->GetDC());
    return dc.BitBlt(0, 0, width(), height(), m_pOffScreen->GetDC(), 0, 0);
}

void CSkinSliderCtrl::PosFromX(int x) {
    const long long range = Range();
    if (range <= 0) {
        m_nDragPos = m_nMin;
        return;
    }
    const float u = float(width()) / float(range);
    if (u <= 0) return;
    m_nDragPos = int(std::clamp(float(x) / u, float(m_nMin), float(m_nMax)));
}

bool CSkinSliderCtrl::IsInside(int x) const {
    const int margin = Scaled(kMargin);
    return -margin < x && x < width() + margin;
}

void CSkinSliderCtrl::Post(unsigned msg) const {
    if (const auto* owner = dynamic_cast<const AppWindow*>(parentWidget()))
        PostAppMessage(owner->GetSafeHwnd(), msg, m_nID, m_nDragPos);
}

void CSkinSliderCtrl::EndDrag() {
    m_bCaptured = FALSE;
    Post(WM_APP_SLIDER_UP);
}

void CSkinSliderCtrl::OnLButtonDown(POINT point) {
    if (!m_bEnabled || !IsInside(point.x)) return;
    PosFromX(point.x);
    const int left = ThumbLeft();
    const int right = left + ThumbWidth();
    const int slack = Scaled(kMargin);
    m_bClickOutsideThumb = (point.x <= left - slack || point.x >= right + slack) ? TRUE : FALSE;
    m_bCaptured = TRUE;
    Post(WM_APP_SLIDER_DOWN);
}

void CSkinSliderCtrl::OnMouseMove(POINT point) {
    if (!m_bCaptured) return;
    // Disabled while dragging: the drag ends as a release would, so that the owner
    // leaves the paused and muted state it entered on the press.
    if (!m_bEnabled) {
        EndDrag();
        return;
    }
    if (!IsInside(point.x) || Range() <= 0) return;
    PosFromX(point.x);
    Post(WM_APP_SLIDER_DRAG);
}

void CSkinSliderCtrl::OnLButtonUp(POINT) {
    if (m_bCaptured) EndDrag();
}

// A slider hidden while dragging never sees the release: it lets go as a release would,
// for the same reason as a disabled one.
void CSkinSliderCtrl::hideEvent(QHideEvent* event) {
    if (m_bCaptured) EndDrag();
    QWidget::hideEvent(event);
}

// A drag whose release will not come lets go as a release would, for the same reason as a
// hidden one: a modal dialog takes the mouse from the window it blocks. A window that only
// loses the activation keeps the drag: the pointer's grab outlives a change of focus (a key
// that switches windows mid-drag), and a release that went elsewhere shows in the next move.
bool CSkinSliderCtrl::event(QEvent* event) {
    if (m_bCaptured && event->type() == QEvent::WindowBlocked) EndDrag();
    return QWidget::event(event);
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    OnEraseBkgnd(dc);
}

// Qt keeps delivering the mouse to the widget it was pressed on until the release, which
// is the capture a drag needs.
void CSkinSliderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(ToPoint(event->position()));
        // Every move of the pointer over the program is looked at while the drag goes on.
        if (m_bCaptured) qApp->installEventFilter(this);
    }
    QWidget::mousePressEvent(event);
}

// A move with the button up anywhere in the program while a drag goes on: its release went
// elsewhere (the mouse grab was broken), and the drag lets go as a release would. Qt hands
// moves without a button to the filters even where no widget tracks the mouse.
bool CSkinSliderCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (!m_bCaptured) qApp->removeEventFilter(this);
        else if (!(static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton)) EndDrag();
    }
    return QWidget::eventFilter(watched, event);
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(ToPoint(event->position()));
    QWidget::mouseMoveEvent(event);
}

void CSkinSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnLButtonUp(ToPoint(event->position()));
    QWidget::mouseReleaseEvent(event);
}

}  // namespace orv
