// Both cameras on screen and the satellite windows around them, with the real window on a
// small card: the rear surface plays the rear movie in step with the front and paints black
// without one, the map window's close box switches the map off and a double click on the
// rear brings it back, and the gauge window and the tall info panel fit the layout at each
// scale. Meant to run under an X server (Xvfb) as well as offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "app/window/MainWindowParts.h"
#include "app/window/MainWindowFixture.h"
#include "app/window/MovieFrameCheck.h"
#include "app/commands/ControlRules.h"
#include "app/window/CsulvaneDlg.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "ui/SkinSliderCtrl.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/InternetConnection.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr int kFps = 10;
constexpr int kFrames = 80;

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    return fixtures::RunUntil(done, timeout);
}

QRect GlobalRect(const QWidget* widget) { return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()); }

// The brightest channel of a picture: 0 for an all-black one.
int Brightest(const QImage& picture) {
    int most = 0;
    const QImage p = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            const QRgb c = p.pixel(x, y);
            most = std::max({most, qRed(c), qGreen(c), qBlue(c)});
        }
    return most;
}

// A card of two recordings: the first with its rear companion (a movie of another size, so
// that its pictures cannot be taken for the front's), the second without one.
class CamerasFixture : public MainWindowFixture {
protected:
    static void SetUpTestSuite() {
        fixtures::DataBlock block;
        for (int k = 0; k < kFrames; ++k) {
            fixtures::RawRecord r;
            r.accelX = fixtures::SignedField(-250, 5);
            r.accelY = fixtures::SignedField(120, 5);
            r.accelZ = fixtures::SignedField(980, 5);
            block.records.push_back(r);
        }
        MakeCard({{kFrames, kFps, true, true, block}, {kFrames, kFps, false, true, block}});
    }
    // Whether the picture shows frame `frame` of the movie rather than one five frames on.
    static bool Shows(const QImage& picture, const std::string& movie, int frame) {
        static std::map<std::pair<std::string, int>, QImage> decoded;
        auto of = [&](int n) -> const QImage& {
            QImage& kept = decoded[{movie, n}];
            if (kept.isNull()) kept = DecodeMovieFrame(movie, n);
            return kept;
        };
        // The picture is made at the size it is shown at: ffmpeg's is scaled to it.
        const auto at = [&](int n) {
            const QImage reference = of(n).scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return MeanDifference(picture, reference);
        };
        const double same = at(frame);
        return same < 6.0 && same < at(frame + 5);
    }
    // Which frame near `near` the picture shows; -1 when none of them.
    static int ShownFrame(const QImage& picture, const std::string& movie, int near) {
        for (int n = std::max(0, near - 6); n <= near + 6; ++n)
            if (Shows(picture, movie, n)) return n;
        return -1;
    }
};

