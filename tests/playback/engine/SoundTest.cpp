// The player's sound on a real sound server: a movie whose track is a 440 Hz tone in bursts
// (0.3 s from every half second past the full second) is played, and the server's null sink
// is recorded. The tone must come out at its pitch, at the level the volume asks for, not at
// all at double speed, and in step with the picture: each burst heard when the player's clock
// says its picture is due. Without a server to start, the test says why and is skipped (the
// player then uses its silent output).
//
// On a machine busy with other work the server or the player may be kept from the processor
// long enough for the sink to run dry: it then plays silence in place of what came late. The
// movie is played again until each burst was heard whole once, and each is judged on that.
// Stopping the server on purpose makes the sink run dry where the test wants it: the sound
// must come back to where it was against the clock.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "PlayerWindow.h"
#include "SessionHelpers.h"
#include "SoundServer.h"
#include "StripeMovie.h"

namespace orv::enginetest {
namespace {

using mediatest::FrameTime;
using mediatest::RunFfmpeg;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using mediatest::TempPath;
using mediatest::WaitForClockState;
using Steady = std::chrono::steady_clock;

constexpr int kFps = 30;
constexpr int kSeconds = 6;
constexpr double kTone = 440.0;
constexpr double kAmplitude = 0.5;   // of full scale
constexpr double kBurstStart = 0.5;  // seconds past each full second
constexpr double kBurstLength = 0.3;
constexpr double kSyncLimitS = 0.060;
// A burst heard whole lasts its length within this (s) and is nowhere quieter than a fifth of
// its amplitude for longer than kLongestDip (s): a sine's own dips around its zero crossings
// last a seventh of a millisecond.
constexpr double kWholeSlackS = 0.005;
constexpr double kLongestDip = 0.001;
// Bursts are told apart by the silence between them (0.7 s); a gap inside one is far shorter.
constexpr double kBetweenBurstsS = 0.35;
// What the device and the sink may still hold when the player pauses (s): the device's buffer
// and more.
constexpr double kDeviceHoldS = 0.5;
// Takes listened to at the most for every burst to be heard whole once.
constexpr int kTakes = 8;
constexpr auto kTakeLimit = 60s;  // for a take to reach its last picture, however busy the machine

// The stripe movie with the tone bursts as its sound (AAC).
std::string BurstMovie() {
    StripeMovieSpec params;
    params.width = 160;
    params.height = 120;
    params.fpsNum = kFps;
    params.frames = kFps * kSeconds;
    params.gop = kFps;
    const std::string pictures = StripeMoviePath(params);
    const std::string path = TempPath("tone-bursts.mp4");
    char expression[160];
    std::snprintf(expression, sizeof expression, "aevalsrc=if(between(mod(t\\,1)\\,%.2f\\,%.2f)\\,%.2f*sin(2*PI*%.0f*t)\\,0):s=%d:d=%d",
                  kBurstStart, kBurstStart + kBurstLength, kAmplitude, kTone, SoundServer::kRate, kSeconds);
    std::string error;
    if (pictures.empty() || RunFfmpeg({"-i", pictures, "-f", "lavfi", "-i", expression, "-map", "0:v", "-map", "1:a",
                                       "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", "-f", "mp4", path},
                                      {}, &error) != 0) {
        ADD_FAILURE() << error;
        return {};
    }
    return path;
}

// The bursts in a recording: from the first to the last sample louder than a fifth of the
// tone's amplitude, apart from the next by at least kBetweenBurstsS.
struct Burst {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t longestDip = 0;  // samples, the longest quieter run inside
    bool Whole() const {
        return std::fabs(double(last + 1 - first) / SoundServer::kRate - kBurstLength) <= kWholeSlackS &&
               double(longestDip) / SoundServer::kRate <= kLongestDip;
    }
};
std::vector<Burst> Bursts(const std::vector<std::int16_t>& s) {
    const int threshold = int(kAmplitude * 32767 / 5);
    const auto between = std::size_t(SoundServer::kRate * kBetweenBurstsS);
    std::vector<Burst> bursts;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(int(s[i])) < threshold) continue;
        if (bursts.empty() || i - bursts.back().last > between) {
            bursts.push_back(Burst{i, i, 0});
            continue;
        }
        Burst& b = bursts.back();
        b.longestDip = std::max(b.longestDip, i - b.last - 1);
        b.last = i;
    }
    return bursts;
}

// Over the middle of the burst that starts at `start`: its frequency by zero crossings and its
// root mean square as a fraction of full scale.
struct Tone {
    double frequency = 0;
    double rms = 0;
};
Tone Measure(const std::vector<std::int16_t>& s, std::size_t start) {
    const std::size_t from = start + SoundServer::kRate / 20;  // behind the rise
    const std::size_t count = std::size_t(SoundServer::kRate * (kBurstLength - 0.1));
    Tone tone;
    if (from + count > s.size()) return tone;
    int crossings = 0;
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
        sum += double(s[i]) * double(s[i]);
    }
    tone.frequency = crossings / 2.0 / (double(count) / SoundServer::kRate);
    tone.rms = std::sqrt(sum / double(count)) / 32768.0;
    return tone;
}

