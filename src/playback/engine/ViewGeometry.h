// The rectangle the picture is drawn into: pan and zoom about a point of the window, and
// the fit of the picture's aspect ratio. Pure geometry, in window pixels (right and bottom
// exclusive).
#pragma once

#include "platform/base/WinTypes.h"

namespace orv {

// Zooms `r` by `zoomFactor` about the point (zoomCentreX, zoomCentreY) of the window, so
// that the point under the centre stays where it is. False, leaving `r` unchanged, when
// the factor is 0 or not finite, when `r` has no width or height, when the zoomed
// rectangle would turn inside out (a factor below 0) or leave the range of int.
bool ZoomRect(RECT* r, int zoomCentreX, int zoomCentreY, float zoomFactor);

// Shrinks `r` to the picture's aspect ratio and centres it in `r`: when the client area
// is wider than the picture, the height stays and the width follows, else the width stays
// and the height follows. False, leaving `r` unchanged, when the client area or the
// picture has no width or height.
bool FitAspectRect(RECT* r, const RECT& client, int videoWidth, int videoHeight);

}  // namespace orv
