#include "playback/presenter/Scheduler.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <system_error>

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;
using HundredNs = std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>;

// The present callback never blocks, so the thread answers a flush or a stop within
// microseconds; the bounds only keep a caller from hanging on a thread that went wrong.
constexpr auto kFlushLimit = std::chrono::milliseconds(5000);
constexpr auto kStopLimit = std::chrono::milliseconds(5000);

}  // namespace

Scheduler::~Scheduler() {
    Stop();
    // A thread that did not end within the bound may still be presenting through the
    // callback; it must be gone before the scheduler is.
    if (thread_.joinable()) thread_.join();
}

HRESULT Scheduler::Start(IMFClock* clock) {
    if (thread_.joinable()) return E_UNEXPECTED;
    clock_ = clock;
    {
        std::lock_guard lock(mailMutex_);
        mail_.clear();
        threadEnded_ = false;
    }
    try {
        thread_ = std::thread([this] { SchedulerThreadProc(); });
    } catch (const std::system_error&) {
        clock_.Reset();
        return E_UNEXPECTED;
    }
    pthread_setname_np(thread_.native_handle(), "orv-scheduler");
    return S_OK;
}

HRESULT Scheduler::Stop() {
    if (!thread_.joinable()) return S_OK;
    PostThreadMessage(SCHED_TERMINATE);
    {
        std::unique_lock lock(mailMutex_);
        // Left running past the bound, the thread is joined by the destructor.
        if (!mailWake_.wait_for(lock, kStopLimit, [this] { return threadEnded_; })) return S_OK;
    }
    thread_.join();
    clock_.Reset();
    std::lock_guard lock(queueMutex_);
    queue_.Clear();
    return S_OK;
}

HRESULT Scheduler::Flush() {
    std::unique_lock lock(mailMutex_);
    if (!thread_.joinable() || threadEnded_) {
        ForgetShown();
        return S_OK;
    }
    const UINT64 ticket = ++flushesPosted_;
    mail_.push_back(SCHED_FLUSH);
    mailWake_.notify_all();
    mailWake_.wait_for(lock, kFlushLimit, [&] { return flushesDone_ >= ticket || threadEnded_; });
    return S_OK;
}

HRESULT Scheduler::Settle() {
    if (!thread_.joinable()) return S_OK;
    std::unique_lock lock(mailMutex_);
    if (threadEnded_) return S_OK;
    const UINT64 ticket = ++schedulesPosted_;
    mail_.push_back(SCHED_SCHEDULE);
    mailWake_.notify_all();
    mailWake_.wait_for(lock, kFlushLimit, [&] { return schedulesDone_ >= ticket || threadEnded_; });
    return S_OK;
}

bool Scheduler::ShownSampleTime(LONGLONG* time, UINT64* seek) const {
    std::lock_guard lock(shownMutex_);
    if (seek) *seek = shown_.seek;
    if (!shown_.sinceFlush) return false;
    if (time) *time = shown_.time;
    return true;
}

LONGLONG Scheduler::LastSampleTime() const {
    std::lock_guard lock(shownMutex_);
    return shown_.time;
}

void Scheduler::ForgetShown() {
    std::lock_guard lock(shownMutex_);
    shown_.sinceFlush = false;
}

HRESULT Scheduler::Schedule(IMFSample* sample, BOOL presentNow) {
    if (!callback_) return MF_E_NOT_INITIALIZED;
    if (!sample) return E_POINTER;
    // Shown on the caller's thread, also while no thread runs (a repaint after streaming
    // ended); a failure to present is no failure to schedule.
    if (presentNow) {
        Present(sample, 0, false);
        return S_OK;
    }
    if (!thread_.joinable()) return MF_E_NOT_INITIALIZED;
    {
        std::lock_guard lock(mailMutex_);
        if (threadEnded_) return E_FAIL;
    }
    if (!clock_) {
        Present(sample, 0, false);
        return S_OK;
    }
    HRESULT hr;
    {
        std::lock_guard lock(queueMutex_);
        hr = queue_.InsertBack(sample);
    }
    if (SUCCEEDED(hr)) PostThreadMessage(SCHED_SCHEDULE);
    return hr;
}

void Scheduler::SetClockRate(float rate) {
    rate_.store(rate);
    // A sample waiting under the old rate waits for a different time now.
    ClockStateChanged();
}

void Scheduler::ClockStateChanged() {
    if (thread_.joinable()) PostThreadMessage(SCHED_SCHEDULE);
}

void Scheduler::SetFrameDuration(LONGLONG duration) {
    frameDuration_.store(duration);
    quarterFrame_.store(duration / 4);
}

bool Scheduler::IsRunning() const { return thread_.joinable(); }

