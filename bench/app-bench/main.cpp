// app-bench [--card DIR] [--seconds N] [--runs N] [--map-served 1]
//
// Runs the program's main window offscreen on the demo card (made here at full size unless
// --card names one) and reports, next to ffmpeg's cost of decoding the same front and rear
// movies to 32-bit pictures measured in every run, between that run's phases:
//   - whether both cameras were on screen (the rear surface visible and showing pictures);
//   - CPU per frame of the whole program (its own threads and the web engine's processes)
//     while the first recording plays with every pane, the map window closed and then open;
//   - frames the presenter showed late;
//   - start-up: from the program's exec (and from the main window's construction) to the
//     first recording's first picture painted on the front surface, and from selecting
//     another recording to that recording's first picture, each also less the 500 ms open
//     delay; against `mpv --vo=null` from its exec to its first frame (ffmpeg decoding the
//     first frame, as a whole process, where mpv is missing);
//   - the peak memory of the program's own process (the web engine's processes apart) while
//     each phase ran.
// Every phase runs in a program process of its own, started as the executable starts (this
// bench run again with --phase): so each run's figures, the map-closed memory included, are
// those of a program that never had the map open before. With --runs N (default 1: one
// process per phase, each playing for --seconds) each figure is printed as the minimum,
// median and maximum of the runs, with its ratio to its target.
//
// The map page shows only while the map's tile server answers. bench/app-bench/map-served.sh
// builds this bench with the tile and probe addresses on a local tile server of its own and
// runs it on an X server with --map-served 1: the map-open phase then waits for the page to
// draw the served tiles, checks on the screen that the map window shows them (keeping the
// screenshot), and reports the memory before the map opened, with it open and after it was
// closed again.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../playback-bench/FfmpegReference.h"
#include "app/commands/ControlRules.h"
#include "app/window/CsulvaneApp.h"
#include "app/window/CsulvaneDlg.h"
#include "common/AbsolutePath.h"
#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/DemoCard.h"
#include "fixtures/DemoStart.h"
#include "fixtures/EventLoopWait.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "playback/presenter/EVRCustomPresenter.h"
#include "recorder/CardLayout.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MovieDialog.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace orv;
using Clock = std::chrono::steady_clock;

namespace {

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// ---------------------------------------------------------------------------------------
// The program process (one phase)

// Fine slices: the bench times when the first picture came.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return fixtures::RunUntil(done, std::chrono::milliseconds(timeoutMs), std::chrono::microseconds(500));
}

// Runs the event loop as the program's own does until `done` (asked every 20 ms) or the
// timeout: while it plays, the program's cost is measured, not that of polling it.
bool RunEventLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeoutMs) loop.quit();
    });
    poll.start(20);
    loop.exec();
    return done();
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

// A memory figure of this process from /proc/self/status ("VmHWM:", "VmRSS:"), in KiB.
long StatusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    return 0;
}

long PeakRssKb() { return StatusKb("VmHWM:"); }
long CurrentRssKb() { return StatusKb("VmRSS:"); }

// Starts a new peak: from here VmHWM counts from the memory in use now.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Whether the web engine's library is mapped into this process (the map's page was shown).
bool WebEngineLoaded() {
    std::ifstream in("/proc/self/maps");
    std::string line;
    while (std::getline(in, line))
        if (line.find("libQt6WebEngineCore") != std::string::npos) return true;
    return false;
}

ComPtr<EVRCustomPresenter> FrontPresenter(CsulvaneDlg& dlg) {
    if (ChannelEngineImpl* engine = dlg.Engine())
        if (auto player = engine->PlayerOf(g_aPlayChannel[0]))
            if (auto activate = player->PresenterActivate()) return activate->Presenter();
    return nullptr;
}

UINT64 PresentedFrames(const ComPtr<EVRCustomPresenter>& presenter, UINT64* late = nullptr) {
    UINT64 presented = 0, lateFrames = 0;
    if (presenter) presenter->GetFrameCounts(&presented, &lateFrames);
    if (late) *late = lateFrames;
    return presented;
}

