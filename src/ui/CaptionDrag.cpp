#include "ui/CaptionDrag.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace orv {

namespace {

// The pointer has left the press point by the platform's drag distance (counted along both
// axes, as Qt's own drags count it).
bool IsDrag(const QPoint& press, const QPoint& now) {
    return (now - press).manhattanLength() >= QApplication::startDragDistance();
}

}  // namespace

CaptionDrag::CaptionDrag(QWidget* window, Place place) : m_window(window), m_place(std::move(place)) {
    if (!m_place) m_place = [window](const QPoint& topLeft) { window->move(topLeft); };
}

void CaptionDrag::Press(const QPoint& screen) {
    m_press = screen;
    m_grab = screen - m_window->pos();
    m_state = State::kHeld;
}

bool CaptionDrag::Drag(const QPoint& screen) {
    switch (m_state) {
    case State::kIdle: return false;
    case State::kHeld: {
        if (!IsDrag(m_press, screen)) return true;
        QWindow* handle = m_window->windowHandle();
        if (handle && handle->startSystemMove()) {
            m_state = State::kSystem;
            return true;
        }
        m_state = State::kFollowing;
        m_place(screen - m_grab);
        return true;
    }
    case State::kSystem: return true;
    case State::kFollowing: m_place(screen - m_grab); return true;
    }
    return false;
}

bool CaptionDrag::End() {
    const bool moved = m_state == State::kSystem || m_state == State::kFollowing;
    m_state = State::kIdle;
    return moved;
}

}  // namespace orv
