// app-bench [--card DIR] [--seconds N] [--runs N]
//
// Runs the program's main window offscreen on the demo card (made here at full size unless
// --card names one) and reports, next to ffmpeg's cost of decoding the same front and rear
// movies to 32-bit pictures measured in the same run:
//   - whether both cameras were on screen (the rear surface visible and showing pictures);
//   - CPU per frame of the whole program (its own threads and the web engine's processes)
//     while the first recording plays with every pane, the map window closed and then open;
//   - frames the presenter showed late;
//   - the time from selecting a recording to its first picture, beyond the 500 ms delay,
//     against `mpv --vo=null` starting the same movie to its first frame (ffmpeg's first
//     decoded frame where mpv is missing);
//   - the peak memory of the program's own process (the web engine's processes apart) while
//     each phase ran.
// With --runs N (default 1: a run plays for twice --seconds) each figure is printed as the
// minimum, median and maximum of the runs, with its ratio to its target.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../playback-bench/FfmpegReference.h"
#include "app/ControlRules.h"
#include "common/AbsolutePath.h"
#include "app/CsulvaneDlg.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/DemoCard.h"
#include "fixtures/DemoStart.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "playback/presenter/EVRCustomPresenter.h"
#include "recorder/CardLayout.h"
#include "views/InfoDlg.h"

namespace fs = std::filesystem;
using namespace orv;

namespace {

// Fine slices: the bench times when the first picture came.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return fixtures::RunUntil(done, std::chrono::milliseconds(timeoutMs), std::chrono::microseconds(500));
}

// CPU seconds of this process and of every process descended from it (the web engine's).
double TreeCpuSeconds() {
    std::map<int, int> parent;
    std::map<int, double> cpu;
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        long ppid = 0, skip = 0, utime = 0, stime = 0;
        fields >> state >> ppid;
        for (int i = 0; i < 9; ++i) fields >> skip;
        fields >> utime >> stime;
        parent[std::stoi(name)] = int(ppid);
        cpu[std::stoi(name)] = double(utime + stime) / tick;
    }
    const int self = int(getpid());
    double total = 0;
    for (const auto& [pid, seconds] : cpu) {
        for (int p = pid, depth = 0; p > 1 && depth < 64; p = parent[p], ++depth)
            if (p == self) {
                total += seconds;
                break;
            }
    }
    return total;
}

long PeakRssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Starts a new peak: from here VmHWM counts from the memory in use now.
void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Wall milliseconds of a command run to its end; negative when it does not run or fails.
double CommandMs(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? ms : -1.0;
}

std::string Quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The reference start-up: mpv without output starting the movie and stopping after its
// first frame, or, without mpv, ffmpeg decoding the first frame. Names the tool in `tool`.
double ReferenceStartMs(const std::string& movie, std::string* tool) {
    const std::string q = Quoted(movie);
    if (std::system("command -v mpv >/dev/null 2>&1") == 0) {
        *tool = "mpv --vo=null";
        return CommandMs("mpv --no-config --vo=null --ao=null --frames=1 --really-quiet " + q + " >/dev/null 2>&1");
    }
    *tool = "ffmpeg first decoded frame";
    return CommandMs("ffmpeg -nostdin -v error -i " + q + " -frames:v 1 -f null - >/dev/null 2>&1");
}

UINT64 LateFrames(CsulvaneDlg& dlg) {
    UINT64 presented = 0, late = 0;
    if (ChannelEngineImpl* engine = dlg.Engine())
        if (auto player = engine->PlayerOf(g_aPlayChannel[0]))
            if (auto activate = player->PresenterActivate())
                if (auto presenter = activate->Presenter()) presenter->GetFrameCounts(&presented, &late);
    return late;
}

struct PlayRun {
    double cpuMsPerFrame = 0;
    long frames = 0;
    UINT64 late = 0;
    long peakKb = 0;        // the process's peak while the phase ran
    bool rearShown = false;  // the rear surface was visible and got pictures
};

