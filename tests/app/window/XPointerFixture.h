// The real main window driven by the X server's own pointer (xdotool, through
// fixtures::XDesktop): a test is skipped where Qt does not run on an X server or the pointer
// tool is missing. Such suites run on an X server of their own (own-display.sh), with and
// without a window manager.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStyleHints>
#include <QWidget>

#include <chrono>
#include <future>

#include "app/window/MainWindowFixture.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/XDesktop.h"

namespace orv {

// A double click given through the X server is two clicks from a tool of its own, which a busy
// machine may hold up between them past a desktop's double-click time: the suites that
// double-click through the server take a long one while they run. Nothing in them waits for a
// click's time: the effect of a single click on the picture, told one double-click time after
// its press, is waited for as a condition like every other.
class LongDoubleClickTime {
public:
    static constexpr int kMs = 1500;
    LongDoubleClickTime() : m_old(QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(kMs);
    }
    ~LongDoubleClickTime() { QGuiApplication::styleHints()->setMouseDoubleClickInterval(m_old); }
    LongDoubleClickTime(const LongDoubleClickTime&) = delete;
    LongDoubleClickTime& operator=(const LongDoubleClickTime&) = delete;

private:
    int m_old;
};

class XPointerFixture : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        if (IsSkipped()) return;
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
        if (!desk_.Ready() || !fixtures::XDesktop::HavePointerTool()) GTEST_SKIP() << "needs the X server and xdotool";
    }

    // Pointer input, with the window's events served while it goes on: whether it was given.
    static bool Given(std::future<bool> input) { return fixtures::RunUntilDone(std::move(input), std::chrono::seconds(60)); }
    static QPoint CentreOf(const QWidget* widget) { return widget->mapToGlobal(widget->rect().center()); }

    fixtures::XDesktop desk_;
    LongDoubleClickTime doubleClicks_;
};

}  // namespace orv
