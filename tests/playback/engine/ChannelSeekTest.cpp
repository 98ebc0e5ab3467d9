// Seeks, starts and pauses asked of both channels at once, in every order: each seek's picture
// is shown on both, and a picture of an earlier seek is never taken for a later one's. The
// machine may be busy: the test waits for the pictures with generous bounds.
#include <algorithm>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "StripeMovie.h"
#include "fixtures/WaitUntil.h"

namespace orv::enginetest {
namespace {

using fixtures::WaitUntil;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;

constexpr int kFrontFps = 30;
constexpr int kRearFps = 15;  // the rear shows front frame f as its frame f / 2

StripeMovieSpec Movie(int fps) { return {.width = 160, .height = 120, .fpsNum = fps, .frames = fps * 12, .gop = fps}; }

class ChannelSeekTest : public ChannelOpsTest {
protected:
    ChannelSeekTest() { rearWindow_ = true; }

    bool OpenBoth() { return OpenReady(0, StripeMoviePath(Movie(kFrontFps))) && OpenReady(1, StripeMoviePath(Movie(kRearFps))); }
    VideoSurface& Surface(int i) { return i == 0 ? surface_ : rearSurface_; }
    static int FrameOf(int i, int frontFrame) { return i == 0 ? frontFrame : frontFrame / 2; }
    // The channel's presenter shows a picture of the last seek asked of its player.
    bool ShowsLastSeek(int i) {
        const ComPtr<CPlayer> player = Player(i);
        const ComPtr<CMFActivate> activate = player ? player->PresenterActivate() : nullptr;
        const ComPtr<EVRCustomPresenter> presenter = activate ? activate->Presenter() : nullptr;
        LONGLONG time = 0;
        UINT64 seek = 0;
        return presenter && presenter->GetShownSampleTime(&time, &seek) == S_OK && seek >= player->LastSeek();
    }
};

TEST_F(ChannelSeekTest, SeekStartAndPauseAtOnceInAnyOrderShowTheSoughtPictureOnBothChannels) {
    enum Step { kSeek, kPause, kPlay };
    struct Order {
        const char* name;
        std::vector<Step> steps;
    };
    const Order orders[] = {
        {"seek, pause", {kSeek, kPause}},
        {"pause, seek", {kPause, kSeek}},
        {"seek, play, pause", {kSeek, kPlay, kPause}},
        {"play, seek, pause", {kPlay, kSeek, kPause}},
        {"seek, pause, play", {kSeek, kPause, kPlay}},
    };
    ASSERT_TRUE(OpenBoth());
    int frame = 30;
    for (const bool playing : {false, true}) {
        for (const Order& order : orders) {
            SCOPED_TRACE(std::string(order.name) + (playing ? ", from playing" : ", from paused"));
            for (int i : {0, 1}) {
                if (playing) Slots(i).PlayMovie(Channel(i));
                else Slots(i).PauseMovie(Channel(i));
            }
            frame += 24;  // each seek to another key frame's neighbourhood
            std::size_t presented[2];
            for (int i : {0, 1}) presented[i] = Surface(i).Presented();
            // Every step on both channels back to back, channel 1 first, as the window does.
            for (const Step step : order.steps)
                for (int i : {0, 1}) {
                    if (step == kSeek) {
                        ASSERT_EQ(Slots(i).SeekToFrame(Channel(i), FrameOf(i, frame)), 1);
                    } else if (step == kPause) {
                        Slots(i).PauseMovie(Channel(i));
                    } else {
                        Slots(i).PlayMovie(Channel(i));
                    }
                }
            for (int i : {0, 1})
                EXPECT_TRUE(Surface(i).WaitForNumberSince(presented[i], FrameOf(i, frame), 20s))
                    << "channel " << i + 1 << " never showed frame " << FrameOf(i, frame) << "; it showed "
                    << ::testing::PrintToString(Surface(i).NumbersSince(presented[i]));
        }
    }
}

TEST_F(ChannelSeekTest, TwoQuickSeeksWhilePausedShowTheLaterAndNeverTakeTheEarlierForIt) {
    ASSERT_TRUE(OpenBoth());
    for (int i : {0, 1}) Slots(i).SeekToFrame(Channel(i), 0);
    for (int i : {0, 1}) ASSERT_TRUE(WaitUntil([&] { return Slots(i).GetCurrentFrame(Channel(i)) == 0; }, 20s));
    for (const auto& [earlier, later] : {std::pair{120, 240}, std::pair{300, 60}, std::pair{62, 64}}) {
        SCOPED_TRACE("seeks to " + std::to_string(earlier) + ", then " + std::to_string(later));
        std::size_t presented[2];
        for (int i : {0, 1}) presented[i] = Surface(i).Presented();
        for (int i : {0, 1}) ASSERT_EQ(Slots(i).SeekToFrame(Channel(i), FrameOf(i, earlier)), 1);
        for (int i : {0, 1}) ASSERT_EQ(Slots(i).SeekToFrame(Channel(i), FrameOf(i, later)), 1);
        // From the moment the later seek is asked, the frame on screen is the later one's:
        // neither the picture before the seeks nor the earlier seek's counts for it.
        for (int i : {0, 1}) {
            std::vector<int> readings;
            const bool shown = WaitUntil(
                [&] {
                    readings.push_back(Slots(i).GetCurrentFrame(Channel(i)));
                    return ShowsLastSeek(i);
                },
                20s);
            EXPECT_TRUE(shown) << "channel " << i + 1;
            EXPECT_TRUE(std::all_of(readings.begin(), readings.end(), [&](int r) { return r == FrameOf(i, later); }))
                << "channel " << i + 1 << " read " << ::testing::PrintToString(readings);
            // The later picture is the one the window is left with (the presenter counts a
            // picture as shown a moment before the window has it).
            std::vector<int> numbers;
            EXPECT_TRUE(WaitUntil(
                [&] {
                    numbers = Surface(i).NumbersSince(presented[i]);
                    return !numbers.empty() && numbers.back() == FrameOf(i, later);
                },
                20s))
                << "channel " << i + 1 << " was shown " << ::testing::PrintToString(numbers);
        }
    }
}

}  // namespace
}  // namespace orv::enginetest
