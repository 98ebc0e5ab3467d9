// The main window's own frame, its settings window and its commands on the picture, with
// the real window: sizing by the bands with the outline, maximising onto the work area, a
// monitor with another work area, and the still images of both cameras on a small card.
// Meant to run under an X server (Xvfb) as well as offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "app/window/MainWindowParts.h"
#include "app/window/MainWindowFixture.h"
#include "app/window/MovieFrameCheck.h"
#include "app/update/UpdateDialogParts.h"
#include "app/commands/ControlRules.h"
#include "app/window/CsulvaneDlg.h"
#include "app/settings/SettingDlg.h"
#include "app/window/SourcePath.h"
#include "app/update/UpdateDialog.h"
#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/OccupiedName.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "recorder/CardLayout.h"
#include "recorder/RecordingName.h"
#include "ui/CommonUtil.h"
#include "ui/ResourceImage.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "ui/SkinCheckButton.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// The screen pixels that the scale outline covers while shown (its shape); empty while hidden.
QRegion CoveredRegion(const ScaleFrameWindow& outline) {
    return outline.isVisible() ? outline.mask().translated(outline.pos()) : QRegion();
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    return fixtures::RunUntil(done, timeout);
}

void Pause(std::chrono::milliseconds span) { fixtures::RunFor(span); }

RECT Area(int w, int h) { return RECT{0, 0, w, h}; }

