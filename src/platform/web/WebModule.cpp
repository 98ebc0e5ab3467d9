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

// Qt warns that the engine and the attribute below belong before the application: set there,
// they make the shared context (and load the OpenGL driver) at start. Here the engine comes
// late on purpose.
void DropLateStartWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && (text.startsWith(QLatin1String("Attribute Qt::AA_ShareOpenGLContexts")) ||
                                 text.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin"))))
        return;
    if (g_previousHandler) g_previousHandler(type, context, text);
}

void DeleteShareContext() {
    qt_gl_set_global_share_context(nullptr);
    delete g_pShareContext;
    g_pShareContext = nullptr;
}

// Drawn through OpenGL, the web engine's pages share contexts with the widgets' own. The
// engine makes the shared context itself when it is linked in before the application exists;
// loaded later, it expects to find one, made here as the engine would. The widgets share with
// it only while Qt::AA_ShareOpenGLContexts is set. Drawing in software, the engine still reads
// the shared context's format as it starts: then one stands, never created (`create` false).
void ShareOpenGLContexts(bool create) {
    if (!QOpenGLContext::globalShareContext()) {
        g_pShareContext = new QOpenGLContext;
        if (create) g_pShareContext->create();  // without OpenGL the engine draws in software
        qt_gl_set_global_share_context(g_pShareContext);
        qAddPostRoutine(DeleteShareContext);
    }
    if (create) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// The scene graph backend that Qt Quick, and the engine following it, will use.
QByteArray QuickBackend() {
    const QByteArray backend = qgetenv("QT_QUICK_BACKEND");
    return backend.isEmpty() ? qgetenv("QMLSCENE_DEVICE") : backend;
}

}  // namespace

void ChooseWebRendering() {
    static bool chosen = false;
    if (chosen) return;
    chosen = true;
    if (QuickBackend().isEmpty()) qputenv("QT_QUICK_BACKEND", "software");
    // The engine still makes an offscreen surface as it starts, which on X11 loads the GLX
    // driver; without an OpenGL integration the surface is a hidden window. Nothing else of
    // the program draws with OpenGL.
    if (QuickBackend() == "software" && !qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

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
            g_previousHandler = qInstallMessageHandler(DropLateStartWarnings);
            ChooseWebRendering();
            ShareOpenGLContexts(QuickBackend() != "software");
            // Never unloaded: the engine's threads and objects live to the end of the run.
            QLibrary library(QString::fromStdString(path));
            const bool loaded = library.load();
            qInstallMessageHandler(g_previousHandler);
            if (!loaded)
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
