// The map window's title strip and close box, and the main window's caption, clicked by the
// X server's own pointer around the real main window, with a window manager (openbox) and
// without one: the strip drags the map window away and a double click on it puts the window
// back beside the video; the close box hides the map and unlatches its button; a double
// click on the main window's caption maximises it and a second one restores it. Runs on an
// X server of its own (own-display.sh), with and without openbox.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/commands/MainLayout.h"
#include "app/window/MainWindowParts.h"
#include "app/window/XPointerFixture.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr int kFps = 10;
constexpr int kFrames = 400;

std::string PointText(const QPoint& p) { return std::to_string(p.x()) + "," + std::to_string(p.y()); }

class MapStripFixture : public XPointerFixture {
protected:
    static void SetUpTestSuite() { MakeCard({{kFrames, kFps, true, true, fixtures::DataBlock{}}}); }

    // Where the map window stands beside the video: over the rear picture where the layout
    // has one, else at the front picture's right edge.
    static QPoint PlaceBesideVideo(CsulvaneDlg& dlg) {
        const RECT rear = ComputeMainLayout(RECT{0, 0, dlg.width(), dlg.height()}, dlg.LayoutMode(), g_fScale).rearSurface;
        if (rear.Width() > 0) return dlg.mapToGlobal(QPoint(rear.left, rear.top));
        const CMovieStatic& front = dlg.FrontSurface();
        const QPoint topRight = front.mapToGlobal(QPoint(front.width(), 0));
        return QPoint(topRight.x(), topRight.y() + front.height() + Scaled(10) - MapPaneSize(g_fScale).cy);
    }
};

TEST_F(MapStripFixture, TheMapsTitleStripDragsItAwayAndADoubleClickPutsItBack) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CMovieDialog& map = *dlg.MapWindow();
    CSkinButton& mapButton = *test::TransportButtonOf(dlg, BTN_MAP_WINDOW);
    ASSERT_TRUE(ClickAt(CentreOf(&mapButton)));
    ASSERT_TRUE(fixtures::RunUntil([&] { return OnScreen(&map) && mapButton.IsLatched(); }, 20s));
    const QPoint home = PlaceBesideVideo(dlg);
    ASSERT_TRUE(fixtures::RunUntil([&] { return map.pos() == home; }, 20s)) << PointText(map.pos()) << " not " << PointText(home);

    // The strip's top rows, which move the window by hand, and the caption band below them,
    // which a window manager moves it by.
    const struct {
        const char* name;
        int y;  // design pixels below the window's top edge
    } rows[] = {{"the caption band", 12}, {"the top rows", 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto strip = [&] { return map.mapToGlobal(QPoint(map.width() / 3, Scaled(row.y))); };
        const QPoint from = strip();
        const QPoint by(-240, 150);
        ASSERT_TRUE(Given(fixtures::XDesktop::Drag(from.x(), from.y(), from.x() + by.x(), from.y() + by.y())));
        // Where a window manager takes the move over, the window may lag the pointer a little.
        EXPECT_TRUE(fixtures::RunUntil([&] { return (map.pos() - home - by).manhattanLength() <= 64; }, 20s))
            << "at " << PointText(map.pos()) << " from " << PointText(home);
        const QPoint away = map.pos();

        ASSERT_TRUE(DoubleClickAt(strip()));
        EXPECT_TRUE(fixtures::RunUntil([&] { return map.pos() == home; }, 20s))
            << "at " << PointText(map.pos()) << " from " << PointText(away) << ", not back at " << PointText(home);
        EXPECT_TRUE(OnScreen(&map));
        EXPECT_TRUE(mapButton.IsLatched());
    }

    // The close box: the map goes off the screen and its button is released.
    CSkinButton* close = map.GetCloseButton();
    ASSERT_NE(close, nullptr);
    ASSERT_TRUE(ClickAt(CentreOf(close)));
    EXPECT_TRUE(fixtures::RunUntil([&] { return OffScreen(&map) && !mapButton.IsLatched() && !dlg.IsMapShown(); }, 20s))
        << "shown " << map.isVisible() << ", latched " << mapButton.IsLatched();
    dlg.OnBtnClose();
}

TEST_F(MapStripFixture, ADoubleClickOnTheCaptionMaximisesTheWindowAndAnotherRestoresIt) {
    CsulvaneDlg& dlg = OpenOnScreen();
    const QRect normal = dlg.geometry();
    const QRect work(work_.left, work_.top, work_.Width(), work_.Height());
    const struct {
        const char* name;
        bool maximised;
        QRect geometry;
    } steps[] = {{"maximised", true, work}, {"restored", false, normal}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(DoubleClickAt(CaptionPoint()));
        EXPECT_TRUE(fixtures::RunUntil(
            [&] { return bool(dlg.IsMaximised()) == step.maximised && dlg.geometry() == step.geometry; }, 20s))
            << "maximised " << dlg.IsMaximised() << " at " << PointText(dlg.pos()) << " " << dlg.width() << "x" << dlg.height();
    }
    dlg.OnBtnClose();
}

}  // namespace
}  // namespace orv
