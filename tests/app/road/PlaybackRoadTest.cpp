// The frame's one clamp, and the playback road driven as the window drives it, with a fake
// host, a fake browser and a fake listener in place of the window, its list and its panes: no
// widget is made. The channels run on a fake engine; the rows are a folder of stub recordings
// with data files.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/commands/AppMessages.h"
#include "app/road/PlaybackRoad.h"
#include "platform/base/AppMessage.h"
#include "filer/RecordingBrowser.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/TempDir.h"
#include "playback/ChannelData.h"
#include "playback/ChannelFixture.h"
#include "recorder/FolderScan.h"
#include "recorder/RecordingName.h"
#include "ui/CommonUtil.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

TEST(FrameIndex, EveryRequestEndsInsideItsRangeAndInTheType) {
    struct Case {
        const char* name;
        std::int64_t frame, first, last;
        FrameIndex expected;
    };
    const Case cases[] = {
        {"inside", 250, 0, 499, 250},
        {"the ends", 499, 0, 499, 499},
        {"below", -5, 0, 499, 0},
        {"above", 500, 0, 499, 499},
        {"an empty range gives its first frame", 7, 0, -1, 0},
        {"an inverted range gives its first frame", 7, 12, 3, 12},
        {"a message value beyond 32 bits", 3'000'000'000LL, 0, 499, 499},
        {"the widest message values", kInt64Max, 0, kInt64Max, FrameIndex(kInt32Max)},
        {"the lowest message value", kInt64Min, kInt64Min, 10, FrameIndex(kInt32Min)},
        {"a range beyond the type", 5'000'000'000LL, 4'000'000'000LL, 6'000'000'000LL, FrameIndex(kInt32Max)},
    };
    for (const Case& c : cases) EXPECT_EQ(ClampFrame(c.frame, c.first, c.last), c.expected) << c.name;

    // The slider and the seek take their frames through the same clamp, whatever a message
    // carried.
    struct Slider {
        std::int64_t frame;
        int min, max;
        FrameIndex expected;
    };
    for (const Slider& s : {Slider{kInt64Max, 0, 500, 499}, {kInt64Min, 0, 500, 0}, {kInt64Max, 0, 0, 0},
                            {-1, 12, 500, 12}, {kInt64Max, 0, int(kInt32Max), FrameIndex(kInt32Max - 1)}})
        EXPECT_EQ(ClampToSlider(s.frame, s.min, s.max), s.expected) << s.frame << " in " << s.min << ".." << s.max;
    for (const std::int64_t frame : {kInt64Max, kInt64Min, std::int64_t(-1), std::int64_t(3'000'000'000)}) {
        const SeekFrames got = ComputeSeekFrames(frame, 1000, 1, true, 0);
        EXPECT_TRUE(got.target >= 0 && got.target <= 980) << frame << " target " << got.target;
        EXPECT_TRUE(got.shown >= 0 && got.shown <= 999) << frame << " shown " << got.shown;
    }
}

// A window's handle that keeps what is posted to it, from any thread.
class PostBox {
public:
    struct Posted {
        unsigned msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    PostBox() {
        hwnd_ = RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
            std::lock_guard lock(mutex_);
            posted_.push_back({msg, w, l});
        });
    }
    ~PostBox() { UnregisterAppWindow(hwnd_); }
    PostBox(const PostBox&) = delete;
    PostBox& operator=(const PostBox&) = delete;

    HWND Handle() const { return hwnd_; }
    std::vector<Posted> Taken() {
        std::lock_guard lock(mutex_);
        return posted_;
    }

private:
    HWND hwnd_ = 0;
    std::mutex mutex_;
    std::vector<Posted> posted_;
};

// A window as the road sees it: it records what it is asked. Its own window takes what the
// loader posts.
class FakeRoadHost : public IPlaybackRoadHost {
public:
    HWND RoadWindow() const override { return window.Handle(); }
    void SetRoadTimer(unsigned id, unsigned ms) override { timers[id] = ms; }
    void KillRoadTimer(unsigned id) override { timers.erase(id); }
    // As the window's cursor: ended more often than begun, it stays ended.
    void ShowWaitCursor(bool on) override { waitCursors = on ? waitCursors + 1 : std::max(waitCursors - 1, 0); }
    void ShowError(int textId) override { errors.push_back(textId); }
    void EnableControls(RoadControls which) override { controls.push_back(which); }
    void RestoreLayout() override { ++layouts; }
    void LeaveLargeVideo() override {}
    void UpdateMapPane() override { ++mapPanes; }
    bool MapPageReady() const override { return pageReady; }
    bool MapPageLive() override { return pageReady; }
    void PaintVideo(bool black) override { black ? ++blackPaints : ++paints; }
    bool SeekDragging() const override { return dragging; }
    void DropSeekDrag() override { dragging = false; }

    bool Armed(unsigned id) const { return timers.count(id) != 0; }

    PostBox window;
    std::map<unsigned, unsigned> timers;
    std::vector<int> errors;
    std::vector<RoadControls> controls;
    int waitCursors = 0, layouts = 0, mapPanes = 0, paints = 0, blackPaints = 0;
    bool pageReady = true;
    bool dragging = false;
};

// The panes as the road sees them: what it tells them, in order.
class FakeListener : public IPlaybackListener {
public:
    void OnRecordingCleared(unsigned parts) override { cleared.push_back(parts); }
    void OnRecordingOpened(const RecordingOpened& r) override { opened.push_back(r); }
    void OnFrameShown(const FrameShown& f) override { frames.push_back(f); }
    void OnEventsFound(const EventsFound& e) override { events.push_back(e); }
    void OnTransportShown(const TransportShown& t) override { transport.push_back(t); }
    void OnTraceFile(bool found) override { traceFiles.push_back(found); }

    void Clear() {
        cleared.clear();
        opened.clear();
        frames.clear();
        events.clear();
        transport.clear();
        traceFiles.clear();
    }
    // The last frame told with its pane values.
    const FrameShown* LastFullFrame() const {
        for (auto it = frames.rbegin(); it != frames.rend(); ++it)
            if (it->values) return &*it;
        return nullptr;
    }
    std::optional<bool> LastLook() const {
        for (auto it = transport.rbegin(); it != transport.rend(); ++it)
            if (it->playing) return it->playing;
        return std::nullopt;
    }

    std::vector<unsigned> cleared;
    std::vector<RecordingOpened> opened;
    std::vector<FrameShown> frames;
    std::vector<EventsFound> events;
    std::vector<TransportShown> transport;
    std::vector<bool> traceFiles;
};

// The fake engine with channel 1 reading the recording's data file as the real one does,
// a movie of kFrames frames of 100 ms, and the speed the channels are set to.
class DataEngine : public playback_test::FakeEngine {
public:
    static constexpr int kFrames = 300;
    DataEngine() { results["GetFrameCount"] = kFrames; }

    int OpenMovie(sPLAYCHANNEL& c, const std::string& path) override {
        const int opened = FakeEngine::OpenMovie(c, path);
        c.frameInterval = 100.0f;
        return opened;
    }
    int LoadRecorderData(sPLAYCHANNEL& c, const std::string& path) override {
        FakeEngine::LoadRecorderData(c, path);
        if (&c != &g_aPlayChannel[0] || !LoadChannelData(c, path)) return 1;
        std::lock_guard slot(c.slotLock);
        sMOVIESCANNER& staging = c.scanners[kStagingScanner];
        staging.frameInterval = c.frameInterval;
        if (!staging.BuildFrameTable()) staging.Reset();
        return 1;
    }
    int SetPlaybackSpeed(sPLAYCHANNEL& c, int step) override {
        c.speedStep = step;
        return FakeEngine::SetPlaybackSpeed(c, step);
    }
    // Stops and pauses a channel's player refuses (0) before it takes one again; kAlways
    // refuses every one.
    static constexpr int kAlways = -1;
    std::array<int, kChannelCount> stopRefusals{}, pauseRefusals{};
    int StopMovie(sPLAYCHANNEL& c) override {
        const int taken = FakeEngine::StopMovie(c);  // logged either way
        return Refused(stopRefusals, c) ? 0 : taken;
    }
    int PauseMovie(sPLAYCHANNEL& c) override {
        const int taken = FakeEngine::PauseMovie(c);
        return Refused(pauseRefusals, c) ? 0 : taken;
    }
    // As a real channel: a player only while a movie is open.
    bool HasPlayer(const sPLAYCHANNEL& c) const override { return player && c.playState != PLAY_CLOSED; }
    void SetCurrentFrame(std::int64_t frame) { results["GetCurrentFrame"] = frame; }
    // The volume a channel (1 or 2) was set to last; -1 before any.
    int LastVolume(int channel) const {
        const std::string prefix = "SetVolume#" + std::to_string(channel) + "(";
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->rfind(prefix, 0) == 0) return std::stoi(it->substr(prefix.size()));
        return -1;
    }
    // Whether `call` was logged ("SeekToFrame#1(150)"), and how many calls begin with `prefix`.
    bool Called(const std::string& call) const {
        for (const std::string& c : calls)
            if (c == call) return true;
        return false;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const std::string& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }

private:
    static bool Refused(std::array<int, kChannelCount>& refusals, const sPLAYCHANNEL& c) {
        int& left = refusals[std::size_t(Number(c) - 1)];
        if (left == 0) return false;
        if (left > 0) --left;
        return true;
    }
};

// The browser as the road sees it: one folder's rows, a selection reported to the road as the
// list reports it, and the requests it keeps for the road.
class FakeBrowser : public IRecordingBrowser, public IFileRows {
public:
    explicit FakeBrowser(CPlaybackRoad*& road) : road_(road) {}

    int RowCount() const override { return int(rows.size()); }
    std::optional<sFILEENTRY> EntryAt(int row) const override {
        if (row < 0 || row >= RowCount()) return std::nullopt;
        return rows[std::size_t(row)];
    }
    std::vector<sFILEENTRY> CopyOfRows() const override { return rows; }
    std::vector<sFILEENTRY> CopyOfFolder() const override { return rows; }
    bool SetEntryQuality(int row, const std::string& path, int quality) override {
        if (!Shows(row, path)) return false;
        rows[std::size_t(row)].sortKey2 = quality;
        return true;
    }
    bool SetEntryStartTime(int row, const std::string& path, const SYSTEMTIME& start, float fps) override {
        // The real list takes "hMutexCache", which comes before the channels' locks: asked
        // from another thread, they are free unless the road holds one around the call (no
        // data thread runs at this moment of an open).
        startTimeUnderChannelLock = std::async(std::launch::async, [] {
                                        bool held = false;
                                        for (sPLAYCHANNEL& c : g_aPlayChannel) {
                                            if (c.slotLock.try_lock()) c.slotLock.unlock();
                                            else held = true;
                                        }
                                        return held;
                                    }).get();
        if (!Shows(row, path)) return false;
        rows[std::size_t(row)].startTime = start;
        rows[std::size_t(row)].sortKey3 = fps;
        return true;
    }
    void MarkJoined(const std::vector<sFILEENTRY>&, bool) override {}
    void RemoveEntries(const std::vector<sFILEENTRY>&) override {}

    IFileRows* Rows() override { return this; }
    void SetCurrentRow(int row) override { currentRow = row; }
    void MakeOnlyRowCurrent(int row) override {
        currentRow = row;
        if (row < 0 || row >= RowCount()) return;
        if (row == road_->CurrentRow() && !road_->TakeReselectRequest()) return;
        road_->OnFileRowSelected(row, rows[std::size_t(row)]);
    }
    void SelectFileRow(int row, BOOL cont) override {
        continuing = cont;
        MakeOnlyRowCurrent(row);
    }
    BOOL TakeContinue() override { return std::exchange(continuing, FALSE); }
    BOOL TakeRefilter() override { return FALSE; }
    SourceKind GetSourceKind() const override { return SOURCE_FOLDER; }
    const std::string& GetSourcePath() const override { return source; }
    FolderTreeItem SelectedFolder() const override { return kFolderTreeRoot; }
    FolderTreeItem NextFolder(FolderTreeItem) const override { return kFolderTreeRoot; }
    void SelectFolder(FolderTreeItem) override {}
    BOOL OpenFolder(FolderTreeItem) override { return FALSE; }

    std::vector<sFILEENTRY> rows;
    std::string source;
    int currentRow = -1;
    BOOL continuing = FALSE;
    std::optional<bool> startTimeUnderChannelLock;

private:
    bool Shows(int row, const std::string& path) const { return row >= 0 && row < RowCount() && rows[std::size_t(row)].path == path; }

    CPlaybackRoad*& road_;
};

class PlaybackRoadTest : public ::testing::Test {
protected:
    static constexpr int kRecords = 40;
    static constexpr int kEventRecord = 20;  // a sudden acceleration, 1.5 g along x

    void SetUp() override {
        g_szStartDir = settings_.Path();
        playback_test::StartChannels(engine_);
        for (sPLAYCHANNEL& channel : g_aPlayChannel) channel.speedStep = 1;
        fixtures::CardBuilder card(folder_.Path());
        for (int serial = 1; serial <= 3; ++serial) {
            fixtures::RecordingSpec recording;
            recording.layout = -1;
            recording.serial = serial;
            recording.time = "12000" + std::to_string(serial);
            fixtures::DataBlock data;
            for (int k = 0; k < kRecords; ++k) {
                fixtures::RawRecord record;
                record.accelY = fixtures::SignedField(10 * k, 5);
                if (k == kEventRecord) {
                    record.accelX = "+1500";
                    record.axis = 'X';
                }
                data.records.push_back(record);
            }
            recording.data = data;
            paths_.push_back(card.AddRecording(recording));
        }
        road_ = std::make_unique<CPlaybackRoad>(
            host_, PlaybackLends{browser_, mutexCache_, mutexCpSet_, detectors_, views_});
        roadRef_ = road_.get();
        road_->Connect(listener_);
        browser_.source = folder_.Path();
        for (const std::string& path : paths_) ASSERT_TRUE(AddMovieEntry(path, browser_.rows)) << path;
    }
    void TearDown() override {
        road_->JoinDataThreads();
        road_.reset();
        playback_test::EndChannels();
        g_szStartDir.clear();
    }

    // The list selects `row` as a click would, and the road opens it: the open delay, both
    // players ready, the data loaded and posted back.
    void OpenRow(int row) {
        browser_.SelectFileRow(row, FALSE);
        ASSERT_TRUE(host_.Armed(TIMER_OPEN_DELAY));
        road_->OnOpenDelay();
        for (int channel = 0; channel < kChannelCount; ++channel) road_->OnPlayerReady(channel, 0);
        ASSERT_TRUE(fixtures::RunUntil([&] { return DataLoadedPost().has_value(); }, 20s));
        const auto post = *DataLoadedPost();
        road_->OnMovieDataLoaded(post.wParam, post.lParam);
        ASSERT_TRUE(road_->DataLoaded());
    }
    std::optional<PostBox::Posted> DataLoadedPost() {
        for (const PostBox::Posted& p : host_.window.Taken())
            if (p.msg == WM_APP_DATA_LOADED && IsCurrentDataLoad(p.wParam, road_->SelectionSerial())) return p;
        return std::nullopt;
    }
    PaneValues ValuesAt(int frame) {
        const ChannelsLock lock;
        return PaneValuesOf(GetFrameRecord(lock, frame), frame);
    }

    fixtures::TempDir settings_;
    fixtures::TempDir folder_;
    std::vector<std::string> paths_;
    DataEngine engine_;
    FakeRoadHost host_;
    FakeListener listener_;
    NamedMutexHandle mutexCache_ = OpenNamedMutex("hMutexCache");
    NamedMutexHandle mutexCpSet_ = OpenNamedMutex("hMutexCpSet");
    EventDetectors detectors_ = MakeEventDetectors();
    sVIEWRECORD views_[2]{};
    std::unique_ptr<CPlaybackRoad> road_;
    CPlaybackRoad* roadRef_ = nullptr;
    FakeBrowser browser_{roadRef_};
};

TEST_F(PlaybackRoadTest, ASelectedRowOpensAndTheListenersAreToldItsRecordingAndFrames) {
    browser_.SelectFileRow(1, FALSE);
    // Armed: busy behind the wait cursor, the controls off, the last recording's values gone.
    EXPECT_EQ(road_->CurrentRow(), 1);
    EXPECT_TRUE(road_->Busy());
    EXPECT_EQ(host_.waitCursors, 1);
    EXPECT_TRUE(host_.Armed(TIMER_OPEN_DELAY) && host_.Armed(TIMER_BUSY_TIMEOUT));
    ASSERT_FALSE(host_.controls.empty());
    EXPECT_EQ(host_.controls.back(), RoadControls::kNone);
    EXPECT_EQ(listener_.cleared, (std::vector<unsigned>{kPartData, kPartScale | kPartValues}));
    ASSERT_EQ(listener_.frames.size(), 1u);
    EXPECT_EQ(listener_.frames[0].frame, 0);
    EXPECT_FALSE(listener_.frames[0].values);

    // The delay ends: both channels take the movie; nothing plays before the players are ready.
    road_->OnOpenDelay();
    EXPECT_TRUE(engine_.Called("OpenMovie#1(" + paths_[1] + ")"));
    ASSERT_EQ(listener_.opened.size(), 1u);
    EXPECT_EQ(listener_.opened[0].stage, RecordingOpened::kOpening);
    EXPECT_EQ(listener_.opened[0].path, paths_[1]);
    // A notice of another open's player is dropped; the front alone waits for the rear.
    road_->OnPlayerReady(0, 7);
    EXPECT_EQ(listener_.opened.size(), 1u);
    road_->OnPlayerReady(0, 0);
    EXPECT_TRUE(host_.Armed(TIMER_REAR_READY));
    road_->OnPlayerReady(1, 0);
    EXPECT_FALSE(host_.Armed(TIMER_REAR_READY));
    ASSERT_EQ(listener_.opened.size(), 2u);
    EXPECT_EQ(listener_.opened[1].stage, RecordingOpened::kPlayersReady);
    EXPECT_EQ(listener_.opened[1].frameCount, DataEngine::kFrames);

    // The loader reads the data and posts to the window, which hands it back to the road.
    ASSERT_TRUE(fixtures::RunUntil([&] { return DataLoadedPost().has_value(); }, 20s));
    const auto post = *DataLoadedPost();
    listener_.Clear();
    road_->OnMovieDataLoaded(post.wParam, post.lParam);
    road_->OnMovieDataLoaded(post.wParam, post.lParam);  // once per selection
    EXPECT_TRUE(road_->DataLoaded());
    EXPECT_FALSE(road_->Busy());
    EXPECT_EQ(host_.waitCursors, 0);
    EXPECT_TRUE(host_.Armed(TIMER_PLAYBACK));
    ASSERT_EQ(listener_.opened.size(), 1u);
    const RecordingOpened& in = listener_.opened[0];
    EXPECT_EQ(in.stage, RecordingOpened::kDataIn);
    EXPECT_EQ(in.frameCount, DataEngine::kFrames);
    EXPECT_FLOAT_EQ(in.frameInterval, 100.0f);
    EXPECT_EQ(in.title, MakeListDisplayName(paths_[1]));
    EXPECT_EQ(browser_.startTimeUnderChannelLock, false);
    ASSERT_TRUE(in.data.has_value());
    EXPECT_NEAR(in.data->largestAxisG[0], 1.5, 1e-9);
    // The event at record 20 reaches the map as a marker at its frame.
    ASSERT_EQ(listener_.events.size(), 1u);
    ASSERT_EQ(listener_.events[0].markers.size(), 1u);
    EXPECT_EQ(listener_.events[0].markers[0].frame, kEventRecord);
    EXPECT_EQ(listener_.LastLook(), false);  // opened stopped: the play button says "play"
    // Playback begins at frame 0, every pane told that frame's values.
    const FrameShown* shown = listener_.LastFullFrame();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->frame, 0);
    EXPECT_EQ(shown->values->info.dAccelY, ValuesAt(0).info.dAccelY);
    EXPECT_EQ(road_->SeekPos(), 0);
    EXPECT_EQ(road_->SeekMax(), DataEngine::kFrames);

    // Each tick shows the frame on screen once it moves on.
    road_->OnPlayPause();
    ASSERT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
    for (const int frame : {10, 11, 11, 30}) {
        engine_.SetCurrentFrame(frame);
        road_->OnPlaybackTick();
        EXPECT_EQ(listener_.LastFullFrame()->frame, frame);
        EXPECT_EQ(listener_.LastFullFrame()->values->info.dAccelY, ValuesAt(frame).info.dAccelY) << frame;
        EXPECT_EQ(listener_.LastFullFrame()->values->map.nRelJpgNum, frame);
    }
    EXPECT_TRUE(road_->HasPosition());

    // A listener connected twice hears each notice once.
    FakeListener late;
    road_->Connect(late);
    road_->Connect(late);
    engine_.SetCurrentFrame(40);
    road_->OnPlaybackTick();
    EXPECT_EQ(late.frames.size(), 1u);
    EXPECT_EQ(listener_.LastFullFrame()->frame, 40);
}

TEST_F(PlaybackRoadTest, ASliderReleaseIsOneCallThatMovesTheChannelsAndTellsTheFrame) {
    OpenRow(0);
    road_->OnPlayPause();
    ASSERT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
    struct Case {
        const char* name;
        std::int64_t release;  // the position the slider's message carries
        int target;            // where the channels go: at most 20 frames short of the end
        int shown;             // what the slider and the panes show
    };
    const Case cases[] = {
        {"inside", 150, 150, 150},
        {"the last frame", DataEngine::kFrames - 1, DataEngine::kFrames - 20, DataEngine::kFrames - 1},
        {"beyond the end", kInt64Max, DataEngine::kFrames - 20, DataEngine::kFrames - 1},
        {"below the start", -5, 0, 0},
    };
    for (const Case& c : cases) {
        // The press silences and pauses; the drag shows its frame without moving the channels.
        road_->OnSliderDown(RoadSlider::kSeek, 10, false);
        EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PAUSED) << c.name;
        engine_.calls.clear();
        listener_.Clear();
        road_->OnSliderDrag(RoadSlider::kSeek, 120);
        EXPECT_EQ(engine_.Count("SeekToFrame"), 0) << c.name;
        ASSERT_NE(listener_.LastFullFrame(), nullptr);
        EXPECT_EQ(listener_.LastFullFrame()->frame, 120) << c.name;

        // The release: the channels go to the target and play on, the sound comes back, the
        // panes show the frame asked for.
        engine_.calls.clear();
        listener_.Clear();
        road_->OnSliderUp(RoadSlider::kSeek, c.release);
        EXPECT_TRUE(engine_.Called("SeekToFrame#1(" + std::to_string(c.target) + ")")) << c.name;
        EXPECT_TRUE(engine_.Called("SetVolume#1(65535)")) << c.name;
        EXPECT_TRUE(engine_.Called("SetVolume#2(0)")) << c.name;
        EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING) << c.name;
        ASSERT_NE(listener_.LastFullFrame(), nullptr) << c.name;
        EXPECT_EQ(listener_.LastFullFrame()->frame, c.shown) << c.name;
        EXPECT_EQ(road_->SeekPos(), c.shown) << c.name;
    }

    // The volume slider sets the volume, which the listeners keep; a click beside the seek
    // slider's thumb seeks at the press and not again at the release; nothing while busy.
    listener_.Clear();
    road_->OnSliderUp(RoadSlider::kVolume, 70000);
    EXPECT_EQ(road_->Volume(), CPlaybackRoad::kMaxVolume);
    road_->OnSliderDrag(RoadSlider::kVolume, 1234);
    EXPECT_EQ(road_->Volume(), 1234);
    ASSERT_FALSE(listener_.transport.empty());
    EXPECT_EQ(listener_.transport.back().volume, 1234);
    engine_.calls.clear();
    road_->OnSliderDown(RoadSlider::kSeek, 60, true);
    EXPECT_TRUE(engine_.Called("SeekToFrame#1(60)"));
    engine_.calls.clear();
    road_->OnSliderUp(RoadSlider::kSeek, 60);
    EXPECT_EQ(engine_.Count("SeekToFrame"), 0);
    browser_.SelectFileRow(1, FALSE);
    ASSERT_TRUE(road_->Busy());
    engine_.calls.clear();
    road_->OnSliderUp(RoadSlider::kSeek, 80);
    road_->OnSliderDrag(RoadSlider::kVolume, 99);
    EXPECT_TRUE(engine_.calls.empty());
    EXPECT_EQ(road_->Volume(), 1234);
}

