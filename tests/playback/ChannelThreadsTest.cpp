// The prefetch thread, its cancellation, the channel locks and the two channels opening at
// once, run across threads. The
// tests hold the process-wide search mutex "hMutexFind" to keep a read waiting at its
// first search step, so that a cancel reaches it at a known point.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/NamedMutex.h"
#include "playback/ChannelData.h"
#include "playback/ChannelFacade.h"
#include "playback/ChannelFixture.h"
#include "playback/PrefetchThread.h"
#include "playback/TestCard.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using playback_test::ChannelTest;
using playback_test::TestCard;

// Polls until `done` holds; false after ten seconds, which means a hang.
bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 10000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

bool HeldElsewhere(std::recursive_mutex& lock) {
    if (!lock.try_lock()) return true;
    lock.unlock();
    return false;
}

std::int32_t RunningPrefetches(sPLAYCHANNEL& channel) {
    std::lock_guard<std::mutex> lock(channel.prefetch.lock);
    return channel.prefetch.running;
}

std::uint64_t NewestRequest(sPLAYCHANNEL& channel) {
    std::lock_guard<std::mutex> lock(channel.prefetch.lock);
    return channel.prefetch.newest;
}

std::vector<double> Speeds(const std::vector<sGPSRECORD>& gps) {
    std::vector<double> speeds;
    for (const sGPSRECORD& g : gps) speeds.push_back(g.speed);
    return speeds;
}

// Holds the search mutex until released or destroyed. Declare it after the threads it
// holds up, so that it lets them go before they are joined.
class SearchBlocker {
public:
    SearchBlocker() : mutex_(OpenNamedMutex("hMutexFind")) { mutex_->lock(); }
    ~SearchBlocker() { Release(); }
    void Release() {
        if (held_) mutex_->unlock();
        held_ = false;
    }

private:
    NamedMutexHandle mutex_;
    bool held_ = true;
};

using Prefetch = ChannelTest;

TEST_F(Prefetch, SecondLoadCancelsTheRunningOne) {
    TestCard card;
    const std::string first = card.Add(1, 3);
    const std::string second = card.Add(2, 2);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    std::atomic<int> firstResult{-1}, secondResult{-1};

    std::jthread a, b;
    SearchBlocker blocker;
    a = std::jthread([&] { firstResult = OpenDataFile(first); });
    ASSERT_TRUE(WaitUntil([&] { return HeldElsewhere(front.dataLock); }));
    b = std::jthread([&] { secondResult = OpenDataFile(second); });
    ASSERT_TRUE(WaitUntil([&] { return RunningPrefetches(front) == 2; }));
    blocker.Release();
    a.join();
    b.join();

    EXPECT_EQ(firstResult, 0) << "cancelled";
    EXPECT_EQ(secondResult, 1);
    const sMOVIESCANNER& prefetch = front.scanners[kPrefetchScanner];
    EXPECT_TRUE(prefetch.loaded);
    EXPECT_EQ(prefetch.moviePath, second);
    EXPECT_EQ(Speeds(prefetch.gps), (std::vector<double>{200, 201}));
    EXPECT_FALSE(prefetch.busy);
    EXPECT_FALSE(prefetch.cancel);
    EXPECT_EQ(RunningPrefetches(front), 0);
}

TEST_F(Prefetch, LoadingAnotherMovieCancelsIt) {
    TestCard card;
    const std::string next = card.Add(1, 3);
    const std::string chosen = card.Add(2, 2);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    std::atomic<int> prefetched{-1};

    std::jthread a, loader;
    SearchBlocker blocker;
    a = std::jthread([&] { prefetched = OpenDataFile(next); });
    ASSERT_TRUE(WaitUntil([&] { return HeldElsewhere(front.dataLock); }));
    const std::uint64_t before = NewestRequest(front);
    loader = std::jthread([&] { LoadChannelData(front, chosen); });
    ASSERT_TRUE(WaitUntil([&] { return NewestRequest(front) > before; }));
    blocker.Release();
    a.join();
    loader.join();

    EXPECT_EQ(prefetched, 0);
    EXPECT_EQ(Speeds(front.scanners[kStagingScanner].gps), (std::vector<double>{200, 201}));
    EXPECT_FALSE(front.scanners[kPrefetchScanner].loaded);
    EXPECT_FALSE(front.scanners[kPrefetchScanner].cancel);
}

