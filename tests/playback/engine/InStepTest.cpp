// The front and the rear channel through seeks made while playing: whatever each decoder needs
// to reach the new position (one key frame a second, or one every ten seconds), both show the
// same moment and their clocks run from the same start.
#include <cmath>
#include <memory>
#include <random>
#include <thread>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "StripeMovie.h"
#include "playback/ChannelFacade.h"
#include "playback/engine/Snapshot.h"

namespace orv::enginetest {
namespace {

using mediatest::ReadStripeNumber;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;

constexpr int kFrontFps = 30;
constexpr int kRearFps = 15;
constexpr int kSeconds = 24;
constexpr LONGLONG kClockTolerance = 20000;  // 2 ms in 100-ns units

StripeMovieSpec Movie(int width, int height, int fps, int keyFrameSeconds) {
    StripeMovieSpec params;
    params.width = width;
    params.height = height;
    params.fpsNum = fps;
    params.frames = fps * kSeconds;
    params.gop = fps * keyFrameSeconds;
    return params;
}

// The number of the picture the channel's presenter shows now (-1: none).
int ShownNumber(CPlayer* player) {
    const ComPtr<IMFVideoDisplayControl> display = player->DisplayControl();
    SIZE size{}, aspect{};
    BITMAPINFOHEADER header;
    BYTE* bits = nullptr;
    DWORD bytes = 0;
    LONGLONG time = 0;
    if (!display || FAILED(display->GetNativeVideoSize(&size, &aspect)) ||
        FAILED(display->GetCurrentImage(&header, &bits, &bytes, &time)))
        return -1;
    const std::unique_ptr<BYTE, void (*)(void*)> grab(bits, CoTaskMemFree);
    return ReadStripeNumber(ImageFromGrab(grab.get(), bytes, header, size.cx, size.cy));
}

// The rear clock's time less the front's, the front's carried on to the moment the rear's
// was read (100 ns).
LONGLONG ClockOffset(CPlayer* front, CPlayer* rear) {
    LONGLONG times[2] = {};
    MFTIME at[2] = {};
    EXPECT_EQ(front->Clock()->GetCorrelatedTime(0, &times[0], &at[0]), S_OK);
    EXPECT_EQ(rear->Clock()->GetCorrelatedTime(0, &times[1], &at[1]), S_OK);
    return times[1] - (times[0] + (at[1] - at[0]));
}

TEST_F(ChannelOpsTest, SeeksWhilePlayingKeepBothChannelsAtTheSameMoment) {
    std::mt19937 random(20261207);
    for (int keyFrameSeconds : {1, 10}) {
        SCOPED_TRACE("key frame every " + std::to_string(keyFrameSeconds) + " s");
        ASSERT_TRUE(OpenReady(0, StripeMoviePath(Movie(320, 240, kFrontFps, keyFrameSeconds))));
        ASSERT_TRUE(OpenReady(1, StripeMoviePath(Movie(160, 120, kRearFps, keyFrameSeconds))));
        ASSERT_EQ(SeekChannelsToFrame(0), 1);
        ASSERT_EQ(PlayChannels(), 1);
        // Far enough from the end that both still play a second later.
        std::uniform_int_distribution<int> frames(0, kFrontFps * (kSeconds - 3));
        for (int seek = 0; seek < 10; ++seek) {
            const int frame = frames(random);
            ASSERT_EQ(SeekChannelsWhilePlaying(frame), 1);
            std::this_thread::sleep_for(1s);
            const LONGLONG offset = ClockOffset(Player(0).Get(), Player(1).Get());
            const int front = ShownNumber(Player(0).Get());
            const int rear = ShownNumber(Player(1).Get());
            EXPECT_LT(std::llabs(offset), kClockTolerance) << "seek to " << frame;
            EXPECT_GT(front, frame) << "seek to " << frame;
            // Each picture is read a moment after the other: a frame may turn in between.
            EXPECT_LE(std::abs(2 * rear - front), 2) << "seek to " << frame << ": front " << front << ", rear " << rear;
            EXPECT_EQ(Channel(0).playState, PLAY_PLAYING);
            EXPECT_EQ(Channel(1).playState, PLAY_PLAYING);
        }
        for (int i : {1, 0}) Slots(i).CloseMovie(Channel(i));
    }
}

}  // namespace
}  // namespace orv::enginetest
