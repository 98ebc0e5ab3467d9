#include "ViewsFeed.h"

#include <filesystem>

#include "FrontMovie.h"
#include "fixtures/DemoCard.h"
#include "recorder/RecordingName.h"
#include "ui/ScaleFonts.h"
#include "views/EventClassification.h"
#include "views/PaneValues.h"

namespace orv::views_tools {

void FeedLoadedMovie(const ViewsSet& views, const FrontMovieData& data, const std::string& movie,
                     int qualityCode) {
    if (CInfoDlg* info = views.info) {
        info->SetRecording(qualityCode, RecordingTimeFromName(movie), info->Title());
        info->SetDataFormat(data.Header().mode == 'T' ? TRUE : FALSE, data.Header().byteB);
        info->SetFrameInterval(data.FrameInterval());
    }
    if (CGSensorDlg* graph = views.graph) {
        graph->SetAmplitudeMode(AmplitudeModeForLargestG(data.LargestG()));
        graph->ShowData(TRUE);
        graph->SetFrameCount(int(data.FrameCount()));
        graph->ResetAxis();
    }
}

void FeedFrame(const ViewsSet& views, int frame) {
    const ChannelsLock lock;
    const PaneValues values = PaneValuesOf(GetFrameRecord(lock, frame), frame);
    if (CInfoDlg* info = views.info) info->ShowFrame(values.info);
    if (views.gauges) views.gauges->ShowFrame(values.obd);
    if (CGSensorDlg* graph = views.graph) graph->ShowFrame(values.graph);
}

namespace {

int T(double k) { return int(k * double(g_fScale)); }

std::string FindBrakingMovie(const std::string& card) {
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(card, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("AG__-", 0) == 0 && name.size() > 5 && name.substr(name.size() - 5) == "M.MOV")
            return it->path().string();
    }
    return {};
}

}  // namespace

std::string DemoBrakingMovie(const std::string& card, std::string* error) {
    std::string movie = FindBrakingMovie(card);
    if (!movie.empty()) return movie;
    if (!fixtures::MakeDemoCard(card, false, error)) return {};
    movie = FindBrakingMovie(card);
    if (movie.empty() && error) *error = "the demo card holds no hard-braking recording";
    return movie;
}

ViewsRig::ViewsRig(const QString& title) : info(new CInfoDlg(&main)), graph(new CGSensorDlg(&main)) {
    // The main window's drawing buffer follows its size, as in the program.
    main.resize(T(1120), T(697));
    offScreen = std::make_unique<COffScreenDC>(main.width(), main.height());
    images.LoadImages(&main);
    offScreen->GetDC().SetBkMode(TRANSPARENT);
    info->LendOffScreen(offScreen.get(), offScreen->GetDC().SelectFont(g_hFont13));
    info->SetOwner(0, &images);
    info->SetTitle(title);
    info->OnInitDialog();
    graph->LendOffScreen(offScreen.get());
    graph->resize(T(1000), T(130));
    graph->OnInitDialog();
    gauges.SetOwner(0, &images);
    gauges.OnInitDialog();
    gauges.OpenAt(0, 0, T(660), T(230));
}

ViewsRig::~ViewsRig() { gauges.hide(); }

QImage ViewsRig::CompactStrip() {
    QImage window(main.size(), QImage::Format_RGB32);
    window.fill(Qt::black);
    DeviceContext windowDc(&window);
    info->SetDrawMode(2);
    info->DrawCompactInfo(&windowDc);
    const RECT strip = info->CompactStripRect();
    return window.copy(strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top);
}

}  // namespace orv::views_tools
