// The outline that shows the main window's new size while an edge or corner is dragged
// ("FrameWindow"): a frameless, click-through, topmost tool window whose only pixels are a
// one-pixel frame in RGB(112, 93, 168). The window is shaped to that frame, so the screen
// inside it stays as it is with or without a compositor.
#pragma once

#include <QRegion>
#include <QWidget>

#include "platform/base/WinTypes.h"

namespace orv {

constexpr COLORREF kScaleFrameColour = RGB(112, 93, 168);

class ScaleFrameWindow : public QWidget {
public:
    ScaleFrameWindow();

    // Over `rc` (screen pixels), on top, shown.
    void ShowAt(const RECT& rc);
    // Moves it to `rc` without changing whether it is shown.
    void MoveTo(const RECT& rc);

    // The pixels of a window of `size` that belong to the outline: its one-pixel frame.
    static QRegion FrameRegion(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace orv
