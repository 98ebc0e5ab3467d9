// The map page's browser: the page host on the web engine, the program's object in the
// page, the web messages both ways, and the order of scripts.
//
// Scripts run in the order they are handed over, and each one only after the page holds
// the state published before it (the page acknowledges published states by serial), so a
// script that draws the track reads the track that was current when it was handed over.
// A new document reads every value afresh when it connects and acknowledges at once; a
// refused navigation leaves the document, and so the order, as it was.
// UI thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/web/WebHost.h"
#include "views/map/HostWebViewFuncs.h"
#include "views/map/JsonHolder.h"

class QWidget;

namespace orv {

class HostWebViewObject;

// Hands a callback over to the UI thread of window `target`: WM_APP_RUN_ASYNC with the
// callback's ticket of the payload store in wParam. A callback whose window goes away
// before it runs is freed without running.
std::function<void(std::function<void()>)> PostingCallbackRunner(HWND target);

// The receiving window's side: runs the callback of a WM_APP_RUN_ASYNC ticket once;
// nothing for a ticket that is unknown or was taken already.
void RunPostedCallback(PayloadTicket ticket);

class CWebView2Holder {
public:
    // The page's zoom: the map page is laid out for a larger window than the pane.
    static constexpr double kZoomFactor = 0.65;
    // Scripts waiting for the page beyond this many are dropped, oldest first (a page that
    // never acknowledges must not make the queue grow without end).
    static constexpr std::size_t kMaxPendingScripts = 4096;

    CWebView2Holder();
    virtual ~CWebView2Holder();
    CWebView2Holder(const CWebView2Holder&) = delete;
    CWebView2Holder& operator=(const CWebView2Holder&) = delete;

    // Makes the browser inside `window` (whose handle takes WM_APP_RUN_ASYNC) and loads
    // the page, loading the web engine first. FALSE when it was made already or the engine
    // cannot be loaded (the window then stays blank).
    BOOL CreateEnvironment(QWidget* window, HWND hwnd, IHostWebViewFuncs* funcs);

    // Each false without a browser.
    bool SetupWebView();
    bool CreateHostObject();
    // Takes the program's object out of the page and lets go of the page's events.
    bool CloseWebView();
    // Ends the browser (its page, profile and the engine's page process) and the program's
    // object in it; the next CreateEnvironment makes them again.
    void DestroyWebView();
    void Resize();
    void OnWebMessageReceived(const QString& json);
    // Posts {"map_lat", "map_lng", "map_status", "val_command": "update", "val_end": ""};
    // false without a browser.
    bool SendMapUpdate(const std::string& status, double lat, double lng);

    // The update message's pairs in `json` (emptied first), its text returned.
    static std::string ComposeMapUpdate(CJsonHolder& json, const std::string& status, const std::string& lat,
                                        const std::string& lng);

    // Runs `script` in order (see above); `done` gets its value.
    void ExecuteScript(const std::string& script, std::function<void(const QVariant&)> done = {});
    void RefreshTrack(BOOL wholeLine);
    void RefreshFrame();

    WebHost* GetWebView() const { return m_pWebView; }
    HostWebViewObject* GetHostObject() const { return m_pHostObject.get(); }
    std::size_t PendingScripts() const { return m_pending.size(); }

    QWidget* m_pWindow = nullptr;
    HWND m_hWnd = 0;
    IHostWebViewFuncs* m_pFuncs = nullptr;
    CJsonHolder m_json;
    std::uint8_t m_bEnvCreated = 0;  // the browser has been made
    // The last values sent or received.
    std::string map_lat;
    std::string map_lng;
    std::string map_status;

private:
    struct PendingScript {
        int serial;  // the published state the script needs
        QString script;
        std::function<void(const QVariant&)> done;
    };

    void Published(int serial);
    void OnAcknowledged(int serial);
    void RunReady();

    QPointer<WebHost> m_pWebView;
    std::unique_ptr<HostWebViewObject> m_pHostObject;
    QMetaObject::Connection m_webMessageReceived;
    QMetaObject::Connection m_acknowledged;
    std::deque<PendingScript> m_pending;
    int m_nPublished = 0;     // newest serial handed to the page
    int m_nAcknowledged = 0;  // newest serial the page holds
};

}  // namespace orv
