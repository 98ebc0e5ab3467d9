#include "views/GSensorDlg.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "PaintCounter.h"
#include "ViewsTestSupport.h"
#include "ui/ControlTestSupport.h"
#include "ui/OffScreenDC.h"

namespace orv {
namespace {

using test::FrontChannelData;
using test::QuietRecords;
namespace fx = orv::fixtures;

// A graph of `width` pixels over channel 1's data, set up as the main window does.
struct Graph {
    test::ScaleScope scale;
    COffScreenDC offScreen{1200, 200};
    CGSensorDlg dlg;

    Graph(int width, int frames, float s = 1.0f) : scale(s) {
        dlg.resize(width, int(120 * s));
        dlg.LendOffScreen(&offScreen);
        dlg.OnInitDialog();
        dlg.ResetAxis();  // 41 and 640 - 41 at scale 1
        dlg.SetFrameCount(frames);
        dlg.ShowData(TRUE);
    }
    QImage Paint(int frame) {
        dlg.ShowFrame(GraphFrameValues{frame});
        return test::Render(dlg, qRgb(1, 2, 3));
    }
    std::vector<CGSensorDlg::SPrepos::Point> Markers(int detector) const {
        return dlg.LastMarkers()[std::size_t(detector)].points;
    }
};

TEST(GSensorGraph, AmplitudeModesAndLabels) {
    const struct {
        double largest;
        int mode;
        const char* top;
        const char* bottom;
        int pixelsPerG;  // in a 120-pixel plot
    } cases[] = {
        {0.4, 0, " 0.5G", "-0.5G", 114}, {0.5, 1, "   1G", "  -1G", 57}, {1.2, 2, " 1.5G", "-1.5G", 38},
        {1.5, 3, "   2G", "  -2G", 28},  {3.5, 3, "   2G", "  -2G", 28},
    };
    for (const auto& c : cases) {
        const int mode = AmplitudeModeForLargestG(c.largest);
        EXPECT_EQ(mode, c.mode) << c.largest;
        EXPECT_STREQ(ScaleLabelsOf(mode).top, c.top) << c.largest;
        EXPECT_STREQ(ScaleLabelsOf(mode).middle, "   0G") << c.largest;
        EXPECT_STREQ(ScaleLabelsOf(mode).bottom, c.bottom) << c.largest;
        EXPECT_EQ(AmplitudePixels(120, mode), c.pixelsPerG) << c.largest;
    }
    EXPECT_STREQ(ScaleLabelsOf(7).top, "   1G") << "other modes draw as mode 1";
}

// A manual-recording event at the movie's first and last frame: where their markers sit
// while the movie plays tells whether the plot scrolls.
TEST(GSensorGraph, ShortMoviesStandStillLongOnesScrollEndToEnd) {
    const struct {
        int frames;
        int firstAt0, lastAt0;      // marker columns at frame 0 (-1: not shown)
        int firstAtEnd, lastAtEnd;  // at the last frame
    } cases[] = {
        {100, 41, 41 + int(99 * 5.99), 41, 41 + int(99 * 5.99)},  // 599 pixels for 100 frames
        {2000, 41, -1, -1, 41 + 598},                           // one pixel a frame, 599 shown
    };
    for (const auto& c : cases) {
        // Frame f shows record f - 1 (record 0 from frame 0): the events are the records of
        // the first and the last frame.
        std::vector<fx::RawRecord> records = QuietRecords(c.frames);
        records[0].manual = 'D';
        records[std::size_t(c.frames - 2)].manual = 'D';
        FrontChannelData data(records);
        ASSERT_TRUE(data.Ready());
        Graph graph(641, c.frames);
        const auto columns = [&](int frame) {
            graph.Paint(frame);
            std::vector<int> xs;
            for (const auto& p : graph.Markers(DETECTOR_MANUAL)) xs.push_back(p.x);
            return xs;
        };
        const auto expect = [](int first, int last) {
            std::vector<int> xs;
            if (first >= 0) xs.push_back(first);
            if (last >= 0) xs.push_back(last);
            return xs;
        };
        EXPECT_EQ(columns(0), expect(c.firstAt0, c.lastAt0)) << c.frames;
        EXPECT_EQ(columns(c.frames - 1), expect(c.firstAtEnd, c.lastAtEnd)) << c.frames;
    }
}

TEST(GSensorGraph, MarkersRowsAndWhoShowsThem) {
    const int rows[EVENT_KIND_COUNT] = {1, 1, 0, 2, 2, 3, 3, 3, 3, 3, 3, 4, 5, 6};
    for (int kind = 0; kind < EVENT_KIND_COUNT; ++kind) EXPECT_EQ(EventMarkerRow(kind), rows[kind]) << kind;
    EXPECT_TRUE(EventMarkerText(EVENT_DRIVE_SUPPORT_STEERING).isEmpty()) << "an icon, not a letter";
    EXPECT_EQ(EventMarkerText(EVENT_EMERGENCY_STOP), QString::fromUtf8("※"));

    struct Case {
        const char* what;
        std::function<void(CGSensorDlg&)> switches;
        std::vector<int> markers;  // count by detector
    };
    const std::vector<Case> cases = {
        {"all shown", [](CGSensorDlg&) {}, {1, 0, 0, 0, 0, 0, 1, 0, 0, 1}},
        {"X hidden: manual recording shows instead",
         [](CGSensorDlg& d) { d.SetDetectorFlags(DETECTOR_AXIS_X, FALSE); }, {0, 0, 0, 1, 0, 0, 1, 0, 0, 1}},
        {"speeding hidden", [](CGSensorDlg& d) { d.SetDetectorFlags(DETECTOR_SPEEDING, FALSE); },
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    std::vector<fx::RawRecord> records = QuietRecords(60);
    records[10].axis = 'X';
    records[10].manual = 'D';
    for (int k = 20; k < 40; ++k) records[std::size_t(k)].speeding = 'D';
    records[45].driveSupport = 'H';
    FrontChannelData data(records);
    ASSERT_TRUE(data.Ready());
    for (const Case& c : cases) {
        Graph graph(641, 60);
        c.switches(graph.dlg);
        const QImage image = graph.Paint(0);
        for (int d = 0; d < DETECTOR_COUNT; ++d)
            EXPECT_EQ(int(graph.Markers(d).size()), c.markers[std::size_t(d)]) << c.what << ", detector " << d;
        // The speeding band: dark red along the bottom under records 20..39 (frames 21..40),
        // nothing beside it.
        const auto reddish = [&](int frame) {
            const QRgb p = image.pixel(41 + int(frame * (599.0 / 60)) + 2, 117);
            return qRed(p) > qGreen(p) + 40;
        };
        const bool band = c.markers[DETECTOR_SPEEDING] == 1;
        EXPECT_EQ(reddish(30), band) << c.what;
        EXPECT_EQ(reddish(35), band) << c.what;
        EXPECT_FALSE(reddish(10)) << c.what;
        EXPECT_FALSE(reddish(50)) << c.what;
    }
}

// A curve beyond 2 g lies on the 2 g line, clipped 5 pixels inside the plot's half height.
TEST(GSensorGraph, LargeValuesAreClippedInsideThePlot) {
    const struct {
        const char* field;
        int row;  // pixel row of the flat curve
    } cases[] = {{"+3500", 5}, {"-3500", 115}, {"+0500", 60 - 28 / 2 - 0}, {"+0000", 60}};
    for (const auto& c : cases) {
        std::vector<fx::RawRecord> records = QuietRecords(30);
        for (fx::RawRecord& r : records) r.accelY = c.field;
        FrontChannelData data(records);
        ASSERT_TRUE(data.Ready());
        Graph graph(641, 30);
        graph.dlg.SetAmplitudeMode(3);  // 28 pixels a g
        graph.dlg.SetDetectorFlags(DETECTOR_AXIS_X, FALSE);
        graph.dlg.SetDetectorFlags(DETECTOR_AXIS_Z, FALSE);
        const QImage image = graph.Paint(0);
        int top = -1;
        for (int y = 0; y < 120 && top < 0; ++y)
            if (image.pixel(300, y) == qRgb(255, 0, 0)) top = y;
        EXPECT_EQ(top, c.row) << c.field;
    }
}

// The white cursor stands at the frame's share of the width right of the label column:
// 41 + int(frame x (641 - 41) / frames), the factor a float, whether the movie fits the
// plot (where the curves' own step leaves out a pixel) or scrolls.
TEST(GSensorGraph, TheCursorStandsAtItsFramesShareOfTheWidth) {
    const struct {
        int frames, frame;
    } cases[] = {{100, 37}, {100, 99}, {2000, 2}, {2000, 999}, {2000, 1999}, {700, 350}, {0, 5}};
    for (const auto& c : cases) {
        FrontChannelData data(QuietRecords(std::max(c.frames, 1)));
        ASSERT_TRUE(data.Ready());
        Graph graph(641, c.frames);
        const QImage image = graph.Paint(c.frame);
        std::vector<int> white;
        for (int x = 41; x < 641; ++x)
            if (image.pixel(x, 2) == qRgb(255, 255, 255) && image.pixel(x, 80) == qRgb(255, 255, 255)) white.push_back(x);
        const int expected = 41 + (c.frames > 0 ? int(double(c.frame) * (600.0f / float(c.frames))) : 0);
        EXPECT_EQ(white, std::vector<int>{expected}) << c.frames << " " << c.frame;
    }
}

// `n` records with X, Y and Z swinging through the plot, a manual recording every 200 and a
// speeding stretch of 50 every 300 records.
std::vector<fx::RawRecord> BusyRecords(int n) {
    std::vector<fx::RawRecord> records = QuietRecords(n);
    for (int i = 0; i < n; ++i) {
        fx::RawRecord& r = records[std::size_t(i)];
        char field[8];
        const int jitter = (i * 37 % 11 - 5) * 8;  // so that most samples move a pixel or two
        std::snprintf(field, sizeof field, "%+05d", int(400 * std::sin(i / 17.0)) + jitter);
        r.accelX = field;
        std::snprintf(field, sizeof field, "%+05d", int(300 * std::cos(i / 23.0)) - jitter);
        r.accelY = field;
        std::snprintf(field, sizeof field, "%+05d", int(250 * std::sin(i / 11.0)) + 2 * jitter);
        r.accelZ = field;
        if (i % 200 == 50) r.manual = 'D';
        if (i % 300 > 100 && i % 300 < 150) r.speeding = 'D';
    }
    return records;
}

// The pane keeps the picture of its curves between ticks and, when the plot scrolls, moves
// it and draws only what the move changed. After any run of moves it must show exactly what
// a pane painting the last state afresh shows. 3000 frames on 599 pixels scroll by 0.8 of a
// sample a frame, so some moves keep the first frame's whole part and others pass it; a
// curve that stays level for long keeps the counting of its level stretch from the plot's
// first frame, which a moved picture cannot follow.
TEST(GSensorGraph, AKeptPictureShowsWhatAFreshOneShows) {
    const struct {
        const char* move;
        std::vector<int> frames;  // painted in turn; the last is compared
        int width = 641;
        int mode = 1;
        float scale = 1.0f;
        const char* level = "";  // axes held at 0 g over records 1000..1039 ("Z*": all records)
        bool hideY = false;
        int widthBefore = 0;  // the kept graph's width before the last painting (0: width)
    } cases[] = {
        {"forward by one, same whole first frame", {5, 6}},
        {"forward by one, next whole first frame", {1000, 1001}},
        {"forward one at a time", {1000, 1001, 1002, 1003, 1004, 1005}},
        {"forward by several", {1000, 1007}},
        {"forward from inside a speeding stretch", {1648, 1649, 1650, 1652}},
        {"backward", {1000, 999}},
        {"backward one at a time", {1000, 999, 998, 997}},
        {"jump", {10, 2500}},
        {"to the last frame", {2990, 2997, 2998, 2999}},
        {"back to the first frame", {1500, 0}},
        {"resized", {1000, 1001}, 900, 1, 1.0f, "", false, 641},
        {"amplitude changed", {1000, 1001}, 641, 3},
        {"two pixels a sample", {1000, 1001, 1003, 1002}, 1282, 1, 2.0f},
        {"X level at the left edge", {1260, 1261, 1262, 1263, 1264}, 641, 1, 1.0f, "X"},
        {"Z level throughout", {1000, 1001, 1002}, 641, 1, 1.0f, "Z*"},
        {"Y hidden", {1000, 1001, 1002}, 641, 1, 1.0f, "", true},
    };
    for (const auto& c : cases) {
        std::vector<fx::RawRecord> records = BusyRecords(3000);
        const bool all = std::strchr(c.level, '*') != nullptr;
        for (int i = all ? 0 : 1000; i < (all ? 3000 : 1040); ++i) {
            if (std::strchr(c.level, 'X')) records[std::size_t(i)].accelX = "+0000";
            if (std::strchr(c.level, 'Z')) records[std::size_t(i)].accelZ = "+0000";
        }
        FrontChannelData data(records);
        ASSERT_TRUE(data.Ready());
        // Made first: a graph's fonts are made anew with it, which the kept one would take
        // for a change of its ground.
        Graph fresh(c.width, 3000, c.scale);
        Graph kept(c.widthBefore ? c.widthBefore : c.width, 3000, c.scale);
        for (Graph* g : {&fresh, &kept}) g->dlg.SetDetectorFlags(DETECTOR_AXIS_Y, !c.hideY);
        fresh.dlg.SetAmplitudeMode(c.mode);
        for (std::size_t k = 0; k + 1 < c.frames.size(); ++k) kept.Paint(c.frames[k]);
        kept.dlg.resize(c.width, int(120 * c.scale));
        kept.dlg.SetAmplitudeMode(c.mode);
        const QImage keptPicture = kept.Paint(c.frames.back());
        EXPECT_TRUE(keptPicture == fresh.Paint(c.frames.back())) << c.move;
        for (int d = 0; d < DETECTOR_COUNT; ++d) {
            std::vector<int> keptX, freshX;
            for (const auto& p : kept.Markers(d)) keptX.push_back(p.x);
            for (const auto& p : fresh.Markers(d)) freshX.push_back(p.x);
            EXPECT_EQ(keptX, freshX) << c.move << ", detector " << d;
        }
    }
}

// The speeding band darkens the plot under it exactly as a blit of RGB(170, 0, 0) at alpha
// 127 over the picture without the band does.
TEST(GSensorGraph, TheSpeedingBandBlendsAsABlitOfItsColour) {
    for (const float scale : {1.0f, 1.5f}) {
        std::vector<fx::RawRecord> records = QuietRecords(60);
        for (int k = 20; k < 40; ++k) records[std::size_t(k)].speeding = 'D';
        FrontChannelData data(records);
        ASSERT_TRUE(data.Ready());
        Graph graph(641, 60, scale);
        const QImage banded = graph.Paint(0);
        graph.dlg.SetDetectorFlags(DETECTOR_SPEEDING, FALSE);
        QImage expected = graph.Paint(0);
        // The band's columns: where the bottom row changed.
        const int bottom = banded.height() - 1;
        int first = -1, last = -1;
        for (int x = 0; x < banded.width(); ++x)
            if (banded.pixel(x, bottom) != expected.pixel(x, bottom)) {
                if (first < 0) first = x;
                last = x;
            }
        ASSERT_GT(last - first, 150) << scale;
        const int bandHeight = int(32.5 * scale);
        QImage colour(int(1000 * scale), int(300 * scale), QImage::Format_RGB32);
        colour.fill(QColor(170, 0, 0));
        DeviceContext dc(&expected);
        BLENDFUNCTION blend;
        blend.SourceConstantAlpha = 127;
        dc.AlphaBlend(first, banded.height() - bandHeight, last + 1 - first, bandHeight, colour, 0, 0,
                      last + 1 - first, bandHeight, blend);
        // Right of the "#" marker and its text at the band's start.
        const QRect band(first + int(20 * scale), banded.height() - bandHeight, last - first - int(20 * scale),
                         bandHeight);
        EXPECT_TRUE(banded.copy(band) == expected.copy(band)) << scale;
        EXPECT_FALSE(banded.copy(band.translated(0, -bandHeight)) == banded.copy(band)) << scale << ": a grid";
    }
}

// The pane keeps its picture between ticks; another movie of the same length, whose
// records lie where the last one's did, is drawn afresh.
TEST(GSensorGraph, AnotherMovieIsDrawnAfresh) {
    std::vector<fx::RawRecord> records = QuietRecords(60);
    records[10].manual = 'D';
    FrontChannelData data(records);
    ASSERT_TRUE(data.Ready());
    Graph graph(641, 60);
    graph.Paint(0);
    ASSERT_EQ(graph.Markers(DETECTOR_MANUAL).size(), 1u);
    const int before = graph.Markers(DETECTOR_MANUAL)[0].x;
    {
        // The next movie decoded into the same vectors: its manual recording comes later.
        const ChannelsLock lock;
        std::vector<sSENSORRECORD>& sensor = g_aPlayChannel[0].scanners[kActiveScanner].sensor;
        sensor[10].event = EVENT_NONE;
        sensor[30].event = EVENT_MANUAL_RECORDING;
    }
    graph.Paint(0);
    ASSERT_EQ(graph.Markers(DETECTOR_MANUAL).size(), 1u);
    EXPECT_GT(graph.Markers(DETECTOR_MANUAL)[0].x, before);
}

// The grid is laid in tiles from the right edge leftward: at no width and no scale may a
// column between two tiles stay unpainted (a black seam across the graph). The widths
// run through every place a joint can fall on the pitch, at the window's own size and
// at a maximised one.
TEST(GSensorGraph, TheGridHasNoSeamAtAnyScaleOrWidth) {
    for (const float scale : {1.0f, 1.25f, 1.5f}) {
        test::ScaleScope scope(scale);
        const int pitch = int(5 * scale), tile = int(599 * scale), full = int(640 * scale);
        for (int width = 1; width <= 4000; ++width) {
            const std::vector<int> lefts = GraphTileLefts(width, tile, pitch);
            ASSERT_FALSE(lefts.empty()) << width;
            // Right to left, each on the pitch, reaching past both edges, no gap.
            EXPECT_GE(lefts.front() + tile, width) << scale << " " << width;
            EXPECT_LE(lefts.back(), 0) << scale << " " << width;
            for (std::size_t i = 0; i < lefts.size(); ++i) {
                EXPECT_EQ(lefts[i] % pitch, 0) << scale << " " << width;
                if (i > 0) {
                    EXPECT_GE(lefts[i] + tile, lefts[i - 1]) << scale << " " << width;
                }
            }
        }
        const int height = int(120 * scale);
        std::vector<int> widths;
        for (const int base : {full + tile, int(1120 * scale) - int(440 * scale), 1920 - int(440 * scale), 1900})
            for (int k = 0; k < 2 * pitch; ++k) widths.push_back(base + k);
        COffScreenDC offScreen{2000, 300};
        for (const int width : widths) {
            CGSensorDlg dlg;
            dlg.resize(width, height);
            dlg.LendOffScreen(&offScreen);
            dlg.ResetAxis();  // laid out: the graph takes its margins from the scale
            dlg.OnInitDialog();
            const QImage image = test::Render(dlg, qRgb(1, 2, 3));
            int seams = 0;
            for (int x = 0; x < width; ++x) {
                bool black = true;
                for (int y = 0; y < height && black; ++y) black = (image.pixel(x, y) & 0xFFFFFFu) == 0;
                seams += black;
            }
            EXPECT_EQ(seams, 0) << "scale " << scale << " width " << width;
        }
    }
}

// The main window tells the graph every frame; the graph paints only when the frame
// changes what it shows (the cursor's column, the scrolled plot), and always then.
TEST(GSensorGraph, AFrameThatShowsTheSameDoesNotRepaint) {
    const struct {
        const char* name;
        int frames;
        std::vector<int> shown;  // in turn, after the first
        bool curves = true;
    } cases[] = {
        {"fits the plot", 300, {100, 100, 101, 102, 150}},
        {"scrolls", 3000, {1000, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 2000}},
        {"without curves", 3000, {10, 10, 11, 12, 13, 14, 15, 16}, false},
    };
    for (const auto& c : cases) {
        FrontChannelData data(BusyRecords(c.frames));
        ASSERT_TRUE(data.Ready());
        QWidget window;
        window.resize(700, 200);
        Graph graph(641, c.frames);
        graph.dlg.ShowData(c.curves);
        graph.dlg.setParent(&window);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        test::PaintCounter counter(window);
        counter.Watch(graph.dlg);
        graph.dlg.ShowFrame(GraphFrameValues{c.shown.front()});
        ASSERT_TRUE(counter.NextPass()) << c.name;
        QImage before = test::Render(graph.dlg, qRgb(1, 2, 3));
        for (std::size_t k = 1; k < c.shown.size(); ++k) {
            const int paints = counter.Paints(graph.dlg);
            graph.dlg.ShowFrame(GraphFrameValues{c.shown[k]});
            ASSERT_TRUE(counter.NextPass()) << c.name;
            const bool painted = counter.Paints(graph.dlg) > paints;
            const QImage after = test::Render(graph.dlg, qRgb(1, 2, 3));
            EXPECT_EQ(painted, !(after == before)) << c.name << ", frame " << c.shown[k];
            before = after;
        }
    }
}

TEST(GSensorGraph, ClicksAskForThePreviousAndNextEvent) {
    test::RecordingWindow parent;
    Graph graph(641, 0);
    graph.dlg.SetOwner(parent.Handle());
    graph.dlg.ShowData(FALSE);
    graph.dlg.show();
    QTest::mouseClick(&graph.dlg, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseClick(&graph.dlg, Qt::RightButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseClick(&graph.dlg, Qt::MiddleButton, Qt::NoModifier, QPoint(100, 50));
    const std::vector<test::Posted> expected = {{WM_APP_GSENSOR_PREV_EVENT, 0, 0}, {WM_APP_GSENSOR_NEXT_EVENT, 0, 0}};
    EXPECT_EQ(parent.Take(), expected);

    // Without data the pane still paints its ground, labels and cursor, and nothing
    // without an off-screen context or tile step.
    const QImage image = graph.Paint(0);
    EXPECT_EQ(image.pixel(41, 50), qRgb(255, 255, 255)) << "cursor at the left margin";
    QImage target(641, 120, QImage::Format_RGB32);
    DeviceContext dc(&target);
    CGSensorDlg unlaid;  // never laid out: no tile step
    unlaid.resize(641, 120);
    unlaid.LendOffScreen(&graph.offScreen);
    unlaid.OnInitDialog();
    EXPECT_FALSE(unlaid.OnEraseBkgnd(&dc));
    graph.dlg.LendOffScreen(nullptr);
    EXPECT_FALSE(graph.dlg.OnEraseBkgnd(&dc));
}


}  // namespace
}  // namespace orv
