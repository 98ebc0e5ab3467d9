// Orvanta5: the viewer for a drive recorder's card.
#include <QApplication>

#include <cstdlib>
#include <cstring>

#include "app/window/CsulvaneApp.h"

int main(int argc, char** argv) {
    // On a Wayland session the window runs through XWayland: its own frame, its placement
    // and staying on top need the X11 window system.
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!std::getenv("QT_QPA_PLATFORM") && session && std::strcmp(session, "wayland") == 0 && std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    orv::SetUpApplication();
    orv::CsulvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
