#include "recorder/MovieResource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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

// The file systems paths lie on as a watcher is told them: the real ones, but where a test
// has put a path onto another device number (a card unmounted under a standing mount point
// leaves its path on the file system below).
class FileSystems {
public:
    DeviceProbe Probe() {
        return [this](const std::string& path) -> std::optional<std::uint64_t> {
            const std::optional<std::uint64_t> real = PathDevice(path);
            std::lock_guard<std::mutex> guard(lock_);
            const auto moved = moved_.find(path);
            return real && moved != moved_.end() ? std::optional(moved->second) : real;
        };
    }
    // `device` for the path from now on; none, its real one again.
    void Put(const std::string& path, std::optional<std::uint64_t> device) {
        std::lock_guard<std::mutex> guard(lock_);
        if (device) moved_[path] = *device;
        else moved_.erase(path);
    }

private:
    std::mutex lock_;
    std::map<std::string, std::uint64_t> moved_;
};

// A source whose path stays but leaves the file system it lay on is lost, whatever it was
// chosen as (a card's mount point opened as a folder above all); it is back once its path lies
// on another file system than the one it fell back to: the card's own, or the card again under
// a new device number.
TEST(MovieResource, ASourceWhosePathLeavesItsFileSystemIsLostAndBackOnAnother) {
    const struct {
        const char* name;
        GoneWhen rule;
        bool file;
        bool newNumber;  // the card comes back under another device number
    } cases[] = {
        {"a card's mount point opened as a folder", GoneWhen::kPathGone, false, false},
        {"a card whose folders the mount point below happens to hold too", GoneWhen::kPathOrFoldersGone, false, true},
        {"a movie file on the card", GoneWhen::kPathGone, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir tmp;
        const std::string card = PathAppend(tmp.Path(), "card");
        fs::create_directories(PathAppend(card, "Normal"));
        const std::string source = c.file ? PathAppend(card, "movie.MOV") : card;
        if (c.file) std::ofstream(source) << "x";
        const std::optional<std::uint64_t> cardDevice = PathDevice(source);
        ASSERT_TRUE(cardDevice);
        const std::uint64_t below = *cardDevice + 1, again = *cardDevice + 2;
        FileSystems systems;
        MessageRecorder window;
        CMovieResource watcher(window.Handle(), systems.Probe());
        watcher.SetPath(source, c.rule);
        LetTheWatcherPoll(watcher);
        EXPECT_TRUE(window.Messages().empty());

        systems.Put(source, below);
        ASSERT_TRUE(window.WaitFor(1));
        EXPECT_TRUE(watcher.IsLost());
        EXPECT_FALSE(watcher.LostSource().IsPresent(systems.Probe()));
        // The path on the file system it fell back to is not the source back.
        LetTheWatcherPoll(watcher);
        EXPECT_EQ(window.Messages().size(), 1u);

        systems.Put(source, c.newNumber ? std::optional(again) : std::nullopt);
        ASSERT_TRUE(window.WaitFor(2));
        const std::vector<MessageRecorder::Message> got = window.Messages();
        EXPECT_EQ(got[0].msg, unsigned(WM_APP_SOURCE_LOST));
        EXPECT_EQ(got[1].msg, unsigned(WM_APP_SOURCE_BACK));
        EXPECT_TRUE(watcher.LostSource().IsPresent(systems.Probe()));
        // Watched again from where it is now.
        watcher.SetPath(source, c.rule);
        LetTheWatcherPoll(watcher);
        EXPECT_EQ(window.Messages().size(), 2u);
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
