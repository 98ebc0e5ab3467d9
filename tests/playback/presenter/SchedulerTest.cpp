// The scheduler's timing and its thread, and the presenter used from all its threads at once.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "PresenterRig.h"
#include "playback/presenter/Scheduler.h"

namespace orv::presentertest {
namespace {

constexpr LONGLONG kSecond = 10000000;
constexpr LONGLONG kQuarter = 83333;  // of a frame at 30 per second

ComPtr<IMFSample> TimedSample(LONGLONG time) {
    ComPtr<IMFSample> s;
    MFCreateVideoSampleFromSurface(nullptr, s.ReleaseAndGetAddressOf());
    s->SetSampleTime(time);
    return s;
}

class RecordingCallback final : public SchedulerCallback {
public:
    explicit RecordingCallback(LONGLONG failAt = -1) : failAt_(failAt) {}

    HRESULT PresentSample(IMFSample* sample, LONGLONG target) override {
        LONGLONG time = -1;
        sample->GetSampleTime(&time);
        {
            std::lock_guard lock(mutex_);
            times_.push_back(time);
            targets_.push_back(target);
            threads_.push_back(std::this_thread::get_id());
        }
        cv_.notify_all();
        return time == failAt_ ? E_FAIL : S_OK;
    }
    std::vector<LONGLONG> Times() {
        std::lock_guard lock(mutex_);
        return times_;
    }
    std::vector<LONGLONG> Targets() {
        std::lock_guard lock(mutex_);
        return targets_;
    }
    std::vector<std::thread::id> Threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    bool WaitForCount(std::size_t n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 5s, [&] { return times_.size() >= n; });
    }

private:
    const LONGLONG failAt_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<LONGLONG> times_, targets_;
    std::vector<std::thread::id> threads_;
};

TEST(Scheduler, WaitsUntilThreeQuartersOfAFrameAheadScaledByTheRate) {
    EXPECT_EQ(Scheduler::TimeUntilDue(1000000, kQuarter, 1.0f), 750001);   // 100 ms ahead: 75 ms
    EXPECT_EQ(Scheduler::TimeUntilDue(1000000, kQuarter, 0.5f), 1500002);  // 150 ms at half speed
    EXPECT_EQ(Scheduler::TimeUntilDue(1000000, kQuarter, 2.0f), 375000);   // 37.5 ms at twice
    EXPECT_EQ(Scheduler::TimeUntilDue(1000000, kQuarter, -2.0f), 375000);
    EXPECT_EQ(Scheduler::TimeUntilDue(200000, kQuarter, 1.0f), 0);        // 20 ms ahead: at once
    EXPECT_EQ(Scheduler::TimeUntilDue(3 * kQuarter, kQuarter, 1.0f), 0);  // on time
    EXPECT_EQ(Scheduler::TimeUntilDue(-kSecond, kQuarter, 1.0f), 0);      // 1 s late: at once
    // Less than a millisecond early is still waited for, to the 100 ns.
    EXPECT_EQ(Scheduler::TimeUntilDue(3 * kQuarter + 5000, kQuarter, 1.0f), 5000);
    EXPECT_EQ(Scheduler::TimeUntilDue(3 * kQuarter + 1, kQuarter, 4.0f), 1);
    // A clock that stands never brings the sample nearer: only a message ends the wait.
    EXPECT_EQ(Scheduler::TimeUntilDue(1000000, kQuarter, 0.0f), Scheduler::kWaitForever);
}

TEST(Scheduler, PresentsDueAndLateSamplesInOrderAndKeepsEarlyOnesUntilAFlush) {
    RecordingCallback callback;
    Scheduler scheduler;
    scheduler.SetFrameDuration(333333);
    EXPECT_EQ(scheduler.QuarterFrame(), kQuarter);
    EXPECT_EQ(scheduler.Schedule(TimedSample(0).Get(), TRUE), MF_E_NOT_INITIALIZED);  // no callback
    scheduler.SetCallback(&callback);
    EXPECT_EQ(scheduler.Schedule(TimedSample(0).Get(), FALSE), MF_E_NOT_INITIALIZED);  // no thread
    auto clock = AdoptRef(new FakeClock);
    clock->Set(10 * kSecond, false);
    ASSERT_EQ(scheduler.Start(clock.Get()), S_OK);
    EXPECT_EQ(scheduler.Start(clock.Get()), E_UNEXPECTED);
    EXPECT_TRUE(scheduler.IsRunning());

    for (LONGLONG t : {9 * kSecond, 10 * kSecond, 10 * kSecond + 200000, 11 * kSecond})
        ASSERT_EQ(scheduler.Schedule(TimedSample(t).Get(), FALSE), S_OK);
    ASSERT_TRUE(callback.WaitForCount(3));
    const std::vector<LONGLONG> due{9 * kSecond, 10 * kSecond, 10 * kSecond + 200000};
    EXPECT_EQ(callback.Times(), due);
    EXPECT_EQ(callback.Targets(), due);
    EXPECT_EQ(scheduler.LastSampleTime(), 10 * kSecond + 200000);
    UINT64 presented = 0, late = 0;
    scheduler.GetFrameCounts(&presented, &late);
    EXPECT_EQ(presented, 3u);
    EXPECT_EQ(late, 1u);

    EXPECT_EQ(scheduler.Flush(), S_OK);  // the early sample goes
    clock->Set(12 * kSecond, false);
    scheduler.SetClockRate(1.0f);
    scheduler.Flush();  // returns once the thread has looked at its queue again
    EXPECT_EQ(callback.Times().size(), 3u);

    EXPECT_EQ(scheduler.Stop(), S_OK);
    EXPECT_FALSE(scheduler.IsRunning());
    EXPECT_EQ(scheduler.Schedule(TimedSample(0).Get(), FALSE), MF_E_NOT_INITIALIZED);
}

TEST(Scheduler, PresentsAtOnceOnTheCallersThreadWithoutTouchingTheQueue) {
    RecordingCallback callback;
    Scheduler scheduler;
    scheduler.SetCallback(&callback);
    scheduler.SetFrameDuration(333333);
    // Without a thread too: a repaint after streaming ended.
    ASSERT_EQ(scheduler.Schedule(TimedSample(1).Get(), TRUE), S_OK);
    auto clock = AdoptRef(new FakeClock);
    ASSERT_EQ(scheduler.Start(clock.Get()), S_OK);
    ASSERT_EQ(scheduler.Schedule(TimedSample(5 * kSecond).Get(), FALSE), S_OK);
    ASSERT_EQ(scheduler.Schedule(TimedSample(7 * kSecond).Get(), TRUE), S_OK);
    ASSERT_EQ(callback.Times(), (std::vector<LONGLONG>{1, 7 * kSecond}));
    EXPECT_EQ(callback.Targets()[1], 0);
    EXPECT_EQ(callback.Threads()[1], std::this_thread::get_id());
    clock->Set(5 * kSecond, false);
    scheduler.SetClockRate(1.0f);
    ASSERT_TRUE(callback.WaitForCount(3));
    EXPECT_EQ(callback.Times()[2], 5 * kSecond);
    EXPECT_NE(callback.Threads()[2], std::this_thread::get_id());
}

TEST(Scheduler, NegatesTheDeltaForAClockThatRunsBackwards) {
    RecordingCallback callback;
    Scheduler scheduler;
    scheduler.SetCallback(&callback);
    scheduler.SetFrameDuration(333333);
    scheduler.SetClockRate(-1.0f);
    auto clock = AdoptRef(new FakeClock);
    clock->Set(10 * kSecond, false);
    ASSERT_EQ(scheduler.Start(clock.Get()), S_OK);
    ASSERT_EQ(scheduler.Schedule(TimedSample(11 * kSecond).Get(), FALSE), S_OK);  // passed already
    ASSERT_EQ(scheduler.Schedule(TimedSample(9 * kSecond).Get(), FALSE), S_OK);   // still to come
    ASSERT_TRUE(callback.WaitForCount(1));
    scheduler.Flush();
    EXPECT_EQ(callback.Times(), (std::vector<LONGLONG>{11 * kSecond}));
    UINT64 late = 0;
    scheduler.GetFrameCounts(nullptr, &late);
    EXPECT_EQ(late, 1u);
}

TEST(Scheduler, AFailedPresentationEndsTheThreadAndLaterSchedulingFails) {
    RecordingCallback callback(666);
    Scheduler scheduler;
    scheduler.SetCallback(&callback);
    auto clock = AdoptRef(new FakeClock);
    clock->Set(1000, false);
    ASSERT_EQ(scheduler.Start(clock.Get()), S_OK);
    ASSERT_EQ(scheduler.Schedule(TimedSample(666).Get(), FALSE), S_OK);
    ASSERT_TRUE(callback.WaitForCount(1));
    HRESULT hr = S_OK;
    for (int i = 0; i < 5000 && hr == S_OK; ++i) {
        hr = scheduler.Schedule(TimedSample(0).Get(), FALSE);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(scheduler.Flush(), S_OK);  // no wait on a thread that has ended
}

TEST(Scheduler, TakesSamplesFlushesAndRateChangesFromSeveralThreads) {
    RecordingCallback callback;
    Scheduler scheduler;
    scheduler.SetCallback(&callback);
    scheduler.SetFrameDuration(333333);
    auto clock = AdoptRef(new FakeClock);
    clock->Set(0, true);
    ASSERT_EQ(scheduler.Start(clock.Get()), S_OK);
    std::atomic<int> scheduled{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i)
                if (scheduler.Schedule(TimedSample(i * 20000 + t).Get(), i % 10 == 0) == S_OK) ++scheduled;
        });
    threads.emplace_back([&] {
        for (int i = 0; i < 20; ++i) {
            scheduler.Flush();
            scheduler.SetClockRate(i % 2 ? 2.0f : 0.5f);
            std::this_thread::sleep_for(1ms);
        }
    });
    for (auto& t : threads) t.join();
    EXPECT_EQ(scheduler.Stop(), S_OK);
    UINT64 presented = 0;
    scheduler.GetFrameCounts(&presented, nullptr);
    EXPECT_EQ(scheduled.load(), 300);
    EXPECT_LE(presented, 300u);
    EXPECT_EQ(callback.Times().size(), presented);
}

