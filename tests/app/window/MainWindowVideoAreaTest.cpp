// The video area with the real window on a small card: what a source that goes away (and
// perhaps comes back) leaves of the surfaces, the map and the volumes; a zoomed picture
// across a change of layout; the map page through the full-video view, in its own window
// or docked in the main window. Meant to run under an X server (Xvfb) as well as offscreen.
#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/window/MainWindowFixture.h"
#include "app/window/MainWindowParts.h"
#include "app/window/MovieFrameCheck.h"
#include "app/window/CsulvaneDlg.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/EventLoopWait.h"
#include "playback/ChannelFacade.h"
#include "ui/LogoDlg.h"
#include "ui/ScaleFonts.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// The logo pane, in the main window or in the map window.
CLogoDlg* LogoOf(const CsulvaneDlg& dlg) {
    if (CLogoDlg* logo = test::ChildPaneOf<CLogoDlg>(dlg)) return logo;
    return dlg.MapWindow() ? test::ChildPaneOf<CLogoDlg>(*dlg.MapWindow()) : nullptr;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    return fixtures::RunUntil(done, timeout);
}

// A card of two recordings: row 0 eight seconds long with its rear companion, row 1 shorter
// than two seconds (1.4 s at 15 frames a second, which the player always takes), without
// sound, which would lengthen it past its frames.
class VideoAreaFixture : public MainWindowFixture {
protected:
    static void SetUpTestSuite() {
        fixtures::DataBlock eightSeconds, brief;
        eightSeconds.records.resize(80);
        brief.records.resize(21);
        MakeCard({{80, 10, true, true, eightSeconds}, {21, 15, false, false, brief}});
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        std::error_code error;
        if (!std::filesystem::exists(CardFolder())) std::filesystem::rename(CardFolder() + ".away", CardFolder(), error);
    }
    // The map switched on and docked in the main window. No command of the window docks it:
    // the docked layout is reached only here, and every path of the window must undo it.
    void DockMap() {
        if (!dlg_->IsMapShown()) dlg_->OnCommand(ID_MAP_WINDOW);
        dlg_->DockMapPane(TRUE);
        ASSERT_FALSE(dlg_->IsMapInOwnWindow());
        ASSERT_EQ(LogoOf(*dlg_)->parentWidget(), dlg_.get());
        EXPECT_FALSE(dlg_->MapWindow()->isVisible());
    }
    RECT Layout(int mode, bool mapPane) const {
        const MainLayoutRects r = ComputeMainLayout(RECT{0, 0, dlg_->width(), dlg_->height()}, mode, g_fScale);
        return mapPane ? r.mapPane : r.front;
    }
    static QRect ToQ(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    // The map page and the logo pane in the map window, at their place in it.
    void ExpectMapInItsOwnWindow(const char* name) const {
        const QWidget* window = dlg_->MapWindow();
        EXPECT_TRUE(dlg_->IsMapInOwnWindow()) << name;
        EXPECT_EQ(LogoOf(*dlg_)->parentWidget(), window) << name;
        EXPECT_EQ(LogoOf(*dlg_)->geometry(), ToQ(MapPageInMapWindow(g_fScale))) << name;
        if (QWidget* page = dlg_->MapBridge()->GetHostWindow()) {
            EXPECT_EQ(page->parentWidget(), window) << name;
        }
    }
    // Both surfaces in the window, shown at their places in layout mode 0.
    void ExpectSurfacesInPlace(const char* name) const {
        EXPECT_EQ(dlg_->FrontSurface().parentWidget(), dlg_.get()) << name;
        EXPECT_TRUE(dlg_->FrontSurface().isVisible()) << name;
        EXPECT_EQ(dlg_->FrontSurface().geometry(), ToQ(Layout(LAYOUT_BESIDE_BROWSER, false))) << name;
        EXPECT_TRUE(dlg_->RearSurface().isVisible()) << name;
        EXPECT_EQ(dlg_->RearSurface().geometry(), ToQ(ComputeMainLayout(RECT{0, 0, dlg_->width(), dlg_->height()}, 0, g_fScale).rearSurface)) << name;
    }

};

TEST_F(VideoAreaFixture, SourceThatGoesAwayPutsTheVideoAreaBackAndPlaysOnWhenItReturns) {
    const struct {
        const char* name;
        int row;
        bool playing;
        bool back;      // the folder is back before the window hears of its loss
        bool reopened;  // the movie is opened afresh
    } cases[] = {
        {"long movie playing, folder back", 0, true, true, false},
        {"short movie held, folder back", 1, false, true, true},
        {"short movie playing, folder back", 1, true, true, true},
        {"long movie playing, folder gone", 0, true, false, false},
    };
    for (const auto& c : cases) {
        CsulvaneDlg& dlg = OpenRecording(c.row);
        DockMap();
        // Displaced as a snapshot leaves them while it saves, and channel 1 muted as a
        // slider press leaves it.
        dlg.ShowVideoAtNativeSize();
        if (c.playing) {
            dlg.OnCommand(ID_PLAY_PAUSE);
            // The short movie at a quarter of its speed, so that it is still playing when
            // its folder goes.
            if (c.reopened) SetChannelsSpeed(-4);
            ASSERT_TRUE(RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PLAYING && FrontFrame() >= 3; })) << c.name;
        }
        g_aPlayerDriverTable[0].SetVolume(g_aPlayChannel[0], 0);
        const std::uint64_t serial = dlg.Road().SelectionSerial();