UINT64 LateFrames(CsulvaneDlg& dlg) {
    UINT64 late = 0;
    PresentedFrames(FrontPresenter(dlg), &late);
    return late;
}

// Notes when a movie's first picture reaches the screen: the first paint of the front
// surface that draws a picture presented by a presenter other than `previous` (every open
// makes a new player with a presenter of its own; the previous one is held, so that the new
// one cannot take its address). The surface paints inside the filter, so that the time
// noted is the time the picture was drawn.
class FirstPictureWatch : public QObject {
public:
    explicit FirstPictureWatch(CsulvaneDlg& dlg) : dlg_(dlg) { dlg.FrontSurface().installEventFilter(this); }
    ~FirstPictureWatch() override { dlg_.FrontSurface().removeEventFilter(this); }

    // Waits for the picture of a presenter other than the one showing now.
    void Arm() {
        previous_ = FrontPresenter(dlg_);
        painted_.reset();
    }
    std::optional<Clock::time_point> Painted() const { return painted_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || painted_) return false;
        CMovieStatic& surface = dlg_.FrontSurface();
        const ComPtr<EVRCustomPresenter> presenter = FrontPresenter(dlg_);
        // With a frame presented by the new presenter, the surface's picture is the new
        // movie's: the previous presenter was shut down before the new one was made.
        if (!presenter || presenter.Get() == previous_.Get() || PresentedFrames(presenter) == 0 || surface.PaintsBlack() ||
            surface.LastFrame().isNull())
            return false;
        watched->event(event);
        painted_ = Clock::now();
        return true;
    }

private:
    CsulvaneDlg& dlg_;
    ComPtr<EVRCustomPresenter> previous_;
    std::optional<Clock::time_point> painted_;
};

// The colour of the tiles that map-served.sh's tile server answers (tile-server.py).
constexpr int kServedTileRgb[3] = {238, 214, 102};

// The value of `script` run in the map page, as text; empty when the page did not answer.
std::string PageText(CGoogleMapDlg2& host, const std::string& script) {
    auto result = std::make_shared<std::optional<QString>>();
    host.RefreshFrame();
    host.m_holder.ExecuteScript(script, [result](const QVariant& v) { *result = v.toString(); });
    RunUntil([&] { return result->has_value(); }, 10000);
    return result->has_value() ? (*result)->toStdString() : std::string();
}

struct MapDrawing {
    bool pageShown = false;  // the page's window was shown with the map library loaded
    int tiles = 0;           // tiles the page has loaded
    double tileShare = 0;    // share of the page's area on the screen in the tile colour
};

// Waits for the map page to have loaded every tile it asked for, then reads the page's area
// from the screen (the X server's picture, as the user sees it) into `screenshot`.
MapDrawing CheckMapDrawing(CsulvaneDlg& dlg, const std::string& screenshot) {
    MapDrawing d;
    CGoogleMapDlgWrap* bridge = dlg.MapBridge();
    CGoogleMapDlg2* host = bridge ? bridge->GetMapDlg2() : nullptr;
    QWidget* page = bridge ? bridge->GetHostWindow() : nullptr;
    if (!host || !page || !page->isVisible() || !bridge->PageReady()) return d;
    d.pageShown = true;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const std::string counts = PageText(*host, "document.querySelectorAll('.leaflet-tile-loaded').length + ',' + "
                                                   "document.querySelectorAll('.leaflet-tile:not(.leaflet-tile-loaded)').length");
        const auto comma = counts.find(',');
        d.tiles = std::atoi(counts.c_str());
        const int pending = comma == std::string::npos ? 1 : std::atoi(counts.c_str() + comma + 1);
        if ((d.tiles > 0 && pending == 0) || clock.elapsed() > 30000) break;
        fixtures::RunFor(std::chrono::milliseconds(200));
    }
    // The tiles fade in; then the compositor puts the last frame on the screen.
    fixtures::RunFor(std::chrono::milliseconds(1500));
    QScreen* screen = page->screen();
    if (!screen) return d;
    const QPoint at = page->mapToGlobal(QPoint(0, 0)) - screen->geometry().topLeft();
    const QImage shot = screen->grabWindow(0, at.x(), at.y(), page->width(), page->height()).toImage();
    if (shot.isNull()) return d;
    shot.save(QString::fromStdString(screenshot));
    long matching = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            matching += std::abs(qRed(p) - kServedTileRgb[0]) <= 12 && std::abs(qGreen(p) - kServedTileRgb[1]) <= 12 &&
                        std::abs(qBlue(p) - kServedTileRgb[2]) <= 12;
        }
    d.tileShare = double(matching) / double(std::max(1LL, 1LL * shot.width() * shot.height()));
    return d;
}

