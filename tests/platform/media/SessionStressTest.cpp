// Open, play, seek and close, over and over, with two sessions at a time as the two channels
// do (the second movie at half the frame rate). Under the sanitizers any leak or race shows.
#include <random>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "SessionHelpers.h"

namespace orv::mediatest {
namespace {

TEST(MediaSessionStress, OpenPlaySeekCloseCycles) {
    const StripeMoviePair pair = SmallFrontAndHalfRateCompanion();
    const std::string paths[2] = {StripeMoviePath(pair.front), StripeMoviePath(pair.companion)};
    ASSERT_FALSE(paths[0].empty());
    ASSERT_FALSE(paths[1].empty());
    const double fps[2] = {30.0, 15.0};
    std::mt19937 random(7);
    for (int cycle = 0; cycle < ORV_MEDIA_CYCLES; ++cycle) {
        FrameRecorder frames[2];
        Player players[2];
        for (int i = 0; i < 2; ++i) ASSERT_EQ(OpenPlayer(paths[i], {frames[i].Window()}, &players[i]), S_OK);
        for (auto& p : players) ASSERT_TRUE(p.events->WaitFor(MESessionTopologyStatus)) << "cycle " << cycle;
        for (auto& p : players) StartHere(p.session.Get());
        for (auto& f : frames) ASSERT_TRUE(f.WaitForCount(2)) << "cycle " << cycle;
        // Both channels go to the same moment, paused, and show its frame.
        const int frame = int(random() % 44);
        for (int i = 0; i < 2; ++i) {
            frames[i].Clear();
            StartAt(players[i].session.Get(), FrameTime(frame * (i == 0 ? 2 : 1), fps[i]));
            players[i].session->Pause();
        }
        for (int i = 0; i < 2; ++i) {
            const bool ok = frames[i].WaitForNumber(frame * (i == 0 ? 2 : 1));
            if (!ok) {
                std::string seen;
                for (auto& f : frames[i].Frames()) seen += std::to_string(f.number) + " ";
                std::string ev;
                for (auto t : players[i].events->Types()) ev += std::to_string(t) + " ";
                ADD_FAILURE() << "cycle " << cycle << " channel " << i << " frame " << frame << " seen " << seen << " events " << ev;
                return;
            }
        }
        if (cycle % 3 == 0) StartHere(players[0].session.Get());  // closing while playing, too
        for (auto& p : players) EXPECT_TRUE(ClosePlayer(p)) << "cycle " << cycle;
    }
}

}  // namespace
}  // namespace orv::mediatest
