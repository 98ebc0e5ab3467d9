// Two players as the two channels use them: a front movie and its companion at half the frame
// rate, started, moved and sped up together, stay within one companion frame of each other.
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "PlayerWindow.h"
#include "SessionHelpers.h"

namespace orv::enginetest {
namespace {

using mediatest::ClockRunsAtRate;
using mediatest::StripeMovieSpec;
using mediatest::StripeMoviePath;

constexpr float kFrontFps = 30.0f;
constexpr float kCompanionFps = 15.0f;
constexpr LONGLONG kCompanionFrame = 666667;  // 100 ns

struct Pair {
    PlayerWindow windows[2];
    ComPtr<CPlayer> players[2];
};

// The clocks of both, several times over a while, once both run at the rate. Each clock is
// read with the system time, and the front's time is carried on to the moment the companion's
// was read, so a test thread kept waiting between the two readings does not count.
void ExpectInStep(Pair& pair, float rate, const std::string& when) {
    const ComPtr<IMFPresentationClock> clocks[2] = {pair.players[0]->Clock(), pair.players[1]->Clock()};
    for (const auto& clock : clocks) ASSERT_TRUE(ClockRunsAtRate(clock.Get(), rate)) << when;
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(120ms);
        LONGLONG front = 0, companion = 0;
        MFTIME frontAt = 0, companionAt = 0;
        ASSERT_EQ(clocks[0]->GetCorrelatedTime(0, &front, &frontAt), S_OK);
        ASSERT_EQ(clocks[1]->GetCorrelatedTime(0, &companion, &companionAt), S_OK);
        const double frontThen = double(front) + double(rate) * double(companionAt - frontAt);
        EXPECT_LE(std::fabs(frontThen - double(companion)), double(kCompanionFrame)) << when << " sample " << i;
    }
}

TEST(PlayerSync, FrontAndHalfRateCompanionStayWithinOneFrame) {
    StripeMovieSpec front;
    front.frames = 600;  // 20 seconds
    front.gop = 30;
    front.audio = true;
    StripeMovieSpec companion = front;
    companion.fpsNum = 15;
    companion.frames = 300;
    companion.gop = 15;
    companion.audio = false;
    Pair pair;
    pair.players[0] = OpenReady(StripeMoviePath(front), pair.windows[0]);
    pair.players[1] = OpenReady(StripeMoviePath(companion), pair.windows[1]);
    ASSERT_TRUE(pair.players[0] && pair.players[1]);

    // Both go to the same moment, paused, and show its frame exactly; from there they play.
    for (int companionFrame : {0, 37, 120, 3}) {
        for (auto& w : pair.windows) w.ClearFrames();
        ASSERT_EQ(pair.players[0]->SeekTo(ChannelFrameTime(2 * companionFrame, kFrontFps)), S_OK);
        ASSERT_EQ(pair.players[1]->SeekTo(ChannelFrameTime(companionFrame, kCompanionFps)), S_OK);
        ASSERT_TRUE(pair.windows[0].WaitForNumber(2 * companionFrame));
        ASSERT_TRUE(pair.windows[1].WaitForNumber(companionFrame));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(pair.windows[0].LastNumber(), 2 * companionFrame);
        EXPECT_EQ(pair.windows[1].LastNumber(), companionFrame);
        // As the channels start: together, once both have their picture (however long each
        // waits for the processor).
        const auto gate = StartGate::Create(10s);
        for (auto& p : pair.players) ASSERT_EQ(p->Play(gate), S_OK);
        gate->Seal();
        ExpectInStep(pair, 1.0f, "playing");
    }

    // As the channels change their speed: both clocks as of one moment.
    for (float rate : {2.0f, 0.5f, 4.0f, 1.0f}) {
        const auto moment = std::make_shared<SharedMoment>();
        for (auto& p : pair.players) ASSERT_EQ(p->SetRate(rate > 2.0f, rate, moment), S_OK);
        ExpectInStep(pair, rate, "rate " + std::to_string(rate));
    }
    for (auto& p : pair.players) EXPECT_TRUE(ClosePlayer(p));
}

}  // namespace
}  // namespace orv::enginetest
