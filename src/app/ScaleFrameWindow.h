// The outline that shows the main window's new size while an edge or corner is dragged
// ("FrameWindow"): a frameless, click-through, topmost tool window whose only visible
// pixels are a one-pixel frame in RGB(112, 93, 168); the rest is transparent.
#pragma once

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

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orv
