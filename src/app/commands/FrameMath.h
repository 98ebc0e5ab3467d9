// The geometry of the main window's own frame: which part of the window a point is on,
// how a drag of an edge or corner turns into a new rectangle and window scale, the limits of
// that scale, and the pane area inside a window rectangle. Pure functions of their values;
// the main window and the scale overlay only apply what they return.
//
// All rectangles are in screen pixels; `s` is the process-wide scale factor, and every
// design value is multiplied by it and truncated before use.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/WinTypes.h"

namespace orv {

constexpr int kMainDesignWidth = 1120;
constexpr int kMainDesignHeight = 697;
// 24 / 7 in single precision: the largest window scale on any monitor.
constexpr float kMaxWindowScale = 3.4285715f;
// The overlay follows the cursor at most this often while an edge is dragged.
constexpr double kOverlayThrottleSeconds = 0.08888;

// Hit codes: the window system's values for the parts of a frame.
enum FrameHit : int {
    HT_NOWHERE = 0,
    HT_CLIENT = 1,
    HT_CAPTION = 2,
    HT_LEFT = 10,
    HT_RIGHT = 11,
    HT_TOP = 12,
    HT_TOPLEFT = 13,
    HT_TOPRIGHT = 14,
    HT_BOTTOM = 15,
    HT_BOTTOMLEFT = 16,
    HT_BOTTOMRIGHT = 17,
};

// The edge or corner being dragged.
enum SizingEdge : int {
    EDGE_NONE = 0,
    EDGE_LEFT = 1,
    EDGE_TOP = 2,
    EDGE_RIGHT = 3,
    EDGE_BOTTOM = 4,
    EDGE_TOPLEFT = 5,
    EDGE_BOTTOMRIGHT = 6,
    EDGE_BOTTOMLEFT = 7,
    EDGE_TOPRIGHT = 8,
};

// Which limits a proposed size broke.
enum ScaleLimit : int {
    LIMIT_NONE = 0,
    LIMIT_WIDTH_SMALL = 1,
    LIMIT_HEIGHT_SMALL = 2,
    LIMIT_BOTH_SMALL = 3,
    LIMIT_WIDTH_LARGE = 4,
    LIMIT_HEIGHT_LARGE = 5,
    LIMIT_BOTH_LARGE = 6,
};

// The part of the window `window` under the screen point `pt`: the sizing bands and
// corners, the caption strip, the bottom control band, else nowhere. A maximised window
// answers caption for its whole top strip first.
int HitTestFrame(const RECT& window, POINT pt, float s, bool maximised);

// What the window system is told about `pt`: the caption strip (so that it moves the
// window by it), the client area everywhere else, sizing bands included.
int NcHitTest(const RECT& window, POINT pt, float s, bool maximised);

int SizingEdgeFromHit(int hit);

// min(2 x work-area width / int(1120 s), 24/7).
float ComputeMaxScale(int workAreaWidth, float s);

// Moves the edge or edges of `edge` to (x, y); a dragged corner keeps the window at least
// int(1120 s) x int(697 s) by moving the dragged edges back.
void ApplySizingEdge(RECT& rc, int edge, int x, int y, float s);

// The window scales of `rc`, clamped to [1, maxScale] (the lower limit first), and the
// code of the limits broken.
int ClampWindowScale(float& scaleX, float& scaleY, const RECT& rc, float s, float maxScale);

// Puts the dragged edges of the axes that broke a limit at the limit size, measured from
// the opposite edge of `previous`.
void FitRectToScaleLimit(RECT& rc, const RECT& previous, int limit, int edge, float s, float maxScale);

// One step of a drag: the cursor memory that keeps the step from repeating itself while
// the cursor stands still.
struct SizingTracker {
    POINT last{-1, -1};
    bool once = false;
};

// One sizing step at the cursor `p`: FALSE when nothing is to be done; else `rc` holds the
// new rectangle (edges applied, limits fitted) and the scales its clamped scale.
BOOL TrackSizingStep(RECT& rc, SizingTracker& tracker, POINT p, int edge, float s, float maxScale,
                     float* scaleX, float* scaleY);

// The window size for window scales (sx, sy): int(int(1120 s) x sx) by int(int(697 s) x sy).
SIZE WindowSizeForScale(float s, float sx, float sy);

// The pane area inside a window rectangle.
struct PaneArea {
    int innerWidth = 0;
    int innerHeight = 0;
    int videoWidth = 0;
    int videoHeight = 0;
    int rightWidth = 0;   // for the right-hand panes
    int rightHeight = 0;
};
PaneArea ComputePaneArea(const RECT& window, float s);

// A stored window scale ("SCALEX"/"SCALEY"): used only when it parses whole as a finite
// number greater than 0, then clamped to [1, maxScale]; otherwise nothing.
std::optional<float> ParseStoredScale(std::string_view text, float maxScale);

// A window scale as the settings file keeps it ("%f", C locale).
std::string FormatStoredScale(float scale);

}  // namespace orv
