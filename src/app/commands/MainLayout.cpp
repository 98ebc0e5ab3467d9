#include "app/commands/MainLayout.h"

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

namespace {

// The strip along the bottom (volume, the transport buttons, the speed label), the progress
// bar over the video's foot and the title bar's buttons, below and beside the panes placed first.
void PlaceButtonsAndLabels(MainLayoutRects& r, const RECT& client, int mode, float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    r.volumeSlider = RectAt(client.right - S(120), client.bottom + S(-5) - (S(38) + S(12)) / 2, S(100), S(20));
    r.progressBar = RECT{r.front.left, r.front.bottom - S(22), r.front.right, r.front.bottom};

    const int buttonY = client.bottom - (S(32) + S(38)) / 2 - S(1);
    const PaneVisibility shown = PanesForMode(mode);
    int lastShownRight = client.left;
    for (int i = 0; i < kTransportButtonCount; ++i) {
        const int slot = TransportSlot(mode, i);
        // A gap after the ninth place parts the playback buttons from the file and tool ones.
        const int x = client.left + S(20) + slot * (S(32) + S(15)) + (slot > 8 ? S(32) - S(2) : 0);
        r.transport[i] = RectAt(x, buttonY, S(32), S(32));
        if (shown.transport[std::size_t(i)]) lastShownRight = std::max(lastShownRight, r.transport[i].right);
    }
    static constexpr int kTitleWidths[kTitleButtonCount] = {46, 26, 26, 150};
    int x = client.right + S(-6) - S(46) - S(4);
    for (int i = 0; i < kTitleButtonCount; ++i) {
        if (i > 0) x -= S(kTitleWidths[i]);
        r.titleButtons[i] = RectAt(x, client.top + S(4), S(kTitleWidths[i]), S(18));
    }
    r.title = RECT{S(4) - S(-6), S(4), S(400), S(30)};
    const int labelLeft = mode == LAYOUT_FULL_WIDTH ? lastShownRight + S(15) : r.volumeSlider.left - S(130);
    r.speedLabel = RectAt(labelLeft, r.volumeSlider.top, S(120), r.volumeSlider.Height());
}

}  // namespace

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
    // The info panel and the graph end where the transport strip begins.
    const int areaBottom = client.bottom + S(2) - S(38) - S(6);
    const int infoTop = r.front.bottom - S(-10);
    const int infoHeight = mode == LAYOUT_LARGE ? std::max(0, std::min(S(kLargeInfoPanelHeight), areaBottom - infoTop)) : S(105);
    r.infoPanel = RectAt(r.front.left + S(1), infoTop, front.cx - S(1), infoHeight);
    const int graphTop = r.front.bottom + S(105) - S(-10);
    r.graph = RectAt(r.infoPanel.left, graphTop, r.infoPanel.Width(),
                     client.bottom + S(2) - S(10) - S(38) - S(6) - S(105) - r.front.bottom);

    const SIZE map = MapPaneSize(scale);
    const int browserBottom = client.bottom + S(1) + S(-5) - S(38);
    int browserTop = r.front.top + 1;
    if (mode == LAYOUT_BESIDE_BROWSER) {
        r.rearSurface = RectAt(r.front.right, r.front.top + 1, map.cx, map.cy);
        r.mapPane = r.rearSurface;
        browserTop = std::min(r.rearSurface.bottom, browserBottom);
    }
    r.browser = RECT{r.front.right, browserTop, r.front.right + map.cx, browserBottom};

    switch (mode) {
    case LAYOUT_LARGE:
        r.gaugeWindow = r.infoPanel;
        break;
    case LAYOUT_FULL_WIDTH: {
        // No panel below the video: the window takes mode 0's size over the video's corner.
        const RECT beside = ComputeMainLayout(client, LAYOUT_BESIDE_BROWSER, scale).gaugeWindow;
        const int width = std::min(beside.Width(), front.cx - S(1));
        const int height = std::min(beside.Height(), front.cy);
        r.gaugeWindow = RectAt(r.front.left + S(1), r.front.bottom - height, width, height);
        break;
    }
    default:
        r.gaugeWindow = RECT{r.infoPanel.left, r.infoPanel.top, r.infoPanel.right, r.graph.bottom};
        break;
    }

    PlaceButtonsAndLabels(r, client, mode, scale);
    return r;
}

PaneVisibility PanesForMode(int mode) {
    PaneVisibility v{};
    switch (mode) {
    case LAYOUT_BESIDE_BROWSER:
        v = {true, true, true, true, true, {}, true};
        v.transport.fill(true);
        break;
    case LAYOUT_LARGE:
        v = {false, true, true, true, false, {}, true};
        v.transport.fill(true);
        break;
    case LAYOUT_FULL_WIDTH:
        // The playback buttons, and in the snapshot's place the large view and the gauges.
        v = {false, true, false, false, false, {}, true};
        for (int i = 0; i < BTN_SNAPSHOT; ++i) v.transport[std::size_t(i)] = true;
        v.transport[BTN_VIEW_LARGE_VIDEO] = true;
        v.transport[BTN_OBD_WINDOW] = true;
        break;
    default:
        break;
    }
    return v;
}

int TransportSlot(int mode, int button) {
    if (mode == LAYOUT_FULL_WIDTH) {
        if (button == BTN_VIEW_LARGE_VIDEO) return BTN_SNAPSHOT;
        if (button == BTN_OBD_WINDOW) return BTN_SNAPSHOT + 1;
    }
    return button;
}

RECT MapPageInMapWindow(float scale) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const SIZE map = MapPaneSize(scale);
    return RectAt(S(1), S(20), map.cx - 2 * S(1), map.cy - S(20) - S(1));
}

ViewRects GetViewRects(int mode, float scale) {
    return GetViewRects(mode, scale, RECT{0, 0, ScaleTerm(kDesignWidth, scale), ScaleTerm(kDesignHeight, scale)});
}

ViewRects GetViewRects(int mode, float scale, const RECT& client) {
    auto S = [scale](int n) { return ScaleTerm(n, scale); };
    const SIZE map = MapPaneSize(scale);
    const RECT base = ComputeMainLayout(client, LAYOUT_BESIDE_BROWSER, scale).front;
    const RECT here = ComputeMainLayout(client, mode, scale).front;
    ViewRects v{};
    // A zero-sized base (scale 0) keeps the map size rather than dividing by zero.
    const int w = base.Width() > 0 ? int(std::int64_t(map.cx) * here.Width() / base.Width()) : map.cx;
    const int h = base.Height() > 0 ? int(std::int64_t(map.cy) * here.Height() / base.Height()) : map.cy;
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