TEST_F(PlaybackRoadTest, PlayAndPauseFollowTheChannelsAndShowTheirLook) {
    OpenRow(0);
    struct Step {
        const char* name;
        PlayState before, after;
        bool look;
    };
    for (const Step& s : {Step{"play", PLAY_STOPPED, PLAY_PLAYING, true}, {"pause", PLAY_PLAYING, PLAY_PAUSED, false},
                          {"play again", PLAY_PAUSED, PLAY_PLAYING, true}}) {
        ASSERT_EQ(g_aPlayChannel[0].playState, s.before) << s.name;
        listener_.Clear();
        engine_.SetCurrentFrame(25);
        road_->OnPlayPause();
        EXPECT_EQ(g_aPlayChannel[0].playState, s.after) << s.name;
        EXPECT_EQ(g_aPlayChannel[1].playState, s.after) << s.name;
        EXPECT_EQ(listener_.LastLook(), s.look) << s.name;
        bool status = false;
        for (const TransportShown& t : listener_.transport) status = status || t.status == s.after;
        EXPECT_TRUE(status) << s.name;
    }
    // The pause settled on the frame whose picture stays: the panes were told it.
    listener_.Clear();
    engine_.SetCurrentFrame(33);
    road_->OnPlayPause();
    ASSERT_NE(listener_.LastFullFrame(), nullptr);
    EXPECT_EQ(listener_.LastFullFrame()->frame, 33);
    // While paused the tick follows a picture that changes, unless the thumb is dragged.
    for (const bool dragging : {true, false}) {
        host_.dragging = dragging;
        listener_.Clear();
        engine_.SetCurrentFrame(dragging ? 34 : 35);
        road_->OnPlaybackTick();
        EXPECT_EQ(listener_.LastFullFrame() != nullptr, !dragging);
    }
    // Before the data of the next selection is in, the command does nothing.
    browser_.SelectFileRow(2, FALSE);
    road_->OnPlayPause();
    EXPECT_NE(g_aPlayChannel[0].playState, PLAY_PLAYING);
}

