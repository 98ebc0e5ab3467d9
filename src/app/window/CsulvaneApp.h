// The application: runs the main window as the program's one modal loop.
#pragma once

#include "platform/base/WinTypes.h"

namespace orv {

class CsulvaneApp {
public:
    // Runs the main window until it closes, then releases the shared fonts. Always FALSE:
    // the application runs no message loop of its own.
    BOOL InitInstance();
};

}  // namespace orv
