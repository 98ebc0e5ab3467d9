// The hover-preview player on real movies: its flags through the transport, the volume,
// balance and seek rules, and one session at a time whose stale events are dropped.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/media/VideoFrameSink.h"
#include "playback/preview/MFSession.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using Flags = std::uint32_t;

// The popup's stand-in: it queues the posted session events and counts the pictures.
class PreviewWindow {
public:
    PreviewWindow() {
        hwnd_ = RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
            std::lock_guard lock(mutex_);
            if (msg == WM_USER_PREVIEW_EVENT) events_.push_back({w, l});
            cv_.notify_all();
        });
        SetVideoFrameSink(hwnd_, [this](const QImage&, const RECT&) {
            std::lock_guard lock(mutex_);
            ++frames_;
            cv_.notify_all();
        });
    }
    ~PreviewWindow() {
        SetVideoFrameSink(hwnd_, nullptr);
        UnregisterAppWindow(hwnd_);
    }
    HWND Hwnd() const { return hwnd_; }

    // Hands queued events to the session, as the popup does, until `done` holds; the
    // results of HandleEvent go to `results`. False on time-out.
    template <class Done>
    bool Pump(CMFSession& session, Done done, std::vector<int>* results = nullptr) {
        const auto until = std::chrono::steady_clock::now() + 15s;
        while (!done()) {
            std::pair<WPARAM, LPARAM> event{};
            {
                std::unique_lock lock(mutex_);
                // Short waits: `done` reads state this lock guards, so it is asked outside.
                if (!cv_.wait_for(lock, 20ms, [&] { return !events_.empty(); })) {
                    if (std::chrono::steady_clock::now() > until) return false;
                    continue;
                }
                event = events_.front();
                events_.pop_front();
            }
            EXPECT_EQ(event.first, WPARAM(&session));
            const int result = session.HandleEvent(event.second);
            if (results) results->push_back(result);
        }
        return true;
    }
    int Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<LPARAM> TakeKeys() {
        std::lock_guard lock(mutex_);
        std::vector<LPARAM> keys;
        for (const auto& e : events_) keys.push_back(e.second);
        events_.clear();
        return keys;
    }

private:
    HWND hwnd_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::pair<WPARAM, LPARAM>> events_;
    int frames_ = 0;
};

class PreviewSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fixtures::HaveFfmpeg()) return;
        dir_ = new fixtures::TempDir;
        fixtures::MovieSpec params;
        params.width = 320;
        params.height = 180;
        params.seconds = 2.0;
        params.audio = true;
        movie_ = dir_->Path() + "/AG__-220101-120000-000001M.MOV";
        if (!fixtures::MakeMovie(params, movie_, nullptr)) movie_.clear();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (movie_.empty()) GTEST_SKIP() << "ffmpeg is needed for the preview movies";
        session = new CMFSession(window.Hwnd());
    }
    void TearDown() override {
        if (session) session->Release();
    }

    static inline fixtures::TempDir* dir_ = nullptr;
    static inline std::string movie_;
    PreviewWindow window;
    CMFSession* session = nullptr;
};

TEST_F(PreviewSessionTest, PlaysTheVideoAloneIntoItsWindow) {
    ASSERT_EQ(session->OpenFile(movie_), S_OK);
    EXPECT_EQ(session->GetFlags(), CMFSession::kOpen | CMFSession::kHasVideo);
    EXPECT_EQ(session->GetDurationMs() / 100, 20u);
    ASSERT_EQ(session->Play(0), 1);
    int w = 0, h = 0;
    ASSERT_TRUE(window.Pump(*session, [&] { return window.Frames() > 0 && session->GetNativeVideoSize(&w, &h); }));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
    EXPECT_EQ(session->SetVideoPosition(nullptr, nullptr), 1);
    // Silent: no audio branch, so no volume or balance to set.
    EXPECT_EQ(session->SetVolume(500), 0);
    EXPECT_EQ(session->SetBalance(-1000), 0);
    EXPECT_EQ(session->SetVolume(1001), 0);
}

