// The program's timers: the main window's (run by the window and by the playback road on
// the window) and the video surfaces' (each surface runs its own). Ids and periods.
#pragma once

namespace orv {

// ---- the main window --------------------------------------------------------------------
// The playback tick, which feeds the panes the frame on screen.
constexpr unsigned TIMER_PLAYBACK = 100;
// One shot after a selection: opens the selected movie.
constexpr unsigned TIMER_OPEN_DELAY = 101;
// One shot: ends a busy state that no open finished.
constexpr unsigned TIMER_BUSY_TIMEOUT = 102;
// The framework's idle processing, which the modal loop never runs.
constexpr unsigned TIMER_IDLE = 103;
// One shot after a drag of the frame: settles the window's size and scale (half the
// double-click time).
constexpr unsigned TIMER_SIZE_SETTLE = 106;
// How long a front channel that is ready waits for a rear companion that is not.
constexpr unsigned TIMER_REAR_READY = 107;

constexpr unsigned kPlaybackTickMs = 30;
constexpr unsigned kOpenDelayMs = 500;
constexpr unsigned kBusyTimeoutMs = 5000;
constexpr unsigned kIdleMs = 1000;
constexpr unsigned kRearReadyWaitMs = 1500;

// ---- a video surface ----------------------------------------------------------------------
// A single click is told from a double click once the double-click time passed after the
// press, and after the release.
constexpr unsigned TIMER_CLICK_DOWN = 200;
constexpr unsigned TIMER_CLICK_UP = 201;

}  // namespace orv
