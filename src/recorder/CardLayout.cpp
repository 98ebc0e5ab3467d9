#include "recorder/CardLayout.h"

#include <chrono>
#include <mutex>
#include <unordered_map>

#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementFile.h"

namespace orv {

std::atomic<int> g_nFolderLayout{0};

namespace {

// The camera letter stands five characters before the end of a movie path (".MOV" follows).
constexpr std::size_t kCameraLetterFromEnd = 5;
// A camera folder name starts 35 characters before the end: "Main/" + the 30-character name.
constexpr std::size_t kCameraFolderFromEnd = 35;
constexpr std::string_view kFrontFolder = "Main";
constexpr std::string_view kRearFolder = "Sub_";

bool ProbeDriveRoot(const std::string& root, int* layout) {
    bool parkingSeen = false;
    // Without a root there is no drive, and "" + "/Normal" would name a folder of "/".
    for (int l = 0; !root.empty() && l < kFolderLayoutCount; ++l) {
        const FolderLayoutRow* rows = FolderLayoutTable[l];
        if (PathIsDirectory(PathAppend(root, rows[LAYOUT_ROW_PARKING_MOVIE].folder)))
            parkingSeen = true;
        if (PathIsDirectory(PathAppend(root, rows[LAYOUT_ROW_MOVIE].folder))) {
            if (layout) *layout = l;
            return true;
        }
    }
    if (layout) *layout = 0;
    return parkingSeen;
}

// Byte offset of the first component of `path` below `root`; 0 when the path is not
// written under the root (relative, or reached through a link).
std::size_t FirstComponentBelow(const std::string& path, const std::string& root) {
    if (root.empty() || path.compare(0, root.size(), root) != 0) return 0;
    if (root.back() == '/') return root.size();
    return path.size() > root.size() && path[root.size()] == '/' ? root.size() + 1 : 0;
}

// A card copied into a folder: a movie folder of a layout lies there beside its data
// folder. A folder that is merely named like a movie folder is an ordinary folder, whose
// movies keep their data files beside them. The driving folders decide the layout; the
// parking folders are the same in both.
bool ProbeCopiedCard(const std::string& dir, int* layout) {
    for (int movieRow : {LAYOUT_ROW_MOVIE, LAYOUT_ROW_PARKING_MOVIE}) {
        for (int l = 0; l < kFolderLayoutCount; ++l) {
            const FolderLayoutRow* rows = FolderLayoutTable[l];
            if (PathIsDirectory(PathAppend(dir, rows[movieRow].folder)) &&
                PathIsDirectory(PathAppend(dir, rows[movieRow + 1].folder))) {
                *layout = movieRow == LAYOUT_ROW_MOVIE ? l : 0;
                return true;
            }
        }
    }
    return false;
}

struct CardRoot {
    std::string root;  // the mount point when no card was found
    int layout = 0;
    bool found = false;
};

// The card root of the movies of one folder: the mount point when it holds a layout (the
// card itself); else the nearest folder from the movie's folder up to just below the mount
// point that holds a copied card. A path not written under its mount point (relative, or
// reached through a link) is only looked at on the mount point.
CardRoot FindCardRoot(const std::string& folder, const std::string& moviePath) {
    CardRoot card;
    card.root = DriveRootOf(moviePath);
    if (ProbeDriveRoot(card.root, &card.layout)) {
        card.found = true;
        return card;
    }
    const std::size_t below = FirstComponentBelow(folder, card.root);
    if (below == 0) return card;
    std::string dir = folder;
    while (dir.size() >= below) {
        if (ProbeCopiedCard(dir, &card.layout)) {
            card.root = dir;
            card.found = true;
            return card;
        }
        const std::size_t slash = dir.rfind('/');
        if (slash == std::string::npos) break;
        dir.resize(slash);
    }
    card.layout = 0;
    return card;
}

// The card roots found for movie folders. A scan asks for the data file of every movie it
// lists, and each question would probe the same folders again (a dozen lookups per movie on
// a copy a few levels deep), so the answers are kept; for a short time only, so that a card
// inserted, pulled or copied afterwards is seen without a new source being opened.
class CardRootCache {
public:
    CardRoot Get(const std::string& folder, const std::string& moviePath) {
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(m_lock);
            const auto it = m_roots.find(folder);
            if (it != m_roots.end() && now - it->second.probed < kLifetime) return it->second.card;
        }
        // Probed outside the lock: a slow card must not hold up the other threads.
        CardRoot card = FindCardRoot(folder, moviePath);
        std::lock_guard lock(m_lock);
        if (m_roots.size() >= kMaxFolders) m_roots.clear();
        m_roots[folder] = Entry{card, now};
        return card;
    }

    void Clear() {
        std::lock_guard lock(m_lock);
        m_roots.clear();
    }

private:
    // Long enough for a scan of a full card folder, short next to a user's changes.
    static constexpr std::chrono::seconds kLifetime{2};
    // A card has a handful of movie folders; a scan of a deep tree may pass more.
    static constexpr std::size_t kMaxFolders = 512;

