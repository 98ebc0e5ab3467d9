// A web page host on Qt WebEngine for the program's own pages.
//
// The host shows one page of the program's resources (the "qrc:" scheme) and refuses to go
// anywhere else: a navigation of the page or of a frame inside it to another address, and
// any new window it asks for, are refused. Objects registered with RegisterHostObject are
// published to the page through one QWebChannel, and only while the page is one of the
// program's own, so a document from elsewhere can never call into the program.
//
// Scripts run in the page's main world, in the order they were handed over. Script errors
// and console output stay inside the page. The browser profile is private to the host and
// keeps nothing on disk. UI thread only.
#pragma once

#include <functional>

#include <QUrl>
#include <QVariant>
#include <QWidget>

class QWebChannel;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace orv {

class WebHost : public QWidget {
    Q_OBJECT

public:
    explicit WebHost(QWidget* parent = nullptr);
    ~WebHost() override;

    // Whether `url` is one of the program's own pages (its resources).
    static bool IsOwnPage(const QUrl& url);

    // Publishes `object` (not owned; it must outlive the host or be removed first) to the
    // program's pages as `name`.
    void RegisterHostObject(const QString& name, QObject* object);
    void DeregisterHostObject(const QString& name);

    // Loads `url`; refused (false) unless it is one of the program's own pages.
    bool Navigate(const QUrl& url);
    QUrl CurrentUrl() const;

    // Runs `script` in the page; `done`, when given, gets the script's value.
    void ExecuteScript(const QString& script, std::function<void(const QVariant&)> done = {});

    void SetZoomFactor(double factor);

    // The identification sent with requests for remote content (map tiles).
    void SetUserAgent(const QString& agent);

signals:
    void LoadStarted();
    void LoadFinished(bool ok);
    // A navigation (of the page or of a frame in it) or a new window was refused.
    void NavigationRefused(const QUrl& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void AttachChannel(const QUrl& url);

    QWebEngineProfile* m_pProfile = nullptr;
    QWebEnginePage* m_pPage = nullptr;
    QWebEngineView* m_pView = nullptr;
    QWebChannel* m_pChannel = nullptr;
    bool m_bChannelAttached = false;
};

}  // namespace orv
