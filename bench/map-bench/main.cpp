// map-bench: ReloadTrack with a list-wide track of 100,000 points, in the real web engine.
//
// For each run it measures the time from the call until the page has drawn the track (the
// page reports after the second animation frame that follows the drawing script), and
// the longest stretch in which the UI thread did not come back to its event loop (a 1 ms
// timer's largest gap). The reference, in the same run, hands the same points to the page
// the plain way: one script holding them as a literal array, drawn as one line.
// MAP_BENCH_VERBOSE=1 prints every run.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include "playback/PlayChannel.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/HostWebViewObject.h"
#include "views/map/InternetConnection.h"
#include "views/map/MapConfig.h"
#include "views/map/MapScripts.h"
#include "views/map/WebTestSupport.h"

namespace {

using namespace orv;
using orv::test::WaitUntil;

constexpr int kPoints = 100000;
constexpr int kRuns = 5;

class AlwaysConnected : public ::IInternetConnection {
public:
    bool IsConnected() const override { return true; }
    bool IsMapEnabled() const override { return true; }
    void SetMapEnabled(bool) override {}
    void ProbeConnection() override {}
    void StartUpdateCheck(const std::string&, const std::string&, const std::string&) override {}
    void StopInternetThreads() override {}
};

// A drive of `n` points about 10 m apart, wandering around Kyoto, with a gap in the
// recording every 5,000 points.
std::vector<sGPSRECORD> Drive(int n) {
    std::vector<sGPSRECORD> out(static_cast<std::size_t>(n));
    double lat = 35.0, lng = 135.75, heading = 0.0;
    for (int i = 0; i < n; ++i) {
        heading += 0.02 * std::sin(i * 0.001);
        const double step = (i % 5000 == 4999) ? 0.005 : 0.00009;
        lat += step * std::cos(heading);
        lng += step * std::sin(heading) / std::cos(lat * M_PI / 180.0);
        sGPSRECORD& r = out[std::size_t(i)];
        r.index = i;
        r.time = i * 30;
        r.valid = 1;
        r.latitude = lat;
        r.longitude = lng;
    }
    return out;
}

// Watches the UI thread: the largest gap between ticks of a 1 ms timer while it runs.
class StallWatch {
public:
    StallWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
    }
    void Start() {
        worst_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    double Stop() {
        timer_.stop();
        worst_ = std::max(worst_, clock_.nsecsElapsed() - last_);
        return worst_ / 1e6;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

struct Result {
    double drawnMs;
    double stallMs;
};

// Page side: tells the program once the frame after the next one is on its way.
const char* kReportDrawn =
    "requestAnimationFrame(function () { requestAnimationFrame(function () {"
    "  sample.PostWebMessage('{\"drawn\":\"' + String(%1) + '\"}'); }); }); 0";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    SetMapServiceAddresses("http://127.0.0.1:9/{z}/{x}/{y}.png", "http://127.0.0.1:9/");

    const std::vector<sGPSRECORD> drive = Drive(kPoints);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    {
        std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        front.listGpsTrack = std::make_unique<std::vector<sGPSRECORD>>(drive);
        front.scanners[kActiveScanner].gps.assign(drive.begin(), drive.begin() + 300);
        front.initialised = 1;
    }

    CGoogleMapDlgWrap map(std::make_unique<AlwaysConnected>());
    QWidget window;
    window.resize(660, 480);
    map.CreateHost(&window);
    map.GetHostWindow()->setGeometry(0, 0, 660, 480);
    map.ShowMap(TRUE);
    window.show();
    if (!WaitUntil([&] { return map.PageReady() != FALSE; })) {
        std::fprintf(stderr, "map-bench: the map page did not load\n");
        return 1;
    }
    CGoogleMapDlg2& host = *map.GetMapDlg2();
    map.ShowFrame(PaneValuesOf(nullptr, 4500).map);
    map.SetMapStatus(MAP_STATUS_PAUSE);

    QString drawnTag;
    QObject::connect(host.m_holder.GetHostObject(), &HostWebViewObject::webMessageReceived,
                     [&](const QString& json) { drawnTag = json; });
    StallWatch watch;

    auto measure = [&](const std::function<void(int)>& start, int run) {
        drawnTag.clear();
        const QString want = QStringLiteral("{\"drawn\":\"%1\"}").arg(run);
        watch.Start();
        QElapsedTimer clock;
        clock.start();
        start(run);
        const bool ok = WaitUntil([&] { return drawnTag == want; });
        const double drawn = clock.nsecsElapsed() / 1e6;
        const double stall = watch.Stop();
        if (!ok) std::fprintf(stderr, "map-bench: run %d never drew\n", run);
        return Result{drawn, stall};
    };

    // Ours: the bridge's reload, then the report, in the page's order.
    double callWorst = 0;  // the call itself: reading, converting and publishing the tracks
    auto ours = [&](int run) {
        QElapsedTimer call;
        call.start();
        map.ReloadTrack(0, TRUE);
        callWorst = std::max(callWorst, call.nsecsElapsed() / 1e6);
        map.ExecScript(QString::fromLatin1(kReportDrawn).arg(run).toStdString());
    };
    // Reference: the points as one literal array in one script, drawn as one line.
    std::string literal;
    {
        literal.reserve(std::size_t(kPoints) * 40);
        literal += "[";
        for (const sGPSRECORD& r : drive)
            literal += "[" + FormatFixed6(r.latitude) + "," + FormatFixed6(r.longitude) + "],";
        literal += "]";
    }
    auto reference = [&](int run) {
        const std::string script = "if (window.g_ref) g_ref.remove(); window.g_ref = L.polyline(" + literal +
                                   ", {color: '#FF0000', opacity: 0.5, weight: 3}).addTo(g_map);" +
                                   QString::fromLatin1(kReportDrawn).arg(run).toStdString();
        host.m_holder.ExecuteScript(script);
    };

    // One run of each first, not counted: the page's script compiler warms up.
    measure(ours, 0);
    measure(reference, 1);
    std::vector<double> oursDrawn, oursStall, refDrawn, refStall;
    for (int run = 1; run <= kRuns; ++run) {
        const Result a = measure(ours, run * 2);
        const Result b = measure(reference, run * 2 + 1);
        if (std::getenv("MAP_BENCH_VERBOSE"))
            std::printf("  run %d: ours %.1f / %.1f ms, reference %.1f / %.1f ms\n", run, a.drawnMs, a.stallMs,
                        b.drawnMs, b.stallMs);
        oursDrawn.push_back(a.drawnMs);
        oursStall.push_back(a.stallMs);
        refDrawn.push_back(b.drawnMs);
        refStall.push_back(b.stallMs);
    }
    const double od = Median(oursDrawn), os = *std::max_element(oursStall.begin(), oursStall.end());
    const double rd = Median(refDrawn), rs = *std::max_element(refStall.begin(), refStall.end());
    std::printf("map-bench: ReloadTrack with %d points, %d runs\n", kPoints, kRuns);
    std::printf("  %-34s %10s %16s\n", "", "drawn (ms)", "UI blocked (ms)");
    std::printf("  %-34s %10.1f %16.1f\n", "ReloadTrack (median, worst block)", od, os);
    std::printf("  %-34s %10.1f %16.1f\n", "one literal script (reference)", rd, rs);
    std::printf("  the ReloadTrack call itself took at most %.1f ms\n", callWorst);
    std::printf("  ratio ours/reference: drawn %.2f, UI blocked %.2f\n", od / rd, os / rs);
    {
        std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        front.listGpsTrack.reset();
        front.scanners[kActiveScanner].gps.clear();
        front.initialised = 0;
    }
    return 0;
}