    struct Entry {
        CardRoot card;
        std::chrono::steady_clock::time_point probed;
    };
    std::mutex m_lock;
    std::unordered_map<std::string, Entry> m_roots;
};

CardRootCache& CardRoots() {
    static CardRootCache cache;
    return cache;
}

// Renames the folder of the path nearest the file, at or behind `firstComponent`, that is
// a movie folder of the layout (ignoring case) to the data folder of its row. Whole
// components only, so a mount point such as "Video_Card" is never touched.
void ReplaceMovieFolder(std::string& path, std::size_t firstComponent, int layout) {
    const FolderLayoutRow* rows = FolderLayoutTable[layout];
    std::size_t end = path.rfind('/');
    while (end != std::string::npos && end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
        if (begin < firstComponent) return;
        const std::string_view component(path.data() + begin, end - begin);
        for (int movieRow : {LAYOUT_ROW_MOVIE, LAYOUT_ROW_PARKING_MOVIE}) {
            if (EqualsNoCase(component, rows[movieRow].folder)) {
                path.replace(begin, end - begin, rows[movieRow + 1].folder);
                return;
            }
        }
        if (slash == std::string::npos) return;
        end = slash;
    }
}

// Byte offset of the camera letter, or npos when the path is too short to have one.
std::size_t CameraLetterOffset(const std::string& path) {
    const std::size_t length = Utf8Length(path);
    if (length < kCameraLetterFromEnd) return std::string::npos;
    return Utf8Offset(path, length - kCameraLetterFromEnd);
}

}  // namespace

bool ProbeFolderLayout(const std::string& path, int* layout) {
    return ProbeDriveRoot(DriveRootOf(path), layout);
}

void ForgetCardRoots() { CardRoots().Clear(); }

bool DetectFolderLayout(const std::string& path) {
    int layout = 0;
    const bool found = ProbeFolderLayout(path, &layout);
    g_nFolderLayout.store(layout);
    return found;
}

std::string DataFileOfMovie(const std::string& moviePath) {
    std::string out = moviePath;
    if (CameraLetterOffset(out) == std::string::npos) return out;

    const CardRoot card = CardRoots().Get(PathRemoveFileSpec(moviePath), moviePath);
    if (card.found) ReplaceMovieFolder(out, FirstComponentBelow(out, card.root), card.layout);

    const FolderLayoutRow& dataRow = FolderLayoutTable[0][LAYOUT_ROW_DATA];
    // The folder change lies before the letter, so its offset is taken afresh.
    const std::size_t at = CameraLetterOffset(out);
    out.replace(at, Utf8Offset(std::string_view(out).substr(at), 1), 1, dataRow.letter);
    return PathRenameExtension(out, "." + std::string(dataRow.extension));
}

std::string CompanionFileName(const std::string& path) {
    std::string out = path;
    const std::size_t letter = CameraLetterOffset(out);
    if (letter == std::string::npos) return out;

    const std::size_t length = Utf8Length(out);
    if (length >= kCameraFolderFromEnd) {
        const std::size_t at = Utf8Offset(out, length - kCameraFolderFromEnd);
        const std::string_view tail = std::string_view(out).substr(at);
        // Both names are ASCII, so a match covers exactly their bytes.
        if (StartsWithNoCase(tail, kFrontFolder))
            out.replace(at, kFrontFolder.size(), kRearFolder);
        else if (StartsWithNoCase(tail, kRearFolder))
            out.replace(at, kRearFolder.size(), kFrontFolder);
    }
    if (out[letter] == 'M')
        out[letter] = 'S';
    else if (out[letter] == 'S')
        out[letter] = 'M';
    return out;
}

bool HideAsDeleted(const std::string& moviePath) {
    // The recording's own files are the movie where it lies and the data file that the
    // layout rule gives for that place, never names built from the kind in the name: a
    // parking-named movie that lies in the driving folder keeps its data file in the
    // driving data folder, and the parking folder may hold another recording of that name.
    const FolderLayoutRow& movieRow = FolderLayoutTable[0][LAYOUT_ROW_MOVIE];
    const FolderLayoutRow& dataRow = FolderLayoutTable[0][LAYOUT_ROW_DATA];
    const auto hiddenName = [](const std::string& live, const FolderLayoutRow& row) {
        return PathRenameExtension(live, "." + std::string(row.hiddenExtension));
    };
    if (!EqualsNoCase(PathFindExtension(moviePath), "." + std::string(movieRow.extension))) return false;
    const std::string liveMovie = moviePath;
    const std::string hiddenMovie = hiddenName(liveMovie, movieRow);
    const std::string liveData = DataFileOfMovie(moviePath);
    const std::string hiddenData = hiddenName(liveData, dataRow);

    // Everything that would stop the hiding part-way is looked at first. Only regular
    // files are hidden (the attribute of a link's target is another file's), and a name
    // that is taken, by a dangling link too, is never replaced.
    const TargetKind data = InspectTarget(liveData);
    if (InspectTarget(liveMovie) != TargetKind::kRegular || InspectTarget(hiddenMovie) != TargetKind::kMissing)
        return false;
    const bool dataThere = data != TargetKind::kMissing;
    if (dataThere && (data != TargetKind::kRegular || InspectTarget(hiddenData) != TargetKind::kMissing)) return false;

    IFileOps& ops = FileOps();
    if (!ops.SetHidden(liveMovie, true)) return false;
    if (!ops.MoveNoReplace(liveMovie, hiddenMovie)) {
        ops.SetHidden(liveMovie, false);
        return false;
    }
    // A recording without its data file is hidden all the same, and reported as failed.
    if (!dataThere) return false;
    if (ops.SetHidden(liveData, true) && ops.MoveNoReplace(liveData, hiddenData)) return true;
    ops.SetHidden(liveData, false);
    // Put the movie back rather than leave a recording whose data file is live.
    if (ops.MoveNoReplace(hiddenMovie, liveMovie)) ops.SetHidden(liveMovie, false);
    return false;
}

bool IsLayoutMediaFolder(std::string_view name) {
    const FolderLayoutRow* rows = FolderLayoutTable[1];
    return name == rows[LAYOUT_ROW_MOVIE].folder || name == rows[LAYOUT_ROW_PARKING_MOVIE].folder;
}

}  // namespace orv
