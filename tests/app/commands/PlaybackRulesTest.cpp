#include <gtest/gtest.h>

#include <limits>

#include "app/commands/PlaybackRules.h"

namespace orv {
namespace {

TEST(PlaybackRules, QualityCodeTable) {
    struct Case {
        int height;
        int codes[3];  // letters 'M', 'H', other
    };
    const Case cases[] = {{360, {0, 1, 2}},   {720, {11, 3, 4}}, {1080, {12, 5, 6}}, {1296, {0, 9, 10}},
                          {1440, {0, 7, 8}},  {480, {0, 0, 0}},  {0, {0, 0, 0}}};
    for (const Case& c : cases) {
        EXPECT_EQ(QualityCode(c.height, 'M'), c.codes[0]) << c.height;
        EXPECT_EQ(QualityCode(c.height, 'H'), c.codes[1]) << c.height;
        EXPECT_EQ(QualityCode(c.height, 'L'), c.codes[2]) << c.height;
    }
}

TEST(PlaybackRules, SpeedLabelsAndMargins) {
    struct Case {
        int step, textId, margin;
    };
    for (const Case& c : {Case{-4, 61, 20}, {-2, 60, 20}, {1, 57, 20}, {2, 58, 40}, {4, 59, 80}, {0, -1, 20},
                          {-1, -1, 20}, {3, -1, 20}}) {
        EXPECT_EQ(SpeedLabelTextId(c.step), c.textId) << c.step;
        EXPECT_EQ(EndMargin(c.step), c.margin) << c.step;
    }
    EXPECT_EQ(DefaultSpeedStep("/card/Video/T___S-220101-120000-000001M.MOV"), -2);
    EXPECT_EQ(DefaultSpeedStep("/card/Video/A___S-220101-120000-000001M.MOV"), 1);
    EXPECT_EQ(DefaultSpeedStep(""), 1);
}

TEST(PlaybackRules, SeekTargetsStayInsideTheMovie) {
    struct Case {
        std::int64_t frame, count;
        int step;
        bool initialised;
        int sliderMin;
        SeekFrames expected;
    };
    const Case cases[] = {
        {999, 1000, 1, true, 0, {980, 999}},   // the last frame lands 20 before the end
        {999, 1000, 2, true, 0, {960, 999}},
        {999, 1000, 4, true, 0, {920, 999}},
        {999, 1000, 4, false, 0, {980, 999}},  // without channel 1 the margin is 20
        {5000, 1000, 1, true, 0, {980, 999}},
        {500, 1000, 1, true, 0, {500, 500}},
        {-7, 1000, 1, true, 0, {0, 0}},
        {10, 15, 1, true, 0, {0, 10}},  // shorter than the margin
        {3, 0, 1, true, 0, {0, 0}},     // no movie
        {0, 1000, 1, true, 12, {0, 12}},
    };
    for (const Case& c : cases) {
        const SeekFrames got = ComputeSeekFrames(c.frame, c.count, c.step, c.initialised, c.sliderMin);
        EXPECT_EQ(got.target, c.expected.target) << c.frame << "/" << c.count;
        EXPECT_EQ(got.shown, c.expected.shown) << c.frame << "/" << c.count;
    }
    EXPECT_EQ(ClampToSlider(7, 0, 0), 0);
    EXPECT_EQ(ClampToSlider(700, 0, 500), 499);
    EXPECT_EQ(ClampToSlider(-3, 0, 500), 0);
    EXPECT_EQ(SeekTolerance(4500), 34);
    EXPECT_TRUE(IsInEndMargin(980, 1000, 1));
    EXPECT_FALSE(IsInEndMargin(979, 1000, 1));
    EXPECT_FALSE(IsInEndMargin(0, 0, 1));
    // The full view: not entered within the last 10 frames, always left.
    struct Toggle {
        bool on;
        std::int64_t current, count;
        bool allowed;
    };
    for (const Toggle& t : {Toggle{false, 989, 1000, true}, {false, 990, 1000, false}, {true, 999, 1000, true},
                            {false, 0, 0, true}})
        EXPECT_EQ(FullViewToggleAllowed(t.on, t.current, t.count), t.allowed) << t.on << " " << t.current;
}

// The road's commands and the jobs wait by one rule.
TEST(PlaybackRules, CommandsWaitNearTheEndOfAPlayingMovie) {
    const struct {
        ChannelPosition position;
        bool near;
    } cases[] = {
        {{false, true, 2, 0, 100, 1}, true},  // data not loaded yet
        {{true, true, 3, 99, 100, 1}, false},  // paused
        {{true, true, 1, 99, 100, 1}, false},  // stopped
        {{true, true, 2, 80, 100, 1}, true},   {{true, true, 2, 79, 100, 1}, false},
        {{true, true, 2, 60, 100, 2}, true},   {{true, true, 2, 59, 100, 2}, false},
        {{true, true, 2, 20, 100, 4}, true},   {{true, true, 2, 19, 100, 4}, false},
        {{true, true, 2, 99, 0, 1}, false},    // no frame count
        {{true, false, 2, 99, 100, 1}, false},  // channel not initialised
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position.current);
        EXPECT_EQ(IsNearMovieEnd(c.position), c.near);
    }
}

TEST(PlaybackRules, StallLimitCoversSlowFrames) {
    struct Case {
        double intervalMs;
        int step;
        int limit;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : {Case{33.333, 1, 30}, {33.333, -4, 30}, {1000.0, 1, 100}, {1000.0, -4, 400},
                          {500.0, -2, 100}, {0.0, 1, 30}, {-5.0, 1, 30}, {nan, 1, 30}, {1e12, -4, 120000}}) {
        EXPECT_EQ(StallWatchdog::LimitTicks(c.intervalMs, c.step, 30), c.limit) << c.intervalMs << " x" << c.step;
    }

    StallWatchdog watchdog;
    int nudges = 0, tickOfFirstNudge = -1;
    for (int tick = 0; tick < 100; ++tick) {
        // Frame 5 from tick 0 on: the player is stuck.
        if (watchdog.Tick(5, 30) && nudges++ == 0) tickOfFirstNudge = tick;
    }
    EXPECT_EQ(tickOfFirstNudge, 31);  // the first tick only notes the frame
    EXPECT_EQ(nudges, 3);
    StallWatchdog moving;
    for (int tick = 0; tick < 100; ++tick) EXPECT_FALSE(moving.Tick(tick / 2, 30));
}

TEST(PlaybackRules, WhatATickDoesInEachPlayState) {
    struct Case {
        int state;  // PLAY_CLOSED 0, PLAY_STOPPED 1, PLAY_PLAYING 2, PLAY_PAUSED 3
        bool logoHidden, connected;
        bool endMargin, followFrame, mapPane;
    };
    const Case cases[] = {
        {2, true, true, true, true, false},   {2, false, false, true, true, false},
        {0, true, true, false, true, false},  {0, false, false, false, true, false},
        {1, true, true, false, false, false}, {3, true, true, false, false, false},
        {1, false, true, false, false, true}, {3, true, false, false, false, true},
        {3, false, false, false, false, true},
    };
    for (const Case& c : cases) {
        const TickSteps steps = PlaybackTickSteps(c.state, c.logoHidden, c.connected);
        EXPECT_EQ(steps.endMargin, c.endMargin) << c.state << c.logoHidden << c.connected;
        EXPECT_EQ(steps.followFrame, c.followFrame) << c.state << c.logoHidden << c.connected;
        EXPECT_EQ(steps.mapPane, c.mapPane) << c.state << c.logoHidden << c.connected;
    }
}

}  // namespace
}  // namespace orv
