// The gauge and map windows as the X server shows them around the real main window, with a
// window manager (openbox) and without one: after each thing a user does with the pointer
// (the buttons, a click on the caption, play, a move of the window, a close or a minimise
// from outside) every satellite window whose button is latched is on the screen above the
// main window, and every other one is off the screen. The stacking is read from the server,
// not from Qt. Runs on an X server of its own (own-display.sh), with and without openbox.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/commands/MainLayout.h"
#include "app/window/MainWindowParts.h"
#include "app/window/MovieFrameCheck.h"
#include "app/window/XPointerFixture.h"
#include "ui/ScaleFonts.h"
#include "views/ObdDlg.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr int kFps = 10;
constexpr int kFrames = 400;  // plays on through every step

class StackingFixture : public XPointerFixture {
protected:
    static void SetUpTestSuite() { MakeCard({{kFrames, kFps, true, true, fixtures::DataBlock{}}}); }
};

TEST_F(StackingFixture, SatelliteWindowsStayAboveTheMainWindowAndTheirButtonsSayWhatIsShown) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CObdDlg& gauges = *dlg.ObdWindow();
    CMovieDialog& map = *dlg.MapWindow();
    CSkinButton& gaugeButton = *test::TransportButtonOf(dlg, BTN_OBD_WINDOW);
    CSkinButton& mapButton = *test::TransportButtonOf(dlg, BTN_MAP_WINDOW);
    const std::uint32_t mainWindow = std::uint32_t(dlg.winId());
    const auto press = [](const QWidget* widget) { ASSERT_TRUE(ClickAt(CentreOf(widget))); };
    const struct Step {
        const char* name;
        std::function<void()> act;
        bool gaugesOn, mapOn;
        bool mainShown;
        Where where;
    } steps[] = {
        {"gauge button", [&] { press(&gaugeButton); }, true, false, true, kAlways},
        {"map button", [&] { press(&mapButton); }, true, true, true, kAlways},
        {"a click on the caption", [&] { ASSERT_TRUE(ClickAt(CaptionPoint())); }, true, true, true, kAlways},
        {"play",
         [&] {
             press(test::TransportButtonOf(dlg, BTN_PLAY_PAUSE));
             EXPECT_TRUE(fixtures::RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PLAYING; }, 20s));
         },
         true, true, true, kAlways},
        {"a move by the caption",
         [&] {
             const QPoint from = CaptionPoint(), before = dlg.pos();
             ASSERT_TRUE(Given(fixtures::XDesktop::Drag(from.x(), from.y(), from.x() + 160, from.y() + 96)));
             // A window manager takes the move over from the first step on: the window may lag
             // the pointer by the way it went before the program handed the move over.
             EXPECT_TRUE(fixtures::RunUntil([&] { return (dlg.pos() - before - QPoint(160, 96)).manhattanLength() <= 64; }, 20s))
                 << "moved by " << (dlg.pos() - before).x() << "," << (dlg.pos() - before).y();
         },
         true, true, true, kAlways},
        {"a click on the video", [&] { press(&dlg.FrontSurface()); }, true, true, true, kAlways},
        {"gauges closed by the window manager", [&] { desk_.AskToClose(std::uint32_t(gauges.winId())); }, false, true, true,
         kAlways},
        {"map closed by the window manager", [&] { desk_.AskToClose(std::uint32_t(map.winId())); }, false, false, true,
         kAlways},
        {"both buttons again", [&] { press(&gaugeButton); press(&mapButton); }, true, true, true, kAlways},
        // Openbox minimises a window together with the window that owns it: the main window
        // goes down too, and the buttons on it keep their state.
        {"the gauges minimised", [&] { desk_.AskToMinimise(std::uint32_t(gauges.winId())); }, true, true, false,
         kWithWindowManager},
        {"brought back from the task bar", [&] { desk_.Activate(mainWindow); }, true, true, true, kWithWindowManager},
        {"the minimise button", [&] { press(test::TitleButtonOf(dlg, 2)); }, true, true, false, kWithWindowManager},
        {"brought back again", [&] { desk_.Activate(mainWindow); }, true, true, true, kWithWindowManager},
        // Minimised alone (where nothing takes the main window down with it), the map is off
        // the screen: it is switched off.
        {"the map minimised alone", [&] { map.showMinimized(); }, true, false, true, kWithoutWindowManager},
        {"the map button once more", [&] { press(&mapButton); }, true, true, true, kWithoutWindowManager},
    };
    for (const Step& step : steps) {
        if (!RunsHere(step.where)) continue;
        SCOPED_TRACE(step.name);
        step.act();
        // What the server has on the screen, and what the buttons say.
        const auto agrees = [&] {
            if (desk_.Viewable(mainWindow) != step.mainShown || dlg.isMinimized() == step.mainShown) return false;
            const struct {
                QWidget* window;
                CSkinButton* button;
                bool on;
            } satellites[] = {{&gauges, &gaugeButton, step.gaugesOn}, {&map, &mapButton, step.mapOn}};
            for (const auto& s : satellites) {
                const std::uint32_t id = std::uint32_t(s.window->winId());
                if (s.button->IsLatched() != s.on || desk_.Viewable(id) != (s.on && step.mainShown)) return false;
                if (s.on && step.mainShown && !desk_.Above(id, mainWindow)) return false;
            }
            return true;
        };
        EXPECT_TRUE(fixtures::RunUntil(agrees, 20s))
            << "main shown " << desk_.Viewable(mainWindow) << "; gauges latched " << gaugeButton.IsLatched() << ", shown "
            << desk_.Viewable(std::uint32_t(gauges.winId())) << ", above " << desk_.Above(std::uint32_t(gauges.winId()), mainWindow)
            << "; map latched " << mapButton.IsLatched() << ", shown " << desk_.Viewable(std::uint32_t(map.winId()))
            << ", above " << desk_.Above(std::uint32_t(map.winId()), mainWindow);
        if (step.gaugesOn && step.mainShown) {
            // The gauges lie over the panes wherever the main window goes.
            const RECT r = ComputeMainLayout(RECT{0, 0, dlg.width(), dlg.height()}, dlg.LayoutMode(), g_fScale).gaugeWindow;
            const QPoint place = dlg.mapToGlobal(QPoint(r.left, r.top));
            EXPECT_TRUE(fixtures::RunUntil([&] { return gauges.pos() == place; }, 20s))
                << gauges.pos().x() << "," << gauges.pos().y() << " not " << place.x() << "," << place.y();
        }
    }
    dlg.OnBtnClose();
}

}  // namespace
}  // namespace orv
