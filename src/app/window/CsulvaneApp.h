// The application: runs the main window as the program's one modal loop.
#pragma once

#include "platform/base/WinTypes.h"

namespace orv {

// What the program sets once its QApplication exists, before any window: numbers in the map
// page's scripts and in the settings are written with '.' decimals whatever the user's locale
// says, and the standard dialogs speak the program's language, Japanese, on any system. The
// benches that run the main window in a process of their own start it the same way.
void SetUpApplication();

class CsulvaneApp {
public:
    // Runs the main window until it closes, then releases the shared fonts. Always FALSE:
    // the application runs no message loop of its own.
    BOOL InitInstance();
};

}  // namespace orv
