// A speed step on both channels while they play: the call that makes it returns at once, so
// the window goes on painting (no picture is held past its frame), and both clocks take the
// new rate as of one moment. Judged by the pictures the presenter hands over and by the
// clocks' own readings.
#include <algorithm>
#include <climits>
#include <cmath>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "SessionHelpers.h"
#include "StripeMovie.h"
#include "playback/ChannelFacade.h"

namespace orv::enginetest {
namespace {

using mediatest::ClockRunsAtRate;
using mediatest::StripeMoviePath;

constexpr LONGLONG kClockTolerance = 20000;  // 2 ms in 100-ns units

// The rear clock's time less the front's, the front's carried on at its rate to the moment
// the rear's was read (100 ns).
LONGLONG ClockOffset(CPlayer* front, CPlayer* rear, float rate) {
    LONGLONG times[2] = {};
    MFTIME at[2] = {};
    EXPECT_EQ(front->Clock()->GetCorrelatedTime(0, &times[0], &at[0]), S_OK);
    EXPECT_EQ(rear->Clock()->GetCorrelatedTime(0, &times[1], &at[1]), S_OK);
    return times[1] - (times[0] + LONGLONG(std::llround(double(rate) * double(at[1] - at[0]))));
}

TEST_F(ChannelOpsTest, ASpeedStepHoldsNoPictureAndBothChannelsChangeAtTheSameMoment) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath({.width = 160, .height = 120, .fpsNum = 30, .frames = 1200, .gop = 30})));
    ASSERT_TRUE(OpenReady(1, StripeMoviePath({.width = 160, .height = 120, .fpsNum = 15, .frames = 600, .gop = 15})));
    ASSERT_EQ(SeekChannelsToFrame(0), 1);
    ASSERT_EQ(PlayChannels(), 1);
    ASSERT_TRUE(surface_.WaitForNumberFrom(3, 20s));
    struct Step {
        int step;
        float rate;
    };
    // Each step seen from the window: how many pictures were handed over while the call ran,
    // and so could not be painted. One busy moment of the machine may make a call slow; the
    // fewest over the steps is what the call itself costs.
    int fewest = INT_MAX;
    for (const Step s : {Step{2, 2.0f}, Step{4, 4.0f}, Step{2, 2.0f}, Step{1, 1.0f}, Step{-1, 0.5f}, Step{1, 1.0f}}) {
        SCOPED_TRACE("step " + std::to_string(s.step));
        const std::size_t before = surface_.Presented();
        ASSERT_EQ(SetChannelsSpeed(s.step), 1);
        if (s.rate >= 1.0f) fewest = std::min(fewest, int(surface_.Presented() - before));
        for (int i : {0, 1}) ASSERT_TRUE(ClockRunsAtRate(Player(i)->Clock().Get(), s.rate, 20s));
        EXPECT_LT(std::llabs(ClockOffset(Player(0).Get(), Player(1).Get(), s.rate)), kClockTolerance);
        // The pictures go on at the new pace.
        const int shown = surface_.NumbersSince(surface_.Presented() - 1).front();
        EXPECT_TRUE(surface_.WaitForNumberFrom(shown + 2, 20s)) << "after frame " << shown;
    }
    EXPECT_LE(fewest, 1) << "pictures handed over while the speed changed";
}

}  // namespace
}  // namespace orv::enginetest
