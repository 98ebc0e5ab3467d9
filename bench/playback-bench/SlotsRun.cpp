#include "SlotsRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "FfmpegReference.h"
#include "platform/base/JsonWriter.h"
#include "platform/media/VideoFrameSink.h"
#include "playback/ChannelData.h"
#include "playback/ChannelFacade.h"
#include "playback/PlayChannel.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "playback/engine/Transport.h"
#include "playback/presenter/EVRCustomPresenter.h"

namespace orv::bench {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kTick = 30ms;  // the main window's playback timer
// How long after a seek while playing the clocks are compared.
constexpr std::chrono::milliseconds kPlayingSeekSettle = 1s;
// The front surface's client area (the main window's video area at scale 1).
constexpr RECT kClientArea{0, 0, 1280, 720};

// Channel 1's video surface: counts the pictures presented to it and its ended message.
class FrontSurface {
public:
    FrontSurface() {
        handle_ = RegisterAppWindow([this](unsigned id, WPARAM, LPARAM) {
            if (id != WM_APP_PLAYER_ENDED) return;
            {
                std::lock_guard lock(mutex_);
                ++ended_;
            }
            wake_.notify_all();
        });
        SetVideoFrameSink(handle_, [this](const QImage&, const RECT&) {
            {
                std::lock_guard lock(mutex_);
                ++pictures_;
                last_ = Clock::now();
            }
            wake_.notify_all();
        });
    }
    ~FrontSurface() {
        SetVideoFrameSink(handle_, nullptr);
        UnregisterAppWindow(handle_);
    }
    HWND Handle() const { return handle_; }
    long Pictures() {
        std::lock_guard lock(mutex_);
        return pictures_;
    }
    int Ended() {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    // Waits for a picture after the first `count`, then for a quiet while without another
    // (a seek may show the old picture again before the new one); the time of the last
    // picture, or none on time-out.
    std::optional<Clock::time_point> WaitSettled(long count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, timeout, [&] { return pictures_ > count; })) return std::nullopt;
        for (long seen = pictures_;; seen = pictures_)
            if (!wake_.wait_for(lock, kSeekQuiet, [&] { return pictures_ != seen; })) break;
        return last_;
    }

private:
    HWND handle_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    long pictures_ = 0;
    Clock::time_point last_;
    int ended_ = 0;
};

// The step whose rate is `rate` on a movie that cannot play backwards; 0 when none is.
int StepOfRate(float rate) {
    for (int step : {1, 2, 4, -2, -4})
        if (SpeedForStep(step, 1, false).rate == rate) return step;
    return 0;
}

bool WaitReady(int index) {
    const auto until = Clock::now() + kReadyWait;
    int width = 0, height = 0;
    while (!g_aPlayerDriverTable[index].GetVideoSize(g_aPlayChannel[index], &width, &height)) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

struct PresenterCounts {
    UINT64 presented = 0, late = 0;
};

PresenterCounts ReadCounts(const ChannelEngineImpl& engine, int index) {
    PresenterCounts counts;
    const ComPtr<CPlayer> player = engine.PlayerOf(g_aPlayChannel[index]);
    const ComPtr<CMFActivate> activate = player ? player->PresenterActivate() : nullptr;
    if (const ComPtr<EVRCustomPresenter> presenter = activate ? activate->Presenter() : nullptr)
        presenter->GetFrameCounts(&counts.presented, &counts.late);
    return counts;
}

// The channel's presentation clock in ms; NaN without one.
double ClockMs(const ChannelEngineImpl& engine, int index) {
    const ComPtr<CPlayer> player = engine.PlayerOf(g_aPlayChannel[index]);
    const ComPtr<IMFPresentationClock> clock = player ? player->Clock() : nullptr;
    MFTIME time = 0;
    return clock && SUCCEEDED(clock->GetTime(&time)) ? double(time) / 1e4 : std::nan("");
}

// The rear clock less the front clock in ms, the front's carried on to the moment the rear's
// was read; NaN without both clocks.
double ClockOffsetMs(const ChannelEngineImpl& engine) {
    LONGLONG times[2] = {};
    MFTIME at[2] = {};
    for (int i = 0; i < 2; ++i) {
        const ComPtr<CPlayer> player = engine.PlayerOf(g_aPlayChannel[i]);
        const ComPtr<IMFPresentationClock> clock = player ? player->Clock() : nullptr;
        if (!clock || FAILED(clock->GetCorrelatedTime(0, &times[i], &at[i]))) return std::nan("");
    }
    return double(times[1] - (times[0] + (at[1] - at[0]))) / 1e4;
}

bool Ended(const ChannelEngineImpl& engine, int index) {
    const ComPtr<CPlayer> player = engine.PlayerOf(g_aPlayChannel[index]);
    return !player || player->GetState() != PLAYER_STARTED;
}

}  // namespace

