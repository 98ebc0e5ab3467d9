#include "platform/media/WorkQueue.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace orv {

namespace {

constexpr int kWorkThreads = 2;

class WorkQueue {
public:
    WorkQueue() {
        for (int i = 0; i < kWorkThreads; ++i) {
            std::thread t([this] { Run(); });
            pthread_setname_np(t.native_handle(), "orv-mf-work");
            t.detach();
        }
    }

    void Post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_one();
    }

private:
    void Run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
};

}  // namespace

void PostWork(std::function<void()> job) {
    // Made once and never destroyed: its threads live as long as the process, and jobs may
    // still be posted while static objects are being destroyed at exit.
    static WorkQueue* queue = new WorkQueue;
    queue->Post(std::move(job));
}

}  // namespace orv
