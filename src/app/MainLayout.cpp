#include "app/MainLayout.h"

#include <algorithm>
#include <cstdint>

namespace orv {

namespace {

RECT RectAt(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

}  // namespace

SIZE FrontSurfaceSize(int mode, float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const int a = S(-6);  // the frame's inset, negative
    // Each height is 9/16 of the width basis (integer division as the design has it)
    // plus about three pixels for the client edge.
    switch (mode) {
    case LAYOUT_LARGE:
        return SIZE{-S(-1120) - S(240) + 2 * a, S(3) - (S(240) + S(-1120) + 2 * (S(2) - a)) * 9 / 16};
    case LAYOUT_FULL_WIDTH:
        return SIZE{S(1120) + 2 * a, S(3) - (S(-1120) + 2 * (S(2) - a)) * 9 / 16};
    default:
        return SIZE{4 * a - S(440) + S(1120), S(3) - (S(-1120) + 2 * (-2 * a + S(2)) + S(440)) * 9 / 16};
    }
}

SIZE MapPaneSize(float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const int a = S(-6);
    return SIZE{S(440) - 2 * a, ((2 * a - S(2)) * 2 - S(-1120) - S(440)) * 9 / 16 - S(-3) - S(1)};
}

POINT FrontSurfaceOrigin(float scale) { return POINT{ScaleTerm(6, scale), ScaleTerm(24, scale)}; }

MainLayoutRects ComputeMainLayout(const RECT& client, int mode, float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    MainLayoutRects r{};
    const POINT origin = FrontSurfaceOrigin(scale);
    SIZE front = FrontSurfaceSize(mode, scale);
    // A window sized beyond its design size gives the extra room to the video.
    front.cx += std::max(0, client.Width() - S(kDesignWidth));
    front.cy += std::max(0, client.Height() - S(kDesignHeight));
    r.front = RectAt(origin.x, origin.y, front.cx, front.cy);

    r.seekSlider = RectAt(r.front.left, r.front.bottom, front.cx, S(10));
    r.infoPanel = RectAt(r.front.left + S(1), r.front.bottom - S(-10), front.cx - S(1), S(105));
    const int graphTop = r.front.bottom + S(105) - S(-10);
    r.graph = RectAt(r.infoPanel.left, graphTop, r.infoPanel.Width(),
                     client.bottom + S(2) - S(10) - S(38) - S(6) - S(105) - r.front.bottom);

    const SIZE map = MapPaneSize(scale);
    r.mapPane = RectAt(client.right - map.cx, r.front.top, map.cx, map.cy);
    r.browser = RECT{r.front.right, r.front.top + 1, r.front.right + map.cx, client.bottom + S(1) + S(-5) - S(38)};

    r.volumeSlider = RectAt(client.right - S(120), client.bottom + S(-5) - (S(38) + S(12)) / 2, S(100), S(20));
    r.progressBar = RECT{r.front.left, r.front.bottom - S(22), r.front.right, r.front.bottom};

    const int buttonY = client.bottom - (S(32) + S(38)) / 2 - S(1);
    for (int i = 0; i < kTransportButtonCount; ++i) {
        // A gap after the ninth button parts the playback buttons from the file and tool ones.
        const int x = client.left + S(20) + i * (S(32) + S(15)) + (i > 8 ? S(32) - S(2) : 0);
        r.transport[i] = RectAt(x, buttonY, S(32), S(32));
    }
    static constexpr int kTitleWidths[kTitleButtonCount] = {46, 26, 26, 150};
    int x = client.right + S(-6) - S(46) - S(4);
    for (int i = 0; i < kTitleButtonCount; ++i) {
        if (i > 0) x -= S(kTitleWidths[i]);
        r.titleButtons[i] = RectAt(x, client.top + S(4), S(kTitleWidths[i]), S(18));
    }
    r.title = RECT{S(4) - S(-6), S(4), S(400), S(30)};
    const int labelLeft = mode == LAYOUT_FULL_WIDTH ? r.transport[PanesForMode(mode).transportButtons - 1].right + S(15)
                                                    : r.volumeSlider.left - S(130);
    r.speedLabel = RectAt(labelLeft, r.volumeSlider.top, S(120), r.volumeSlider.Height());
    return r;
}

PaneVisibility PanesForMode(int mode) {
    switch (mode) {
    case LAYOUT_BESIDE_BROWSER:
        return {true, true, true, true, kTransportButtonCount, true};
    case LAYOUT_LARGE:
        return {false, true, true, true, kTransportButtonCount, true};
    case LAYOUT_FULL_WIDTH:
        return {false, true, false, false, 7, true};
    default:
        return {false, false, false, false, 0, false};
    }
}

RECT MapPageInMapWindow(float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const SIZE map = MapPaneSize(scale);
    return RectAt(S(1), S(20), map.cx - 2 * S(1), map.cy - S(20) - S(1));
}

ViewRects GetViewRects(int mode, float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const SIZE map = MapPaneSize(scale);
    const SIZE base = FrontSurfaceSize(LAYOUT_BESIDE_BROWSER, scale);
    const SIZE here = FrontSurfaceSize(mode, scale);
    ViewRects v{};
    // A zero-sized base (scale 0) keeps the map size rather than dividing by zero.
    const int w = base.cx > 0 ? int(std::int64_t(map.cx) * here.cx / base.cx) : map.cx;
    const int h = base.cy > 0 ? int(std::int64_t(map.cy) * here.cy / base.cy) : map.cy;
    v.video = RECT{0, 0, w, h};
    const int labelWidth = mode == LAYOUT_BESIDE_BROWSER ? S(98) : mode == LAYOUT_LARGE ? S(138) : 0;
    v.label = RECT{0, 0, labelWidth, S(105)};
    return v;
}

SIZE RearSurfaceSize(float scale) {
    const int width = ScaleTerm(440, scale) + 2 * ScaleTerm(6, scale);
    return SIZE{width, width * 9 / 16};
}

}  // namespace orv