// Whichever player refuses a stop, the channels and the play button agree afterwards: the
// front leads, no rear plays on alone, the button shows what the front does, and a front that
// plays on is heard. The next play plays both, a rear closed by the stop opened again at the
// front's frame.
TEST_F(PlaybackRoadTest, AfterAStopBothChannelsAndThePlayButtonAgree) {
    constexpr int kAlways = DataEngine::kAlways;
    constexpr int kFront = 42;  // where the front stands when played again
    struct Case {
        const char* name;
        int frontStops, rearStops, rearPauses;  // refused before one is taken
        PlayState front, rear;
    };
    const Case cases[] = {
        {"no refusal", 0, 0, 0, PLAY_STOPPED, PLAY_STOPPED},
        {"the front refuses once", 1, 0, 0, PLAY_STOPPED, PLAY_STOPPED},
        {"the front refuses: both play on", kAlways, 0, 0, PLAY_PLAYING, PLAY_PLAYING},
        {"the rear refuses once", 0, 1, 0, PLAY_STOPPED, PLAY_STOPPED},
        {"the rear refuses the stop: paused", 0, kAlways, 0, PLAY_STOPPED, PLAY_PAUSED},
        {"the rear refuses the stop and the pause: closed", 0, kAlways, kAlways, PLAY_STOPPED, PLAY_CLOSED},
        {"both refuse", kAlways, kAlways, kAlways, PLAY_PLAYING, PLAY_PLAYING},
    };
    engine_.results["GetCurrentFrame#2"] = 0;  // a rear opened again stands at its start
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenRow(row++ % 3);
        engine_.SetCurrentFrame(1);
        road_->OnPlayPause();
        ASSERT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
        ASSERT_EQ(g_aPlayChannel[1].playState, PLAY_PLAYING);
        engine_.stopRefusals = {c.frontStops, c.rearStops};
        engine_.pauseRefusals = {0, c.rearPauses};
        listener_.Clear();
        road_->OnStop();
        engine_.stopRefusals = {};
        engine_.pauseRefusals = {};
        EXPECT_EQ(g_aPlayChannel[0].playState, c.front);
        EXPECT_EQ(g_aPlayChannel[1].playState, c.rear);
        EXPECT_EQ(listener_.LastLook(), c.front == PLAY_PLAYING);
        std::optional<PlayState> status;
        for (const TransportShown& t : listener_.transport)
            if (t.status) status = t.status;
        EXPECT_EQ(status, c.front);
        EXPECT_EQ(engine_.LastVolume(1), c.front == PLAY_PLAYING ? CPlaybackRoad::kMaxVolume : 0);
        EXPECT_EQ(engine_.LastVolume(2), 0);
        if (c.front == PLAY_PLAYING) continue;

        // Played again, the same recording: a closed rear opens again and, once its player is
        // ready, is brought to the front's frame and plays with it.
        engine_.calls.clear();
        engine_.SetCurrentFrame(kFront);
        road_->OnPlayPause();
        road_->OnPlayerReady(1, 0);
        EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
        EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_PLAYING);
        const bool reopened = c.rear == PLAY_CLOSED;
        EXPECT_EQ(engine_.Count("OpenMovie#2"), reopened ? 1 : 0);
        EXPECT_EQ(engine_.Count("OpenMovie#1"), 0);
        if (reopened) {
            EXPECT_TRUE(engine_.Called("SeekToFrame#2(" + std::to_string(kFront) + ")"));
            EXPECT_EQ(engine_.LastVolume(2), 0);
        }
    }
    // A rear opened again whose player never gets ready is closed again; the front plays on.
    OpenRow(road_->CurrentRow() == 0 ? 1 : 0);
    road_->OnPlayPause();
    engine_.stopRefusals = {0, kAlways};
    engine_.pauseRefusals = {0, kAlways};
    road_->OnStop();
    engine_.stopRefusals = {};
    engine_.pauseRefusals = {};
    ASSERT_EQ(g_aPlayChannel[1].playState, PLAY_CLOSED);
    road_->OnPlayPause();
    EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_STOPPED);
    ASSERT_TRUE(host_.Armed(TIMER_REAR_READY));
    road_->OnRearReadyTimeout();
    EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
    EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_CLOSED);
    road_->OnPlayerReady(1, 0);  // late: dropped
    EXPECT_EQ(g_aPlayChannel[1].playState, PLAY_CLOSED);
}