int RunThroughSlots(const std::string& front, const std::string& rear, float rate, int seeks) {
    const int step = StepOfRate(rate);
    if (step == 0) {
        std::fprintf(stderr, "--slots: rate %g is no speed step\n", double(rate));
        return 2;
    }
    const std::vector<std::string> paths = rear.empty() ? std::vector<std::string>{front}
                                                        : std::vector<std::string>{front, rear};
    const int count = int(paths.size());
    std::vector<DecodeCost> decode(paths.size()), decodeBgra(paths.size());
    std::vector<std::string> ffmpegErrors(paths.size());  // empty where ffmpeg measured the file
    for (int i = 0; i < count; ++i) {
        std::string error;
        if (!MeasureDecode(paths[i], false, &decode[i], &error) || !MeasureDecode(paths[i], true, &decodeBgra[i], &error)) {
            std::fprintf(stderr, "ffmpeg failed on %s:\n%s\n", paths[i].c_str(), error.c_str());
            ffmpegErrors[std::size_t(i)] = error.empty() ? "ffmpeg failed" : error;
        }
    }

    // The channels as the main window sets them up.
    FrontSurface surface;
    auto engine = std::make_unique<ChannelEngineImpl>([&surface](HWND window, RECT* client) {
        if (window != surface.Handle()) return false;
        *client = kClientArea;
        return true;
    });
    const HWND owners[kChannelCount] = {surface.Handle(), 0};
    for (int i = 0; i < kChannelCount; ++i) {
        g_aPlayChannel[i].engine = engine.get();
        g_aPlayChannel[i].initialised = g_aPlayerDriverTable[i].InitChannel(g_aPlayChannel[i], owners[i], "メイリオ");
    }
    const auto finish = [&](int code) {
        for (int i = kChannelCount - 1; i >= 0; --i) {
            g_aPlayerDriverTable[i].CloseMovie(g_aPlayChannel[i]);
            g_aPlayChannel[i].initialised = 0;
            g_aPlayerDriverTable[i].TermChannel(g_aPlayChannel[i]);
            g_aPlayChannel[i].engine = nullptr;
        }
        engine.reset();
        return code;
    };
    for (int i = 0; i < count; ++i) {
        const int opened = g_aPlayerDriverTable[i].OpenMovie(g_aPlayChannel[i], paths[i]);
        if (opened != 1 || !WaitReady(i)) {
            std::fprintf(stderr, "%s: %s\n", paths[i].c_str(), opened == 2 ? "too short" : "cannot open");
            return finish(1);
        }
    }
    // As the main window starts a movie: the view, the first frame on both channels.
    sVIEWRECORD views[2];
    SetChannelsView(views, 1);
    SeekChannelsToFrame(0);
    surface.WaitSettled(0, kSeekWait);
    for (int i = 0; i < count; ++i) g_aPlayerDriverTable[i].SetVolume(g_aPlayChannel[i], i == 0 ? 65535 : 0);

    // The play, from the start to the end, with the positions read on every tick.
    std::vector<PresenterCounts> before(paths.size());
    for (int i = 0; i < count; ++i) before[i] = ReadCounts(*engine, i);
    const float interval0 = g_aPlayChannel[0].frameInterval, interval1 = g_aPlayChannel[1].frameInterval;
    std::vector<double> positionDrifts, clockDrifts;
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    SetChannelsSpeed(step);
    PlayChannels();
    const double longest = double(g_aPlayerDriverTable[0].GetFrameCount2(g_aPlayChannel[0])) * interval0 / 1000.0;
    const auto until = wall0 + std::chrono::milliseconds(long((longest / double(rate) + 30.0) * 1000.0));
    auto tick = Clock::now();
    bool ended = false;
    while (Clock::now() < until) {
        LockAllChannels();
        const std::int32_t f0 = g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]);
        const std::int32_t f1 = count > 1 ? g_aPlayerDriverTable[1].GetCurrentFrame(g_aPlayChannel[1]) : 0;
        // The clocks themselves, read back to back (the slot reads lie 10 ms or more apart).
        const double clock0 = ClockMs(*engine, 0), clock1 = count > 1 ? ClockMs(*engine, 1) : 0.0;
        UnlockAllChannels();
        ended = surface.Ended() > 0 && (count == 1 || Ended(*engine, 1));
        if (ended) break;
        if (count > 1 && f0 > 0 && f1 > 0) {
            positionDrifts.push_back(std::fabs(f0 * interval0 - f1 * interval1));
            if (clock0 > 0 && clock1 > 0) clockDrifts.push_back(clock1 - clock0);
        }
        tick += kTick;
        std::this_thread::sleep_until(tick);
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    PauseChannels();
    const long frontPictures = surface.Pictures();

    // Seeks of both channels to the same moment, as the seek slider makes them.
    std::mt19937 random(1);
    const long frames0 = long(g_aPlayerDriverTable[0].GetFrameCount2(g_aPlayChannel[0]));
    std::uniform_int_distribution<long> pick(0, std::max(0L, frames0 - 1));
    std::vector<double> latencies;
    int frontExact = 0, rearExact = 0;
    for (int n = 0; n < seeks; ++n) {
        const std::int32_t frame = std::int32_t(pick(random));
        const long pictures = surface.Pictures();
        const auto start = Clock::now();
        SeekChannelsToFrame(frame);
        if (const auto shown = surface.WaitSettled(pictures, kSeekWait))
            latencies.push_back(std::chrono::duration<double, std::milli>(*shown - start).count());
        frontExact += g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]) == frame;
        if (count > 1) {
            // The rear frame on screen at the front frame's moment (a hundredth's slack for the
            // single-precision intervals).
            const std::int32_t rearFrame = std::int32_t(double(frame) * interval0 / interval1 + 0.01);
            rearExact += g_aPlayerDriverTable[1].GetCurrentFrame(g_aPlayChannel[1]) == rearFrame;
        }
    }

    // Seeks while playing, as the main window makes them: a second after each, how far apart
    // the two clocks run (the rear's ahead of the front's when positive).
    std::vector<double> playingOffsets;
    if (count > 1 && seeks > 0) {
        const long lastStart = std::max(0L, frames0 - long(kPlayingSeekSettle.count() / interval0) - 1);
        std::uniform_int_distribution<long> pickPlaying(0, lastStart);
        SetChannelsSpeed(1);
        PlayChannels();
        for (int n = 0; n < seeks; ++n) {
            SeekChannelsWhilePlaying(std::int32_t(pickPlaying(random)));
            std::this_thread::sleep_for(kPlayingSeekSettle);
            const double offset = ClockOffsetMs(*engine);
            if (!std::isnan(offset)) playingOffsets.push_back(offset);
        }
        PauseChannels();
    }

    JsonWriter j;
    j.BeginObject();
    j.Key("mode").String("slots");
    j.Key("rate").Double(rate);
    j.Key("speed_step").Int(step);
    j.Key("ended").Bool(ended);
    j.Key("play_wall_s").Double(wall, 4);
    j.Key("engine_cpu_s").Double(cpu, 4);
    double floorSeconds = 0;
    bool allMeasured = true;  // the floor needs ffmpeg's figures of every file
    j.Key("channels").BeginArray();
    for (int i = 0; i < count; ++i) {
        const PresenterCounts after = ReadCounts(*engine, i);
        const std::int64_t frames = g_aPlayerDriverTable[i].GetFrameCount2(g_aPlayChannel[i]);
        int width = 0, height = 0;
        g_aPlayerDriverTable[i].GetVideoSize(g_aPlayChannel[i], &width, &height);
        floorSeconds += decodeBgra[i].MsPerFrame() / 1000.0 * double(frames);
        allMeasured = allMeasured && ffmpegErrors[std::size_t(i)].empty();
        j.BeginObject();
        j.Key("file").String(paths[i]);
        j.Key("window").Bool(owners[i] != 0);
        j.Key("width").Int(width);
        j.Key("height").Int(height);
        j.Key("frame_interval_ms").Double(g_aPlayerDriverTable[i].GetFrameInterval(g_aPlayChannel[i]), 6);
        j.Key("frames").Int(frames);
        j.Key("presenter_frames_presented").Uint(after.presented - before[i].presented);
        j.Key("presenter_frames_late").Uint(after.late - before[i].late);
        if (i == 0) j.Key("window_pictures").Int(frontPictures);
        WriteFfmpegFigures(j, decode[i], decodeBgra[i], ffmpegErrors[std::size_t(i)]);
        j.Key("seek_positions_exact").Int(i == 0 ? frontExact : rearExact);
        j.EndObject();
    }
    j.EndArray();
    // How far apart the two channels are on the ticks: their positions as the slots give them
    // (apart), and their clocks (the rear's ahead of the front's when positive).
    for (const auto& [key, drifts] : {std::pair{"position_drift_ms", &positionDrifts},
                                      std::pair{"clock_drift_ms", &clockDrifts}}) {
        j.Key(key).BeginObject();
        j.Key("ticks").Int(std::int64_t(drifts->size()));
        j.Key("median").Double(Percentile(*drifts, 0.5), 4);
        j.Key("p95").Double(Percentile(*drifts, 0.95), 4);
        const auto [low, high] = std::minmax_element(drifts->begin(), drifts->end());
        j.Key("min").Double(drifts->empty() ? 0.0 : *low, 4);
        j.Key("max").Double(drifts->empty() ? 0.0 : *high, 4);
        j.EndObject();
    }
    j.Key("seeks").Int(seeks);
    j.Key("seek_latency_ms").BeginObject();
    j.Key("median").Double(Percentile(latencies, 0.5), 4);
    j.Key("p95").Double(Percentile(latencies, 0.95), 4);
    j.EndObject();
    if (count > 1) {
        std::vector<double> apart;
        for (double o : playingOffsets) apart.push_back(std::fabs(o));
        j.Key("playing_seek_clock_offset_ms").BeginObject();
        j.Key("seeks").Int(std::int64_t(playingOffsets.size()));
        j.Key("median_abs").Double(Percentile(apart, 0.5), 4);
        j.Key("max_abs").Double(apart.empty() ? 0.0 : *std::max_element(apart.begin(), apart.end()), 4);
        const auto [low, high] = std::minmax_element(playingOffsets.begin(), playingOffsets.end());
        j.Key("min").Double(playingOffsets.empty() ? 0.0 : *low, 4);
        j.Key("max").Double(playingOffsets.empty() ? 0.0 : *high, 4);
        j.EndObject();
    }
    const std::int64_t frontFrames = frames0;
    j.Key("engine_cpu_ms_per_front_frame").Double(frontFrames ? cpu * 1000.0 / double(frontFrames) : 0.0, 4);
    if (allMeasured) {
        j.Key("floor_ms_per_front_frame").Double(frontFrames ? floorSeconds * 1000.0 / double(frontFrames) : 0.0, 4);
        j.Key("ratio").Double(floorSeconds > 0 ? cpu / floorSeconds : 0.0, 4);
    } else {
        j.Key("floor_ms_per_front_frame").Null();
        j.Key("ratio").Null();
    }
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    return finish(0);
}

}  // namespace orv::bench
