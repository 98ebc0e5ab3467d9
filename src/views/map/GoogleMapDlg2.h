// The map page host on the web engine: a child window (inside the map window) that shows
// the map page and carries the position and play status to it. The browser comes up when
// the window is shown, the web engine being loaded the first time, and goes with
// CloseBrowser. UI thread only.
#pragma once

#include <string>

#include <QWidget>

#include "platform/window/AppWindow.h"
#include "views/map/HostWebViewFuncs.h"
#include "views/map/MapPageHost.h"
#include "views/map/WebView2Holder.h"

namespace orv {

class CGoogleMapDlg2 : public QWidget, public AppWindow, public IMapPageHost {
public:
    // `funcs`: the bridge (not owned).
    explicit CGoogleMapDlg2(IHostWebViewFuncs* funcs, QWidget* parent = nullptr);
    ~CGoogleMapDlg2() override;

    BOOL OnInitDialog() { return TRUE; }

    // Ends the browser and its page; the window stays, and the next showing makes them again.
    void CloseBrowser() { m_holder.DestroyWebView(); }

    // IMapPageHost
    QWidget* GetWindow() override { return this; }
    void ExecuteScript(const std::string& script) override { m_holder.ExecuteScript(script); }
    void RefreshTrack(BOOL wholeLine) override { m_holder.RefreshTrack(wholeLine); }
    void RefreshFrame() override { m_holder.RefreshFrame(); }
    void SetMapStatus(const std::string& status) override { m_strMapStatus = status; }
    void SetMapPosition(double lat, double lng) override {
        m_dMapLat = lat;
        m_dMapLng = lng;
    }
    void SendMapUpdate() override { m_holder.SendMapUpdate(m_strMapStatus, m_dMapLat, m_dMapLng); }

    double m_dMapLng = 0.0;
    double m_dMapLat = 0.0;
    std::string m_strMapStatus;
    IHostWebViewFuncs* m_pFuncs;
    CWebView2Holder m_holder;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // WM_APP_RUN_ASYNC: runs the callback whose ticket wParam holds.
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace orv
