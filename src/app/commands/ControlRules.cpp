#include "app/commands/ControlRules.h"

namespace orv {

namespace {

constexpr int kPlayPlaying = 2;
constexpr int kPlayPaused = 3;
constexpr int kAllFilterButtons = 7;
constexpr int kLimitedFilterButtons = 5;  // the limited model has no speed-camera or radar kinds
constexpr int kRecordingKinds = 7;
constexpr int kSourceSd = 1;
constexpr int kSourceFile = 3;

int FilterButtonsFor(bool limitedModel) { return limitedModel ? kLimitedFilterButtons : kAllFilterButtons; }

}  // namespace

const std::array<ButtonDef, kTransportButtonCount> kTransportButtons = {{
    {ID_PLAY_STOP, 154, 20, 32},
    {ID_PLAY_PREV, 144, 13, 32},
    {ID_PLAY_PAUSE, 148, 12, 32},
    {ID_PLAY_SLOW, 142, 17, 32},
    {ID_PLAY_FAST, 139, 4, 32},
    {ID_PLAY_NEXT, 145, 9, 32},
    {ID_SNAPSHOT, 153, 19, 32},
    {ID_JOIN_MOVIES, 150, 1, 32},
    {ID_VIEW_LARGE_VIDEO, 200, 21, 32},
    {ID_OPEN_SOURCE, 146, 10, 32},
    {ID_DELETE_MOVIES, 138, 3, 32},
    {ID_SETTINGS, 151, 16, 32},
    {ID_EXPORT_CSV, 137, 2, 32},
    {ID_OBD_WINDOW, 322, 139, 32},
    {ID_MAP_WINDOW, 357, 150, 32},
}};

const std::array<ButtonDef, 4> kTitleButtons = {{
    {IDC_BTN_CLOSE, 155, 0, 46},
    {IDC_BTN_MAXIMIZE, 157, 169, 26},
    {IDC_BTN_MINIMIZE, 156, 136, 26},
    {IDC_BTN_THUMBNAIL, 362, 171, 150},
}};

ControlStates DisableAllControls() { return ControlStates{}; }

ControlStates EnableIdleControls(const ControlInputs& in) {
    ControlStates out;
    out.transport[BTN_OPEN_SOURCE] = true;
    out.transport[BTN_DELETE_MOVIES] = in.lastOpenFailed;
    out.titleButtons = true;
    out.panes = true;
    out.filterButtons = FilterButtonsFor(in.limitedModel);
    return out;
}

ControlStates UpdateControlStates(const ControlInputs& in) {
    ControlStates out;
    out.titleButtons = true;
    out.panes = true;
    out.filterButtons = FilterButtonsFor(in.limitedModel);
    out.transport[BTN_OPEN_SOURCE] = true;
    out.transport[BTN_EXPORT_CSV] = !in.csvDisabled;
    if (in.rowCount <= 0) return out;

    const bool playing = in.playState == kPlayPlaying;
    const bool several = in.rowCount > 1;
    auto& t = out.transport;
    t[BTN_PLAY_STOP] = playing || in.playState == kPlayPaused;
    t[BTN_PLAY_PREV] = several && in.currentRow != 0;
    t[BTN_PLAY_NEXT] = several && in.currentRow != in.rowCount - 1;
    t[BTN_PLAY_PAUSE] = in.dataLoaded || playing;
    t[BTN_PLAY_SLOW] = playing && in.speedStep > -2;
    t[BTN_PLAY_FAST] = playing && in.speedStep < 2;
    t[BTN_SNAPSHOT] = in.dataLoaded;
    t[BTN_VIEW_LARGE_VIDEO] = in.dataLoaded;
    t[BTN_JOIN_MOVIES] = in.sourceKind == kSourceSd;
    t[BTN_DELETE_MOVIES] = in.sourceKind != kSourceFile;
    t[BTN_OBD_WINDOW] = !in.limitedModel;
    t[BTN_SETTINGS] = true;
    t[BTN_MAP_WINDOW] = true;
    return out;
}

float NextZoomFactor(float zoom) {
    const float next = zoom + 1.0f;
    return next > 3.0f ? 1.0f : next;
}

int DetectorForEventFilter(int index) {
    // drive support, emergency stop, parking, speeding, speed camera, radar
    constexpr int kDetectors[] = {9, 4, 5, 6, 7, 8};
    return index >= 0 && index < 6 ? kDetectors[index] : -1;
}

int DetectorForAxis(int index) { return index >= 0 && index < 3 ? index : -1; }

int FilterKindOfCommand(int command) {
    const int kind = command - ID_FILTER_FIRST;
    return kind >= 0 && kind < kRecordingKinds ? kind : -1;
}

}  // namespace orv
