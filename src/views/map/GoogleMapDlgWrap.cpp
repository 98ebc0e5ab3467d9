#include "views/map/GoogleMapDlgWrap.h"

#include <mutex>

#include <QWidget>

#include "playback/ChannelData.h"
#include "platform/web/WebModule.h"
#include "playback/PlayChannel.h"
#include "ui/text/UiText.h"
#include "views/EventClassification.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/InternetConnection.h"
#include "views/map/MapConfig.h"
#include "views/map/MapConnectionProbe.h"
#include "views/map/MapPageHost.h"
#include "views/map/MapScripts.h"

namespace orv {

CGoogleMapDlgWrap::CGoogleMapDlgWrap(std::unique_ptr<IInternetConnection> connection)
    : m_pConnection(std::move(connection)) {
    if (!m_pConnection) m_pConnection = std::make_unique<CMapConnectionProbe>(MapProbeUrl());
}

CGoogleMapDlgWrap::~CGoogleMapDlgWrap() {
    // The map window deletes its children when it goes first; then the host is gone already.
    if (m_bHostIsWindow && !m_pHostWindow) (void)m_pHost.release();
    m_pHost.reset();
    m_pConnection->StopInternetThreads();
}

BOOL CGoogleMapDlgWrap::IsWebEngineAvailable() { return IsWebEngineInstalled() ? TRUE : FALSE; }

BOOL CGoogleMapDlgWrap::CreateHost(QWidget* parent) {
    if (m_pHost || !IsWebEngineAvailable()) return FALSE;
    auto host = std::make_unique<CGoogleMapDlg2>(this, parent);
    CGoogleMapDlg2* dlg = host.get();
    if (!AttachHost(std::move(host))) return FALSE;
    m_pMapDlg2 = dlg;
    return TRUE;
}

BOOL CGoogleMapDlgWrap::AttachHost(std::unique_ptr<IMapPageHost> host) {
    if (m_pHost || !host) return FALSE;
    m_pHostWindow = host->GetWindow();
    m_bHostHasWindow = m_pHostWindow != nullptr;
    m_bHostIsWindow = dynamic_cast<QWidget*>(host.get()) != nullptr;
    m_pHost = std::move(host);
    return TRUE;
}

IMapPageHost* CGoogleMapDlgWrap::Host() const {
    if (m_bHostHasWindow && !m_pHostWindow) return nullptr;
    return m_pHost.get();
}

QWidget* CGoogleMapDlgWrap::GetHostWindow() const { return m_pHostWindow.data(); }

CGoogleMapDlg2* CGoogleMapDlgWrap::GetMapDlg2() const { return m_pHostWindow ? m_pMapDlg2 : nullptr; }

BOOL CGoogleMapDlgWrap::ConnectTest() {
    if (!m_pConnection->IsMapEnabled()) return FALSE;
    const BOOL connected = m_pConnection->IsConnected() ? TRUE : FALSE;
    if (!connected) m_bPageReady = FALSE;
    return connected;
}

void CGoogleMapDlgWrap::OnInitHtml() {
    m_bPageReady = TRUE;
    if (m_pOwner) PostAppMessage(m_pOwner, WM_APP_MAP_READY, 0, 0);
}

TrackArray CGoogleMapDlgWrap::GetGPSData() {
    sPLAYCHANNEL& channel = g_aPlayChannel[0];
    if (!channel.initialised) return TrackArray{0.0};
    // The loader threads replace the track under the slot lock.
    std::lock_guard<std::recursive_mutex> lock(channel.slotLock);
    if (!channel.listGpsTrack) return TrackArray{0.0};
    return MakeTrackArray(*channel.listGpsTrack);
}

TrackArray CGoogleMapDlgWrap::GetGridData(const std::string&) {
    ChannelsLock all;
    sPLAYCHANNEL& channel = g_aPlayChannel[0];
    if (!channel.initialised) return TrackArray{0.0};
    std::lock_guard<std::recursive_mutex> lock(channel.slotLock);
    return MakeTrackArray(channel.scanners[kActiveScanner].gps);
}

std::string CGoogleMapDlgWrap::GetMarkName(int eventKind) {
    if (eventKind < 0 || eventKind >= EVENT_KIND_COUNT) return {};
    return UiText(EventKindTextId(eventKind));
}

std::string CGoogleMapDlgWrap::GetRcString(int textIndex) { return UiText(textIndex); }

std::string CGoogleMapDlgWrap::GetRelJpgNum() { return std::to_string(m_nRelJpgNum); }

void CGoogleMapDlgWrap::DebugLog(const std::string&) {}

void CGoogleMapDlgWrap::OnClickCrashPoint(int, int, int ipos, int, double, double, double, double) {
    if (m_pOwner) PostAppMessage(m_pOwner, WM_APP_MAP_MARKER_CLICK, 0, LPARAM(ipos));
}

std::string CGoogleMapDlgWrap::GetMapURL() { return kMapLibraryUrl; }

void CGoogleMapDlgWrap::SetSend() {
    IMapPageHost* host = Host();
    if (!host) return;
    host->RefreshFrame();
    host->SendMapUpdate();
}

void CGoogleMapDlgWrap::ExecScript(const std::string& script) {
    IMapPageHost* host = Host();
    if (!host) return;
    // The frame shown is kept as a plain member (ShowFrame); a script that moves the
    // marker must see the frame it was shown with.
    host->RefreshFrame();
    host->ExecuteScript(script);
}

void CGoogleMapDlgWrap::ReloadTrack(int grid, BOOL wholeLine) {
    if (!m_bPageReady) return;
    if (IMapPageHost* host = Host()) host->RefreshTrack(wholeLine);
    ExecScript(kScriptClearCrashPos);
    ExecScript(kScriptRemoveLineList);
    if (wholeLine) ExecScript(kScriptCreateLine);
    ExecScript(CreateGridLineScript(grid));
}

void CGoogleMapDlgWrap::SetMapStatus(int status) {
    IMapPageHost* host = Host();
    if (!host) return;
    host->SetMapStatus(MapStatusText(status));
    if (status == MAP_STATUS_STOP) ExecScript(kScriptMoveMarker);
}

void CGoogleMapDlgWrap::SetMapPosition(double lat, double lng) {
    if (IMapPageHost* host = Host()) host->SetMapPosition(lat, lng);
}

void CGoogleMapDlgWrap::SetOwner(HWND owner) { m_pOwner = owner; }

void CGoogleMapDlgWrap::ShowFrame(const MapFrameValues& values) {
    m_nRelJpgNum = values.nRelJpgNum;
    if (values.dLatitude && values.dLongitude) SetMapPosition(*values.dLatitude, *values.dLongitude);
}

BOOL CGoogleMapDlgWrap::ShowMap(BOOL show) {
    QWidget* window = m_pHostWindow.data();
    if (!show) {
        const bool hidden = m_bShown && window && window->isVisible();
        if (hidden) {
            window->hide();
            m_bShown = FALSE;
        }
        // The map switched off gives its browser back; the next showing makes a new one.
        if (m_pMapDlg2 && window && !m_pConnection->IsMapEnabled()) {
            m_pMapDlg2->CloseBrowser();
            m_bPageReady = FALSE;
        }
        return hidden ? TRUE : FALSE;
    }
    if (m_bShown) return FALSE;
    if (window && window->isVisible()) return FALSE;
    // A web engine that cannot be loaded leaves the map without a page host, as on a system
    // without one: the main window then shows the logo pane in its place.
    if (m_pMapDlg2 && window && !LoadWebEngine()) {
        m_pHost.reset();
        m_pMapDlg2 = nullptr;
        window = nullptr;
    }
    if (window) window->show();
    m_bShown = TRUE;
    return TRUE;
}

QWidget* CGoogleMapDlgWrap::SetParent(QWidget* parent) {
    QWidget* window = m_pHostWindow.data();
    if (!window) return nullptr;
    QWidget* previous = window->parentWidget();
    // Moving a window to another parent hides it in Qt; it keeps its state as it would
    // on Windows.
    const bool shown = !window->isHidden();
    window->setParent(parent);
    if (shown) window->show();
    return previous;
}

}  // namespace orv