TEST_F(Prefetch, LoadingThePrefetchedMovieWaitsForIt) {
    TestCard card;
    const std::string movie = card.Add(1, 3);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    std::atomic<int> prefetched{-1};

    std::jthread a, loader;
    SearchBlocker blocker;
    a = std::jthread([&] { prefetched = OpenDataFile(movie); });
    ASSERT_TRUE(WaitUntil([&] { return HeldElsewhere(front.dataLock); }));
    loader = std::jthread([&] { LoadChannelData(front, movie); });
    std::this_thread::sleep_for(20ms);  // lets the loader reach the data lock; not needed for the result
    blocker.Release();
    a.join();
    loader.join();

    EXPECT_EQ(prefetched, 1) << "not cancelled by the load of its own movie";
    const sMOVIESCANNER& staging = front.scanners[kStagingScanner];
    EXPECT_EQ(Speeds(staging.gps), (std::vector<double>{100, 101, 102}));
    EXPECT_EQ(staging.views, 0u) << "moved from the prefetch scanner, not read";
}

TEST_F(Prefetch, ThreadStopsWithinItsBoundAndNothingIsLeft) {
    TestCard card;
    const std::string first = card.Add(1, 3);
    const std::string second = card.Add(2, 2);
    ASSERT_TRUE(TestCard::SetMovieLength(first, 60));
    ASSERT_TRUE(TestCard::SetMovieLength(second, 60));
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    std::atomic<int> result{-1};
    const auto done = [&](bool ok) { result = ok ? 1 : 0; };

    PrefetchThread worker;
    EXPECT_TRUE(worker.Stop()) << "nothing started";
    {
        SearchBlocker blocker;
        worker.Start(first, done);
        ASSERT_TRUE(WaitUntil([&] { return HeldElsewhere(front.dataLock); }));
        EXPECT_FALSE(worker.Stop(10ms)) << "the read cannot end while its search waits";
    }
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(result, 0);

    result = -1;
    worker.Start(second, done);
    ASSERT_TRUE(WaitUntil([&] { return result != -1; }));
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Speeds(front.scanners[kPrefetchScanner].gps), (std::vector<double>{200, 201}));

    // A new start stops the read before it; the last one wins.
    for (int i = 0; i < 20; ++i) worker.Start(i % 2 ? second : first);
    result = -1;
    worker.Start(first, done);
    ASSERT_TRUE(WaitUntil([&] { return result != -1; }));
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(front.scanners[kPrefetchScanner].moviePath, first);
}

TEST_F(Prefetch, TermChannelWaitsForARunningRead) {
    TestCard card;
    const std::string movie = card.Add(1, 3);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    std::atomic<int> prefetched{-1};

    std::jthread a, term;
    SearchBlocker blocker;
    a = std::jthread([&] { prefetched = OpenDataFile(movie); });
    ASSERT_TRUE(WaitUntil([&] { return HeldElsewhere(front.dataLock); }));
    const std::uint64_t before = NewestRequest(front);
    term = std::jthread([&] { TermChannel(front); });
    ASSERT_TRUE(WaitUntil([&] { return NewestRequest(front) > before; }));
    blocker.Release();
    a.join();
    term.join();

    EXPECT_EQ(prefetched, 0);
    EXPECT_TRUE(front.scanners[kPrefetchScanner].gps.empty());
    EXPECT_FALSE(front.scanners[kPrefetchScanner].loaded);
    EXPECT_FALSE(front.scanners[kPrefetchScanner].cancel);
}