TEST_F(CamerasFixture, RearSurfacePlaysTheRearMovieInStepWithTheFront) {
    CsulvaneDlg& dlg = OpenRecording();
    CMovieStatic& rear = dlg.RearSurface();
    ASSERT_TRUE(rear.IsCreated());
    EXPECT_TRUE(rear.isVisible());
    // Beside the video, with the front surface's styles.
    EXPECT_EQ(rear.geometry().left(), dlg.FrontSurface().geometry().right() + 1);
    EXPECT_EQ(rear.testAttribute(Qt::WA_OpaquePaintEvent), dlg.FrontSurface().testAttribute(Qt::WA_OpaquePaintEvent));

    // Paused at a frame, each surface shows that frame of its own movie.
    for (int frame : {0, 23, 51}) {
        dlg.SeekToFrame(frame, PLAY_PAUSED);
        EXPECT_TRUE(RunUntil([&] { return Shows(rear.LastFrame(), RearMovie(1), frame); })) << frame;
        EXPECT_TRUE(RunUntil([&] { return Shows(dlg.FrontSurface().LastFrame(), FrontMovie(1), frame); })) << frame;
        EXPECT_FALSE(rear.PaintsBlack()) << frame;
        // Each picture is made at the size its surface shows it (keeping the aspect; its width
        // made even), not at the movie's: no surface costs more than its own size.
        for (const CMovieStatic* surface : {&rear, &dlg.FrontSurface()}) {
            const QSize picture = surface->LastFrame().size();
            const int even = (surface->width() + 1) & ~1;
            EXPECT_TRUE(picture.width() % 2 == 0 && picture.width() <= even && picture.height() <= surface->height() &&
                        (picture.width() == even || picture.height() == surface->height()))
                << frame << ": " << picture.width() << "x" << picture.height() << " in " << surface->width() << "x"
                << surface->height();
        }
    }
    // Played on and paused: still the same frame on both.
    dlg.OnCommand(ID_PLAY_PAUSE);
    ASSERT_TRUE(RunUntil([] { return FrontFrame() >= 40; }));  // before the end margin
    dlg.OnCommand(ID_PLAY_PAUSE);
    ASSERT_TRUE(RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PAUSED; }));
    // The frame the front shows (the channel's count may run a frame or two behind the
    // picture), and the rear shows the same one.
    int shownFront = -1;
    EXPECT_TRUE(RunUntil([&] { return (shownFront = ShownFrame(dlg.FrontSurface().LastFrame(), FrontMovie(1), FrontFrame())) >= 0; }));
    EXPECT_TRUE(RunUntil([&] { return Shows(rear.LastFrame(), RearMovie(1), shownFront); })) << shownFront;
    // Drawn where the surface is, inside its black bands (the picture keeps its aspect).
    const QImage shown = rear.grab().toImage();
    EXPECT_GT(Brightest(shown.copy(shown.rect().center().x() - 20, shown.rect().center().y() - 20, 40, 40)), 64);
    EXPECT_EQ(Brightest(shown.copy(0, 0, shown.width(), 4)), 0);
    dlg.OnBtnClose();
}

// A paused picture is drawn again for every new size of its surface (a layout mode, a new
// scale): fitted to it, not left at the size of the surface before.
TEST_F(CamerasFixture, PausedPictureIsMadeAgainForEachLayout) {
    CsulvaneDlg& dlg = OpenRecording();
    dlg.SeekToFrame(23, PLAY_PAUSED);
    ASSERT_TRUE(RunUntil([&] { return Shows(dlg.FrontSurface().LastFrame(), FrontMovie(1), 23); }));
    for (int mode : {LAYOUT_LARGE, LAYOUT_FULL_WIDTH, LAYOUT_BESIDE_BROWSER}) {
        dlg.LayoutForMode(mode);
        const CMovieStatic& front = dlg.FrontSurface();
        const auto fitted = [&] {
            const QSize picture = front.LastFrame().size();
            const int even = (front.width() + 1) & ~1;
            return picture.width() <= even && picture.height() <= front.height() &&
                   (picture.width() == even || picture.height() == front.height());
        };
        EXPECT_TRUE(RunUntil(fitted)) << mode << ": " << front.LastFrame().width() << "x" << front.LastFrame().height()
                                      << " in " << front.width() << "x" << front.height();
        EXPECT_TRUE(Shows(front.LastFrame(), FrontMovie(1), 23)) << mode;
    }
    dlg.OnBtnClose();
}

// Keep-aspect is the front picture's setting: switched off, the front fills its surface; the
// rear surface has the shape of the map's place, never a camera's, and its picture keeps its
// own shape either way.
TEST_F(CamerasFixture, RearPictureKeepsItsShapeWhateverTheKeepAspectSetting) {
    CsulvaneDlg& dlg = OpenRecording();
    dlg.SeekToFrame(23, PLAY_PAUSED);
    for (const bool keep : {false, true}) {
        if (bool(g_aPlayChannel[0].keepAspect) != keep) dlg.OnKeepAspect();
        ASSERT_EQ(bool(g_aPlayChannel[0].keepAspect), keep);
        EXPECT_EQ(g_aPlayChannel[1].keepAspect, 1) << keep;
        const CMovieStatic& front = dlg.FrontSurface();
        const CMovieStatic& rear = dlg.RearSurface();
        if (!keep) {
            EXPECT_TRUE(RunUntil([&] { return front.LastFrame().height() == front.height(); })) << front.LastFrame().height();
        }
        const auto shapeOf = [](const QImage& picture) { return double(picture.width()) / std::max(1, picture.height()); };
        EXPECT_TRUE(RunUntil([&] { return Shows(rear.LastFrame(), RearMovie(1), 23) && std::abs(shapeOf(rear.LastFrame()) - 16.0 / 9.0) < 0.03; }))
            << keep << ": " << rear.LastFrame().width() << "x" << rear.LastFrame().height() << " in " << rear.width() << "x"
            << rear.height();
    }
    dlg.OnBtnClose();
}

