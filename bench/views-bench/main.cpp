// views-bench: the drawing work of one 30 ms playback tick for the data views at scale 1.5
// (the info panel, the G-sensor graph, the vehicle-gauge window and the compact strip), fed
// frame by frame from the demo card's 1080p hard-braking recording, against the CPU that
// ffmpeg takes to decode one frame of the same movie, measured in the same run.
//
//     views-bench [--card DIR] [--ticks N]
//
// DIR is the demo card (made there when it holds none). Prints one JSON object.
#include <QApplication>
#include <QEvent>
#include <QImage>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "FrontMovie.h"
#include "ViewsFeed.h"
#include "common/AbsolutePath.h"
#include "platform/base/JsonWriter.h"
#include "playback-bench/FfmpegReference.h"
#include "ui/ScaleFonts.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

namespace {

using namespace orv;

constexpr float kScale = 1.5f;
constexpr int kUnitWorkAreaHeight = 1056;

int T(double k) { return int(k * double(g_fScale)); }

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1.0e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::string card = "build/demo-card";
    int ticks = 600;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--card") == 0 && i + 1 < argc) card = argv[++i];
        else if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) ticks = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: views-bench [--card DIR] [--ticks N]\n");
            return 2;
        }
    }
    card = bench::AbsolutePath(card);
    std::string error;
    const std::string movie = views_tools::DemoBrakingMovie(card, &error);
    if (movie.empty()) {
        std::fprintf(stderr, "views-bench: %s\n", error.c_str());
        return 1;
    }
    const views_tools::FrontMovieData data(movie);
    if (!data.Loaded()) {
        std::fprintf(stderr, "views-bench: %s: %s\n", movie.c_str(), data.Error().c_str());
        return 1;
    }

    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 1920, int(float(kUnitWorkAreaHeight) * kScale + 0.5f));
    if (!InitScaleAndFonts(monitor)) return 1;
    views_tools::ViewsRig rig(QStringLiteral("AG__"));
    CInfoDlg* info = rig.info;
    CGSensorDlg* graph = rig.graph;
    CObdDlg& gauges = rig.gauges;
    QWidget& main = rig.main;
    info->resize(T(780), T(150));
    // Counts the gauge window's repaints, to show that the needles' moves reach the screen.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    gauges.installEventFilter(&counter);
    const views_tools::ViewsSet views{info, graph, &gauges};
    views_tools::FeedLoadedMovie(views, data, movie, 5);

    // The targets the views are copied to, as their windows would be.
    QImage panelFace(info->size(), QImage::Format_RGB32), graphFace(graph->size(), QImage::Format_RGB32);
    QImage windowFace(main.size(), QImage::Format_RGB32);
    DeviceContext panelDc(&panelFace), graphDc(&graphFace), windowDc(&windowFace);

    double spent[4] = {};
    const auto tick = [&](int frame) {
        double t0 = CpuMs();
        views_tools::FeedFrame(views, frame);
        info->SetDrawMode(0);
        info->DrawInfoPanel(&panelDc);
        double t1 = CpuMs();
        spent[0] += t1 - t0;
        graph->OnEraseBkgnd(&graphDc);
        double t2 = CpuMs();
        spent[1] += t2 - t1;
        // The gauges' own timers, and the repaints they ask for.
        for (unsigned i = 0; i < 3; ++i) gauges.OnTimer(CObdDlg::kFirstTimerId + i);
        QApplication::processEvents();
        double t3 = CpuMs();
        spent[2] += t3 - t2;
        info->DrawCompactInfo(&windowDc);
        spent[3] += CpuMs() - t3;
    };
    const int frames = int(data.FrameCount());
    for (int i = 0; i < 30; ++i) tick(i % frames);  // warm-up: caches, fonts
    for (double& s : spent) s = 0.0;
    for (int i = 0; i < ticks; ++i) tick(i % frames);  // one frame a tick, as at normal speed

    // A movie with more frames than the plot has pixels scrolls on every tick and so
    // draws its curves every time: the same graph narrowed below the movie's frame count.
    graph->resize(T(300), graph->height());
    QImage narrowFace(graph->size(), QImage::Format_RGB32);
    DeviceContext narrowDc(&narrowFace);
    double scrolling = 0.0;
    for (int i = 0; i < ticks; ++i) {
        views_tools::FeedFrame(views, i % frames);
        const double t0 = CpuMs();
        graph->OnEraseBkgnd(&narrowDc);
        scrolling += CpuMs() - t0;
    }

    bench::DecodeCost decode;
    const bool decoded = bench::MeasureDecode(movie, false, &decode, &error);

    const double viewsMs = (spent[0] + spent[1] + spent[2] + spent[3]) / ticks;
    JsonWriter j;
    j.BeginObject();
    j.Key("scale").Double(kScale, 3);
    j.Key("ticks").Int(ticks);
    j.Key("info_panel_ms").Double(spent[0] / ticks, 4);
    j.Key("graph_ms").Double(spent[1] / ticks, 4);
    j.Key("gauges_ms").Double(spent[2] / ticks, 4);
    j.Key("compact_strip_ms").Double(spent[3] / ticks, 4);
    j.Key("scrolling_graph_ms").Double(scrolling / ticks, 4);
    j.Key("gauge_repaints").Int(counter.paints);
    j.Key("views_ms_per_tick").Double(viewsMs, 4);
    if (decoded) {
        j.Key("decode_frames").Int(decode.frames);
        j.Key("decode_ms_per_frame").Double(decode.MsPerFrame(), 4);
        j.Key("views_per_decoded_frame").Double(decode.MsPerFrame() > 0 ? viewsMs / decode.MsPerFrame() : 0.0, 4);
    } else {
        j.Key("decode_error").String(error);
    }
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    DeleteSharedFonts();
    return decoded ? 0 : 1;
}
