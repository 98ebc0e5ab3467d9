// Text laid over the bottom-right corner of a channel's picture by the mixer.
#pragma once

#include <string>

#include "playback/PlayChannel.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

// Draws the text into the overlay bitmap and hands it to the mixer, scaled as the picture
// is scaled into the window (OverlayBitmap.h). Under the slot lock. 1 when the mixer took
// it; 0 without an open movie, a picture size, a client area or a mixer.
int ShowOverlayText(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::string& text);

// Takes the overlay off the picture. Under the slot lock. 1.
int ClearOverlay(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer);

}  // namespace orv