TEST(EVRCustomPresenterThreads, PlaysWhileTheWindowRepaintsResizesAndGrabs) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    rig.clock->Set(0, true);
    ASSERT_EQ(rig.presenter->OnClockStart(MFGetSystemTime(), 0), S_OK);
    constexpr int kFrames = 30;
    std::atomic<bool> streaming{true};
    std::thread ui([&] {
        int i = 0;
        while (streaming.load()) {
            const RECT destination{0, i % 7, 640, 480 - i % 7};
            rig.presenter->SetVideoPosition(nullptr, &destination);
            rig.presenter->RepaintVideo();
            BYTE* dib = nullptr;
            if (SUCCEEDED(rig.presenter->GetCurrentImage(nullptr, &dib, nullptr, nullptr))) CoTaskMemFree(dib);
            SIZE size, ratio;
            rig.presenter->GetNativeVideoSize(&size, &ratio);
            ++i;
            std::this_thread::sleep_for(2ms);
        }
    });
    // The streaming thread: a frame every 10 ms, three frames per 100 ms of movie time.
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(rig.Feed(i, i * kFrame), S_OK);
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_ENDOFSTREAM, 0), S_OK);
    EXPECT_TRUE(rig.events->WaitFor(EC_COMPLETE));
    streaming = false;
    ui.join();
    std::vector<bool> seen(kFrames);
    for (int n : rig.frames.Numbers())
        if (n >= 0 && n < kFrames) seen[std::size_t(n)] = true;
    for (int i = 0; i < kFrames; ++i) EXPECT_TRUE(seen[std::size_t(i)]) << "frame " << i;
    EXPECT_EQ(rig.presenter->OnClockStop(MFGetSystemTime()), S_OK);
}

}  // namespace
}  // namespace orv::presentertest
