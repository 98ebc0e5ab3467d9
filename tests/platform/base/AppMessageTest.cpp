#include "platform/base/AppMessage.h"

#include <atomic>
#include <memory>
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

// A payload that counts its own destruction.
struct Counted {
    explicit Counted(int* count) : count(count) {}
    ~Counted() { ++*count; }
    int* count;
};

// Whatever becomes of the message, the payload is freed exactly once: by the receiver that
// took it, or by the store when the post fails or the window goes away first.
TEST(OwnedPayloads, NeverLeakWhateverTheReceiverDoes) {
    struct Got {
        unsigned msg;
        WPARAM w;
        LPARAM l;
    };
    int freed = 0;
    std::vector<Got> got;
    const std::size_t pending = PendingPayloadCount();
    const HWND window = RegisterAppWindow([&](unsigned msg, WPARAM w, LPARAM l) { got.push_back({msg, w, l}); });

    // Delivered and taken: the receiver owns it, and a second take finds nothing. The
    // ticket travels in the parameter asked for, the other one carries the value given.
    ASSERT_TRUE(PostOwnedPayload(window, WM_APP_RUN_ASYNC, std::make_shared<Counted>(&freed)));
    ASSERT_TRUE(PostOwnedPayload(window, WM_USER_PREVIEW_EVENT, std::make_shared<Counted>(&freed), 77, TicketIn::LParam));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].w, 77u);
    for (PayloadTicket ticket : {PayloadTicket(got[0].w), PayloadTicket(got[1].l)}) {
        auto taken = std::static_pointer_cast<Counted>(TakePayload(ticket));
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(TakePayload(ticket), nullptr);
    }
    EXPECT_EQ(freed, 2);

    // Queued, but the window goes away before taking it: its going frees the payload.
    ASSERT_TRUE(PostOwnedPayload(window, WM_APP_RUN_ASYNC, std::make_shared<Counted>(&freed)));
    EXPECT_EQ(PendingPayloadCount(), pending + 1);
    UnregisterAppWindow(window);
    EXPECT_EQ(freed, 3);

    // Posted to a window that is gone: freed at once.
    EXPECT_FALSE(PostOwnedPayload(window, WM_APP_RUN_ASYNC, std::make_shared<Counted>(&freed)));
    EXPECT_EQ(freed, 4);
    EXPECT_EQ(PendingPayloadCount(), pending);
}

}  // namespace
}  // namespace orv