// One take: the sound recorded while the movie played from its start, the pictures shown,
// and a reading of the player's clock while it ran.
struct Take {
    SoundServer::Recording sound;
    std::vector<Burst> bursts;
    std::vector<PlayerWindow::Shown> pictures;
    LONGLONG clockTime = -1;  // 100 ns
    MFTIME clockSystem = 0;   // the system time of that reading (steady clock, 100 ns)
};

// What a burst heard whole tells: its tone, when it was heard and when its picture was shown,
// each against the moment the player's clock reached the picture's frame (s).
struct Heard {
    Tone tone;
    bool shown = false;
    double soundLate = 0;
    double pictureLate = 0;
};

Heard Judge(const Take& take, std::size_t k) {
    const Burst& burst = take.bursts[k];
    Heard heard;
    heard.tone = Measure(take.sound.samples, burst.first);
    const int frame = int(std::lround((double(k) + kBurstStart) * kFps));
    const double due = double(take.clockSystem + (FrameTime(frame, kFps) - take.clockTime)) / 1e7;
    heard.soundLate = std::chrono::duration<double>(take.sound.start.time_since_epoch()).count() +
                      double(burst.first) / SoundServer::kRate - due;
    const auto picture = std::find_if(take.pictures.begin(), take.pictures.end(), [&](auto& f) { return f.number == frame; });
    heard.shown = picture != take.pictures.end();
    if (heard.shown) heard.pictureLate = std::chrono::duration<double>(picture->when.time_since_epoch()).count() - due;
    return heard;
}

// A stall of the server once the picture `at` is shown; the burst `spoiled`, which the stall may
// cut, need not be heard whole.
struct Stall {
    int at = -1;
    std::chrono::milliseconds span{};
    std::size_t spoiled = SIZE_MAX;
};

class SoundTest : public ::testing::Test {
protected:
    // One server for all: the sound layer connects once, the first time it plays.
    static void SetUpTestSuite() { server_ = new SoundServer; }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_->Failure().empty())
            GTEST_SKIP() << "no sound server to listen to (" << server_->Failure()
                         << "); the player plays through its silent output";
    }

    // Plays from the start until the picture `last` (or a later one) is shown, then pauses
    // and records on until what the device held has been played. With a stall, the server is
    // stalled for it once the picture `stallAt` is shown.
    Take Listen(CPlayer* player, PlayerWindow& window, int last, int stallAt = -1,
                std::chrono::milliseconds stall = {}) {
        Take take;
        EXPECT_EQ(player->SeekTo(0), S_OK);
        EXPECT_TRUE(window.WaitForNumber(0));
        window.ClearFrames();
        server_->StartRecording();
        EXPECT_EQ(player->Play(), S_OK);
        const ComPtr<IMFPresentationClock> clock = player->Clock();
        if (WaitForClockState(clock.Get(), MFCLOCK_STATE_RUNNING, kTakeLimit))
            clock->GetCorrelatedTime(0, &take.clockTime, &take.clockSystem);
        if (stallAt >= 0) {
            EXPECT_TRUE(window.WaitForNumberFrom(stallAt, kTakeLimit));
            server_->Stall(stall);
        }
        EXPECT_TRUE(window.WaitForNumberFrom(last, kTakeLimit)) << "picture " << last << " was not shown";
        player->Pause();
        const auto held = std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(kDeviceHoldS));
        EXPECT_TRUE(server_->WaitForPlayed(Steady::now() + held, kTakeLimit));
        take.sound = server_->StopRecording();
        take.bursts = Bursts(take.sound.samples);
        take.pictures = window.Frames();
        return take;
    }

    // Takes (kTakes at the most) until each of the `count` bursts was heard whole in one of
    // them: what each told (none for a burst never heard whole). `account` tells the takes.
    std::vector<std::optional<Heard>> ListenToEach(CPlayer* player, PlayerWindow& window, int last, std::size_t count,
                                                   std::string* account, const Stall& stall = {}) {
        std::vector<std::optional<Heard>> heard(count);
        for (int i = 1; i <= kTakes; ++i) {
            const Take take = Listen(player, window, last, stall.at, stall.span);
            char line[96];
            std::snprintf(line, sizeof line, "take %d: %zu bursts, clock %s;", i, take.bursts.size(),
                          take.clockTime < 0 ? "not running" : "running");
            *account += line;
            if (take.bursts.size() != count || take.clockTime < 0) continue;
            for (std::size_t k = 0; k < count; ++k) {
                if (k == stall.spoiled) continue;
                if (take.bursts[k].Whole()) {
                    if (!heard[k]) heard[k] = Judge(take, k);
                    continue;
                }
                std::snprintf(line, sizeof line, " burst %zu %.3f s long, quiet for %.1f ms inside;", k,
                              double(take.bursts[k].last + 1 - take.bursts[k].first) / SoundServer::kRate,
                              double(take.bursts[k].longestDip) * 1000 / SoundServer::kRate);
                *account += line;
            }
            std::size_t whole = 0;
            for (std::size_t k = 0; k < count; ++k) whole += heard[k].has_value() || k == stall.spoiled;
            if (whole == count) {
                if (i > 1) std::printf("[ busy     ] %s all heard whole\n", account->c_str());
                break;
            }
        }
        return heard;
    }

    static SoundServer* server_;
};

