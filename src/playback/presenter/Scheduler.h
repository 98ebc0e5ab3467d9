// Decides when each video sample the presenter delivers is shown. A thread of its own keeps a
// queue of samples waiting for their presentation time: due and late samples are presented
// through the callback (the present engine) at once, an early one makes the thread wait until
// it is due, by the steady clock, or until a message arrives.
//
// Start and Stop come from the owner (the presenter, under its lock) while no other call
// runs; Flush, Schedule and SetClockRate may come from any thread. The thread itself only takes
// the queue's and its message box's locks, and never holds one while a sample is presented.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/media/PresenterContract.h"
#include "playback/presenter/SampleList.h"
#include "playback/presenter/SchedulerCallback.h"

namespace orv {

class Scheduler {
public:
    // A wait that only a message ends (100-ns units).
    static constexpr LONGLONG kWaitForever = 0x7FFFFFFFFFFFFFFFLL;

    Scheduler() = default;
    // Stops the thread (for good: it may still be presenting through the callback).
    virtual ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void SetCallback(SchedulerCallback* callback) { callback_ = callback; }

    // Starts the thread with the clock (may be null); E_UNEXPECTED while a thread exists.
    HRESULT Start(IMFClock* clock);
    // Ends the thread, waiting at most kStopLimit for it, and drops the queued samples.
    HRESULT Stop();
    // Drops the queued samples; waits at most kFlushLimit for the thread to have done it.
    HRESULT Flush();
    // The clock stopped where it is: presents every queued sample that is due there and
    // waits (at most kFlushLimit) until the thread has, so that the picture on screen is the
    // one that stays.
    HRESULT Settle();
    // presentNow: presents the sample at once on the calling thread. Otherwise the thread
    // shows it at its time (at once without a clock): MF_E_NOT_INITIALIZED without a thread,
    // E_FAIL when the thread has ended. MF_E_NOT_INITIALIZED without a callback.
    HRESULT Schedule(IMFSample* sample, BOOL presentNow);

    void SetClockRate(float rate);
    // The clock started or went on: the samples waiting are timed again (while the clock
    // stands, an early sample waits for this or another message).
    void ClockStateChanged();
    // 100-ns units; the quarter frame follows.
    void SetFrameDuration(LONGLONG duration);
    LONGLONG FrameDuration() const { return frameDuration_.load(); }
    LONGLONG QuarterFrame() const { return quarterFrame_.load(); }
    // The time of the last sample presented (100 ns).
    LONGLONG LastSampleTime() const;
    // The time of the sample on screen (100 ns); false when none was presented since the last
    // flush (a seek's picture is still to come). *seek (when given, whatever the answer): the
    // seek (MF_SAMPLE_SEEK) of the last sample presented, 0 before any.
    bool ShownSampleTime(LONGLONG* time, UINT64* seek = nullptr) const;
    // A thread exists (from Start to Stop).
    bool IsRunning() const;
    // Samples presented since construction, and how many of them were late (more than a
    // quarter frame behind the clock).
    void GetFrameCounts(UINT64* presented, UINT64* late) const;

    // How long a sample `delta` ahead of the clock (100 ns, already negated for a clock that
    // runs backwards) waits before it is presented: 0 when it is due (from three quarters of
    // a frame ahead) or late, kWaitForever at rate 0 (a clock that stands still), otherwise
    // the time left until it is due, in 100-ns units of real time.
    static LONGLONG TimeUntilDue(LONGLONG delta, LONGLONG quarterFrame, float rate);

private:
    enum Message : unsigned {
        SCHED_TERMINATE = 1024,
        SCHED_SCHEDULE = 1025,
        SCHED_FLUSH = 1026,
    };

    void PostThreadMessage(Message message);
    void SchedulerThreadProc();
    // Presents what is due; *wait: how long until the front sample is due.
    HRESULT ProcessQueue(LONGLONG* wait);
    HRESULT Present(IMFSample* sample, LONGLONG target, bool late);

    std::mutex queueMutex_;
    MediaFoundationSamples::ComPtrList<IMFSample> queue_;  // under queueMutex_

    ComPtr<IMFClock> clock_;  // changed only while no thread runs
    SchedulerCallback* callback_ = nullptr;
    std::thread thread_;

    std::mutex mailMutex_;  // the messages to the thread and its state
    std::condition_variable mailWake_;
    std::deque<Message> mail_;
    bool threadEnded_ = false;
    UINT64 flushesPosted_ = 0;
    UINT64 flushesDone_ = 0;
    UINT64 schedulesPosted_ = 0;  // SCHED_SCHEDULE messages, and those the thread has handled
    UINT64 schedulesDone_ = 0;

    std::atomic<float> rate_{1.0f};
    std::atomic<LONGLONG> frameDuration_{0};
    std::atomic<LONGLONG> quarterFrame_{0};
    // The last sample presented: its time and seek, read together; `sinceFlush` is false from
    // a flush on, so that the picture of the old position no longer counts as the one on screen.
    struct Shown {
        LONGLONG time = 0;
        UINT64 seek = 0;
        bool sinceFlush = false;
    };
    mutable std::mutex shownMutex_;
    Shown shown_;  // under shownMutex_
    void ForgetShown();
    std::atomic<UINT64> presented_{0};
    std::atomic<UINT64> late_{0};
};

}  // namespace orv
