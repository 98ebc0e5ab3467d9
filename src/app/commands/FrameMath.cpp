#include "app/commands/FrameMath.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orv {

namespace {

int Scaled(int design, float s) { return int(float(design) * s); }

bool PtIn(int l, int t, int r, int b, POINT p) { return p.x >= l && p.x < r && p.y >= t && p.y < b; }

bool DragsLeft(int edge) { return edge == EDGE_LEFT || edge == EDGE_TOPLEFT || edge == EDGE_BOTTOMLEFT; }
bool DragsRight(int edge) { return edge == EDGE_RIGHT || edge == EDGE_BOTTOMRIGHT || edge == EDGE_TOPRIGHT; }
bool DragsTop(int edge) { return edge == EDGE_TOP || edge == EDGE_TOPLEFT || edge == EDGE_TOPRIGHT; }
bool DragsBottom(int edge) { return edge == EDGE_BOTTOM || edge == EDGE_BOTTOMRIGHT || edge == EDGE_BOTTOMLEFT; }

}  // namespace

int HitTestFrame(const RECT& w, POINT pt, float s, bool maximised) {
    const int b = Scaled(6, s);
    const int caption = Scaled(24, s);
    const int L = w.left, T = w.top, R = w.right, B = w.bottom;
    if (maximised && PtIn(L, T, R, T + caption, pt)) return HT_CAPTION;
    struct Zone {
        int l, t, r, b, code;
    };
    const Zone zones[] = {
        {L, T, L + b, T + b, HT_TOPLEFT},
        {R - b, T, R, T + b, HT_TOPRIGHT},
        {L, T, R, T + b, HT_TOP},
        {L, B - b, L + b, B, HT_BOTTOMLEFT},
        {R - b, B - b, R, B, HT_BOTTOMRIGHT},
        {L, T, L + b, B, HT_LEFT},
        {R - b, T, R, B, HT_RIGHT},
        {L, B - b, R, B, HT_BOTTOM},
        {L + b, T, R - b, T + caption, HT_CAPTION},
        {L, B - Scaled(2, s) - Scaled(38, s), R, B, HT_CLIENT},
    };
    for (const Zone& z : zones)
        if (PtIn(z.l, z.t, z.r, z.b, pt)) return z.code;
    return HT_NOWHERE;
}

int NcHitTest(const RECT& w, POINT pt, float s, bool maximised) {
    const int b = Scaled(6, s);
    const int caption = Scaled(24, s);
    if (maximised) return PtIn(w.left, w.top, w.right, w.top + caption, pt) ? HT_CAPTION : HT_CLIENT;
    if (PtIn(w.left, w.top, w.right, w.top + b, pt)) return HT_CLIENT;  // corners and top band
    if (PtIn(w.left + b, w.top, w.right - b, w.top + caption, pt)) return HT_CAPTION;
    return HT_CLIENT;
}

int SizingEdgeFromHit(int hit) {
    switch (hit) {
        case HT_LEFT: return EDGE_LEFT;
        case HT_RIGHT: return EDGE_RIGHT;
        case HT_TOP: return EDGE_TOP;
        case HT_TOPLEFT: return EDGE_TOPLEFT;
        case HT_TOPRIGHT: return EDGE_TOPRIGHT;
        case HT_BOTTOM: return EDGE_BOTTOM;
        case HT_BOTTOMLEFT: return EDGE_BOTTOMLEFT;
        case HT_BOTTOMRIGHT: return EDGE_BOTTOMRIGHT;
        default: return EDGE_NONE;
    }
}

float ComputeMaxScale(int workAreaWidth, float s) {
    const int designWidth = Scaled(kMainDesignWidth, s);
    if (designWidth <= 0) return 1.0f;
    const float byMonitor = 2.0f * float(workAreaWidth) / float(designWidth);
    return std::max(1.0f, std::min(byMonitor, kMaxWindowScale));
}

void ApplySizingEdge(RECT& rc, int edge, int x, int y, float s) {
    if (DragsLeft(edge)) rc.left = x;
    if (DragsRight(edge)) rc.right = x;
    if (DragsTop(edge)) rc.top = y;
    if (DragsBottom(edge)) rc.bottom = y;
    const bool corner = edge >= EDGE_TOPLEFT && edge <= EDGE_TOPRIGHT;
    if (!corner) return;
    const int minW = Scaled(kMainDesignWidth, s);
    const int minH = Scaled(kMainDesignHeight, s);
    if (rc.Width() < minW) {
        if (DragsLeft(edge)) rc.left = rc.right - minW;
        else rc.right = rc.left + minW;
    }
    if (rc.Height() < minH) {
        if (DragsTop(edge)) rc.top = rc.bottom - minH;
        else rc.bottom = rc.top + minH;
    }
}