struct PlayRun {
    double cpuMsPerFrame = 0;
    long frames = 0;
    UINT64 late = 0;
    long peakKb = 0;         // the process's peak while the phase ran
    bool rearShown = false;  // the rear surface was visible and got pictures
};

// Plays the current recording from its first frame for `seconds` (or to its end).
PlayRun Play(CsulvaneDlg& dlg, double seconds) {
    dlg.SeekToFrame(0, PLAY_PAUSED);
    fixtures::RunFor(std::chrono::milliseconds(300));
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
    RunEventLoopUntil([&] {
        const int now = g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]);
        if (now > last) last = now;
        return clock.elapsed() > limit || dlg.Road().NearEndLocked();
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

// One phase in this process, started as the program starts; prints "name value" lines.
// `spawned` is when the bench started this process (steady clock, shared by all processes).
int RunPhase(int argc, char** argv, const std::string& phase, double seconds, bool mapServed,
             Clock::time_point spawned) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // As the program's main() and its application object start.
    QApplication app(argc, argv);
    SetUpApplication();
    const auto constructing = Clock::now();
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString& text, const QString&) {
        std::fprintf(stderr, "app-bench: %s\n", text.toUtf8().constData());
    });
    FirstPictureWatch watch(*dlg);  // ends before the window
    watch.Arm();
    dlg->OnInitDialog();
    if (dlg->IsInitFailed()) {
        std::fprintf(stderr, "app-bench: the main window did not start\n");
        return 1;
    }
    dlg->show();
    const auto loaded = [&] { return dlg->Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED; };
    if (!RunUntil([&] { return watch.Painted() && loaded(); }, 60000) || dlg->RowCount() < 2) {
        std::fprintf(stderr, "app-bench: the demo card did not open\n");
        return 1;
    }
    std::printf("front %s\n", dlg->Browser()->GetList()->EntryAt(0)->path.c_str());
    std::printf("rear %s\n", CompanionFileName(dlg->Browser()->GetList()->EntryAt(0)->path).c_str());
    std::printf("layout %d\n", dlg->LayoutMode());

    if (phase == "start") {
        std::printf("startup_kb %ld\n", PeakRssKb());
        std::printf("exec_to_picture_ms %.3f\n", MsBetween(spawned, *watch.Painted()));
        std::printf("window_to_picture_ms %.3f\n", MsBetween(constructing, *watch.Painted()));
        // Another recording: from its selection to its own first picture.
        fixtures::RunFor(std::chrono::milliseconds(300));
        watch.Arm();
        const auto selected = Clock::now();
        dlg->Browser()->SelectFileRow(1, FALSE);
        if (!RunUntil([&] { return watch.Painted() && dlg->Road().CurrentRow() == 1 && loaded(); }, 20000)) {
            std::fprintf(stderr, "app-bench: the second recording did not open\n");
            return 1;
        }
        std::printf("select_to_picture_ms %.3f\n", MsBetween(selected, *watch.Painted()));
    } else {
        const bool mapOpen = phase == "open";
        fixtures::RunFor(std::chrono::milliseconds(500));
        const long beforeMapKb = CurrentRssKb();
        if (bool(dlg->IsMapShown()) != mapOpen) dlg->OnCommand(ID_MAP_WINDOW);
        fixtures::RunFor(std::chrono::milliseconds(mapOpen ? 1500 : 300));
        if (mapOpen && mapServed) {
            // The page loads the map library from the resources and asks for its tiles.
            CGoogleMapDlgWrap* bridge = dlg->MapBridge();
            RunUntil([&] { return bridge && bridge->PageReady(); }, 30000);
        }
        const PlayRun run = Play(*dlg, seconds);
        std::printf("cpu_ms_per_frame %.4f\n", run.cpuMsPerFrame);
        std::printf("frames %ld\n", run.frames);
        std::printf("late %llu\n", static_cast<unsigned long long>(run.late));
        std::printf("peak_kb %ld\n", run.peakKb);
        std::printf("rear_shown %d\n", run.rearShown ? 1 : 0);
        std::printf("web_engine %d\n", WebEngineLoaded() ? 1 : 0);
        if (mapOpen) {
            const std::string shot = (fs::current_path() / ("map-open-" + std::to_string(getpid()) + ".png")).string();
            const MapDrawing drawing = CheckMapDrawing(*dlg, shot);
            std::printf("map_page_shown %d\n", drawing.pageShown ? 1 : 0);
            std::printf("map_tiles %d\n", drawing.tiles);
            std::printf("map_tile_share %.4f\n", drawing.tileShare);
            if (drawing.tileShare > 0) std::printf("map_screenshot %s\n", shot.c_str());
            // Closing the map ends its page; what it held goes back once closing has settled.
            const long openKb = CurrentRssKb();
            dlg->OnCommand(ID_MAP_WINDOW);
            fixtures::RunFor(std::chrono::milliseconds(3000));
            std::printf("rss_before_map_kb %ld\n", beforeMapKb);
            std::printf("rss_map_open_kb %ld\n", openKb);
            std::printf("rss_map_closed_kb %ld\n", CurrentRssKb());
        } else {
            // The same moment without the map: what playing alone left resident.
            fixtures::RunFor(std::chrono::milliseconds(3000));
            std::printf("rss_after_play_kb %ld\n", CurrentRssKb());
        }
    }
    std::fflush(stdout);
    dlg->OnBtnClose();
    return 0;
}