// The window in a start folder without a source, on a monitor 1000 pixels high.
class WindowFixture : public MainWindowFixture {
protected:
    WindowFixture() { work_ = Area(1920, 1000); }
    void Mouse(QEvent::Type type, POINT local, Qt::MouseButtons buttons) {
        const QPoint at(local.x, local.y);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), QPointF(dlg_->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(dlg_.get(), &event);
    }
    // A drag with the left button from `from` to `to` (client points), the outline given
    // time to follow, then the release.
    void Drag(POINT from, POINT to) {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        Pause(120ms);
        Mouse(QEvent::MouseMove, to, Qt::LeftButton);
        Pause(120ms);
        Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    QSize WindowSize() const { return dlg_->geometry().size(); }
};

TEST(SourcePath, TrailingSlashesAndTheProgramsMedium) {
    const std::pair<const char*, const char*> trims[] = {
        {"/media/card/", "/media/card"}, {"/media/card//", "/media/card"}, {"/", "/"}, {"//", "/"}, {"", ""},
        {"/media/card", "/media/card"},
    };
    for (const auto& [in, out] : trims) EXPECT_EQ(TrimTrailingSlash(in), out) << in;

    fixtures::TempDir dir;
    const std::string file = dir.Path() + "/program";
    std::ofstream(file) << "x";
    const std::uint64_t device = MediumDevice(file);
    ASSERT_NE(device, 0u);
    EXPECT_FALSE(IsMediumGone(file, device));
    EXPECT_TRUE(IsMediumGone(file, device + 1));  // now on another medium
    EXPECT_FALSE(IsMediumGone(file, 0));          // never known: never gone
    std::filesystem::remove(file);
    EXPECT_TRUE(IsMediumGone(file, device));
}

TEST_F(WindowFixture, DraggedBandsShowTheOutlineAndResizeOnceAfterTheRelease) {
    CsulvaneDlg& dlg = Open();
    MoveToWorkArea(Area(1920, 1056));
    ASSERT_EQ(g_fScale, 1.0f);
    ASSERT_EQ(WindowSize(), QSize(1120, 697));
    dlg.move(100, 50);
    Pause(50ms);
    ASSERT_NE(dlg.ScaleFrame(), nullptr);

    // Hovering the bands shows which way they size.
    const std::pair<POINT, Qt::CursorShape> cursors[] = {
        {{1117, 300}, Qt::SizeHorCursor}, {{600, 694}, Qt::SizeVerCursor}, {{1117, 694}, Qt::SizeFDiagCursor},
        {{2, 694}, Qt::SizeBDiagCursor},  {{600, 300}, Qt::ArrowCursor},
    };
    for (const auto& [at, shape] : cursors) {
        Mouse(QEvent::MouseMove, at, Qt::NoButton);
        EXPECT_EQ(dlg.cursor().shape(), shape) << at.x << "," << at.y;
    }

    // The right edge: the outline follows the cursor, the window waits for the release.
    Mouse(QEvent::MouseButtonPress, {1117, 300}, Qt::LeftButton);
    EXPECT_TRUE(dlg.ScaleFrame()->isVisible());
    // Only its one-pixel frame shows.
    const QImage outline = dlg.ScaleFrame()->grab().toImage();
    EXPECT_EQ(outline.pixel(0, 300) & 0xFFFFFFu, qRgb(112, 93, 168) & 0xFFFFFFu);
    EXPECT_EQ(CoveredRegion(*dlg.ScaleFrame()), ScaleFrameWindow::FrameRegion(QSize(1120, 697)).translated(100, 50));
    Pause(120ms);
    Mouse(QEvent::MouseMove, {1400, 300}, Qt::LeftButton);
    EXPECT_EQ(dlg.ScaleFrame()->geometry(), QRect(100, 50, 1400, 697));
    EXPECT_EQ(WindowSize(), QSize(1120, 697));
    Mouse(QEvent::MouseButtonRelease, {1400, 300}, Qt::NoButton);
    EXPECT_FALSE(dlg.ScaleFrame()->isVisible());
    ASSERT_TRUE(RunUntil([&] { return WindowSize().width() == 1400; }));
    EXPECT_EQ(dlg.geometry().topLeft(), QPoint(100, 50));
    EXPECT_EQ(ReadIniString("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(ReadIniString("DISPLAY", "SCALEY"), "1.000000");
    EXPECT_EQ(dlg.Panes().innerWidth, 1400 - 12);
    // The video takes the extra room.
    EXPECT_EQ(dlg.FrontSurface().width(), dlg.Panes().videoWidth);

    // Below the design size the dragged edge stops at it; the other edge stays.
    struct Case {
        POINT from, to;
        QRect result;
    } cases[] = {
        {{1397, 300}, {500, 300}, QRect(100, 50, 1120, 697)},   // right edge, left stays
        {{2, 300}, {400, 300}, QRect(100, 50, 1120, 697)},       // left edge, right stays
        {{600, 694}, {600, 900}, QRect(100, 50, 1120, 900)},     // bottom edge to the cursor
    };
    for (const Case& c : cases) {
        Drag(c.from, c.to);
        EXPECT_TRUE(RunUntil([&] { return dlg.geometry() == c.result; })) << c.to.x << " " << dlg.geometry().width() << "x" << dlg.geometry().height();
    }

    // On a work area 1280 wide the largest scale is 2560 / 1120: a corner dragged far past
    // it stops at that size in both axes.
    MoveToWorkArea(Area(1280, 1056));
    EXPECT_FLOAT_EQ(dlg.MaxScale(), 2.2857144f);
    const QRect before = dlg.geometry();
    Drag({before.width() - 3, before.height() - 3}, {5000, 5000});
    ASSERT_TRUE(RunUntil([&] { return WindowSize() == QSize(2560, 1593); })) << WindowSize().width();
    EXPECT_FLOAT_EQ(dlg.WindowScaleX(), 2.2857144f);
    EXPECT_FLOAT_EQ(dlg.WindowScaleY(), 2.2857144f);
    EXPECT_EQ(ReadIniString("DISPLAY", "SCALEX"), "2.285714");

    // Nothing is sized while a job has the controls.
    dlg.EnableBrowserButtons(FALSE);
    const QSize locked = WindowSize();
    Drag({2, 300}, {300, 300});
    Pause(400ms);
    EXPECT_EQ(WindowSize(), locked);
    EXPECT_FALSE(dlg.ScaleFrame()->isVisible());
    dlg.EnableBrowserButtons(TRUE);
}

TEST_F(WindowFixture, CaptionMovesMaximisesAndRestores) {
    CsulvaneDlg& dlg = Open();
    MoveToWorkArea(Area(1920, 1056));
    dlg.move(100, 50);
    Pause(50ms);

    // The caption moves the window (by the window manager, or by itself without one).
    Mouse(QEvent::MouseButtonPress, {600, 10}, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {650, 30}, Qt::LeftButton);
    if (dlg.IsMoving()) {
        EXPECT_EQ(dlg.geometry().topLeft(), QPoint(150, 70));
    }
    Mouse(QEvent::MouseButtonRelease, {650, 30}, Qt::NoButton);
    const QRect normal = dlg.geometry();

    // A double click on the caption maximises onto the work area and back.
    Mouse(QEvent::MouseButtonDblClick, {600, 10}, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return dlg.IsMaximised() && dlg.geometry() == QRect(0, 0, 1920, 1056); }))
        << dlg.geometry().width() << "x" << dlg.geometry().height();
    EXPECT_EQ(test::TitleButtonOf(dlg, 1)->toolTip(), QString::fromUtf8("縮小"));
    EXPECT_FLOAT_EQ(dlg.WindowScaleX(), 1920.0f / 1120.0f);
    EXPECT_FLOAT_EQ(dlg.InfoPanel()->ExtraScale(), 1.15f);

    // A maximised window neither moves by its caption nor sizes by its bands.
    Mouse(QEvent::MouseButtonPress, {600, 10}, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {700, 200}, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {700, 200}, Qt::NoButton);
    Drag({1917, 500}, {1500, 500});
    Pause(400ms);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1920, 1056));

    // A panel that takes part of the screen: the maximised window docks to what is left.
    work_ = RECT{0, 0, 1920, 1016};
    dlg.OnAppBarNotify(1);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1920, 1016));

    dlg.OnCommand(IDC_BTN_MAXIMIZE);
    ASSERT_TRUE(RunUntil([&] { return !dlg.IsMaximised() && dlg.geometry() == normal; }))
        << dlg.geometry().x() << "," << dlg.geometry().y() << " " << dlg.geometry().width();
    EXPECT_EQ(test::TitleButtonOf(dlg, 1)->toolTip(), QString::fromUtf8("拡大"));
    EXPECT_FLOAT_EQ(dlg.InfoPanel()->ExtraScale(), 1.0f);

    // Closing while maximised stores the scales of the normal window.
    dlg.OnCommand(IDC_BTN_MAXIMIZE);
    ASSERT_TRUE(dlg.IsMaximised());
    dlg.CleanUp();
    EXPECT_EQ(ReadIniString("DISPLAY", "SCALEX"), "1.000000");
}

