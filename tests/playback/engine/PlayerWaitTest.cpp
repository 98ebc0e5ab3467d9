// What the window's thread waits for the players: half a second at the most in one call, all
// its waits together, and a player that does not answer is reported and left behind. The players
// read pipes that stop delivering: a seek past what came keeps a session from answering for
// seconds, as a card that stops answering does.
#include <mutex>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "SessionHelpers.h"
#include "PlayerWindow.h"
#include "StalledPipe.h"
#include "platform/base/ErrorReport.h"
#include "playback/PlayerWaits.h"

namespace orv::enginetest {
namespace {

using mediatest::StalledPipe;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using mediatest::TempPath;

// The reports made while it lives.
class Reports {
public:
    Reports() {
        SetErrorReportHook([this](const std::string&, const std::string& text) {
            std::lock_guard lock(mutex_);
            texts_.push_back(text);
        });
    }
    ~Reports() { SetErrorReportHook(nullptr); }
    std::vector<std::string> Texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

TEST(PlayerWait, PlayersThatDoNotAnswerHoldACallHalfASecondInAllAndAreLeftBehind) {
    StripeMovieSpec params;
    params.frames = 300;
    const std::string movie = StripeMoviePath(params);
    ASSERT_FALSE(movie.empty());
    const std::string fifos[2] = {TempPath("deaf-a.fifo"), TempPath("deaf-b.fifo")};
    StalledPipe pipes[2] = {StalledPipe(movie, fifos[0]), StalledPipe(movie, fifos[1])};
    PlayerWindow windows[2];
    ComPtr<CPlayer> players[2];
    for (int i : {0, 1}) {
        ASSERT_TRUE(pipes[i].Ok());
        players[i] = OpenReady(fifos[i], windows[i]);
        ASSERT_TRUE(players[i]);
        ASSERT_EQ(players[i]->Play(), S_OK);
        ASSERT_TRUE(windows[i].WaitForNumber(5));
        pipes[i].WaitFed();
    }
    // A seek past what the pipe delivered: the session waits seconds for a picture that does
    // not come before it answers anything more.
    const auto deafen = [&](int i) { return players[i]->SeekTo(mediatest::FrameTime(280, 30.0)); };

    Reports reports;
    ASSERT_EQ(deafen(0), S_OK);
    {
        // One call: the first player's wait runs out and leaves it behind. The second, asked
        // only then, has nothing left of the call's half second: it is not waited for, and so
        // not taken for deaf either.
        const PlayerWaitScope call;
        EXPECT_FALSE(players[0]->WaitUntilSettled());
        ASSERT_EQ(deafen(1), S_OK);
        EXPECT_FALSE(players[1]->WaitUntilSettled());
    }
    ASSERT_EQ(reports.Texts().size(), 1u);
    EXPECT_NE(reports.Texts()[0].find(fifos[0]), std::string::npos) << reports.Texts()[0];
    EXPECT_FALSE(players[0]->Answering());
    EXPECT_TRUE(players[1]->Answering());

    // The next call waits for the second and leaves it behind too. One left behind is not
    // waited for, nor reported again.
    EXPECT_FALSE(players[1]->WaitUntilSettled());
    EXPECT_FALSE(players[0]->WaitUntilSettled());
    ASSERT_EQ(reports.Texts().size(), 2u);
    EXPECT_NE(reports.Texts()[1].find(fifos[1]), std::string::npos) << reports.Texts()[1];
    // All that while neither had answered: the waits ended by the call's bound. Closing them
    // neither waits nor reports again.
    EXPECT_FALSE(players[0]->Answering());
    EXPECT_FALSE(players[1]->Answering());
    for (auto& player : players) EXPECT_TRUE(ClosePlayer(player));
    EXPECT_EQ(reports.Texts().size(), 2u);
}

}  // namespace
}  // namespace orv::enginetest
