// startup-bench --program PATH --card DIR [--movie FILE] [--runs N] [--map]
//
// Times the real program from its start to its first picture on the screen, watched from
// outside: the program is started in a folder whose settings name `--card` as the last
// source (it then opens the card's first recording), and the screen is read every few
// milliseconds until the front video surface shows a picture. Against it, in turn, the
// reference: mpv on the same front movie (by default the earliest front movie of the card's
// Video folder, the one the program opens), its window over the front surface's place, timed
// the same way from its start to its first picture on the screen.
//
// Reports, over the runs (min / median / max): start to the window on the screen, start to
// the first picture, that less the program's 500 ms open delay, the reference, the ratio
// of the two pair by pair, and the peak memory of the program's process at its first
// picture. With --map the map button is clicked after the first picture (through
// `xdotool`) and the peak memory is read again once the map has had time to draw.
//
// Needs an X server of its own with no window manager (xvfb-run -a -s "-screen 0
// 1920x1080x24"), where the program's window and mpv's open where they are asked to; the
// bench itself runs on it (QT_QPA_PLATFORM=xcb).
#include <signal.h>
#include <sys/types.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/AbsolutePath.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Where the front video surface lies when the window stands at the screen's top-left
// corner on a 1920 x 1080 screen, and the map button.
const QRect kFrontSurface(100, 100, 500, 250);
const QRect kTitleStrip(20, 2, 400, 12);
constexpr int kMapButtonX = 723;
constexpr int kMapButtonY = 691;
constexpr double kOpenDelayMs = 500.0;
// The reference's window, at the screen's top-left corner: it covers the front surface's place
// with a 16:9 picture of about the surface's size.
const QSize kReferenceWindow(640, 360);

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

QImage Grab(const QRect& r) {
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

// Share of the sample points (every 10th pixel) that satisfy `test`.
template <typename Test>
double Share(const QImage& image, Test test) {
    int hits = 0, total = 0;
    for (int y = 0; y < image.height(); y += 10)
        for (int x = 0; x < image.width(); x += 10, ++total)
            if (test(image.pixel(x, y))) ++hits;
    return total ? double(hits) / total : 0.0;
}

// A picture of the test movie: strongly coloured; the surface without one is grey or black.
bool ShowsPicture(const QImage& image) {
    return Share(image, [](QRgb p) {
               const int hi = std::max({qRed(p), qGreen(p), qBlue(p)}), lo = std::min({qRed(p), qGreen(p), qBlue(p)});
               return hi - lo > 96;
           }) > 0.5;
}

bool Differs(const QImage& image, const QImage& before) {
    if (image.size() != before.size()) return true;
    int changed = 0, total = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 10, ++total)
            if (image.pixel(x, y) != before.pixel(x, y)) ++changed;
    return total && changed * 2 > total;
}

long PeakKb(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

struct Run {
    double windowMs = -1;
    double pictureMs = -1;
    long peakKb = 0;
    long mapPeakKb = 0;
    bool mapDrawn = false;
};

bool WaitFor(const std::function<bool()>& done, double limitMs) {
    const auto start = Clock::now();
    while (Ms(Clock::now() - start) < limitMs) {
        if (done()) return true;
        QThread::msleep(2);
    }
    return false;
}

// Starts `process` (its program and arguments set) and watches the screen until the front
// surface's place shows a picture; with `map`, then clicks the map button. Ends the process and
// waits for the screen to be as it was.
Run WatchFirstPicture(QProcess& process, bool map) {
    Run run;
    const QImage titleBefore = Grab(kTitleStrip);
    const QImage surfaceBefore = Grab(kFrontSurface);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const auto t0 = Clock::now();
    process.start();
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "startup-bench: %s does not start\n", process.program().toUtf8().constData());
        return run;
    }
    const qint64 pid = process.processId();
    WaitFor([&] {
        const auto now = Clock::now();
        if (run.windowMs < 0 && Differs(Grab(kTitleStrip), titleBefore)) run.windowMs = Ms(now - t0);
        if (ShowsPicture(Grab(kFrontSurface))) {
            run.pictureMs = Ms(now - t0);
            run.peakKb = PeakKb(pid);
            return true;
        }
        return process.state() == QProcess::NotRunning;
    }, 30000);
    if (map && run.pictureMs >= 0) {
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(kMapButtonX),
                                                      QString::number(kMapButtonY), QStringLiteral("click"),
                                                      QStringLiteral("1")});
        QThread::msleep(8000);
        run.mapPeakKb = PeakKb(pid);
    }
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    // The next run starts from an empty screen.
    WaitFor([&] { return !Differs(Grab(kFrontSurface), surfaceBefore); }, 5000);
    return run;
}

Run RunProgram(const std::string& program, const std::string& start, bool map) {
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(start));
    process.setProgram(QString::fromStdString(program));
    return WatchFirstPicture(process, map);
}

