// The map bridge without a browser: the scripts it runs, the values it gives the page and
// the messages it posts.
#include <QCoreApplication>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "MapTestSupport.h"
#include "views/ViewsTestSupport.h"
#include "fixtures/EventLoopWait.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MapPageHost.h"
#include "views/map/MapScripts.h"

namespace orv::test {
namespace {

// A page host that writes down what the bridge asks of it.
class RecordingHost : public IMapPageHost {
public:
    RecordingHost(std::vector<std::string>* log, QWidget* window = nullptr) : log_(log), window_(window) {}
    QWidget* GetWindow() override { return window_; }
    void ExecuteScript(const std::string& script) override { log_->push_back(script); }
    void RefreshTrack(BOOL wholeLine) override { log_->push_back(wholeLine ? "<tracks with list>" : "<tracks>"); }
    void RefreshFrame() override {}
    void SetMapStatus(const std::string& status) override { log_->push_back("<status \"" + status + "\">"); }
    void SetMapPosition(double, double) override {}
    void SendMapUpdate() override { log_->push_back("<update>"); }

private:
    std::vector<std::string>* log_;
    QWidget* window_;
};

struct Bridge {
    explicit Bridge(bool enabled = true, bool connected = true)
        : connection(new FakeConnection(enabled, connected)),
          map(std::unique_ptr<::IInternetConnection>(connection)) {
        map.AttachHost(std::make_unique<RecordingHost>(&log));
    }
    FakeConnection* connection;
    std::vector<std::string> log;
    CGoogleMapDlgWrap map;
};

TEST(MapBridge, ReloadTrackRunsItsScriptsInOrderOnceThePageIsReady) {
    struct Case {
        BOOL ready;
        int grid;
        BOOL wholeLine;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {FALSE, 3, TRUE, {}},
        {TRUE, 3, FALSE,
         {"<tracks>", "cplist.ClearCrashPos()", "orbitgrplist.RemoveLineList()", "orbitgrplist.CreateGridLine(3)"}},
        {TRUE, 12, TRUE,
         {"<tracks with list>", "cplist.ClearCrashPos()", "orbitgrplist.RemoveLineList()", "orbitgrplist.CreateLine()",
          "orbitgrplist.CreateGridLine(12)"}},
    };
    for (const Case& c : cases) {
        Bridge b;
        if (c.ready) b.map.OnInitHtml();  // the page reports it has loaded
        b.map.ReloadTrack(c.grid, c.wholeLine);
        EXPECT_EQ(b.log, c.expected) << "grid " << c.grid;
    }
}

TEST(MapBridge, SetMapStatusWritesTheTextAndStopMovesTheMarker) {
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {"<status \"\">"}},
        {1, {"<status \"pause\">"}},
        {2, {"<status \"stop\">", "orbitgrplist.MoveMarker()"}},
        {7, {"<status \"\">"}},
    };
    for (const auto& [status, expected] : cases) {
        Bridge b;
        b.map.SetMapStatus(status);
        EXPECT_EQ(b.log, expected) << status;
    }
}

TEST(MapBridge, TextLookupsGiveTheNamedTextsAndNothingOutsideTheirTables) {
    Bridge b;
    const std::pair<int, const char*> marks[] = {
        {-1, ""}, {0, "急加速"}, {1, "急ブレーキ"}, {2, "急ハンドル"}, {3, "急下降"}, {4, "急上昇"},
        {5, "マニュアル録画"}, {9, "オービス"}, {10, "レーダー"}, {11, "ドライブサポート　急ハンドル"},
        {13, "ドライブサポート　急ブレーキ"}, {14, ""}, {1 << 30, ""},
    };
    for (const auto& [kind, text] : marks) EXPECT_EQ(b.map.GetMarkName(kind), text) << kind;
    const std::pair<int, const char*> texts[] = {{-1, ""}, {151, "マップ"}, {259, ""}, {260, ""}, {-260, ""}};
    for (const auto& [index, text] : texts) EXPECT_EQ(b.map.GetRcString(index), text) << index;
    b.map.ShowFrame(PaneValuesOf(nullptr, -1).map);
    EXPECT_EQ(b.map.GetRelJpgNum(), "-1");
}

TEST(MapBridge, ConnectTestFollowsTheConnectionAndOnlyALostOneClearsThePage) {
    struct Case {
        bool enabled, connected;
        BOOL result, readyAfter;
    };
    const Case cases[] = {
        {false, true, FALSE, TRUE},  // the map switched off leaves the page as it is
        {true, false, FALSE, FALSE},
        {true, true, TRUE, TRUE},
    };
    for (const Case& c : cases) {
        Bridge b(c.enabled, c.connected);
        b.map.OnInitHtml();
        EXPECT_EQ(b.map.ConnectTest(), c.result);
        EXPECT_EQ(b.map.PageReady(), c.readyAfter);
    }
}

TEST(MapBridge, PageNotificationsArePostedToTheOwner) {
    RecordingWindow owner;
    Bridge b;
    b.map.OnInitHtml();  // no owner yet: nothing is posted, the page is ready all the same
    EXPECT_TRUE(b.map.PageReady());
    b.map.SetOwner(owner.Handle());
    b.map.OnInitHtml();
    b.map.OnClickCrashPoint(1, 2, 1234, 1, 35.0, 139.0, 40.0, 0.0);
    const std::vector<Posted> expected{{WM_APP_MAP_READY, 0, 0}, {WM_APP_MAP_MARKER_CLICK, 0, 1234}};
    EXPECT_EQ(owner.Take(), expected);
}

