// The folder watcher of the file browser: a thread that looks every 100 ms whether the
// watched source (a card, a folder or a file) still exists and, when it is gone, posts
// WM_APP_SOURCE_LOST to its owner once, then waits for a new path.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/AppMessage.h"

namespace orv {

class CMovieResource {
public:
    // The thread starts here; the owner may be set later.
    explicit CMovieResource(HWND owner = 0);
    // Stops the thread and waits for it; the wait ends within one poll.
    virtual ~CMovieResource();
    CMovieResource(const CMovieResource&) = delete;
    CMovieResource& operator=(const CMovieResource&) = delete;

    void SetOwner(HWND owner);

    // The path to watch; the empty path pauses the watch.
    void SetPath(const std::string& path);
    std::string GetPath() const;

    // Set when the source was found gone; the browser clears it when it opens a source.
    bool IsLost() const { return lost_; }
    void ClearLost() { lost_ = false; }

private:
    void WatchFolderThread();

    std::atomic<HWND> owner_;
    std::atomic<bool> lost_{false};
    mutable std::mutex lock_;  // guards path_ and stop_
    std::condition_variable wake_;
    std::string path_;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once every other member is ready
};

}  // namespace orv
