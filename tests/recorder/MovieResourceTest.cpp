#include "recorder/MovieResource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fixtures/TempDir.h"
#include "platform/base/PathUtil.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A window that records the messages posted to it.
class MessageRecorder {
public:
    struct Message {
        unsigned msg;
        WPARAM wParam;
        LPARAM lParam;
    };

    MessageRecorder()
        : hwnd_(RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
              std::lock_guard<std::mutex> guard(lock_);
              messages_.push_back({msg, w, l});
              arrived_.notify_all();
          })) {}
    ~MessageRecorder() { UnregisterAppWindow(hwnd_); }

    HWND Handle() const { return hwnd_; }

    // Waits until `count` messages arrived; the bound only keeps a broken build from hanging.
    bool WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        return arrived_.wait_for(guard, 10s, [&] { return messages_.size() >= count; });
    }

    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> guard(lock_);
        return messages_;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
    HWND hwnd_;
};

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}

// Until the watcher has looked at the disk as it is now, to see that nothing more arrives.
void LetTheWatcherPoll(const CMovieResource& watcher) {
    const std::uint64_t polls = watcher.Polls();
    EXPECT_TRUE(Eventually([&] { return watcher.Polls() >= polls + 2; }));
}


TEST(MovieResource, PostsSourceLostOnceWhenTheFolderIsRemoved) {
    fixtures::TempDir tmp;
    const std::string source = PathAppend(tmp.Path(), "card");
    fs::create_directories(PathAppend(source, "Normal"));
    MessageRecorder window;
    CMovieResource watcher(window.Handle());
    watcher.SetPath(source, GoneWhen::kPathGone);
    LetTheWatcherPoll(watcher);
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_FALSE(watcher.IsLost());

    fs::remove_all(source);
    ASSERT_TRUE(window.WaitFor(1));
    LetTheWatcherPoll(watcher);
    const std::vector<MessageRecorder::Message> got = window.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, unsigned(WM_APP_SOURCE_LOST));
    EXPECT_EQ(got[0].wParam, 0u);
    EXPECT_EQ(got[0].lParam, 0);
    EXPECT_TRUE(watcher.IsLost());
    EXPECT_EQ(watcher.GetPath(), "");

    // A new source is watched again.
    watcher.ClearLost();
    const std::string file = PathAppend(tmp.Path(), "movie.MOV");
    fs::create_directories(tmp.Path());
    { std::ofstream(file) << "x"; }
    watcher.SetPath(file, GoneWhen::kPathGone);
    LetTheWatcherPoll(watcher);
    EXPECT_EQ(window.Messages().size(), 1u);
    fs::remove(file);
    ASSERT_TRUE(window.WaitFor(2));
    EXPECT_TRUE(watcher.IsLost());
}

// A card whose root goes, or whose own folders go while the root stays (a mount point left
// behind): lost once; back once when it returns, unless another source was set meanwhile.
TEST(MovieResource, NoticesACardGoneUnderItsMountPointAndItsReturn) {
    const struct {
        const char* name;
        bool rootStays;
        bool otherSourceSet;  // a new source is set while the card is away
    } cases[] = {
        {"root removed", false, false},
        {"folders gone, root stays", true, false},
        {"another source set meanwhile", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir tmp;
        const fs::path card = PathAppend(tmp.Path(), "card"), away = PathAppend(tmp.Path(), "away");
        for (const char* folder : {"Video", "_VData"}) fs::create_directories(card / folder);
        { std::ofstream((card / "KM3CA_download.url").string()) << "x"; }
        MessageRecorder window;
        CMovieResource watcher(window.Handle());
        watcher.SetPath(card.string(), GoneWhen::kPathOrFoldersGone);
        EXPECT_EQ(WatchedSource::Of(card.string(), GoneWhen::kPathOrFoldersGone).ownFolders.size(), 2u);
        // One folder of two going is no loss.
        fs::rename(card / "_VData", away);
        LetTheWatcherPoll(watcher);
        EXPECT_TRUE(window.Messages().empty());
        fs::rename(away, card / "_VData");

        if (c.rootStays) {
            fs::create_directories(away);
            for (const char* folder : {"Video", "_VData"}) fs::rename(card / folder, away / folder);
        } else {
            fs::rename(card, away);
        }
        ASSERT_TRUE(window.WaitFor(1));
        EXPECT_TRUE(watcher.IsLost());
        EXPECT_EQ(watcher.GetPath(), "");
        EXPECT_EQ(watcher.LostSource().path, card.string());
        const std::string other = PathAppend(tmp.Path(), "other");
        fs::create_directories(other);
        if (c.otherSourceSet) watcher.SetPath(other, GoneWhen::kPathGone);

        if (c.rootStays) {
            for (const char* folder : {"Video", "_VData"}) fs::rename(away / folder, card / folder);
        } else {
            fs::rename(away, card);
        }
        if (c.otherSourceSet) {
            LetTheWatcherPoll(watcher);
            EXPECT_EQ(window.Messages().size(), 1u);
            continue;
        }
        ASSERT_TRUE(window.WaitFor(2));
        LetTheWatcherPoll(watcher);
        const std::vector<MessageRecorder::Message> got = window.Messages();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].msg, unsigned(WM_APP_SOURCE_LOST));
        EXPECT_EQ(got[1].msg, unsigned(WM_APP_SOURCE_BACK));
        EXPECT_TRUE(watcher.IsLost());  // until the browser opens the source again
    }
}

TEST(MovieResource, NeedsAnOwnerAndAPath) {
    fixtures::TempDir tmp;
    MessageRecorder window;
    CMovieResource watcher;
    watcher.SetPath(PathAppend(tmp.Path(), "never-there"), GoneWhen::kPathGone);
    LetTheWatcherPoll(watcher);
    EXPECT_FALSE(watcher.IsLost());
    EXPECT_EQ(watcher.GetPath(), PathAppend(tmp.Path(), "never-there"));

    watcher.SetPath("", GoneWhen::kPathGone);
    watcher.SetOwner(window.Handle());
    LetTheWatcherPoll(watcher);
    EXPECT_TRUE(window.Messages().empty());

    watcher.SetPath(PathAppend(tmp.Path(), "never-there"), GoneWhen::kPathGone);
    ASSERT_TRUE(window.WaitFor(1));
}

TEST(MovieResource, StopsCleanlyWhileWatching) {
    fixtures::TempDir tmp;
    MessageRecorder window;
    for (int i = 0; i < 20; ++i) {
        auto watcher = std::make_unique<CMovieResource>(window.Handle());
        watcher->SetPath(i % 2 ? tmp.Path() : PathAppend(tmp.Path(), "gone"), GoneWhen::kPathGone);
        if (i % 3 == 0) std::this_thread::sleep_for(1ms);
        watcher.reset();
    }
    // A watcher whose owner window went away posts into nothing.
    HWND closed = RegisterAppWindow([](unsigned, WPARAM, LPARAM) {});
    UnregisterAppWindow(closed);
    CMovieResource orphan(closed);
    orphan.SetPath(PathAppend(tmp.Path(), "gone"), GoneWhen::kPathGone);
    EXPECT_TRUE(Eventually([&] { return orphan.IsLost(); }));
}

}  // namespace
}  // namespace orv
