// Play, pause, stop, seeking, the speed steps and the volume through the table's slots.
#include <fstream>
#include <random>
#include <string>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "SessionHelpers.h"
#include "StripeMovie.h"

namespace orv::enginetest {
namespace {

using mediatest::ReadStripeNumber;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using mediatest::WaitForClockState;

StripeMovieSpec Front(bool audio = false) {
    StripeMovieSpec params;
    params.frames = 90;
    params.audio = audio;
    return params;
}

TEST_F(ChannelOpsTest, TransportWithoutAMovieDoesNothing) {
    EXPECT_EQ(Slots(0).PlayMovie(Channel(0)), 1);
    EXPECT_EQ(Slots(0).PauseMovie(Channel(0)), 1);
    EXPECT_EQ(Slots(0).StopMovie(Channel(0)), 1);
    EXPECT_EQ(Channel(0).playState, PLAY_CLOSED);
    EXPECT_EQ(Slots(0).SeekToFrame(Channel(0), 10), 1);
    EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), 0);
    EXPECT_EQ(Slots(0).GetFrameCount(Channel(0)), 0);
    EXPECT_EQ(Slots(0).RefreshFrame(Channel(0)), 0);
    EXPECT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), 2), 1);
    EXPECT_EQ(Channel(0).speedStep, 2);
}

TEST_F(ChannelOpsTest, PlayPauseAndStopMoveThePlayState) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Front())));
    EXPECT_EQ(Slots(0).PlayMovie(Channel(0)), 1);
    EXPECT_EQ(Channel(0).playState, PLAY_PLAYING);
    ASSERT_TRUE(surface_.WaitForNumberFrom(5));
    EXPECT_EQ(Slots(0).PauseMovie(Channel(0)), 1);
    EXPECT_EQ(Channel(0).playState, PLAY_PAUSED);
    ASSERT_TRUE(WaitForClockState(Player(0)->Clock().Get(), MFCLOCK_STATE_PAUSED));
    const std::int32_t paused = Slots(0).GetCurrentFrame(Channel(0));
    EXPECT_GT(paused, 0);
    EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), paused);  // the clock stands
    // The current frame is the picture's on screen, and a repaint does not move it.
    EXPECT_EQ(ReadStripeNumber(surface_.LastPicture()), paused);
    EXPECT_EQ(Slots(0).RefreshFrame(Channel(0)), 1);  // drawn again on this thread
    EXPECT_EQ(ReadStripeNumber(surface_.LastPicture()), paused);
    EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), paused);

    EXPECT_EQ(Slots(0).PlayMovie(Channel(0)), 1);
    EXPECT_EQ(Slots(0).StopMovie(Channel(0)), 1);
    EXPECT_EQ(Channel(0).playState, PLAY_STOPPED);
    // Stopping keeps the position, as pausing does.
    EXPECT_GE(Slots(0).GetCurrentFrame(Channel(0)), paused);
}

TEST_F(ChannelOpsTest, AFrameSoughtIsTheFrameReadBackAndShown) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Front())));
    // Every frame of the first half second and some later ones: a truncating conversion
    // reads about one in eight of them back as the frame before.
    for (int frame : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 23, 41, 59, 77, 88}) {
        ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), frame), 1);
        EXPECT_TRUE(surface_.WaitForNumber(frame)) << frame;
        EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), frame);
        EXPECT_EQ(Channel(0).currentFrame, frame);
    }
    // A seek keeps the play state.
    EXPECT_EQ(Channel(0).playState, PLAY_STOPPED);
    EXPECT_EQ(Slots(0).LocateFrame(Channel(0), 30), 1);
    EXPECT_TRUE(surface_.WaitForNumber(30));
}

TEST_F(ChannelOpsTest, SeeksOutsideTheMovieStopAtItsEnds) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Front())));
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 500), 1);
    EXPECT_TRUE(surface_.WaitForNumber(89));
    EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), 89);

    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), -7), 1);
    EXPECT_TRUE(surface_.WaitForNumber(0));
}

struct SpeedRow {
    int from;  // the step the channel is at
    int step;  // the step asked for
    float rate;
    bool thin;
    int after;  // the step stored
};

TEST_F(ChannelOpsTest, EverySpeedStepPlaysAtItsRate) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Front())));
    const ComPtr<CPlayer> player = Player(0);
    ASSERT_TRUE(player);
    const SpeedRow rows[] = {
        {1, 4, 4.0f, true, 4},     {1, 2, 2.0f, false, 2},   {4, 1, 1.0f, false, 1},
        {1, -1, 0.5f, false, -2},  {-2, -1, 1.0f, false, 1}, {4, -1, 1.0f, false, -1},
        {1, -2, 0.5f, false, -2},  {1, -4, 0.25f, false, -4}, {2, 0, 1.0f, false, 0},
        {2, 3, 1.0f, false, 3},    {2, -3, 1.0f, false, -3}, {2, 9, 1.0f, false, 9},
    };
    for (const SpeedRow& row : rows) {
        Channel(0).speedStep = row.from;
        EXPECT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), row.step), 1);
        EXPECT_EQ(Channel(0).speedStep, row.after) << row.from << " " << row.step;
        BOOL thin = -1;
        float rate = 0;
        ComPtr<IMFRateControl> control = player->RateControl();
        ASSERT_TRUE(control);
        control->GetRate(&thin, &rate);
        EXPECT_FLOAT_EQ(rate, row.rate) << row.from << " " << row.step;
        EXPECT_EQ(thin, row.thin ? TRUE : FALSE) << row.from << " " << row.step;
    }
}

