// The file browser as playback uses it: the list's rows, the requests the browser keeps for
// playback until it takes them, the source it shows, and the moves through the folder tree
// that continuous play makes. Free of Qt, so that what plays the recordings can be run with
// a browser of its own. Everything here runs on the UI thread.
#pragma once

#include <string>

#include "filer/FileRows.h"
#include "platform/base/WinTypes.h"
#include "recorder/FolderTree.h"

namespace orv {

enum SourceKind : int {
    SOURCE_NONE = 0,
    SOURCE_SD = 1,
    SOURCE_FOLDER = 2,
    SOURCE_FILE = 3,
};

class IRecordingBrowser {
public:
    virtual ~IRecordingBrowser() = default;

    // The list's rows; null before the list exists.
    virtual IFileRows* Rows() = 0;
    // The row the owner plays, which the list marks as such.
    virtual void SetCurrentRow(int row) = 0;
    // `row` becomes the current and only selected row; the list reports the selection to its
    // owner.
    virtual void MakeOnlyRowCurrent(int row) = 0;
    // The same, the row scrolled into view, with `cont` kept for the owner to take: the
    // selection continues playback (TRUE next, 2 previous) rather than being the user's.
    virtual void SelectFileRow(int row, BOOL cont) = 0;
    virtual BOOL TakeContinue() = 0;
    // Whether the rows were refiltered since the owner last asked.
    virtual BOOL TakeRefilter() = 0;

    virtual SourceKind GetSourceKind() const = 0;
    virtual const std::string& GetSourcePath() const = 0;

    // The folder tree: the selected folder, the folder after `item` at its level
    // (kFolderTreeRoot after the last, or without a tree), a folder selected as a click
    // would (the tree reports it to the owner), and a folder's recordings opened into the
    // list without selecting it (TRUE when it holds any).
    virtual FolderTreeItem SelectedFolder() const = 0;
    virtual FolderTreeItem NextFolder(FolderTreeItem item) const = 0;
    virtual void SelectFolder(FolderTreeItem item) = 0;
    virtual BOOL OpenFolder(FolderTreeItem item) = 0;
};

}  // namespace orv
