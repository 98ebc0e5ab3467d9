// app-bench [--card DIR] [--seconds N]
//
// Runs the program's main window offscreen on the demo card (made here at full size unless
// --card names one) and reports, next to ffmpeg's cost of decoding the same front and rear
// movies to 32-bit pictures measured in the same run:
//   - CPU per frame of the whole program (its own threads and the web engine's processes)
//     while the first recording plays with every pane, the map window closed and then open;
//   - frames the presenter showed late;
//   - the time from selecting a recording to its first picture, beyond the 500 ms delay;
//   - the peak memory of the program's own process (the web engine's processes apart).
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

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
};

// Plays the current recording from its first frame for `seconds` (or to its end).
PlayRun Play(CsulvaneDlg& dlg, double seconds) {
    dlg.SeekToFrame(0, PLAY_PAUSED);
    RunUntil([] { return false; }, 300);
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
    if (g_aPlayChannel[0].playState == PLAY_PLAYING) dlg.OnCommand(ID_PLAY_PAUSE);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::string card;
    double seconds = 10.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--card") == 0) card = orv::bench::AbsolutePath(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
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

    // Selection to first picture, on the second recording, then back to the first.
    // The surface notes when each picture reaches it, on the presenter's thread. The movie
    // on screen stays until the open delay ends: a picture after that is the new movie's.
    const auto selected = std::chrono::steady_clock::now();
    const auto delayEnd = selected + std::chrono::milliseconds(kOpenDelayMs);
    dlg->Browser()->SelectFileRow(1, FALSE);
    RunUntil([&] { return dlg->m_nCurRow == 1 && dlg->FrontSurface().LastFrameTime() > delayEnd &&
                          g_aPlayChannel[0].playState != PLAY_CLOSED; }, 20000);
    const double firstPictureMs =
        std::chrono::duration<double, std::milli>(dlg->FrontSurface().LastFrameTime() - selected).count();
    RunUntil([&] { return dlg->m_bDataLoaded; }, 20000);
    dlg->Browser()->SelectFileRow(0, FALSE);
    RunUntil([&] { return dlg->m_nCurRow == 0 && dlg->m_bDataLoaded; }, 20000);

    if (dlg->m_bMapShown) dlg->OnCommand(ID_MAP_WINDOW);
    const PlayRun closed = Play(*dlg, seconds);
    dlg->OnCommand(ID_MAP_WINDOW);
    RunUntil([] { return false; }, 1500);
    const PlayRun open = Play(*dlg, seconds);
    const long peakKb = PeakRssKb();
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
    std::printf("ffmpeg decode floor (front + rear, to 32-bit pictures): %.3f ms CPU per frame\n", floorMs);
    std::printf("%-28s %10s %8s %8s %6s\n", "playing with every pane", "ms CPU/fr", "x floor", "frames", "late");
    for (const auto& [name, run] : {std::pair{"map window closed", closed}, std::pair{"map window open", open}})
        std::printf("%-28s %10.3f %8.2f %8ld %6llu\n", name, run.cpuMsPerFrame,
                    floorMs > 0 ? run.cpuMsPerFrame / floorMs : 0.0, run.frames, (unsigned long long)run.late);
    std::printf("selection to first picture: %.0f ms (%.0f ms beyond the 500 ms open delay)\n", firstPictureMs,
                firstPictureMs - 500.0);
    std::printf("peak memory of the program's process: %.1f MB (%.1f MB once started, before playing)\n",
                double(peakKb) / 1024.0, double(startupKb) / 1024.0);
    return 0;
}
