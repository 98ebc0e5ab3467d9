// The renderer objects of a channel's open movie: its player and the overlay text's bitmap.
// The engine keeps one block per channel; opening builds it, closing empties it.
#pragma once

#include <functional>

#include <QImage>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "playback/engine/CPlayer.h"

namespace orv {

// The client rectangle of a window (origin 0, 0); false when the window has none (window
// 0, or a window that is gone). The window layer provides it.
using ClientRectSource = std::function<bool(HWND window, RECT* client)>;

struct sRENDERERBLOCK {
    ComPtr<CPlayer> player;  // null while nothing is open
    QImage overlayBitmap;    // 300 x 120, null while nothing is open
    ClientRectSource clientRect;

    // The display control of the player, null before the movie is ready or without a player.
    ComPtr<IMFVideoDisplayControl> DisplayControl() const {
        return player ? player->DisplayControl() : ComPtr<IMFVideoDisplayControl>();
    }
    // The ready check: a player whose display control is not there yet (its topology is
    // not ready) takes no transport or view call.
    bool NotReady() const { return player && !player->DisplayControl(); }
    bool ClientRect(HWND window, RECT* client) const { return clientRect && clientRect(window, client); }
};

}  // namespace orv
