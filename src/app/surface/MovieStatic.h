// A video surface: the window a playback channel shows its picture in and posts its
// player's notices to. It paints the newest presented picture into the player's
// destination rectangle with black bands around it (all black while it has no picture),
// turns the mouse into calls of its owner (a single click one double-click time after
// the press, a double click, the context menu) and forwards the player's notices.
#pragma once

#include <QImage>
#include <QWidget>
#include <chrono>
#include <mutex>

#include "app/commands/Timers.h"
#include "platform/base/WinTypes.h"
#include "platform/window/AppWindow.h"

namespace orv {

// What a video surface asks of the main window.
class MovieSurfaceOwner {
public:
    virtual ~MovieSurfaceOwner() = default;
    virtual void OnVideoClick(int surface, POINT point) = 0;
    virtual void OnVideoDblClk(int surface) = 0;
    virtual void OnVideoContextMenu(POINT screenPoint, int surface) = 0;
    virtual void OnGraphNotify(WPARAM wParam, LPARAM lParam) = 0;
    virtual void OnMovieEnded(WPARAM wParam, LPARAM lParam) = 0;
    // A channel's player reported that its movie is ready (0 front, 1 rear).
    virtual void OnPlayerReady(int channel, WPARAM wParam, LPARAM lParam) = 0;
    // Whether the channel of that index is initialised and has a movie (not closed).
    virtual bool IsChannelShowing(int channel) const = 0;
};

class CMovieStatic : public QWidget, public AppWindow {
public:
    CMovieStatic();
    ~CMovieStatic() override;

    // Makes the surface a child of `parent` with control id 1000 and registers its frame sink.
    BOOL Create(QWidget* parent, int controlId);
    BOOL IsCreated() const { return m_bCreated; }

    // Fills the client area black (the picture is dropped until the next one arrives).
    void FillBlack();

    // Mouse and timer handlers, in the window's terms (client coordinates).
    void OnLButtonDown(unsigned flags, POINT point);
    void OnLButtonUp(unsigned flags, POINT point);
    void OnLButtonDblClk(unsigned flags, POINT point);
    void OnContextMenu(POINT screenPoint);
    void OnTimer(unsigned id) override;

    // The zoom cursor while the large-video view is on, the usual one otherwise.
    void UpdateCursor();

    // Whether the surface paints black now (no picture flag, channel not showing).
    bool PaintsBlack() const;

    // The picture last presented and where it goes (client coordinates; empty = all).
    QImage LastFrame() const;
    // When the last picture was presented to the surface.
    std::chrono::steady_clock::time_point LastFrameTime() const;

    BOOL m_bFullScreen = FALSE;
    BOOL m_bButtonUpSeen = FALSE;
    BOOL m_bClickReported = FALSE;
    BOOL m_bLargeVideo = FALSE;
    BOOL m_bDblClkSeen = FALSE;
    BOOL m_bPicture = TRUE;  // cleared while a snapshot is taken: the surface then paints black
    struct ButtonRecord {
        unsigned flags = 0;
        POINT point{};
    };
    ButtonRecord m_down;
    ButtonRecord m_up;
    MovieSurfaceOwner* m_pOwner = nullptr;
    int m_nIndex = -1;

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    bool HasOwner() const { return m_pOwner && (m_nIndex == 0 || m_nIndex == 1); }
    void OnFramePresented(const QImage& frame, const RECT& destination);
    void TellRefreshRate();

    BOOL m_bCreated = FALSE;
    mutable std::mutex m_frameLock;  // the presenter's thread writes the picture
    QImage m_frame;
    RECT m_destination{};
    std::chrono::steady_clock::time_point m_frameTime{};
};

}  // namespace orv