TEST_F(PlaybackRoadTest, TheEndMarginLocksTheCommandsAndHoldsSeeksBackByTheSpeed) {
    OpenRow(0);
    road_->OnPlayPause();
    struct Case {
        int step;
        int current;
        bool near;
    };
    // 20 frames before the end at normal speed, 40 at step 2, 80 at step 4.
    const Case cases[] = {{1, 279, false}, {1, 280, true}, {2, 259, false}, {2, 260, true},
                          {4, 219, false}, {4, 220, true}, {-2, 280, true}};
    for (const Case& c : cases) {
        g_aPlayChannel[0].speedStep = c.step;
        engine_.SetCurrentFrame(c.current);
        host_.controls.clear();
        road_->OnPlaybackTick();
        EXPECT_EQ(road_->IsNearMovieEnd() != FALSE, c.near) << c.step << " at " << c.current;
        EXPECT_EQ(road_->NearEndLocked() != FALSE, c.near) << c.step << " at " << c.current;
        // Entering the margin takes the controls; leaving it gives them back.
        if (!host_.controls.empty()) {
            EXPECT_EQ(host_.controls.back(), c.near ? RoadControls::kNone : RoadControls::kByState);
        }
        // Inside it the commands that act on the movie do nothing.
        engine_.calls.clear();
        road_->OnStop();
        road_->OnNextEvent();
        EXPECT_EQ(engine_.Count("StopMovie#1"), c.near ? 0 : 1) << c.step << " at " << c.current;
        EXPECT_EQ(engine_.Called("SeekToFrame#1(" + std::to_string(kEventRecord) + ")"), !c.near)
            << c.step << " at " << c.current;
        if (g_aPlayChannel[0].playState != PLAY_PLAYING) road_->OnPlayPause();
    }
    // A seek to the last frame stops short by the margin of the speed; the panes show the
    // frame asked for.
    engine_.SetCurrentFrame(10);
    road_->OnPlaybackTick();
    for (const auto& [step, target] : {std::pair{1, 280}, {2, 260}, {4, 220}}) {
        g_aPlayChannel[0].speedStep = step;
        engine_.calls.clear();
        road_->SeekToFrame(DataEngine::kFrames - 1, PLAY_PAUSED);
        EXPECT_TRUE(engine_.Called("SeekToFrame#1(" + std::to_string(target) + ")")) << step;
        EXPECT_EQ(listener_.LastFullFrame()->frame, DataEngine::kFrames - 1) << step;
    }
    // Before the data is in, every command waits.
    browser_.SelectFileRow(1, FALSE);
    EXPECT_TRUE(road_->IsNearMovieEnd());
}

