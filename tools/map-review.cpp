// map-review OUT.png: draws the map window for review. A demo card is made in a temporary
// folder, its recordings' GPS track becomes the list-wide track and one recording's the
// current movie's, and the window shows them over tiles served by a loopback tile server
// (each tile a pale square with its z/x/y), with the position marker part-way along the
// current movie and event markers where the demo drive's events happen. The page is then
// zoomed out to the whole track and the window captured.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include "fixtures/DemoCard.h"
#include "fixtures/DemoDrive.h"
#include "fixtures/LoopbackHttpServer.h"
#include "fixtures/TempDir.h"
#include "platform/base/Drives.h"
#include "playback/ChannelData.h"
#include "playback/PlayChannel.h"
#include "recorder/FolderScan.h"
#include "ui/ScaleFonts.h"
#include "views/EventClassification.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/InternetConnection.h"
#include "views/map/MapConfig.h"
#include "views/map/MapScripts.h"
#include "views/map/MovieDialog.h"
#include "views/map/WebTestSupport.h"

namespace {

using namespace orv;
using orv::test::PageText;
using orv::test::WaitUntil;

class AlwaysConnected : public ::IInternetConnection {
public:
    bool IsConnected() const override { return true; }
    bool IsMapEnabled() const override { return true; }
    void SetMapEnabled(bool) override {}
    void ProbeConnection() override {}
    void StartUpdateCheck(const std::string&, const std::string&, const std::string&) override {}
    void StopInternetThreads() override {}
};

// A 256-pixel tile: pale ground, a darker border and its address.
QByteArray TilePng(int z, int x, int y) {
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(238, 234, 224));
    QPainter p(&tile);
    p.setPen(QColor(200, 196, 186));
    p.drawRect(0, 0, 255, 255);
    p.setPen(QColor(150, 146, 136));
    p.drawText(QRect(0, 0, 256, 256), Qt::AlignCenter, QString("%1/%2/%3").arg(z).arg(x).arg(y));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    return bytes;
}

// Web Mercator tile of a position.
int TileX(double lng, int z) { return int(std::floor((lng + 180.0) / 360.0 * (1 << z))); }
int TileY(double lat, int z) {
    const double r = lat * M_PI / 180.0;
    return int(std::floor((1.0 - std::asinh(std::tan(r)) / M_PI) / 2.0 * (1 << z)));
}

void ServeTiles(fixtures::LoopbackHttpServer& server, double south, double west, double north, double east) {
    for (int z = 12; z <= 16; ++z) {
        const int margin = 3;
        for (int x = TileX(west, z) - margin; x <= TileX(east, z) + margin; ++x)
            for (int y = TileY(north, z) - margin; y <= TileY(south, z) + margin; ++y) {
                const QByteArray png = TilePng(z, x, y);
                server.Set("/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png",
                           std::string(png.constData(), std::size_t(png.size())));
            }
    }
}

