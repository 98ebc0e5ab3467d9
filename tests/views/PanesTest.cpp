// The info panel and the vehicle-gauge window, driven offscreen.
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PaintCounter.h"
#include "ViewsTestSupport.h"
#include "ui/ControlTestSupport.h"
#include "ui/OffScreenDC.h"
#include "ui/ResourceImage.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"

namespace orv {
namespace {

struct Panel {
    test::ScaleScope scale{1.0f};
    QWidget main;
    COffScreenDC offScreen{1120, 700};
    CResourceImage images;
    CInfoDlg* panel = new CInfoDlg(&main);

    Panel() {
        main.resize(1120, 700);
        images.LoadImages(&main);
        SetUp(panel);
        main.show();
    }
    void SetUp(CInfoDlg* dlg) {
        dlg->setGeometry(0, 0, 1000, 160);
        dlg->LendOffScreen(&offScreen);
        dlg->SetOwner(0, &images);
        dlg->OnInitDialog();
    }
    CSkinButton* Button(int axis) {
        for (CSkinButton* b : panel->findChildren<CSkinButton*>())
            if (b->GetDlgCtrlID() == CInfoDlg::kAxisButtonFirst + axis) return b;
        return nullptr;
    }
};

TEST(InfoPanel, AxisButtonsToggleAndTellTheMainWindow) {
    test::RecordingWindow parent;
    Panel p;
    p.panel->SetOwner(parent.Handle(), &p.images);
    p.panel->SetDrawMode(0);
    p.panel->repaint();
    ASSERT_NE(p.Button(1), nullptr);
    QTest::mouseClick(p.Button(1), Qt::LeftButton);
    EXPECT_FALSE(p.panel->IsAxisPressed(1));
    QTest::mouseClick(p.Button(1), Qt::LeftButton);
    EXPECT_TRUE(p.panel->IsAxisPressed(1));
    const std::vector<test::Posted> expected = {{WM_APP_INFO_AXIS_TOGGLE, 1, 0}, {WM_APP_INFO_AXIS_TOGGLE, 1, 1}};
    EXPECT_EQ(parent.Take(), expected);
}

// Each draw mode paints where it should: modes 0 and 1 in the panel with their own
// buttons' visibility, mode 2 only in the strip along the main window's bottom.
TEST(InfoPanel, DrawModes) {
    Panel p;
    p.panel->SetRecording(5, SYSTEMTIME{2024, 4, 6, 13, 10, 15, 0, 0}, QStringLiteral("タイトル"));
    p.panel->SetFrameInterval(33.3f);
    InfoFrameValues frame;
    frame.nPosition = 30;
    frame.dAccelX = 0.29;
    frame.bGpsValid = TRUE;
    frame.dSpeed = 42.0;
    p.panel->ShowFrame(frame);
    for (const int mode : {0, 1, 2}) {
        p.panel->SetDrawMode(mode);
        QImage window(1120, 700, QImage::Format_RGB32);
        window.fill(qRgb(1, 2, 3));
        DeviceContext dc(&window);
        EXPECT_TRUE(p.panel->DrawInfoPanel(&dc)) << mode;
        EXPECT_EQ(p.Button(0)->isVisible(), mode == 0) << mode;
        const QRect inPanel = test::InkBox(window, QRect(0, 0, 1000, 160), qRgb(1, 2, 3));
        const QRect inStrip = test::InkBox(window, QRect(400, 666, 720, 30), qRgb(1, 2, 3));
        EXPECT_EQ(inPanel.isNull(), mode == 2) << mode;
        EXPECT_EQ(inStrip.isNull(), mode != 2) << mode;
    }
    p.panel->LendOffScreen(nullptr);
    QImage window(10, 10, QImage::Format_RGB32);
    DeviceContext dc(&window);
    EXPECT_FALSE(p.panel->DrawInfoPanel(&dc)) << "nothing without the off-screen context";

    p.panel->ResetInfoValues();
    EXPECT_EQ(p.panel->Speed(), kNoSpeedValue);
    EXPECT_EQ(p.panel->Vehicle().nAngleRaw, kNoSteeringRaw);
    EXPECT_EQ(p.panel->RecMark(), 'M');
    p.panel->SetDataFormat(FALSE, '3');
    p.panel->SetVehicleValues(2, 16383, 1, 0x01);
    EXPECT_EQ(p.panel->Vehicle().nVehicleState, 2);
    EXPECT_EQ(p.panel->Vehicle().nAngleRaw, kNoSteeringRaw);
}

// A frame tells the panel only what it has: what it lacks stays as shown (speed, voltage
// and drive support without a GPS record, the mark without a record), the rest follows.
TEST(InfoPanel, ShowFrameKeepsWhatTheFrameDoesNotGive) {
    struct Case {
        const char* name;
        InfoFrameValues frame;
        double speed;
        int voltage, mark, turnSignal;
    };
    InfoFrameValues full;
    full.nPosition = 12;
    full.dAccelX = 0.5;
    full.nRecMark = 'r';
    full.bGpsValid = TRUE;
    full.dSpeed = 88.0;
    full.nVoltage10 = 131;
    full.vehicle = VehicleReadings{1, 8192, 0, 'A'};
    InfoFrameValues noGps = full;
    noGps.bGpsValid = FALSE;
    noGps.dSpeed.reset();
    noGps.nVoltage10.reset();
    noGps.vehicle.reset();
    InfoFrameValues noRecord;
    noRecord.nPosition = 13;
    const Case cases[] = {
        {"full", full, 88.0, 131, 'r', 1},
        {"no GPS record", noGps, 42.0, 124, 'r', 2},
        {"no record", noRecord, 42.0, 124, 'M', 2},
    };
    for (const Case& c : cases) {
        Panel p;
        p.panel->SetDataFormat(FALSE, '3');
        InfoFrameValues before;
        before.bGpsValid = TRUE;
        before.dSpeed = 42.0;
        before.nVoltage10 = 124;
        before.vehicle = VehicleReadings{2, 8192, 0, 'A'};
        p.panel->ShowFrame(before);
        p.panel->ShowFrame(c.frame);
        EXPECT_EQ(p.panel->Position(), c.frame.nPosition) << c.name;
        EXPECT_EQ(p.panel->AccelX(), c.frame.dAccelX) << c.name;
        EXPECT_EQ(p.panel->GpsValid(), c.frame.bGpsValid) << c.name;
        EXPECT_EQ(p.panel->Speed(), c.speed) << c.name;
        EXPECT_EQ(p.panel->Voltage10(), c.voltage) << c.name;
        EXPECT_EQ(p.panel->RecMark(), c.mark) << c.name;
        EXPECT_EQ(p.panel->Vehicle().nVehicleState, c.turnSignal) << c.name;
    }
}

// One step of what the main window tells the panel: a frame, and maybe a new layout or title.
struct PanelStep {
    PanelStep(const InfoFrameValues& f, int m = 0, std::optional<QString> t = std::nullopt, float e = 1.0f,
              int left = 0)
        : frame(f), mode(m), title(std::move(t)), extra(e), titleLeft(left) {}
    InfoFrameValues frame;
    int mode;
    std::optional<QString> title;
    float extra;
    int titleLeft;  // of the compact strip