void Scheduler::GetFrameCounts(UINT64* presented, UINT64* late) const {
    if (presented) *presented = presented_.load();
    if (late) *late = late_.load();
}

LONGLONG Scheduler::TimeUntilDue(LONGLONG delta, LONGLONG quarterFrame, float rate) {
    const LONGLONG early = delta - 3 * quarterFrame;
    if (early <= 0) return 0;
    if (rate == 0.0f) return kWaitForever;
    const double wait = double(early) / std::fabs(double(rate));
    if (wait >= double(kWaitForever)) return kWaitForever;
    return std::max<LONGLONG>(1, LONGLONG(wait));
}

void Scheduler::PostThreadMessage(Message message) {
    {
        std::lock_guard lock(mailMutex_);
        if (threadEnded_) return;
        mail_.push_back(message);
        if (message == SCHED_SCHEDULE) ++schedulesPosted_;
    }
    mailWake_.notify_all();
}

HRESULT Scheduler::Present(IMFSample* sample, LONGLONG target, bool late) {
    LONGLONG time = 0;
    {
        std::lock_guard lock(shownMutex_);
        if (SUCCEEDED(sample->GetSampleTime(&time))) shown_.time = time;
        shown_.seek = PictureSeek(sample, 0);
        shown_.sinceFlush = true;
    }
    presented_.fetch_add(1);
    if (late) late_.fetch_add(1);
    return callback_->PresentSample(sample, target);
}

HRESULT Scheduler::ProcessQueue(LONGLONG* wait) {
    *wait = kWaitForever;
    HRESULT hr = S_OK;
    for (;;) {
        ComPtr<IMFSample> sample;
        {
            std::lock_guard lock(queueMutex_);
            if (FAILED(queue_.RemoveFront(sample.ReleaseAndGetAddressOf()))) break;
        }
        // A sample without a time, or a clock that gives none, is due.
        LONGLONG time = 0, now = 0, until = 0;
        MFTIME system = 0;
        bool late = false;
        if (clock_ && SUCCEEDED(sample->GetSampleTime(&time)) &&
            SUCCEEDED(clock_->GetCorrelatedTime(0, &now, &system))) {
            const float rate = rate_.load();
            const LONGLONG quarter = quarterFrame_.load();
            const LONGLONG delta = rate < 0.0f ? now - time : time - now;
            late = delta < -quarter;
            // A paused or stopped clock brings no sample nearer, however long the wait.
            MFCLOCK_STATE state = MFCLOCK_STATE_RUNNING;
            clock_->GetState(0, &state);
            until = TimeUntilDue(delta, quarter, state == MFCLOCK_STATE_RUNNING ? rate : 0.0f);
        }
        if (until > 0) {
            std::lock_guard lock(queueMutex_);
            hr = queue_.InsertFront(sample.Get());
            if (SUCCEEDED(hr)) *wait = until;
            break;
        }
        hr = Present(sample.Get(), time, late);
        if (FAILED(hr)) break;
    }
    return hr;
}

void Scheduler::SchedulerThreadProc() {
    std::optional<Clock::time_point> deadline;  // none: only a message wakes the thread
    HRESULT hr = S_OK;
    auto processQueue = [&] {
        LONGLONG wait = kWaitForever;
        hr = ProcessQueue(&wait);
        if (wait == kWaitForever) deadline.reset();
        else deadline = Clock::now() + HundredNs(wait);
    };
    std::unique_lock lock(mailMutex_);
    for (;;) {
        const auto hasMail = [this] { return !mail_.empty(); };
        if (!deadline) {
            mailWake_.wait(lock, hasMail);
        } else if (!mailWake_.wait_until(lock, *deadline, hasMail)) {
            lock.unlock();
            processQueue();
            lock.lock();
            if (FAILED(hr)) break;
            continue;
        }
        std::deque<Message> mail;
        mail.swap(mail_);
        lock.unlock();
        bool terminate = false;
        UINT64 flushes = 0, schedules = 0;
        for (const Message message : mail) {
            if (message == SCHED_TERMINATE) {
                terminate = true;
                break;
            }
            if (message == SCHED_SCHEDULE) {
                processQueue();
                ++schedules;
                if (FAILED(hr)) break;
            } else if (message == SCHED_FLUSH) {
                {
                    std::lock_guard queueLock(queueMutex_);
                    queue_.Clear();
                }
                ForgetShown();
                deadline.reset();
                ++flushes;
            }
        }
        lock.lock();
        flushesDone_ += flushes;
        schedulesDone_ += schedules;
        if (flushes || schedules) mailWake_.notify_all();
        if (terminate || FAILED(hr)) break;
    }
    threadEnded_ = true;
    mail_.clear();
    mailWake_.notify_all();
}

}  // namespace orv