// The outline covers only its one-pixel frame: inside it the screen shows what lies below,
// also on an X server without a compositor, where a see-through window shows black.
TEST_F(WindowFixture, TheOutlineLeavesTheScreenInsideItVisible) {
    const struct {
        QSize size;
    } cases[] = {{QSize(1120, 697)}, {QSize(1400, 900)}, {QSize(3, 3)}, {QSize(1, 1)}};
    for (const auto& c : cases) {
        const QRegion frame = ScaleFrameWindow::FrameRegion(c.size);
        const QRect all(QPoint(0, 0), c.size);
        // Every pixel of the edges and no other.
        int area = 0;
        for (const QRect& r : frame) area += r.width() * r.height();
        const int edges = c.size.width() * c.size.height() -
                          std::max(0, c.size.width() - 2) * std::max(0, c.size.height() - 2);
        EXPECT_EQ(area, edges) << c.size.width();
        EXPECT_EQ(frame.boundingRect(), all) << c.size.width();
        if (c.size.width() > 2) {
            EXPECT_FALSE(frame.contains(QPoint(1, 1))) << c.size.width();
            EXPECT_FALSE(frame.contains(all.center())) << c.size.width();
        }
    }

    CsulvaneDlg& dlg = Open();
    MoveToWorkArea(Area(1920, 1056));
    dlg.move(100, 50);
    Pause(50ms);
    const QRect middle(400, 250, 300, 200);  // inside the outline, in screen pixels
    QScreen* screen = dlg.screen();
    const bool onScreen = QGuiApplication::platformName() == QLatin1String("xcb");
    auto grabMiddle = [&] {
        return screen->grabWindow(0, middle.x(), middle.y(), middle.width(), middle.height()).toImage();
    };
    // What the window shows there once it has settled.
    QImage below;
    if (onScreen) {
        ASSERT_TRUE(RunUntil([&] {
            const QImage now = grabMiddle();
            const bool settled = !below.isNull() && now == below;
            below = now;
            return settled;
        }));
    }
    Mouse(QEvent::MouseButtonPress, {1117, 300}, Qt::LeftButton);
    ScaleFrameWindow& outline = *dlg.ScaleFrame();
    ASSERT_TRUE(outline.isVisible());
    EXPECT_FALSE(CoveredRegion(outline).intersects(middle));
    EXPECT_EQ(CoveredRegion(outline), ScaleFrameWindow::FrameRegion(outline.size()).translated(outline.pos()));
    if (onScreen) {
        // The X server's own pixels: the frame in its colour, the middle as it was.
        const QRgb colour = qRgb(112, 93, 168);
        EXPECT_TRUE(RunUntil([&] {
            return (screen->grabWindow(0, 100, 300, 1, 1).toImage().pixel(0, 0) | 0xFF000000u) == colour;
        }));
        EXPECT_TRUE(RunUntil([&] { return grabMiddle() == below; }, 5s));
    }
    Mouse(QEvent::MouseButtonRelease, {1117, 300}, Qt::NoButton);
    EXPECT_TRUE(CoveredRegion(outline).isEmpty());
}

