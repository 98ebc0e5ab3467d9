#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "app/commands/MainLayout.h"

namespace orv {
namespace {

RECT Client(float scale) { return RECT{0, 0, ScaleTerm(kDesignWidth, scale), ScaleTerm(kDesignHeight, scale)}; }

bool Overlaps(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}
// The top of the transport strip: the highest of the buttons shown in the mode.
int StripTop(const MainLayoutRects& r, int mode) {
    int top = std::numeric_limits<int>::max();
    for (int i = 0; i < kTransportButtonCount; ++i)
        if (PanesForMode(mode).transport[std::size_t(i)]) top = std::min(top, int(r.transport[std::size_t(i)].top));
    return top;
}

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
    EXPECT_EQ(r.rearSurface, (RECT{662, 25, 1114, 393}));
    EXPECT_EQ(r.browser, (RECT{662, 393, 1114, 655}));
    EXPECT_EQ(r.gaugeWindow, (RECT{7, 403, 662, 655}));
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
            if (PanesForMode(mode).graph) {
                EXPECT_EQ(r.graph.top, r.infoPanel.bottom);
            }
            EXPECT_EQ(r.browser.left, r.front.right);
            EXPECT_LE(r.transport[14].right, r.volumeSlider.left) << scale;
            EXPECT_LE(r.titleButtons[0].right, client.right);
        }
    }
}

