// The real main window driven by the X server's own pointer (xdotool, through
// fixtures::XDesktop): a test is skipped where Qt does not run on an X server or the pointer
// tool is missing. Such suites run on an X server of their own (own-display.sh), with and
// without a window manager.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/window/MainWindowFixture.h"
#include "app/window/MainWindowParts.h"
#include "filer/FileListCtrl.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/XDesktop.h"
#include "ui/Scaled.h"
#include "ui/text/UiText.h"

namespace orv {

// A text of the program's own, as its windows show it.
inline QString UiString(int id) { return QString::fromUtf8(UiText(id)); }

// The whole of a file; "" when it cannot be read.
inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Where a row of a table runs: what some inputs do depends on whether a window manager runs.
enum Where { kAlways, kWithWindowManager, kWithoutWindowManager };

// A double click given through the X server is two clicks from a tool of its own, which a busy
// machine may hold up between them past a desktop's double-click time: the suites driven
// through the server take a long one while they run. Nothing in them waits for a
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

// Notes each modal dialog that comes up while it runs and closes it as its cancel would, in
// whatever event loop runs meanwhile: a command is seen to open its dialog, whose own buttons
// are tested on their own.
class ModalCloser {
public:
    ModalCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            seen_.push_back({&typeid(*dialog), dialog->windowTitle()});
            dialog->reject();
        });
        timer_.start(50);
    }
    void Forget() { seen_.clear(); }
    // A dialog of type Dialog came up, with the title of UI text `title` (any for -1).
    template <class Dialog>
    bool Saw(int title = -1) const {
        for (const Seen& s : seen_)
            if (*s.type == typeid(Dialog) && (title < 0 || s.title == UiString(title))) return true;
        return false;
    }
    std::string Titles() const {
        std::string titles;
        for (const Seen& s : seen_) titles += "\"" + s.title.toStdString() + "\" ";
        return titles;
    }

private:
    struct Seen {
        const std::type_info* type;
        QString title;
    };
    QTimer timer_;
    std::vector<Seen> seen_;
};

class XPointerFixture : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        if (IsSkipped()) return;
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
        if (!desk_.Ready() || !fixtures::XDesktop::HavePointerTool()) GTEST_SKIP() << "needs the X server and xdotool";
    }

    // Pointer or key input, with the window's events served while it goes on: whether it was given.
    static bool Given(std::future<bool> input) { return fixtures::RunUntilDone(std::move(input), std::chrono::seconds(60)); }
    static bool ClickAt(QPoint at) { return Given(fixtures::XDesktop::Click(at.x(), at.y())); }
    static bool DoubleClickAt(QPoint at) { return Given(fixtures::XDesktop::DoubleClick(at.x(), at.y())); }
    static QPoint CentreOf(const QWidget* widget) { return widget->mapToGlobal(widget->rect().center()); }

    bool RunsHere(Where where) const {
        return where == kAlways || (where == kWithWindowManager) == desk_.WindowManager();
    }

    // The window with its first recording open and on the server's screen, the map and gauge
    // windows off.
    CsulvaneDlg& OpenOnScreen() {
        CsulvaneDlg& dlg = OpenRecording();
        EXPECT_TRUE(fixtures::RunUntil([&] { return desk_.Viewable(std::uint32_t(dlg.winId())); }, std::chrono::seconds(20)));
        HideSatellites(dlg);
        return dlg;
    }
    static void HideSatellites(CsulvaneDlg& dlg) {
        if (dlg.IsMapShown()) dlg.OnCommand(ID_MAP_WINDOW);
        if (test::TransportButtonOf(dlg, BTN_OBD_WINDOW)->IsLatched()) dlg.OnCommand(ID_OBD_WINDOW);
    }

    // Qt and the X server agree that the window is on the screen; or that it is off it.
    bool OnScreen(const QWidget* window) const { return window->isVisible() && desk_.Viewable(std::uint32_t(window->winId())); }
    bool OffScreen(const QWidget* window) const { return !window->isVisible() && !desk_.Viewable(std::uint32_t(window->winId())); }

    // A point of the main window's caption strip clear of the title and of the title-bar buttons.
    QPoint CaptionPoint() const { return dlg_->mapToGlobal(QPoint(dlg_->width() / 3, Scaled(12))); }

    // No dialog up, no movie opening or job running, the movie's data in, the controls taking input.
    bool Settled() const {
        const CSkinButton* source = test::TransportButtonOf(*dlg_, BTN_OPEN_SOURCE);
        return !QApplication::activeModalWidget() && !dlg_->Road().Busy() && dlg_->Road().DataLoaded() &&
               g_aPlayChannel[0].playState != PLAY_CLOSED && source && source->isEnabled() &&
               dlg_->Browser()->GetList()->isEnabled();
    }

    // The middle of the list's row `row` on the screen, found when the input comes.
    std::function<QPoint()> RowPoint(int row) const {
        return [this, row] {
            const CFileListCtrl& list = *dlg_->Browser()->GetList();
            const RECT b = list.GetItemBounds(row);
            return list.viewport()->mapToGlobal(QPoint((b.left + b.right) / 2, (b.top + b.bottom) / 2));
        };
    }

    static std::string SettingsText() { return FileText(SettingsFilePath()); }

    fixtures::XDesktop desk_;
    LongDoubleClickTime doubleClicks_;
};

}  // namespace orv