// Minimised from each state and brought back by the window system (as a click on the task
// bar does): the same state, size and button, and the state's own way out still leads back
// to where it came from.
TEST_F(WindowFixture, MinimiseAndRestoreBringBackTheStateBefore) {
    CsulvaneDlg& dlg = Open();
    MoveToWorkArea(Area(1920, 1056));
    const QString widen = QString::fromUtf8("拡大"), narrow = QString::fromUtf8("縮小");
    const struct Case {
        const char* name;
        bool maximise, fullView;
    } cases[] = {
        {"normal", false, false},
        {"maximised", true, false},
        {"full view", false, true},
        {"full view over a maximised window", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg.move(100, 50);
        ASSERT_TRUE(RunUntil([&] { return dlg.geometry() == QRect(100, 50, 1120, 697); }));
        const QRect normal = dlg.geometry();
        if (c.maximise) dlg.OnCommand(IDC_BTN_MAXIMIZE);
        const QRect beforeFullView = dlg.geometry();
        if (c.fullView) dlg.ApplyFullView(TRUE);
        dlg.OnCommand(ID_OBD_WINDOW);  // a satellite window open
        const bool obdShown = dlg.ObdWindow()->isVisible();
        const QRect before = dlg.geometry();
        ASSERT_EQ(bool(dlg.IsMaximised()), c.maximise);

        dlg.OnCommand(IDC_BTN_MINIMIZE);
        ASSERT_TRUE(RunUntil([&] { return dlg.isMinimized(); }));
        EXPECT_FALSE(dlg.IsMaximised());
        if (obdShown) {
            EXPECT_TRUE(dlg.ObdWindow()->isMinimized());
        }

        dlg.setWindowState(dlg.windowState() & ~Qt::WindowMinimized);
        ASSERT_TRUE(RunUntil([&] { return !dlg.isMinimized() && dlg.geometry() == before; }))
            << dlg.geometry().width() << "x" << dlg.geometry().height();
        EXPECT_EQ(bool(dlg.IsMaximised()), c.maximise);
        EXPECT_EQ(bool(dlg.IsFullView()), c.fullView);
        EXPECT_EQ(test::TitleButtonOf(dlg, 1)->toolTip(), c.maximise ? narrow : widen);
        EXPECT_EQ(dlg.ObdWindow()->isVisible(), obdShown);
        EXPECT_FALSE(dlg.ObdWindow()->isMinimized());
        dlg.OnCommand(ID_OBD_WINDOW);

        // Out of the full view, then out of the maximised state: the sizes before them.
        if (c.fullView) {
            dlg.ApplyFullView(FALSE);
            EXPECT_TRUE(RunUntil([&] { return dlg.geometry() == beforeFullView; }));
            EXPECT_EQ(bool(dlg.IsMaximised()), c.maximise);
        }
        if (c.maximise) {
            dlg.OnCommand(IDC_BTN_MAXIMIZE);
            EXPECT_TRUE(RunUntil([&] { return dlg.geometry() == normal; }))
                << dlg.geometry().width() << "x" << dlg.geometry().height();
            EXPECT_FALSE(dlg.IsMaximised());
            EXPECT_EQ(test::TitleButtonOf(dlg, 1)->toolTip(), widen);
        }
    }

    // Closed while down from the maximised state: the normal window's scales are stored.
    dlg.OnCommand(IDC_BTN_MAXIMIZE);
    dlg.OnCommand(IDC_BTN_MINIMIZE);
    ASSERT_TRUE(RunUntil([&] { return dlg.isMinimized(); }));
    dlg.CleanUp();
    EXPECT_EQ(ReadIniString("DISPLAY", "SCALEX"), "1.000000");
}

TEST_F(WindowFixture, AnotherWorkAreaRescalesTheWindowAndTheSettingsWindow) {
    CsulvaneDlg& dlg = Open();
    struct Case {
        RECT work;
        float scale;
        QSize window;
        QSize settings;
    } cases[] = {
        {Area(1920, 1584), 1.5f, QSize(1680, 1045), QSize(690, 472)},
        {Area(1920, 1056), 1.0f, QSize(1120, 697), QSize(460, 315)},
    };
    for (const Case& c : cases) {
        MoveToWorkArea(c.work);
        EXPECT_EQ(g_fScale, c.scale);
        ASSERT_NE(g_hFont10, nullptr);
        EXPECT_EQ(WindowSize(), c.window);
        dlg.OnCommand(ID_SETTINGS);
        EXPECT_TRUE(dlg.SettingWindow()->isVisible());
        EXPECT_EQ(dlg.SettingWindow()->size(), c.settings);
        // Centred on the monitor the main window is on.
        EXPECT_EQ(dlg.SettingWindow()->x(), (c.work.Width() - c.settings.width()) / 2);
        dlg.SettingWindow()->hide();
    }

    // Moved onto a second monitor with a taller work area: once the move has settled the
    // scale follows it.
    second_ = RECT{1920, 0, 3840, 1584};
    dlg.move(2000, 100);
    EXPECT_TRUE(RunUntil([] { return g_fScale == 1.5f; }));
    EXPECT_TRUE(RunUntil([&] { return WindowSize() == QSize(1680, 1045); }));
}

TEST_F(WindowFixture, TheUpdateNoticeFollowsAScaleChangeOfTheWindow) {
    CsulvaneDlg& dlg = Open();
    MoveToWorkArea(Area(1920, 1056));
    ASSERT_EQ(g_fScale, 1.0f);
    dlg.OnUpdateInfo();
    auto* notice = dynamic_cast<CUpdateDialog*>(dlg.UpdateDialog());
    ASSERT_NE(notice, nullptr);
    ASSERT_EQ(notice->size(), QSize(640, 480));
    const QPoint centre = notice->geometry().center();

    // On a work area of 1.5 times the height the notice is laid out as it opens at 1.5.
    MoveToWorkArea(Area(1920, 1584));
    ASSERT_EQ(g_fScale, 1.5f);
    EXPECT_EQ(notice->size(), QSize(960, 720));
    EXPECT_EQ(test::MessageOf(*notice)->geometry(), QRect(15, 45, 930, 600));
    EXPECT_EQ(test::CloseButtonOf(*notice)->geometry(), QRect(795, 660, 150, 45));
    EXPECT_EQ(QFontInfo(test::MessageOf(*notice)->font()).pixelSize(), QFontInfo(*g_hFont9).pixelSize());
    EXPECT_LE((notice->geometry().center() - centre).manhattanLength(), 2);  // rounding of odd halves
    MoveToWorkArea(Area(1920, 1056));
    EXPECT_EQ(notice->size(), QSize(640, 480));
}

TEST_F(WindowFixture, TheFullViewKeepsTheProgramsLoopRunning) {
    // The window's modal loop is the program's: going into the full view and back out must
    // not end it; only the close button does.
    CsulvaneDlg& dlg = Open();
    std::vector<BOOL> steps;
    bool closing = false;
    QTimer::singleShot(0, &dlg, [&] {
        dlg.ApplyFullView(TRUE);
        steps.push_back(dlg.IsFullView());
        QTimer::singleShot(50, &dlg, [&] {
            dlg.ApplyFullView(FALSE);
            steps.push_back(dlg.IsFullView());
            QTimer::singleShot(50, &dlg, [&] {
                closing = true;
                dlg.OnBtnClose();
            });
        });
    });
    dlg.exec();
    EXPECT_TRUE(closing);
    EXPECT_EQ(steps, (std::vector<BOOL>{TRUE, FALSE}));
}

TEST_F(WindowFixture, SettingsTogglesThumbnailAndTheLimitedModel) {
    CsulvaneDlg& dlg = Open();
    CSettingDlg& settings = *dlg.SettingWindow();
    // "速度超過" twice: the speeding markers go and come back.
    const int speeding = DetectorForEventFilter(3);
    for (BOOL expected : {FALSE, TRUE}) {
        settings.GetEventButton(3)->click();
        ASSERT_TRUE(RunUntil([&] { return test::ChildPaneOf<CGSensorDlg>(dlg)->Detectors()[std::size_t(speeding)].bShow == expected; }));
        EXPECT_EQ(test::ChildPaneOf<CGSensorDlg>(dlg)->Detectors()[std::size_t(speeding)].bList, expected);
    }

    // The thumbnail button says what it does and writes "1" then "0", switching the list's
    // preview with it.
    EXPECT_EQ(test::TitleButtonOf(dlg, BTN_TITLE_THUMBNAIL)->text(), QString::fromUtf8("ファイルサムネイル表示"));
    for (const char* expected : {"1", "0"}) {
        dlg.OnCommand(IDC_BTN_THUMBNAIL);
        EXPECT_EQ(ReadIniString("DISPLAY", "THUMBNAIL"), expected);
        EXPECT_EQ(bool(dlg.Browser()->GetList()->IsPreviewEnabled()), std::string(expected) == "1");
    }

    // The vehicle gauges open at the info panel and close again, their button latched with them.
    for (bool shown : {true, false}) {
        dlg.OnCommand(ID_OBD_WINDOW);
        EXPECT_EQ(dlg.ObdWindow()->isVisible(), shown);
        EXPECT_EQ(bool(test::TransportButtonOf(dlg, BTN_OBD_WINDOW)->IsLatched()), shown);
    }

    // The limited model: drive support, speeding, speed camera and radar are off and locked.
    g_bLimitedModel = TRUE;
    dlg.ApplyModelLimits();
    for (int i = 0; i < kEventCheckCount; ++i) {
        const bool limited = i == 0 || i == 3 || i == 4 || i == 5;
        EXPECT_EQ(settings.GetEventButton(i)->isEnabled(), !limited) << i;
        EXPECT_EQ(bool(settings.IsEventChecked(i)), !limited) << i;
    }
}

// The settings window's event boxes and the event filters of the graph and the map agree
// through every source change: a normal card keeps the user's choices, the limited model
// clears and locks four boxes, and a normal card after it gives the choices back.
TEST_F(WindowFixture, EventBoxesAndFiltersAgreeThroughSourceChanges) {
    auto makeCard = [&](const std::string& name, bool limited) {
        fixtures::CardBuilder builder(dir_.Path() + "/" + name);
        builder.MakeLayoutFolders(0);
        if (limited) builder.AddFile("KM5E_download.url", {'[', ']'});
        return builder.Root();
    };
    const std::string normal = makeCard("normal", false);
    const std::string limited = makeCard("limited", true);
    CsulvaneDlg& dlg = Open();
    CSettingDlg& settings = *dlg.SettingWindow();

    struct Step {
        const char* name;
        std::function<void()> act;
        std::array<bool, kEventCheckCount> checked;
        bool locked;  // drive support, speeding, speed camera and radar
    };
    const Step steps[] = {
        {"speeding cleared by the user", [&] { settings.GetEventButton(3)->click(); }, {1, 1, 1, 0, 1, 1}, false},
        {"a normal card", [&] { dlg.OpenChosenSource(SOURCE_SD, normal); }, {1, 1, 1, 0, 1, 1}, false},
        {"the limited model", [&] { dlg.OpenChosenSource(SOURCE_SD, limited); }, {0, 1, 1, 0, 0, 0}, true},
        {"a normal card again", [&] { dlg.OpenChosenSource(SOURCE_SD, normal); }, {1, 1, 1, 0, 1, 1}, false},
    };
    for (const Step& step : steps) {
        step.act();
        // A click reaches the window as a posted message; a source change acts at once.
        ASSERT_TRUE(RunUntil([&] {
            const int speeding = DetectorForEventFilter(3);
            return bool(test::ChildPaneOf<CGSensorDlg>(dlg)->Detectors()[std::size_t(speeding)].bShow) == step.checked[3];
        })) << step.name;
        EXPECT_EQ(bool(g_bLimitedModel), step.locked) << step.name;
        for (int i = 0; i < kEventCheckCount; ++i) {
            const sEVENTDETECTOR& detector = test::ChildPaneOf<CGSensorDlg>(dlg)->Detectors()[std::size_t(DetectorForEventFilter(i))];
            const bool lockable = i == 0 || i == 3 || i == 4 || i == 5;
            EXPECT_EQ(bool(settings.IsEventChecked(i)), step.checked[std::size_t(i)]) << step.name << " box " << i;
            EXPECT_EQ(bool(detector.bShow), step.checked[std::size_t(i)]) << step.name << " box " << i;
            EXPECT_EQ(bool(detector.bList), step.checked[std::size_t(i)]) << step.name << " box " << i;
            EXPECT_EQ(settings.GetEventButton(i)->isEnabled(), !(lockable && step.locked)) << step.name << " box " << i;
        }
    }
}

// ---- a small card: the still images and the view commands --------------------------------

constexpr int kFps = 10;
constexpr int kFrames = 1300;  // long enough for frame 1234

class SnapshotFixture : public WindowFixture {
protected:
    static void SetUpTestSuite() {
        fixtures::DataBlock block;
        for (int k = 0; k < kFrames; ++k) {
            fixtures::RawRecord r;
            r.speed = fixtures::SpeedText(40);
            block.records.push_back(r);
        }
        MakeCard({{kFrames, kFps, true, true, block}});
    }
    void SetUp() override {
        WindowFixture::SetUp();
        SetMonitorListProvider(nullptr);
    }
    // The window with the card's recording open and paused at `frame`.
    CsulvaneDlg& OpenAt(int frame) {
        CsulvaneDlg& dlg = OpenRecording();
        dlg.SeekToFrame(frame, PLAY_PAUSED);
        EXPECT_TRUE(RunUntil([&] { return FrontFrame() == frame; }));
        Pause(200ms);
        return dlg;
    }
    static QImage Decode(const std::string& movie, int frame) { return DecodeMovieFrame(movie, frame); }
};

TEST_F(SnapshotFixture, BothCamerasAreSavedAtTheirSizeWithTheFrameOnScreen) {
    const std::string pictures = dir_.Path() + "/pictures";
    std::filesystem::create_directories(pictures);
    std::string folder;  // what the folder dialog answers
    SetFolderPicker([&](QWidget*, std::string_view, const std::string&) { return folder; });
    CsulvaneDlg& dlg = OpenAt(1234);
    const PlayState state = g_aPlayChannel[0].playState;
    const std::string front = pictures + "/220101-120000-M-001234.jpg";
    const std::string rear = pictures + "/220101-120000-S-001234.jpg";

    // Cancelled: nothing is written, not even the folder.
    dlg.OnCommand(ID_SNAPSHOT);
    EXPECT_FALSE(std::filesystem::exists(front));
    EXPECT_EQ(ReadIniString("FOLDERPATH", "SNAPSHOT_FOLDER"), "");

    folder = pictures;
    dlg.OnCommand(ID_SNAPSHOT);
    ASSERT_EQ(messages_, std::vector<QString>{QString::fromUtf8("完了しました。")});
    EXPECT_EQ(ReadIniString("FOLDERPATH", "SNAPSHOT_FOLDER"), pictures);
    EXPECT_EQ(g_aPlayChannel[0].playState, state);
    EXPECT_TRUE(dlg.FrontSurface().isVisible());
    EXPECT_TRUE(dlg.FrontSurface().m_bPicture);

    const std::pair<std::string, std::string> saved[] = {{front, FrontMovie(1)}, {rear, RearMovie(1)}};
    for (const auto& [picture, movie] : saved) {
        const QImage image = QImage(QString::fromStdString(picture)).convertToFormat(QImage::Format_RGB32);
        const QImage wanted = Decode(movie, 1234);
        ASSERT_FALSE(wanted.isNull());
        EXPECT_EQ(image.size(), wanted.size()) << picture;
        // The frame on screen, not one of its neighbours.
        const double same = MeanDifference(image, wanted);
        EXPECT_LT(same, 6.0) << picture;
        EXPECT_LT(same, MeanDifference(image, Decode(movie, 1239))) << picture;
    }

    // Again: the question covers both files; refused, neither is touched.
    std::filesystem::remove(front);
    const auto rearTime = std::filesystem::last_write_time(rear);
    messages_.clear();
    answer_ = IDCANCEL;
    dlg.OnCommand(ID_SNAPSHOT);
    EXPECT_EQ(messages_, std::vector<QString>{QString::fromUtf8("同名のファイルが存在します。続行しますか？")});
    EXPECT_FALSE(std::filesystem::exists(front));
    EXPECT_EQ(std::filesystem::last_write_time(rear), rearTime);
}

// A link, FIFO or device of a picture's name is refused with the save failure before any
// question; a second hard link of a recording is a regular file: after the question it is
// replaced by name, and the recording keeps its bytes.
TEST_F(SnapshotFixture, PicturesNeverGoThroughWhatHoldsTheirName) {
    using fixtures::Occupant;
    const std::string pictures = dir_.Path() + "/pictures";
    std::filesystem::create_directories(pictures);
    SetFolderPicker([&](QWidget*, std::string_view, const std::string&) { return pictures; });
    CsulvaneDlg& dlg = OpenAt(1234);
    const std::string front = pictures + "/220101-120000-M-001234.jpg";
    const std::string rear = pictures + "/220101-120000-S-001234.jpg";
    const QString failed = QString::fromUtf8("画像の保存に失敗しました。");
    const QString asked = QString::fromUtf8("同名のファイルが存在します。続行しますか？");
    const QString done = QString::fromUtf8("完了しました。");
    const struct {
        Occupant occupant;
        std::vector<QString> messages;
        bool saved;
    } cases[] = {
        {Occupant::kSymlink, {failed}, false},
        {Occupant::kDanglingLink, {failed}, false},
        {Occupant::kFifo, {failed}, false},
        {Occupant::kHardLink, {asked, done}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fixtures::OccupantName(c.occupant));
        std::filesystem::remove(front);
        std::filesystem::remove(rear);
        fixtures::OccupiedName occupied(c.occupant, front,
                                        pictures + "/recording-" + fixtures::OccupantName(c.occupant) + ".MOV");
        ASSERT_TRUE(occupied.Ready());
        messages_.clear();
        answer_ = IDOK;
        dlg.OnCommand(ID_SNAPSHOT);
        EXPECT_EQ(messages_, c.messages);
        EXPECT_EQ(occupied.Harm(), "");
        EXPECT_EQ(occupied.StillThere(), !c.saved);
        EXPECT_EQ(std::filesystem::exists(rear), c.saved);
        if (c.saved) {
            EXPECT_EQ(QImage(QString::fromStdString(front)).size(), QSize(320, 180));
        }
    }
}

// A picture of a channel with a movie open that is not saved (a full disk) makes the
// snapshot a failure; the rear is saved only behind the front, so an older pair of pictures
// of the same names is never left half replaced by a new rear. The rear of a recording
// without a rear movie owes no picture.
TEST_F(SnapshotFixture, APictureNotSavedIsAFailureAndNoOldFrontStaysBesideANewRear) {
    const std::string pictures = dir_.Path() + "/pictures";
    std::filesystem::create_directories(pictures);
    SetFolderPicker([&](QWidget*, std::string_view, const std::string&) { return pictures; });
    const std::string front = pictures + "/220101-120000-M-001234.jpg";
    const std::string rear = pictures + "/220101-120000-S-001234.jpg";
    const QString failed = QString::fromUtf8("画像の保存に失敗しました。");
    const QString asked = QString::fromUtf8("同名のファイルが存在します。続行しますか？");
    const QString done = QString::fromUtf8("完了しました。");
    using Save = int (*)(sPLAYCHANNEL&, const std::string&);
    static const Save kFull = [](sPLAYCHANNEL&, const std::string&) { return 0; };
    const struct {
        const char* name;
        bool withRear;    // the recording's rear movie is on the card
        int failing;      // the channel whose save fails as on a full disk; -1 none
        bool oldPictures; // an earlier snapshot of the same names is there
        std::vector<QString> messages;
        bool frontNew, rearNew;  // the picture is this snapshot's
        bool folderStored;
    } rows[] = {
        {"the front not saved", true, 0, true, {asked, failed}, false, false, false},
        {"the rear not saved", true, 1, false, {failed}, true, false, true},
        {"no rear movie", false, -1, false, {done}, true, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // The rear movie is moved aside while the recording opens without it.
        const std::string rearMovie = CompanionFileName(CardMovie(1)), aside = card_->Path() + "/rear-aside.mp4";
        if (!row.withRear) {
            std::filesystem::rename(rearMovie, aside);
        }
        dlg_.reset();
        CsulvaneDlg& dlg = OpenAt(1234);
        if (!row.withRear) {
            std::filesystem::rename(aside, rearMovie);
        }
        EXPECT_EQ(g_aPlayChannel[1].playState != PLAY_CLOSED, row.withRear);
        for (const auto& entry : std::filesystem::directory_iterator(pictures)) std::filesystem::remove(entry.path());
        const std::string old = "an earlier snapshot";
        if (row.oldPictures) {
            std::ofstream(front) << old;
            std::ofstream(rear) << old;
        }
        WriteIniString("FOLDERPATH", "SNAPSHOT_FOLDER", "");
        const Save kept = row.failing >= 0 ? g_aPlayerDriverTable[row.failing].SaveSnapshot : nullptr;
        if (row.failing >= 0) {
            g_aPlayerDriverTable[row.failing].SaveSnapshot = kFull;
        }
        messages_.clear();
        answer_ = IDOK;
        dlg.OnCommand(ID_SNAPSHOT);
        if (row.failing >= 0) {
            g_aPlayerDriverTable[row.failing].SaveSnapshot = kept;
        }

        EXPECT_EQ(messages_, row.messages);
        const auto isNew = [&](const std::string& picture) { return !QImage(QString::fromStdString(picture)).isNull(); };
        EXPECT_EQ(isNew(front), row.frontNew);
        EXPECT_EQ(isNew(rear), row.rearNew);
        for (const std::string& picture : {front, rear}) {
            if (row.oldPictures && !isNew(picture)) {
                std::ifstream in(picture);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old) << picture;
            }
            if (!row.oldPictures && !isNew(picture)) {
                EXPECT_FALSE(std::filesystem::exists(picture)) << picture;
            }
        }
        EXPECT_EQ(ReadIniString("FOLDERPATH", "SNAPSHOT_FOLDER"), row.folderStored ? pictures : "");
        EXPECT_TRUE(dlg.FrontSurface().isVisible());
        EXPECT_TRUE(dlg.FrontSurface().m_bPicture);
    }
}

TEST_F(SnapshotFixture, KeepAspectLargeVideoAndFiltersThatEmptyTheList) {
    CsulvaneDlg& dlg = OpenAt(20);
    // Keep aspect toggles the channels and the settings file each time.
    const int keep = g_aPlayChannel[0].keepAspect;
    for (int expected : {1 - keep, keep}) {
        dlg.OnCommand(ID_KEEP_ASPECT);
        EXPECT_EQ(ReadIniString("DISPLAY", "ASPECT"), expected ? "on" : "off");
        EXPECT_EQ(g_aPlayChannel[0].keepAspect, expected);
    }
    // While playing, faster and slower step the speed of both channels and back.
    dlg.OnCommand(ID_PLAY_PAUSE);
    ASSERT_TRUE(RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PLAYING; }));
    const int normal = g_aPlayChannel[0].speedStep;
    dlg.OnCommand(ID_PLAY_FAST);
    EXPECT_GT(g_aPlayChannel[0].speedStep, normal);
    dlg.OnCommand(ID_PLAY_SLOW);
    EXPECT_EQ(g_aPlayChannel[0].speedStep, normal);
    dlg.OnCommand(ID_PLAY_PAUSE);
    // The volume is kept in the settings file.
    dlg.SetVolume(1234);
    EXPECT_EQ(ReadIniString("DISPLAY", "VOLUME"), "1234");
    // The large-video view and its latched button.
    for (BOOL on : {TRUE, FALSE}) {
        dlg.OnCommand(ID_VIEW_LARGE_VIDEO);
        EXPECT_EQ(dlg.FrontSurface().m_bLargeVideo, on);
        EXPECT_EQ(test::TransportButtonOf(dlg, BTN_VIEW_LARGE_VIDEO)->IsLatched(), on);
    }
    // Only kinds 0..6 are filters; switching off the recording's kind empties the list and
    // closes both channels.
    dlg.OnFilterButton(7);
    dlg.OnFilterButton(-1);
    ASSERT_EQ(dlg.RowCount(), 1);
    const int kind = int(GetRecordingKind(dlg.Browser()->GetList()->EntryAt(0)->path));
    ASSERT_GE(kind, 0);
    dlg.OnCommand(ID_FILTER_FIRST + kind);
    EXPECT_TRUE(dlg.RowCount() == 0);
    EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_CLOSED);
    EXPECT_FALSE(dlg.Road().DataLoaded());
    EXPECT_FALSE(test::TransportButtonOf(dlg, BTN_SNAPSHOT)->isEnabled());
    dlg.OnCommand(ID_FILTER_FIRST + kind);
    EXPECT_EQ(dlg.RowCount(), 1);
}

