// The recordings of the file list as the rest of the program may read and change them. The
// list owns its entries: a reader gets copies, a change is asked for by name, and nothing
// outside the browser holds a reference to the list's vectors. Each call takes "hMutexCache"
// (recursive, so a caller that holds it already may call), and runs on the UI thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/base/WinTypes.h"
#include "recorder/FileEntry.h"

namespace orv {

class IFileRows {
public:
    virtual ~IFileRows() = default;

    // The rows: one shown entry each, in row order.
    virtual int RowCount() const = 0;
    // The entry shown at `row`; none for no such row.
    virtual std::optional<sFILEENTRY> EntryAt(int row) const = 0;
    virtual std::vector<sFILEENTRY> CopyOfRows() const = 0;
    // Every recording of the open folder, shown or not, in the order of the scan.
    virtual std::vector<sFILEENTRY> CopyOfFolder() const = 0;

    // What playback learnt of the recording at `row` once it played: its resolution-and-
    // quality code, and the start time its name gives with its frame rate. Only while the
    // row still shows `path`: a row that shows another recording by now keeps its values.
    // False when nothing changed.
    virtual bool SetEntryQuality(int row, const std::string& path, int quality) = 0;
    virtual bool SetEntryStartTime(int row, const std::string& path, const SYSTEMTIME& start, float fps) = 0;

    // After a join: the join marks of the folder's entries numbered as `chosen` (their index
    // among the folder's entries) are set when `joined`, else cleared.
    virtual void MarkJoined(const std::vector<sFILEENTRY>& chosen, bool joined) = 0;
    // After a delete: the entries of these file names leave the folder's entries and the rows,
    // and both are numbered by their index again. The rows on screen stay until the list is
    // refilled.
    virtual void RemoveEntries(const std::vector<sFILEENTRY>& removed) = 0;
};

}  // namespace orv
