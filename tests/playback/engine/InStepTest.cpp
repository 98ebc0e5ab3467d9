// The front and the rear channel through seeks made while playing: whatever each decoder needs
// to reach the new position (one key frame a second, or one every ten seconds), both show the
// same moment and their clocks run from the same start. The machine may be busy: the test
// waits for the engine to get there and judges the clocks by the times they report.
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <thread>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "SessionHelpers.h"
#include "StripeMovie.h"
#include "fixtures/WaitUntil.h"
#include "playback/ChannelFacade.h"
#include "playback/engine/Snapshot.h"
#include "playback/engine/Transport.h"

namespace orv::enginetest {
namespace {

using mediatest::ReadStripeNumber;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using fixtures::WaitUntil;

constexpr int kFrontFps = 30;
constexpr int kRearFps = 15;
constexpr int kSeconds = 24;
constexpr LONGLONG kClockTolerance = 20000;  // 2 ms in 100-ns units
// Bounds of the waits, far beyond what an idle machine needs: both seeks and the joint start
// (whose own limits are 5 s each), then a second of playing.
constexpr auto kRestartLimit = 30s;
constexpr auto kInStepLimit = 10s;

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

// Whether the player's clock runs from a start at a position between `lowest` and `highest`
// (100 ns) made after the system time `asked`: read together with the system time, it has not
// run further past `highest` than the system time since `asked`. A clock still running from
// before passes only if it stood between the two at about that moment.
bool RunsFromAStartSince(CPlayer* player, LONGLONG lowest, LONGLONG highest, MFTIME asked) {
    const ComPtr<IMFPresentationClock> clock = player->Clock();
    MFCLOCK_STATE state = MFCLOCK_STATE_INVALID;
    LONGLONG time = 0;
    MFTIME at = 0;
    if (!clock || FAILED(clock->GetState(0, &state)) || state != MFCLOCK_STATE_RUNNING ||
        FAILED(clock->GetCorrelatedTime(0, &time, &at)))
        return false;
    return time >= lowest && time - highest <= at - asked;
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
        // Far enough from the end that both still play for seconds after they started again.
        std::uniform_int_distribution<int> frames(0, kFrontFps * (kSeconds - 6));
        for (int seek = 0; seek < 10; ++seek) {
            const int frame = frames(random);
            // Each clock runs from its own channel's frame, or from the front's when the
            // two are at the same moment.
            const LONGLONG front = MediaTimeOfFrame(frame, Channel(0).frameInterval);
            const LONGLONG rear = MediaTimeOfFrame(frame / 2, Channel(1).frameInterval);
            const MFTIME asked = MFGetSystemTime();
            ASSERT_EQ(SeekChannelsWhilePlaying(frame), 1);
            ASSERT_TRUE(WaitUntil(
                [&] {
                    return RunsFromAStartSince(Player(0).Get(), rear - kClockTolerance, front + kClockTolerance, asked) &&
                           RunsFromAStartSince(Player(1).Get(), rear - kClockTolerance, front + kClockTolerance, asked);
                },
                kRestartLimit))
                << "seek to " << frame << ": the clocks did not start again";
            // A second on, both show the same moment. Each picture is read a moment after the
            // other (a frame may turn in between), and a presenter kept waiting for the
            // processor shows its frame late: the two must come to agree.
            int frontShown = -1, rearShown = -1;
            EXPECT_TRUE(WaitUntil(
                [&] {
                    frontShown = ShownNumber(Player(0).Get());
                    rearShown = ShownNumber(Player(1).Get());
                    return frontShown >= frame + kFrontFps && std::abs(2 * rearShown - frontShown) <= 2;
                },
                kInStepLimit))
                << "seek to " << frame << ": front " << frontShown << ", rear " << rearShown;
            const LONGLONG offset = ClockOffset(Player(0).Get(), Player(1).Get());
            EXPECT_LT(std::llabs(offset), kClockTolerance) << "seek to " << frame;
            EXPECT_EQ(Channel(0).playState, PLAY_PLAYING);
            EXPECT_EQ(Channel(1).playState, PLAY_PLAYING);
        }
        for (int i : {1, 0}) Slots(i).CloseMovie(Channel(i));
    }
}

}  // namespace
}  // namespace orv::enginetest
