// The program's private messages as one table: value, how it travels, who sends and who
// receives it, what wParam and lParam carry and what the receiver does. The values are the
// AppMessage enum of the platform layer; the table holds them to the documented numbers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/base/AppMessage.h"

namespace orv {

enum class MessageTravel : std::uint8_t {
    Posted,  // PostAppMessage from any thread
    Sent,    // a call on the UI thread that waits for the answer
    Called,  // the sender calls the receiver's handler directly with the same arguments
};

struct AppMessageInfo {
    unsigned value;
    std::string_view name;
    MessageTravel travel;
    std::string_view sender;
    std::string_view receiver;  // and its handler
    std::string_view wParam;
    std::string_view lParam;
    std::string_view effect;
    bool ownershipPasses;  // a payload travels as a ticket of the payload store
};

namespace app_message_rows {
using T = MessageTravel;

// Every message, in value order of the table's groups.
inline constexpr std::array kAppMessageTable = {
    AppMessageInfo{WM_APP_RUN_ASYNC, "WM_APP_RUN_ASYNC", T::Posted, "the map host object's callback runner",
                   "the window the runner was given", "ticket of a heap callback", "0",
                   "runs the callback once", true},
    AppMessageInfo{WM_APP_GRAPH_NOTIFY, "WM_APP_GRAPH_NOTIFY", T::Posted, "the player's graph events",
                   "front CMovieStatic -> CsulvaneDlg::OnGraphNotify", "0", "0",
                   "drains the graph's events; end of stream goes to the next movie", false},
    AppMessageInfo{WM_APP_PROGRESS, "WM_APP_PROGRESS", T::Posted, "job threads, movie writer",
                   "CsulvaneDlg::OnJobProgress", "work done", "total",
                   "progress bar at done x 100 / total percent, 100 when total <= 0", false},
    AppMessageInfo{WM_APP_SLIDER_DRAG, "WM_APP_SLIDER_DRAG", T::Posted, "CSkinSliderCtrl while its thumb is dragged",
                   "CsulvaneDlg::OnSliderDrag", "control id (38100 seek, 38101 volume)", "position",
                   "seek slider: show the frame without seeking; volume slider: set the volume", false},
    AppMessageInfo{WM_APP_SLIDER_DOWN, "WM_APP_SLIDER_DOWN", T::Posted, "CSkinSliderCtrl, button down on the track",
                   "CsulvaneDlg::OnSliderDown", "control id", "position",
                   "seek slider: mute, remember the play state, pause; a track click seeks at once", false},
    AppMessageInfo{WM_APP_SLIDER_UP, "WM_APP_SLIDER_UP", T::Posted, "CSkinSliderCtrl, release after a drag",
                   "CsulvaneDlg::OnSliderUp", "control id", "last position",
                   "seek keeping the remembered state; volume slider: set the volume", false},
    AppMessageInfo{WM_APP_MAP_READY, "WM_APP_MAP_READY", T::Posted, "the map bridge when the page has loaded",
                   "CsulvaneDlg::OnMapReady", "0", "0", "markers-sent flag cleared, markers and map status sent",
                   false},
    AppMessageInfo{WM_APP_MAP_MARKER_CLICK, "WM_APP_MAP_MARKER_CLICK", T::Posted,
                   "the map bridge, an event marker was clicked", "CsulvaneDlg::OnMapMarkerClick", "0",
                   "frame of the marker's event", "seek there, keeping the play state", false},
    AppMessageInfo{WM_APP_GSENSOR_PREV_EVENT, "WM_APP_GSENSOR_PREV_EVENT", T::Posted,
                   "CGSensorDlg, left button released", "CsulvaneDlg::OnGSensorPrevEvent", "0", "0",
                   "jump to the previous shown event, wrapping to the last", false},
    AppMessageInfo{WM_APP_GSENSOR_NEXT_EVENT, "WM_APP_GSENSOR_NEXT_EVENT", T::Posted,
                   "CGSensorDlg, right button released", "CsulvaneDlg::OnGSensorNextEvent", "0", "0",
                   "jump to the next shown event, wrapping to the first", false},
    AppMessageInfo{WM_APP_EVENT_FILTER, "WM_APP_EVENT_FILTER", T::Posted, "CSettingDlg, an event check button",
                   "CsulvaneDlg::OnEventFilterChanged",
                   "button 0..5 (drive support, emergency stop, parking, speeding, speed camera, radar)",
                   "new state 0 or 1", "both flags of that detector; graph redrawn; markers resent", false},
    AppMessageInfo{WM_APP_VIDEO_MENU, "WM_APP_VIDEO_MENU", T::Called, "CMovieStatic, context-menu request",
                   "CsulvaneDlg::OnVideoContextMenu", "screen point of the request", "0",
                   "video menu by the play state", false},
    AppMessageInfo{WM_APP_VIDEO_CLICK, "WM_APP_VIDEO_CLICK", T::Called, "CMovieStatic, single-click timer expired",
                   "CsulvaneDlg::OnVideoClick", "surface index", "point of the click", "zoom step in zoom mode",
                   false},
    AppMessageInfo{WM_APP_MOVIE_ENDED, "WM_APP_MOVIE_ENDED", T::Called,
                   "front CMovieStatic on WM_APP_PLAYER_ENDED", "CsulvaneDlg::OnMovieEnded", "as received",
                   "as received", "next movie, next folder", false},
    AppMessageInfo{WM_APP_MOVIE_OPENED, "WM_APP_MOVIE_OPENED", T::Called,
                   "the channels' ready owners, once every channel that opened a movie is ready",
                   "CsulvaneDlg::OnMovieOpened", "as received", "as received",
                   "view, first frame, start of data loading", false},
    AppMessageInfo{WM_APP_INFO_AXIS_TOGGLE, "WM_APP_INFO_AXIS_TOGGLE", T::Posted, "CInfoDlg, an axis button",
                   "CsulvaneDlg::OnInfoAxisToggle", "axis 0..2 (X, Y, Z)", "new state 0 or 1",
                   "both flags of detector 0..2; graph redrawn; markers resent", false},
    AppMessageInfo{WM_APP_FILELIST_DBLCLK, "WM_APP_FILELIST_DBLCLK", T::Posted, "the file list, double click",
                   "its parent; the main window also maps it", "0", "0", "accepted and ignored", false},
    AppMessageInfo{WM_APP_PREVIEW_FILE, "WM_APP_PREVIEW_FILE", T::Sent, "the file list's hover preview",
                   "CsulvaneDlg::OnPreviewFile", "row index into the entry vector", "0",
                   "the preview player opens that row's movie, seeks to 0 and plays", false},
    AppMessageInfo{WM_APP_PLAYER_ENDED, "WM_APP_PLAYER_ENDED", T::Posted, "the player at the end of presentation",
                   "the channel's owner", "0", "0", "front surface: OnMovieEnded; the rear's has no effect",
                   false},
    AppMessageInfo{WM_APP_PLAYER_READY, "WM_APP_PLAYER_READY", T::Posted, "the player when its topology is ready",
                   "the channel's owner", "the open's tag", "0",
                   "counts towards OnMovieOpened; a notice of a movie closed since is dropped", false},
    AppMessageInfo{WM_APP_FOLDER_SELECTED, "WM_APP_FOLDER_SELECTED", T::Called, "the folder tree",
                   "CsulvaneDlg::OnFolderSelected", "0", "the selected tree item",
                   "opens the folder, selects its first movie", false},
    AppMessageInfo{WM_APP_SOURCE_LOST, "WM_APP_SOURCE_LOST", T::Posted, "the folder watcher",
                   "CsulvaneDlg::OnSourceLost", "0", "0",
                   "stops and clears everything; quits when the program's own drive was lost", false},
    AppMessageInfo{WM_APP_SOURCE_BACK, "WM_APP_SOURCE_BACK", T::Posted, "the folder watcher",
                   "CsulvaneDlg::OnSourceBack", "0", "0",
                   "the lost source is there again: opened as it was chosen", false},
    AppMessageInfo{WM_APP_DATA_LOADED, "WM_APP_DATA_LOADED", T::Posted, "LoadMovieDataThread",
                   "CsulvaneDlg::OnMovieDataLoaded", "serial of the selection", "result of OpenDataFile",
                   "decode data, start playback; a stale serial is dropped", false},
    AppMessageInfo{WM_APP_JOB_DONE, "WM_APP_JOB_DONE", T::Posted, "CSV, delete and join jobs; list refresh",
                   "CsulvaneDlg::OnJobFinished", "0", "the job's result",
                   "ends the job, re-selects the current movie", false},
    AppMessageInfo{WM_APP_LIST_REFRESH, "WM_APP_LIST_REFRESH", T::Posted, "the delete job",
                   "CsulvaneDlg::OnListRefresh", "0", "1", "reopens the source, then posts WM_APP_JOB_DONE",
                   false},
    AppMessageInfo{WM_APP_INIT_DONE, "WM_APP_INIT_DONE", T::Posted, "OnInitDialog, last step",
                   "CsulvaneDlg::OnInitDone", "0", "0", "deferred initialisation", false},
    AppMessageInfo{WM_APP_APPBAR_NOTIFY, "WM_APP_APPBAR_NOTIFY", T::Posted, "the desktop's work-area change",
                   "CsulvaneDlg::OnAppBarNotify", "notification code", "per notification",
                   "a position change re-applies the docked or normal layout", false},
    AppMessageInfo{WM_APP_OBD_CLOSED, "WM_APP_OBD_CLOSED", T::Posted, "CObdDlg when it closes",
                   "CsulvaneDlg::OnObdClosed", "0", "0", "OBD button released", false},
    AppMessageInfo{WM_APP_MAPWND_PAINT, "WM_APP_MAPWND_PAINT", T::Posted, "CMovieDialog when it paints",
                   "CsulvaneDlg::OnRepaintVideo", "0", "0", "the channels' view is re-applied", false},
    AppMessageInfo{WM_APP_MAPWND_CLOSE, "WM_APP_MAPWND_CLOSE", T::Posted, "CMovieDialog's close button",
                   "CsulvaneDlg", "0", "0", "accepted and ignored", false},
    AppMessageInfo{WM_APP_MAPWND_TITLE_DBLCLK, "WM_APP_MAPWND_TITLE_DBLCLK", T::Posted,
                   "CMovieDialog, double click in its title strip", "CsulvaneDlg::OnMapWindowTitleDblClk", "0",
                   "0", "map window placed beside the video again", false},
    AppMessageInfo{WM_APP_UPDATE_INFO, "WM_APP_UPDATE_INFO", T::Posted, "the update-check thread",
                   "CsulvaneDlg::OnUpdateInfo", "0", "0", "update dialog with the checker's text", false},
    AppMessageInfo{WM_USER_PREVIEW_EVENT, "WM_USER_PREVIEW_EVENT", T::Posted, "the hover-preview player",
                   "the preview popup", "the preview player", "ticket of the event object",
                   "the preview player handles and releases the event", true},
};

}  // namespace app_message_rows

using app_message_rows::kAppMessageTable;

// The row of a value; null for a value that is not a private message.
inline const AppMessageInfo* FindAppMessage(unsigned value) {
    const auto it = std::find_if(kAppMessageTable.begin(), kAppMessageTable.end(),
                                 [value](const auto& row) { return row.value == value; });
    return it == kAppMessageTable.end() ? nullptr : &*it;
}

}  // namespace orv