TEST_F(PlaybackRoadTest, EventJumpsAndMarkerClicksKeepThePlayState) {
    OpenRow(0);
    ASSERT_FALSE(road_->CrashPositions().empty());
    // Paused, a jump shows the event's frame and stays paused; the next jump past the last
    // event wraps to the first, the previous one before the first to the last.
    road_->OnPlayPause();
    engine_.SetCurrentFrame(5);
    road_->OnPlayPause();
    ASSERT_EQ(g_aPlayChannel[0].playState, PLAY_PAUSED);
    for (const auto& jump : {&CPlaybackRoad::OnNextEvent, &CPlaybackRoad::OnNextEvent, &CPlaybackRoad::OnPrevEvent}) {
        engine_.calls.clear();
        ((*road_).*jump)();
        EXPECT_TRUE(engine_.Called("SeekToFrame#1(" + std::to_string(kEventRecord) + ")"));
        EXPECT_EQ(road_->SeekPos(), kEventRecord);
        EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PAUSED);
    }
    // A marker click while playing seeks there and plays on.
    road_->OnPlayPause();
    road_->OnMapMarkerClick(100);
    EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
    EXPECT_EQ(road_->SeekPos(), 100);
    // Without the map page the markers wait in the list; the page coming up sends them.
    host_.pageReady = false;
    listener_.Clear();
    road_->ResendMarkers();
    EXPECT_TRUE(listener_.events.empty());
    host_.pageReady = true;
    road_->OnPlaybackTick();
    EXPECT_EQ(listener_.events.size(), 1u);
    road_->OnPlaybackTick();
    EXPECT_EQ(listener_.events.size(), 1u);  // once
}

