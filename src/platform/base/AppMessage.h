// Private messages between threads and windows.
//
// A window that takes messages registers a sink and gets a handle; any thread may post
// to a handle. Posting to a handle whose window is gone does nothing, as posting to a
// destroyed window does nothing. The window layer registers sinks that turn a post into
// an event on the UI thread; tests register sinks that record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/base/WinTypes.h"

namespace orv {

using HWND = std::uintptr_t;  // 0 is "no window"

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_APP = 0x8000;

enum AppMessage : unsigned {
    WM_APP_RUN_ASYNC = WM_APP + 0,
    WM_APP_GRAPH_NOTIFY = WM_APP + 4,
    WM_APP_PROGRESS = WM_APP + 8,
    WM_APP_SLIDER_DRAG = WM_APP + 101,
    WM_APP_SLIDER_DOWN = WM_APP + 102,
    WM_APP_SLIDER_UP = WM_APP + 103,
    WM_APP_MAP_READY = WM_APP + 301,
    WM_APP_MAP_MARKER_CLICK = WM_APP + 302,
    WM_APP_GSENSOR_PREV_EVENT = WM_APP + 401,
    WM_APP_GSENSOR_NEXT_EVENT = WM_APP + 402,
    WM_APP_EVENT_FILTER = WM_APP + 501,
    WM_APP_VIDEO_MENU = WM_APP + 604,
    WM_APP_VIDEO_CLICK = WM_APP + 607,
    WM_APP_MOVIE_ENDED = WM_APP + 608,
    WM_APP_MOVIE_OPENED = WM_APP + 609,
    WM_APP_INFO_AXIS_TOGGLE = WM_APP + 701,
    WM_APP_FILELIST_DBLCLK = WM_APP + 901,
    WM_APP_PREVIEW_FILE = WM_APP + 902,
    WM_APP_PLAYER_ENDED = WM_APP + 1002,
    WM_APP_PLAYER_READY = WM_APP + 1003,
    WM_APP_FOLDER_SELECTED = WM_APP + 1110,
    WM_APP_SOURCE_LOST = WM_APP + 1201,
    WM_APP_SOURCE_BACK = WM_APP + 1202,
    WM_APP_DATA_LOADED = WM_APP + 1301,
    WM_APP_JOB_DONE = WM_APP + 1302,
    WM_APP_LIST_REFRESH = WM_APP + 1303,
    WM_APP_INIT_DONE = WM_APP + 1304,
    WM_APP_APPBAR_NOTIFY = WM_APP + 1305,
    WM_APP_OBD_CLOSED = WM_APP + 1400,
    WM_APP_MAPWND_PAINT = WM_APP + 1401,
    WM_APP_MAPWND_CLOSE = WM_APP + 1402,
    WM_APP_MAPWND_TITLE_DBLCLK = WM_APP + 1403,
    WM_APP_UPDATE_INFO = WM_APP + 2001,
    WM_USER_PREVIEW_EVENT = WM_USER + 0x1001,
};

// Receives the messages posted to one handle. It is called on the posting thread and
// must only queue the message for its own thread (it must not block or take locks that
// the poster may hold), or pass it on to another handle with PostAppMessage.
using AppMessageSink = std::function<void(unsigned msg, WPARAM wParam, LPARAM lParam)>;

HWND RegisterAppWindow(AppMessageSink sink);

// After this returns, no call of the handle's sink is running or will start, and the
// payloads still waiting for the window (below) are freed.
void UnregisterAppWindow(HWND hwnd);

// Whether the handle names a window that still takes messages.
bool IsAppWindow(HWND hwnd);

// Queues a message for a registered window; false when the handle names no window.
bool PostAppMessage(HWND hwnd, unsigned msg, WPARAM wParam, LPARAM lParam);

// ---- payloads whose ownership passes to the receiver ----------------------------------
//
// A message never carries a bare pointer to an object the receiver is to free: the object
// waits in the payload store, and the message carries its ticket. The store frees the
// object when the post fails or the receiving window goes away before taking it, so a
// message dropped with its window leaks nothing.

using PayloadTicket = std::uintptr_t;  // never 0

// Which parameter of the message carries the ticket; the other one carries `other`.
enum class TicketIn { WParam, LParam };

// Keeps `payload` for `receiver` and posts `msg` with its ticket. False, with the payload
// freed, when the handle names no window.
bool PostOwnedPayload(HWND receiver, unsigned msg, std::shared_ptr<void> payload, std::uintptr_t other = 0,
                      TicketIn where = TicketIn::WParam);

// The receiver takes its payload: null when the ticket is unknown or was taken already.
std::shared_ptr<void> TakePayload(PayloadTicket ticket);

// Frees every payload still waiting for `receiver`.
void DropPayloadsOf(HWND receiver);

// Payloads waiting in the store.
std::size_t PendingPayloadCount();

}  // namespace orv
