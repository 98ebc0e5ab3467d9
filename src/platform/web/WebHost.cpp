#include "platform/web/WebHost.h"

#include <QResizeEvent>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace orv {

namespace {

// A page that stays on the program's own documents.
class GuardedPage : public QWebEnginePage {
public:
    GuardedPage(QWebEngineProfile* profile, WebHost* host) : QWebEnginePage(profile, host), m_pHost(host) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (WebHost::IsOwnPage(url)) return true;
        emit m_pHost->NavigationRefused(url);
        return false;
    }

    QWebEnginePage* createWindow(WebWindowType) override {
        emit m_pHost->NavigationRefused(QUrl());
        return nullptr;
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    WebHost* m_pHost;
};

}  // namespace

WebHost::WebHost(QWidget* parent) : QWidget(parent) {
    // No storage name: an off-the-record profile, nothing written to disk.
    m_pProfile = new QWebEngineProfile(this);
    m_pProfile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_pPage = new GuardedPage(m_pProfile, this);
    m_pChannel = new QWebChannel(this);
    m_pView = new QWebEngineView(this);
    m_pView->setPage(m_pPage);
    m_pView->setContextMenuPolicy(Qt::NoContextMenu);
    m_pView->setGeometry(rect());

    connect(m_pPage, &QWebEnginePage::loadStarted, this, &WebHost::LoadStarted);
    connect(m_pPage, &QWebEnginePage::loadFinished, this, &WebHost::LoadFinished);
    // The channel follows the document: a page is given the objects only when it is ours.
    connect(m_pPage, &QWebEnginePage::urlChanged, this, &WebHost::AttachChannel);
}

WebHost::~WebHost() {
    // The page must go before its profile.
    m_pPage->setWebChannel(nullptr);
    delete m_pView;
    delete m_pPage;
    delete m_pProfile;
}

bool WebHost::IsOwnPage(const QUrl& url) { return url.isValid() && url.scheme() == QLatin1String("qrc"); }

void WebHost::RegisterHostObject(const QString& name, QObject* object) { m_pChannel->registerObject(name, object); }

void WebHost::DeregisterHostObject(const QString& name) {
    if (QObject* object = m_pChannel->registeredObjects().value(name)) m_pChannel->deregisterObject(object);
}

bool WebHost::Navigate(const QUrl& url) {
    if (!IsOwnPage(url)) {
        emit NavigationRefused(url);
        return false;
    }
    AttachChannel(url);
    m_pPage->load(url);
    return true;
}

QUrl WebHost::CurrentUrl() const { return m_pPage->url(); }

void WebHost::AttachChannel(const QUrl& url) {
    const bool own = IsOwnPage(url);
    if (own == m_bChannelAttached) return;
    m_pPage->setWebChannel(own ? m_pChannel : nullptr);
    m_bChannelAttached = own;
}

void WebHost::ExecuteScript(const QString& script, std::function<void(const QVariant&)> done) {
    if (done)
        m_pPage->runJavaScript(script, [done = std::move(done)](const QVariant& v) { done(v); });
    else
        m_pPage->runJavaScript(script);
}

void WebHost::SetZoomFactor(double factor) { m_pView->setZoomFactor(factor); }

void WebHost::SetUserAgent(const QString& agent) { m_pProfile->setHttpUserAgent(agent); }

void WebHost::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_pView->setGeometry(rect());
}

}  // namespace orv
