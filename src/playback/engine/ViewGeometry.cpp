#include "playback/engine/ViewGeometry.h"

#include <cmath>
#include <limits>

namespace orv {

namespace {

bool FitsInt(double v) {
    return std::isfinite(v) && v >= double(std::numeric_limits<int>::min()) &&
           v <= double(std::numeric_limits<int>::max());
}

}  // namespace

bool ZoomRect(RECT* r, int zoomCentreX, int zoomCentreY, float zoomFactor) {
    if (!r || zoomFactor == 0.0f || !std::isfinite(zoomFactor)) return false;
    const double w = r->Width();
    const double h = r->Height();
    if (!(w > 0.0) || !(h > 0.0)) return false;
    const double grow = double(zoomFactor) - 1.0;
    const double fx = zoomCentreX / w;
    const double fy = zoomCentreY / h;
    const double left = r->left - std::trunc(fx * w * grow);
    const double right = r->right + std::trunc((1.0 - fx) * w * grow);
    const double top = r->top - std::trunc(fy * h * grow);
    const double bottom = r->bottom + std::trunc((1.0 - fy) * h * grow);
    if (left > right || top > bottom) return false;
    if (!FitsInt(left) || !FitsInt(right) || !FitsInt(top) || !FitsInt(bottom)) return false;
    *r = RECT{int(left), int(top), int(right), int(bottom)};
    return true;
}

bool FitAspectRect(RECT* r, const RECT& client, int videoWidth, int videoHeight) {
    if (!r || videoWidth <= 0 || videoHeight <= 0 || client.Width() <= 0 || client.Height() <= 0) return false;
    const double q = double(videoWidth) / double(videoHeight);
    long long width = r->Width();
    long long height = r->Height();
    if (double(client.Width()) / double(client.Height()) > q) {
        width = static_cast<long long>(std::trunc(double(height) * q));
    } else {
        height = static_cast<long long>(std::trunc(double(width) / q));
    }
    // Halves of sums as integers, so an odd remainder falls the same way on both sides.
    const long long xSum = static_cast<long long>(r->left) + r->right;
    const long long ySum = static_cast<long long>(r->top) + r->bottom;
    *r = RECT{int((xSum - width) / 2), int((ySum - height) / 2), int((xSum + width) / 2),
              int((ySum + height) / 2 + 1)};
    return true;
}

}  // namespace orv
