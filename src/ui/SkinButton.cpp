#include "ui/SkinButton.h"

#include <QEnterEvent>
#include <QMouseEvent>

#include "platform/gdi/SkinResources.h"
#include "ui/ScaleFonts.h"

namespace orv {

namespace {

// Longest window text drawn, in characters.
constexpr int kMaxCaption = 260;
// Frames of every button strip: normal, hover, pressed, disabled.
constexpr int kStripFrames = 4;

}  // namespace

unsigned OwnerDrawState(const QAbstractButton& button) {
    unsigned state = 0;
    if (button.isDown()) state |= ODS_SELECTED;
    if (!button.isEnabled()) state |= ODS_DISABLED;
    if (button.isCheckable() && button.isChecked()) state |= ODS_CHECKED;
    return state;
}

void DrawCheckBoxFrame(DeviceContext& dc, const ImageList& list, SkinFrame frame, bool disabledTicked, int x,
                       int y, int w, int h) {
    if (!disabledTicked) {
        list.Draw(dc, frame, x, y, w, h);
        return;
    }
    list.Draw(dc, SKIN_FRAME_DISABLED, x, y, w, h);
    list.DrawBlended(dc, SKIN_FRAME_PRESSED, x, y, w, h, kDimmedTickAlpha);
}

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) { setMouseTracking(true); }

void CSkinButton::SetImage(int bitmapId, const RECT* rect) {
    if (rect) {
        m_nFrameWidth = rect->right - rect->left;
        m_nFrameHeight = rect->bottom - rect->top;
    }
    // Each frame is scaled on its own: a strip of frames that are not square, scaled as
    // a whole, would put the frame edges between pixels (strip 352 at scale 1.5 has
    // frames 19.5 pixels wide) and show a sliver of the neighbouring frame.
    const QImage strip = ReadSkinResource(bitmapId);
    if (strip.isNull()) return;
    m_bCheckBox = bitmapId == kCheckBoxStrip;
    m_bUpdating = TRUE;
    m_imageList.CreateScaled(strip, kStripFrames, m_nFrameWidth, m_nFrameHeight);
    m_bUpdating = FALSE;
    update();
}

SkinFrame CSkinButton::FrameForState(unsigned itemState, COLORREF* caption) const {
    SkinFrame frame = SKIN_FRAME_NORMAL;
    COLORREF colour = kCaptionWhite;
    if (itemState & ODS_GRAYED) {
        frame = SKIN_FRAME_HOVER;
        colour = kCaptionGrey;
    } else if (itemState & ODS_DISABLED) {
        frame = SKIN_FRAME_DISABLED;
        colour = kCaptionGrey;
    } else if (itemState & ODS_SELECTED) {
        frame = SKIN_FRAME_PRESSED;
        colour = kCaptionGrey;
    } else if (itemState & ODS_CHECKED) {
        frame = SKIN_FRAME_PRESSED;
    } else if (m_bLatched) {
        frame = SKIN_FRAME_PRESSED;
        colour = kCaptionGrey;
    }
    if (caption) *caption = colour;
    return frame;
}

void CSkinButton::DrawItem(const DRAWITEMSTRUCT& dis) {
    if (m_bUpdating || !dis.hDC) return;
    DeviceContext& dc = *dis.hDC;
    dc.SetBkMode(TRANSPARENT);
    COLORREF caption = kCaptionWhite;
    const SkinFrame frame = FrameForState(dis.itemState, &caption);
    const bool dimmedTick = m_bCheckBox && m_bLatched && frame == SKIN_FRAME_DISABLED;
    DrawCheckBoxFrame(dc, m_imageList, frame, dimmedTick, 0, 0, m_nFrameWidth, m_nFrameHeight);
    DrawCaption(dc, caption, dis.rcItem);
}

void CSkinButton::DrawFrame(DeviceContext& dc, SkinFrame frame) {
    m_imageList.Draw(dc, frame, 0, 0, m_nFrameWidth, m_nFrameHeight);
}

void CSkinButton::DrawCaption(DeviceContext& dc, COLORREF colour, const RECT& rect) {
    const QString text = this->text().left(kMaxCaption);
    if (text.isEmpty()) return;
    dc.SetBkMode(TRANSPARENT);
    const COLORREF oldColour = dc.SetTextColor(colour);
    QFont* oldFont = dc.SelectFont(g_hFont9);
    RECT r = rect;
    dc.DrawText(text, &r, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
    dc.SelectFont(oldFont);
    dc.SetTextColor(oldColour);
}

void CSkinButton::OnMouseMove() {
    // The hover time asked for is one millisecond: the hover follows the move at once.
    OnMouseHover();
}

void CSkinButton::OnMouseHover() {
    if (m_bUpdating || m_bLatched || m_bHovering) return;
    m_bHovering = TRUE;
    update();
}

void CSkinButton::OnMouseLeave() {
    m_bHovering = FALSE;
    repaint();
}

void CSkinButton::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    DRAWITEMSTRUCT dis;
    dis.itemState = OwnerDrawState(*this);
    dis.rcItem = RECT{0, 0, width(), height()};
    dis.hDC = &dc;
    // The hover frame stands in for the normal frame only: a held, disabled, checked or
    // latched button keeps its state frame while the mouse rests on it.
    if (m_bHovering && !m_bUpdating && !m_bLatched &&
        FrameForState(dis.itemState, nullptr) == SKIN_FRAME_NORMAL) {
        dc.SetBkMode(TRANSPARENT);
        DrawFrame(dc, SKIN_FRAME_HOVER);
        DrawCaption(dc, kCaptionWhite, RECT{0, 0, m_nFrameWidth, m_nFrameHeight});
        return;
    }
    DrawItem(dis);
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove();
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    OnMouseMove();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QAbstractButton::leaveEvent(event);
}

}  // namespace orv
