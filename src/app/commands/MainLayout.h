// Where the main window puts its video surface, sliders, panes and buttons.
//
// Every size is a design pixel of the 1120 x 697 window times the scale, each term
// truncated toward zero on its own before the terms are added (S(n) below). The
// functions take the scale and the client rectangle and return rectangles, so that the
// window only places what they give and one table-driven test covers the arithmetic.
#pragma once

#include <array>

#include "app/commands/ControlRules.h"
#include "platform/base/WinTypes.h"

namespace orv {

// The video area's layout modes; 3 is the full-video view, which hides every pane.
enum LayoutMode : int {
    LAYOUT_BESIDE_BROWSER = 0,  // video beside the file browser
    LAYOUT_LARGE = 1,           // larger video, the browser stacked beside it
    LAYOUT_FULL_WIDTH = 2,      // video across the window, browser hidden
    LAYOUT_FULL_VIEW = 3,
};

constexpr int kDesignWidth = 1120;
constexpr int kDesignHeight = 697;
constexpr int kTitleButtonCount = 4;
enum TitleButton : int { BTN_TITLE_CLOSE, BTN_TITLE_MAXIMIZE, BTN_TITLE_MINIMIZE, BTN_TITLE_THUMBNAIL };

// n design pixels at `scale`, truncated toward zero (single precision, as the skin does).
inline int ScaleTerm(int n, float scale) { return int(float(n) * scale); }

// The front surface's size in a layout mode (0..2; others give mode 0's size).
SIZE FrontSurfaceSize(int mode, float scale);

// The map pane's size (Wm x Hm): the map page with its frame, beside the mode-0 video.
SIZE MapPaneSize(float scale);

// Front surface's top-left corner in every mode.
POINT FrontSurfaceOrigin(float scale);

// The mode-1 info panel's own height: its lowest items (the G values in the large font, the
// brake lamp of the drive-support display) end this many design pixels below its top.
constexpr int kLargeInfoPanelHeight = 130;

struct MainLayoutRects {
    RECT front;
    RECT seekSlider;
    RECT infoPanel;
    RECT graph;
    // The rear camera's surface beside the video, Wm x Hm at the browser column's top, where
    // the map window goes over it (mode 0 only; empty in the other modes). The browser takes
    // the column below it, so that neither the rear picture nor the map window hides a
    // control of the browser.
    RECT rearSurface;
    RECT browser;
    // The map docked in the main window: the rear surface's place, where the map window lies
    // while it is beside the video (mode 0 only; empty in the modes without that place).
    RECT mapPane;
    // The vehicle-gauge window: over the info panel and the graph (mode 0), over the info
    // panel (mode 1), over the bottom left of the video at mode 0's size (mode 2); never
    // over the transport strip.
    RECT gaugeWindow;
    RECT volumeSlider;
    RECT progressBar;  // the job's bar over the bottom of the front surface
    std::array<RECT, kTransportButtonCount> transport;
    std::array<RECT, kTitleButtonCount> titleButtons;
    RECT title;  // where the window's title text is drawn
    // The playback speed's text: left of the volume slider, or in mode 2, where the compact
    // info strip fills the bottom right, after the last button shown.
    RECT speedLabel;
};

// Everything placed for `mode` in a client rectangle; a client larger than the design size
// widens and heightens the video by the difference, and the panes follow it.
MainLayoutRects ComputeMainLayout(const RECT& client, int mode, float scale);

// What each mode shows.
struct PaneVisibility {
    bool graph;
    bool sliders;
    bool infoPanel;
    bool browser;  // unless the user hid it
    bool rearSurface;
    std::array<bool, kTransportButtonCount> transport;  // by TransportButton
    bool titleButtons;
};
PaneVisibility PanesForMode(int mode);

// The place (0..14) along the transport strip where a button sits in a mode: its own, but
// in mode 2, where the snapshot and the following buttons are hidden, the large-view and
// the vehicle-gauge buttons move up into the first free places, clear of the compact
// info strip.
int TransportSlot(int mode, int button);

// The map page and the logo pane inside the map window, and the map window's own size.
RECT MapPageInMapWindow(float scale);

// The map-sized rectangle scaled by the mode's surface size against mode 0's, and the
// label strip beside the info panel (98, 138 or 0 design pixels wide). Two of them give the
// ratio by which a surface's view block follows the surface from one mode into another.
struct ViewRects {
    RECT video;
    RECT label;
};
// At the design size of the window.
ViewRects GetViewRects(int mode, float scale);
// With the surfaces as laid out in `client` (a larger window gives its room to the video).
ViewRects GetViewRects(int mode, float scale, const RECT& client);

// The rear surface's view size: trunc(440) + 2 trunc(6) wide, 9/16 of that high.
SIZE RearSurfaceSize(float scale);

}  // namespace orv
