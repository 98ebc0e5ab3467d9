// What the file browser asks of the window that holds it (the main window). The browser
// knows the main window only through this interface and through the messages it posts
// to the handle given here, so it never depends on the program's own classes.
#pragma once

#include "platform/base/AppMessage.h"
#include "recorder/FileEntry.h"

namespace orv {

class IFileListOwner {
public:
    virtual ~IFileListOwner() = default;

    // The handle that the folder tree posts WM_APP_FOLDER_SELECTED to (wParam 0, lParam
    // the newly selected FolderTreeItem) and that the folder watcher posts
    // WM_APP_SOURCE_LOST to. Selections made in one go (opening a source selects its
    // first item, then the recorder's date group) are reported once, with the item that
    // stayed selected.
    virtual HWND GetOwnerHwnd() const = 0;

    // The row of the file list whose recording the owner holds, -1 for none. Read under
    // "hMutexCache".
    virtual int GetCurrentFileRow() const = 0;

    // Whether the current row, selected again, is to be opened once more (the browser
    // refilled the list under it); the request is cleared by this read, which the list
    // makes once per selection of the current row. Under "hMutexCache".
    virtual bool TakeReselectRequest() = 0;

    // The list was refilled (a filter changed) and shows the owner's current recording now
    // at `row`: the owner's current row follows it, and nothing is opened. Under
    // "hMutexCache".
    virtual void MoveCurrentFileRow(int row) = 0;

    // The list decided that `row`, showing `entry`, is to be opened: it differs from the
    // owner's current row, or the reselect request was set. The owner makes it its current
    // row, forgets that the last open failed, mutes the channels and opens its recording.
    // Called on the UI thread while the list holds "hMutexCache", which is recursive, so the
    // owner may take it again; `entry` is valid for the call only.
    virtual void OnFileRowSelected(int row, const sFILEENTRY& entry) = 0;

    // The hover preview popped up over `row`, showing `entry`: the owner opens the entry's
    // movie in g_pPreviewSession and starts it.
    virtual void OnPreviewFile(int row, const sFILEENTRY& entry) = 0;

    // The user clicked the filter toggle of `kind` (a RecordingKind): the owner switches
    // it (CFilerContainerDlg::SetFilterButton with the opposite of its latched state) and
    // follows the refilled list.
    virtual void OnFilterButton(int kind) = 0;
};

}  // namespace orv
