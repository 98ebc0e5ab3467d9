// A worker thread that reads the data of the recording that may be selected next ahead
// into channel 1's prefetch scanner (OpenNeighbourDataFile), owned by whoever starts it.
//
// Stopping it cancels the read through the scanner's cancel flag and waits a bounded
// time for the thread; a thread that has not ended by then is kept and joined by the
// next Start, Stop or the destructor, so no thread outlives its owner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace orv {

class PrefetchThread {
public:
    // The read checks the cancel flag before each window it reads, so it ends within one
    // window's read after a cancel.
    static constexpr std::chrono::milliseconds kStopBound{5000};

    PrefetchThread() = default;
    PrefetchThread(const PrefetchThread&) = delete;
    PrefetchThread& operator=(const PrefetchThread&) = delete;
    ~PrefetchThread();

    // Stops and joins the thread of the previous read, then runs
    // OpenNeighbourDataFile(moviePath) on a new thread and calls `done` there with its result.
    void Start(std::string moviePath, std::function<void(bool)> done = {});

    // Cancels the read and waits up to `bound` for its thread. True when no thread is
    // left; false when the thread is still running.
    bool Stop(std::chrono::milliseconds bound = kStopBound);

private:
    void Join();

    std::thread thread_;
    std::mutex lock_;
    std::condition_variable ended_;
    bool finished_ = false;  // the thread's read is over; guarded by lock_
};

}  // namespace orv
