// The frame's one clamp, and the playback road driven through its host interface with the
// window's panes but no window and no movie.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "app/surface/MovieStatic.h"
#include "app/road/PlaybackRoad.h"
#include "filer/FilerContainerDlg.h"
#include "platform/base/NamedMutex.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "ui/LogoDlg.h"
#include "ui/SkinSliderCtrl.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/InternetConnection.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

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

// A window as the road sees it: it records what it is asked.
class FakeRoadHost : public IPlaybackRoadHost {
public:
    HWND RoadWindow() const override { return 0; }
    void SetRoadTimer(unsigned id, unsigned) override { timersSet.push_back(id); }
    void KillRoadTimer(unsigned id) override { timersKilled.push_back(id); }
    void BeginWaitCursor() override { ++waitCursors; }
    void EndWaitCursor() override { --waitCursors; }
    void ShowError(int textId) override { errors.push_back(textId); }
    void DisableAllControls() override {}
    void EnableIdleControls() override {}
    void UpdateControlStates() override {}
    void SetPlayButtonState(BOOL) override {}
    int Volume() const override { return 0; }
    void SetVolume(int) override {}
    void SetChannelVolumes(int) override {}
    BOOL KeepAspect() const override { return TRUE; }
    ViewRecords& Views() override { return views; }
    int LayoutMode() const override { return LAYOUT_BESIDE_BROWSER; }
    void RestoreLayout() override { ++layouts; }
    BOOL LargeVideo() const override { return FALSE; }
    void SetLargeVideo(BOOL) override {}
    BOOL ObdShown() const override { return FALSE; }
    void UpdateMapPane() override { ++mapPanes; }
    void UpdateSpeedLabel() override {}

    std::vector<unsigned> timersSet, timersKilled;
    std::vector<int> errors;
    int waitCursors = 0, layouts = 0, mapPanes = 0;
    ViewRecords views{};
};

// The panes a window would hold, without the window: no browser, no engine, no movie.
struct RoadRig {
    FakeRoadHost host;
    std::unique_ptr<CGoogleMapDlgWrap> mapWrap = std::make_unique<CGoogleMapDlgWrap>();
    std::unique_ptr<CInfoDlg> info = std::make_unique<CInfoDlg>(nullptr);
    std::unique_ptr<CGSensorDlg> graph = std::make_unique<CGSensorDlg>(nullptr);
    std::unique_ptr<CObdDlg> obd = std::make_unique<CObdDlg>(nullptr);
    std::unique_ptr<CMovieDialog> mapWindow;
    std::array<CMovieStatic, 2> surfaces;
    std::unique_ptr<CSkinSliderCtrl> slider = std::make_unique<CSkinSliderCtrl>();
    std::unique_ptr<CFilerContainerDlg> filer;
    std::unique_ptr<CLogoDlg> logo;
    std::array<CSkinButton*, kTransportButtonCount> transport{};
    std::unique_ptr<ChannelEngineImpl> engine;
    NamedMutexHandle mutexCache = OpenNamedMutex("hMutexCache");
    NamedMutexHandle mutexCpSet = OpenNamedMutex("hMutexCpSet");
    CPlaybackRoad road{host, PlaybackPanes{mapWrap, info, graph, obd, mapWindow, surfaces, slider, filer, logo,
                                           transport, engine, mutexCache, mutexCpSet}};
};

TEST(PlaybackRoad, TakesMessageValuesInAndIgnoresWhatItDidNotAskFor) {
    RoadRig rig;
    rig.slider->SetRange(0, 500);
    // A position as a slider or map message carries it reaches the panes clamped once,
    // inside the slider's range.
    struct Position {
        std::int64_t request;
        int shown;
    };
    for (const Position& p : {Position{250, 250}, {-5, 0}, {500, 499}, {3'000'000'000LL, 499}, {kInt64Max, 499},
                              {kInt64Min, 0}}) {
        rig.road.UpdatePlaybackPosition(p.request);
        EXPECT_EQ(rig.slider->GetPos(), p.shown) << p.request;
    }

    // Without an open movie nothing is expected: no notice of a player, whatever its
    // channel or tag, opens anything or starts a timer.
    struct Notice {
        int channel;
        WPARAM tag;
    };
    for (const Notice& n : {Notice{0, 0}, {1, 0}, {0, 7}, {-1, 0}, {2, 0}, {99, 1}})
        rig.road.OnPlayerReady(n.channel, n.tag, 0);
    rig.road.OnRearReadyTimeout();
    EXPECT_TRUE(rig.host.timersSet.empty());
    EXPECT_EQ(rig.road.SelectionSerial(), 0u);
    // Nor is there a row to select without a browser.
    EXPECT_FALSE(rig.road.SelectMovie(TRUE, TRUE, TRUE));
    EXPECT_TRUE(rig.host.timersSet.empty());
    EXPECT_EQ(rig.host.waitCursors, 0);
    EXPECT_TRUE(rig.host.errors.empty());
}

}  // namespace
}  // namespace orv
