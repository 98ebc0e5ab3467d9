#include "platform/window/AppWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>

#include <mutex>
#include <unordered_map>

#include "platform/base/WindowDpi.h"

namespace orv {

namespace {

QEvent::Type AppMessageEventType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

class AppMessageEvent : public QEvent {
public:
    AppMessageEvent(unsigned msg, WPARAM wParam, LPARAM lParam)
        : QEvent(AppMessageEventType()), msg(msg), wParam(wParam), lParam(lParam) {}
    const unsigned msg;
    const WPARAM wParam;
    const LPARAM lParam;
};

// The live windows by handle, so that a handle can be asked for its screen's resolution.
std::mutex g_windowsLock;
std::unordered_map<HWND, AppWindow*> g_windows;

// The resolution of the screen of a window; the primary screen's for a window that is not
// a widget. Asked on the UI thread, which owns the widgets.
int ScreenDpiOf(HWND hwnd) {
    AppWindow* window = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_windowsLock);
        const auto it = g_windows.find(hwnd);
        if (it == g_windows.end()) return 0;
        window = it->second;
    }
    if (const auto* widget = dynamic_cast<const QWidget*>(window)) return widget->logicalDpiY();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? int(screen->logicalDotsPerInchY() + 0.5) : kDefaultDpi;
}

}  // namespace

// The QObject that lives on the owner's thread: posted messages are queued to it as
// events, and it holds the Qt timers. Deleting it drops its queued events and timers.
class AppWindowBinding : public QObject {
public:
    explicit AppWindowBinding(AppWindow* owner) : m_owner(owner) {}

    unsigned Start(unsigned id, unsigned ms) {
        Stop(id);
        const int qtId = startTimer(int(ms), Qt::PreciseTimer);
        if (qtId == 0) return 0;
        m_byId[id] = qtId;
        m_byQtId[qtId] = id;
        return id;
    }

    bool Stop(unsigned id) {
        const auto it = m_byId.find(id);
        if (it == m_byId.end()) return false;
        killTimer(it->second);
        m_byQtId.erase(it->second);
        m_byId.erase(it);
        return true;
    }

    bool Running(unsigned id) const { return m_byId.count(id) != 0; }

protected:
    bool event(QEvent* e) override {
        if (e->type() == AppMessageEventType()) {
            const auto* m = static_cast<AppMessageEvent*>(e);
            m_owner->OnAppMessage(m->msg, m->wParam, m->lParam);
            return true;
        }
        return QObject::event(e);
    }

    void timerEvent(QTimerEvent* e) override {
        const auto it = m_byQtId.find(e->timerId());
        if (it != m_byQtId.end()) m_owner->OnTimer(it->second);
    }

private:
    AppWindow* const m_owner;
    std::unordered_map<unsigned, int> m_byId;    // caller's id -> Qt timer id
    std::unordered_map<int, unsigned> m_byQtId;  // Qt timer id -> caller's id
};

AppWindow::AppWindow() : m_binding(std::make_unique<AppWindowBinding>(this)) {
    AppWindowBinding* target = m_binding.get();
    // The sink runs on the posting thread; postEvent is thread-safe, and the binding
    // outlives the registration (the destructor unregisters first).
    m_hWnd = RegisterAppWindow([target](unsigned msg, WPARAM wParam, LPARAM lParam) {
        QCoreApplication::postEvent(target, new AppMessageEvent(msg, wParam, lParam));
    });
    std::lock_guard<std::mutex> guard(g_windowsLock);
    g_windows[m_hWnd] = this;
    SetWindowDpiProvider(&ScreenDpiOf);
}

AppWindow::~AppWindow() {
    {
        std::lock_guard<std::mutex> guard(g_windowsLock);
        g_windows.erase(m_hWnd);
    }
    UnregisterAppWindow(m_hWnd);
    m_binding.reset();
}

unsigned AppWindow::SetTimer(unsigned id, unsigned ms) {
    if (id == 0) return 0;
    return m_binding->Start(id, ms);
}

BOOL AppWindow::KillTimer(unsigned id) { return m_binding->Stop(id) ? TRUE : FALSE; }

BOOL AppWindow::IsTimerRunning(unsigned id) const { return m_binding->Running(id) ? TRUE : FALSE; }

void AppWindow::OnAppMessage(unsigned, WPARAM, LPARAM) {}

void AppWindow::OnTimer(unsigned) {}

}  // namespace orv
