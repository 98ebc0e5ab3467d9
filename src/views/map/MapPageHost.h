// What the map bridge needs of the window that shows the map page. The page host on the
// web engine (CGoogleMapDlg2) implements it; the bridge's tests give a recording one.
#pragma once

#include <string>

#include "platform/base/WinTypes.h"

class QWidget;

namespace orv {

class IMapPageHost {
public:
    virtual ~IMapPageHost() = default;

    // The host's window; null when the host has none.
    virtual QWidget* GetWindow() = 0;

    // Runs `script` in the page, after every script handed over before it.
    virtual void ExecuteScript(const std::string& script) = 0;

    // The page is about to draw the tracks: take them again from the bridge (the list-wide
    // track only when `wholeLine`). Scripts handed over afterwards see the new tracks.
    virtual void RefreshTrack(BOOL wholeLine) = 0;

    // Takes the current frame again from the bridge; scripts handed over afterwards see it.
    virtual void RefreshFrame() = 0;

    // The play status and position that the page receives with the next update.
    virtual void SetMapStatus(const std::string& status) = 0;
    virtual void SetMapPosition(double lat, double lng) = 0;

    // Sends the status and position to the page.
    virtual void SendMapUpdate() = 0;
};

}  // namespace orv
