// The map page in the real web engine, loaded through the page host and the bridge with
// tracks put in place as channel 1's data; what the page drew is read back by scripts run
// in it. Tiles come from a loopback server that has none (the map draws without them).
#include <memory>

#include <QWidget>

#include <gtest/gtest.h>

#include "MapTestSupport.h"
#include "WebTestSupport.h"
#include "fixtures/LoopbackHttpServer.h"
#include "platform/web/WebHost.h"
#include "views/ViewsTestSupport.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MapConfig.h"
#include "views/map/MapScripts.h"

namespace orv::test {
namespace {

class MapPage : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new fixtures::LoopbackHttpServer;
        SetMapServiceAddresses(server->Url("/tiles/{z}/{x}/{y}.png"), server->Url("/"));
        owner = new RecordingWindow;
        map = new CGoogleMapDlgWrap(std::make_unique<FakeConnection>(true, true));
        map->SetOwner(owner->Handle());
        window = new QWidget;
        window->resize(440, 300);
        ASSERT_TRUE(map->CreateHost(window));
        map->GetHostWindow()->setGeometry(0, 0, 440, 300);
        map->ShowMap(TRUE);
        window->show();
        ASSERT_TRUE(WaitUntil([] { return map->PageReady() != FALSE; })) << "the map page did not load";
        ready = true;
    }

    static void TearDownTestSuite() {
        delete map;
        delete window;
        delete owner;
        delete server;
    }

    void SetUp() override { ASSERT_TRUE(ready); }

    static CGoogleMapDlg2& Host() { return *map->GetMapDlg2(); }
    static std::string Page(const std::string& script) { return PageText(Host(), script); }

    // The current movie's track (frames 0, 10, 20, ...) drawn at frame `frame`.
    void DrawMovie(const std::vector<TrackPoint>& movie, int frame, BOOL wholeLine = FALSE) {
        track->Set(movie, movie);
        map->ShowFrame(PaneValuesOf(nullptr, frame).map);
        map->ReloadTrack(0, wholeLine);
    }

    static inline fixtures::LoopbackHttpServer* server = nullptr;
    static inline RecordingWindow* owner = nullptr;
    static inline CGoogleMapDlgWrap* map = nullptr;
    static inline QWidget* window = nullptr;
    static inline bool ready = false;
    std::unique_ptr<FrontTrack> track = std::make_unique<FrontTrack>(std::vector<TrackPoint>{},
                                                                     std::vector<TrackPoint>{});
};

TEST_F(MapPage, TheTrackSplitsWhereConsecutivePointsAreFarApart) {
    struct Case {
        std::vector<TrackPoint> points;
        const char* stretches;
    };
    const Case cases[] = {
        {{{35.000, 139.0, 0}, {35.002, 139.0, 10}}, "2"},
        {{{35.000, 139.0, 0}, {35.001, 139.0, 10}}, "1"},
        {{{60.0, 139.0, 0}, {60.0, 139.0025, 10}}, "1"},  // 0.0025 of longitude is 0.00125 here
        {{{60.0, 139.0, 0}, {60.0, 139.0030, 10}}, "2"},
        {{{-35.000, -58.0, 0}, {-35.0005, -58.0, 10}, {-35.010, -58.0, 20}, {-35.0105, -58.0, 30}}, "2"},
    };
    for (const Case& c : cases) {
        DrawMovie(c.points, 0);
        EXPECT_EQ(Page("String(orbitgrplist.orbitlist.length)"), c.stretches) << c.points[1].lat;
    }
}