SoundServer* SoundTest::server_ = nullptr;

// The burst movie open in a player on a window; closed however the test ends, so that no
// stream outlives the server.
struct BurstPlayer {
    BurstPlayer() : player(OpenReady(BurstMovie(), window)) {}
    ~BurstPlayer() { ClosePlayer(player); }
    PlayerWindow window;
    ComPtr<CPlayer> player;
};

TEST_F(SoundTest, TheToneIsHeardAtItsPitchAndLevelInStepWithThePicture) {
    BurstPlayer open;
    ComPtr<CPlayer>& player = open.player;
    PlayerWindow& window = open.window;
    ASSERT_TRUE(player);

    // Full volume, to the end: every burst, at 440 Hz and at the tone's level, heard when the
    // clock reaches its picture, and that picture shown no sooner than a frame before.
    ASSERT_EQ(player->SetVolume(65535), S_OK);
    std::string takes;
    const auto full = ListenToEach(player.Get(), window, kFps * kSeconds - 1, kSeconds, &takes);
    double fullRms = 0;
    for (std::size_t k = 0; k < full.size(); ++k) {
        ASSERT_TRUE(full[k]) << "burst " << k << " was not heard whole in " << kTakes << " takes: " << takes;
        EXPECT_NEAR(full[k]->tone.frequency, kTone, 5.0) << "burst " << k;
        EXPECT_NEAR(full[k]->tone.rms, kAmplitude / std::sqrt(2.0), 0.05) << "burst " << k;
        fullRms += full[k]->tone.rms / double(full.size());
        ASSERT_TRUE(full[k]->shown) << "burst " << k << ": its picture was not shown";
        EXPECT_LT(std::fabs(full[k]->soundLate), kSyncLimitS)
            << "burst " << k << ": sound " << full[k]->soundLate * 1000 << " ms after its picture was due";
        EXPECT_GE(full[k]->pictureLate, -1.0 / kFps)
            << "burst " << k << ": its picture shown " << -full[k]->pictureLate * 1000 << " ms before it was due";
    }

    // Half the volume: half the level.
    ASSERT_EQ(player->SetVolume(32768), S_OK);
    takes.clear();
    const auto half = ListenToEach(player.Get(), window, 2 * kFps, 2, &takes);
    for (std::size_t k = 0; k < half.size(); ++k) {
        ASSERT_TRUE(half[k]) << "burst " << k << " was not heard whole in " << kTakes << " takes: " << takes;
        EXPECT_NEAR(half[k]->tone.rms / fullRms, 0.5, 0.05) << "burst " << k;
    }

    // Double speed is silent.
    ASSERT_EQ(player->SetVolume(65535), S_OK);
    ASSERT_EQ(player->RateControl()->SetRate(FALSE, 2.0f), S_OK);
    const Take fast = Listen(player.Get(), window, 3 * kFps);
    EXPECT_GT(fast.sound.samples.size(), std::size_t(SoundServer::kRate));
    const int loudest = fast.sound.samples.empty() ? 0 : std::abs(int(*std::max_element(
        fast.sound.samples.begin(), fast.sound.samples.end(), [](auto a, auto b) { return std::abs(int(a)) < std::abs(int(b)); })));
    EXPECT_LT(loudest, 100);
    EXPECT_TRUE(ClosePlayer(player));
}

TEST_F(SoundTest, AfterTheDeviceRunsDryTheSoundIsBackInStepWithinOneAudioFrame) {
    BurstPlayer open;
    ASSERT_TRUE(open.player);
    ASSERT_EQ(open.player->SetVolume(65535), S_OK);
    // The server stops between the first and the second burst, shorter and longer than what
    // the device holds: the sink then plays the time it missed at once and the stream runs dry.
    // From the third burst on, every burst is heard where the first was against the clock (as
    // the server's recording and the player's clock tell), within one frame of the sound (1024
    // samples of AAC).
    constexpr double kAudioFrameS = 1024.0 / SoundServer::kRate;
    for (const auto span : {150ms, 600ms}) {
        SCOPED_TRACE("server stopped for " + std::to_string(span.count()) + " ms");
        std::string takes;
        const auto heard =
            ListenToEach(open.player.Get(), open.window, kFps * kSeconds - 1, kSeconds, &takes, Stall{kFps * 5 / 6, span, 1});
        ASSERT_TRUE(heard[0]) << "the first burst was not heard whole in " << kTakes << " takes: " << takes;
        for (std::size_t k = 2; k < heard.size(); ++k) {
            ASSERT_TRUE(heard[k]) << "burst " << k << " was not heard whole in " << kTakes << " takes: " << takes;
            const double drift = heard[k]->soundLate - heard[0]->soundLate;
            EXPECT_LT(std::fabs(drift), kAudioFrameS) << "burst " << k << ": heard " << drift * 1000
                                                      << " ms later against the clock than the first";
        }
    }
}

}  // namespace
}  // namespace orv::enginetest