// Plays the current recording from its first frame for `seconds` (or to its end).
PlayRun Play(CsulvaneDlg& dlg, double seconds) {
    dlg.SeekToFrame(0, PLAY_PAUSED);
    RunUntil([] { return false; }, 300);
    ResetPeakRss();
    const auto rearBefore = dlg.RearSurface().LastFrameTime();
    const UINT64 lateBefore = LateFrames(dlg);
    const double cpuBefore = TreeCpuSeconds();
    const int first = g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]);
    dlg.OnCommand(ID_PLAY_PAUSE);
    const int limit = int(seconds * 1000);
    QElapsedTimer clock;
    clock.start();
    int last = first;
    RunUntil([&] {
        const int now = g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]);
        if (now > last) last = now;
        return clock.elapsed() > limit || dlg.m_bNearEnd;
    }, limit + 5000);
    PlayRun run;
    run.frames = last - first;
    run.late = LateFrames(dlg) - lateBefore;
    run.cpuMsPerFrame = run.frames > 0 ? (TreeCpuSeconds() - cpuBefore) * 1000.0 / double(run.frames) : 0.0;
    run.peakKb = PeakRssKb();
    const CMovieStatic& rear = dlg.RearSurface();
    run.rearShown = rear.isVisible() && rear.width() > 0 && rear.height() > 0 && rear.LastFrameTime() > rearBefore;
    if (g_aPlayChannel[0].playState == PLAY_PLAYING) dlg.OnCommand(ID_PLAY_PAUSE);
    return run;
}

// One figure over the runs: minimum, median and maximum.
struct Spread {
    double min = 0, median = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return {values.front(), median, values.back()};
}

// A figure's row: its spread and, against a target, the median's ratio to it.
void PrintFigure(const char* name, const char* unit, const std::vector<double>& values, double target = 0) {
    const Spread s = SpreadOf(values);
    std::printf("%-44s %10.3f %10.3f %10.3f %-6s", name, s.min, s.median, s.max, unit);
    if (target > 0) std::printf("  target %.3g, median %.2fx target%s", target, s.median / target,
                                s.max <= target ? "" : " (over in some run)");
    std::printf("\n");
}

