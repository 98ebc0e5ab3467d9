// Going from recording to recording: each open makes new decoding and presenting threads,
// and what they freed must not stay with the process. A test program of its own, as it
// judges the whole process's resident memory.
#include <cstdint>
#include <string>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "fixtures/ChildMemory.h"
#include "fixtures/WaitUntil.h"
#include "platform/base/HeapPolicy.h"

namespace orv::enginetest {
namespace {

using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;

std::int64_t ResidentKb() { return fixtures::StatusKb("VmRSS"); }

// The resident memory once it has stopped falling for a while (closing lets go of memory on
// other threads), or after the wait's bound.
std::int64_t SettledKb() {
    std::int64_t last = ResidentKb();
    auto since = std::chrono::steady_clock::now();
    fixtures::WaitUntil([&] {
        const std::int64_t now = ResidentKb();
        if (now < last - 256) {
            last = now;
            since = std::chrono::steady_clock::now();
        }
        return std::chrono::steady_clock::now() - since > 1500ms;
    }, 20s, 50ms);
    return ResidentKb();
}

TEST_F(ChannelOpsTest, GoingThroughRecordingsKeepsMemoryAtOneRecordingsNeed) {
    SetHeapPolicy();  // as the program does at start-up
    // Pictures as large as a recorder's rear camera makes them, a front with sound and its
    // companion at half the rate.
    StripeMovieSpec front;
    front.width = 1280;
    front.height = 720;
    front.frames = 90;
    front.audio = true;
    StripeMovieSpec rear = front;
    rear.fpsNum = 15;
    rear.frames = 45;
    rear.audio = false;
    const std::string paths[2] = {StripeMoviePath(front), StripeMoviePath(rear)};
    ASSERT_FALSE(paths[0].empty() || paths[1].empty());

    // One recording as the main window goes through it: both channels open and play until
    // pictures come, then close before the next one opens.
    auto goThrough = [&] {
        for (int i = 0; i < 2; ++i)
            if (!OpenReady(i, paths[i])) return false;
        for (int i = 0; i < 2; ++i) Slots(i).PlayMovie(Channel(i));
        const bool shown = surface_.WaitForNewPicture() && surface_.WaitForNewPicture();
        for (int i = 1; i >= 0; --i) Slots(i).CloseMovie(Channel(i));
        return shown;
    };
    ASSERT_TRUE(goThrough());
    const std::int64_t firstKb = SettledKb();
    constexpr int kRecordings = 16;
    for (int n = 1; n < kRecordings; ++n) ASSERT_TRUE(goThrough()) << "recording " << n;
    // A tenth of the first figure, and slack for what the allocator and Qt keep for themselves.
    const std::int64_t boundKb = firstKb + firstKb / 10 + 8 * 1024;
    EXPECT_TRUE(fixtures::WaitUntil([&] { return ResidentKb() <= boundKb; }, 20s, 50ms))
        << "resident after the first recording " << firstKb << " KiB, after " << kRecordings << " "
        << ResidentKb() << " KiB";
}

}  // namespace
}  // namespace orv::enginetest
