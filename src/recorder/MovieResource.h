// The folder watcher of the file browser: a thread that looks every 100 ms whether the
// watched source (a card, a folder or a file) is still there and, when it is gone, posts
// WM_APP_SOURCE_LOST to its owner once. It then watches for the same source to come back
// and posts WM_APP_SOURCE_BACK once when it does, unless a new path was set meanwhile.
//
// A card taken away may leave its mount point behind as an empty folder (a lazy unmount,
// a desktop that keeps the folder): the source counts as gone too when none of the folders
// it held when it was set is left in it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/AppMessage.h"

namespace orv {

// What the watcher tests of one source: the path itself and the folders directly inside it.
struct WatchedSource {
    std::string path;
    std::vector<std::string> ownFolders;  // full paths

    // The folders directly inside `path` now (none for a file or a path that is not there).
    static WatchedSource Of(const std::string& path);
    // The path is there and, when it held folders, at least one of them still is.
    bool IsPresent() const;
};

class CMovieResource {
public:
    // The thread starts here; the owner may be set later.
    explicit CMovieResource(HWND owner = 0);
    // Stops the thread and waits for it; the wait ends within one poll.
    virtual ~CMovieResource();
    CMovieResource(const CMovieResource&) = delete;
    CMovieResource& operator=(const CMovieResource&) = delete;

    void SetOwner(HWND owner);

    // The path to watch, with the folders it holds now; the empty path pauses the watch.
    // A source lost before is no longer waited for.
    void SetPath(const std::string& path);
    std::string GetPath() const;

    // Set when the source was found gone; the browser clears it when it opens a source.
    bool IsLost() const { return lost_; }
    void ClearLost() { lost_ = false; }
    // The source found gone last, as it was watched (empty before any loss).
    WatchedSource LostSource() const;

private:
    void WatchFolderThread();

    std::atomic<HWND> owner_;
    std::atomic<bool> lost_{false};
    mutable std::mutex lock_;  // guards watched_, gone_, awaiting_ and stop_
    std::condition_variable wake_;
    WatchedSource watched_;
    WatchedSource gone_;     // the source lost last, until another one is set
    bool awaiting_ = false;  // gone_ is watched for its return
    bool stop_ = false;
    std::thread thread_;  // last: it starts once every other member is ready
};

}  // namespace orv
