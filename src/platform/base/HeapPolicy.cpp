#include "platform/base/HeapPolicy.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace orv {

namespace {

// Heaps malloc may keep for the process's threads. Each thread that finds the heaps busy
// gets one of its own, up to eight per core, and keeps what is freed in it.
constexpr int kMallocArenas = 4;
// Blocks from this size on (bytes) are mapped on their own and unmapped when freed: the luma
// plane of a decoded 1080p picture and the 32-bit pictures made from 720p and larger. A fixed
// threshold also stops malloc from raising it after the first such block is freed, which
// would move every later picture into the heaps. The decoders keep their pictures in pools
// for as long as a movie is open, so mapping costs about once per picture slot and open.
constexpr int kMmapThresholdBytes = 1 << 20;
// How long closing must have been quiet before the heaps are trimmed: a channel pair closes
// two movies, and the players let go of their pictures on their own threads.
constexpr auto kTrimSettle = std::chrono::milliseconds(300);

class HeapTrimmer {
public:
    HeapTrimmer() {
        std::thread t([this] { Run(); });
        pthread_setname_np(t.native_handle(), "orv-heap-trim");
        t.detach();
    }

    void Request() {
        {
            std::lock_guard lock(mutex_);
            requested_ = true;
        }
        wake_.notify_one();
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return requested_; });
            do requested_ = false;
            while (wake_.wait_for(lock, kTrimSettle, [this] { return requested_; }));
            lock.unlock();
#ifdef __GLIBC__
            malloc_trim(0);
#endif
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
};

}  // namespace

void SetHeapPolicy() {
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, kMallocArenas);
    mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes);
#endif
}

void TrimHeapsSoon() {
    // Made once and never destroyed: its thread lives as long as the process, and a movie
    // may be closed while static objects are being destroyed at exit.
    static HeapTrimmer* trimmer = new HeapTrimmer;
    trimmer->Request();
}

}  // namespace orv
