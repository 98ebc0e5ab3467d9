#include "ViewsFeed.h"

#include <cstdint>

#include "FrontMovie.h"
#include "recorder/RecordingName.h"
#include "ui/ScaleFonts.h"
#include "views/EventClassification.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

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

}  // namespace orv::views_tools
