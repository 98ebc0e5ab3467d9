// The folder watcher of the file browser: a thread that looks every 100 ms whether the
// watched source (a card, a folder or a file) is still there and, when it is gone, posts
// WM_APP_SOURCE_LOST to its owner once. It then watches for the same source to come back
// and posts WM_APP_SOURCE_BACK once when it does, unless a new path was set meanwhile.
//
// A card taken away may leave its mount point behind (a lazy unmount, a desktop that keeps
// the folder): the path stays, on the file system below the mount. So a source whose folder
// was a mount point when it was set (the source itself, or a file's folder) counts as gone
// too when it no longer is one, whatever the user chose the card as. Its device number alone
// says nothing: an automounter answers for a mount point it has not mounted yet, a share
// mounted again after an idle expiry comes under a new number, and a file on an overlay
// changes device when it is copied up; none of these is a loss. A card chosen as a card also
// counts as gone when none of the folders it held is left in it. A folder or a file is
// otherwise gone only when its path is: the folders inside a folder of recordings are the
// user's to rename or remove.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/PathUtil.h"

namespace orv {

// How a watched source is found gone, besides its mount point losing its mount.
enum class GoneWhen {
    kPathGone,           // a folder or a file: its path is gone
    kPathOrFoldersGone,  // a card: its path is gone, or it held folders and none is left
};

// The file system a path lies on, none when the path is not there (PathDevice; tests give
// their own). It is asked of the source's path, of its folder and of "folder/.." (the
// folder above the one the folder's links lead to, not above the one its text names).
using DeviceProbe = std::function<std::optional<std::uint64_t>(const std::string&)>;

// What the watcher tests of one source: the path, whether its folder was a mount point and,
// for a card, the folders directly inside it.
struct WatchedSource {
    std::string path;
    GoneWhen rule = GoneWhen::kPathGone;
    std::vector<std::string> ownFolders;  // full paths; only under kPathOrFoldersGone
    // The folder whose mount is watched: the source itself, or the folder of a file.
    std::string mountFolder;
    // That folder lay on another file system than the folder above it when it was set.
    bool wasMountPoint = false;

    // The source at `path` now: whether its folder is a mount point, and under
    // kPathOrFoldersGone the folders directly inside it (none for a file or a path that is
    // not there).
    static WatchedSource Of(const std::string& path, GoneWhen rule, const DeviceProbe& probe = PathDevice);
    // The path is there, its folder is a mount point again when it was one and, when it held
    // folders, at least one of them still is.
    bool IsPresent(const DeviceProbe& probe = PathDevice) const;
};

class CMovieResource {
public:
    // The thread starts here; the owner may be set later. `probe` tells the file system a
    // path lies on.
    explicit CMovieResource(HWND owner = 0, DeviceProbe probe = PathDevice);
    // Stops the thread and waits for it; the wait ends within one poll.
    virtual ~CMovieResource();
    CMovieResource(const CMovieResource&) = delete;
    CMovieResource& operator=(const CMovieResource&) = delete;

    void SetOwner(HWND owner);

    // The path to watch and how it is found gone (whether its folder is a mount point now is
    // kept and, with a card, the folders it holds now); the empty path pauses the watch. A
    // source lost before is no longer waited for, and what the thread is finding out about the
    // source set before, under the same path too, is not reported.
    void SetPath(const std::string& path, GoneWhen rule);
    std::string GetPath() const;

    // The rounds the thread has finished. A change on disk has been looked at once the count
    // has grown by two since it was made (the round going on may have looked before it).
    std::uint64_t Polls() const { return polls_; }

    // Set when the source was found gone; the browser clears it when it opens a source.
    bool IsLost() const { return lost_; }
    void ClearLost() { lost_ = false; }
    // The source found gone last, as it was watched (empty before any loss).
    WatchedSource LostSource() const;

private:
    void WatchFolderThread();

    const DeviceProbe probe_;
    std::atomic<HWND> owner_;
    std::atomic<bool> lost_{false};
    std::atomic<std::uint64_t> polls_{0};
    mutable std::mutex lock_;  // guards watched_, gone_, awaiting_, generation_ and stop_
    std::condition_variable wake_;
    WatchedSource watched_;
    WatchedSource gone_;     // the source lost last, until another one is set
    bool awaiting_ = false;  // gone_ is watched for its return
    std::uint64_t generation_ = 0;  // one more with each SetPath
    bool stop_ = false;
    std::thread thread_;  // last: it starts once every other member is ready
};

}  // namespace orv
