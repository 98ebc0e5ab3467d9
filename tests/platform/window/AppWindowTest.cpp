#include "platform/window/AppWindow.h"
#include "platform/base/WindowDpi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace orv {
namespace {

struct Delivery {
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
    bool onUiThread;
};

// What a window received; it outlives the window so that a test can look after the
// window is gone.
struct Log {
    std::vector<Delivery> messages;
    std::vector<unsigned> ticks;
};

class TestWindow : public QWidget, public AppWindow {
public:
    explicit TestWindow(std::shared_ptr<Log> log) : m_log(std::move(log)) {}
    std::function<void(TestWindow*, unsigned)> onTick;

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override {
        m_log->messages.push_back({msg, wParam, lParam, QThread::currentThread() == qApp->thread()});
    }
    void OnTimer(unsigned id) override {
        m_log->ticks.push_back(id);
        if (onTick) onTick(this, id);
    }

private:
    std::shared_ptr<Log> m_log;
};

// Runs the event loop until `done` holds; the bound only keeps a broken build from
// hanging and is never what a test checks.
void SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer guard;
    guard.start();
    while (!done() && guard.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(AppWindow, PostsFromAnotherThreadArriveOnTheUiThreadInOrder) {
    auto log = std::make_shared<Log>();
    TestWindow window(log);
    const HWND hwnd = window.GetSafeHwnd();
    ASSERT_NE(hwnd, 0u);

    std::thread worker([hwnd] {
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(PostAppMessage(hwnd, WM_APP_PROGRESS, WPARAM(i), LPARAM(-i)));
        EXPECT_TRUE(PostAppMessage(hwnd, WM_APP_JOB_DONE, 7, 8));
    });
    worker.join();
    EXPECT_TRUE(log->messages.empty());  // nothing is handled before the UI thread runs its loop

    SpinUntil([&] { return log->messages.size() == 4; });
    ASSERT_EQ(log->messages.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(log->messages[i].msg, unsigned(WM_APP_PROGRESS));
        EXPECT_EQ(log->messages[i].wParam, WPARAM(i));
        EXPECT_EQ(log->messages[i].lParam, LPARAM(-i));
        EXPECT_TRUE(log->messages[i].onUiThread);
    }
    EXPECT_EQ(log->messages[3].msg, unsigned(WM_APP_JOB_DONE));
}

TEST(AppWindow, NothingIsDeliveredAfterTheWindowIsDestroyed) {
    auto log = std::make_shared<Log>();
    auto window = std::make_unique<TestWindow>(log);
    const HWND hwnd = window->GetSafeHwnd();
    EXPECT_TRUE(PostAppMessage(hwnd, WM_APP_PROGRESS, 1, 0));  // queued, not yet handled
    window.reset();

    EXPECT_FALSE(PostAppMessage(hwnd, WM_APP_PROGRESS, 2, 0));
    Spin(50);
    EXPECT_TRUE(log->messages.empty());

    // A second window never gets the first one's handle.
    TestWindow other(log);
    EXPECT_NE(other.GetSafeHwnd(), hwnd);
}

TEST(AppWindow, DestroyingWhileAnotherThreadPostsIsHarmless) {
    auto log = std::make_shared<Log>();
    auto window = std::make_unique<TestWindow>(log);
    const HWND hwnd = window->GetSafeHwnd();
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        while (!stop) {
            if (!PostAppMessage(hwnd, WM_APP_PROGRESS, 0, 0)) ++refused;
        }
    });
    SpinUntil([&] { return log->messages.size() >= 10; });
    window.reset();
    const size_t delivered = log->messages.size();
    SpinUntil([&] { return refused > 0; });
    stop = true;
    worker.join();
    Spin(20);
    EXPECT_GT(refused.load(), 0);
    EXPECT_EQ(log->messages.size(), delivered);
}

TEST(AppWindow, TimersTickByTheirIdsUntilKilled) {
    auto log = std::make_shared<Log>();
    TestWindow window(log);
    EXPECT_EQ(window.SetTimer(1000, 5), 1000u);
    EXPECT_EQ(window.SetTimer(1002, 5), 1002u);
    EXPECT_TRUE(window.IsTimerRunning(1000));

    const auto count = [&](unsigned id) { return std::count(log->ticks.begin(), log->ticks.end(), id); };
    SpinUntil([&] { return count(1000) >= 2 && count(1002) >= 2; });
    EXPECT_GE(count(1000), 2);
    EXPECT_GE(count(1002), 2);
    EXPECT_EQ(count(1001), 0);

    EXPECT_TRUE(window.KillTimer(1000));
    EXPECT_FALSE(window.IsTimerRunning(1000));
    EXPECT_FALSE(window.KillTimer(1000));
    const auto before = count(1000);
    SpinUntil([&] { return count(1002) >= 6; });
    EXPECT_EQ(count(1000), before);

    EXPECT_EQ(window.SetTimer(0, 5), 0u);
    EXPECT_FALSE(window.KillTimer(4242));
}

TEST(AppWindow, SettingARunningTimerAgainReplacesIt) {
    auto log = std::make_shared<Log>();
    TestWindow window(log);
    window.SetTimer(101, 100000);  // would not tick during the test
    window.SetTimer(101, 5);       // replaces it with a fast one
    SpinUntil([&] { return log->ticks.size() >= 3; });
    EXPECT_GE(log->ticks.size(), 3u);
    EXPECT_TRUE(window.KillTimer(101));
    EXPECT_FALSE(window.KillTimer(101));  // only one timer had that id
}

TEST(AppWindow, ATimerKilledInItsHandlerTicksOnce) {
    auto log = std::make_shared<Log>();
    TestWindow window(log);
    window.onTick = [](TestWindow* w, unsigned id) { w->KillTimer(id); };
    window.SetTimer(101, 1);
    SpinUntil([&] { return !log->ticks.empty(); });
    Spin(30);
    EXPECT_EQ(log->ticks, std::vector<unsigned>{101});
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

class DpiWidget : public QWidget, public AppWindow {};

TEST(AppWindow, WindowDpiAsksTheWidgetsScreenWhileItLives) {
    HWND hwnd = 0;
    {
        DpiWidget widget;
        hwnd = widget.GetSafeHwnd();
        const auto dpi = WindowDpi(hwnd);
        ASSERT_TRUE(dpi);
        EXPECT_EQ(*dpi, widget.logicalDpiY());
    }
    EXPECT_FALSE(WindowDpi(hwnd));  // the window is gone
    EXPECT_FALSE(WindowDpi(0));
}

}  // namespace
}  // namespace orv
