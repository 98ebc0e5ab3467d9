// The skinned check box: a box of trunc(12 x g_fScale) pixels from a four-frame strip
// (normal, hover, pressed or ticked, disabled), followed by the window text in the
// widget's font and text colour (the palette's ButtonText).
//
// The owner gives it the box frames (SetImageList, from strip 217 at the scaled box size)
// and toggles the tick (SetCheck) in its click handler, then repaints. UI thread only.
#pragma once

#include <QAbstractButton>

#include "platform/base/WinTypes.h"
#include "ui/ImageList.h"
#include "ui/SkinButton.h"

namespace orv {

class CSkinCheckButton : public QAbstractButton {
public:
    explicit CSkinCheckButton(QWidget* parent = nullptr);

    // The box frame of `itemState` (ODS_ flags) with the checked flag, first match
    // wins: grayed, disabled, held down, checked, normal.
    SkinFrame FrameForState(unsigned itemState) const;

    // The box at (0, trunc(4 s)) and the text from trunc(16 s) on; nothing while updating.
    virtual void DrawItem(const DRAWITEMSTRUCT& dis);

    // The box's rectangle in the button.
    RECT BoxRect() const;

    // The hover frame is up in the box.
    BOOL IsHovering() const { return m_bHovering; }

    void SetImageList(const ImageList& list) { m_imageList = list; }

    // The box is ticked.
    void SetCheck(BOOL checked) { m_bChecked = checked; }
    BOOL GetCheck() const { return m_bChecked; }

    BOOL m_bUpdating = FALSE;

protected:
    void OnMouseMove(POINT point);
    void OnMouseHover(POINT point);
    void OnMouseLeave();

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ImageList m_imageList;
    BOOL m_bChecked = FALSE;
    BOOL m_bHovering = FALSE;
};

}  // namespace orv
