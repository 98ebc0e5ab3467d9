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
#include "fixtures/WaitUntil.h"
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
        return arrived_.wait_for(guard, 60s, [&] { return messages_.size() >= count; });
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

// Whether `done` comes to hold within a minute.
bool Eventually(const std::function<bool()>& done) { return fixtures::WaitUntil(done, 60s, 10ms); }

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
// has put a path onto another device number (a card mounted on a folder, an automounted
// share, a file copied up on an overlay). A path is known by where its links lead, as the
// system resolves it.
class FileSystems {
public:
    DeviceProbe Probe() {
        return [this](const std::string& path) -> std::optional<std::uint64_t> {
            const std::optional<std::uint64_t> real = PathDevice(path);
            std::lock_guard<std::mutex> guard(lock_);
            const auto moved = moved_.find(Resolved(path));
            return real && moved != moved_.end() ? std::optional(moved->second) : real;
        };
    }
    // `device` for the path from now on.
    void Put(const std::string& path, std::uint64_t device) {
        std::lock_guard<std::mutex> guard(lock_);
        moved_[Resolved(path)] = device;
    }

private:
    static std::string Resolved(const std::string& path) {
        std::error_code ec;
        const fs::path resolved = fs::canonical(path, ec);
        return ec ? path : resolved.string();
    }

    std::mutex lock_;
    std::map<std::string, std::uint64_t> moved_;
};

// A source is lost when its folder (the source, or a file's folder) was a mount point and
// falls through to the file system of the folder above it, and back once it is a mount point
// again, the folder above it being the one above where its links lead. Its device number
// changing is no loss (an automounted share mounted again under a new number, a file copied
// up on an overlay), nor is a folder inside a plain folder renamed.
TEST(MovieResource, AMountPointIsLostWhenItFallsThroughAndBackWhenItIsOneAgain) {
    // The device the fake gives the source's folder: that of the folder above it, or one of
    // a file system of its own.
    enum Device { kAbove, kOwnA, kOwnB };
    struct Step {
        const char* what;
        Device folder;        // the source's folder from now on
        bool fileCopiedUp;    // a file source's own device changes
        bool renameInside;    // the folder inside the source is renamed
        unsigned posted;      // the message the step brings, 0 for none
    };
    const struct {
        const char* name;
        GoneWhen rule;
        bool file;
        bool throughLink;  // the source is a link, in a folder on another file system, to the card
        Device atSet;
        std::vector<Step> steps;
    } cases[] = {
        {"an automounted share chosen as a folder", GoneWhen::kPathGone, false, false, kOwnA,
         {{"mounted again after an idle expiry, under a new number", kOwnB, false, false, 0},
          {"unmounted under its mount point", kAbove, false, false, WM_APP_SOURCE_LOST},
          {"the folder below is not the share back", kAbove, false, false, 0},
          {"mounted again", kOwnA, false, false, WM_APP_SOURCE_BACK}}},
        {"a card whose folders the folder below holds too", GoneWhen::kPathOrFoldersGone, false, false, kOwnA,
         {{"unmounted under its mount point", kAbove, false, false, WM_APP_SOURCE_LOST},
          {"put back under a new number", kOwnB, false, false, WM_APP_SOURCE_BACK}}},
        {"a movie file at a card's root", GoneWhen::kPathGone, true, false, kOwnA,
         {{"unmounted under its mount point", kAbove, false, false, WM_APP_SOURCE_LOST},
          {"put back under a new number", kOwnB, false, false, WM_APP_SOURCE_BACK}}},
        {"a movie file on an overlay", GoneWhen::kPathGone, true, false, kAbove,
         {{"copied up", kAbove, true, false, 0}}},
        {"a card reached by a link from another file system", GoneWhen::kPathGone, false, true, kOwnA,
         {{"unmounted under its mount point", kAbove, false, false, WM_APP_SOURCE_LOST},
          {"mounted again", kOwnA, false, false, WM_APP_SOURCE_BACK}}},
        {"a plain folder", GoneWhen::kPathGone, false, false, kAbove,
         {{"its folder inside renamed", kAbove, false, true, 0},
          {"something mounted on it after it was set", kOwnA, false, false, 0},
          {"and unmounted again", kAbove, false, false, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir tmp;
        const std::string media = PathAppend(tmp.Path(), "media"), folder = PathAppend(media, "card");
        fs::create_directories(PathAppend(folder, "Normal"));
        std::string source = c.file ? PathAppend(folder, "movie.MOV") : folder;
        if (c.file) std::ofstream(source) << "x";
        const std::optional<std::uint64_t> above = PathDevice(media);
        ASSERT_TRUE(above);
        const auto number = [&](Device d) { return *above + std::uint64_t(d); };
        FileSystems systems;
        systems.Put(folder, number(c.atSet));
        if (c.throughLink) {
            const std::string links = PathAppend(tmp.Path(), "links");
            fs::create_directories(links);
            source = PathAppend(links, "card");
            fs::create_directory_symlink(folder, source);
            systems.Put(links, number(kOwnB) + 2);
        }
        MessageRecorder window;
        CMovieResource watcher(window.Handle(), systems.Probe());
        watcher.SetPath(source, c.rule);
        LetTheWatcherPoll(watcher);
        EXPECT_TRUE(window.Messages().empty());

        std::size_t posted = 0;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.what);
            systems.Put(folder, number(step.folder));
            if (step.fileCopiedUp) systems.Put(source, number(kOwnB) + 1);
            if (step.renameInside) fs::rename(PathAppend(folder, "Normal"), PathAppend(folder, "Trip"));
            if (step.posted != 0) {
                ASSERT_TRUE(window.WaitFor(++posted));
                EXPECT_EQ(window.Messages().back().msg, step.posted);
            }
            LetTheWatcherPoll(watcher);
            EXPECT_EQ(window.Messages().size(), posted);
            EXPECT_EQ(watcher.IsLost(), posted > 0);
        }
    }
}

// The same path set again while the watcher looks at the source set before (a source opened
// again): what the look finds is of the old source, and nothing is reported of the new one.
TEST(MovieResource, ALookAtTheSourceBeforeTellsNothingOfTheOneSetSince) {
    fixtures::TempDir tmp;
    const std::string source = PathAppend(tmp.Path(), "folder");
    fs::create_directories(source);
    // The watcher thread's look is held in the probe and made to find the path gone.
    std::mutex lock;
    std::condition_variable changed;
    bool hold = false, held = false, release = false;
    const std::thread::id tester = std::this_thread::get_id();
    const DeviceProbe probe = [&](const std::string& path) -> std::optional<std::uint64_t> {
        std::unique_lock<std::mutex> guard(lock);
        if (std::this_thread::get_id() == tester || !hold) return PathDevice(path);
        hold = false;
        held = true;
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
        return std::nullopt;
    };
    const auto letGo = [&] {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
        changed.notify_all();
    };
    MessageRecorder window;
    CMovieResource watcher(window.Handle(), probe);
    watcher.SetPath(source, GoneWhen::kPathGone);
    LetTheWatcherPoll(watcher);
    {
        std::unique_lock<std::mutex> guard(lock);
        hold = true;
        const bool looking = changed.wait_for(guard, 60s, [&] { return held; });
        guard.unlock();
        if (!looking) letGo();
        ASSERT_TRUE(looking);
    }
    watcher.SetPath(source, GoneWhen::kPathGone);
    letGo();
    LetTheWatcherPoll(watcher);
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_FALSE(watcher.IsLost());
    EXPECT_EQ(watcher.GetPath(), source);
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