TEST_F(CamerasFixture, RearSurfacePaintsBlackForARecordingWithoutARear) {
    CsulvaneDlg& dlg = OpenRecording();
    CMovieStatic& rear = dlg.RearSurface();
    ASSERT_TRUE(RunUntil([&] { return Shows(rear.LastFrame(), RearMovie(1), 0); }));

    // The second recording has no rear movie: the front plays, the rear surface is black.
    Select(1);
    EXPECT_EQ(g_aPlayChannel[1].rearOpened, 0);
    dlg.OnCommand(ID_PLAY_PAUSE);
    EXPECT_TRUE(RunUntil([] { return FrontFrame() >= 15; }));
    EXPECT_TRUE(rear.PaintsBlack());
    EXPECT_EQ(Brightest(rear.grab().toImage()), 0);
    dlg.OnCommand(ID_PLAY_PAUSE);

    // Back to the first: its rear picture returns.
    Select(0);
    dlg.SeekToFrame(31, PLAY_PAUSED);
    EXPECT_TRUE(RunUntil([&] { return Shows(rear.LastFrame(), RearMovie(1), 31); }));
    EXPECT_FALSE(rear.PaintsBlack());
    dlg.OnBtnClose();
}

TEST_F(CamerasFixture, MapCloseBoxSwitchesTheMapOffAndTheRearBringsItBack) {
    CsulvaneDlg& dlg = OpenRecording();
    CMovieDialog& map = *dlg.MapWindow();
    CSkinButton& button = *test::TransportButtonOf(dlg, BTN_MAP_WINDOW);
    const struct {
        const char* name;
        std::function<void()> close;
    } ways[] = {
        {"close box", [&] { map.OnBtnClose(); }},
        {"window manager", [&] { map.close(); }},
        {"map button", [&] { dlg.OnCommand(ID_MAP_WINDOW); }},
    };
    for (const auto& way : ways) {
        if (!dlg.IsMapShown()) dlg.OnCommand(ID_MAP_WINDOW);
        ASSERT_TRUE(RunUntil([&] { return map.isVisible(); })) << way.name;
        way.close();
        EXPECT_TRUE(RunUntil([&] { return !dlg.IsMapShown(); })) << way.name;
        // Off as by the button, and it stays off while the movie plays on.
        const int from = FrontFrame();
        dlg.OnCommand(ID_PLAY_PAUSE);
        EXPECT_TRUE(RunUntil([&] { return FrontFrame() >= from + 5; })) << way.name;
        dlg.OnCommand(ID_PLAY_PAUSE);
        EXPECT_FALSE(map.isVisible()) << way.name;
        EXPECT_FALSE(button.IsLatched()) << way.name;
        EXPECT_FALSE(dlg.MapBridge()->GetConnection().IsMapEnabled()) << way.name;
        EXPECT_TRUE(dlg.RearSurface().isVisible()) << way.name;

        // A double click on the rear picture brings the map back over it, switched on.
        dlg.RearSurface().OnLButtonDblClk(0, POINT{10, 10});
        EXPECT_TRUE(dlg.IsMapShown()) << way.name;
        EXPECT_TRUE(button.IsLatched()) << way.name;
        EXPECT_TRUE(RunUntil([&] { return map.isVisible() && map.geometry() == GlobalRect(&dlg.RearSurface()); }))
            << way.name << " map at " << map.geometry().x() << "," << map.geometry().y();
        dlg.SeekToFrame(0, PLAY_PAUSED);
    }
    dlg.OnBtnClose();
}

