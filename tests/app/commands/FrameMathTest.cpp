#include <gtest/gtest.h>

#include "app/commands/FrameMath.h"

namespace orv {
namespace {

const RECT kWindow{100, 50, 1220, 747};  // the design size at scale 1

TEST(FrameMath, MaximumScaleFollowsTheWorkAreaWidth) {
    EXPECT_FLOAT_EQ(ComputeMaxScale(1920, 1.0f), 3.4285715f);
    EXPECT_FLOAT_EQ(ComputeMaxScale(1280, 1.0f), 2.2857144f);
    EXPECT_FLOAT_EQ(ComputeMaxScale(3840, 1.0f), kMaxWindowScale);
}

TEST(FrameMath, HitCodesAndTheirEdges) {
    struct Case {
        POINT pt;
        bool maximised;
        int hit;
        int edge;
    } cases[] = {
        {{101, 51}, false, HT_TOPLEFT, EDGE_TOPLEFT},     {{1218, 51}, false, HT_TOPRIGHT, EDGE_TOPRIGHT},
        {{600, 52}, false, HT_TOP, EDGE_TOP},             {{101, 745}, false, HT_BOTTOMLEFT, EDGE_BOTTOMLEFT},
        {{1218, 745}, false, HT_BOTTOMRIGHT, EDGE_BOTTOMRIGHT},
        {{101, 400}, false, HT_LEFT, EDGE_LEFT},          {{1218, 400}, false, HT_RIGHT, EDGE_RIGHT},
        {{600, 745}, false, HT_BOTTOM, EDGE_BOTTOM},      {{600, 60}, false, HT_CAPTION, EDGE_NONE},
        {{600, 720}, false, HT_CLIENT, EDGE_NONE},        {{600, 400}, false, HT_NOWHERE, EDGE_NONE},
        {{101, 51}, true, HT_CAPTION, EDGE_NONE},         {{600, 1000}, false, HT_NOWHERE, EDGE_NONE},
    };
    for (const Case& c : cases) {
        const int hit = HitTestFrame(kWindow, c.pt, 1.0f, c.maximised);
        EXPECT_EQ(hit, c.hit) << c.pt.x << "," << c.pt.y;
        EXPECT_EQ(SizingEdgeFromHit(hit), c.edge);
    }
    // The window system moves the window only by the caption strip.
    EXPECT_EQ(NcHitTest(kWindow, {600, 60}, 1.0f, false), HT_CAPTION);
    EXPECT_EQ(NcHitTest(kWindow, {600, 52}, 1.0f, false), HT_CLIENT);
    EXPECT_EQ(NcHitTest(kWindow, {101, 60}, 1.0f, false), HT_CLIENT);
    EXPECT_EQ(NcHitTest(kWindow, {101, 52}, 1.0f, true), HT_CAPTION);
    // The frame moves the window where the window system would: both tests agree on the
    // caption along the whole top of the window, at any scale.
    for (const float s : {1.0f, 1.5f})
        for (const bool maximised : {false, true})
            for (int y = kWindow.top - 1; y < kWindow.top + 40; ++y)
                for (const int x : {99, 100, 105, 106, 107, 108, 600, 1211, 1212, 1213, 1214, 1219, 1220})
                    EXPECT_EQ(NcHitTest(kWindow, {x, y}, s, maximised) == HT_CAPTION,
                              HitTestFrame(kWindow, {x, y}, s, maximised) == HT_CAPTION)
                        << x << "," << y << " scale " << s << (maximised ? " maximised" : "");
}

TEST(FrameMath, ClampCodesTestTheLowerLimitFirst) {
    struct Case {
        int width, height;
        int code;
        float sx, sy;
    } cases[] = {
        {1120, 697, LIMIT_NONE, 1.0f, 1.0f},          {1000, 697, LIMIT_WIDTH_SMALL, 1.0f, 1.0f},
        {1120, 600, LIMIT_HEIGHT_SMALL, 1.0f, 1.0f},  {10, 10, LIMIT_BOTH_SMALL, 1.0f, 1.0f},
        {5000, 697, LIMIT_WIDTH_LARGE, 2.0f, 1.0f},   {1120, 5000, LIMIT_HEIGHT_LARGE, 1.0f, 2.0f},
        {5000, 5000, LIMIT_BOTH_LARGE, 2.0f, 2.0f},   {5000, 10, LIMIT_WIDTH_LARGE, 2.0f, 1.0f},
        {10, 5000, LIMIT_HEIGHT_LARGE, 1.0f, 2.0f},   {2240, 1394, LIMIT_NONE, 2.0f, 2.0f},
    };
    for (const Case& c : cases) {
        float sx = 0, sy = 0;
        EXPECT_EQ(ClampWindowScale(sx, sy, RECT{0, 0, c.width, c.height}, 1.0f, 2.0f), c.code) << c.width << "x" << c.height;
        EXPECT_FLOAT_EQ(sx, c.sx);
        EXPECT_FLOAT_EQ(sy, c.sy);
    }
}

TEST(FrameMath, DragsStopAtTheLimits) {
    struct Case {
        int edge;
        POINT cursor;
        RECT expected;
    } cases[] = {
        // A right edge dragged too far in keeps the left edge and the minimum width.
        {EDGE_RIGHT, {900, 400}, {100, 50, 1220, 747}},
        // A left edge dragged too far in keeps the right edge.
        {EDGE_LEFT, {800, 400}, {100, 50, 1220, 747}},
        {EDGE_RIGHT, {1500, 400}, {100, 50, 1500, 747}},
        // A corner past the maximum (2.0 here) stops at the maximum in both axes.
        {EDGE_BOTTOMRIGHT, {5000, 5000}, {100, 50, 100 + 2240, 50 + 1394}},
        // A corner dragged inwards keeps the minimum size.
        {EDGE_TOPLEFT, {900, 600}, {100, 50, 1220, 747}},
    };
    for (const Case& c : cases) {
        RECT rc = kWindow;
        SizingTracker tracker;
        float sx = 0, sy = 0;
        ASSERT_TRUE(TrackSizingStep(rc, tracker, c.cursor, c.edge, 1.0f, 2.0f, &sx, &sy));
        EXPECT_EQ(rc, c.expected) << "edge " << c.edge;
    }
}

TEST(FrameMath, AStillCursorMakesNoSecondStep) {
    RECT rc = kWindow;
    SizingTracker tracker;
    EXPECT_TRUE(TrackSizingStep(rc, tracker, {1500, 400}, EDGE_RIGHT, 1.0f, 2.0f, nullptr, nullptr));
    EXPECT_FALSE(TrackSizingStep(rc, tracker, {1500, 400}, EDGE_RIGHT, 1.0f, 2.0f, nullptr, nullptr));
    // Inside a window at its minimum: one step only, however the cursor moves.
    rc = kWindow;
    EXPECT_TRUE(TrackSizingStep(rc, tracker, {600, 400}, EDGE_RIGHT, 1.0f, 2.0f, nullptr, nullptr));
    EXPECT_FALSE(TrackSizingStep(rc, tracker, {610, 410}, EDGE_RIGHT, 1.0f, 2.0f, nullptr, nullptr));
}

TEST(FrameMath, PaneAreaAndWindowSizes) {
    const PaneArea a = ComputePaneArea(RECT{0, 0, 1120, 697}, 1.0f);
    EXPECT_EQ(a.innerWidth, 1108);
    EXPECT_EQ(a.innerHeight, 625);
    EXPECT_EQ(a.videoWidth, 656);
    EXPECT_EQ(a.videoHeight, 370);
    EXPECT_EQ(a.rightWidth, 868);
    EXPECT_EQ(a.rightHeight, 491);
    EXPECT_EQ(WindowSizeForScale(1.5f, 1.0f, 1.0f), (SIZE{1680, 1045}));
    EXPECT_EQ(WindowSizeForScale(0.98484844f, 2.0f, 2.0f), (SIZE{2206, 1372}));
}

TEST(FrameMath, StoredScales) {
    struct Case {
        const char* text;
        float expected;  // 0: ignored
    } cases[] = {{"1.500000", 1.5f}, {" 2.0 ", 2.0f}, {"0.5", 1.0f}, {"9", 3.0f},
                 {"0", 0}, {"-1", 0}, {"abc", 0}, {"", 0}, {"nan", 0}, {"inf", 0}, {"1.5x", 0}};
    for (const Case& c : cases) {
        const auto value = ParseStoredScale(c.text, 3.0f);
        EXPECT_EQ(value.has_value(), c.expected != 0) << c.text;
        if (value) {
            EXPECT_FLOAT_EQ(*value, c.expected) << c.text;
        }
    }
    EXPECT_EQ(FormatStoredScale(1.25f), "1.250000");
}

}  // namespace
}  // namespace orv
