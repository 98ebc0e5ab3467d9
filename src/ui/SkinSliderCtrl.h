// The seek and volume sliders: a track in two pictures (the part left of the position
// and the part right of it) and a thumb, painted through an off-screen buffer, that tells
// its parent window of presses, drags and releases by posted messages:
// WM_APP_SLIDER_DOWN, WM_APP_SLIDER_DRAG and WM_APP_SLIDER_UP, each with wParam = the
// control id and lParam = m_nDragPos. The parent must be an AppWindow to hear them.
//
// The owner sets the range (SetRange) and whether the slider takes the mouse
// (EnableSlider), and answers the messages with SetPos; the slider does not move its thumb
// by itself. UI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "ui/OffScreenDC.h"

namespace orv {

class CSkinSliderCtrl : public QWidget {
public:
    CSkinSliderCtrl();
    ~CSkinSliderCtrl() override;

    // Becomes a child of `parent` with the control id `id`, at an empty rectangle that
    // the owner then sets. FALSE (not created) when the parent has no client area.
    BOOL Create(unsigned id, QWidget* parent);

    // The track's left and right pictures, the thumb and the thumb while dragging, by
    // skin id; makes the off-screen buffer.
    void SetImages(int trackLeftId, int trackRightId, int thumbId, int thumbDragId);

    // Makes the off-screen buffer anew at the current scale (after g_fScale changed);
    // nothing before SetImages.
    void RecreateBuffer();

    // Draws the thumb at `pos`.
    void SetPos(int pos);

    // The track split at the position, and the thumb, into `dc`.
    void DrawTrack(DeviceContext& dc);
    void DrawThumb(DeviceContext& dc);

    // m_nDragPos from the client x: x over the width as a share of the range, held to
    // [m_nMin, m_nMax]; m_nMin for an empty range.
    void PosFromX(int x);

    // The track through the buffer onto `dc`; FALSE (nothing drawn) at a width of 0.
    BOOL OnEraseBkgnd(DeviceContext& dc);

    unsigned GetDlgCtrlID() const { return m_nID; }

    // The range; nothing is redrawn (the owner follows with SetPos).
    void SetRange(int min, int max) {
        m_nMin = min;
        m_nMax = max;
    }
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    int GetPos() const { return m_nPos; }
    int GetDragPos() const { return m_nDragPos; }

    // A drag is in progress (the dragging thumb is drawn). The owner clears it to drop a
    // drag it has answered for good; nothing is posted then.
    BOOL IsCaptured() const { return m_bCaptured; }
    void SetCaptured(BOOL captured) { m_bCaptured = captured; }

    // The last press fell beside the thumb rather than on it.
    BOOL IsClickOutsideThumb() const { return m_bClickOutsideThumb; }

    // While disabled the slider ignores presses and ends a drag at the next move or
    // release without telling the owner of moves.
    void EnableSlider(BOOL on) { m_bEnabled = on; }
    BOOL IsSliderEnabled() const { return m_bEnabled; }

protected:
    void OnLButtonDown(POINT point);
    void OnMouseMove(POINT point);
    void OnLButtonUp(POINT point);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    long long Range() const;
    // The share of the range at the drawn position, held to 0..1.
    float Fraction() const;
    // Left edge of the thumb at the drawn position, and its width.
    int ThumbLeft() const;
    int ThumbWidth() const;
    bool IsInside(int x) const;
    // Ends a drag: the dragging thumb goes and WM_APP_SLIDER_UP is posted.
    void EndDrag();
    void Post(unsigned msg) const;

    BOOL m_bCaptured = FALSE;
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nPos = 0;       // the drawn position
    int m_nDragPos = 0;   // the position under the mouse
    BOOL m_bClickOutsideThumb = FALSE;
    BOOL m_bEnabled = TRUE;

    std::unique_ptr<COffScreenDC> m_pOffScreen;
    QImage m_trackLeft;
    QImage m_trackRight;
    QImage m_thumb;
    QImage m_thumbDrag;
    unsigned m_nID = 0;
};

}  // namespace orv
