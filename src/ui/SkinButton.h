// The skinned push button: one frame of a four-frame strip chosen by the button's state,
// with its caption drawn over it; the hover frame while the mouse rests on it.
//
// Owners give it its strip (SetImage) and latch toggles that are on (SetLatched); they
// repaint it (update()) after a change. UI thread only.
#pragma once

#include <QAbstractButton>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "ui/ImageList.h"

namespace orv {

// The frames of a button strip, left to right.
enum SkinFrame {
    SKIN_FRAME_NORMAL = 0,
    SKIN_FRAME_HOVER = 1,
    SKIN_FRAME_PRESSED = 2,
    SKIN_FRAME_DISABLED = 3,
};

// States of an owner-drawn item.
constexpr unsigned ODS_SELECTED = 0x0001;  // held down
constexpr unsigned ODS_GRAYED = 0x0002;
constexpr unsigned ODS_DISABLED = 0x0004;
constexpr unsigned ODS_CHECKED = 0x0008;

// What an owner-drawn control is asked to draw: its state, its rectangle and the context.
struct DRAWITEMSTRUCT {
    unsigned itemState = 0;
    RECT rcItem;
    DeviceContext* hDC = nullptr;
};

// The ODS_ state of a button widget as it stands: held down, disabled, checked.
unsigned OwnerDrawState(const QAbstractButton& button);

// The check box's strip: unticked, unticked under the mouse, ticked, disabled.
constexpr int kCheckBoxStrip = 217;

// How strongly the ticked frame shows over the disabled frame of a ticked check box that
// cannot be used: its tick stays readable, dimmed with the rest of the window.
constexpr int kDimmedTickAlpha = 0x78;

// The box of a check box at (x, y), w x h: for a disabled one that is ticked, the disabled
// frame with the ticked frame dimmed over it; else the frame `frame`.
void DrawCheckBoxFrame(DeviceContext& dc, const ImageList& list, SkinFrame frame, bool disabledTicked, int x,
                       int y, int w, int h);

// Caption colours.
constexpr COLORREF kCaptionWhite = RGB(255, 255, 255);
constexpr COLORREF kCaptionGrey = RGB(128, 128, 128);

class CSkinButton : public QAbstractButton {
public:
    explicit CSkinButton(QWidget* parent = nullptr);

    // The frame size becomes the rectangle's size, and the four frames of the strip
    // `bitmapId` of the skin, each scaled to that size, become the image list. A strip
    // that does not load leaves the previous frames in place.
    void SetImage(int bitmapId, const RECT* rect);

    // The frame and caption colour of `itemState` (ODS_ flags) with the latched flag,
    // first match wins: grayed, disabled, held down, checked, latched, normal.
    SkinFrame FrameForState(unsigned itemState, COLORREF* caption) const;

    // Draws the state's frame at (0, 0) and the caption; nothing while updating.
    virtual void DrawItem(const DRAWITEMSTRUCT& dis);

    // The window text, centred on the bottom edge of `rect` in g_hFont9; nothing when
    // the text is empty.
    void DrawCaption(DeviceContext& dc, COLORREF colour, const RECT& rect);

    // The hover frame is up: the mouse rests on the button and it is neither updating
    // nor latched.
    BOOL IsHovering() const { return m_bHovering; }

    // The command id the owner knows the button by.
    void SetDlgCtrlID(int id) { m_nID = id; }
    int GetDlgCtrlID() const { return m_nID; }

    // A toggle that is on: the pressed frame with a grey caption, no hover.
    void SetLatched(BOOL latched) { m_bLatched = latched; }
    BOOL IsLatched() const { return m_bLatched; }

    // Size of one frame in pixels, already scaled; the owner's layout may write it.
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    // While TRUE nothing is drawn and hover is ignored.
    BOOL m_bUpdating = FALSE;
    // A toggle drawn from the check box's strip: while disabled and latched it keeps its
    // tick, dimmed, instead of the empty disabled frame. Set by SetImage.
    BOOL m_bCheckBox = FALSE;

protected:
    void OnMouseMove();
    void OnMouseHover();
    void OnMouseLeave();

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void DrawFrame(DeviceContext& dc, SkinFrame frame);

    ImageList m_imageList;
    BOOL m_bLatched = FALSE;
    BOOL m_bHovering = FALSE;
    int m_nID = 0;
};

}  // namespace orv
