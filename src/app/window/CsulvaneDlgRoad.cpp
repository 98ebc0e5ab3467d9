// The main window's side of the playback road: what the road asks of the window, and the
// listeners through which the panes, the seek slider and the transport follow what the
// road tells.
#include "app/window/CsulvaneDlgPanes.h"

#include <QLabel>

#include "app/surface/MovieMenu.h"
#include "ui/text/UiText.h"

namespace orv {

class CsulvaneDlg::RoadHost : public IPlaybackRoadHost {
public:
    explicit RoadHost(CsulvaneDlg& dlg) : d(dlg) {}

    HWND RoadWindow() const override { return d.GetSafeHwnd(); }
    void SetRoadTimer(unsigned id, unsigned ms) override { d.SetTimer(id, ms); }
    void KillRoadTimer(unsigned id) override { d.KillTimer(id); }
    void ShowWaitCursor(bool on) override {
        if (on) d.BeginWaitCursor();
        else d.EndWaitCursor();
    }
    void ShowError(int textId) override { d.ShowError(textId); }
    void EnableControls(RoadControls controls) override {
        if (controls == RoadControls::kNone) d.DisableAllControls();
        else if (controls == RoadControls::kIdle) d.EnableIdleControls();
        else d.UpdateControlStates();
    }

    void RestoreLayout() override { d.LayoutForMode(d.m_nLayoutMode); }
    void LeaveLargeVideo() override { d.LeaveLargeVideo(); }
    void UpdateMapPane() override { d.UpdateMapPane(); }
    bool MapPageReady() const override { return d.m_pMapWrap->PageReady(); }
    bool MapPageLive() override {
        // The logo hides the page, or the page stands shown and its line is asked after.
        return !(d.m_pLogo && d.m_pLogo->isVisible()) && d.m_pMapWrap->ConnectTest();
    }
    void PaintVideo(bool black) override {
        for (CMovieStatic& surface : d.m_aMovieStatic) {
            if (!surface.IsCreated()) continue;
            if (black) surface.FillBlack();
            else surface.update();
        }
    }
    bool SeekDragging() const override { return d.m_pSeekSlider && d.m_pSeekSlider->IsCaptured(); }
    void DropSeekDrag() override {
        if (d.m_pSeekSlider) d.m_pSeekSlider->SetCaptured(FALSE);
    }

private:
    CsulvaneDlg& d;
};

// What the window connects to the road: each listener follows for one pane or control of the
// window it belongs to.
class CsulvaneDlg::PaneListener : public IPlaybackListener {
public:
    explicit PaneListener(CsulvaneDlg& dlg) : d(dlg) {}

protected:
    CsulvaneDlg& d;
};

// The map: the frame and its position, the event markers once the page is ready, the play
// status the page reads, and the map window's caption for a new movie.
class CsulvaneDlg::MapListener : public PaneListener {
public:
    using PaneListener::PaneListener;

    void OnRecordingCleared(unsigned parts) override {
        if ((parts & kPartMovie) && d.m_pMapWindow->isVisible()) d.m_pMapWrap->ShowFrame(PaneValuesOf(nullptr, -1).map);
    }
    void OnRecordingOpened(const RecordingOpened& opened) override {
        // The map window holds the map again whatever it held before.
        if (opened.stage == RecordingOpened::kOpening) d.m_pMapWindow->SetCaptionText(CMovieDialog::kCaptionMap);
    }
    void OnFrameShown(const FrameShown& shown) override {
        if (shown.values) d.m_pMapWrap->ShowFrame(shown.values->map);
    }
    void OnEventsFound(const EventsFound& found) override {
        CGoogleMapDlgWrap& map = *d.m_pMapWrap;
        if (!map.PageReady()) return;
        map.ReloadTrack(found.row, found.wholeLine);
        for (const EventMarker& m : found.markers)
            map.ExecScript(AddCrashPosScript(m.kind, m.gX, m.gY, m.gZ, 0, found.row, m.frame, m.latitude, m.longitude,
                                             m.valid, m.speed, 0.0));
    }
    void OnTransportShown(const TransportShown& shown) override {
        if (!shown.status) return;
        const PlayState state = *shown.status;
        d.m_pMapWrap->SetMapStatus(state == PLAY_PLAYING  ? MAP_STATUS_PLAY
                                   : state == PLAY_PAUSED ? MAP_STATUS_PAUSE
                                                          : MAP_STATUS_STOP);
    }
};

// The info panel: the recording's title, time, quality and format, and each frame's values.
class CsulvaneDlg::InfoListener : public PaneListener {
public:
    using PaneListener::PaneListener;