TEST_F(PreviewSessionTest, TransportSetsTheFlagsAndPlayDoesNotResumeAPause) {
    using S = CMFSession;
    const Flags base = S::kOpen | S::kHasVideo;
    EXPECT_EQ(session->Play(0), 0);  // nothing open
    ASSERT_EQ(session->OpenFile(movie_), S_OK);
    struct Step {
        const char* what;
        int (*run)(CMFSession&);
        int result;
        Flags flags;
    } steps[] = {
        {"play looping", [](CMFSession& s) { return s.Play(1); }, 1, base | S::kPlaying | S::kLoop},
        {"pause", [](CMFSession& s) { return s.TogglePause(); }, 1, base | S::kPlaying | S::kPaused | S::kLoop},
        {"play while paused", [](CMFSession& s) { return s.Play(0); }, 1, base | S::kPlaying | S::kPaused | S::kLoop},
        {"seek while paused", [](CMFSession& s) { return s.SeekToMs(500); }, 1, base | S::kPlaying | S::kPaused | S::kLoop},
        {"resume", [](CMFSession& s) { return s.TogglePause(); }, 1, base | S::kPlaying | S::kLoop},
        {"stop", [](CMFSession& s) { return s.Stop(); }, 1, base | S::kLoop},
        {"seek stopped", [](CMFSession& s) { return s.SkipForwardMs(200); }, 1, base | S::kLoop},
        {"close", [](CMFSession& s) { return s.Close(); }, 1, 0},
        {"seek closed", [](CMFSession& s) { return s.SeekTo(0); }, 1, 0},
        {"pause closed", [](CMFSession& s) { return s.TogglePause(); }, 0, 0},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(step.run(*session), step.result) << step.what;
        EXPECT_EQ(session->GetFlags(), step.flags) << step.what;
    }
}

TEST(PreviewSessionRules, SeeksStayInsideTheMovieAndBalanceLowersOneSide) {
    struct Seek {
        std::int64_t position;
        std::int64_t clamped;
    } seeks[] = {{-1, 0}, {0, 0}, {5000, 5000}, {20000000, 20000000}, {25000000, 20000000}};
    for (const Seek& s : seeks) EXPECT_EQ(CMFSession::ClampPosition(s.position, 20000000), s.clamped) << s.position;

    struct Levels {
        float volume, balance;
        std::vector<float> levels;
    } cases[] = {
        {1.0f, -1.0f, {1.0f, 0.0f, 1.0f, 0.0f}},
        {1.0f, 1.0f, {0.0f, 1.0f, 0.0f, 1.0f}},
        {0.5f, 0.0f, {0.5f, 0.5f, 0.5f, 0.5f}},
        {0.8f, -0.5f, {0.8f, 0.4f, 0.8f, 0.4f}},
    };
    for (const Levels& c : cases) {
        std::vector<float> levels(4);
        CMFSession::ChannelLevels(c.volume, c.balance, 4, levels.data());
        for (std::size_t i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(levels[i], c.levels[i]) << c.balance << " " << i;
    }
}

TEST_F(PreviewSessionTest, ASecondOpenAfterAFailedOneLeavesOneSessionAndDropsTheOldEvents) {
    EXPECT_NE(session->OpenFile(dir_->Path() + "/missing.MOV"), S_OK);
    EXPECT_EQ(session->GetFlags() & CMFSession::kOpen, 0u);
    EXPECT_EQ(session->SeekTo(0), 0);  // a session without an open movie refuses seeks
    const std::uint64_t failed = session->GetGeneration();

    ASSERT_EQ(session->OpenFile(movie_), S_OK);
    EXPECT_GT(session->GetGeneration(), failed);
    ASSERT_EQ(session->Play(0), 1);
    ASSERT_TRUE(window.Pump(*session, [&] { return window.Frames() > 0; }));

    // Events still queued when the movie closes belong to nothing and are dropped.
    session->Close();
    for (LPARAM key : window.TakeKeys()) EXPECT_EQ(session->HandleEvent(key), 0);
    EXPECT_EQ(session->HandleEvent(12345), 0);
    EXPECT_EQ(session->GetFlags(), 0u);
}

}  // namespace
}  // namespace orv
