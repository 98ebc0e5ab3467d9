// The web page host on Qt WebEngine, built as the module that the program loads the first
// time it shows a web page (see WebModule.h). Only the entry point below is exported.
#include <QResizeEvent>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "platform/web/WebHost.h"
#include "platform/web/WebModuleEntry.h"

namespace orv {

namespace {

class WebEngineHost;

// A page that stays on the program's own documents.
class GuardedPage : public QWebEnginePage {
public:
    GuardedPage(QWebEngineProfile* profile, QObject* parent, std::function<void(const QUrl&)> refused)
        : QWebEnginePage(profile, parent), m_refused(std::move(refused)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (WebHost::IsOwnPage(url)) return true;
        m_refused(url);
        return false;
    }

    QWebEnginePage* createWindow(WebWindowType) override {
        m_refused(QUrl());
        return nullptr;
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    std::function<void(const QUrl&)> m_refused;
};

class WebEngineHost final : public WebHost {
public:
    explicit WebEngineHost(QWidget* parent) : WebHost(parent) {
        // No storage name: an off-the-record profile, nothing written to disk.
        m_pProfile = new QWebEngineProfile(this);
        m_pProfile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        m_pPage = new GuardedPage(m_pProfile, this, [this](const QUrl& url) { NavigationRefused(url); });
        m_pChannel = new QWebChannel(this);
        m_pView = new QWebEngineView(this);
        m_pView->setPage(m_pPage);
        m_pView->setContextMenuPolicy(Qt::NoContextMenu);
        m_pView->setGeometry(rect());
        // The channel follows the document: a page is given the objects only when it is ours.
        QObject::connect(m_pPage, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) { AttachChannel(url); });
    }

    ~WebEngineHost() override {
        // The page must go before its profile.
        m_pPage->setWebChannel(nullptr);
        delete m_pView;
        delete m_pPage;
        delete m_pProfile;
    }

    void RegisterHostObject(const QString& name, QObject* object) override { m_pChannel->registerObject(name, object); }

    void DeregisterHostObject(const QString& name) override {
        if (QObject* object = m_pChannel->registeredObjects().value(name)) m_pChannel->deregisterObject(object);
    }

    bool Navigate(const QUrl& url) override {
        if (!IsOwnPage(url)) {
            NavigationRefused(url);
            return false;
        }
        AttachChannel(url);
        m_pPage->load(url);
        return true;
    }

    QUrl CurrentUrl() const override { return m_pPage->url(); }

    void ExecuteScript(const QString& script, std::function<void(const QVariant&)> done) override {
        if (done)
            m_pPage->runJavaScript(script, [done = std::move(done)](const QVariant& v) { done(v); });
        else
            m_pPage->runJavaScript(script);
    }

    void SetZoomFactor(double factor) override { m_pView->setZoomFactor(factor); }

    void SetUserAgent(const QString& agent) override { m_pProfile->setHttpUserAgent(agent); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        WebHost::resizeEvent(event);
        m_pView->setGeometry(rect());
    }

private:
    void AttachChannel(const QUrl& url) {
        const bool own = IsOwnPage(url);
        if (own == m_bChannelAttached) return;
        m_pPage->setWebChannel(own ? m_pChannel : nullptr);
        m_bChannelAttached = own;
    }

    QWebEngineProfile* m_pProfile = nullptr;
    QWebEnginePage* m_pPage = nullptr;
    QWebEngineView* m_pView = nullptr;
    QWebChannel* m_pChannel = nullptr;
    bool m_bChannelAttached = false;
};

}  // namespace

}  // namespace orv

extern "C" orv::WebHost* orv_web_create_host(QWidget* parent) {
    return new orv::WebEngineHost(parent);
}