TEST_F(Prefetch, LockAllChannelsTakesChannelOneFirst) {
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    std::jthread locker;
    {
        std::lock_guard<std::recursive_mutex> hold(rear.slotLock);
        locker = std::jthread([] {
            LockAllChannels();
            UnlockAllChannels();
        });
        // Waiting for channel 2, it already holds channel 1.
        EXPECT_TRUE(WaitUntil([&] { return HeldElsewhere(front.slotLock); }));
    }
    locker.join();

    LockAllChannels();
    std::jthread probe([&] {
        EXPECT_TRUE(HeldElsewhere(front.slotLock));
        EXPECT_TRUE(HeldElsewhere(rear.slotLock));
    });
    probe.join();
    UnlockAllChannels();
    EXPECT_FALSE(HeldElsewhere(front.slotLock));
    EXPECT_FALSE(HeldElsewhere(rear.slotLock));
}

// Every reader and writer of the channels' data at once: under the thread sanitizer this
// finds races and lock-order inversions; anywhere it must end.
TEST_F(Prefetch, LoadersPrefetchesAndReadersTogether) {
    TestCard card;
    const std::string first = card.Add(1, 3);
    const std::string second = card.Add(2, 2);
    ASSERT_TRUE(TestCard::SetMovieLength(first, 60));
    ASSERT_TRUE(TestCard::SetMovieLength(second, 60));
    std::vector<sFILEENTRY> list(2);
    list[0].path = first;
    list[1].path = second;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    sPLAYCHANNEL& rear = g_aPlayChannel[1];
    constexpr int kRounds = 60;
    std::atomic<std::size_t> seen{0};
    {
        PrefetchThread worker;
        std::vector<std::jthread> threads;
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                OpenDataFile(i % 3 == 2 ? std::string() : i % 2 ? first : second);
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) LoadChannelData(front, i % 2 ? first : second);
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) LoadChannelData(rear, second);
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                LockAllChannels();
                seen += front.scanners[kActiveScanner].gps.size() + rear.scanners[kActiveScanner].path.size();
                if (front.listGpsTrack) seen += front.listGpsTrack->size();
                UnlockAllChannels();
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds / 6; ++i) LoadListGpsTrack(list);
        });
        threads.emplace_back([&] {
            RecorderHeader header;
            for (int i = 0; i < kRounds / 3; ++i) ReadRecorderHeader(&header, first);
        });
        for (int i = 0; i < kRounds / 3; ++i) {
            worker.Start(i % 2 ? first : second);
            if (i % 4 == 0) worker.Stop();
        }
    }
    EXPECT_EQ(RunningPrefetches(front), 0);
    EXPECT_FALSE(front.scanners[kPrefetchScanner].busy);
    ASSERT_TRUE(front.listGpsTrack);
    EXPECT_EQ(front.listGpsTrack->size(), 5u);
}

using ChannelsOpening = ChannelTest;

TEST_F(ChannelsOpening, BothAtOnceAndTheRearAsksTheFrontAfterItsOpen) {
    const std::string front = "/card/A___-220101-120000-000001M.MOV";
    // Channel 1's open waits until channel 2's has begun: one after the other, it would wait
    // in vain. Channel 2's open then looks at channel 1's slot lock, as its last step does.
    std::mutex mutex;
    std::condition_variable wake;
    bool rearBegun = false, frontSawRear = false, frontDone = false, rearSawFrontDone = false;
    engine.onOpen = [&](int channel) {
        std::unique_lock lock(mutex);
        if (channel == 2) {
            rearBegun = true;
            wake.notify_all();
            lock.unlock();
            std::lock_guard frontSlot(g_aPlayChannel[0].slotLock);
            lock.lock();
            rearSawFrontDone = frontDone;
            return;
        }
        frontSawRear = wake.wait_for(lock, 20s, [&] { return rearBegun; });
        frontDone = true;
    };
    EXPECT_EQ(OpenChannels(front), 1);
    EXPECT_TRUE(frontSawRear);
    EXPECT_TRUE(rearSawFrontDone);
    EXPECT_EQ(g_aPlayChannel[1].rearOpened, 1);

    // Without channel 2 there is nothing to wait for.
    g_aPlayChannel[1].initialised = 0;
    engine.onOpen = nullptr;
    engine.calls.clear();
    EXPECT_EQ(OpenChannels(front), 1);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"OpenMovie#1(" + front + ")"});
}

}  // namespace
}  // namespace orv
