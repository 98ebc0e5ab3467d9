// The media session: its control thread carries out the queued control calls in order, its
// event thread hands the events to the caller's callback one request at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/media/AudioRenderer.h"
#include "platform/media/MediaFoundation.h"
#include "platform/media/PlaybackPipeline.h"
#include "platform/media/PresentationClock.h"
#include "platform/media/VideoRenderer.h"

namespace orv {

class SessionCore : public std::enable_shared_from_this<SessionCore> {
public:
    static std::shared_ptr<SessionCore> Create();

    HRESULT BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state);
    HRESULT SetTopology(IMFTopology* topology);
    HRESULT Start(bool hasPosition, LONGLONG position);
    HRESULT Pause();
    HRESULT StartPaused(LONGLONG position, UINT64* seek);
    HRESULT StartTogether(const std::shared_ptr<StartGate>& gate);
    HRESULT Stop();
    HRESULT Close();
    HRESULT Shutdown();
    // With a moment, the clock takes the rate as of that moment (StartGate.h).
    HRESULT SetRate(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment = nullptr);
    void GetRate(BOOL* thin, float* rate);
    HRESULT IsRateSupported(BOOL thin, float rate, float* nearest);
    float FastestRate(BOOL thin);
    HRESULT GetService(const GUID& service, const IID& iid, void** object);
    ComPtr<PresentationClock> Clock() const { return clock_; }
    bool IsShutDown();

private:
    enum class State { Empty, Stopped, Started, Paused, Closed };
    enum class Kind { SetTopology, Start, Pause, Stop, Close, SetRate, SinkEvent };
    struct Command {
        explicit Command(Kind k) : kind(k) {}
        Kind kind;
        ComPtr<IMFTopology> topology;
        bool hasPosition = false;
        LONGLONG position = 0;
        float rate = 1.0f;
        BOOL thin = FALSE;
        long code = 0;  // a sink event: its code, status, epoch and whether it came from the video
        HRESULT status = S_OK;
        // A sink event's epoch; for a start or stop, the epoch it begins when it begins one
        // (numbered as queued, so that a caller learns a seek's number at once).
        std::uint64_t epoch = 0;
        bool fromVideo = false;
        std::shared_ptr<StartGate> gate;  // a start shared with other sessions, and our rank in it
        int rank = 0;
        std::shared_ptr<SharedMoment> moment;  // a rate change shared with other sessions
    };

    SessionCore();
    HRESULT Queue(Command command);
    void QueueEvent(MediaEventType type, HRESULT status, IUnknown* value = nullptr);
    void QueueEvent(ComPtr<IMFMediaEvent> event);
    void RunControl();
    void RunEvents();

    // The control thread.
    void DoSetTopology(IMFTopology* topology);
    HRESULT Resolve(IMFTopology* topology, bool* hardware);
    void DoStart(const Command& command);
    // Starts the clock from the position, with the other sessions of the command's gate
    // when it has one; the system time it started at.
    MFTIME StartClock(const Command& command, LONGLONG position);
    void DoPause();
    void DoStop(const Command& command);
    void DoSetRate(const Command& command);
    void DoSinkEvent(const Command& command);
    void CheckEnded();
    void Teardown();
    bool NextCommandIs(Kind kind);  // and takes it off the queue

    const ComPtr<PresentationClock> clock_;

    std::mutex mutex_;
    std::condition_variable commandWake_;
    std::condition_variable eventWake_;
    std::deque<Command> commands_;
    std::deque<ComPtr<IMFMediaEvent>> events_;
    ComPtr<IMFAsyncCallback> callback_;
    ComPtr<IUnknown> callbackState_;
    bool shutdown_ = false;
    bool closing_ = false;
    std::uint64_t lastEpoch_ = 0;  // the last given to a start or stop; never goes back
    float rate_ = 1.0f;  // as last asked for
    BOOL thin_ = FALSE;
    // Read by the service calls of other threads.
    ComPtr<VideoRenderer> video_;
    ComPtr<AudioRenderer> audio_;
    std::thread control_;
    std::thread eventThread_;
    std::condition_variable endedWake_;
    bool controlEnded_ = false;
    bool eventsEnded_ = false;

    // Owned by the control thread.
    State state_ = State::Empty;
    std::shared_ptr<PlaybackPipeline> pipeline_;
    LONGLONG duration_ = 0;
    std::uint64_t epoch_ = 0;
    bool videoDone_ = false;
    bool audioDone_ = false;
};

}  // namespace orv
