// The real main window driven by the X server's own pointer (xdotool, through
// fixtures::XDesktop): a test is skipped where Qt does not run on an X server or the pointer
// tool is missing. Such suites run on an X server of their own (own-display.sh), with and
// without a window manager.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWidget>

#include <chrono>
#include <future>

#include "app/window/MainWindowFixture.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/XDesktop.h"

namespace orv {

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
};

}  // namespace orv
