#include "recorder/MovieResource.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/base/PathUtil.h"

namespace orv {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

// The folder, found on file system `own`, lies on another one than the folder above it.
// "folder/.." is asked rather than the folder's parent by name, so that a linked folder is
// judged where its link leads.
bool IsMountPoint(const std::string& folder, std::optional<std::uint64_t> own, const DeviceProbe& probe) {
    const std::optional<std::uint64_t> above = own ? probe(PathAppend(folder, "..")) : std::nullopt;
    return own && above && *own != *above;
}

}  // namespace

WatchedSource WatchedSource::Of(const std::string& path, GoneWhen rule, const DeviceProbe& probe) {
    WatchedSource source;
    source.path = path;
    source.rule = rule;
    if (path.empty()) return source;
    source.mountFolder = PathIsDirectory(path) ? path : PathRemoveFileSpec(path);
    source.wasMountPoint = IsMountPoint(source.mountFolder, probe(source.mountFolder), probe);
    if (rule != GoneWhen::kPathOrFoldersGone) return source;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(std::filesystem::u8path(path), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !it->is_symlink(typeError)) source.ownFolders.push_back(it->path().string());
    }
    return source;
}

bool WatchedSource::IsPresent(const DeviceProbe& probe) const {
    const std::optional<std::uint64_t> own = probe(path);
    if (!own) return false;
    // A mount point that no longer is one shows the file system below it: the card fell out
    // from under a mount point left standing. A folder source is its own mount folder, asked
    // once.
    if (wasMountPoint && !IsMountPoint(mountFolder, mountFolder == path ? own : probe(mountFolder), probe))
        return false;
    return ownFolders.empty() ||
           std::any_of(ownFolders.begin(), ownFolders.end(), [](const std::string& f) { return PathFileExists(f); });
}

CMovieResource::CMovieResource(HWND owner, DeviceProbe probe)
    : probe_(std::move(probe)), owner_(owner), thread_([this] { WatchFolderThread(); }) {}

CMovieResource::~CMovieResource() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CMovieResource::SetOwner(HWND owner) { owner_ = owner; }

void CMovieResource::SetPath(const std::string& path, GoneWhen rule) {
    WatchedSource source = WatchedSource::Of(path, rule, probe_);
    std::lock_guard<std::mutex> guard(lock_);
    watched_ = std::move(source);
    gone_ = {};
    awaiting_ = false;
    ++generation_;
}

WatchedSource CMovieResource::LostSource() const {
    std::lock_guard<std::mutex> guard(lock_);
    return gone_;
}

std::string CMovieResource::GetPath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return watched_.path;
}

void CMovieResource::WatchFolderThread() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!stop_) {
        const HWND owner = owner_;
        const bool watching = !watched_.path.empty();
        const WatchedSource source = watching ? watched_ : awaiting_ ? gone_ : WatchedSource{};
        const std::uint64_t generation = generation_;
        if (!source.path.empty() && owner != 0) {
            // The file system is asked without the lock, so SetPath never waits on a slow card.
            guard.unlock();
            const bool present = source.IsPresent(probe_);
            guard.lock();
            // A source set meanwhile, under the same path too, is a new one (what it holds may
            // differ): it is looked at in the next round.
            const bool same = generation_ == generation;
            unsigned report = 0;
            if (same && !stop_ && watching && !present) {
                lost_ = true;
                gone_ = source;
                watched_ = {};
                awaiting_ = true;
                report = WM_APP_SOURCE_LOST;
            } else if (same && !stop_ && !watching && present) {
                awaiting_ = false;
                report = WM_APP_SOURCE_BACK;
            }
            if (report != 0) {
                guard.unlock();
                PostAppMessage(owner, report, 0, 0);
                guard.lock();
            }
        }
        ++polls_;
        wake_.wait_for(guard, kPollInterval, [this] { return stop_; });
    }
}

}  // namespace orv
