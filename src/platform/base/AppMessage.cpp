#include "platform/base/AppMessage.h"

#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orv {

namespace {

struct PendingPayload {
    HWND receiver;
    std::shared_ptr<void> payload;
};

// The windows that take messages, and the payloads waiting for them. The payloads have a
// lock of their own: a sink runs under the windows' lock, and a payload is freed outside
// any lock (its destructor may post again). The windows' lock is taken again by a sink that
// passes a message on to another handle (a relay) on the posting thread.
struct Registry {
    std::recursive_mutex lock;
    std::unordered_map<HWND, AppMessageSink> sinks;
    HWND next = 1;

    std::mutex payloadLock;
    std::map<PayloadTicket, PendingPayload> payloads;
    PayloadTicket nextTicket = 1;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

}  // namespace

HWND RegisterAppWindow(AppMessageSink sink) {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    const HWND h = r.next++;
    r.sinks.emplace(h, std::move(sink));
    return h;
}

void UnregisterAppWindow(HWND hwnd) {
    {
        Registry& r = TheRegistry();
        std::lock_guard<std::recursive_mutex> guard(r.lock);
        r.sinks.erase(hwnd);
    }
    // No post can add to the window's payloads any more.
    DropPayloadsOf(hwnd);
}

bool IsAppWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    return r.sinks.count(hwnd) != 0;
}

bool PostAppMessage(HWND hwnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    Registry& r = TheRegistry();
    // The sink runs under the registry lock, so that unregistering waits for a post in
    // progress; sinks only queue, so the lock is held briefly.
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    const auto it = r.sinks.find(hwnd);
    if (it == r.sinks.end()) return false;
    it->second(msg, wParam, lParam);
    return true;
}

bool PostOwnedPayload(HWND receiver, unsigned msg, std::shared_ptr<void> payload, std::uintptr_t other,
                      TicketIn where) {
    Registry& r = TheRegistry();
    PayloadTicket ticket = 0;
    {
        std::lock_guard<std::mutex> guard(r.payloadLock);
        ticket = r.nextTicket++;
        r.payloads.emplace(ticket, PendingPayload{receiver, std::move(payload)});
    }
    const bool posted = where == TicketIn::WParam ? PostAppMessage(receiver, msg, WPARAM(ticket), LPARAM(other))
                                                  : PostAppMessage(receiver, msg, WPARAM(other), LPARAM(ticket));
    if (!posted) (void)TakePayload(ticket);  // freed here, outside the lock
    return posted;
}

std::shared_ptr<void> TakePayload(PayloadTicket ticket) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.payloadLock);
    const auto it = r.payloads.find(ticket);
    if (it == r.payloads.end()) return nullptr;
    std::shared_ptr<void> payload = std::move(it->second.payload);
    r.payloads.erase(it);
    return payload;
}

void DropPayloadsOf(HWND receiver) {
    std::vector<std::shared_ptr<void>> dropped;  // freed after the lock is released
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.payloadLock);
    for (auto it = r.payloads.begin(); it != r.payloads.end();) {
        if (it->second.receiver == receiver) {
            dropped.push_back(std::move(it->second.payload));
            it = r.payloads.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t PendingPayloadCount() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.payloadLock);
    return r.payloads.size();
}

}  // namespace orv
