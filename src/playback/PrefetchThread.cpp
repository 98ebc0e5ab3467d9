#include "playback/PrefetchThread.h"

#include "playback/ChannelData.h"
#include "playback/PlayChannel.h"

namespace orv {

PrefetchThread::~PrefetchThread() {
    Stop();
    Join();
}

void PrefetchThread::Start(std::string moviePath, std::function<void(bool)> done) {
    Stop();
    Join();
    finished_ = false;
    thread_ = std::thread([this, path = std::move(moviePath), done = std::move(done)] {
        const bool result = OpenNeighbourDataFile(path);
        if (done) done(result);
        {
            std::lock_guard<std::mutex> lock(lock_);
            finished_ = true;
        }
        ended_.notify_all();
    });
}

bool PrefetchThread::Stop(std::chrono::milliseconds bound) {
    if (!thread_.joinable()) return true;
    std::unique_lock<std::mutex> lock(lock_);
    if (!finished_) {
        CancelPrefetch(g_aPlayChannel[0]);
        if (!ended_.wait_for(lock, bound, [this] { return finished_; })) return false;
    }
    lock.unlock();
    thread_.join();
    return true;
}

void PrefetchThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace orv