// ---------------------------------------------------------------------------------------
// The bench process

// Starts `argv` with its standard output (and, with `mergeErrors`, its error output) on a
// pipe, hands each piece it writes to `onOutput` with the time it was read, and waits for
// it. `started` gets the time just before the start. False when it could not be started or
// did not exit with 0.
bool RunChild(const std::vector<std::string>& argv, bool mergeErrors, Clock::time_point* started,
              const std::function<void(const std::string&, Clock::time_point)>& onOutput) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (mergeErrors) posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    *started = Clock::now();
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        onOutput(std::string(buffer, std::size_t(n)), Clock::now());
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What a phase process printed: its "name value" lines.
using PhaseOutput = std::map<std::string, std::string>;

std::optional<PhaseOutput> RunPhaseProcess(const std::string& self, const std::string& phase,
                                           const std::string& card, double seconds, bool mapServed) {
    std::string text;
    Clock::time_point started;
    // The start time travels as an argument: the steady clock is the same in every process,
    // and the bench takes it just before the process is started.
    std::vector<std::string> argv = {self, "--phase", phase, "--card", card, "--seconds", std::to_string(seconds),
                                     "--map-served", mapServed ? "1" : "0", "--since", ""};
    const auto now = Clock::now();
    argv.back() = std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count());
    const bool ok = RunChild(argv, false, &started, [&](const std::string& piece, Clock::time_point) { text += piece; });
    if (!ok) {
        std::fprintf(stderr, "app-bench: the %s phase failed\n", phase.c_str());
        return std::nullopt;
    }
    PhaseOutput out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto space = line.find(' ');
        if (space != std::string::npos) out[line.substr(0, space)] = line.substr(space + 1);
    }
    return out;
}

double Number(const PhaseOutput& out, const std::string& name) {
    const auto it = out.find(name);
    return it == out.end() ? 0.0 : std::atof(it->second.c_str());
}

