// What the main window tells the data views, for the review tools and the benchmark: the
// values known once a recording's data is loaded, and those of one frame, read from
// channel 1's data with the views' own functions.
#pragma once

#include <QImage>
#include <QWidget>

#include <memory>
#include <string>

#include "ui/OffScreenDC.h"
#include "ui/ResourceImage.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

namespace orv::views_tools {

class FrontMovieData;

struct ViewsSet {
    CInfoDlg* info = nullptr;
    CGSensorDlg* graph = nullptr;
    CObdDlg* gauges = nullptr;
};

// The values of a newly loaded recording: start time (from the movie's name), quality
// badge, data format, frame interval, the graph's scale and axis.
void FeedLoadedMovie(const ViewsSet& views, const FrontMovieData& data, const std::string& movie,
                     int qualityCode);

// The values of `frame`, as on a playback tick.
void FeedFrame(const ViewsSet& views, int frame);

// The front movie of the demo card's hard-braking recording ("AG__"); the demo card is
// made in `card` first when it holds none. Empty, with `error` set, when that fails.
std::string DemoBrakingMovie(const std::string& card, std::string* error);

// The views as the main window holds them, at the current scale (g_fScale and the shared
// fonts already made): a main window with its image store and the off-screen context of its
// size, the info panel and the graph in it, and the gauge window opened beside it.
struct ViewsRig {
    QWidget main;
    CResourceImage images;
    std::unique_ptr<COffScreenDC> offScreen;
    CInfoDlg* info;
    CGSensorDlg* graph;
    CObdDlg gauges;

    explicit ViewsRig(const QString& title);
    ~ViewsRig();
    ViewsSet Set() { return ViewsSet{info, graph, &gauges}; }

    // The info panel's compact strip (draw mode 2, which it is left in) as it stands along
    // the bottom of the main window: the strip's area of the window's picture.
    QImage CompactStrip();
};

}  // namespace orv::views_tools
