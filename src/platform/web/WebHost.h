// A web page host for the program's own pages.
//
// The host shows one page of the program's resources (the "qrc:" scheme) and refuses to go
// anywhere else: a navigation of the page or of a frame inside it to another address, and
// any new window it asks for, are refused. Objects registered with RegisterHostObject are
// published to the page through one QWebChannel, and only while the page is one of the
// program's own, so a document from elsewhere can never call into the program.
//
// Scripts run in the page's main world, in the order they were handed over. Script errors
// and console output stay inside the page. The browser profile is private to the host and
// keeps nothing on disk; deleting the host ends its page and its profile. UI thread only.
//
// The web engine lives in a module of its own that is loaded the first time a host is made
// (CreateWebHost in WebModule.h); this interface is all the rest of the program sees of it.
#pragma once

#include <functional>
#include <utility>

#include <QUrl>
#include <QVariant>
#include <QWidget>

namespace orv {

class WebHost : public QWidget {
public:
    using QWidget::QWidget;

    // Whether `url` is one of the program's own pages (its resources).
    static bool IsOwnPage(const QUrl& url) { return url.isValid() && url.scheme() == QLatin1String("qrc"); }

    // Publishes `object` (not owned; it must outlive the host or be removed first) to the
    // program's pages as `name`.
    virtual void RegisterHostObject(const QString& name, QObject* object) = 0;
    virtual void DeregisterHostObject(const QString& name) = 0;

    // Loads `url`; refused (false) unless it is one of the program's own pages.
    virtual bool Navigate(const QUrl& url) = 0;
    virtual QUrl CurrentUrl() const = 0;

    // Runs `script` in the page; `done`, when given, gets the script's value.
    virtual void ExecuteScript(const QString& script, std::function<void(const QVariant&)> done) = 0;

    virtual void SetZoomFactor(double factor) = 0;

    // The identification sent with requests for remote content (map tiles).
    virtual void SetUserAgent(const QString& agent) = 0;

    // Called with the address of every refused navigation (of the page or of a frame in it)
    // and with an empty address for a refused new window.
    void SetNavigationRefusedHandler(std::function<void(const QUrl&)> handler) { m_onRefused = std::move(handler); }

protected:
    void NavigationRefused(const QUrl& url) {
        if (m_onRefused) m_onRefused(url);
    }

private:
    std::function<void(const QUrl&)> m_onRefused;
};

}  // namespace orv
