#include "ui/SkinCheckButton.h"

#include <QMouseEvent>

#include "ui/Diagonal.h"
#include "ui/Scaled.h"

namespace orv {

namespace {

constexpr int kBox = 12;        // box edge
constexpr int kBoxTop = 4;      // box offset from the top
constexpr int kTextLeft = 16;   // text offset from the left
constexpr int kMaxText = 260;   // longest window text drawn, in characters

}  // namespace

CSkinCheckButton::CSkinCheckButton(QWidget* parent) : QAbstractButton(parent) { setMouseTracking(true); }

RECT CSkinCheckButton::BoxRect() const {
    const int b = Scaled(kBox);
    const int top = Scaled(kBoxTop);
    return RECT{0, top, b, top + b};
}

SkinFrame CSkinCheckButton::FrameForState(unsigned itemState) const {
    if (itemState & ODS_GRAYED) return SKIN_FRAME_HOVER;
    if (itemState & ODS_DISABLED) return SKIN_FRAME_DISABLED;
    if (itemState & ODS_SELECTED) return SKIN_FRAME_PRESSED;
    if ((itemState & ODS_CHECKED) || m_bChecked) return SKIN_FRAME_PRESSED;
    return SKIN_FRAME_NORMAL;
}

void CSkinCheckButton::DrawItem(const DRAWITEMSTRUCT& dis) {
    if (m_bUpdating || !dis.hDC) return;
    DeviceContext& dc = *dis.hDC;
    const RECT box = BoxRect();
    SkinFrame frame = FrameForState(dis.itemState);
    // The hover frame stands in for the normal frame only.
    if (m_bHovering && frame == SKIN_FRAME_NORMAL) frame = SKIN_FRAME_HOVER;
    // A ticked box keeps its tick, dimmed, while it cannot be used.
    const bool ticked = (dis.itemState & ODS_CHECKED) || m_bChecked;
    const bool dimmedTick = ticked && frame == SKIN_FRAME_DISABLED;
    DrawCheckBoxFrame(dc, m_imageList, frame, dimmedTick, box.left, box.top, box.Width(), box.Height());
    const int shift = Scaled(kTextLeft);
    RECT text = dis.rcItem;
    text.left += shift;
    text.right += shift;
    dc.DrawText(this->text().left(kMaxText), &text, 0);
}

void CSkinCheckButton::OnMouseMove(POINT point) {
    if (PtInRect(BoxRect(), point)) update();
    // The hover time asked for is one millisecond: the hover follows the move at once.
    OnMouseHover(point);
}

void CSkinCheckButton::OnMouseHover(POINT point) {
    if (m_bUpdating || m_bChecked) return;
    const BOOL inBox = PtInRect(BoxRect(), point) ? TRUE : FALSE;
    if (inBox == m_bHovering) return;
    m_bHovering = inBox;
    update();
}

void CSkinCheckButton::OnMouseLeave() {
    m_bHovering = FALSE;
    repaint();
}

void CSkinCheckButton::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    QFont font = this->font();
    dc.SelectFont(&font);
    dc.SetTextColor(ToColorRef(palette().color(foregroundRole())));
    dc.SetBkMode(TRANSPARENT);
    DRAWITEMSTRUCT dis;
    dis.itemState = OwnerDrawState(*this);
    dis.rcItem = RECT{0, 0, width(), height()};
    dis.hDC = &dc;
    DrawItem(dis);
}

void CSkinCheckButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    OnMouseMove(POINT{p.x(), p.y()});
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinCheckButton::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QAbstractButton::leaveEvent(event);
}

}  // namespace orv
