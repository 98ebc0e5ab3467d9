#include <gtest/gtest.h>

#include "app/MainLayout.h"

namespace orv {
namespace {

RECT Client(float scale) { return RECT{0, 0, ScaleTerm(kDesignWidth, scale), ScaleTerm(kDesignHeight, scale)}; }

TEST(MainLayout, FrontSurfaceByModeAndScale) {
    struct Case {
        float scale;
        int mode;
        SIZE size;
    };
    const Case cases[] = {
        {1.0f, 0, {656, 369}},        {1.0f, 1, {868, 489}},  {1.0f, 2, {1108, 624}},
        {0.98484844f, 0, {650, 366}}, {1.5f, 0, {984, 554}},  {1.5f, 1, {1302, 733}},
        {1.5f, 2, {1662, 935}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrontSurfaceSize(c.mode, c.scale), c.size) << c.scale << " mode " << c.mode;
        const RECT front = ComputeMainLayout(Client(c.scale), c.mode, c.scale).front;
        EXPECT_EQ(front.left, ScaleTerm(6, c.scale));
        EXPECT_EQ(front.top, ScaleTerm(24, c.scale));
    }
    EXPECT_EQ(MapPaneSize(1.0f), (SIZE{452, 368}));
}

TEST(MainLayout, PanesAndButtonsAtScaleOne) {
    const MainLayoutRects r = ComputeMainLayout(Client(1.0f), 0, 1.0f);
    EXPECT_EQ(r.front, (RECT{6, 24, 662, 393}));
    EXPECT_EQ(r.seekSlider, (RECT{6, 393, 662, 403}));
    EXPECT_EQ(r.infoPanel, (RECT{7, 403, 662, 508}));
    EXPECT_EQ(r.graph, (RECT{7, 508, 662, 655}));
    EXPECT_EQ(r.browser, (RECT{662, 25, 1114, 655}));
    EXPECT_EQ(r.volumeSlider, (RECT{1000, 667, 1100, 687}));
    EXPECT_EQ(r.transport[0], (RECT{20, 661, 52, 693}));
    EXPECT_EQ(r.transport[8].left, 396);
    EXPECT_EQ(r.transport[9].left, 473);  // the gap after the ninth button
    EXPECT_EQ(r.transport[14].left, 708);
    EXPECT_EQ(r.titleButtons[0], (RECT{1064, 4, 1110, 22}));  // close
    EXPECT_EQ(r.titleButtons[1].left, 1038);                  // maximise
    EXPECT_EQ(r.titleButtons[2].left, 1012);                  // minimise
    EXPECT_EQ(r.titleButtons[3], (RECT{862, 4, 1012, 22}));   // thumbnail
    EXPECT_EQ(r.progressBar, (RECT{6, 371, 662, 393}));
}

TEST(MainLayout, PanesFollowTheSurfaceAtEveryScale) {
    for (float scale : {1.0f, 0.98484844f, 1.5f}) {
        for (int mode : {0, 1, 2}) {
            const RECT client = Client(scale);
            const MainLayoutRects r = ComputeMainLayout(client, mode, scale);
            EXPECT_EQ(r.seekSlider.top, r.front.bottom);
            EXPECT_EQ(r.seekSlider.Width(), r.front.Width());
            EXPECT_EQ(r.infoPanel.top, r.front.bottom + ScaleTerm(10, scale));
            EXPECT_EQ(r.graph.top, r.infoPanel.bottom);
            EXPECT_EQ(r.browser.left, r.front.right);
            EXPECT_LE(r.transport[14].right, r.volumeSlider.left) << scale;
            EXPECT_LE(r.titleButtons[0].right, client.right);
        }
    }
}

TEST(MainLayout, SpeedLabelOverlapsNothingShown) {
    auto overlaps = [](const RECT& a, const RECT& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    };
    for (float scale : {1.0f, 0.98484844f, 1.5f}) {
        for (int mode : {0, 1, 2}) {
            const RECT client = Client(scale);
            const MainLayoutRects r = ComputeMainLayout(client, mode, scale);
            EXPECT_FALSE(overlaps(r.speedLabel, r.volumeSlider)) << scale << " mode " << mode;
            for (int i = 0; i < PanesForMode(mode).transportButtons; ++i)
                EXPECT_FALSE(overlaps(r.speedLabel, r.transport[std::size_t(i)])) << scale << " mode " << mode << " " << i;
            // Mode 2's compact strip writes the date and speed from 570 design pixels on.
            if (mode == LAYOUT_FULL_WIDTH) {
                EXPECT_LE(r.speedLabel.right, client.left + ScaleTerm(570, scale)) << scale;
            }
            EXPECT_GT(r.speedLabel.Width(), 0);
        }
    }
}

TEST(MainLayout, PanesShownPerMode) {
    struct Case {
        int mode;
        bool graph, sliders, info, browser;
        int buttons;
        bool title;
    };
    const Case cases[] = {
        {0, true, true, true, true, 15, true},    {1, false, true, true, true, 15, true},
        {2, false, true, false, false, 7, true},  {3, false, false, false, false, 0, false},
    };
    for (const Case& c : cases) {
        const PaneVisibility v = PanesForMode(c.mode);
        EXPECT_EQ(v.graph, c.graph) << c.mode;
        EXPECT_EQ(v.sliders, c.sliders) << c.mode;
        EXPECT_EQ(v.infoPanel, c.info) << c.mode;
        EXPECT_EQ(v.browser, c.browser) << c.mode;
        EXPECT_EQ(v.transportButtons, c.buttons) << c.mode;
        EXPECT_EQ(v.titleButtons, c.title) << c.mode;
    }
}

TEST(MainLayout, ViewRectsScaleWithTheMode) {
    EXPECT_EQ(GetViewRects(0, 1.0f).video, (RECT{0, 0, 452, 368}));
    EXPECT_EQ(GetViewRects(2, 1.0f).video, (RECT{0, 0, 452 * 1108 / 656, 368 * 624 / 369}));
    EXPECT_EQ(GetViewRects(0, 1.0f).label.right, 98);
    EXPECT_EQ(GetViewRects(1, 1.0f).label.right, 138);
    EXPECT_EQ(GetViewRects(2, 1.0f).label.right, 0);
    EXPECT_EQ(MapPageInMapWindow(1.0f), (RECT{1, 20, 451, 367}));
    EXPECT_EQ(RearSurfaceSize(1.0f), (SIZE{452, 254}));
}

}  // namespace
}  // namespace orv
