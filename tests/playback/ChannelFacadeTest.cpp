#include "playback/ChannelFacade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "fixtures/CardBuilder.h"
#include "playback/ChannelFixture.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;
using playback_test::ChannelTest;
using Calls = std::vector<std::string>;

// The front movie and its companion as the card names them.
struct Recording {
    std::string front;
    std::string rear;
};

Recording CardRecording() {
    const std::string folder = std::string("/card/") + fx::LayoutFolder(0, 0) + "/";
    return {folder + fx::RecorderName("A___", "220101", "120000", 1, 'M'),
            folder + fx::RecorderName("A___", "220101", "120000", 1, 'S')};
}

using ChannelFacade = ChannelTest;

TEST_F(ChannelFacade, OpenFoldsBothResults) {
    const Recording r = CardRecording();
    struct Case {
        int front, rear, expected;
    };
    for (const Case& k :
         {Case{2, 0, 2}, Case{2, 1, 3}, Case{0, 0, 0}, Case{1, 0, 1}, Case{0, 2, 2}, Case{1, 1, 1}}) {
        engine.results["OpenMovie#1"] = k.front;
        engine.results["OpenMovie#2"] = k.rear;
        engine.calls.clear();
        EXPECT_EQ(OpenChannels(r.front), k.expected) << k.front << "," << k.rear;
        EXPECT_EQ(g_aPlayChannel[1].rearOpened, k.rear);
        // The two open at the same time: in either order.
        std::sort(engine.calls.begin(), engine.calls.end());
        EXPECT_EQ(engine.calls, (Calls{"OpenMovie#1(" + r.front + ")", "OpenMovie#2(" + r.rear + ")"}));
    }
}

TEST_F(ChannelFacade, UninitialisedRearChannelIsSkipped) {
    const Recording r = CardRecording();
    g_aPlayChannel[1].rearOpened = 1;
    g_aPlayChannel[1].initialised = 0;
    engine.results["OpenMovie#1"] = 2;
    EXPECT_EQ(OpenChannels(r.front), 2);
    EXPECT_EQ(g_aPlayChannel[1].rearOpened, 0);
    EXPECT_EQ(PlayChannels(), 1);
    g_aPlayChannel[0].frameInterval = 33.33f;
    EXPECT_EQ(SeekChannelsToFrame(300), 1);
    EXPECT_EQ(engine.calls, (Calls{"OpenMovie#1(" + r.front + ")", "BeginJointStart", "PlayMovie#1()", "EndJointStart",
                                   "SeekToFrame#1(300)"}));

    g_aPlayChannel[0].initialised = 0;
    engine.calls.clear();
    EXPECT_EQ(OpenChannels(r.front), 0);
    EXPECT_EQ(PauseChannels(), 0);
    EXPECT_EQ(GetNextSpeedStep(true), 0);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ChannelFacade, RearFrameShowsTheSameMoment) {
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    front.frameInterval = 1000.0f / 30;
    rear.frameInterval = 1000.0f / 15;
    EXPECT_EQ(SeekChannelsToFrame(300), 1);
    EXPECT_EQ(LocateChannelsFrame(300), 1);
    EXPECT_EQ(engine.calls, (Calls{"SeekToFrame#1(300)", "SeekToFrame#2(150)", "SeekToFrame#1(300)",
                                   "SeekToFrame#2(150)"}));

    struct Case {
        float front, rear;
        std::int32_t frame;
        std::int64_t expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Case& k : {Case{1000.0f / 30, 1000.0f / 15, 301, 150}, Case{1000.0f / 15, 1000.0f / 30, 7, 14},
                          Case{33.33f, 0.0f, 300, 300}, Case{33.33f, nan, 300, 300},
                          Case{0.0f, 66.67f, 300, 300}, Case{33.33f, 33.33f, 2'000'000'000, 2'000'000'000}}) {
        front.frameInterval = k.front;
        rear.frameInterval = k.rear;
        engine.calls.clear();
        SeekChannelsToFrame(k.frame);
        ASSERT_EQ(engine.calls.size(), 2u);
        EXPECT_EQ(engine.calls[1], "SeekToFrame#2(" + std::to_string(k.expected) + ")")
            << k.front << " / " << k.rear;
    }
}