TEST_F(ChannelOpsTest, SeeksLandOnTheirFrameWhateverSpeedPlayedBefore) {
    StripeMovieSpec params = Front();
    params.frames = 240;  // 8 s, so that even step 4 plays a while
    params.disposableB = true;  // frames that thinning skips
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(params)));
    std::mt19937 random(4711);
    std::uniform_int_distribution<int> frames(0, params.frames - 1);
    for (int step : {4, 2, 1, -2, -4}) {
        ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 0), 1);
        ASSERT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), step), 1);
        ASSERT_EQ(Slots(0).PlayMovie(Channel(0)), 1);
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(surface_.WaitForNewPicture()) << step;
        ASSERT_EQ(Slots(0).PauseMovie(Channel(0)), 1);
        for (int seek = 0; seek < 10; ++seek) {
            const int frame = frames(random);
            ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), frame), 1);
            EXPECT_TRUE(surface_.WaitForNumber(frame)) << "step " << step << ", frame " << frame;
            EXPECT_EQ(ReadStripeNumber(surface_.LastPicture()), frame) << "step " << step;
        }
    }
}

TEST_F(ChannelOpsTest, ASeekPastWhereTheFileWasCutFailsAndChangesNothing) {
    StripeMovieSpec params = Front();
    params.frames = 300;  // the index first, so the cut file still knows every frame
    const std::string bytes = mediatest::ReadAll(StripeMoviePath(params));
    const std::string cut = mediatest::TempPath("cut-at-30-percent.mp4");
    {
        std::ofstream out(cut, std::ios::binary);
        out << bytes.substr(0, bytes.size() * 3 / 10);
    }
    ASSERT_TRUE(OpenReady(0, cut));
    EXPECT_EQ(Slots(0).GetFrameCount(Channel(0)), 300);
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 20), 1);
    ASSERT_TRUE(surface_.WaitForNumber(20));
    for (PlayState state : {PLAY_STOPPED, PLAY_PLAYING}) {
        if (state == PLAY_PLAYING) {
            ASSERT_EQ(Slots(0).PlayMovie(Channel(0)), 1);
        }
        EXPECT_EQ(Slots(0).SeekToFrame(Channel(0), 250), 0);
        EXPECT_EQ(Slots(0).LocateFrame(Channel(0), 299), 0);
        EXPECT_EQ(Channel(0).playState, state);
    }
    // Playing went on from frame 20; paused, the picture and the frame stand where it is.
    ASSERT_EQ(Slots(0).PauseMovie(Channel(0)), 1);
    ASSERT_TRUE(WaitForClockState(Player(0)->Clock().Get(), MFCLOCK_STATE_PAUSED));
    const std::int32_t frame = Slots(0).GetCurrentFrame(Channel(0));
    EXPECT_GE(frame, 20);
    EXPECT_LT(frame, 90);
    EXPECT_EQ(Slots(0).SeekToFrame(Channel(0), 250), 0);
    EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), frame);
    // What the file holds is still sought as before.
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 30), 1);
    EXPECT_TRUE(surface_.WaitForNumber(30));
}

// The level of every sound channel of the player, or -1 when they differ.
float Level(CPlayer* player) {
    ComPtr<IMFAudioStreamVolume> volume = player->StreamVolume();
    UINT32 channels = 0;
    if (!volume || FAILED(volume->GetChannelCount(&channels)) || channels == 0) return -2;
    float first = -1;
    for (UINT32 c = 0; c < channels; ++c) {
        float level = -1;
        volume->GetChannelVolume(c, &level);
        if (c == 0) first = level;
        if (level != first) return -1;
    }
    return first;
}

TEST_F(ChannelOpsTest, VolumeSoundsOnlyAtTheNormalStep) {
    // Without a movie the volume is not taken.
    EXPECT_EQ(Slots(0).SetVolume(Channel(0), 1234), 1);
    EXPECT_EQ(Channel(0).volume, 0);

    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Front(true))));
    const ComPtr<CPlayer> player = Player(0);
    EXPECT_EQ(Slots(0).SetVolume(Channel(0), 40000), 1);
    EXPECT_EQ(Channel(0).volume, 40000);
    EXPECT_FLOAT_EQ(Level(player.Get()), 40000.0f / 65535.0f);

    EXPECT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), 2), 1);
    EXPECT_FLOAT_EQ(Level(player.Get()), 0.0f);
    // Away from the normal step the volume is kept but not played.
    EXPECT_EQ(Slots(0).SetVolume(Channel(0), 65535), 1);
    EXPECT_EQ(Channel(0).volume, 65535);
    EXPECT_FLOAT_EQ(Level(player.Get()), 0.0f);
    EXPECT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), -1), 1);  // from 2: normal speed, step -1
    EXPECT_FLOAT_EQ(Level(player.Get()), 0.0f);

    EXPECT_EQ(Slots(0).SetPlaybackSpeed(Channel(0), 1), 1);
    EXPECT_FLOAT_EQ(Level(player.Get()), 1.0f);
    EXPECT_EQ(Slots(0).SetVolume(Channel(0), 0), 1);
    EXPECT_FLOAT_EQ(Level(player.Get()), 0.0f);
    EXPECT_EQ(Slots(0).SetVolume(Channel(0), 99999), 1);  // held to the range
    EXPECT_EQ(Channel(0).volume, 65535);
}

}  // namespace
}  // namespace orv::enginetest