// The reference start-up: mpv without output, from its exec to its first frame on the video
// output (its own verbose log line), or, without mpv, ffmpeg decoding the first frame as a
// whole process. Names the reference in `tool`; negative when it fails.
double ReferenceStartMs(const std::string& movie, std::string* tool) {
    static const bool haveMpv = std::system("command -v mpv >/dev/null 2>&1") == 0;
    Clock::time_point started, firstFrame{};
    if (haveMpv) {
        *tool = "mpv --vo=null, exec to its first frame shown";
        std::string seen;
        const bool ok = RunChild({"mpv", "--no-config", "--vo=null", "--ao=null", "--frames=1",
                                  "--msg-level=all=warn,cplayer=v", movie},
                                 true, &started, [&](const std::string& piece, Clock::time_point at) {
                                     if (firstFrame != Clock::time_point{}) return;
                                     seen += piece;
                                     if (seen.find("first video frame after restart shown") != std::string::npos)
                                         firstFrame = at;
                                 });
        return ok && firstFrame != Clock::time_point{} ? MsBetween(started, firstFrame) : -1.0;
    }
    *tool = "ffmpeg decoding the first frame, whole process";
    const bool ok = RunChild({"ffmpeg", "-nostdin", "-v", "error", "-i", movie, "-frames:v", "1", "-f", "null", "-"},
                             true, &started, [](const std::string&, Clock::time_point) {});
    return ok ? MsBetween(started, Clock::now()) : -1.0;
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
    std::printf("%-48s %10.3f %10.3f %10.3f %-4s", name, s.min, s.median, s.max, unit);
    if (target > 0)
        std::printf("  target %.3g, median %.2fx target%s", target, s.median / target,
                    s.max <= target ? "" : " (over in some run)");
    std::printf("\n");
}

struct BenchRun {
    PhaseOutput start, closed, open;
    double referenceMs = 0;
    double floorMs = 0;  // ffmpeg's CPU per frame pair in this run
};