// The rear frame sought for each front frame is the one on screen at the moment the front
// frame begins: rear frame r shows from r / rear fps on, so it is front frame f x rear fps /
// front fps, counted in whole numbers and truncated. The intervals are the single-precision
// milliseconds the pre-scan gives.
TEST_F(ChannelFacade, RearFrameIsTheOneOnScreenAtTheFrontFramesMoment) {
    struct Rates {
        int front, rear;
    };
    for (const Rates& k : {Rates{30, 30}, Rates{30, 15}, Rates{25, 30}, Rates{30, 25}, Rates{15, 30}}) {
        g_aPlayChannel[0].frameInterval = 1000.0f / float(k.front);
        g_aPlayChannel[1].frameInterval = 1000.0f / float(k.rear);
        int wrong = 0;
        for (std::int32_t frame = 0; frame < 108'000; frame += frame < 1000 ? 1 : 997) {  // up to an hour
            engine.calls.clear();
            SeekChannelsToFrame(frame);
            const std::int64_t onScreen = std::int64_t(frame) * k.rear / k.front;
            if (engine.calls.at(1) != "SeekToFrame#2(" + std::to_string(onScreen) + ")" && ++wrong < 5)
                ADD_FAILURE() << k.front << " fps against " << k.rear << ": frame " << frame << " gave "
                              << engine.calls[1] << ", on screen " << onScreen;
        }
        EXPECT_EQ(wrong, 0) << k.front << " fps against " << k.rear;
    }
}

TEST_F(ChannelFacade, ASeekWhilePlayingPausesSeeksAndStartsBothTogether) {
    g_aPlayChannel[0].frameInterval = 1000.0f / 30;
    g_aPlayChannel[1].frameInterval = 1000.0f / 15;
    g_aPlayChannel[0].playState = PLAY_PLAYING;
    g_aPlayChannel[1].playState = PLAY_PLAYING;
    EXPECT_EQ(SeekChannelsWhilePlaying(301), 1);
    // One engine serves both channels: one joint start around both plays.
    EXPECT_EQ(engine.calls, (Calls{"PauseMovie#1()", "PauseMovie#2()", "SeekToFrame#1(301)", "SeekToFrame#2(150)",
                                   "BeginJointStart", "PlayMovie#1()", "PlayMovie#2()", "EndJointStart"}));
    EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
    EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_PLAYING);
}

TEST_F(ChannelFacade, APauseWhilePlayingBringsTheRearToTheFrontsPicture) {
    g_aPlayChannel[0].frameInterval = 1000.0f / 30;
    g_aPlayChannel[1].frameInterval = 1000.0f / 15;
    struct Case {
        const char* name;
        PlayState frontState;
        std::int64_t front, rear;  // the frames their pictures show once paused
        Calls afterPause;
    };
    const Case cases[] = {
        {"rear a frame on", PLAY_PLAYING, 301, 151,
         {"GetCurrentFrame#1()", "GetCurrentFrame#2()", "SeekToFrame#2(150)", "WaitUntilSettled#2()"}},
        {"rear in step", PLAY_PLAYING, 301, 150, {"GetCurrentFrame#1()", "GetCurrentFrame#2()"}},
        {"front unreadable", PLAY_PLAYING, -1, 7, {"GetCurrentFrame#1()"}},
        {"already paused", PLAY_PAUSED, 301, 151, {}},
    };
    for (const Case& c : cases) {
        g_aPlayChannel[0].playState = c.frontState;
        g_aPlayChannel[1].playState = c.frontState;
        engine.results["GetCurrentFrame#1"] = c.front;
        engine.results["GetCurrentFrame#2"] = c.rear;
        engine.calls.clear();
        PauseChannels();
        Calls expected;
        if (c.frontState == PLAY_PLAYING) expected = {"PauseMovie#1()", "PauseMovie#2()"};
        expected.insert(expected.end(), c.afterPause.begin(), c.afterPause.end());
        EXPECT_EQ(engine.calls, expected) << c.name;
        EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_PAUSED) << c.name;
    }
}

TEST_F(ChannelFacade, ResultsFoldAndDataFlagsFollowTheCalls) {
    const Recording r = CardRecording();
    engine.results["LoadRecorderData#2"] = 0;
    EXPECT_EQ(LoadChannelsData(r.front), 1);
    EXPECT_EQ(g_aPlayChannel[0].dataLoaded, 1);
    EXPECT_EQ(g_aPlayChannel[1].dataLoaded, 0);
    EXPECT_EQ(engine.calls,
              (Calls{"LoadRecorderData#1(" + r.front + ")", "LoadRecorderData#2(" + r.rear + ")"}));

    engine.results["ResetRecorderData"] = 0;
    EXPECT_EQ(ResetChannels(), 0);
    EXPECT_EQ(g_aPlayChannel[0].dataLoaded, 0);
    g_aPlayChannel[0].dataLoaded = g_aPlayChannel[1].dataLoaded = 1;
    EXPECT_EQ(CloseChannels(), 1);
    EXPECT_EQ(g_aPlayChannel[0].dataLoaded, 0);
    EXPECT_EQ(g_aPlayChannel[1].dataLoaded, 0);

    engine.results["RefreshFrame#1"] = 0;
    EXPECT_EQ(RefreshChannels(), 1) << "channel 2 refreshed";
    engine.results["RefreshFrame#2"] = 0;
    EXPECT_EQ(RefreshChannels(), 0);

    engine.calls.clear();
    EXPECT_EQ(CheckChannelsFile(r.front), 1);
    EXPECT_EQ(SetChannelsSpeed(-2), 1);
    // The speed is set on both within one joint change: the clocks take it as of one moment.
    EXPECT_EQ(engine.calls, (Calls{"CheckMovieFile#1(" + r.front + ")", "CheckMovieFile#2(" + r.front + ")",
                                   "BeginJointStart", "SetPlaybackSpeed#1(-2)", "SetPlaybackSpeed#2(-2)",
                                   "EndJointStart"}));
}