    void OnRecordingCleared(unsigned parts) override {
        if (parts & kPartRecording) d.m_pInfoDlg->ClearRecording();
        if (parts & kPartValues) d.m_pInfoDlg->ResetInfoValues();
    }
    void OnRecordingOpened(const RecordingOpened& opened) override {
        CInfoDlg& info = *d.m_pInfoDlg;
        if (opened.stage == RecordingOpened::kOpening) {
            info.SetShowVoltage(opened.parkingTrace);
            return;
        }
        if (opened.stage == RecordingOpened::kDataIn) {
            info.SetRecording(opened.quality, opened.startTime, QString::fromStdString(opened.title));
            if (opened.data) info.SetDataFormat(opened.data->timeLapse, opened.data->format);
            info.SetFrameInterval(opened.frameInterval);
        }
        info.SetFrameCount(opened.frameCount);
    }
    void OnFrameShown(const FrameShown& shown) override {
        if (!shown.values) return;
        d.m_pInfoDlg->ShowFrame(shown.values->info);
        // The full-width layout hides the panel and shows the frame's time and speed in the
        // compact strip along the window's bottom.
        const int mode = d.m_nLayoutMode;
        if (PanesForMode(mode).infoPanel || mode == LAYOUT_FULL_WIDTH) d.m_pInfoDlg->UpdateIfChanged();
    }
    void OnTransportShown(const TransportShown& shown) override {
        if (shown.redraw) d.m_pInfoDlg->update();
    }
    void OnTraceFile(bool found) override { d.m_pInfoDlg->SetTraceFile(found); }
};

// The vehicle gauges take every frame's values, and draw them while their window is shown.
class CsulvaneDlg::GaugeListener : public PaneListener {
public:
    using PaneListener::PaneListener;

    void OnFrameShown(const FrameShown& shown) override {
        if (!shown.values) return;
        d.m_pObdDlg->ShowFrame(shown.values->obd);
        if (d.m_bObdShown) d.m_pObdDlg->update();
    }
};

// The G-sensor graph: its curves while a recording's data is there, its scale and axis, and
// its cursor.
class CsulvaneDlg::GraphListener : public PaneListener {
public:
    using PaneListener::PaneListener;

    void OnRecordingCleared(unsigned parts) override {
        CGSensorDlg& graph = *d.m_pGraphDlg;
        if (parts & kPartData) graph.ShowData(FALSE);
        if (parts & kPartScale) graph.SetAmplitudeMode(0);
        if (parts & (kPartScale | kPartMovie)) graph.update();
    }
    void OnRecordingOpened(const RecordingOpened& opened) override {
        CGSensorDlg& graph = *d.m_pGraphDlg;
        if (opened.stage == RecordingOpened::kOpening) graph.ShowData(TRUE);
        if (opened.stage != RecordingOpened::kDataIn) return;
        graph.ResetAxis();
        if (opened.data) graph.SetLargestG(opened.data->largestG, opened.data->largestAxisG);
        graph.SetFrameCount(opened.frameCount);
    }
    void OnFrameShown(const FrameShown& shown) override { d.m_pGraphDlg->ShowFrame(GraphFrameValues{shown.frame}); }
};

// The window's own controls: the seek slider's range and position, the play button, the
// speed label, the volume slider with the stored volume and keep-aspect flag, and the menus
// of a movie that closed.
class CsulvaneDlg::TransportListener : public PaneListener {
public:
    using PaneListener::PaneListener;