        // The folder goes; the watcher sees it while the window serves no events.
        CMovieResource& watcher = dlg.Browser()->GetWatcher();
        std::filesystem::rename(CardFolder(), CardFolder() + ".away");
        for (int i = 0; i < 4000 && !watcher.IsLost(); ++i) std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(watcher.IsLost()) << c.name;
        if (c.back) std::filesystem::rename(CardFolder() + ".away", CardFolder());
        ASSERT_TRUE(RunUntil([&] { return c.back ? !watcher.IsLost() : dlg.RowCount() == 0; })) << c.name;

        ExpectMapInItsOwnWindow(c.name);
        ExpectSurfacesInPlace(c.name);
        if (!c.back) {
            EXPECT_FALSE(dlg.Road().DataLoaded()) << c.name;
            EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_CLOSED) << c.name;
            dlg.OnBtnClose();
            continue;
        }
        // Watched again: the folder going once more is reported.
        EXPECT_EQ(watcher.GetPath(), dlg.Browser()->GetSourcePath()) << c.name;
        EXPECT_EQ(dlg.Road().CurrentRow(), c.row) << c.name;
        if (c.reopened) {
            EXPECT_TRUE(RunUntil([&] { return dlg.Road().SelectionSerial() > serial && dlg.Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED; }))
                << c.name;
        } else {
            EXPECT_EQ(dlg.Road().SelectionSerial(), serial) << c.name;
            const int from = FrontFrame();
            EXPECT_TRUE(RunUntil([&] { return FrontFrame() >= from + 5; })) << c.name;
        }
        // A longer movie plays on; a short one reopened, or one held at a picture, stays
        // stopped.
        if (c.playing && !c.reopened) {
            EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING) << c.name;
        } else {
            EXPECT_TRUE(g_aPlayChannel[0].playState == PLAY_STOPPED || g_aPlayChannel[0].playState == PLAY_PAUSED) << c.name;
        }
        EXPECT_EQ(g_aPlayChannel[0].volume, dlg.Volume()) << c.name;
        EXPECT_EQ(g_aPlayChannel[1].volume, 0) << c.name;
        dlg.OnBtnClose();
    }
}

TEST_F(VideoAreaFixture, ZoomedPictureStaysZoomedAcrossAChangeOfLayout) {
    CsulvaneDlg& dlg = OpenRecording(0);
    dlg.SetLargeVideo(TRUE);
    const struct {
        int from, to;
    } cases[] = {{LAYOUT_BESIDE_BROWSER, LAYOUT_LARGE}, {LAYOUT_LARGE, LAYOUT_FULL_WIDTH}, {LAYOUT_FULL_WIDTH, LAYOUT_BESIDE_BROWSER}};
    for (const auto& c : cases) {
        dlg.LayoutForMode(c.from);
        const QSize before = dlg.FrontSurface().size();
        dlg.OnVideoClick(0, POINT{before.width() / 3, before.height() / 4});
        const sVIEWRECORD zoomed = dlg.View(0);
        ASSERT_GT(zoomed.zoomFactor, 1.0f) << c.from;

        dlg.LayoutForMode(c.to);
        const QSize after = dlg.FrontSurface().size();
        ASSERT_NE(after, before) << c.from << " to " << c.to;
        const sVIEWRECORD& view = dlg.View(0);
        EXPECT_EQ(view.zoomFactor, zoomed.zoomFactor) << c.from << " to " << c.to;
        // The same place of the picture: as far across the surface as before.
        EXPECT_NEAR(double(view.zoomCentreX) / after.width(), double(zoomed.zoomCentreX) / before.width(), 0.01) << c.from << " to " << c.to;
        EXPECT_NEAR(double(view.zoomCentreY) / after.height(), double(zoomed.zoomCentreY) / before.height(), 0.01) << c.from << " to " << c.to;
        EXPECT_NEAR(double(view.clickX) / after.width(), double(zoomed.clickX) / before.width(), 0.01) << c.from << " to " << c.to;
        // Leaving the large view puts an unzoomed picture back in the middle.
        dlg.SetLargeVideo(FALSE);
        EXPECT_EQ(dlg.View(0).zoomFactor, 1.0f);
        EXPECT_EQ(dlg.View(0).zoomCentreX, after.width() / 2);
        dlg.SetLargeVideo(TRUE);
    }
    // A layout pass in the same mode (a new size, a new scale) starts the view afresh.
    dlg.OnVideoClick(0, POINT{10, 10});
    dlg.LayoutForMode(LAYOUT_BESIDE_BROWSER);
    EXPECT_EQ(dlg.View(0).zoomFactor, 1.0f);
    dlg.OnBtnClose();
}

