// The folder scan: turns a source (a card, a folder or one movie file) into the file
// entries of its recordings, and fills the file browser's folder tree with the folders and
// the groups of recordings it finds.
//
// A playable front movie is a file named ".MOV" (any case) whose name is a front-camera
// recorder name and that begins like an MP4 file. Items whose name starts with '.' and
// items carrying the FAT hidden attribute are not listed. A source that vanishes during a
// scan (a pulled card) ends the scan with what was found so far.
//
// Movie entries get running serial numbers from a counter that every source scan
// (ScanSourcePath, CollectMovieEntries) starts again at 0, so the serials of a list
// that starts empty count its entries. Scans are run by one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/FileEntry.h"
#include "recorder/FolderTree.h"

namespace orv {

// How deep a walk goes into sub-folders; how many movie entries one walk or one tree fill
// gathers; how many items the folder tree may hold before no more are added.
inline constexpr int kMaxScanDepth = 3;
inline constexpr int kMaxScanEntries = 1000;
inline constexpr int kMaxTreeItems = 1500;

// What ClassifySourcePath tells of a path.
enum SourcePathKind : int {
    SOURCE_PATH_FOLDER = 0,    // an ordinary folder
    SOURCE_PATH_RECORDER = 1,  // a folder holding "Main" or front-camera recorder movies
    SOURCE_PATH_FILE = 2,      // not a folder that can be listed
};

// Where a scan puts what it finds; the same for every level of one scan.
struct ScanTarget {
    std::vector<sFILEENTRY>& entries;  // movie entries
    std::vector<sFILEENTRY>& folders;  // an entry for every folder walked and every group made
    IFolderTree* tree = nullptr;       // filled when given
    bool recursiveFill = false;        // walk into the sub-folders (a card source)
};

// What scans have read of the file system: each folder's listing, which files are playable
// front movies, and each movie entry's sizes, with the modification and change times of every
// folder that these came from as they were read. A scan given these facts reads none of them
// again and adds what it reads; when one of those folders shows other times by then, the
// facts are forgotten first and the scan reads everything afresh.
class ScanFacts {
public:
    ScanFacts();
    ~ScanFacts();
    ScanFacts(const ScanFacts&) = delete;
    ScanFacts& operator=(const ScanFacts&) = delete;

    // Whether every folder the facts came from still shows the times it was read with.
    bool Unchanged() const;

    struct Store;
    Store& Facts() { return *store_; }

private:
    std::unique_ptr<Store> store_;
};

// Starts the serial numbers of movie entries again at 0.
void ResetEntrySerialCounter();

// Appends one entry per listed item of the folder: its path and, for a directory, the
// directory attribute; all other fields zero. False when the folder cannot be listed.
bool EnumerateFolder(const std::string& folder, std::vector<sFILEENTRY>& entries);

bool IsPlayableFrontMovie(const std::string& path);

// Lists the path into `scratch` (emptied first) and classifies it.
int ClassifySourcePath(const std::string& path, std::vector<sFILEENTRY>& scratch);

// Scans a source path under the tree item `parent` at tree depth `depth`: an ordinary
// folder is walked (WalkFolder), a recorder folder (its "Main" when it has one) fills the
// tree with groups (FillFolderTree), and a file fills the groups of its folder (or the
// "Main" in it), told the file's name. A path that is not there stands for its folder only
// when it names one of the folder's groups (the path of a group item); otherwise, and for
// a folder that cannot be read, the scan fails and lists nothing. On success
// `scannedFolder` is the folder that was scanned. False when that folder cannot be listed
// or vanished. No folder is walked twice in one scan (by device and inode), so a link
// back up the tree lists no recording again. With `facts`, what they hold is not read again
// (see ScanFacts); the outcome is the same.
bool ScanSourcePath(const std::string& path, std::string& scannedFolder, const ScanTarget& target,
                    FolderTreeItem parent, int depth, ScanFacts* facts = nullptr);

// Walks the listed entries of one folder, sorting them by name first: a directory gets a
// tree item under `parent` (below depth kMaxScanDepth, while the tree has room) and, with
// the recursive fill, is scanned, gets a folder entry and gives its item the flags of its
// own playable front movies; a playable front movie is added while fewer than
// kMaxScanEntries were added. False when the folder vanished during the walk.
bool WalkFolder(const ScanTarget& target, FolderTreeItem parent, int depth,
                std::vector<sFILEENTRY>& folderEntries);

// Gathers the playable front movies of a folder and its sub-folders (to kMaxScanDepth),
// each sub-folder's movies in recorder order; `fileCounter` counts the folder's files.
// False when the folder cannot be listed or vanished.
bool CollectMovieEntries(const std::string& folder, std::vector<sFILEENTRY>& entries,
                         int& fileCounter, int depth);

// Adds the playable front movies of the folder in recorder order (at most kMaxScanEntries)
// and, with a tree, one item and one folder entry per group of recordings (MakeUniqueName)
// under `parent`, holding the flags of the group's movies. When `name` is the name of one
// of the groups, only that group's movies are added and the tree is left as it is (the
// browser opens a group item that way). False when the folder cannot be listed.
bool FillFolderTree(const std::string& folder, const ScanTarget& target, FolderTreeItem parent,
                    std::string_view name);

// A movie entry: the path must end in ".MOV" (any case) and open for reading; the
// companion's and the data file's sizes are 0 when they do not open.
bool AddMovieEntry(const std::string& path, std::vector<sFILEENTRY>& entries);

// A folder or group entry: serial -1, kind letter 0, the three sizes kNoSize.
void AddFolderEntry(const std::string& path, std::vector<sFILEENTRY>& entries);

// Appends `from` to `to`; returns the number appended.
int AppendEntries(std::vector<sFILEENTRY>& to, const std::vector<sFILEENTRY>& from);

// Keeps, in order, the entries whose file name is the file name of no entry of `names`.
void RemoveEntriesByName(std::vector<sFILEENTRY>& entries, const std::vector<sFILEENTRY>& names);

// Numbers the entries by their index (the long jobs name an entry by its number).
void NumberEntries(std::vector<sFILEENTRY>& entries);

// The join mark of the entry at each chosen entry's number: 1 (joined since the program
// started) or 0. Numbers outside `entries` are passed over.
void SetJoinMarks(std::vector<sFILEENTRY>& entries, const std::vector<sFILEENTRY>& chosen, bool joined);
inline void ClearJoinMarks(std::vector<sFILEENTRY>& entries, const std::vector<sFILEENTRY>& chosen) {
    SetJoinMarks(entries, chosen, false);
}

}  // namespace orv
