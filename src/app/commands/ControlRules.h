// The main window's command tables and the rules by which it enables its controls, as
// functions of the window's state: the widgets only apply what these return.
#pragma once

#include <array>

#include "platform/base/WinTypes.h"

namespace orv {

// The 15 transport buttons, in the order they are created.
enum TransportButton : int {
    BTN_PLAY_STOP,
    BTN_PLAY_PREV,
    BTN_PLAY_PAUSE,
    BTN_PLAY_SLOW,
    BTN_PLAY_FAST,
    BTN_PLAY_NEXT,
    BTN_SNAPSHOT,
    BTN_JOIN_MOVIES,
    BTN_VIEW_LARGE_VIDEO,
    BTN_OPEN_SOURCE,
    BTN_DELETE_MOVIES,
    BTN_SETTINGS,
    BTN_EXPORT_CSV,
    BTN_OBD_WINDOW,
    BTN_MAP_WINDOW,
    kTransportButtonCount
};

constexpr int ID_PLAY_STOP = 38000;
constexpr int ID_PLAY_PREV = 38001;
constexpr int ID_PLAY_PAUSE = 38002;
constexpr int ID_PLAY_SLOW = 38003;
constexpr int ID_PLAY_FAST = 38004;
constexpr int ID_PLAY_NEXT = 38005;
constexpr int ID_SNAPSHOT = 38006;
constexpr int ID_JOIN_MOVIES = 38007;
constexpr int ID_VIEW_LARGE_VIDEO = 38008;
constexpr int ID_OPEN_SOURCE = 38009;
constexpr int ID_DELETE_MOVIES = 38010;
constexpr int ID_SETTINGS = 38011;
constexpr int ID_EXPORT_CSV = 38012;
constexpr int ID_OBD_WINDOW = 38013;
constexpr int ID_MAP_WINDOW = 38014;
constexpr int ID_KEEP_ASPECT = 38200;
constexpr int ID_FILTER_FIRST = 38700;
constexpr int ID_FILTER_LAST = 38707;

constexpr int IDC_BTN_CLOSE = 15;
constexpr int IDC_BTN_MAXIMIZE = 16;
constexpr int IDC_BTN_MINIMIZE = 17;
constexpr int IDC_BTN_THUMBNAIL = 18;

// A button: its command id, skin strip and tooltip text; title-bar buttons also their
// design width (all are 18 high, transport buttons 32 x 32).
struct ButtonDef {
    int command;
    int bitmap;
    int tooltip;
    int width;
};
extern const std::array<ButtonDef, kTransportButtonCount> kTransportButtons;
extern const std::array<ButtonDef, 4> kTitleButtons;  // close, maximise, minimise, thumbnail

// What the enabling rules look at.
struct ControlInputs {
    int rowCount = 0;
    int currentRow = -1;
    int sourceKind = 0;       // the browser's SourceKind: 1 SD card, 2 folder, 3 file
    bool limitedModel = false;
    int playState = 0;        // channel 1's PlayState
    int speedStep = 1;        // channel 1's speed step
    bool dataLoaded = false;  // channel 1's recorder data
    bool csvDisabled = true;
    bool lastOpenFailed = false;
};

// What they decide. Panes stands for the info panel and its axis buttons, the folder tree
// and the file list; of the seven filter buttons the first `filterButtons` are enabled.
struct ControlStates {
    std::array<bool, kTransportButtonCount> transport{};
    bool titleButtons = false;
    bool panes = false;
    int filterButtons = 0;
};

// While a movie opens and near the end of a movie: everything off.
ControlStates DisableAllControls();
// After a failed open or the busy time-out: only browsing (and deleting after a failed
// open) among the transport buttons; the panes and title-bar buttons on.
ControlStates EnableIdleControls(const ControlInputs& in);
// After every other change of state.
ControlStates UpdateControlStates(const ControlInputs& in);

// The large-video view's zoom after one more click: 1 -> 2 -> 3 -> 1.
float NextZoomFactor(float zoom);

// The event detector that a settings toggle (0..5) or an info-panel axis button (0..2)
// switches; -1 for anything else.
int DetectorForEventFilter(int index);
int DetectorForAxis(int index);

// The recording kind of a filter button's command id; -1 outside the seven kinds.
int FilterKindOfCommand(int command);

}  // namespace orv
