#include "platform/base/AppMessage.h"

#include <mutex>
#include <unordered_map>

namespace orv {

namespace {

struct Registry {
    std::mutex lock;
    std::unordered_map<HWND, AppMessageSink> sinks;
    HWND next = 1;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

}  // namespace

HWND RegisterAppWindow(AppMessageSink sink) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const HWND h = r.next++;
    r.sinks.emplace(h, std::move(sink));
    return h;
}

void UnregisterAppWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.sinks.erase(hwnd);
}

bool IsAppWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.sinks.count(hwnd) != 0;
}

bool PostAppMessage(HWND hwnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    Registry& r = TheRegistry();
    // The sink runs under the registry lock, so that unregistering waits for a post in
    // progress; sinks only queue, so the lock is held briefly.
    std::lock_guard<std::mutex> guard(r.lock);
    const auto it = r.sinks.find(hwnd);
    if (it == r.sinks.end()) return false;
    it->second(msg, wParam, lParam);
    return true;
}

}  // namespace orv