TEST_F(VideoAreaFixture, FullViewHidesTheMapAndLeavingItPutsThePageBack) {
    for (bool docked : {false, true}) {
        const char* name = docked ? "docked" : "own window";
        CsulvaneDlg& dlg = OpenRecording(0);
        if (!dlg.IsMapShown()) dlg.OnCommand(ID_MAP_WINDOW);
        if (docked) DockMap();
        ASSERT_TRUE(LogoOf(dlg)->isVisible() || dlg.MapBridge()->GetHostWindow()->isVisible()) << name;

        dlg.OnVideoDblClk(0);
        ASSERT_TRUE(dlg.IsFullView()) << name;
        EXPECT_FALSE(dlg.MapWindow()->isVisible()) << name;
        // Nothing of the map over the video that fills the window.
        const QRect window = dlg.rect();
        for (QWidget* pane : {static_cast<QWidget*>(LogoOf(dlg)), dlg.MapBridge()->GetHostWindow()}) {
            if (!pane || pane->parentWidget() != &dlg) continue;
            EXPECT_TRUE(!pane->isVisible() || !pane->geometry().intersects(window)) << name;
        }
        if (!docked) ExpectMapInItsOwnWindow(name);

        dlg.OnVideoDblClk(0);
        ASSERT_FALSE(dlg.IsFullView()) << name;
        const bool shown = LogoOf(dlg)->isVisible() ||
                           (dlg.MapBridge()->GetHostWindow() && dlg.MapBridge()->GetHostWindow()->isVisible());
        EXPECT_TRUE(shown) << name;
        if (docked) {
            EXPECT_FALSE(dlg.IsMapInOwnWindow()) << name;
            EXPECT_FALSE(dlg.MapWindow()->isVisible()) << name;
            EXPECT_EQ(LogoOf(dlg)->geometry(), ToQ(Layout(LAYOUT_BESIDE_BROWSER, true))) << name;
            // Where the map window lies when it is beside the video: over the rear picture.
            EXPECT_EQ(LogoOf(dlg)->geometry(), dlg.RearSurface().geometry()) << name;
        } else {
            EXPECT_TRUE(RunUntil([&] { return dlg.MapWindow()->isVisible(); })) << name;
            ExpectMapInItsOwnWindow(name);
        }
        dlg.OnBtnClose();
    }
}

TEST_F(VideoAreaFixture, DockedMapGoesBackIntoItsOwnWindow) {
    const struct {
        const char* name;
        std::function<void(CsulvaneDlg&)> act;
        bool windowShown;
    } ways[] = {
        {"a layout without the rear's place", [](CsulvaneDlg& d) { d.LayoutForMode(LAYOUT_LARGE); }, true},
        {"the map switched off", [](CsulvaneDlg& d) { d.OnCommand(ID_MAP_WINDOW); }, false},
    };
    for (const auto& way : ways) {
        CsulvaneDlg& dlg = OpenRecording(0);
        DockMap();
        way.act(dlg);
        ExpectMapInItsOwnWindow(way.name);
        EXPECT_EQ(dlg.MapWindow()->isVisible(), way.windowShown) << way.name;
        // Switched on again, the map shows in its own window.
        if (!dlg.IsMapShown()) dlg.OnCommand(ID_MAP_WINDOW);
        EXPECT_TRUE(RunUntil([&] { return dlg.MapWindow()->isVisible(); })) << way.name;
        dlg.OnBtnClose();
    }
}

}  // namespace
}  // namespace orv