int RunBench(const std::string& self, std::string card, double seconds, int runs, bool mapServed) {
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
    // The program reads its settings from the folder it starts in.
    if (!fixtures::WriteStartFolder((work / "start").string(), card)) return 1;
    fs::current_path(work / "start");

    // A first start that is not counted: the card's files and the libraries come into the
    // page cache for the program and the reference alike.
    const std::optional<PhaseOutput> warm = RunPhaseProcess(self, "start", card, seconds, mapServed);
    if (!warm) return 1;
    const std::string front = warm->at("front");
    const std::string rear = warm->at("rear");
    std::string referenceTool;
    ReferenceStartMs(front, &referenceTool);

    std::vector<BenchRun> results;
    for (int r = 0; r < runs; ++r) {
        BenchRun run;
        run.referenceMs = ReferenceStartMs(front, &referenceTool);
        const auto start = RunPhaseProcess(self, "start", card, seconds, mapServed);
        const auto closed = start ? RunPhaseProcess(self, "closed", card, seconds, mapServed) : std::nullopt;
        const auto open = closed ? RunPhaseProcess(self, "open", card, seconds, mapServed) : std::nullopt;
        if (!open) return 1;
        // The floor is measured in every run, between its phases' processes: a machine whose
        // speed drifts moves both alike.
        bench::DecodeCost frontCost, rearCost;
        std::string error;
        if (!bench::MeasureDecode(front, true, &frontCost, &error) ||
            !bench::MeasureDecode(rear, true, &rearCost, &error)) {
            std::fprintf(stderr, "app-bench: ffmpeg: %s\n", error.c_str());
            return 1;
        }
        // Both channels decode a frame for every frame on screen.
        run.floorMs = frontCost.MsPerFrame() + rearCost.MsPerFrame();
        run.start = *start;
        run.closed = *closed;
        run.open = *open;
        results.push_back(run);
        std::fprintf(stderr, "app-bench: run %d of %d done\n", r + 1, runs);
    }

    const auto each = [&](const std::function<double(const BenchRun&)>& f) {
        std::vector<double> v;
        for (const BenchRun& r : results) v.push_back(f(r));
        return v;
    };
    bool rearAlways = true;
    for (const BenchRun& r : results)
        rearAlways = rearAlways && Number(r.closed, "rear_shown") > 0 && Number(r.open, "rear_shown") > 0;
    int mapPages = 0, closedEngines = 0;
    for (const BenchRun& r : results) {
        mapPages += Number(r.open, "web_engine") > 0;
        closedEngines += Number(r.closed, "web_engine") > 0;
    }
    const double delay = double(kOpenDelayMs);
    std::printf("ffmpeg decode floor (front + rear, to 32-bit pictures): measured in every run, each run's CPU "
                "against its own\n");
    std::printf("both cameras on screen: %s (layout mode %s; rear surface visible and showing pictures in every phase)\n",
                rearAlways ? "yes" : "NO", warm->count("layout") ? warm->at("layout").c_str() : "?");
    std::printf("web engine loaded: map open in %d of %d run(s), map closed in %d (the page shows only while the "
                "map's tile server answers)\n", mapPages, runs, closedEngines);
    if (mapServed) {
        int drawn = 0;
        std::string shot;
        for (const BenchRun& r : results) {
            drawn += Number(r.open, "map_tiles") > 0 && Number(r.open, "map_tile_share") >= 0.5;
            if (r.open.count("map_screenshot")) shot = r.open.at("map_screenshot");
        }
        std::printf("map drew the served tiles on the screen: %d of %d run(s) (page shown, every tile loaded, half or "
                    "more of the page in the tile colour)%s%s\n", drawn, runs, shot.empty() ? "" : "; last screenshot ",
                    shot.c_str());
    }
    std::printf("%d run(s), each phase in a program process of its own, %.0f s of play per phase\n", runs, seconds);
    std::printf("start-up reference: %s\n", referenceTool.c_str());
    std::printf("%-48s %10s %10s %10s\n", "figure", "min", "median", "max");
    PrintFigure("CPU per frame, map closed (x ffmpeg floor)", "x", each([&](const BenchRun& r) {
        return r.floorMs > 0 ? Number(r.closed, "cpu_ms_per_frame") / r.floorMs : 0.0; }), 1.2);
    PrintFigure("CPU per frame, map open (x ffmpeg floor)", "x", each([&](const BenchRun& r) {
        return r.floorMs > 0 ? Number(r.open, "cpu_ms_per_frame") / r.floorMs : 0.0; }), 1.3);
    PrintFigure("ffmpeg decode floor", "ms", each([](const BenchRun& r) { return r.floorMs; }));
    PrintFigure("CPU per frame, map closed", "ms", each([](const BenchRun& r) { return Number(r.closed, "cpu_ms_per_frame"); }));
    PrintFigure("CPU per frame, map open", "ms", each([](const BenchRun& r) { return Number(r.open, "cpu_ms_per_frame"); }));
    PrintFigure("frames played, map closed", "", each([](const BenchRun& r) { return Number(r.closed, "frames"); }));
    PrintFigure("frames played, map open", "", each([](const BenchRun& r) { return Number(r.open, "frames"); }));
    PrintFigure("late frames, map closed", "", each([](const BenchRun& r) { return Number(r.closed, "late"); }));
    PrintFigure("late frames, map open", "", each([](const BenchRun& r) { return Number(r.open, "late"); }));
    PrintFigure("peak memory while playing, map closed", "MiB",
                each([](const BenchRun& r) { return Number(r.closed, "peak_kb") / 1024.0; }), 250);
    PrintFigure("peak memory while playing, map open", "MiB",
                each([](const BenchRun& r) { return Number(r.open, "peak_kb") / 1024.0; }), 330);
    if (mapServed) {
        PrintFigure("served tiles loaded by the page", "", each([](const BenchRun& r) { return Number(r.open, "map_tiles"); }));
        PrintFigure("page area in the tile colour on screen", "%",
                    each([](const BenchRun& r) { return 100.0 * Number(r.open, "map_tile_share"); }));
        PrintFigure("resident before the map opened", "MiB",
                    each([](const BenchRun& r) { return Number(r.open, "rss_before_map_kb") / 1024.0; }));
        PrintFigure("resident with the map open, after play", "MiB",
                    each([](const BenchRun& r) { return Number(r.open, "rss_map_open_kb") / 1024.0; }));
        PrintFigure("resident 3 s after the map was closed", "MiB",
                    each([](const BenchRun& r) { return Number(r.open, "rss_map_closed_kb") / 1024.0; }));
        PrintFigure("  given back by closing (open - closed)", "MiB", each([](const BenchRun& r) {
            return (Number(r.open, "rss_map_open_kb") - Number(r.open, "rss_map_closed_kb")) / 1024.0; }));
        PrintFigure("  kept after closing (closed - before)", "MiB", each([](const BenchRun& r) {
            return (Number(r.open, "rss_map_closed_kb") - Number(r.open, "rss_before_map_kb")) / 1024.0; }));
        PrintFigure("resident after the same play, map never open", "MiB",
                    each([](const BenchRun& r) { return Number(r.closed, "rss_after_play_kb") / 1024.0; }));
        PrintFigure("  kept by the closed map (vs never open)", "MiB", each([](const BenchRun& r) {
            return (Number(r.open, "rss_map_closed_kb") - Number(r.closed, "rss_after_play_kb")) / 1024.0; }));
    }
    PrintFigure("peak memory at the first picture", "MiB",
                each([](const BenchRun& r) { return Number(r.start, "startup_kb") / 1024.0; }));
    PrintFigure("exec to first picture", "ms", each([](const BenchRun& r) { return Number(r.start, "exec_to_picture_ms"); }));
    PrintFigure("  less the 500 ms open delay", "ms", each([&](const BenchRun& r) {
        return Number(r.start, "exec_to_picture_ms") - delay; }));
    PrintFigure("main window built to first picture, less delay", "ms", each([&](const BenchRun& r) {
        return Number(r.start, "window_to_picture_ms") - delay; }));
    PrintFigure("reference exec to first frame", "ms", each([](const BenchRun& r) { return r.referenceMs; }));
    PrintFigure("start-up less the delay (x reference)", "x", each([&](const BenchRun& r) {
        return r.referenceMs > 0 ? (Number(r.start, "exec_to_picture_ms") - delay) / r.referenceMs : 0.0; }), 1.2);
    PrintFigure("selection to that recording's first picture", "ms",
                each([](const BenchRun& r) { return Number(r.start, "select_to_picture_ms"); }));
    PrintFigure("  less the 500 ms open delay", "ms", each([&](const BenchRun& r) {
        return Number(r.start, "select_to_picture_ms") - delay; }));
    PrintFigure("selection less the delay (x reference)", "x", each([&](const BenchRun& r) {
        return r.referenceMs > 0 ? (Number(r.start, "select_to_picture_ms") - delay) / r.referenceMs : 0.0; }), 1.2);
    std::printf("late frames target: 0 on a quiet machine\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string card, phase;
    double seconds = 10.0;
    int runs = 1;
    long long since = 0;
    bool mapServed = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--card") == 0) card = orv::bench::AbsolutePath(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--runs") == 0) runs = std::clamp(std::atoi(argv[i + 1]), 1, 20);
        else if (std::strcmp(argv[i], "--phase") == 0) phase = argv[i + 1];
        else if (std::strcmp(argv[i], "--since") == 0) since = std::atoll(argv[i + 1]);
        else if (std::strcmp(argv[i], "--map-served") == 0) mapServed = std::atoi(argv[i + 1]) != 0;
    }
    if (!phase.empty()) {
        const Clock::time_point spawned{std::chrono::nanoseconds(since)};
        return RunPhase(argc, argv, phase, seconds, mapServed, since > 0 ? spawned : Clock::now());
    }
    // The phases run this executable again, by its own path.
    std::error_code ec;
    const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
    if (ec) {
        std::fprintf(stderr, "app-bench: cannot find its own executable\n");
        return 1;
    }
    return RunBench(self, card, seconds, runs, mapServed);
}
