// playback-bench: plays a movie headless through the real engine (the channel's player and its
// presenter, on an offscreen Qt application) and prints one JSON line: pictures presented and
// how many came late, the process's CPU time per presented picture, and, measured in the same
// run, what `ffmpeg -benchmark` needs to decode the same file (alone, and with the conversion
// of every frame to 32-bit BGRA: the floor of what a player must do), the engine's ratio to
// that floor, the latency of random paused seeks (median and 95th percentile) and how many
// landed on the exact frame. With --channels 2 the companion plays beside the movie in a
// second player, as the two channels do, and both are reported.
//
// Which frame a seek showed is told by comparing its picture with ffmpeg's decoding of the
// frame asked for and of its two neighbours (every fourth pixel, mean difference per colour
// byte), converted with the colour matrix and range the engine uses: exact when the frame
// asked for is the closest and close in absolute terms. When ffmpeg fails on a movie (a damaged
// one), the engine's own figures are still reported, with ffmpeg's figures null and its
// error beside them. Lateness
// counts pictures that reached the window more than a quarter frame after their time, taking
// the i-th picture of the play to be frame i (the engine shows every frame in order without
// thinning; with thinning, above rate 2, it is not counted); the presenter's scheduler reports
// its own count beside it, the samples it found late when their turn came.
//
// usage: playback-bench FILE [--rate R] [--seeks N] [--channels 1|2] [--companion FILE2] [--slots]
// With --slots the channels are played through their operation tables instead (SlotsRun.h).
// Timing never makes it fail; it exits with 2 on wrong arguments and 1 when a movie cannot be
// measured (a FILE that is not a regular file is refused before anything reads it).

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "BenchChannel.h"
#include "BenchFigures.h"
#include "platform/base/HeapPolicy.h"
#include "SlotsRun.h"
#include "common/AbsolutePath.h"
#include "FfmpegReference.h"
#include "platform/base/JsonWriter.h"

namespace {

using namespace orv;
using namespace orv::bench;

// Above this mean difference per colour byte a picture is not the frame, whatever its
// neighbours look like. Both sides convert with the same matrix and range; the margin is for
// their rounding and chroma interpolation.
constexpr double kSameFrameLimit = 6.0;

struct Options {
    std::string file;
    std::string companion;
    float rate = 1.0f;
    int seeks = 20;
    int channels = 1;
    bool throughSlots = false;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const char* end = value ? value + std::strlen(value) : nullptr;
        if (a == "--rate" && value && std::from_chars(value, end, o->rate).ec == std::errc() && o->rate > 0) {
            ++i;
        } else if (a == "--seeks" && value && std::from_chars(value, end, o->seeks).ec == std::errc() && o->seeks >= 0) {
            ++i;
        } else if (a == "--channels" && value && std::from_chars(value, end, o->channels).ec == std::errc() &&
                   (o->channels == 1 || o->channels == 2)) {
            ++i;
        } else if (a == "--slots") {
            o->throughSlots = true;
        } else if (a == "--companion" && value) {
            o->companion = orv::bench::AbsolutePath(value);
            ++i;
        } else if (!a.empty() && a[0] != '-' && o->file.empty()) {
            o->file = orv::bench::AbsolutePath(a);
        } else {
            return false;
        }
    }
    return !o->file.empty() && (o->channels == 1 || !o->companion.empty());
}

struct ChannelReport {
    DecodeCost decode, decodeBgra;
    std::string ffmpegError;  // empty when ffmpeg measured the movie
    std::vector<BenchChannel::SeekResult> seeks;
    int exact = -1;  // -1: not told (ffmpeg could not give its pictures)
};

