#include "views/map/WebView2Holder.h"

#include <QWidget>

#include "platform/base/HeapPolicy.h"
#include "platform/web/WebHost.h"
#include "platform/web/WebModule.h"
#include "views/map/HostWebViewObject.h"
#include "views/map/MapConfig.h"
#include "views/map/MapScripts.h"

namespace orv {

namespace {

// Sent with tile requests: tile services ask their users to name the application.
constexpr const char* kUserAgent = "Orvanta5 map view";

}  // namespace

std::function<void(std::function<void()>)> PostingCallbackRunner(HWND target) {
    return [target](std::function<void()> callable) {
        PostOwnedPayload(target, WM_APP_RUN_ASYNC, std::make_shared<std::function<void()>>(std::move(callable)));
    };
}

void RunPostedCallback(PayloadTicket ticket) {
    const auto callable = std::static_pointer_cast<std::function<void()>>(TakePayload(ticket));
    if (callable && *callable) (*callable)();
}

CWebView2Holder::CWebView2Holder() = default;

CWebView2Holder::~CWebView2Holder() {
    CloseWebView();
    delete m_pWebView.data();
}

BOOL CWebView2Holder::CreateEnvironment(QWidget* window, HWND hwnd, IHostWebViewFuncs* funcs) {
    if (m_bEnvCreated) return FALSE;
    m_bEnvCreated = 1;
    m_pWindow = window;
    m_hWnd = hwnd;
    m_pFuncs = funcs;
    m_pWebView = CreateWebHost(window);
    if (!m_pWebView) return FALSE;
    m_pWebView->SetUserAgent(QString::fromLatin1(kUserAgent));
    m_pWebView->show();
    return SetupWebView() ? TRUE : FALSE;
}

bool CWebView2Holder::SetupWebView() {
    if (!m_pWebView) return false;
    Resize();
    const bool created = CreateHostObject();
    m_webMessageReceived = QObject::connect(m_pHostObject.get(), &HostWebViewObject::webMessageReceived,
                                            [this](const QString& json) { OnWebMessageReceived(json); });
    m_pWebView->Navigate(QUrl(QString::fromLatin1(kMapPageUrl)));
    return created;
}

bool CWebView2Holder::CreateHostObject() {
    if (!m_pWebView) return false;
    auto runner = PostingCallbackRunner(m_hWnd);
    if (m_pHostObject) m_pWebView->DeregisterHostObject(QStringLiteral("sample"));
    QObject::disconnect(m_acknowledged);
    m_pHostObject = std::make_unique<HostWebViewObject>(m_pFuncs, runner);
    m_acknowledged = QObject::connect(m_pHostObject.get(), &HostWebViewObject::acknowledged,
                                      [this](int serial) { OnAcknowledged(serial); });
    m_pWebView->RegisterHostObject(QStringLiteral("sample"), m_pHostObject.get());
    m_nPublished = m_nAcknowledged = m_pHostObject->serial();
    return true;
}

bool CWebView2Holder::CloseWebView() {
    if (!m_pWebView) return false;
    m_pWebView->DeregisterHostObject(QStringLiteral("sample"));
    QObject::disconnect(m_webMessageReceived);
    QObject::disconnect(m_acknowledged);
    m_pending.clear();
    return true;
}

void CWebView2Holder::DestroyWebView() {
    CloseWebView();
    const bool had = m_pWebView;
    delete m_pWebView.data();
    m_pHostObject.reset();
    m_nPublished = m_nAcknowledged = 0;
    m_bEnvCreated = 0;
    // The page, its profile and their buffers are freed on the engine's threads as well.
    if (had) TrimHeapsSoon();
}

void CWebView2Holder::Resize() {
    if (!m_pWindow || !m_pWebView) return;
    m_pWebView->setGeometry(m_pWindow->rect());
    m_pWebView->SetZoomFactor(kZoomFactor);
}

void CWebView2Holder::OnWebMessageReceived(const QString& json) {
    m_json.Parse(json.toStdString());
    map_lat = m_json.Get("map_lat");
    map_lng = m_json.Get("map_lng");
    map_status = m_json.Get("map_status");
}

bool CWebView2Holder::SendMapUpdate(const std::string& status, double lat, double lng) {
    if (!m_pWebView || !m_pHostObject) return false;
    map_lat = FormatFixed6(lat);
    map_lng = FormatFixed6(lng);
    map_status = status;
    emit m_pHostObject->webMessage(QString::fromStdString(ComposeMapUpdate(m_json, map_status, map_lat, map_lng)));
    return true;
}

std::string CWebView2Holder::ComposeMapUpdate(CJsonHolder& json, const std::string& status, const std::string& lat,
                                              const std::string& lng) {
    json.Clear();
    json.AddPair("val_command", "update");
    json.AddPair("map_lat", lat);
    json.AddPair("map_lng", lng);
    json.AddPair("map_status", status);
    json.AddPair("val_end", "");
    return json.Serialize();
}

void CWebView2Holder::ExecuteScript(const std::string& script, std::function<void(const QVariant&)> done) {
    if (!m_pWebView) return;
    m_pending.push_back(PendingScript{m_nPublished, QString::fromStdString(script), std::move(done)});
    while (m_pending.size() > kMaxPendingScripts) m_pending.pop_front();
    RunReady();
}

void CWebView2Holder::RefreshTrack(BOOL wholeLine) {
    if (!m_pHostObject || !m_pFuncs) return;
    TrackArray gps;
    if (wholeLine) gps = m_pFuncs->GetGPSData();
    Published(m_pHostObject->PublishTracks(wholeLine ? &gps : nullptr, m_pFuncs->GetGridData("0")));
}

void CWebView2Holder::RefreshFrame() {
    if (m_pHostObject) Published(m_pHostObject->PublishFrame());
}

void CWebView2Holder::Published(int serial) { m_nPublished = std::max(m_nPublished, serial); }

void CWebView2Holder::OnAcknowledged(int serial) {
    // Only a serial that was handed out counts: the page cannot run ahead of the program.
    if (serial > m_nAcknowledged && serial <= m_nPublished) m_nAcknowledged = serial;
    RunReady();
}

void CWebView2Holder::RunReady() {
    while (!m_pending.empty() && m_pending.front().serial <= m_nAcknowledged) {
        PendingScript next = std::move(m_pending.front());
        m_pending.pop_front();
        m_pWebView->ExecuteScript(next.script, std::move(next.done));
    }
}

}  // namespace orv
