// The map bridge: the main window's one map member.
//
// It owns the map page host and the connectivity checker, answers the page's calls
// (IHostWebViewFuncs) and lets the main window run scripts in the page, reload the track,
// set the page's play status, show or hide the page and move it to another parent window.
// Every script goes out through ExecScript; nothing here knows the browser engine.
//
// UI thread only. Messages to the main window are
// posted, never sent: WM_APP_MAP_READY when the page has loaded its map library and
// WM_APP_MAP_MARKER_CLICK (lParam = frame) when an event marker was clicked.
#pragma once

#include <memory>
#include <string>

#include <QPointer>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "views/PaneValues.h"
#include "views/map/HostWebViewFuncs.h"

class QWidget;
class IInternetConnection;

namespace orv {

class CGoogleMapDlg2;
class IMapPageHost;

// Values of SetMapStatus.
enum MapStatus : int {
    MAP_STATUS_PLAY = 0,   // the marker follows the frame
    MAP_STATUS_PAUSE = 1,  // "pause"
    MAP_STATUS_STOP = 2,   // "stop"
};

class CGoogleMapDlgWrap : public IHostWebViewFuncs {
public:
    // Takes ownership of `connection` (the program's checker). Without one the bridge makes
    // its own connectivity watch, which probes the map tile server's address once a second.
    explicit CGoogleMapDlgWrap(std::unique_ptr<IInternetConnection> connection = nullptr);
    ~CGoogleMapDlgWrap() override;
    CGoogleMapDlgWrap(const CGoogleMapDlgWrap&) = delete;
    CGoogleMapDlgWrap& operator=(const CGoogleMapDlgWrap&) = delete;

    // Whether a page host can be made on this system (the web engine is present).
    static BOOL IsWebEngineAvailable();

    // Makes the page host as a child of `parent` (the map window); the page loads the first
    // time the host is shown. FALSE when a host already exists or none can be made.
    BOOL CreateHost(QWidget* parent);

    // Takes `host` as the page host (the tests give one of their own). FALSE when a host
    // exists already.
    BOOL AttachHost(std::unique_ptr<IMapPageHost> host);

    // The host's window, or null without a host; for the main window's layout.
    QWidget* GetHostWindow() const;

    // The web engine host made by CreateHost, or null.
    CGoogleMapDlg2* GetMapDlg2() const;

    // The connectivity checker (never null).
    IInternetConnection& GetConnection() { return *m_pConnection; }

    // Page-facing.
    BOOL ConnectTest() override;
    void OnInitHtml() override;
    TrackArray GetGPSData() override;
    TrackArray GetGridData(const std::string& unused) override;
    std::string GetMarkName(int eventKind) override;
    std::string GetRcString(int textIndex) override;
    std::string GetRelJpgNum() override;
    void DebugLog(const std::string& text) override;
    void OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                           double speed, double direction) override;
    std::string GetMapURL() override;
    void SetSend() override;

    // Main-window-facing.
    void ExecScript(const std::string& script);
    // Only once the page is ready: clears the event markers and the current movie's lines,
    // draws the whole track when `wholeLine`, then the current movie's track.
    void ReloadTrack(int grid, BOOL wholeLine);
    // MAP_STATUS_*: the status the page reads with the position; stop also moves the marker.
    void SetMapStatus(int status);
    // Writes the position the page shows the marker at when the frame has no track point.
    void SetMapPosition(double lat, double lng);
    // TRUE when the call changed the host's visibility. Hiding the page while the map is
    // switched off also ends its browser. Showing it loads the web engine first; when that
    // fails, the host is given up and GetHostWindow returns null from then on.
    BOOL ShowMap(BOOL show);
    // Moves the host window under `parent` (none when null); the previous parent, or null
    // without a host.
    QWidget* SetParent(QWidget* parent);

    // The main window, receiver of the posted messages.
    void SetOwner(HWND owner);
    // The frame shown: the page reads it as the current frame, and the marker stands at
    // the frame's position when it has a fix.
    void ShowFrame(const MapFrameValues& values);

    BOOL PageReady() const { return m_bPageReady; }
    BOOL IsShown() const { return m_bShown; }
    int RelJpgNum() const { return m_nRelJpgNum; }

private:
    BOOL m_bPageReady = FALSE;             // the page has loaded the map library
    BOOL m_bShown = FALSE;                 // the host window is shown by ShowMap
    int m_nRelJpgNum = 0;                  // the current frame
    HWND m_pOwner = 0;                     // the main window, receiver of the posted messages

    // The host, or null without one or once its window is gone.
    IMapPageHost* Host() const;

    std::unique_ptr<IInternetConnection> m_pConnection;
    std::unique_ptr<IMapPageHost> m_pHost;
    // A host that is a window is also a child of the map window, which may delete it first.
    QPointer<QWidget> m_pHostWindow;
    bool m_bHostHasWindow = false;
    bool m_bHostIsWindow = false;  // the host object is that window
    CGoogleMapDlg2* m_pMapDlg2 = nullptr;
};

}  // namespace orv
