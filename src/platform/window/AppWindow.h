// The window side of posted messages and numbered timers, for Qt objects.
//
// A class that takes posted messages or timers derives from AppWindow beside its Qt
// base (QWidget, QDialog, ...):
//
//     class CMainDlg : public QDialog, public AppWindow {
//         void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;
//         void OnTimer(unsigned id) override;
//     };
//
// Construction registers a handle (GetSafeHwnd) in the message registry of
// platform/base/AppMessage.h. Any thread may PostAppMessage to it; the message arrives
// on the thread that constructed the object (the UI thread) through its event loop, in
// posting order, and is handed to OnAppMessage. Destruction unregisters the handle and
// drops the messages still queued, so a message posted to a destroyed window is lost
// harmlessly, as it is on Windows.
//
// Timers are named by the caller's ids: SetTimer(id, ms) starts (or restarts) the
// timer of that id, which then calls OnTimer(id) every ms milliseconds until
// KillTimer(id). All of an object's timers stop when it is destroyed.
//
// Construction, SetTimer, KillTimer and destruction belong to the UI thread.
#pragma once

#include <memory>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"

namespace orv {

class AppWindowBinding;

class AppWindow {
public:
    AppWindow();
    virtual ~AppWindow();
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    // The handle to post to; never 0 and never reused while the process runs.
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Starts the timer `id` (not 0) with a period of `ms` milliseconds, replacing a
    // running timer of the same id. Returns id, or 0 when id is 0 or no timer could
    // be started.
    unsigned SetTimer(unsigned id, unsigned ms);

    // Stops the timer `id`; FALSE when no such timer runs. Ticks already queued for it
    // are not delivered.
    BOOL KillTimer(unsigned id);

    // TRUE while the timer `id` runs.
    BOOL IsTimerRunning(unsigned id) const;

protected:
    // A posted message, on the UI thread. The default does nothing.
    virtual void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam);

    // A tick of the timer `id`, on the UI thread. The default does nothing.
    virtual void OnTimer(unsigned id);

private:
    friend class AppWindowBinding;

    std::unique_ptr<AppWindowBinding> m_binding;
    HWND m_hWnd = 0;
};

}  // namespace orv
