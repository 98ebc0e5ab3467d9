// The player's sound on a real sound server: a movie whose track is a 440 Hz tone in bursts
// (a third of a second from every half second past the full second) is played, and the server's
// null sink is recorded. The tone must come out at its pitch, at the level the volume asks
// for, not at all at double speed, and in step with the picture. Without a server to start,
// the test says why and is skipped (the player then uses its silent output).
#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "PlayerWindow.h"
#include "SoundServer.h"
#include "StripeMovie.h"

namespace orv::enginetest {
namespace {

using mediatest::RunFfmpeg;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using mediatest::TempPath;

constexpr int kFps = 30;
constexpr int kSeconds = 6;
constexpr double kTone = 440.0;
constexpr double kAmplitude = 0.5;   // of full scale
constexpr double kBurstStart = 0.5;  // seconds past each full second
constexpr double kBurstLength = 0.3;
constexpr double kSyncLimitS = 0.060;

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

// The first sample of each burst: where the sound rises above a fifth of the tone's amplitude
// after at least a tenth of a second below it.
std::vector<std::size_t> BurstStarts(const std::vector<std::int16_t>& s) {
    const int threshold = int(kAmplitude * 32767 / 5);
    const std::size_t quiet = SoundServer::kRate / 10;
    std::vector<std::size_t> starts;
    std::size_t lastLoud = 0;
    bool any = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(int(s[i])) < threshold) continue;
        if (!any || i - lastLoud > quiet) starts.push_back(i);
        lastLoud = i;
        any = true;
    }
    return starts;
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

    // Plays from the start for `seconds` (or to the end) and gives what the sink played.
    SoundServer::Recording Listen(CPlayer* player, PlayerWindow& window, double seconds) {
        EXPECT_EQ(player->SeekTo(0), S_OK);
        EXPECT_TRUE(window.WaitForNumber(0));
        window.ClearFrames();
        server_->StartRecording();
        EXPECT_EQ(player->Play(), S_OK);
        window.WaitForMessage(WM_APP_PLAYER_ENDED, std::chrono::milliseconds(int(seconds * 1000)));
        player->Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // what the sink still held
        return server_->StopRecording();
    }

    static SoundServer* server_;
};

SoundServer* SoundTest::server_ = nullptr;

TEST_F(SoundTest, TheToneIsHeardAtItsPitchAndLevelInStepWithThePicture) {
    const std::string movie = BurstMovie();
    ASSERT_FALSE(movie.empty());
    PlayerWindow window;
    ComPtr<CPlayer> player = OpenReady(movie, window);
    ASSERT_TRUE(player);

    // Full volume, to the end: every burst, at 440 Hz and at the tone's level, each heard when
    // its picture is shown.
    ASSERT_EQ(player->SetVolume(65535), S_OK);
    const SoundServer::Recording full = Listen(player.Get(), window, kSeconds + 3);
    const std::vector<std::size_t> starts = BurstStarts(full.samples);
    ASSERT_EQ(starts.size(), std::size_t(kSeconds)) << full.samples.size() << " samples recorded";
    const auto shown = window.Frames();
    double fullRms = 0;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const Tone tone = Measure(full.samples, starts[k]);
        EXPECT_NEAR(tone.frequency, kTone, 5.0) << "burst " << k;
        EXPECT_NEAR(tone.rms, kAmplitude / std::sqrt(2.0), 0.05) << "burst " << k;
        fullRms += tone.rms / double(starts.size());
        const int frame = int(std::lround((double(k) + kBurstStart) * kFps));
        const auto picture = std::find_if(shown.begin(), shown.end(), [&](auto& f) { return f.number == frame; });
        ASSERT_NE(picture, shown.end()) << "frame " << frame << " was not shown";
        const double heard = std::chrono::duration<double>(full.start.time_since_epoch()).count() +
                             double(starts[k]) / SoundServer::kRate;
        const double seen = std::chrono::duration<double>(picture->when.time_since_epoch()).count();
        EXPECT_LT(std::fabs(heard - seen), kSyncLimitS) << "burst " << k << ": sound " << (heard - seen) * 1000
                                                        << " ms after the picture";
    }

    // Half the volume: half the level.
    ASSERT_EQ(player->SetVolume(32768), S_OK);
    const SoundServer::Recording half = Listen(player.Get(), window, 2.2);
    const std::vector<std::size_t> halfStarts = BurstStarts(half.samples);
    ASSERT_GE(halfStarts.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) EXPECT_NEAR(Measure(half.samples, halfStarts[k]).rms / fullRms, 0.5, 0.05);

    // Double speed is silent.
    ASSERT_EQ(player->SetVolume(65535), S_OK);
    ASSERT_EQ(player->RateControl()->SetRate(FALSE, 2.0f), S_OK);
    const SoundServer::Recording fast = Listen(player.Get(), window, 1.5);
    EXPECT_GT(fast.samples.size(), std::size_t(SoundServer::kRate));
    const int loudest = fast.samples.empty() ? 0 : std::abs(int(*std::max_element(
        fast.samples.begin(), fast.samples.end(), [](auto a, auto b) { return std::abs(int(a)) < std::abs(int(b)); })));
    EXPECT_LT(loudest, 100);
    EXPECT_TRUE(ClosePlayer(player));
}

}  // namespace
}  // namespace orv::enginetest
