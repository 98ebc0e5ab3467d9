// The player end to end on movies whose pictures carry their frame numbers: what its window
// is shown and posted, and what its state and services say.
#include <cmath>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "PlayerWindow.h"
#include "SessionHelpers.h"
#include "StalledPipe.h"
#include "playback/PlayerWaits.h"

namespace orv::enginetest {
namespace {

using mediatest::ClockRunsAtRate;
using mediatest::SpoilCodec;
using mediatest::StalledPipe;
using mediatest::StripeMovieSpec;
using mediatest::StripeMoviePath;
using mediatest::TempPath;

constexpr float kFps = 30.0f;

StripeMovieSpec WithAudio() {
    StripeMovieSpec s;  // 320 x 240, 30 per second, 60 frames, key frame every 12
    s.audio = true;
    return s;
}

TEST(Player, PlaysPausesAndPostsTheEndAfterTheLastFrame) {
    PlayerWindow window;
    auto player = OpenReady(StripeMoviePath({}), window);
    ASSERT_TRUE(player);
    EXPECT_EQ(player->GetState(), PLAYER_STOPPED);
    EXPECT_TRUE(player->DisplayControl());
    EXPECT_TRUE(player->Clock());
    EXPECT_TRUE(player->RateControl());
    EXPECT_EQ(player->Pause(), S_FALSE);  // nothing to pause yet

    ASSERT_EQ(player->Play(), S_OK);
    EXPECT_EQ(player->GetState(), PLAYER_STARTED);
    EXPECT_EQ(player->Play(), MF_E_INVALIDREQUEST);
    ASSERT_TRUE(window.WaitForNumber(10));
    ASSERT_EQ(player->Pause(), S_OK);
    EXPECT_EQ(player->GetState(), PLAYER_PAUSED);
    // The pause has been carried out when it returns: the clock stands, the picture stays.
    MFCLOCK_STATE clockState = MFCLOCK_STATE_INVALID;
    player->Clock()->GetState(0, &clockState);
    EXPECT_EQ(clockState, MFCLOCK_STATE_PAUSED);
    const LONGLONG held = ClockTime(player.Get());
    const int picture = window.LastNumber();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ClockTime(player.Get()), held);
    // A presenter kept from the processor may yet show the frame that was due at the pause,
    // but none after it.
    EXPECT_GE(window.LastNumber(), picture);
    EXPECT_LE(window.LastNumber(), picture + 1);

    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForMessage(WM_APP_PLAYER_ENDED));
    const auto ended = window.Messages().back();
    EXPECT_EQ(ended.wParam, 0u);
    EXPECT_EQ(ended.lParam, 0);
    EXPECT_EQ(player->GetState(), PLAYER_STOPPED);
    // Every frame once, in order, the last one before the end was posted.
    const auto shown = window.Frames();
    ASSERT_EQ(shown.size(), 60u);
    for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].number, int(i));
    EXPECT_LE(shown.back().when, ended.when);
    EXPECT_EQ(window.Count(WM_APP_PLAYER_READY), 1);
    EXPECT_NE(player->OpenTag(), 0u);  // the notice tells which open is ready
    EXPECT_EQ(window.Messages().front().wParam, WPARAM(player->OpenTag()));

    // Played again after the end, the movie starts from its beginning.
    window.ClearFrames();
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForMessage(WM_APP_PLAYER_ENDED));
    EXPECT_EQ(window.Frames().front().number, 0);
    EXPECT_EQ(window.Count(WM_APP_PLAYER_ENDED), 2);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, SeekShowsExactlyThatFrameAndLeavesThePlayerPaused) {
    PlayerWindow window;
    auto player = OpenReady(StripeMoviePath({}), window);
    ASSERT_TRUE(player);
    // Key frames at 0, 12, 24 ...; B-frames make the frames around them come out of order.
    for (int f : {0, 1, 11, 12, 13, 35, 59, 5}) {
        window.ClearFrames();
        ASSERT_EQ(player->SeekTo(ChannelFrameTime(f, kFps)), S_OK);
        EXPECT_EQ(player->GetState(), PLAYER_PAUSED);
        ASSERT_TRUE(window.WaitForNumber(f)) << "frame " << f;
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(window.LastNumber(), f);
        EXPECT_NEAR(double(ClockTime(player.Get())), double(ChannelFrameTime(f, kFps)), 10.0) << "frame " << f;
    }
    // A seek while playing stops at the frame; playing again goes on from there.
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForCount(3));
    window.ClearFrames();
    ASSERT_EQ(player->SeekTo(ChannelFrameTime(40, kFps)), S_OK);
    EXPECT_EQ(player->GetState(), PLAYER_PAUSED);
    ASSERT_TRUE(window.WaitForNumber(40));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(window.LastNumber(), 40);
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForNumber(43));
    // Frames already on their way when the seek was asked for may come first.
    const auto shown = window.Frames();
    std::size_t at = 0;
    while (at < shown.size() && shown[at].number != 40) ++at;
    for (std::size_t i = at + 1; i < shown.size(); ++i) EXPECT_EQ(shown[i].number, shown[i - 1].number + 1);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, RatesAdvanceTheClockAtThatRate) {
    StripeMovieSpec params = WithAudio();
    params.width = 160;
    params.height = 120;
    params.frames = 900;  // 30 seconds: long enough for rate 4 without reaching the end
    params.gop = 30;
    PlayerWindow window;
    auto player = OpenReady(StripeMoviePath(params), window);
    ASSERT_TRUE(player);
    auto rates = player->RateControl();
    ASSERT_TRUE(rates);
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForCount(2));
    for (float rate : {0.25f, 0.5f, 2.0f, 4.0f}) {
        ASSERT_EQ(rates->SetRate(rate > 2.0f, rate), S_OK);
        EXPECT_TRUE(ClockRunsAtRate(player->Clock().Get(), rate)) << "rate " << rate;
    }
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, VolumeNeedsSound) {
    PlayerWindow silent;
    auto player = OpenReady(StripeMoviePath({}), silent);
    ASSERT_TRUE(player);
    EXPECT_FALSE(player->StreamVolume());
    EXPECT_EQ(player->SetVolume(30000), E_POINTER);
    EXPECT_EQ(player->GetVolume(), 0u);
    EXPECT_TRUE(ClosePlayer(player));

    PlayerWindow window;
    player = OpenReady(StripeMoviePath(WithAudio()), window);
    ASSERT_TRUE(player);
    auto volume = player->StreamVolume();
    ASSERT_TRUE(volume);
    EXPECT_EQ(player->SetVolume(32768), S_OK);
    EXPECT_EQ(player->GetVolume(), 32768u);
    float level = 0;
    EXPECT_EQ(volume->GetChannelVolume(0, &level), S_OK);
    EXPECT_NEAR(level, 32768.0 / 65535.0, 1e-6);
    // Above full: refused, and the last volume stays.
    EXPECT_EQ(player->SetVolume(70000), E_INVALIDARG);
    EXPECT_EQ(player->GetVolume(), 32768u);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, SoundThatCannotBeRenderedIsLeftOutAndTheMoviePlays) {
    const std::string path = TempPath("spoiled-audio.mp4");
    ASSERT_TRUE(SpoilCodec(StripeMoviePath(WithAudio()), path, "mp4a", "esds"));
    PlayerWindow window;
    auto player = OpenReady(path, window);
    ASSERT_TRUE(player);
    EXPECT_FALSE(player->StreamVolume());
    EXPECT_EQ(player->SetVolume(1000), E_POINTER);
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForMessage(WM_APP_PLAYER_ENDED));
    EXPECT_EQ(window.LastNumber(), 59);
    EXPECT_EQ(window.Count(WM_APP_PLAYER_READY), 1);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, PictureThatCannotBeDecodedNeverGetsReadyAndClosesCleanly) {
    const std::string path = TempPath("spoiled-video.mp4");
    ASSERT_TRUE(SpoilCodec(StripeMoviePath(WithAudio()), path, "avc1", "avcC"));
    PlayerWindow window;
    ComPtr<CPlayer> player;
    ASSERT_EQ(CPlayer::CreateInstance(window.Handle(), player.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(player->OpenFile(path), S_OK);  // the session answers later
    EXPECT_FALSE(window.WaitForMessage(WM_APP_PLAYER_READY, 1s));
    EXPECT_EQ(player->GetState(), PLAYER_OPEN_PENDING);
    EXPECT_FALSE(player->DisplayControl());
    EXPECT_EQ(player->Play(), MF_E_INVALIDREQUEST);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST(Player, StreamsTheEngineDoesNotRenderLeaveTheMoviePlayable) {
    for (bool timecode : {true, false}) {
        StripeMovieSpec params;
        params.frames = 20;
        params.timecode = timecode;
        params.subtitle = !timecode;
        PlayerWindow window;
        auto player = OpenReady(StripeMoviePath(params), window);
        ASSERT_TRUE(player);
        ASSERT_EQ(player->Play(), S_OK);
        EXPECT_TRUE(window.WaitForMessage(WM_APP_PLAYER_ENDED));
        EXPECT_EQ(window.LastNumber(), 19);
        EXPECT_TRUE(ClosePlayer(player));
    }
}

TEST(Player, FailedOpenLeavesNothingOpen) {
    const std::string text = TempPath("not-a-movie.mp4");
    std::ofstream(text) << "plain text, not a movie";
    PlayerWindow window;
    ComPtr<CPlayer> player;
    ASSERT_EQ(CPlayer::CreateInstance(window.Handle(), player.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(player->OpenFile(TempPath("missing.mp4")), E_FILE_NOT_FOUND);
    EXPECT_EQ(player->GetState(), PLAYER_CLOSED);
    EXPECT_FALSE(player->Session());
    EXPECT_EQ(player->OpenFile(text), MF_E_UNSUPPORTED_BYTESTREAM_TYPE);
    EXPECT_EQ(player->GetState(), PLAYER_CLOSED);
    EXPECT_FALSE(player->Source());
    EXPECT_EQ(player->Play(), MF_E_INVALIDREQUEST);
    EXPECT_EQ(player->SeekTo(0), E_UNEXPECTED);
    // The same player opens a movie after the failures; the leak checker sees the rest.
    ASSERT_EQ(player->OpenFile(StripeMoviePath({})), S_OK);
    EXPECT_TRUE(window.WaitForReady(player->OpenTag()));
    EXPECT_TRUE(ClosePlayer(player));
    EXPECT_EQ(window.Count(WM_APP_PLAYER_ENDED), 0);
}

TEST(Player, ClosesInEveryStateAndLetsGoOfEveryService) {
    StripeMovieSpec params = WithAudio();
    params.frames = 150;
    const std::string path = StripeMoviePath(params);
    PlayerWindow window;
    ComPtr<CPlayer> player;
    ASSERT_EQ(CPlayer::CreateInstance(window.Handle(), player.ReleaseAndGetAddressOf()), S_OK);
    // Right after the open, before the session has answered.
    ASSERT_EQ(player->OpenFile(path), S_OK);
    EXPECT_EQ(player->CloseSession(), S_OK);
    EXPECT_EQ(player->GetState(), PLAYER_CLOSED);
    // Playing; then a second close, with nothing open. The first open may still have said it was
    // ready before its close: only the second open's notice counts.
    ASSERT_EQ(player->OpenFile(path), S_OK);
    ASSERT_TRUE(window.WaitForReady(player->OpenTag()));
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForCount(5));
    auto display = player->DisplayControl();  // a caller may still hold a service
    EXPECT_EQ(player->CloseSession(), S_OK);
    EXPECT_EQ(player->GetState(), PLAYER_CLOSED);
    for (bool gone : {!player->Session(), !player->Source(), !player->Clock(), !player->RateControl(),
                      !player->RateSupport(), !player->StreamVolume(), !player->DisplayControl(),
                      !player->MixerControl(), !player->MixerBitmap(), !player->PresenterActivate()})
        EXPECT_TRUE(gone);
    DWORD mode = 99;
    EXPECT_EQ(display->GetAspectRatioMode(&mode), S_OK);  // the presenter is shut down, still callable
    display.Reset();
    EXPECT_EQ(player->CloseSession(), S_OK);
    // Nothing was posted by a session that was closed.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(window.Count(WM_APP_PLAYER_ENDED), 0);
    player.Reset();
}

TEST(Player, CloseReturnsWithinTheBoundWhenReadingHangs) {
    // A pipe that delivers the first part of a movie and then nothing more, without ending.
    StripeMovieSpec params;
    params.frames = 300;
    const std::string movie = StripeMoviePath(params);
    ASSERT_FALSE(movie.empty());
    const std::string fifo = TempPath("stalled.fifo");
    StalledPipe pipe(movie, fifo);
    ASSERT_TRUE(pipe.Ok());
    PlayerWindow window;
    auto player = OpenReady(fifo, window);
    ASSERT_TRUE(player);
    ASSERT_EQ(player->Play(), S_OK);
    ASSERT_TRUE(window.WaitForNumber(5));
    pipe.WaitFed();
    std::this_thread::sleep_for(200ms);
    // The pipe stays stalled until the end of the test: a close that waited for the reading
    // would never return. It waits within its call's budget; the session's own shut-down
    // goes on without it.
    EXPECT_TRUE(ClosePlayer(player));
}

}  // namespace
}  // namespace orv::enginetest
