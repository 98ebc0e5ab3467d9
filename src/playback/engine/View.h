// The picture's place in the channel's window: the pan-and-zoom view, keeping the aspect
// ratio, and drawing the picture again.
//
// The view rectangle starts from the owner window's client area, is zoomed about the zoom
// centre, shifted by the view offset and, when the aspect is kept, fitted to the picture's
// aspect ratio. The video surface paints black around it. A channel without a window has no
// view: its view calls give 0.
#pragma once

#include "playback/PlayChannel.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

// Computes the view rectangle and stores it, before the aspect fit, as the video
// rectangle. False without a client area, when the zoom fails, or when the picture's size
// is needed for the fit and cannot be read.
bool ViewRectangle(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, bool fitAspect, RECT* view);

// Gives the display control the view rectangle and the aspect mode, and repaints the
// picture of an open movie. 1, or 0 without a display control or a view rectangle.
int SetMfVideoPosition(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int keep);

// Draws the picture with the stored view: needs an owner window and a ready player. 1
// drawn, 0 not.
int DrawView(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer);

// Stores the view (zoom centre, offset, zoom factor) and draws it, under the slot lock; 0
// at once while the movie is not ready. The redraw flag asked the windowless mixing
// renderers to paint at once; this renderer repaints whenever the view changes.
int SetView(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int zoomCentreX, int zoomCentreY,
            int viewOffsetX, int viewOffsetY, float zoomFactor, int redraw);

// Keeps the picture's aspect ratio (1) or stretches it over the window (0). With a movie
// the mode is applied first and stored only when that worked: 1, else 0. Without a movie
// it is only stored: 1.
int SetKeepAspect(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int keep);

// Shows the picture on screen again. 1, or 0 without a display control.
int RefreshFrame(const sRENDERERBLOCK& renderer);

// DrawView under the slot lock.
int RepaintVideo(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer);

}  // namespace orv