TEST_F(MapPage, TheTravelledPartIsBlueAndThePartAheadRed) {
    const std::vector<TrackPoint> movie{{35.0, 139.0, 0}, {35.0005, 139.0, 10}, {35.0010, 139.0, 20}};
    DrawMovie(movie, 15, TRUE);
    const std::string styles = Page(
        "JSON.stringify([orbitgrplist.histline, orbitgrplist.schline, orbitgrplist.grpline].map(function (lines) {"
        "  return lines.map(function (l) { return [l.options.color, l.options.opacity, l.getLatLngs().length]; });"
        "}))");
    // Both ends of each part are drawn: the travelled part ends at the point the marker is on.
    EXPECT_EQ(styles, R"([[["#0000FF",1,2]],[["#FF0000",0.9,2]],[["#FF0000",0.5,3]]])");
    EXPECT_EQ(Page("g_marker.getLatLng().lat.toFixed(4)"), "35.0005");
}

TEST_F(MapPage, WithinOnePartTheLinesTakeTheirNewPointsAndAcrossPartsTheyAreDrawnAnew) {
    DrawMovie({{35.0, 139.0, 0}, {35.0005, 139.0, 10}, {35.0010, 139.0, 20}, {35.0015, 139.0, 30}}, 15);
    ASSERT_EQ(Page("orbitgrplist.histline.concat(orbitgrplist.schline).forEach(function (l) { l.kept = true; }),"
                   "String(orbitgrplist.histline.length + orbitgrplist.schline.length)"),
              "2");
    const std::string lines =
        "JSON.stringify([orbitgrplist.histline, orbitgrplist.schline].map(function (lines) {"
        "  return lines.map(function (l) { return [l.options.color, l.getLatLngs().length, l.kept === true]; });"
        "}))";
    // Points 0..2 travelled, 2..3 ahead: the same two lines.
    map->ShowFrame(PaneValuesOf(nullptr, 25).map);
    map->ExecScript(kScriptMoveMarker);
    EXPECT_EQ(Page(lines), R"([[["#0000FF",3,true]],[["#FF0000",2,true]]])");
    EXPECT_EQ(Page("g_marker.getLatLng().lat.toFixed(4)"), "35.0010");
    // At the last point nothing is ahead: drawn anew.
    map->ShowFrame(PaneValuesOf(nullptr, 35).map);
    map->ExecScript(kScriptMoveMarker);
    EXPECT_EQ(Page(lines), R"([[["#0000FF",4,false]],[]])");
    EXPECT_EQ(Page("String(g_map.getPane('track2').querySelectorAll('canvas').length)"), "1");
}

TEST_F(MapPage, AfterAMoveTheTrackIsDrawnAtItsNewPlaceOnlyAndTheCanvasKeepsItsBitmapWhileItsSizeStays) {
    // An east-west track: after a move north or south it is drawn elsewhere on its canvas.
    DrawMovie({{35.0, 139.0, 0}, {35.0, 139.0010, 10}, {35.0, 139.0020, 20}}, 15);
    struct Case {
        int dy;
        int paddingPercent;  // the canvas reaches this far beyond the map on each side
        const char* expected;  // size assignments, the line where it is now, the old place clear
    };
    const Case cases[] = {
        {40, 10, "0,true,true"},
        {-60, 10, "0,true,true"},
        {40, 30, "2,true,true"},  // a larger canvas: made anew
        {-40, 10, "2,true,true"},  // and back
    };
    for (const Case& c : cases) {
        const std::string script =
            "(function () {"
            "  var r = g_panes[2].renderer, canvas = r._container, ctx = r._ctx, m = L.Browser.retina ? 2 : 1;"
            "  var at = function () {"
            "    return g_map.latLngToLayerPoint([35.0, 139.0005]).subtract(r._bounds.min).multiplyBy(m).round();"
            "  };"
            "  var drawn = function (p) { return ctx.getImageData(p.x, p.y, 1, 1).data[3] > 0; };"
            "  var sets = 0, proto = HTMLCanvasElement.prototype;"
            "  ['width', 'height'].forEach(function (name) {"
            "    var d = Object.getOwnPropertyDescriptor(proto, name);"
            "    Object.defineProperty(canvas, name, { configurable: true,"
            "      get: function () { return d.get.call(this); },"
            "      set: function (v) { sets++; d.set.call(this, v); } });"
            "  });"
            "  var before = at();"
            "  r.options.padding = " + std::to_string(c.paddingPercent) + " / 100;"
            "  g_map.panBy([0, " + std::to_string(c.dy) + "], { animate: false });"
            "  delete canvas.width; delete canvas.height;"
            "  var now = at();"
            "  return [sets, drawn(now), !drawn(before)].join();"
            "})()";
        EXPECT_EQ(Page(script), c.expected) << c.dy << " " << c.paddingPercent;
    }
}

TEST_F(MapPage, TheMarkerIndexIsTheLastPointAtOrBeforeTheFrame) {
    DrawMovie({{35.0, 139.0, 0}, {35.0005, 139.0, 10}, {35.0010, 139.0, 20}}, 0);
    const std::pair<int, const char*> cases[] = {{15, "1"}, {25, "2"}, {0, "0"}, {10, "1"}, {-1, "-1"}};
    for (const auto& [frame, index] : cases) {
        map->ShowFrame(PaneValuesOf(nullptr, frame).map);
        EXPECT_EQ(Page("String(orbitgrplist.GetIndex())"), index) << frame;
    }
    // Paused or stopped, in any case, the marker does not follow the frame.
    EXPECT_EQ(Page("['pause', 'STOP', 'Pause', '', 'ready', 'stopped'].map(IsMarkerHeld).join()"),
              "true,true,true,false,false,false");
}

TEST_F(MapPage, WithoutATrackTheMarkerFollowsThePositionSouthAndWestOfZero) {
    DrawMovie({}, 5);
    map->SetMapStatus(MAP_STATUS_PLAY);
    map->SetMapPosition(-33.4489, -70.6693);
    // The page asks for the position every second and moves the marker with it.
    EXPECT_TRUE(WaitUntil([] { return Page("g_marker.getLatLng().lat.toFixed(4)") == "-33.4489"; }));
    EXPECT_EQ(Page("g_marker.getLatLng().lng.toFixed(4)"), "-70.6693");
    map->SetMapPosition(1000.0, 1000.0);
}

TEST_F(MapPage, OnlyACoordinateOf1000OrMoreIsNoPositionAndNoneMisplacesTheMarker) {
    EXPECT_EQ(Page("[0, 359.9, 360.5, 999.9, 1000, 1000.5, -1000, -2000, NaN].map(IsNoCoordinate).join()"),
              "false,false,false,false,true,true,false,false,true");
    // A coordinate between 360 and 1000 reaches the marker, which stays on the earth.
    DrawMovie({}, 5);
    map->SetMapStatus(MAP_STATUS_PLAY);
    map->SetMapPosition(35.5, 139.5);
    ASSERT_TRUE(WaitUntil([] { return Page("g_marker.getLatLng().lat.toFixed(4)") == "35.5000"; }));
    map->SetMapPosition(500.0, 700.0);
    EXPECT_TRUE(WaitUntil([] { return Page("String(g_newlat)") == "500"; }));
    EXPECT_TRUE(WaitUntil([] { return Page("String(g_newlng)") == "700"; }));
    EXPECT_EQ(Page("g_marker.getLatLng().lat.toFixed(4) + ',' + g_marker.getLatLng().lng.toFixed(4)"),
              "35.5000,139.5000");
    map->SetMapPosition(1000.0, 1000.0);
}

TEST_F(MapPage, EventMarkersHaveTheirKindsIconAndTheirClickReachesTheProgram) {
    DrawMovie({{35.0, 139.0, 0}}, 0);
    for (int kind = 0; kind <= 14; ++kind)
        map->ExecScript(AddCrashPosScript(kind, 0.1, 0.2, 0.3, 0, 0, 1000 + kind, 35.0 + kind * 0.0001, 139.0, 1,
                                          40.0, 0.0));
    map->ExecScript(AddCrashPosScript(0, 0, 0, 0, 0, 0, 99, 720.0, 720.0, 0, 0, 0));  // no position: no marker
    EXPECT_EQ(Page("cplist.markers.map(function (m) {"
                   "  return m.marker.options.icon.options.iconUrl.replace('qrc:/map/icons/', ''); }).join(' ')"),
              "impact.svg impact.svg impact.svg impact.svg impact.svg userpoint.svg emergencystop.svg parking.svg "
              "speeding.svg speedcamera.svg radar.svg ds_steering.svg ds_acceleration.svg ds_braking.svg");
    owner->Take();
    Page("cplist.markers[8].marker.fire('click'); 0");
    std::vector<Posted> got;
    EXPECT_TRUE(WaitUntil([&] {
        for (const Posted& p : owner->Take()) got.push_back(p);
        return !got.empty();
    }));
    EXPECT_EQ(got, (std::vector<Posted>{{WM_APP_MAP_MARKER_CLICK, 0, 1008}}));
}

TEST_F(MapPage, NoOtherDocumentCanReachTheProgram) {
    server->Set("/page.html", "<html><body><script>location.href='qrc:/map/map.html';</script></body></html>");
    const std::string foreign = server->Url("/page.html");
    int refused = 0;
    WebHost* view = Host().m_holder.GetWebView();
    ASSERT_NE(view, nullptr);
    view->SetNavigationRefusedHandler([&refused](const QUrl&) { ++refused; });

    EXPECT_FALSE(view->Navigate(QUrl(QString::fromStdString(foreign))));
    const std::string attempts[] = {
        "location.href = '" + foreign + "'; 0",
        "var f = document.createElement('iframe'); f.src = '" + foreign + "'; document.body.appendChild(f); 0",
        "window.open('" + foreign + "'); 0",
    };
    for (const std::string& attempt : attempts) {
        const int before = refused;
        Page(attempt);
        EXPECT_TRUE(WaitUntil([&] { return refused > before; })) << attempt;
    }
    EXPECT_EQ(server->Requests("/page.html"), 0);
    EXPECT_EQ(view->CurrentUrl().toString().toStdString(), kMapPageUrl);
    EXPECT_EQ(Page("typeof sample.JS2C_OnInitHtml"), "function");
}

TEST_F(MapPage, TheHostObjectAnswersTestCallsAndRunsCallbacksOnTheUiThread) {
    Page("window.g_answers = [];"
         "sample.TestMethod('ab, c', -42, function (r) { g_answers.push(r); });"
         "sample.callbackRequested.connect(function (id) { g_answers.push('callback ' + id); });"
         "sample.CallCallbackAsynchronously(7); 0");
    EXPECT_TRUE(WaitUntil([] { return Page("String(g_answers.length)") == "2"; }));
    EXPECT_EQ(Page("JSON.stringify(g_answers)"), R"(["TestMethod(ab, c, -42) called.\n","callback 7"])");
}

TEST_F(MapPage, ALostConnectionDropsTheMapAndARegainedOneLoadsItAgain) {
    auto& connection = static_cast<FakeConnection&>(map->GetConnection());
    // The page tests the connection every second while it has a position to show.
    map->SetMapPosition(35.0, 139.0);
    connection.SetConnected(false);
    EXPECT_TRUE(WaitUntil([] { return Page("String(g_map === null && g_script === null)") == "true"; }));
    EXPECT_FALSE(map->PageReady());
    owner->Take();
    connection.SetConnected(true);
    EXPECT_TRUE(WaitUntil([] { return map->PageReady() != FALSE; }));
    EXPECT_EQ(owner->Take(), (std::vector<Posted>{{WM_APP_MAP_READY, 0, 0}}));
    EXPECT_EQ(Page("String(g_map !== null && g_isInitConnect)"), "true");
}

}  // namespace
}  // namespace orv::test