    void OnRecordingCleared(unsigned parts) override {
        if ((parts & kPartRecording) && d.m_pSeekSlider) d.m_pSeekSlider->SetRange(0, 0);
    }
    void OnRecordingOpened(const RecordingOpened& opened) override {
        if (opened.stage == RecordingOpened::kOpening) CMovieMenu::CloseOpenMenus();
        if (opened.stage == RecordingOpened::kDataIn && d.m_pSeekSlider) d.m_pSeekSlider->SetRange(0, opened.frameCount);
    }
    void OnFrameShown(const FrameShown& shown) override {
        if (d.m_pSeekSlider) d.m_pSeekSlider->SetPos(shown.frame);
    }
    void OnTransportShown(const TransportShown& shown) override {
        if (shown.playing) d.SetPlayButtonState(*shown.playing ? TRUE : FALSE);
        if (shown.speedStep) d.UpdateSpeedLabel(*shown.speedStep);
        if (shown.volume) {
            WriteVolume(*shown.volume);
            if (d.m_pVolumeSlider) d.m_pVolumeSlider->SetPos(*shown.volume);
        }
        if (shown.keepAspect) WriteKeepAspect(*shown.keepAspect);
    }
};

struct CsulvaneDlg::PaneListeners {
    explicit PaneListeners(CsulvaneDlg& dlg) : map(dlg), info(dlg), gauges(dlg), transport(dlg), graph(dlg) {}
    // In the order they are told: the map first, the slider and the graph's cursor last.
    MapListener map;
    InfoListener info;
    GaugeListener gauges;
    TransportListener transport;
    GraphListener graph;
};

void CsulvaneDlg::CreatePlaybackRoad() {
    m_pRoadHost = std::make_shared<RoadHost>(*this);
    m_pRoad = std::make_unique<CPlaybackRoad>(
        *m_pRoadHost, PlaybackLends{*m_pFiler, m_hMutexCache, m_hMutexCpSet, m_pGraphDlg->Detectors(), m_aView});
    m_pListeners = std::make_shared<PaneListeners>(*this);
    for (IPlaybackListener* listener : std::initializer_list<IPlaybackListener*>{
             &m_pListeners->map, &m_pListeners->info, &m_pListeners->gauges, &m_pListeners->transport,
             &m_pListeners->graph})
        m_pRoad->Connect(*listener);
}

void CsulvaneDlg::UpdateMapPane() {
    if (!m_pMapWindow) return;
    const bool online = m_pMapWrap->GetConnection().IsConnected();
    // A map docked in the main window shows only while the map is on, and not over the
    // full-video view.
    const bool pane = m_bMapInOwnWindow || (m_bMapShown && !m_bFullView);
    // The page shows when the map is on, the frame has a position and the tiles can load;
    // else the logo pane stands in its place, telling whether the map is offline.
    bool page = pane && m_bMapShown && m_pMapWrap->GetHostWindow() && online && !m_pRoad->ParkingNoFix();
    m_pMapWrap->ShowMap(page);
    // Showing the page loads the web engine; without it the host is gone and the logo stays.
    page = page && m_pMapWrap->GetHostWindow();
    m_pLogo->setVisible(pane && !page);
    ApplyLogoPicture();
    if (m_bInitDone && !m_bFullView) m_pMapWindow->setVisible(m_bMapShown && m_bMapInOwnWindow);
}

void CsulvaneDlg::UpdateSpeedLabel(int speedStep) {
    if (!m_pSpeedLabel) return;
    const int id = SpeedLabelTextId(speedStep);
    m_pSpeedLabel->setText(id < 0 ? QString() : QString::fromUtf8(UiText(id)));
    // In the full-width layout the label's text reaches into the compact strip: the strip's
    // title begins after it.
    const int textRight = m_pSpeedLabel->geometry().left() +
                          m_pSpeedLabel->fontMetrics().horizontalAdvance(m_pSpeedLabel->text()) + Scaled(10);
    if (m_pInfoDlg->CompactTitleLeft() != textRight) {
        m_pInfoDlg->SetCompactTitleLeft(textRight);
        if (m_nLayoutMode == LAYOUT_FULL_WIDTH) update();
    }
}

}  // namespace orv