    void ApplyTo(CInfoDlg& dlg) const {
        dlg.SetDrawMode(mode);
        dlg.SetExtraScale(extra);
        dlg.SetCompactTitleLeft(titleLeft);
        if (title) dlg.SetTitle(*title);
        dlg.ShowFrame(frame);
    }
};

InfoFrameValues PanelFrame(int position, double g, std::optional<double> speed = std::nullopt, int mark = 0) {
    InfoFrameValues f;
    f.nPosition = position;
    f.dAccelX = g;
    f.dAccelY = -g / 2;
    f.dAccelZ = 1.0 - g;
    f.bGpsValid = speed.has_value();
    f.dSpeed = speed;
    if (mark) f.nRecMark = mark;
    return f;
}

// The panel keeps its composed picture and the fitted title between paintings; after any
// run of frames and changes it shows exactly what a panel painting only the last state shows.
TEST(InfoPanel, AKeptPictureShowsWhatAFreshOneShows) {
    const QString longTitle = QStringLiteral("AG_S-120000-000001 \u9577\u3044\u984c\u540d ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789");
    const struct {
        const char* name;
        std::vector<PanelStep> steps;  // painted in turn; the last is compared
    } cases[] = {
        {"values change", {{PanelFrame(30, 0.29, 42.0)}, {PanelFrame(31, -0.51, 43.0)}, {PanelFrame(62, 1.25, 44.0)}}},
        {"values go and come back", {{PanelFrame(30, 0.29, 42.0)}, {PanelFrame(31, kNoGValue)}, {PanelFrame(30, 0.29, 42.0)}}},
        {"GPS lost", {{PanelFrame(30, 0.29, 42.0)}, {PanelFrame(31, 0.29)}}},
        {"mark changes", {{PanelFrame(30, 0.29, 42.0, 'R')}, {PanelFrame(31, 0.29, 42.0, 'M')}}},
        {"layout changes", {{PanelFrame(30, 0.29, 42.0)}, {PanelFrame(30, 0.29, 42.0), 1}, {PanelFrame(31, 0.3), 0}}},
        {"widened layout", {{PanelFrame(30, 0.29)}, {PanelFrame(30, 0.29), 0, std::nullopt, 1.15f}}},
        {"title changes", {{PanelFrame(30, 0.29), 0, QStringLiteral("short")}, {PanelFrame(30, 0.29), 0, longTitle}}},
        {"long title in both layouts",
         {{PanelFrame(30, 0.29), 1, longTitle}, {PanelFrame(30, 0.29), 0}, {PanelFrame(31, 0.29), 1}}},
        {"title gone", {{PanelFrame(30, 0.29), 0, longTitle}, {PanelFrame(30, 0.29), 0, QString()}}},
        {"compact strip's title narrowed",
         {{PanelFrame(30, 0.29), 2, longTitle}, {PanelFrame(30, 0.29), 2, std::nullopt, 1.0f, 440}}},
    };
    for (const auto& c : cases) {
        Panel p;
        CInfoDlg* fresh = new CInfoDlg(&p.main);
        p.SetUp(fresh);
        for (CInfoDlg* dlg : {p.panel, fresh}) dlg->SetRecording(5, SYSTEMTIME{2024, 4, 6, 13, 10, 15, 0, 0}, QString());
        for (CInfoDlg* dlg : {p.panel, fresh}) dlg->SetFrameInterval(33.3f);
        // The widget as painted, and what it draws into the main window's picture (mode 2:
        // the compact strip).
        auto pictures = [&p](CInfoDlg& dlg) {
            QImage window(p.main.size(), QImage::Format_RGB32);
            window.fill(qRgb(1, 2, 3));
            DeviceContext dc(&window);
            dlg.DrawInfoPanel(&dc);
            return std::pair{test::Render(dlg, qRgb(1, 2, 3)), window};
        };
        std::pair<QImage, QImage> kept;
        for (const PanelStep& step : c.steps) {
            step.ApplyTo(*p.panel);
            step.ApplyTo(*fresh);
            kept = pictures(*p.panel);
        }
        const auto [widget, window] = pictures(*fresh);
        EXPECT_TRUE(kept.first == widget) << c.name;
        EXPECT_TRUE(kept.second == window) << c.name;
    }
}

// The main window asks the panel to repaint on every frame; the panel paints only when it
// would show something else: another text, mark or icon, not merely another value.
TEST(InfoPanel, AFrameThatShowsTheSameDoesNotRepaint) {
    const struct {
        const char* name;
        PanelStep step;  // after the panel showed PanelFrame(10, 0.29, 42.0, 'M')
        bool paints;
    } cases[] = {
        {"same values", {PanelFrame(10, 0.29, 42.0, 'M')}, false},
        {"next frame in the same second", {PanelFrame(11, 0.29, 42.0, 'M')}, false},
        {"G differing below the shown digits", {PanelFrame(10, 0.2901, 42.0, 'M')}, false},
        {"speed differing below the shown digits", {PanelFrame(10, 0.29, 42.2, 'M')}, false},
        {"G", {PanelFrame(10, 0.31, 42.0, 'M')}, true},
        {"speed", {PanelFrame(10, 0.29, 50.0, 'M')}, true},
        {"GPS lost", {PanelFrame(10, 0.29)}, true},
        {"next second", {PanelFrame(40, 0.29, 42.0, 'M')}, true},
        {"mark", {PanelFrame(10, 0.29, 42.0, 'R')}, true},
        {"layout", {PanelFrame(10, 0.29, 42.0, 'M'), 1}, true},
        {"title", {PanelFrame(10, 0.29, 42.0, 'M'), 0, QStringLiteral("another")}, true},
    };
    for (const auto& c : cases) {
        Panel p;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.main));
        test::PaintCounter counter(p.main);
        counter.Watch(*p.panel);
        p.panel->SetRecording(5, SYSTEMTIME{2024, 4, 6, 13, 10, 15, 0, 0}, QString());
        p.panel->SetFrameInterval(33.3f);
        // Shows `step` as the main window does, and waits for the painting pass after it.
        auto show = [&](const PanelStep& step) {
            step.ApplyTo(*p.panel);
            p.panel->UpdateIfChanged();
            return counter.NextPass();
        };
        // Twice: the axis buttons first shown by the first painting are painted (over the
        // panel) in the pass after it.
        for (int settle = 0; settle < 2; ++settle) ASSERT_TRUE(show(PanelStep{PanelFrame(10, 0.29, 42.0, 'M')})) << c.name;
        ASSERT_GT(counter.Paints(*p.panel), 0) << c.name;
        const int before = counter.Paints(*p.panel);
        ASSERT_TRUE(show(c.step)) << c.name;
        EXPECT_EQ(counter.Paints(*p.panel) > before, c.paints) << c.name;
    }
}