TEST(MainLayout, SpeedLabelOverlapsNothingShown) {
    for (float scale : {1.0f, 0.98484844f, 1.5f}) {
        for (int mode : {0, 1, 2}) {
            const RECT client = Client(scale);
            const MainLayoutRects r = ComputeMainLayout(client, mode, scale);
            EXPECT_FALSE(Overlaps(r.speedLabel, r.volumeSlider)) << scale << " mode " << mode;
            for (int i = 0; i < kTransportButtonCount; ++i) {
                if (PanesForMode(mode).transport[std::size_t(i)]) {
                    EXPECT_FALSE(Overlaps(r.speedLabel, r.transport[std::size_t(i)])) << scale << " mode " << mode << " " << i;
                }
            }
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
        bool graph, sliders, info, browser, rear;
        std::vector<int> buttons;
        bool title;
    };
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    const Case cases[] = {
        {0, true, true, true, true, true, all, true},
        {1, false, true, true, true, false, all, true},
        // The snapshot gives its place to the large view and the vehicle gauges.
        {2, false, true, false, false, false, {0, 1, 2, 3, 4, 5, BTN_VIEW_LARGE_VIDEO, BTN_OBD_WINDOW}, true},
        {3, false, false, false, false, false, {}, false},
    };
    for (const Case& c : cases) {
        const PaneVisibility v = PanesForMode(c.mode);
        EXPECT_EQ(v.graph, c.graph) << c.mode;
        EXPECT_EQ(v.sliders, c.sliders) << c.mode;
        EXPECT_EQ(v.infoPanel, c.info) << c.mode;
        EXPECT_EQ(v.browser, c.browser) << c.mode;
        EXPECT_EQ(v.rearSurface, c.rear) << c.mode;
        std::vector<int> shown;
        for (int i = 0; i < kTransportButtonCount; ++i)
            if (v.transport[std::size_t(i)]) shown.push_back(i);
        EXPECT_EQ(shown, c.buttons) << c.mode;
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

TEST(MainLayout, RearSurfaceSharesTheBrowserColumnWithoutHidingIt) {
    struct Case {
        float scale;
        int extraWidth, extraHeight;  // a window sized beyond its design size
    };
    const Case cases[] = {{1.0f, 0, 0}, {0.98484844f, 0, 0}, {1.5f, 0, 0}, {1.0f, 800, 359}};
    for (const Case& c : cases) {
        RECT client = Client(c.scale);
        client.right += c.extraWidth;
        client.bottom += c.extraHeight;
        const MainLayoutRects r = ComputeMainLayout(client, LAYOUT_BESIDE_BROWSER, c.scale);
        // Beside the video, the map window's size, inside the window.
        EXPECT_EQ(r.rearSurface.left, r.front.right) << c.scale;
        EXPECT_EQ(r.rearSurface.top, r.front.top + 1) << c.scale;
        EXPECT_EQ((SIZE{r.rearSurface.Width(), r.rearSurface.Height()}), MapPaneSize(c.scale)) << c.scale;
        EXPECT_TRUE(Inside(r.rearSurface, client)) << c.scale;
        // The browser below it in the same column, down to above the strip.
        EXPECT_EQ(r.browser.top, r.rearSurface.bottom) << c.scale;
        EXPECT_EQ(r.browser.left, r.rearSurface.left) << c.scale;
        EXPECT_EQ(r.browser.right, r.rearSurface.right) << c.scale;
        EXPECT_GE(r.browser.Height(), ScaleTerm(200, c.scale)) << c.scale;
        EXPECT_LE(r.browser.bottom, StripTop(r, LAYOUT_BESIDE_BROWSER)) << c.scale;
        for (int mode : {LAYOUT_LARGE, LAYOUT_FULL_WIDTH})
            EXPECT_EQ(ComputeMainLayout(client, mode, c.scale).rearSurface.Width(), 0) << c.scale << " mode " << mode;
    }
}

TEST(MainLayout, GaugeWindowLiesOverTheInfoPanelAndGraphOnly) {
    for (float scale : {1.0f, 1.5f}) {
        for (int mode : {LAYOUT_BESIDE_BROWSER, LAYOUT_LARGE, LAYOUT_FULL_WIDTH}) {
            const RECT client = Client(scale);
            const MainLayoutRects r = ComputeMainLayout(client, mode, scale);
            const RECT& gauges = r.gaugeWindow;
            EXPECT_GT(gauges.Width(), ScaleTerm(600, scale)) << scale << " mode " << mode;
            EXPECT_GT(gauges.Height(), ScaleTerm(100, scale)) << scale << " mode " << mode;
            EXPECT_TRUE(Inside(gauges, client)) << scale << " mode " << mode;
            EXPECT_LE(gauges.bottom, StripTop(r, mode)) << scale << " mode " << mode;
            EXPECT_FALSE(Overlaps(gauges, r.seekSlider)) << scale << " mode " << mode;
            if (mode == LAYOUT_FULL_WIDTH) {
                EXPECT_TRUE(Inside(gauges, r.front)) << scale;  // over the video's corner
            } else {
                const RECT panes{r.infoPanel.left, r.infoPanel.top, r.infoPanel.right,
                                 mode == LAYOUT_LARGE ? r.infoPanel.bottom : r.graph.bottom};
                EXPECT_EQ(gauges, panes) << scale << " mode " << mode;
            }
        }
    }
}

TEST(MainLayout, LargeInfoPanelIsAsTallAsItsLayoutUpToTheStrip) {
    struct Case {
        float scale;
        int extraHeight;
        int height;
    };
    // 130 design pixels when there is room, else what is left above the strip.
    const Case cases[] = {{1.0f, 0, 130}, {1.5f, 0, 195}, {1.0f, 200, 130}};
    for (const Case& c : cases) {
        RECT client = Client(c.scale);
        client.bottom += c.extraHeight;
        const MainLayoutRects r = ComputeMainLayout(client, LAYOUT_LARGE, c.scale);
        EXPECT_EQ(r.infoPanel.Height(), c.height) << c.scale;
        EXPECT_EQ(r.infoPanel.top, r.front.bottom + ScaleTerm(10, c.scale));
        EXPECT_LE(r.infoPanel.bottom, StripTop(r, LAYOUT_LARGE)) << c.scale;
    }
    // A window cut short gives the panel only the room above the strip.
    RECT low = Client(1.0f);
    low.bottom -= 10;
    const MainLayoutRects r = ComputeMainLayout(low, LAYOUT_LARGE, 1.0f);
    EXPECT_LT(r.infoPanel.Height(), 130);
    EXPECT_LE(r.infoPanel.bottom, StripTop(r, LAYOUT_LARGE));
}

TEST(MainLayout, ModeTwoButtonsStayClearOfTheCompactStrip) {
    for (float scale : {1.0f, 0.98484844f, 1.5f}) {
        const MainLayoutRects r = ComputeMainLayout(Client(scale), LAYOUT_FULL_WIDTH, scale);
        const PaneVisibility v = PanesForMode(LAYOUT_FULL_WIDTH);
        for (int i = 0; i < kTransportButtonCount; ++i) {
            if (!v.transport[std::size_t(i)]) continue;
            // The strip's title and date start 400 design pixels from the window's left.
            EXPECT_LE(r.transport[std::size_t(i)].right, ScaleTerm(400, scale)) << scale << " button " << i;
            for (int j = i + 1; j < kTransportButtonCount; ++j) {
                if (v.transport[std::size_t(j)]) {
                    EXPECT_FALSE(Overlaps(r.transport[std::size_t(i)], r.transport[std::size_t(j)])) << i << " " << j;
                }
            }
        }
        // In the snapshot's place and the one after it.
        EXPECT_EQ(r.transport[BTN_VIEW_LARGE_VIDEO], r.transport[BTN_SNAPSHOT]) << scale;
        EXPECT_EQ(r.transport[BTN_OBD_WINDOW], r.transport[BTN_JOIN_MOVIES]) << scale;
    }
}

}  // namespace
}  // namespace orv