TEST_F(SnapshotFixture, CancelledSourceDialogKeepsTheListAndALostCardOnlyClearsTheViews) {
    CsulvaneDlg& dlg = OpenAt(10);
    dlg.SetRunSourceDialog([](QDialog&) { return false; });
    dlg.OnCommand(ID_OPEN_SOURCE);
    EXPECT_EQ(dlg.RowCount(), 1);
    EXPECT_TRUE(dlg.Road().DataLoaded());

    // A chosen folder that is not there is refused with its message; a trailing '/' is
    // dropped from one that is.
    const std::uint64_t serial = dlg.Road().SelectionSerial();
    EXPECT_FALSE(dlg.OpenChosenSource(SOURCE_FOLDER, dir_.Path() + "/nowhere"));
    EXPECT_EQ(messages_, std::vector<QString>{QString::fromUtf8("動画のオープンに失敗しました。")});
    EXPECT_TRUE(dlg.OpenChosenSource(SOURCE_FOLDER, card_->Path() + "/card/"));
    EXPECT_EQ(dlg.Browser()->GetSourcePath().back(), 'd');
    // The new source's first row is a new selection: the count goes on across sources, so
    // that a late data load of the earlier source is still told apart.
    EXPECT_TRUE(RunUntil([&] { return dlg.Road().SelectionSerial() > serial; }));

    // The source goes away while the program's own medium stays: the views are cleared
    // and the window goes on.
    dlg.OnSourceLost();
    EXPECT_FALSE(dlg.Road().DataLoaded());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.IsInitFailed());
}

}  // namespace
}  // namespace orv
