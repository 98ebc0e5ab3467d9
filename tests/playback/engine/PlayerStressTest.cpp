// Open, play, seek and close, over and over, with two players at a time as the two channels
// do (the companion at half the frame rate). Under the sanitizers any leak or race shows.
#include <random>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "PlayerWindow.h"

namespace orv::enginetest {
namespace {

using mediatest::StripeMoviePath;

TEST(PlayerStress, OpenPlaySeekCloseCycles) {
    const mediatest::StripeMoviePair pair = mediatest::SmallFrontAndHalfRateCompanion();
    const std::string paths[2] = {StripeMoviePath(pair.front), StripeMoviePath(pair.companion)};
    const float fps[2] = {30.0f, 15.0f};
    std::mt19937 random(11);
    for (int cycle = 0; cycle < ORV_PLAYER_CYCLES; ++cycle) {
        PlayerWindow windows[2];
        ComPtr<CPlayer> players[2];
        for (int i = 0; i < 2; ++i) {
            players[i] = OpenReady(paths[i], windows[i]);
            ASSERT_TRUE(players[i]) << "cycle " << cycle;
        }
        for (auto& p : players) ASSERT_EQ(p->Play(), S_OK);
        for (auto& w : windows) ASSERT_TRUE(w.WaitForCount(2)) << "cycle " << cycle;
        const int frame = int(random() % 44);
        for (int i = 0; i < 2; ++i) {
            windows[i].ClearFrames();
            ASSERT_EQ(players[i]->SeekTo(ChannelFrameTime(frame * (i == 0 ? 2 : 1), fps[i])), S_OK);
        }
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(windows[i].WaitForNumber(frame * (i == 0 ? 2 : 1))) << "cycle " << cycle << " channel " << i;
        if (cycle % 3 == 0) players[0]->Play();  // closing while playing, too
        for (auto& p : players) EXPECT_TRUE(ClosePlayer(p)) << "cycle " << cycle;
    }
}

}  // namespace
}  // namespace orv::enginetest