// A title of any length stays on its line, clear of the date, the speed and the G values,
// in every draw mode, at every scale and with the widened layout of a maximised window.
TEST(InfoPanel, ALongTitleStaysClearOfTheOtherTexts) {
    struct Case {
        int mode;
        float scale;
        float extra;   // the extra scale of layout 0
        int reserved;  // mode 2: design pixels of the strip taken by what the main window shows left of it
    };
    const Case cases[] = {{0, 0.75f, 1.0f, 0}, {0, 1.0f, 1.0f, 0}, {0, 1.5f, 1.15f, 0}, {1, 0.75f, 1.0f, 0},
                          {1, 1.0f, 1.0f, 0},  {1, 1.5f, 1.0f, 0},  {2, 0.75f, 1.0f, 0}, {2, 1.0f, 1.0f, 0},
                          {2, 1.5f, 1.0f, 0},  {2, 1.0f, 1.0f, 40}, {2, 1.5f, 1.0f, 40}};
    const QString title =
        QStringLiteral("AG_S-120000-000001 \u9577\u3044\u984c\u540d ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 abcdefghijklmnopqrstuvwxyz");
    for (const Case& c : cases) {
        test::ScaleScope scale(c.scale);
        auto T = [&](int design) { return int(float(design) * c.scale); };
        auto F = [&](int pixels) { return int(float(pixels) * c.extra); };
        QWidget main;
        main.resize(T(1120), T(700));
        COffScreenDC offScreen{2000, 1200};
        CResourceImage images;
        images.LoadImages(&main);
        CInfoDlg* panel = new CInfoDlg(&main);
        panel->setGeometry(0, 0, T(1000), T(160));
        panel->LendOffScreen(&offScreen);
        panel->SetOwner(0, &images);
        panel->OnInitDialog();
        panel->SetDrawMode(c.mode);
        panel->SetExtraScale(c.extra);
        panel->SetRecording(5, SYSTEMTIME{2024, 4, 6, 13, 10, 15, 0, 0}, QString());
        panel->SetFrameInterval(100.0f);
        InfoFrameValues frame;
        frame.nPosition = 30;
        frame.dAccelX = frame.dAccelY = frame.dAccelZ = -1.25;
        frame.bGpsValid = TRUE;
        frame.dSpeed = 128.0;
        panel->ShowFrame(frame);
        panel->SetCompactTitleLeft(c.reserved ? T(400) + T(c.reserved) : 0);
        auto draw = [&] {
            QImage window(main.size(), QImage::Format_RGB32);
            window.fill(qRgb(1, 2, 3));
            DeviceContext dc(&window);
            panel->DrawInfoPanel(&dc);
            return window;
        };
        const QImage without = draw();
        panel->SetTitle(title);
        const QImage with = draw();
        QRect ink;
        for (int y = 0; y < with.height(); ++y)
            for (int x = 0; x < with.width(); ++x)
                if (with.pixel(x, y) != without.pixel(x, y)) ink |= QRect(x, y, 1, 1);
        const std::string name =
            "mode " + std::to_string(c.mode) + " at " + std::to_string(c.scale) + " from " + std::to_string(c.reserved);
        ASSERT_FALSE(ink.isNull()) << name;

        // Where the other texts are (left, top, right, bottom; right and bottom exclusive).
        const int W = main.width(), H = main.height();
        std::vector<RECT> others;
        if (c.mode == 0) {
            others = {{F(T(26)), T(7), T(200) + F(T(26)), T(26)},                // date
                      {F(T(449)), T(7), F(T(449)) + T(100), T(28) + T(4)},         // speed and its unit
                      {0, T(40), W, H}};                                           // G values and below
        } else if (c.mode == 1) {
            others = {{T(20), T(7), T(350), T(42)}, {T(570), T(7), T(718), T(42) + T(8)}, {0, T(50), W, H}};
        } else {
            const RECT strip{T(400), H - T(34), W, H - T(4)};
            others = {{strip.left + T(170), strip.top, W, strip.bottom},  // date, then speed
                      {0, 0, W, strip.top}, {0, strip.bottom, W, H}, {0, 0, strip.left + T(c.reserved), H}};
        }
        for (const RECT& r : others) {
            const QRect other(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
            EXPECT_FALSE(ink.intersects(other)) << name << ": the title's ink " << ink.left() << "," << ink.top()
                                                << " .. " << ink.right() << "," << ink.bottom() << " meets "
                                                << r.left << "," << r.top << " .. " << r.right << "," << r.bottom;
        }
    }
}

struct Gauges {
    test::ScaleScope scale{1.0f};
    QWidget main;
    CResourceImage images;
    CObdDlg dlg;

    Gauges() {
        images.LoadImages(&main);
        dlg.SetOwner(0, &images);
        dlg.OnInitDialog();
        dlg.OpenAt(10, 10, 660, 230);
    }
    // The main window tells the window a frame that gives `slot` the value `value`.
    void Show(int slot, int value) {
        ObdFrameValues frame;
        frame.readings[std::size_t(slot)] = value;
        dlg.ShowFrame(frame);
    }
    // Timer ticks of `gauge` until its needle rests; the needle values on the way.
    std::vector<int> Sweep(int gauge) {
        std::vector<int> needles;
        const unsigned id = CObdDlg::kFirstTimerId + unsigned(gauge);
        dlg.OnTimer(id);
        while (dlg.GaugeState(gauge).bAnimating && needles.size() < 100) {
            needles.push_back(dlg.GaugeState(gauge).nNeedle);
            dlg.OnTimer(id);
        }
        return needles;
    }
};

TEST(ObdWindow, NeedlesSweepToTheirValues) {
    Gauges g;
    EXPECT_EQ(g.Sweep(0), std::vector<int>{}) << "throttle starts at 0 and stays";
    g.dlg.Combo(2)->setCurrentIndex(OBD_SPEED);
    g.Show(OBD_SLOT_SPEED, 21);
    EXPECT_EQ(g.Sweep(2), (std::vector<int>{8, 16, 18, 20, 21}));
    g.Show(OBD_SLOT_SPEED, 0);
    EXPECT_EQ(g.Sweep(2), (std::vector<int>{13, 5, 3, 1, 0}));
    g.Show(OBD_SLOT_SPEED, 350);
    EXPECT_EQ(g.Sweep(2).back(), 300);

    EXPECT_EQ(g.dlg.SelectedKind(1), OBD_ENGINE_SPEED);
    g.dlg.Combo(1)->setCurrentIndex(OBD_INTAKE_PRESSURE);
    EXPECT_EQ(g.dlg.GaugeState(1).nShown, 90) << "the kind's start value";
    g.Show(OBD_SLOT_INTAKE, 100);
    EXPECT_EQ(g.Sweep(1), (std::vector<int>{96, 97, 98, 99, 100}));

    // The value array is kept as coolant, intake, engine, throttle, speed.
    for (const int slot : {0, 1, 2, 3, 4}) g.Show(slot, (slot + 1) * 10);
    const int byKind[] = {40, 30, 20, 10, 50};
    for (int kind = 0; kind < OBD_KIND_COUNT; ++kind) EXPECT_EQ(g.dlg.GetValue(kind), byKind[kind]) << kind;
    EXPECT_EQ(g.dlg.GetValue(-1), 5);
    EXPECT_EQ(g.dlg.GetValue(5), 5);
}

TEST(ObdWindow, ChoosersAreFixedWhileAMoviePlays) {
    Gauges g;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    front.initialised = 1;
    for (const PlayState state : {PLAY_PLAYING, PLAY_PAUSED, PLAY_PLAYING, PLAY_STOPPED}) {
        front.playState = state;
        g.dlg.OnTimer(CObdDlg::kFirstTimerId);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(g.dlg.Combo(i)->isEnabled(), state != PLAY_PLAYING) << state;
    }
    front.playState = PLAY_CLOSED;
    front.initialised = 0;
}

TEST(ObdWindow, ClosingTellsTheOwner) {
    test::RecordingWindow owner;
    Gauges g;
    g.dlg.SetOwner(owner.Handle(), &g.images);
    ASSERT_TRUE(g.dlg.isVisible());
    ASSERT_TRUE(g.dlg.IsTimerRunning(CObdDlg::kFirstTimerId + 2));
    QTest::mouseClick(g.dlg.GetCloseButton(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
    EXPECT_FALSE(g.dlg.isVisible());
    for (unsigned i = 0; i < 3; ++i) EXPECT_FALSE(g.dlg.IsTimerRunning(CObdDlg::kFirstTimerId + i));
    g.dlg.OpenAt(10, 10, 660, 230);
    g.dlg.close();
    const std::vector<test::Posted> expected = {{WM_APP_OBD_CLOSED, 0, 0}, {WM_APP_OBD_CLOSED, 0, 0}};
    EXPECT_EQ(owner.Take(), expected);
}

// A pane made at one scale and laid out again by the main window at another must look as
// a pane made at that scale: its children's places and sizes, the numbers it lays out by,
// and its picture.
struct PaneFace {
    std::vector<QRect> places;
    std::vector<int> numbers;
    QImage picture;
    bool operator==(const PaneFace&) const = default;
};

class PaneRig {
public:
    virtual ~PaneRig() = default;
    // What the main window does to the pane when it lays it out at scale `s`.
    virtual void LayOut(float s) = 0;
    virtual PaneFace Face() = 0;
};

PaneFace ButtonsFace(QWidget& pane, std::vector<CSkinButton*> buttons) {
    PaneFace face;
    for (CSkinButton* b : buttons) {
        face.places.push_back(b->geometry());
        face.numbers.insert(face.numbers.end(), {b->m_nFrameWidth, b->m_nFrameHeight});
    }
    face.picture = test::Render(pane, qRgb(1, 2, 3));
    return face;
}

class InfoRig : public PaneRig {
public:
    InfoRig() {
        images.LoadImages(&main);
        panel->LendOffScreen(&offScreen);
        panel->SetOwner(0, &images);
        panel->SetRecording(0, SYSTEMTIME{}, QString());
        panel->OnInitDialog();
        main.show();
    }
    void LayOut(float s) override {
        main.resize(int(1120 * s), int(700 * s));
        panel->setGeometry(0, 0, int(1000 * s), int(160 * s));
        panel->SetDrawMode(0);
    }
    PaneFace Face() override {
        std::vector<CSkinButton*> buttons;
        for (int axis = 0; axis < 3; ++axis)
            for (CSkinButton* b : panel->findChildren<CSkinButton*>())
                if (b->GetDlgCtrlID() == CInfoDlg::kAxisButtonFirst + axis) buttons.push_back(b);
        return ButtonsFace(*panel, buttons);
    }

private:
    QWidget main;
    COffScreenDC offScreen{2000, 1200};
    CResourceImage images;
    CInfoDlg* panel = new CInfoDlg(&main);
};

class GraphRig : public PaneRig {
public:
    explicit GraphRig(int frames) {
        dlg.LendOffScreen(&offScreen);
        dlg.OnInitDialog();
        // Set by the main window when a movie opens, at the scale of that moment.
        dlg.ResetAxis();
        dlg.SetFrameCount(frames);
        dlg.ShowFrame(GraphFrameValues{frames / 2});
        dlg.ShowData(TRUE);
    }
    void LayOut(float s) override { dlg.resize(int(641 * s), int(120 * s)); }
    PaneFace Face() override {
        PaneFace face;
        face.picture = test::Render(dlg, qRgb(1, 2, 3));
        face.numbers = {dlg.LeftMargin(), dlg.TileStep()};
        return face;
    }

private:
    COffScreenDC offScreen{2000, 400};
    CGSensorDlg dlg;
};

class ObdRig : public PaneRig {
public:
    ObdRig() {
        images.LoadImages(&main);
        dlg.SetOwner(0, &images);
        dlg.OnInitDialog();
        dlg.OpenAt(10, 10, Scaled(640), Scaled(480));
    }
    void LayOut(float s) override { dlg.resize(int(640 * s), int(480 * s)); }
    PaneFace Face() override {
        PaneFace face = ButtonsFace(dlg, {dlg.GetCloseButton()});
        face.places.push_back(dlg.rect());
        for (int i = 0; i < 3; ++i) face.places.push_back(dlg.Combo(i)->geometry());
        return face;
    }

private:
    QWidget main;
    CResourceImage images;
    CObdDlg dlg;
};

TEST(PanesScale, LaidOutAgainEachPaneMatchesAFreshOneAtEachScale) {
    std::vector<fixtures::RawRecord> records = test::QuietRecords(60);
    records[10].manual = 'D';
    for (int k = 20; k < 40; ++k) records[std::size_t(k)].speeding = 'D';
    records[45].driveSupport = 'H';
    test::FrontChannelData data(records);
    ASSERT_TRUE(data.Ready());
    const struct {
        const char* pane;
        std::function<std::unique_ptr<PaneRig>()> make;
    } cases[] = {
        {"info panel", [] { return std::make_unique<InfoRig>(); }},
        {"G-sensor graph", [] { return std::make_unique<GraphRig>(60); }},
        {"OBD window", [] { return std::make_unique<ObdRig>(); }},
    };
    for (const auto& c : cases) {
        std::optional<test::ScaleScope> scale;
        scale.emplace(1.0f);
        const std::unique_ptr<PaneRig> pane = c.make();
        for (const float s : {1.0f, 1.5f, 1.0f}) {
            scale.reset();
            scale.emplace(s);
            pane->LayOut(s);
            const std::unique_ptr<PaneRig> fresh = c.make();
            fresh->LayOut(s);
            const PaneFace now = pane->Face(), expected = fresh->Face();
            EXPECT_EQ(now.places, expected.places) << c.pane << " at " << s;
            EXPECT_EQ(now.numbers, expected.numbers) << c.pane << " at " << s;
            EXPECT_TRUE(now.picture == expected.picture) << c.pane << " paints as a fresh one at " << s;
        }
    }
}

}  // namespace
}  // namespace orv