int ClampWindowScale(float& scaleX, float& scaleY, const RECT& rc, float s, float maxScale) {
    const int designW = std::max(1, Scaled(kMainDesignWidth, s));
    const int designH = std::max(1, Scaled(kMainDesignHeight, s));
    scaleX = float(rc.Width()) / float(designW);
    scaleY = float(rc.Height()) / float(designH);
    const bool wSmall = scaleX < 1.0f, hSmall = scaleY < 1.0f;
    if (wSmall) scaleX = 1.0f;
    if (hSmall) scaleY = 1.0f;
    const bool wLarge = scaleX > maxScale, hLarge = scaleY > maxScale;
    if (wLarge) scaleX = maxScale;
    if (hLarge) scaleY = maxScale;
    if (wLarge && hLarge) return LIMIT_BOTH_LARGE;
    if (wLarge) return LIMIT_WIDTH_LARGE;
    if (hLarge) return LIMIT_HEIGHT_LARGE;
    if (wSmall && hSmall) return LIMIT_BOTH_SMALL;
    if (wSmall) return LIMIT_WIDTH_SMALL;
    if (hSmall) return LIMIT_HEIGHT_SMALL;
    return LIMIT_NONE;
}

void FitRectToScaleLimit(RECT& rc, const RECT& previous, int limit, int edge, float s, float maxScale) {
    const bool widthBroken = limit == LIMIT_WIDTH_SMALL || limit == LIMIT_BOTH_SMALL ||
                             limit == LIMIT_WIDTH_LARGE || limit == LIMIT_BOTH_LARGE;
    const bool heightBroken = limit == LIMIT_HEIGHT_SMALL || limit == LIMIT_BOTH_SMALL ||
                              limit == LIMIT_HEIGHT_LARGE || limit == LIMIT_BOTH_LARGE;
    const bool large = limit >= LIMIT_WIDTH_LARGE;
    const int designW = Scaled(kMainDesignWidth, s);
    const int designH = Scaled(kMainDesignHeight, s);
    const int limitW = large ? int(float(designW) * maxScale) : designW;
    const int limitH = large ? int(float(designH) * maxScale) : designH;
    if (widthBroken) {
        if (DragsLeft(edge)) {
            rc.right = previous.right;
            rc.left = previous.right - limitW;
        } else if (DragsRight(edge)) {
            rc.left = previous.left;
            rc.right = previous.left + limitW;
        }
    }
    if (heightBroken) {
        if (DragsTop(edge)) {
            rc.bottom = previous.bottom;
            rc.top = previous.bottom - limitH;
        } else if (DragsBottom(edge)) {
            rc.top = previous.top;
            rc.bottom = previous.top + limitH;
        }
    }
}

BOOL TrackSizingStep(RECT& rc, SizingTracker& tracker, POINT p, int edge, float s, float maxScale,
                     float* scaleX, float* scaleY) {
    const bool strictlyInside = p.x > rc.left && p.x < rc.right && p.y > rc.top && p.y < rc.bottom;
    const bool atMinimumWidth = rc.Width() <= Scaled(kMainDesignWidth, s);
    if (strictlyInside && atMinimumWidth && rc.Height() <= Scaled(kMainDesignHeight, s)) {
        // At the minimum in both axes: one step, then nothing until the cursor leaves.
        if (tracker.once) return FALSE;
        tracker.once = true;
    } else {
        if (p == tracker.last) return FALSE;
        tracker.last = p;
        tracker.once = false;
    }
    const RECT previous = rc;
    ApplySizingEdge(rc, edge, p.x, p.y, s);
    float sx = 1.0f, sy = 1.0f;
    const int limit = ClampWindowScale(sx, sy, rc, s, maxScale);
    FitRectToScaleLimit(rc, previous, limit, edge, s, maxScale);
    if (scaleX) *scaleX = sx;
    if (scaleY) *scaleY = sy;
    return TRUE;
}

SIZE WindowSizeForScale(float s, float sx, float sy) {
    return SIZE{int(float(Scaled(kMainDesignWidth, s)) * sx), int(float(Scaled(kMainDesignHeight, s)) * sy)};
}

PaneArea ComputePaneArea(const RECT& w, float s) {
    PaneArea a;
    const int m = 2 * Scaled(6, s);
    a.innerWidth = w.Width() - m;
    a.innerHeight = w.Height() - Scaled(10, s) - Scaled(38, s) - Scaled(24, s);
    a.videoWidth = a.innerWidth - Scaled(440, s) - m;
    a.videoHeight = a.innerHeight - Scaled(150, s) - Scaled(105, s);
    a.rightWidth = a.innerWidth - Scaled(240, s);
    a.rightHeight = a.innerHeight - Scaled(134, s);
    return a;
}

std::optional<float> ParseStoredScale(std::string_view text, float maxScale) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    float value = 0.0f;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || !(value > 0.0f)) return std::nullopt;
    return std::clamp(value, 1.0f, std::max(1.0f, maxScale));
}

std::string FormatStoredScale(float scale) {
    // Six decimals as "%f" writes them, whatever the user's locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, double(scale), std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

}  // namespace orv
