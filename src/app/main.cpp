// Orvanta5: the viewer for a drive recorder's card.
#include <QApplication>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "app/window/CsulvaneApp.h"
#include "ui/CommonUtil.h"

int main(int argc, char** argv) {
    // On a Wayland session the window runs through XWayland: its own frame, its placement
    // and staying on top need the X11 window system.
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!std::getenv("QT_QPA_PLATFORM") && session && std::strcmp(session, "wayland") == 0 && std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    // Scripts for the map page and the settings values are written with '.' decimals,
    // whatever the user's locale says.
    std::setlocale(LC_NUMERIC, "C");
    // The standard dialogs speak the program's language, Japanese, on any system.
    orv::InstallQtTranslation();
    orv::CsulvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