// Only an open movie makes a speed change wait for its player to settle.
TEST_F(ChannelFacade, AChannelIsOpenOnlyWithAMovieOnAnInitialisedChannel) {
    struct Case {
        int frontInit;
        PlayState front;
        int rearInit;
        PlayState rear;
        bool open;
    };
    for (const Case& k : {Case{1, PLAY_CLOSED, 1, PLAY_CLOSED, false}, Case{1, PLAY_STOPPED, 1, PLAY_CLOSED, true},
                          Case{1, PLAY_CLOSED, 1, PLAY_PAUSED, true}, Case{1, PLAY_PLAYING, 1, PLAY_PLAYING, true},
                          Case{0, PLAY_PLAYING, 0, PLAY_PAUSED, false}, Case{0, PLAY_PLAYING, 1, PLAY_CLOSED, false}}) {
        g_aPlayChannel[0].initialised = k.frontInit;
        g_aPlayChannel[0].playState = k.front;
        g_aPlayChannel[1].initialised = k.rearInit;
        g_aPlayChannel[1].playState = k.rear;
        EXPECT_EQ(AnyChannelOpen(), k.open) << k.frontInit << k.front << k.rearInit << k.rear;
    }
}

TEST_F(ChannelFacade, EachChannelGetsItsOwnView) {
    sVIEWRECORD views[2];
    views[0] = {1, 2, 100, 50, -4, 8, 9, 2.0f};
    views[1] = {3, 4, 60, 30, 0, 0, 9, 1.0f};
    EXPECT_EQ(SetChannelsView(views, 0), 1);
    EXPECT_EQ(engine.calls, (Calls{"SetView#1(100,50,-4,8,2,0)", "SetView#2(60,30,0,0,1,0)"}));
}

TEST_F(ChannelFacade, NextSpeedStepFromTheFourTables) {
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    front.playState = PLAY_PLAYING;
    // Steps -4 to 4.
    const int fasterBackwards[9] = {-2, 1, -1, 1, 1, 2, 4, 1, 4};
    const int fasterForwardOnly[9] = {-2, 1, 1, 1, 1, 2, 2, 1, 4};
    const int slowerWithPlayer[9] = {1, 1, -2, -2, 1, -1, 1, 1, 2};
    const int slowerWithoutPlayer[9] = {-4, 1, -4, -2, 1, -1, 1, 1, 2};
    for (int step = -4; step <= 4; ++step) {
        front.speedStep = step;
        front.canPlayBackwards = 1;
        EXPECT_EQ(GetNextSpeedStep(true), fasterBackwards[step + 4]) << step;
        front.canPlayBackwards = 0;
        EXPECT_EQ(GetNextSpeedStep(true), fasterForwardOnly[step + 4]) << step;
        engine.player = true;
        EXPECT_EQ(GetNextSpeedStep(false), slowerWithPlayer[step + 4]) << step;
        engine.player = false;
        EXPECT_EQ(GetNextSpeedStep(false), slowerWithoutPlayer[step + 4]) << step;
    }
    for (int step : {-5, 5, 100}) {
        front.speedStep = step;
        EXPECT_EQ(GetNextSpeedStep(true), 1);
        EXPECT_EQ(GetNextSpeedStep(false), 1);
    }
    // Not playing: back to normal speed whatever the step.
    front.speedStep = 4;
    for (PlayState state : {PLAY_PAUSED, PLAY_STOPPED, PLAY_CLOSED}) {
        front.playState = state;
        EXPECT_EQ(GetNextSpeedStep(true), 1);
        EXPECT_EQ(GetNextSpeedStep(false), 1);
    }
}

}  // namespace
}  // namespace orv
