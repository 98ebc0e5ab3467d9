// The overlay text's picture and where it goes on the video.
//
// The text is drawn in pure green on black into a bitmap of 300 x 120 pixels; the mixer
// lays it over the bottom-right corner of the picture with black as the transparent
// colour, scaled as the picture is scaled into the window.
#pragma once

#include <optional>
#include <string>

#include <QImage>

#include "platform/media/MediaFoundation.h"
#include "playback/PlayChannel.h"

namespace orv {

constexpr int kOverlayWidth = 300;
constexpr int kOverlayHeight = 120;
constexpr COLORREF kOverlayTextColour = RGB(0, 255, 0);
constexpr COLORREF kOverlayKeyColour = RGB(0, 0, 0);  // transparent in the mixer

// A black 300 x 120 bitmap.
QImage MakeOverlayBitmap();

// Fills the bitmap black and draws the text into it, wrapped at words and cut at the
// bitmap's edges. Without a font the painter's default font is used. Text pixels are pure
// green (no smoothing), so the colour key leaves no fringe.
void DrawOverlayBitmap(QImage* bitmap, const std::optional<sOVERLAYFONT>& font, const std::string& text);

// The overlay's size in the window and its place on the picture.
struct sOVERLAYPLACE {
    int width = 0;   // window pixels
    int height = 0;
    MFVideoNormalizedRect destination;  // on the picture, 0..1, its corner at (1, 1)
};

// Scales the overlay as the picture is scaled into the client area: each axis by its own
// factor when the aspect is kept (the picture is letterboxed, and the destination is a
// part of the picture), else both by the smaller one. False when the client area or the
// picture has no width or height.
bool PlaceOverlay(int clientWidth, int clientHeight, int videoWidth, int videoHeight, int keepAspect,
                  sOVERLAYPLACE* place);

}  // namespace orv
