#include "recorder/FolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"
#include "recorder/FileEntrySort.h"
#include "recorder/Mp4MovieInfo.h"
#include "recorder/RecordingName.h"

namespace orv {

namespace {

// A folder's identity and its modification and change times; none when it cannot be looked at.
struct FolderStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t modified[2] = {0, 0}, changed[2] = {0, 0};
    bool operator==(const FolderStamp&) const = default;
};

std::optional<FolderStamp> StampOf(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
    FolderStamp stamp;
    stamp.device = std::uint64_t(st.st_dev);
    stamp.inode = std::uint64_t(st.st_ino);
    stamp.modified[0] = st.st_mtim.tv_sec;
    stamp.modified[1] = st.st_mtim.tv_nsec;
    stamp.changed[0] = st.st_ctim.tv_sec;
    stamp.changed[1] = st.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace

struct ScanFacts::Store {
    std::unordered_map<std::string, std::optional<std::vector<sFILEENTRY>>> listings;
    std::unordered_map<std::string, bool> playable;
    std::unordered_map<std::string, std::optional<sFILEENTRY>> movies;  // serials not set
    // Every folder the facts above came from, stamped before it was read.
    std::unordered_map<std::string, std::optional<FolderStamp>> stamps;

    void Stamp(const std::string& folder) {
        if (!stamps.contains(folder)) stamps.emplace(folder, StampOf(folder));
    }
    void Clear() {
        listings.clear();
        playable.clear();
        movies.clear();
        stamps.clear();
    }
};

ScanFacts::ScanFacts() : store_(std::make_unique<Store>()) {}
ScanFacts::~ScanFacts() = default;

bool ScanFacts::Unchanged() const {
    return std::all_of(store_->stamps.begin(), store_->stamps.end(),
                       [](const auto& folder) { return StampOf(folder.first) == folder.second; });
}

namespace {

constexpr std::string_view kMovieExtension = ".MOV";
constexpr std::string_view kFrontFolder = "Main";

std::atomic<int> g_entrySerial{0};

bool IsDirectory(const sFILEENTRY& e) { return (e.attributes & sFILEENTRY::kAttrDirectory) != 0; }

bool HasMovieExtension(std::string_view path) {
    return EqualsNoCase(PathFindExtension(path), kMovieExtension);
}

// The size of a regular file that opens for reading. O_NONBLOCK: a FIFO does not wait.
std::optional<std::uint64_t> OpenedFileSize(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return std::nullopt;
    return std::uint64_t(st.st_size);
}

bool IsDirectoryItem(const struct dirent& item, const std::string& path) {
    if (item.d_type == DT_DIR) return true;
    if (item.d_type != DT_LNK && item.d_type != DT_UNKNOWN) return false;
    return PathIsDirectory(path);
}

// A card pulled during a scan shows as a folder of the scan that is no longer there.
bool Vanished(const std::string& folder) { return !PathIsDirectory(folder); }

// The folder a scan of a group or a file lists: the path's folder, or the "Main" in it.
std::string FolderToFill(const std::string& folder) {
    const std::string main = PathAppend(folder, kFrontFolder);
    return PathIsDirectory(main) ? main : folder;
}

int ClassifyListing(const std::vector<sFILEENTRY>& listing) {
    const bool recorder = std::any_of(listing.begin(), listing.end(), [](const sFILEENTRY& e) {
        const std::string_view name = PathFindFileName(e.path);
        return IsDirectory(e) ? name == kFrontFolder : IsMainCameraMovieName(name);
    });
    return recorder ? SOURCE_PATH_RECORDER : SOURCE_PATH_FOLDER;
}

// The folders a walk has been in, by device and inode: a link to a folder that the walk
// has already been in (a link back to a parent on a card) is not walked again, so no
// recording is listed twice.
class VisitedFolders {
public:
    bool FirstVisit(const std::string& folder) {
        struct stat st;
        // A folder that cannot be looked at cannot be listed either; the listing says so.
        if (::stat(folder.c_str(), &st) != 0) return true;
        return seen_.emplace(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)).second;
    }

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
};

std::optional<sFILEENTRY> MakeMovieEntry(const std::string& path);

// What one scan has read of the source: a card's movie folder is classified, filled and
// then asked for its flags, and each of these steps would otherwise list the folder and
// open its movies again. Given the facts of earlier scans, it reads only what they lack.
class ScanCache {
public:
    explicit ScanCache(ScanFacts::Store* facts = nullptr) : facts_(facts ? *facts : own_), kept_(facts != nullptr) {}

    // The folder's listing, or null when it cannot be listed.
    const std::vector<sFILEENTRY>* Listing(const std::string& folder) {
        auto it = facts_.listings.find(folder);
        if (it == facts_.listings.end()) {
            Stamp(folder);
            std::vector<sFILEENTRY> listing;
            std::optional<std::vector<sFILEENTRY>> result;
            if (EnumerateFolder(folder, listing)) result = std::move(listing);
            it = facts_.listings.emplace(folder, std::move(result)).first;
        }
        return it->second ? &*it->second : nullptr;
    }

    bool IsPlayable(const std::string& path) {
        const auto it = facts_.playable.find(path);
        if (it != facts_.playable.end()) return it->second;
        Stamp(PathRemoveFileSpec(path));
        return facts_.playable.emplace(path, IsPlayableFrontMovie(path)).first->second;
    }

    // AddMovieEntry, its sizes read once.
    bool AddMovie(const std::string& path, std::vector<sFILEENTRY>& entries) {
        auto it = facts_.movies.find(path);
        if (it == facts_.movies.end()) {
            // The companion and the data file may lie in folders of their own.
            if (kept_)
                for (const std::string& file : {path, CompanionFileName(path), DataFileOfMovie(path)})
                    Stamp(PathRemoveFileSpec(file));
            it = facts_.movies.emplace(path, MakeMovieEntry(path)).first;
        }
        if (!it->second) return false;
        entries.push_back(*it->second);
        entries.back().serial = g_entrySerial++;
        return true;
    }

    VisitedFolders visited;

private:
    // Facts kept beyond this scan say which folders they came from.
    void Stamp(const std::string& folder) {
        if (kept_) facts_.Stamp(folder);
    }

    ScanFacts::Store own_;
    ScanFacts::Store& facts_;
    bool kept_;
};

bool Walk(ScanCache& cache, const ScanTarget& target, FolderTreeItem parent, int depth,
          std::vector<sFILEENTRY>& folderEntries);
// How Fill treats a name that is none of the folder's groups.
enum class FillName { kAnyName, kGroupOnly };

bool Fill(ScanCache& cache, const std::string& folder, const ScanTarget& target,
          FolderTreeItem parent, std::string_view name, FillName rule = FillName::kAnyName);

// What a path that cannot be listed as a folder is.
enum class Unlisted { kFile, kMissing, kUnreadableFolder };

Unlisted WhatIsUnlisted(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Unlisted::kMissing;
    return S_ISDIR(st.st_mode) ? Unlisted::kUnreadableFolder : Unlisted::kFile;
}

bool ScanSource(ScanCache& cache, const std::string& path, std::string& scannedFolder,
                const ScanTarget& target, FolderTreeItem parent, int depth) {
    const std::vector<sFILEENTRY>* listing = cache.Listing(path);
    std::string folder;
    bool ok = false;
    switch (listing ? ClassifyListing(*listing) : SOURCE_PATH_FILE) {
        case SOURCE_PATH_FOLDER: {
            folder = path;
            std::vector<sFILEENTRY> entries = *listing;
            ok = Walk(cache, target, parent, depth, entries);
            break;
        }
        case SOURCE_PATH_RECORDER:
            folder = FolderToFill(path);
            // A "Main" that a link has already led the walk into is listed there.
            ok = (folder != path && !cache.visited.FirstVisit(folder)) || Fill(cache, folder, target, parent, {});
            break;
        default: {
            // A folder that cannot be read fails, and so does a path that is not there,
            // unless it names a group of recordings of its folder (the browser's group
            // items have such paths): only a file stands for the folder it lies in.
            const Unlisted what = WhatIsUnlisted(path);
            if (what == Unlisted::kUnreadableFolder) return false;
            folder = FolderToFill(PathRemoveFileSpec(path));
            ok = Fill(cache, folder, target, parent, PathFindFileName(path),
                      what == Unlisted::kMissing ? FillName::kGroupOnly : FillName::kAnyName);
            break;
        }
    }
    if (ok) scannedFolder = folder;
    return ok;
}

// The RecordingFlags of the folder's own playable front movies.
unsigned FolderMovieFlags(ScanCache& cache, const std::string& folder) {
    unsigned flags = 0;
    if (const std::vector<sFILEENTRY>* listing = cache.Listing(folder))
        for (const sFILEENTRY& e : *listing)
            if (!IsDirectory(e) && cache.IsPlayable(e.path)) GetRecordingFlags(e.path, flags);
    return flags;
}

bool Walk(ScanCache& cache, const ScanTarget& target, FolderTreeItem parent, int depth,
          std::vector<sFILEENTRY>& folderEntries) {
    std::stable_sort(folderEntries.begin(), folderEntries.end(),
                     [&](const sFILEENTRY& a, const sFILEENTRY& b) {
                         return CompareEntryNames(a, b, target.recursiveFill);
                     });
    int gathered = 0;
    for (const sFILEENTRY& e : folderEntries) {
        if (!IsDirectory(e)) {
            if (gathered < kMaxScanEntries && cache.IsPlayable(e.path) &&
                cache.AddMovie(e.path, target.entries))
                ++gathered;
            continue;
        }
        if (depth >= kMaxScanDepth || !cache.visited.FirstVisit(e.path)) continue;
        FolderTreeItem item = parent;
        if (target.tree) {
            if (target.tree->GetItemCount() >= kMaxTreeItems) continue;
            const std::optional<FolderTreeItem> inserted =
                target.tree->InsertItem(parent, std::string(PathFindFileName(e.path)));
            if (!inserted) continue;
            item = *inserted;
        }
        if (!target.recursiveFill) continue;
        std::string scanned;
        ScanSource(cache, e.path, scanned, target, item, depth + 1);
        // A sub-folder that cannot be read is passed over, a pulled card ends the walk.
        if (Vanished(PathRemoveFileSpec(e.path))) return false;
        AddFolderEntry(e.path, target.folders);
        const unsigned flags = FolderMovieFlags(cache, e.path);
        if (target.tree) target.tree->SetItemData(item, flags);
    }
    return true;
}

bool Fill(ScanCache& cache, const std::string& folder, const ScanTarget& target,
          FolderTreeItem parent, std::string_view name, FillName rule) {
    const std::vector<sFILEENTRY>* cached = cache.Listing(folder);
    if (!cached) return false;
    std::vector<sFILEENTRY> listing = *cached;
    SortEntriesRecorderFirst(listing);

    struct Movie {
        const std::string* path;
        std::string group;
    };
    std::vector<Movie> movies;
    std::string groupName;
    SYSTEMTIME startTime;
    int counter = 0;
    std::map<std::string, int> perDateCounters;
    std::string_view previous;
    for (const sFILEENTRY& e : listing) {
        if (IsDirectory(e) || !cache.IsPlayable(e.path)) continue;
        MakeUniqueName(groupName, e.path, startTime, counter, perDateCounters, previous);
        previous = e.path;
        movies.push_back({&e.path, groupName});
    }

    const bool oneGroup =
        !name.empty() &&
        std::any_of(movies.begin(), movies.end(), [&](const Movie& m) { return m.group == name; });
    if (rule == FillName::kGroupOnly && !oneGroup) return false;
    IFolderTree* tree = oneGroup ? nullptr : target.tree;
    // The tree item of the group being filled; a group that found the tree full has none.
    FolderTreeItem item = kFolderTreeRoot;
    bool hasItem = false;
    const std::string* group = nullptr;
    unsigned flags = 0;
    int gathered = 0;
    for (const Movie& m : movies) {
        if (oneGroup && m.group != name) continue;
        if (tree && (!group || m.group != *group)) {
            if (hasItem) tree->SetItemData(item, flags);
            hasItem = false;
            flags = 0;
            group = &m.group;
            if (tree->GetItemCount() < kMaxTreeItems) {
                if (const std::optional<FolderTreeItem> inserted =
                        tree->InsertItem(parent, m.group)) {
                    item = *inserted;
                    hasItem = true;
                    AddFolderEntry(PathAppend(folder, m.group), target.folders);
                }
            }
        }
        GetRecordingFlags(*m.path, flags);
        if (gathered < kMaxScanEntries && cache.AddMovie(*m.path, target.entries)) ++gathered;
    }
    if (hasItem) tree->SetItemData(item, flags);
    return true;
}

bool Collect(VisitedFolders& visited, const std::string& folder, std::vector<sFILEENTRY>& entries,
             int& fileCounter, int depth) {
    std::vector<sFILEENTRY> listing;
    if (!EnumerateFolder(folder, listing)) return false;
    SortEntriesFoldersFirst(listing);
    for (const sFILEENTRY& e : listing) {
        if (IsDirectory(e)) {
            if (depth >= kMaxScanDepth || !visited.FirstVisit(e.path)) continue;
            std::vector<sFILEENTRY> scratch;
            int subCounter = 0;
            if (!Collect(visited, e.path, scratch, subCounter, depth + 1) && Vanished(folder)) {
                AppendEntries(entries, scratch);
                return false;
            }
            if (subCounter > 0) SortEntriesRecorderFirst(scratch);
            AppendEntries(entries, scratch);
        } else {
            ++fileCounter;
            if (IsPlayableFrontMovie(e.path)) AddMovieEntry(e.path, entries);
        }
    }
    return true;
}

}  // namespace

void ResetEntrySerialCounter() { g_entrySerial = 0; }

bool EnumerateFolder(const std::string& folder, std::vector<sFILEENTRY>& entries) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    IFileOps& ops = FileOps();
    // A read error (a card pulled while listing) ends the listing with what was read.
    while (const struct dirent* item = ::readdir(dir)) {
        const std::string_view name = item->d_name;
        if (name.empty() || name.front() == '.') continue;  // ".", ".." and hidden names
        sFILEENTRY e;
        e.path = PathAppend(folder, name);
        if (ops.IsHidden(e.path)) continue;
        if (IsDirectoryItem(*item, e.path)) e.attributes = sFILEENTRY::kAttrDirectory;
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    return true;
}

bool IsPlayableFrontMovie(const std::string& path) {
    return HasMovieExtension(path) && IsMainCameraMovieName(path) && IsMp4File(path);
}

int ClassifySourcePath(const std::string& path, std::vector<sFILEENTRY>& scratch) {
    scratch.clear();
    if (!EnumerateFolder(path, scratch)) return SOURCE_PATH_FILE;
    return ClassifyListing(scratch);
}

bool ScanSourcePath(const std::string& path, std::string& scannedFolder, const ScanTarget& target,
                    FolderTreeItem parent, int depth, ScanFacts* facts) {
    ResetEntrySerialCounter();
    if (facts && !facts->Unchanged()) facts->Facts().Clear();
    ScanCache cache(facts ? &facts->Facts() : nullptr);
    cache.visited.FirstVisit(path);
    return ScanSource(cache, path, scannedFolder, target, parent, depth);
}

bool WalkFolder(const ScanTarget& target, FolderTreeItem parent, int depth,
                std::vector<sFILEENTRY>& folderEntries) {
    ScanCache cache;
    return Walk(cache, target, parent, depth, folderEntries);
}

bool CollectMovieEntries(const std::string& folder, std::vector<sFILEENTRY>& entries,
                         int& fileCounter, int depth) {
    ResetEntrySerialCounter();
    VisitedFolders visited;
    visited.FirstVisit(folder);
    return Collect(visited, folder, entries, fileCounter, depth);
}

bool FillFolderTree(const std::string& folder, const ScanTarget& target, FolderTreeItem parent,
                    std::string_view name) {
    ScanCache cache;
    return Fill(cache, folder, target, parent, name);
}

namespace {

// A movie entry without its serial; none when the path is not a movie that opens.
std::optional<sFILEENTRY> MakeMovieEntry(const std::string& path) {
    if (!HasMovieExtension(path)) return std::nullopt;
    const std::optional<std::uint64_t> size = OpenedFileSize(path);
    if (!size) return std::nullopt;
    sFILEENTRY e;
    e.path = path;
    e.movieSize = *size;
    // A name without a camera letter names itself as its companion; it has none.
    const std::string companion = CompanionFileName(path);
    e.companionSize = companion == path ? 0 : OpenedFileSize(companion).value_or(0);
    e.dataSize = OpenedFileSize(DataFileOfMovie(path)).value_or(0);
    if (GetRecordingKind(path) != REC_UNKNOWN)
        e.kindLetter = static_cast<unsigned char>(PathFindFileName(path).front());
    return e;
}

}  // namespace

bool AddMovieEntry(const std::string& path, std::vector<sFILEENTRY>& entries) {
    std::optional<sFILEENTRY> e = MakeMovieEntry(path);
    if (!e) return false;
    e->serial = g_entrySerial++;
    entries.push_back(std::move(*e));
    return true;
}

void AddFolderEntry(const std::string& path, std::vector<sFILEENTRY>& entries) {
    sFILEENTRY e;
    e.path = path;
    e.serial = -1;
    e.movieSize = e.companionSize = e.dataSize = sFILEENTRY::kNoSize;
    entries.push_back(std::move(e));
}

int AppendEntries(std::vector<sFILEENTRY>& to, const std::vector<sFILEENTRY>& from) {
    to.insert(to.end(), from.begin(), from.end());
    return int(from.size());
}

void RemoveEntriesByName(std::vector<sFILEENTRY>& entries, const std::vector<sFILEENTRY>& names) {
    // Copies, so `names` may be `entries` itself.
    std::unordered_set<std::string> drop;
    for (const sFILEENTRY& n : names) drop.emplace(PathFindFileName(n.path));
    std::erase_if(entries, [&](const sFILEENTRY& e) {
        return drop.count(std::string(PathFindFileName(e.path))) != 0;
    });
}

void NumberEntries(std::vector<sFILEENTRY>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i].serial = std::int32_t(i);
}

void SetJoinMarks(std::vector<sFILEENTRY>& entries, const std::vector<sFILEENTRY>& chosen, bool joined) {
    for (const sFILEENTRY& entry : chosen)
        if (entry.serial >= 0 && std::size_t(entry.serial) < entries.size())
            entries[std::size_t(entry.serial)].reserved = joined ? 1 : 0;
}

}  // namespace orv