// Tells which seeks showed their frame, from ffmpeg's pictures of each frame and its neighbours.
bool CheckSeeks(BenchChannel& channel, ChannelReport* report, std::string* error) {
    std::vector<int> wanted;
    for (auto& s : report->seeks)
        for (int f : {s.frame - 1, s.frame, s.frame + 1})
            if (f >= 0 && f < channel.FrameCount()) wanted.push_back(f);
    std::map<int, Thumbnail> reference;
    if (!ReferenceFrames(channel.Path(), channel.Width(), channel.Height(), wanted,
                         [&](int frame, const Thumbnail& picture) { reference[frame] = picture; }, error))
        return false;
    report->exact = 0;
    for (auto& s : report->seeks) {
        if (s.latencyMs < 0) continue;
        const double own = Difference(s.picture, reference[s.frame]);
        bool closest = own <= kSameFrameLimit;
        for (int f : {s.frame - 1, s.frame + 1})
            if (reference.count(f)) closest = closest && own <= Difference(s.picture, reference[f]);
        report->exact += closest;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: playback-bench FILE [--rate R] [--seeks N] [--channels 1|2] [--companion FILE2] [--slots]\n");
        return 2;
    }
    // A FIFO or a device would keep the engine and the ffmpeg reference waiting on it.
    for (const std::string* path : {&options.file, &options.companion}) {
        if (path->empty()) continue;
        std::string why;
        if (!IsRegularFile(*path, &why)) {
            std::fprintf(stderr, "%s: %s\n", path->c_str(), why.c_str());
            return 1;
        }
    }
    // The program's heaps, as its main window sets them up: they decide where pictures live.
    SetHeapPolicy();
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (options.throughSlots)
        return RunThroughSlots(options.file, options.channels == 2 ? options.companion : std::string(), options.rate,
                               options.seeks);

    std::vector<std::string> paths = {options.file};
    if (options.channels == 2) paths.push_back(options.companion);
    std::vector<ChannelReport> reports(paths.size());
    std::string error;
    // ffmpeg first, alone, so that it competes with nothing.
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!MeasureDecode(paths[i], false, &reports[i].decode, &error) ||
            !MeasureDecode(paths[i], true, &reports[i].decodeBgra, &error)) {
            std::fprintf(stderr, "ffmpeg failed on %s:\n%s\n", paths[i].c_str(), error.c_str());
            reports[i].ffmpegError = error.empty() ? "ffmpeg failed" : error;
        }
    }

    std::vector<std::unique_ptr<BenchChannel>> channels;
    for (auto& p : paths) {
        channels.push_back(std::make_unique<BenchChannel>(p));
        if (!channels.back()->Open(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }

    // The play, from the start to the end of every movie.
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    for (auto& c : channels)
        if (FAILED(c->StartPlay(options.rate))) {
            std::fprintf(stderr, "%s: cannot play at rate %g\n", c->Path().c_str(), double(options.rate));
            return 1;
        }
    bool ended = true;
    for (auto& c : channels) {
        const double seconds = double(c->FrameCount()) / c->Fps() / double(options.rate) + 30.0;
        ended = c->WaitEnded(std::chrono::milliseconds(long(seconds * 1000))) && ended;
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

    // Random paused seeks, every channel to the same moment.
    std::mt19937 random(1);
    std::uniform_int_distribution<long> pick(0, channels[0]->FrameCount() - 1);
    for (int n = 0; n < options.seeks; ++n) {
        const long frame = pick(random);
        const double time = double(frame) / channels[0]->Fps();
        for (auto& c : channels)
            c->StartSeek(int(std::min(c->FrameCount() - 1, long(time * c->Fps() + 1e-6))));
        for (std::size_t i = 0; i < channels.size(); ++i) reports[i].seeks.push_back(channels[i]->FinishSeek());
    }
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (reports[i].ffmpegError.empty() && !CheckSeeks(*channels[i], &reports[i], &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            reports[i].ffmpegError = error;
        }

    JsonWriter j;
    j.BeginObject();
    j.Key("rate").Double(options.rate);
    j.Key("ended").Bool(ended);
    j.Key("play_wall_s").Double(wall, 4);
    j.Key("engine_cpu_s").Double(cpu, 4);
    long presented = 0;
    double floorSeconds = 0;
    bool allMeasured = true;  // the floor needs ffmpeg's figures of every file
    j.Key("channels").BeginArray();
    for (std::size_t i = 0; i < channels.size(); ++i) {
        BenchChannel& c = *channels[i];
        ChannelReport& r = reports[i];
        presented += c.Presented();
        floorSeconds += r.decodeBgra.MsPerFrame() / 1000.0 * double(c.Presented());
        allMeasured = allMeasured && r.ffmpegError.empty();
        std::vector<double> latencies;
        int answered = 0;
        for (auto& s : r.seeks)
            if (s.latencyMs >= 0) {
                latencies.push_back(s.latencyMs);
                ++answered;
            }
        j.BeginObject();
        j.Key("file").String(c.Path());
        j.Key("width").Int(c.Width());
        j.Key("height").Int(c.Height());
        j.Key("fps").Double(c.Fps(), 6);
        j.Key("frames").Int(c.FrameCount());
        j.Key("frames_presented").Int(c.Presented());
        if (options.rate > 2.0f) {
            j.Key("frames_late").Null();
            j.Key("max_lag_ms").Null();
        } else {
            j.Key("frames_late").Int(c.Late());
            j.Key("max_lag_ms").Double(c.MaxLagMs(), 4);
        }
        j.Key("presenter_frames_presented").Uint(c.PresenterPresented());
        j.Key("presenter_frames_late").Uint(c.PresenterLate());
        WriteFfmpegFigures(j, r.decode, r.decodeBgra, r.ffmpegError);
        j.Key("seeks").Int(int(r.seeks.size()));
        j.Key("seeks_answered").Int(answered);
        if (r.exact >= 0) j.Key("seeks_exact").Int(r.exact);
        else j.Key("seeks_exact").Null();
        j.Key("seek_latency_ms").BeginObject();
        j.Key("median").Double(Percentile(latencies, 0.5), 4);
        j.Key("p95").Double(Percentile(latencies, 0.95), 4);
        j.EndObject();
        j.EndObject();
    }
    j.EndArray();
    j.Key("engine_cpu_ms_per_frame").Double(presented ? cpu * 1000.0 / double(presented) : 0.0, 4);
    if (allMeasured) {
        j.Key("floor_ms_per_frame").Double(presented ? floorSeconds * 1000.0 / double(presented) : 0.0, 4);
        j.Key("ratio").Double(floorSeconds > 0 ? cpu / floorSeconds : 0.0, 4);
    } else {
        j.Key("floor_ms_per_frame").Null();
        j.Key("ratio").Null();
    }
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    return 0;
}
