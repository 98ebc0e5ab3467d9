#include "recorder/MovieResource.h"

#include <chrono>

#include "platform/base/PathUtil.h"

namespace orv {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

}  // namespace

CMovieResource::CMovieResource(HWND owner)
    : owner_(owner), thread_([this] { WatchFolderThread(); }) {}

CMovieResource::~CMovieResource() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CMovieResource::SetOwner(HWND owner) { owner_ = owner; }

void CMovieResource::SetPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    path_ = path;
}

std::string CMovieResource::GetPath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return path_;
}

void CMovieResource::WatchFolderThread() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!stop_) {
        const std::string path = path_;
        const HWND owner = owner_;
        if (!path.empty() && owner != 0) {
            // The file system is asked without the lock, so SetPath never waits on a slow card.
            guard.unlock();
            const bool gone = !PathFileExists(path);
            guard.lock();
            // A path set meanwhile is a new source; it is looked at in the next round.
            if (gone && path_ == path && !stop_) {
                lost_ = true;
                path_.clear();
                guard.unlock();
                PostAppMessage(owner, WM_APP_SOURCE_LOST, 0, 0);
                guard.lock();
            }
        }
        wake_.wait_for(guard, kPollInterval, [this] { return stop_; });
    }
}

}  // namespace orv
