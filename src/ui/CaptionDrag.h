// A press of the left button on the caption of a borderless top-level window, which moves
// the window only once it becomes a drag. While the pointer stays within the platform's
// drag distance of the press point the press is a click, so that a double click on the
// caption reaches the window: a window manager handed the press at once keeps both clicks
// to itself. Once the press is a drag, the move is handed to the window system (a window
// manager moves the window from there on, so it lags the pointer by the way the pointer went
// as a click); where that cannot take it (there is no window manager), the window follows the
// pointer itself, the grabbed point under the pointer, until the button comes up.
// UI thread only.
#pragma once

#include <QPoint>

#include <functional>

class QWidget;

namespace orv {

class CaptionDrag {
public:
    // Puts the window with its top-left corner at a screen point. The window's own move()
    // unless its owner has to tell these moves from those of the window system.
    using Place = std::function<void(const QPoint& topLeft)>;

    explicit CaptionDrag(QWidget* window, Place place = {});

    // The left button went down on the caption at the screen point `screen`.
    void Press(const QPoint& screen);
    // The pointer is at the screen point `screen` with the button down. True while a press on
    // the caption goes on, whatever it has become: the caller leaves the event alone then.
    bool Drag(const QPoint& screen);
    // The button came up, or the press turned out to be the second of a double click: the
    // press ends. True when it had become a move.
    bool End();

    // The window follows the pointer itself (the window system could not take the move).
    bool IsFollowing() const { return m_state == State::kFollowing; }

private:
    enum class State { kIdle, kHeld, kSystem, kFollowing };

    QWidget* m_window;
    Place m_place;
    QPoint m_press;
    QPoint m_grab;  // the pressed point, from the window's top-left corner
    State m_state = State::kIdle;
};

}  // namespace orv
