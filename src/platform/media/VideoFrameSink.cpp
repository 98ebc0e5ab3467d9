#include "platform/media/VideoFrameSink.h"

#include <map>
#include <memory>
#include <mutex>

namespace orv {

namespace {

struct Entry {
    std::mutex calling;  // held while the sink runs, so that removal can wait for it
    VideoFrameSink sink;
    VideoWindowSize size;
};

std::mutex g_mutex;
std::map<HWND, std::shared_ptr<Entry>>& Sinks() {
    static auto* sinks = new std::map<HWND, std::shared_ptr<Entry>>;  // outlives static teardown
    return *sinks;
}

}  // namespace

void SetVideoFrameSink(HWND window, VideoFrameSink sink, VideoWindowSize size) {
    std::shared_ptr<Entry> old;
    {
        std::lock_guard lock(g_mutex);
        auto& sinks = Sinks();
        auto it = sinks.find(window);
        if (it != sinks.end()) {
            old = it->second;
            sinks.erase(it);
        }
        if (sink) {
            auto entry = std::make_shared<Entry>();
            entry->sink = std::move(sink);
            entry->size = std::move(size);
            sinks.emplace(window, std::move(entry));
        }
    }
    if (old) {
        std::lock_guard wait(old->calling);
        old->sink = nullptr;
        old->size = nullptr;
    }
}

namespace {

std::shared_ptr<Entry> EntryOf(HWND window) {
    std::lock_guard lock(g_mutex);
    auto it = Sinks().find(window);
    return it == Sinks().end() ? nullptr : it->second;
}

}  // namespace

bool GetVideoWindowSize(HWND window, SIZE* size) {
    const std::shared_ptr<Entry> entry = EntryOf(window);
    if (!entry || !size) return false;
    std::lock_guard calling(entry->calling);
    if (!entry->size) return false;
    *size = entry->size();
    return true;
}

bool PresentVideoFrame(HWND window, const QImage& frame, const RECT& destination) {
    const std::shared_ptr<Entry> entry = EntryOf(window);
    if (!entry) return false;
    std::lock_guard calling(entry->calling);
    if (!entry->sink) return false;
    entry->sink(frame, destination);
    return true;
}

}  // namespace orv
