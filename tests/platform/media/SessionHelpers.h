// Helpers that drive a media session the way the player does: an event callback that records
// every event, a window sink that records every picture shown, and the open and close steps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/MediaFoundation.h"
#include "platform/media/VideoFrameSink.h"

namespace orv::mediatest {

using namespace std::chrono_literals;

// Re-arms BeginGetEvent after each event until MESessionClosed.
class EventRecorder final : public ComObject<IMFAsyncCallback> {
public:
    explicit EventRecorder(IMFMediaSession* session) : session_(session) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAsyncCallback>(this, iid, object);
    }
    HRESULT GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT Invoke(IMFAsyncResult* result) override;

    // Waits for the next event of the type (later than the ones waited for before) and
    // returns it; null on time-out.
    ComPtr<IMFMediaEvent> WaitFor(MediaEventType type, std::chrono::milliseconds timeout = 10s);
    // True when an event of the type arrived since the last WaitFor.
    bool Seen(MediaEventType type);
    std::vector<MediaEventType> Types();
    // Thread on which the events arrived (all on one).
    bool AllOnOneThread();

private:
    ComPtr<IMFMediaSession> session_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<ComPtr<IMFMediaEvent>> events_;
    std::vector<std::thread::id> threads_;
    std::size_t cursor_ = 0;
};

// The pictures presented to one window, with the frame number each shows.
class FrameRecorder {
public:
    FrameRecorder();
    ~FrameRecorder();
    HWND Window() const { return window_; }

    struct Shown {
        int number;  // -1: not a stripe picture
        std::chrono::steady_clock::time_point when;
        QImage picture;
    };
    std::vector<Shown> Frames();
    int LastNumber();
    // Waits until a picture with the number was shown; false on time-out.
    bool WaitForNumber(int number, std::chrono::milliseconds timeout = 10s);
    // Waits until `count` pictures have been shown in all.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout = 10s);
    void Clear();

private:
    HWND window_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Shown> frames_;
};

struct OpenOptions {
    HWND window = 0;
    IMFActivate* presenter = nullptr;  // a custom presenter's activate
    bool audio = true;                 // a branch for the audio stream when there is one
    bool hardware = false;
};

struct Player {
    ComPtr<IMFMediaSession> session;
    ComPtr<IMFMediaSource> source;
    ComPtr<EventRecorder> events;
    bool hasAudio = false;
};

// Creates the session, the source and the topology and sets it; the caller waits for events.
HRESULT OpenPlayer(const std::string& path, const OpenOptions& options, Player* player);
// A new topology for the same source (as the player's rebuild does).
HRESULT SetPlayerTopology(Player& player, const OpenOptions& options);
// Close, wait for MESessionClosed, shut down source and session; false when the close was
// not reported within the time.
bool ClosePlayer(Player& player, std::chrono::milliseconds wait = 5s);

HRESULT StartAt(IMFMediaSession* session, LONGLONG position);
HRESULT StartHere(IMFMediaSession* session);
LONGLONG ClockTime(IMFMediaSession* session);
// The session's clock, or null.
ComPtr<IMFClock> SessionClock(IMFMediaSession* session);
// Whether the clock runs at `rate` times the system clock: within the timeout, two readings a
// little apart differ by rate x the system time between them. Each reading takes the clock's
// time and the system time together, so a test thread that is kept waiting does not count, and
// a rate change still on its way to the clock is waited out.
bool ClockRunsAtRate(IMFClock* clock, float rate, std::chrono::milliseconds timeout = 10s);
// Waits until the clock is in the state; false on time-out.
bool WaitForClockState(IMFClock* clock, MFCLOCK_STATE state, std::chrono::milliseconds timeout = 10s);

// The service of the session, or null.
template <class I>
ComPtr<I> Service(IMFMediaSession* session, const GUID& service) {
    ComPtr<I> out;
    MFGetService(session, service, I::kIid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    return out;
}

// 100-ns time of frame `f` at `fps` frames per second.
inline LONGLONG FrameTime(int f, double fps) { return LONGLONG(f * 10000000.0 / fps + 0.5); }

}  // namespace orv::mediatest