// The reference on the same screen, its window over the front surface's place, timed the same
// way to its first picture. Its picture is drawn in software (the x11 output; the GPU output
// refuses Xvfb's software OpenGL) and scaled to a window of about the surface's size, and its
// sound goes to PulseAudio as the program's does; its own settings are not read.
double RunReference(const std::string& movie) {
    QProcess process;
    process.setProgram(QStringLiteral("mpv"));
    const QString geometry =
        QStringLiteral("--geometry=%1x%2+0+0").arg(kReferenceWindow.width()).arg(kReferenceWindow.height());
    process.setArguments({QStringLiteral("--no-config"), QStringLiteral("--vo=x11"), QStringLiteral("--ao=pulse"),
                          geometry, QString::fromStdString(movie)});
    const Run run = WatchFirstPicture(process, false);
    return run.pictureMs;
}

void Report(const char* name, std::vector<double> values, const char* unit) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return;
    std::printf("%-44s %9.1f %9.1f %9.1f  %s\n", name, values.front(), values[values.size() / 2], values.back(), unit);
}

}  // namespace

int main(int argc, char** argv) {
    std::string program, card, movie;
    int runs = 5;
    bool map = false;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "--program") == 0 && more) program = orv::bench::AbsolutePath(argv[++i]);
        else if (std::strcmp(argv[i], "--card") == 0 && more) card = orv::bench::AbsolutePath(argv[++i]);
        else if (std::strcmp(argv[i], "--movie") == 0 && more) movie = orv::bench::AbsolutePath(argv[++i]);
        else if (std::strcmp(argv[i], "--runs") == 0 && more) runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--map") == 0) map = true;
    }
    if (program.empty() || card.empty()) {
        std::fprintf(stderr, "usage: startup-bench --program PATH --card DIR [--movie FILE] [--runs N] [--map]\n");
        return 2;
    }
    if (movie.empty()) {
        std::vector<std::string> fronts;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fs::path(card) / "Video", ec))
            if (entry.path().filename().string().ends_with("M.MOV")) fronts.push_back(entry.path().string());
        // The list shows the recordings in time order, the part of the name after its kind.
        const auto time = [](const std::string& path) {
            const std::string name = fs::path(path).filename().string();
            return name.substr(std::min(name.find('-'), name.size()));
        };
        std::sort(fronts.begin(), fronts.end(), [&](const auto& a, const auto& b) { return time(a) < time(b); });
        if (fronts.empty()) {
            std::fprintf(stderr, "startup-bench: no front movie in %s/Video\n", card.c_str());
            return 1;
        }
        movie = fronts.front();
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QGuiApplication app(argc, argv);

    const fs::path start = fs::temp_directory_path() / ("startup-bench-" + std::to_string(getpid()));
    fs::create_directories(start);
    {
        std::ofstream ini(start / "Default_Folder.ini");
        ini << "[SOURCE]\nSELECT=FOLDER\nFOLDER=" << card << "\n";
    }

    std::vector<double> window, picture, beyond, reference, ratio, peak, mapPeak;
    int drawnFailures = 0;
    for (int i = 0; i <= runs; ++i) {  // the first pair warms the caches and is not counted
        // The settings file as the program found it the first time.
        {
            std::ofstream ini(start / "Default_Folder.ini", std::ios::trunc);
            ini << "[SOURCE]\nSELECT=FOLDER\nFOLDER=" << card << "\n";
        }
        const Run run = RunProgram(program, start.string(), map);
        const double ref = RunReference(movie);
        if (i == 0) continue;
        if (run.pictureMs < 0) {
            ++drawnFailures;
            continue;
        }
        window.push_back(run.windowMs);
        picture.push_back(run.pictureMs);
        beyond.push_back(run.pictureMs - kOpenDelayMs);
        peak.push_back(double(run.peakKb) / 1024.0);
        if (map) mapPeak.push_back(double(run.mapPeakKb) / 1024.0);
        if (ref > 0) {
            reference.push_back(ref);
            ratio.push_back((run.pictureMs - kOpenDelayMs) / ref);
        }
    }
    fs::remove_all(start);

    std::printf("program: %s\nreference: mpv --vo=x11 --ao=pulse %s\nruns: %zu\n", program.c_str(), movie.c_str(),
                picture.size());
    std::printf("%-44s %9s %9s %9s\n", "", "min", "median", "max");
    Report("start to window on screen", window, "ms");
    Report("start to first picture", picture, "ms");
    Report("start to first picture, less the open delay", beyond, "ms");
    Report("reference: mpv start to its first picture", reference, "ms");
    Report("ratio (less the delay) / reference", ratio, "x");
    Report("peak memory at the first picture", peak, "MiB");
    if (map) Report("peak memory with the map open 8 s", mapPeak, "MiB");
    if (drawnFailures) std::printf("runs without a picture within 30 s: %d\n", drawnFailures);
    return drawnFailures ? 1 : 0;
}
