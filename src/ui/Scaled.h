// Design pixels at the current scale: k x g_fScale in single precision, truncated toward
// zero, as every layout and drawing size of the skinned controls is taken.
#pragma once

#include "ui/ScaleFonts.h"

namespace orv {

inline int Scaled(int designPixels) { return int(float(designPixels) * g_fScale); }

}  // namespace orv
