#include <gtest/gtest.h>

#include <QApplication>

#include "app/surface/MovieStatic.h"

namespace orv {
namespace {

class RecordingOwner : public MovieSurfaceOwner {
public:
    void OnVideoClick(int surface, POINT point) override { clicks.push_back({surface, point}); }
    void OnVideoDblClk(int surface) override { doubleClicks.push_back(surface); }
    void OnVideoContextMenu(POINT, int surface) override { menus.push_back(surface); }
    void OnGraphNotify(WPARAM, LPARAM) override {}
    void OnMovieEnded(WPARAM, LPARAM) override { ++ended; }
    void OnPlayerReady(int channel, WPARAM, LPARAM) override { ready.push_back(channel); }
    bool IsChannelShowing(int) const override { return showing; }

    struct Click {
        int surface;
        POINT point;
    };
    std::vector<Click> clicks;
    std::vector<int> doubleClicks, menus, ready;
    int ended = 0;
    bool showing = true;
};

TEST(MovieStatic, SingleClickAfterTheTimerDoubleClickAlone) {
    RecordingOwner owner;
    CMovieStatic surface;
    surface.m_pOwner = &owner;
    surface.m_nIndex = 0;

    // A single click is reported by the press timer, with the press point.
    surface.OnLButtonDown(0, POINT{10, 20});
    surface.OnLButtonUp(0, POINT{12, 22});
    EXPECT_TRUE(owner.clicks.empty());
    surface.OnTimer(TIMER_CLICK_DOWN);
    surface.OnTimer(TIMER_CLICK_DOWN);  // reported once only
    surface.OnTimer(TIMER_CLICK_UP);
    ASSERT_EQ(owner.clicks.size(), 1u);
    EXPECT_EQ(owner.clicks[0].point, (POINT{10, 20}));

    // A double click kills both timers: no single click, one double click.
    surface.OnLButtonDown(0, POINT{1, 1});
    surface.OnLButtonUp(0, POINT{1, 1});
    surface.OnLButtonDblClk(0, POINT{1, 1});
    surface.OnLButtonUp(0, POINT{1, 1});
    EXPECT_FALSE(surface.IsTimerRunning(TIMER_CLICK_DOWN));
    EXPECT_EQ(owner.clicks.size(), 1u);
    EXPECT_EQ(owner.doubleClicks, std::vector<int>{0});

    // Without an owner, or with an index other than 0 or 1, nothing is reported.
    surface.m_nIndex = -1;
    surface.OnLButtonDown(0, POINT{1, 1});
    surface.OnTimer(TIMER_CLICK_DOWN);
    surface.OnContextMenu(POINT{});
    EXPECT_EQ(owner.clicks.size(), 1u);
    EXPECT_TRUE(owner.menus.empty());
}

TEST(MovieStatic, PlayerNoticesAndBlackPainting) {
    RecordingOwner owner;
    CMovieStatic front, rear;
    front.m_pOwner = rear.m_pOwner = &owner;
    front.m_nIndex = 0;
    rear.m_nIndex = 1;
    for (CMovieStatic* s : {&front, &rear}) {
        PostAppMessage(s->GetSafeHwnd(), WM_APP_PLAYER_ENDED, 0, 0);
        PostAppMessage(s->GetSafeHwnd(), WM_APP_PLAYER_READY, 0, 0);
    }
    QApplication::processEvents();
    EXPECT_EQ(owner.ended, 1);  // only the front surface's end moves playback on
    EXPECT_EQ(owner.ready, (std::vector<int>{0, 1}));

    EXPECT_FALSE(front.PaintsBlack());
    front.m_bPicture = FALSE;  // a snapshot in progress
    EXPECT_TRUE(front.PaintsBlack());
    front.m_bPicture = TRUE;
    owner.showing = false;
    EXPECT_TRUE(front.PaintsBlack());
}

}  // namespace
}  // namespace orv