TEST_F(CamerasFixture, GaugeWindowLiesOverTheInfoPanelAndGraphAtEachScaleAndMode) {
    CsulvaneDlg& dlg = OpenRecording();
    dlg.OnCommand(ID_OBD_WINDOW);
    CObdDlg& gauges = *dlg.ObdWindow();
    ASSERT_TRUE(RunUntil([&] { return gauges.isVisible(); }));
    const struct {
        int workHeight;  // 1056 pixels are scale 1.0
        float scale;
        int mode;
    } cases[] = {{1056, 1.0f, 0}, {1056, 1.0f, 1}, {1584, 1.5f, 0}, {1584, 1.5f, 1}, {1056, 1.0f, 0}};
    for (const auto& c : cases) {
        MoveToWorkArea(RECT{0, 0, 2560, c.workHeight});
        ASSERT_FLOAT_EQ(g_fScale, c.scale);
        dlg.LayoutForMode(c.mode);
        QRect panes = GlobalRect(dlg.InfoPanel());
        if (c.mode == LAYOUT_BESIDE_BROWSER) panes = panes.united(GlobalRect(test::ChildPaneOf<CGSensorDlg>(dlg)));
        EXPECT_TRUE(RunUntil([&] { return gauges.geometry() == panes; }))
            << c.scale << " mode " << c.mode << ": " << gauges.geometry().width() << "x" << gauges.geometry().height();
        EXPECT_TRUE(dlg.geometry().contains(gauges.geometry())) << c.scale << " mode " << c.mode;
        EXPECT_FALSE(gauges.geometry().intersects(GlobalRect(dlg.SeekSlider()))) << c.scale << " mode " << c.mode;
        for (int i = 0; i < kTransportButtonCount; ++i) {
            const CSkinButton* button = test::TransportButtonOf(dlg, i);
            if (button->isVisible()) {
                EXPECT_FALSE(gauges.geometry().intersects(GlobalRect(button))) << c.scale << " mode " << c.mode << " " << i;
            }
        }
        // The dials take the window's width or its height.
        const RECT first = gauges.GaugeRect(0), last = gauges.GaugeRect(2);
        const QRect combo = gauges.Combo(0)->geometry();
        const bool wide = last.right - first.left >= gauges.width() * 9 / 10;
        const bool tall = combo.bottom() - first.top >= (gauges.height() - Scaled(20)) * 8 / 10;
        EXPECT_TRUE(wide || tall) << c.scale << " mode " << c.mode;
        EXPECT_LE(combo.bottom(), gauges.height()) << c.scale << " mode " << c.mode;
    }
    dlg.OnBtnClose();
}

TEST_F(CamerasFixture, LargeInfoPanelShowsItsGValuesWhole) {
    CsulvaneDlg& dlg = OpenRecording();
    dlg.SeekToFrame(30, PLAY_PAUSED);
    ASSERT_TRUE(RunUntil([&] { return dlg.InfoPanel()->Position() == 30; }));
    for (const auto& [workHeight, scale] : {std::pair{1056, 1.0f}, std::pair{1584, 1.5f}}) {
        MoveToWorkArea(RECT{0, 0, 2560, workHeight});
        ASSERT_FLOAT_EQ(g_fScale, scale);
        dlg.LayoutForMode(LAYOUT_LARGE);
        CInfoDlg& info = *dlg.InfoPanel();
        ASSERT_TRUE(info.isVisible());
        const QImage face = info.grab().toImage().convertToFormat(QImage::Format_RGB32);
        // The X axis is written in green, its label and under it its value ("-0.25G").
        int lowest = -1;
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < Scaled(180); ++x) {
                const QRgb c = face.pixel(x, y);
                if (qGreen(c) > 150 && qRed(c) < 100 && qBlue(c) < 100) lowest = y;
            }
        EXPECT_GE(lowest, Scaled(100)) << scale << ": the value is drawn below its label";
        EXPECT_LT(lowest, face.height() - Scaled(2)) << scale << ": the value ends inside the panel";
        EXPECT_LE(GlobalRect(&info).bottom(), GlobalRect(test::TransportButtonOf(dlg, 0)).top()) << scale;
    }
    dlg.OnBtnClose();
}

}  // namespace
}  // namespace orv
