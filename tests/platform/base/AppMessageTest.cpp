#include "platform/base/AppMessage.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(AppMessage, ValuesKeepTheirNumbers) {
    EXPECT_EQ(WM_APP_PROGRESS, 0x8008u);
    EXPECT_EQ(WM_APP_SOURCE_LOST, 0x84B1u);
    EXPECT_EQ(WM_APP_PLAYER_READY, 0x83EBu);
    EXPECT_EQ(WM_APP_DATA_LOADED, 0x8515u);
    EXPECT_EQ(WM_USER_PREVIEW_EVENT, 0x1401u);
}

TEST(AppMessage, PostReachesTheSinkAndNothingAfterUnregister) {
    struct Msg { unsigned id; WPARAM w; LPARAM l; };
    std::vector<Msg> got;
    const HWND h = RegisterAppWindow([&](unsigned id, WPARAM w, LPARAM l) { got.push_back({id, w, l}); });
    EXPECT_TRUE(IsAppWindow(h));
    EXPECT_TRUE(PostAppMessage(h, WM_APP_PROGRESS, 3, 10));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id, WM_APP_PROGRESS);
    EXPECT_EQ(got[0].w, 3u);
    EXPECT_EQ(got[0].l, 10);

    UnregisterAppWindow(h);
    EXPECT_FALSE(IsAppWindow(h));
    EXPECT_FALSE(IsAppWindow(0));
    EXPECT_FALSE(PostAppMessage(h, WM_APP_PROGRESS, 4, 10));
    EXPECT_FALSE(PostAppMessage(0, WM_APP_PROGRESS, 4, 10));
    EXPECT_EQ(got.size(), 1u);
}

TEST(AppMessage, PostingFromManyThreadsWhileTheWindowGoes) {
    std::atomic<int> received{0};
    const HWND h = RegisterAppWindow([&](unsigned, WPARAM, LPARAM) { ++received; });
    std::atomic<int> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                if (PostAppMessage(h, WM_APP_JOB_DONE, 0, i)) ++accepted;
        });
    UnregisterAppWindow(h);
    const int atUnregister = received.load();
    for (auto& th : threads) th.join();
    EXPECT_EQ(received.load(), accepted.load());
    EXPECT_EQ(received.load(), atUnregister);  // nothing delivered after the window went
}

}  // namespace
}  // namespace orv
