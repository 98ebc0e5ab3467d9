#include "ViewsFeed.h"

#include <cstdint>
#include <filesystem>

#include "FrontMovie.h"
#include "fixtures/DemoCard.h"
#include "recorder/RecordingName.h"
#include "ui/ScaleFonts.h"
#include "views/EventClassification.h"

namespace orv::views_tools {

void FeedLoadedMovie(const ViewsSet& views, const FrontMovieData& data, const std::string& movie,
                     int qualityCode) {
    if (CInfoDlg* info = views.info) {
        info->m_bDataLoaded = TRUE;
        info->m_stStart = RecordingTimeFromName(movie);
        info->m_nQualityCode = qualityCode;
        info->m_bTimeLapse = data.Header().mode == 'T' ? TRUE : FALSE;
        info->m_nDataFormat = data.Header().byteB;
        info->m_fFrameInterval = data.FrameInterval();
    }
    if (CGSensorDlg* graph = views.graph) {
        graph->m_nAmplitudeMode = AmplitudeModeForLargestG(data.LargestG());
        graph->m_bDataShown = TRUE;
        graph->m_nFrameCount = int(data.FrameCount());
        graph->m_nLeftMargin = int(41.0f * g_fScale);
        graph->m_nTileStep = int(640.0f * g_fScale) - graph->m_nLeftMargin;
    }
}

void FeedFrame(const ViewsSet& views, int frame) {
    const ChannelsLock lock;
    const sSENSORRECORD* record = GetFrameRecord(lock, frame);
    CInfoDlg* info = views.info;
    if (info && record) {
        info->m_dAccelX = record->gX;
        info->m_dAccelY = record->gY;
        info->m_dAccelZ = record->gZ;
        info->m_nRecMark = record->mark;
    } else if (info) {
        info->m_dAccelX = info->m_dAccelY = info->m_dAccelZ = kNoGValue;
    }
    if (record && record->gps) {
        const sGPSRECORD& gps = *record->gps;
        if (info) {
            info->m_bGpsValid = gps.valid ? TRUE : FALSE;
            info->m_dSpeed = gps.valid ? gps.speed : kNoSpeedValue;
            info->m_nVoltage10 = record->voltage;
        }
        if (const sOBDRECORD* obd = record->obd) {
            if (info)
                info->SetVehicleValues(obd->values[kObdReadingTurnSignal], std::int16_t(obd->values[kObdReadingSteering]),
                                       obd->values[kObdReadingBrake], obd->codes[0]);
            if (views.gauges) ReadObdValues(*obd, views.gauges->m_nValue);
        }
    } else if (info) {
        info->m_bGpsValid = FALSE;
    }
    if (info) info->m_nPosition = frame;
    if (CGSensorDlg* graph = views.graph) graph->m_nCurrentFrame = frame;
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
    info->m_pOffScreen = offScreen.get();
    info->m_pOldFont = offScreen->GetDC().SelectFont(g_hFont13);
    info->m_pImages = &images;
    info->m_strTitle = title;
    info->OnInitDialog();
    graph->m_pOffScreen = offScreen.get();
    graph->resize(T(1000), T(130));
    graph->OnInitDialog();
    gauges.m_pImages = &images;
    gauges.OnInitDialog();
    gauges.OpenAt(0, 0, T(660), T(230));
}

ViewsRig::~ViewsRig() { gauges.hide(); }

QImage ViewsRig::CompactStrip() {
    QImage window(main.size(), QImage::Format_RGB32);
    window.fill(Qt::black);
    DeviceContext windowDc(&window);
    info->m_nDrawMode = 2;
    info->DrawCompactInfo(&windowDc);
    const RECT strip = info->CompactStripRect();
    return window.copy(strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top);
}

}  // namespace orv::views_tools
