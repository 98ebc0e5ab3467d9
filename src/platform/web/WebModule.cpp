#include "platform/web/WebModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QLibraryInfo>
#include <QOpenGLContext>

#include "platform/web/WebHost.h"
#include "platform/web/WebModuleEntry.h"

QT_BEGIN_NAMESPACE
// Sets the context that every OpenGL context of the process shares with (QtGui exports it
// for the engines that need one, as Qt WebEngine does).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace orv {

namespace {

constexpr const char* kWebModuleFile = ORV_WEB_MODULE_FILE;

struct LoadedModule {
    bool tried = false;
    std::string error;
    WebModuleCreateHost create = nullptr;
};

LoadedModule& Module() {
    static LoadedModule module;
    return module;
}

QOpenGLContext* g_pShareContext = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// Qt warns that the attribute below belongs before the application: set there, it makes the
// shared context (and loads the OpenGL driver) at start. Here it is set late on purpose.
void DropLateAttributeWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("Attribute Qt::AA_ShareOpenGLContexts"))) return;
    if (g_previousHandler) g_previousHandler(type, context, text);
}

void DeleteShareContext() {
    qt_gl_set_global_share_context(nullptr);
    delete g_pShareContext;
    g_pShareContext = nullptr;
}

// The web engine draws its pages through OpenGL contexts shared with the widgets' own. It
// makes the shared context itself when it is linked in before the application exists; loaded
// later, it expects to find one, made here as the engine would. The widgets share with it
// only while Qt::AA_ShareOpenGLContexts is set.
void ShareOpenGLContexts() {
    if (!QOpenGLContext::globalShareContext()) {
        g_pShareContext = new QOpenGLContext;
        g_pShareContext->create();  // without OpenGL the engine draws in software
        qt_gl_set_global_share_context(g_pShareContext);
        qAddPostRoutine(DeleteShareContext);
    }
    g_previousHandler = qInstallMessageHandler(DropLateAttributeWarning);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(g_previousHandler);
}

}  // namespace

std::string FindWebModule() {
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {folder + "/" + kWebModuleFile, folder + "/../lib/orvanta5/" + kWebModuleFile}) {
        const QFileInfo file(candidate);
        if (file.isFile()) return file.absoluteFilePath().toStdString();
    }
    return {};
}

bool IsWebEngineInstalled() {
    const QString process = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
    return QFileInfo(process).isExecutable() && !FindWebModule().empty();
}

bool LoadWebEngine(std::string* error) {
    LoadedModule& module = Module();
    if (!module.tried) {
        module.tried = true;
        const std::string path = FindWebModule();
        if (path.empty()) {
            module.error = std::string(kWebModuleFile) + " not found beside the program";
        } else {
            ShareOpenGLContexts();
            // Never unloaded: the engine's threads and objects live to the end of the run.
            QLibrary library(QString::fromStdString(path));
            if (!library.load())
                module.error = library.errorString().toStdString();
            else if (!(module.create = reinterpret_cast<WebModuleCreateHost>(library.resolve(kWebModuleCreateHost))))
                module.error = path + ": " + kWebModuleCreateHost + " missing";
        }
        if (!module.create) qWarning("web engine unavailable: %s", module.error.c_str());
    }
    if (error) *error = module.error;
    return module.create != nullptr;
}

bool IsWebEngineLoaded() { return Module().create != nullptr; }

WebHost* CreateWebHost(QWidget* parent) {
    if (!LoadWebEngine()) return nullptr;
    return Module().create(parent);
}

}  // namespace orv