struct BenchRun {
    PlayRun closed, open;
    double firstPictureMs = 0;
    double referenceMs = 0;
    long startupKb = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string card;
    double seconds = 10.0;
    int runs = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--card") == 0) card = orv::bench::AbsolutePath(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--runs") == 0) runs = std::clamp(std::atoi(argv[i + 1]), 1, 20);
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    const fs::path work = fs::absolute("app-bench-work");
    fs::create_directories(work / "start");
    if (card.empty()) {
        card = (work / "card").string();
        if (!fs::exists(fs::path(card) / "Video")) {
            std::string error;
            std::fprintf(stderr, "app-bench: making the demo card in %s\n", card.c_str());
            if (!fixtures::MakeDemoCard(card, false, &error, true)) {
                std::fprintf(stderr, "app-bench: %s\n", error.c_str());
                return 1;
            }
        }
    }
    if (!fixtures::WriteStartFolder((work / "start").string(), card)) return 1;
    fs::current_path(work / "start");

    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->m_showMessage = [](const QString& text, const QString&) {
        std::fprintf(stderr, "app-bench: %s\n", text.toUtf8().constData());
    };
    dlg->OnInitDialog();
    dlg->show();
    if (!RunUntil([&] { return dlg->m_bDataLoaded && g_aPlayChannel[0].playState != PLAY_CLOSED; }, 60000) ||
        !dlg->Entries() || dlg->Entries()->size() < 2) {
        std::fprintf(stderr, "app-bench: the demo card did not open\n");
        return 1;
    }
    const long startupKb = PeakRssKb();
    const std::string front = (*dlg->Entries())[0].path;
    const std::string rear = CompanionFileName(front);
    const std::string second = (*dlg->Entries())[1].path;

    std::vector<BenchRun> results;
    std::string referenceTool;
    for (int r = 0; r < runs; ++r) {
        BenchRun run;
        run.startupKb = startupKb;
        // Selection to first picture, on the second recording, then back to the first.
        // The surface notes when each picture reaches it, on the presenter's thread. The movie
        // on screen stays until the open delay ends: a picture after that is the new movie's.
        const auto selected = std::chrono::steady_clock::now();
        const auto delayEnd = selected + std::chrono::milliseconds(kOpenDelayMs);
        dlg->Browser()->SelectFileRow(1, FALSE);
        RunUntil([&] { return dlg->m_nCurRow == 1 && dlg->FrontSurface().LastFrameTime() > delayEnd &&
                              g_aPlayChannel[0].playState != PLAY_CLOSED; }, 20000);
        run.firstPictureMs =
            std::chrono::duration<double, std::milli>(dlg->FrontSurface().LastFrameTime() - selected).count();
        RunUntil([&] { return dlg->m_bDataLoaded; }, 20000);
        dlg->Browser()->SelectFileRow(0, FALSE);
        RunUntil([&] { return dlg->m_nCurRow == 0 && dlg->m_bDataLoaded; }, 20000);
        // The same movie started by the reference player, in the same run.
        run.referenceMs = ReferenceStartMs(second, &referenceTool);

        if (dlg->m_bMapShown) dlg->OnCommand(ID_MAP_WINDOW);
        RunUntil([] { return false; }, 500);
        run.closed = Play(*dlg, seconds);
        dlg->OnCommand(ID_MAP_WINDOW);
        RunUntil([] { return false; }, 1500);
        run.open = Play(*dlg, seconds);
        dlg->OnCommand(ID_MAP_WINDOW);
        results.push_back(run);
        std::fprintf(stderr, "app-bench: run %d of %d done\n", r + 1, runs);
    }
    const int layout = dlg->m_nLayoutMode;
    dlg->OnBtnClose();
    dlg.reset();

    bench::DecodeCost frontCost, rearCost;
    std::string error;
    if (!bench::MeasureDecode(front, true, &frontCost, &error) || !bench::MeasureDecode(rear, true, &rearCost, &error)) {
        std::fprintf(stderr, "app-bench: ffmpeg: %s\n", error.c_str());
        return 1;
    }
    // Both channels decode a frame for every frame on screen.
    const double floorMs = frontCost.MsPerFrame() + rearCost.MsPerFrame();
    const auto each = [&](const std::function<double(const BenchRun&)>& f) {
        std::vector<double> v;
        for (const BenchRun& r : results) v.push_back(f(r));
        return v;
    };
    bool rearAlways = true;
    for (const BenchRun& r : results) rearAlways = rearAlways && r.closed.rearShown && r.open.rearShown;
    std::printf("ffmpeg decode floor (front + rear, to 32-bit pictures): %.3f ms CPU per frame\n", floorMs);
    std::printf("both cameras on screen: %s (layout mode %d; rear surface visible and showing pictures in every phase)\n",
                rearAlways ? "yes" : "NO", layout);
    std::printf("%d run(s) of %.0f s per phase; start-up reference: %s\n", runs, seconds, referenceTool.c_str());
    std::printf("%-44s %10s %10s %10s\n", "figure", "min", "median", "max");
    PrintFigure("CPU per frame, map closed (x ffmpeg floor)", "x", each([&](const BenchRun& r) {
        return floorMs > 0 ? r.closed.cpuMsPerFrame / floorMs : 0.0; }), 1.2);
    PrintFigure("CPU per frame, map open (x ffmpeg floor)", "x", each([&](const BenchRun& r) {
        return floorMs > 0 ? r.open.cpuMsPerFrame / floorMs : 0.0; }), 1.3);
    PrintFigure("CPU per frame, map closed", "ms", each([](const BenchRun& r) { return r.closed.cpuMsPerFrame; }));
    PrintFigure("CPU per frame, map open", "ms", each([](const BenchRun& r) { return r.open.cpuMsPerFrame; }));
    PrintFigure("frames played, map closed", "", each([](const BenchRun& r) { return double(r.closed.frames); }));
    PrintFigure("frames played, map open", "", each([](const BenchRun& r) { return double(r.open.frames); }));
    PrintFigure("late frames, map closed", "", each([](const BenchRun& r) { return double(r.closed.late); }));
    PrintFigure("late frames, map open", "", each([](const BenchRun& r) { return double(r.open.late); }));
    PrintFigure("peak memory while playing, map closed", "MiB",
                each([](const BenchRun& r) { return double(r.closed.peakKb) / 1024.0; }), 250);
    PrintFigure("peak memory while playing, map open", "MiB",
                each([](const BenchRun& r) { return double(r.open.peakKb) / 1024.0; }), 330);
    PrintFigure("peak memory once started, before playing", "MiB",
                each([](const BenchRun& r) { return double(r.startupKb) / 1024.0; }));
    PrintFigure("selection to first picture", "ms", each([](const BenchRun& r) { return r.firstPictureMs; }));
    PrintFigure("  less the 500 ms open delay", "ms",
                each([](const BenchRun& r) { return r.firstPictureMs - double(kOpenDelayMs); }));
    PrintFigure("reference start to first frame", "ms", each([](const BenchRun& r) { return r.referenceMs; }));
    PrintFigure("start-up less the delay (x reference)", "x", each([](const BenchRun& r) {
        return r.referenceMs > 0 ? (r.firstPictureMs - double(kOpenDelayMs)) / r.referenceMs : 0.0; }), 1.2);
    std::printf("late frames target: 0 on a quiet machine\n");
    return 0;
}
