// What the main window writes into the data views, for the review tools and the benchmark:
// the values known once a recording's data is loaded, and those of one frame, read from
// channel 1's data with the views' own functions.
#pragma once

#include <string>

namespace orv {
class CGSensorDlg;
class CInfoDlg;
class CObdDlg;
}  // namespace orv

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

}  // namespace orv::views_tools