TEST(MapBridge, TrackArraysHoldValidPositionsThenTheirCount) {
    struct Case {
        std::vector<TrackPoint> points;
        TrackArray expected;
    };
    const Case cases[] = {
        {{}, {0}},
        {{{35.0, 139.0, 1, 0}, {36.0, 140.0, 2, 0}}, {0}},
        {{{35.0, 139.0, 1}, {720.0, 720.0, 2}, {35.5, 361.0, 3}, {-33.5, -70.25, 4}, {36.0, 140.0, 5, 0}},
         {35.0, 139.0, 1, -33.5, -70.25, 4, 6}},
        // Off the earth (a damaged card): left out like the markers; the edges stay.
        {{{35.0, -500.0, 1}, {91.0, 10.0, 2}, {-90.5, 10.0, 3}, {10.0, 180.5, 4}, {std::nan(""), 10.0, 5},
          {-90.0, 180.0, 6}, {90.0, -180.0, 7}},
         {-90.0, 180.0, 6, 90.0, -180.0, 7, 6}},
    };
    for (const Case& c : cases) {
        const std::vector<sGPSRECORD> records = GpsRecords(c.points);
        const TrackArray track = MakeTrackArray(records);
        EXPECT_EQ(track, c.expected);
        EXPECT_EQ(track.capacity(), track.size());
    }

    Bridge b;
    EXPECT_EQ(b.map.GetGPSData(), TrackArray{0});  // channel 1 not initialised
    EXPECT_EQ(b.map.GetGridData(""), TrackArray{0});
    FrontTrack data({{35.0, 139.0, 0}, {35.1, 139.1, 30}}, {{34.0, 135.0, 7}});
    EXPECT_EQ(b.map.GetGPSData(), (TrackArray{35.0, 139.0, 0, 35.1, 139.1, 30, 6}));
    EXPECT_EQ(b.map.GetGridData(""), (TrackArray{34.0, 135.0, 7, 3}));
}

TEST(MapBridge, ScriptsWriteNumbersInTheCLocale) {
    EXPECT_EQ(AddCrashPosScript(8, 0.25, -1.5, 1.0, 2, 3, 1234, -33.45, -70.6667, 1, 52.5, 0.0),
              "cplist.AddCrashPos(8,0.250000,-1.500000,1.000000,2,3,1234,-33.450000,-70.666700,1,52.500000,0.000000)");
    EXPECT_EQ(FormatFixed6(std::nan("")), "NaN");
    EXPECT_EQ(FormatFixed6(1e300).size(), 301u + 7u);
}

// The page's callbacks reach the host window through the payload store: each runs once
// when the window takes it, and one whose window goes first is freed without running.
TEST(MapBridge, CallbacksForTheHostWindowRunOnceOrGoWithIt) {
    const std::size_t pending = PendingPayloadCount();
    auto host = std::make_unique<CGoogleMapDlg2>(nullptr);  // never shown: no browser is made
    const auto runner = PostingCallbackRunner(host->GetSafeHwnd());
    int runs = 0;
    auto held = std::make_shared<int>(0);  // what a callback holds on to
    const std::weak_ptr<int> alive = held;
    runner([&runs, held] { ++runs; });
    EXPECT_EQ(PendingPayloadCount(), pending + 1);
    ASSERT_TRUE(fixtures::RunUntil([&] { return runs == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(PendingPayloadCount(), pending);

    runner([&runs, held] { ++runs; });
    held.reset();
    host.reset();  // before the event loop hands the message over
    EXPECT_TRUE(alive.expired());
    EXPECT_EQ(PendingPayloadCount(), pending);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(runs, 1);
}

TEST(MapBridge, ShowMapAndSetParentActOnTheHostWindow) {
    std::vector<std::string> log;
    QWidget first;
    QWidget second;
    first.show();
    second.show();
    auto* window = new QWidget(&first);
    window->hide();
    CGoogleMapDlgWrap map(std::make_unique<FakeConnection>(true, true));
    EXPECT_EQ(map.SetParent(&second), nullptr);  // no host yet
    map.AttachHost(std::make_unique<RecordingHost>(&log, window));

    const std::pair<BOOL, BOOL> steps[] = {{TRUE, TRUE}, {TRUE, FALSE}, {FALSE, TRUE}, {FALSE, FALSE}, {TRUE, TRUE}};
    for (const auto& [show, changed] : steps) {
        EXPECT_EQ(map.ShowMap(show), changed) << show;
        EXPECT_EQ(window->isVisible(), bool(map.IsShown()));
    }
    EXPECT_EQ(map.SetParent(&second), &first);
    EXPECT_EQ(window->parentWidget(), &second);
    EXPECT_TRUE(window->isVisible());
}

TEST(MapBridge, AHostWindowDeletedWithItsParentIsLeftAlone) {
    std::vector<std::string> log;
    auto* parent = new QWidget;
    auto* window = new QWidget(parent);
    CGoogleMapDlgWrap map(std::make_unique<FakeConnection>(true, true));
    map.AttachHost(std::make_unique<RecordingHost>(&log, window));
    map.OnInitHtml();
    delete parent;
    map.ReloadTrack(1, TRUE);
    map.SetMapStatus(2);
    EXPECT_EQ(map.ShowMap(TRUE), TRUE);
    EXPECT_EQ(map.SetParent(nullptr), nullptr);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace orv::test
