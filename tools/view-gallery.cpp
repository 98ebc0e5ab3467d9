// Renders the data views (the info panel in its three draw modes, the G-sensor graph and
// the vehicle gauges) fed with the demo card's hard-braking recording at three frames:
// five seconds before the hard braking, at it, and five seconds after it. One PNG sheet per
// frame and scale, off screen, for review.
//
//     view-gallery OUTDIR [--card DIR]
//
// DIR is the demo card (tools/demo.sh makes one in build/demo-card); when it holds no demo
// card, one is made there first (about a minute).
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/AbsolutePath.h"
#include "ui/ScaleFonts.h"
#include "views-bench/FrontMovie.h"
#include "views-bench/ViewsFeed.h"
#include "views/EventClassification.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

namespace {

using namespace orv;
namespace fs = std::filesystem;

constexpr int kUnitWorkAreaHeight = 1056;  // gives a scale factor of 1
constexpr int kQualityFullHdHigh = 5;
constexpr int kFramesAside = 150;  // five seconds at 30 frames a second
const QColor kSheet(72, 76, 84);
const QColor kLabel(230, 232, 235);
constexpr int kGap = 12;

int T(double k) { return int(k * double(g_fScale)); }

struct Tile {
    QImage image;
    QString label;
};

QImage Sheet(const QString& title, const std::vector<Tile>& tiles) {
    QFont labelFont(QString::fromLatin1(kSubstituteFace));
    labelFont.setPixelSize(13);
    int width = 0, height = kGap + 22;
    for (const Tile& t : tiles) {
        width = std::max(width, t.image.width());
        height += 20 + t.image.height() + kGap;
    }
    QImage sheet(width + 2 * kGap, height, QImage::Format_RGB32);
    sheet.fill(kSheet);
    QPainter p(&sheet);
    p.setFont(labelFont);
    p.setPen(kLabel);
    p.drawText(kGap, kGap + 14, title);
    int y = kGap + 22;
    for (const Tile& t : tiles) {
        p.drawText(kGap, y + 14, t.label);
        y += 20;
        p.drawImage(kGap, y, t.image);
        y += t.image.height() + kGap;
    }
    return sheet;
}

QImage Render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Ticks of the gauges' timers until every needle rests on its value.
void SettleGauges(CObdDlg& gauges) {
    for (int tick = 0; tick < 400; ++tick)
        for (unsigned i = 0; i < 3; ++i) gauges.OnTimer(CObdDlg::kFirstTimerId + i);
}

bool RenderScale(float scale, const std::string& movie, const views_tools::FrontMovieData& data,
                 const std::vector<std::pair<int, QString>>& frames, const QString& outDir) {
    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 1920, int(float(kUnitWorkAreaHeight) * scale + 0.5f));
    if (!InitScaleAndFonts(monitor)) return false;

    views_tools::ViewsRig rig(QString::fromStdString(fs::path(movie).stem().string()));
    CInfoDlg* info = rig.info;
    CGSensorDlg* graph = rig.graph;
    CObdDlg& gauges = rig.gauges;
    const views_tools::ViewsSet views{info, graph, &gauges};
    views_tools::FeedLoadedMovie(views, data, movie, kQualityFullHdHigh);
    bool ok = true;
    for (const auto& [frame, what] : frames) {
        views_tools::FeedFrame(views, frame);
        SettleGauges(gauges);
        std::vector<Tile> tiles;
        info->SetDrawMode(0);
        info->resize(T(780), T(150));
        tiles.push_back({Render(*info), QStringLiteral("情報パネル (layout 0)")});
        info->SetDrawMode(1);
        info->resize(T(1040), T(180));
        tiles.push_back({Render(*info), QStringLiteral("情報パネル (layout 1)")});
        tiles.push_back({rig.CompactStrip(), QStringLiteral("情報パネル (compact strip)")});
        tiles.push_back({Render(*graph), QStringLiteral("Gセンサー")});
        tiles.push_back({Render(gauges), QStringLiteral("車両情報")});
        const QString title = QStringLiteral("scale %1, frame %2 (%3)").arg(double(scale), 0, 'f', 1).arg(frame).arg(what);
        const QString file = QStringLiteral("%1/views-%2-%3.png").arg(outDir).arg(double(scale), 0, 'f', 1).arg(what);
        if (!Sheet(title, tiles).save(file)) {
            std::fprintf(stderr, "view-gallery: cannot write %s\n", file.toLocal8Bit().constData());
            ok = false;
        } else {
            std::printf("%s\n", file.toLocal8Bit().constData());
        }
    }
    DeleteSharedFonts();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--card") == 0)) {
        std::fprintf(stderr, "usage: view-gallery OUTDIR [--card DIR]\n");
        return 2;
    }
    const std::string out = bench::AbsolutePath(argv[1]);
    const QString outDir = QString::fromStdString(out);
    QDir().mkpath(outDir);
    const std::string card = argc == 4 ? bench::AbsolutePath(argv[3]) : (fs::path(out) / "demo-card").string();

    std::string error;
    const std::string movie = views_tools::DemoBrakingMovie(card, &error);
    if (movie.empty()) {
        std::fprintf(stderr, "view-gallery: %s\n", error.c_str());
        return 1;
    }
    const views_tools::FrontMovieData data(movie);
    if (!data.Loaded()) {
        std::fprintf(stderr, "view-gallery: %s: %s\n", movie.c_str(), data.Error().c_str());
        return 1;
    }

    // The hard braking: the first front-back G event of the recording.
    std::vector<sCRASHPOS> events;
    BuildEventList(MakeEventDetectors(), events);
    int braking = -1;
    {
        const ChannelsLock lock;
        const FrameRecords records = ChannelFrameRecords(lock);
        for (const sCRASHPOS& e : events) {
            if (e.nDetector != DETECTOR_AXIS_X) continue;
            for (std::int64_t f = 0; f < records.FrameCount() && braking < 0; ++f)
                if (records.At(f) == e.pRecord) braking = int(f);
            break;
        }
    }
    if (braking < 0) {
        std::fprintf(stderr, "view-gallery: the recording shows no hard braking\n");
        return 1;
    }
    const int last = int(data.FrameCount()) - 1;
    const std::vector<std::pair<int, QString>> frames = {
        {std::max(0, braking - kFramesAside), QStringLiteral("before")},
        {braking, QStringLiteral("at")},
        {std::min(last, braking + kFramesAside), QStringLiteral("after")},
    };
    bool ok = true;
    for (const float scale : {1.0f, 1.5f}) ok = RenderScale(scale, movie, data, frames, outDir) && ok;
    return ok ? 0 : 1;
}