std::vector<sFILEENTRY> CardMovies(const std::string& card) {
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(card))
        if (e.is_regular_file() && IsPlayableFrontMovie(e.path().string())) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<sFILEENTRY> entries;
    for (const std::string& p : paths) AddMovieEntry(p, entries);
    return entries;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: map-review OUT.png\n");
        return 2;
    }
    // The engine's picture can be read back only from Qt Quick's software renderer on the
    // offscreen platform.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_QUICK_BACKEND", "software", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 2400, 1584);  // scale 1.5
    InitScaleAndFonts(monitor);

    fixtures::TempDir dir;
    std::string error;
    if (dir.Path().empty() || !fixtures::MakeDemoCard(dir.Path() + "/card", true, &error)) {
        std::fprintf(stderr, "map-review: no demo card: %s\n", error.c_str());
        return 1;
    }
    const std::vector<sFILEENTRY> movies = CardMovies(dir.Path() + "/card");
    if (movies.empty()) {
        std::fprintf(stderr, "map-review: the demo card has no movies\n");
        return 1;
    }

    // The card in the temporary folder stands for a drive of its own.
    const std::string card = dir.Path() + "/card";
    SetDriveRootProvider([card](const std::string&) { return card; });

    // The current movie: the recording that travels furthest (its times are its own units).
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    front.initialised = 1;
    std::vector<sGPSRECORD> movie;
    double longest = -1;
    for (const sFILEENTRY& entry : movies) {
        LoadListGpsTrack({entry});
        std::vector<sGPSRECORD> track;
        {
            std::lock_guard<std::recursive_mutex> lock(front.slotLock);
            if (front.listGpsTrack) track = *front.listGpsTrack;
        }
        double length = 0;
        const sGPSRECORD* last = nullptr;
        for (const sGPSRECORD& r : track) {
            if (!r.valid || r.latitude > 360 || r.longitude > 360) continue;
            if (last) length += std::hypot(r.latitude - last->latitude, r.longitude - last->longitude);
            last = &r;
        }
        if (length > longest) {
            longest = length;
            movie = std::move(track);
        }
    }
    LoadListGpsTrack(movies);
    std::vector<sGPSRECORD> list;
    {
        std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        if (front.listGpsTrack) list = *front.listGpsTrack;
        front.scanners[kActiveScanner].gps = movie;
    }
    double south = 90, north = -90, west = 180, east = -180;
    for (const sGPSRECORD& r : list) {
        if (!r.valid || r.latitude > 360 || r.longitude > 360) continue;
        south = std::min(south, r.latitude);
        north = std::max(north, r.latitude);
        west = std::min(west, r.longitude);
        east = std::max(east, r.longitude);
    }
    if (south > north) {
        std::fprintf(stderr, "map-review: the demo card's data has no positions\n");
        return 1;
    }

    fixtures::LoopbackHttpServer tiles;
    ServeTiles(tiles, south, west, north, east);
    SetMapServiceAddresses(tiles.Url("/{z}/{x}/{y}.png"), tiles.Url("/"));

    CGoogleMapDlgWrap map(std::make_unique<AlwaysConnected>());
    const int width = int(440 * g_fScale), height = int(330 * g_fScale);
    CMovieDialog window(0);
    window.MoveWindow(0, 0, width, height);
    window.SetCaptionText(CMovieDialog::kCaptionMap);
    map.CreateHost(&window);
    const int frame = int(g_fScale);
    const int title = int(20 * g_fScale);
    map.GetHostWindow()->setGeometry(frame, title, width - 2 * frame, height - title - frame);
    window.show();
    map.ShowMap(TRUE);
    if (!WaitUntil([&] { return map.PageReady() != FALSE; })) {
        std::fprintf(stderr, "map-review: the map page did not load\n");
        return 1;
    }
    CGoogleMapDlg2& host = *map.GetMapDlg2();

    // Part-way along the current movie, held still.
    const std::size_t at = movie.size() * 2 / 3;
    map.ShowFrame(PaneValuesOf(nullptr, movie.empty() ? 0 : movie[at].time).map);
    map.SetMapStatus(MAP_STATUS_PAUSE);
    map.ReloadTrack(0, TRUE);
    const fixtures::DemoDrive drive;
    const std::pair<int, double> events[] = {
        {EVENT_SUDDEN_ACCELERATION, drive.HardStopDistance()},
        {EVENT_MANUAL_RECORDING, drive.ManualPressDistance()},
        {EVENT_SPEED_CAMERA, drive.SpeedCameraDistance()},
    };
    for (const auto& [kind, distance] : events) {
        const fixtures::DriveSample s = drive.At(drive.TimeAt(distance));
        map.ExecScript(AddCrashPosScript(kind, 0, 0, 0, 0, 0, 0, s.latitude, s.longitude, 1, s.speed * 3.6, 0));
    }
    map.ExecScript("g_map.fitBounds(L.latLngBounds(orbitgrplist.grplist.points), {animate: false})");
    const bool drawn = WaitUntil([&] {
        return PageText(host, "String(orbitgrplist.grpline.length > 0 && "
                              "document.querySelectorAll('.leaflet-tile').length > 0 && "
                              "document.querySelectorAll('.leaflet-tile:not(.leaflet-tile-loaded)').length == 0)") ==
               "true";
    });
    if (!drawn) std::fprintf(stderr, "map-review: the tiles did not all load\n");
    // Let the compositor put the last frame on screen.
    QElapsedTimer settle;
    settle.start();
    WaitUntil([&] { return settle.elapsed() > 1500; });

    const QImage shot = window.screen()->grabWindow(0).toImage().copy(window.geometry());
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "map-review: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %d points in the list, %d in the movie, %d tile requests\n", argv[1], int(list.size()),
                int(movie.size()), tiles.TotalRequests());
    front.initialised = 0;
    return 0;
}