TEST_F(PlaybackRoadTest, NoticesWithoutAMovieOpenNothing) {
    // Without an open movie nothing is expected: no notice of a player, whatever its
    // channel or tag, opens anything or starts a timer.
    struct Notice {
        int channel;
        WPARAM tag;
    };
    for (const Notice& n : {Notice{0, 0}, {1, 0}, {0, 7}, {-1, 0}, {2, 0}, {99, 1}})
        road_->OnPlayerReady(n.channel, n.tag);
    road_->OnRearReadyTimeout();
    EXPECT_TRUE(host_.timers.empty());
    EXPECT_EQ(road_->SelectionSerial(), 0u);
    EXPECT_TRUE(listener_.opened.empty());
    // Nor is there a row beyond the list to select; a position told before a recording's
    // range is known shows its first frame.
    road_->MoveCurrentRow(3);
    EXPECT_FALSE(road_->SelectMovie(TRUE, TRUE, TRUE));
    EXPECT_TRUE(host_.timers.empty());
    EXPECT_EQ(host_.waitCursors, 0);
    EXPECT_TRUE(host_.errors.empty());
    for (const std::int64_t request : {std::int64_t(250), kInt64Max, kInt64Min}) {
        road_->UpdatePlaybackPosition(request);
        EXPECT_EQ(listener_.frames.back().frame, 0) << request;
    }
}

}  // namespace
}  // namespace orv
