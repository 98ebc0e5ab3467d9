// The main window's side of the playback road: what the road asks of the window, and the
// two panes the window keeps feeding itself (the map pane and the speed label).
#include "app/window/CsulvaneDlgPanes.h"

#include <QLabel>

#include "ui/text/UiText.h"

namespace orv {

class CsulvaneDlg::RoadHost : public IPlaybackRoadHost {
public:
    explicit RoadHost(CsulvaneDlg& dlg) : d(dlg) {}

    HWND RoadWindow() const override { return d.GetSafeHwnd(); }
    void SetRoadTimer(unsigned id, unsigned ms) override { d.SetTimer(id, ms); }
    void KillRoadTimer(unsigned id) override { d.KillTimer(id); }
    void BeginWaitCursor() override { d.BeginWaitCursor(); }
    void EndWaitCursor() override { d.EndWaitCursor(); }
    void ShowError(int textId) override { d.ShowError(textId); }

    void DisableAllControls() override { d.DisableAllControls(); }
    void EnableIdleControls() override { d.EnableIdleControls(); }
    void UpdateControlStates() override { d.UpdateControlStates(); }
    void SetPlayButtonState(BOOL playing) override { d.SetPlayButtonState(playing); }

    int Volume() const override { return d.m_nVolume; }
    void SetVolume(int volume) override { d.SetVolume(volume); }
    void SetChannelVolumes(int front) override { d.SetChannelVolumes(front); }

    BOOL KeepAspect() const override { return d.m_bKeepAspect; }
    ViewRecords& Views() override { return d.m_aView; }
    int LayoutMode() const override { return d.m_nLayoutMode; }
    void RestoreLayout() override { d.LayoutForMode(d.m_nLayoutMode); }
    BOOL LargeVideo() const override { return d.m_bLargeVideo; }
    void SetLargeVideo(BOOL on) override { d.SetLargeVideo(on); }
    BOOL ObdShown() const override { return d.m_bObdShown; }
    void UpdateMapPane() override { d.UpdateMapPane(); }
    void UpdateSpeedLabel() override { d.UpdateSpeedLabel(); }

private:
    CsulvaneDlg& d;
};

void CsulvaneDlg::CreatePlaybackRoad() {
    m_pRoadHost = std::make_shared<RoadHost>(*this);
    m_pRoad = std::make_unique<CPlaybackRoad>(
        *m_pRoadHost, PlaybackPanes{m_pMapWrap, m_pInfoDlg, m_pGraphDlg, m_pObdDlg, m_pMapWindow, m_aMovieStatic,
                                    m_pSeekSlider, m_pFiler, m_pLogo, m_apTransport, m_pEngine, m_hMutexCache,
                                    m_hMutexCpSet});
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

void CsulvaneDlg::UpdateSpeedLabel() {
    if (!m_pSpeedLabel) return;
    const int id = ChannelInitialised(0) ? SpeedLabelTextId(Channel(0).speedStep) : -1;
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
