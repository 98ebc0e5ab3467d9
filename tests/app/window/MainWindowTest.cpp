// The program's main window on a small card, offscreen, with the real engine and panes: it
// restores the source from the settings file, lists the recordings, opens the first one,
// plays it with every pane following the frame, seeks, moves on to the next recording and
// closes while playing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/window/MainWindowParts.h"
#include "app/commands/ControlRules.h"
#include "app/commands/SnapshotName.h"
#include "app/settings/SettingDlg.h"
#include "app/surface/MovieMenu.h"
#include "app/window/CsulvaneDlg.h"
#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FolderTreeCtrl.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/DemoStart.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "playback/ChannelFacade.h"
#include "playback/engine/CMFActivate.h"
#include "playback/engine/CPlayer.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "playback/engine/Transport.h"
#include "playback/presenter/EVRCustomPresenter.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/InfoTexts.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MapPageHost.h"
#include "views/map/MapScripts.h"
#include "views/map/MovieDialog.h"
#include "views/ObdDlg.h"
#include "ui/CommonUtil.h"
#include "ui/SkinButton.h"
#include "ui/SkinDialog.h"
#include "ui/SkinSliderCtrl.h"
#include "ui/text/UiText.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr int kFps = 10;  // one recorder record (100 ms) per video frame
constexpr int kSeconds = 5;
constexpr int kFrames = kFps * kSeconds;

// What the data block of recording `serial` holds at record k (= video frame k).
struct Plan {
    static int SpeedKmh(int serial, int k) { return 20 + serial * 10 + k; }
    static int AccelX(int k) { return 10 * k; }  // thousandths of g
    static int AccelY(int k) { return k; }       // a tenth of X throughout
    static int Voltage10(int k) { return 120 + k % 10; }
    // The recorder's frame table shows at frame f the record before it (a record is taken
    // once the frame has reached its time), and a sensor record shows the position and speed
    // of the GPS record four places earlier.
    static int SensorAt(int frame) { return frame >= 1 ? frame - 1 : 0; }
    // Two X-axis events; a jump goes to the frame of the event's record.
    static constexpr int kEventRecords[2] = {10, 25};
    static int EventFrame(int i) { return kEventRecords[i]; }
    static int GpsAt(int frame) { return SensorAt(frame) >= 4 ? SensorAt(frame) - 4 : 0; }
};

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return fixtures::RunUntil(done, timeout);
}

// The picture codes of recording `serial`'s movies (fixtures::ReadPictureCode).
int FrontCode(int serial) { return serial; }
int RearCode(int serial) { return 4 + serial; }

fixtures::PictureCode CodeOf(const QImage& picture) {
    if (picture.isNull()) return {};
    return fixtures::ReadPictureCode(picture.width(), picture.height(), [&](int x, int y) {
        return qGray(picture.pixel(std::clamp(x, 0, picture.width() - 1), std::clamp(y, 0, picture.height() - 1)));
    });
}

// The picture a channel's presenter has on screen, as the snapshot grabs it.
fixtures::PictureCode ShownCode(const CsulvaneDlg& dlg, int channel) {
    const ComPtr<CPlayer> player = dlg.Engine()->PlayerOf(g_aPlayChannel[channel]);
    const ComPtr<IMFVideoDisplayControl> display = player ? player->DisplayControl() : nullptr;
    BITMAPINFOHEADER header{};
    BYTE* dib = nullptr;
    DWORD size = 0;
    LONGLONG time = 0;
    if (!display || FAILED(display->GetCurrentImage(&header, &dib, &size, &time))) return {};
    // Bottom-up rows of 32-bit pixels.
    const QImage picture = QImage(dib, header.biWidth, header.biHeight, header.biWidth * 4, QImage::Format_RGB32)
                               .mirrored(false, true);
    CoTaskMemFree(dib);
    return CodeOf(picture);
}

// Stands between a video surface and the window: while it holds, the players' "ready"
// notices stay here (as from a player that never answers); Release hands them on late.
class ReadyHolder : public MovieSurfaceOwner {
public:
    explicit ReadyHolder(CsulvaneDlg& dlg) : dlg_(dlg) { dlg_.FrontSurface().m_pOwner = this; }
    ~ReadyHolder() override { dlg_.FrontSurface().m_pOwner = &dlg_; }
    void OnVideoClick(int surface, POINT point) override { dlg_.OnVideoClick(surface, point); }
    void OnVideoDblClk(int surface) override { dlg_.OnVideoDblClk(surface); }
    void OnVideoContextMenu(POINT point, int surface) override { dlg_.OnVideoContextMenu(point, surface); }
    void OnGraphNotify(WPARAM wParam, LPARAM lParam) override { dlg_.OnGraphNotify(wParam, lParam); }
    void OnMovieEnded(WPARAM wParam, LPARAM lParam) override { dlg_.OnMovieEnded(wParam, lParam); }
    void OnPlayerReady(int channel, WPARAM wParam, LPARAM lParam) override {
        held_.push_back({channel, wParam, lParam});
    }
    bool IsChannelShowing(int channel) const override { return dlg_.IsChannelShowing(channel); }

    bool Holding() const { return !held_.empty(); }
    WPARAM FirstTag() const { return held_.empty() ? 0 : held_.front().wParam; }
    // The surface reports to the window again, after the notices held.
    void Release() {
        dlg_.FrontSurface().m_pOwner = &dlg_;
        for (const Notice& n : held_) dlg_.OnPlayerReady(n.channel, n.wParam, n.lParam);
        held_.clear();
    }

private:
    struct Notice {
        int channel;
        WPARAM wParam;
        LPARAM lParam;
    };
    CsulvaneDlg& dlg_;
    std::vector<Notice> held_;
};

// The window started in the start folder of a card that each suite makes once (its
// SetUpTestSuite fills dir_ and writes the start folder's settings file).
class CardWindowTest : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
        SetRemovableMountProvider([] { return std::vector<std::string>(); });
        oldDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_->Path() + "/start");
    }
    void TearDown() override {
        std::filesystem::current_path(oldDir_);
        SetRemovableMountProvider(nullptr);
        SetFolderPicker(nullptr);
    }

    static fixtures::TempDir* dir_;
    std::filesystem::path oldDir_;
};

fixtures::TempDir* CardWindowTest::dir_ = nullptr;

class MainWindowTest : public CardWindowTest {
protected:
    static void SetUpTestSuite() {
        if (!fixtures::HaveFfmpeg()) return;
        dir_ = new fixtures::TempDir();
        for (int serial : {1, 2}) {
            fixtures::MovieSpec movie;
            movie.width = 320;
            movie.height = 180;
            movie.fpsNum = kFps;
            movie.seconds = kSeconds;
            movie.caption = "FRONT";
            movie.codeId = FrontCode(serial);
            ASSERT_TRUE(fixtures::MakeMovie(movie, MovieFile(serial, "front"), nullptr));
            movie.caption = "REAR";
            movie.codeId = RearCode(serial);
            ASSERT_TRUE(fixtures::MakeMovie(movie, MovieFile(serial, "rear"), nullptr));
        }
        const std::string card = dir_->Path() + "/card";
        BuildCard(card, {"A___", "A___"});
        // The settings file of the start folder names the card's movie folder as the last
        // folder source.
        ASSERT_TRUE(fixtures::WriteStartFolder(dir_->Path() + "/start", card + "/Video"));
    }

public:
    static std::string MovieFile(int serial, const char* camera) {
        return dir_->Path() + "/" + camera + std::to_string(serial) + ".mp4";
    }
    // A card with recordings 1 (12:00), 2 (12:01) and so on of the given name letters in
    // "Video", made of the suite's two movies in turn.
    static void BuildCard(const std::string& card, const std::vector<const char*>& letters) {
        fixtures::CardBuilder builder(card);
        for (int serial = 1; serial <= int(letters.size()); ++serial) {
            fixtures::DataBlock block;
            for (int k = 0; k < kFrames; ++k) {
                fixtures::RawRecord r;
                r.speed = fixtures::SpeedText(Plan::SpeedKmh(serial, k));
                r.accelX = fixtures::SignedField(Plan::AccelX(k), 5);
                r.accelY = fixtures::SignedField(Plan::AccelY(k), 5);
                r.voltage = std::to_string(Plan::Voltage10(k));
                r.latitude = fixtures::LatitudeText(35.0 + k * 0.0001);
                r.longitude = fixtures::LongitudeText(135.7 + k * 0.0001);
                if (k == Plan::kEventRecords[0] || k == Plan::kEventRecords[1]) r.axis = 'X';
                block.records.push_back(r);
            }
            fixtures::RecordingSpec params;
            // A copied card is not a drive of its own: its data files lie beside the movies.
            params.layout = -1;
            params.folder = "Video";
            params.letters = letters[std::size_t(serial - 1)];
            params.date = "220101";
            params.time = "12" + std::string(serial <= 10 ? "0" : "") + std::to_string(serial - 1) + "00";
            params.serial = serial;
            params.data = block;
            params.movieFile = MovieFile(2 - serial % 2, "front");
            params.companionFile = MovieFile(2 - serial % 2, "rear");
            ASSERT_FALSE(builder.AddRecording(params).empty());
        }
    }
};

int FrontFrame() { return g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]); }
PlayState FrontState() { return g_aPlayChannel[0].playState; }

TEST_F(MainWindowTest, PlaysTheRestoredCardWithEveryPaneAndClosesWhilePlaying) {
    std::vector<QString> messages;
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([&](const QString& text, const QString&) { messages.push_back(text); });
    dlg->OnInitDialog();
    ASSERT_FALSE(dlg->IsInitFailed());
    dlg->show();

    // Restored from the settings file, listed, and the first recording opened after the delay.
    ASSERT_TRUE(RunUntil([&] { return dlg->RowCount() == 2; }));
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 0 && FrontState() != PLAY_CLOSED; }));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(g_aPlayChannel[1].rearOpened, 1);
    EXPECT_NE(FrontState(), PLAY_PLAYING);  // a selection by the user opens at its first frame
    // What the open learnt of the recording went into the list's entry: the frame rate.
    const std::optional<sFILEENTRY> played = dlg->Browser()->GetList()->EntryAt(0);
    ASSERT_TRUE(played.has_value());
    EXPECT_FLOAT_EQ(played->sortKey3, float(kFps));
    // What acts on a loaded movie can be used at once, without another change of state.
    for (int button : {BTN_PLAY_PAUSE, BTN_SNAPSHOT, BTN_VIEW_LARGE_VIDEO, BTN_PLAY_NEXT})
        EXPECT_TRUE(test::TransportButtonOf(*dlg, button)->isEnabled()) << button;

    // Play; once a few frames went by, pause and read the panes at the frame on screen.
    dlg->OnCommand(ID_PLAY_PAUSE);
    for (int button : {BTN_PLAY_SLOW, BTN_PLAY_FAST, BTN_PLAY_STOP})  // usable while playing
        EXPECT_TRUE(test::TransportButtonOf(*dlg, button)->isEnabled()) << button;
    ASSERT_TRUE(RunUntil([&] { return dlg->InfoPanel()->Position() >= 12; }));
    dlg->OnCommand(ID_PLAY_PAUSE);
    ASSERT_EQ(FrontState(), PLAY_PAUSED);
    RunUntil([] { return false; }, 100ms);
    const CInfoDlg& info = *dlg->InfoPanel();
    const int frame = info.Position();
    EXPECT_LE(std::abs(FrontFrame() - frame), 1);
    const int k = Plan::SensorAt(frame);
    EXPECT_EQ(FormatSpeed(info.GpsValid(), info.Speed()), std::to_string(Plan::SpeedKmh(1, Plan::GpsAt(frame))) + " ");
    char g[16];
    std::snprintf(g, sizeof g, "%d.%02dG", Plan::AccelX(k) / 1000, Plan::AccelX(k) % 1000 / 10);
    EXPECT_EQ(FormatGValue(info.AccelX()), g);
    EXPECT_EQ(FormatVoltage(info.Voltage10()),
              std::to_string(Plan::Voltage10(k) / 10) + "." + std::to_string(Plan::Voltage10(k) % 10));
    // The recording started at 12:00:00 by its name; the frame lies frame / 10 s later.
    const auto when = FrameDateTime(info.StartTime(), frame, info.FrameInterval(), info.TimeLapse());
    ASSERT_TRUE(when.has_value());
    char date[32];
    std::snprintf(date, sizeof date, "2022/01/01 12:00:%02d", frame / kFps);
    EXPECT_EQ(FormatDateTime(*when), date);
    // The graph's cursor and the map's marker follow the same frame.
    EXPECT_EQ(test::ChildPaneOf<CGSensorDlg>(*dlg)->CurrentFrame(), frame);
    EXPECT_EQ(dlg->MapBridge()->RelJpgNum(), frame);
    EXPECT_TRUE(dlg->Road().HasPosition());

    // A seek to the last frame lands 20 frames before the end; the slider shows the request.
    dlg->SeekToFrame(kFrames - 1, PLAY_PAUSED);
    EXPECT_EQ(dlg->InfoPanel()->Position(), kFrames - 1);
    EXPECT_TRUE(RunUntil([] { return FrontFrame() == kFrames - 20; }, 10s)) << FrontFrame();

    // Continuous play: the end of the first recording opens the next one and plays it.
    dlg->OnCommand(ID_PLAY_PAUSE);
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().CurrentRow() == 1 && dlg->Road().DataLoaded() && FrontState() == PLAY_PLAYING; }));
    ASSERT_TRUE(RunUntil([&] { return dlg->InfoPanel()->Position() >= 3; }));
    EXPECT_EQ(dlg->InfoPanel()->Speed(), Plan::SpeedKmh(2, Plan::GpsAt(dlg->InfoPanel()->Position())));
    // The next recording's controls are back once it plays.
    for (int button : {BTN_PLAY_PAUSE, BTN_PLAY_PREV, BTN_PLAY_FAST, BTN_OPEN_SOURCE})
        EXPECT_TRUE(test::TransportButtonOf(*dlg, button)->isEnabled()) << button;

    // The end of the last recording selects it again and stops: no wrap to the first row.
    ASSERT_TRUE(RunUntil([] { return FrontState() != PLAY_PLAYING; }));
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && FrontState() != PLAY_CLOSED; }));
    EXPECT_EQ(dlg->Road().CurrentRow(), 1);
    EXPECT_NE(FrontState(), PLAY_PLAYING);
    EXPECT_LE(FrontFrame(), 1);

    // Closing while playing stops both channels, ends them and returns.
    dlg->OnCommand(ID_PLAY_PAUSE);
    ASSERT_TRUE(RunUntil([] { return FrontState() == PLAY_PLAYING; }));
    dlg->OnBtnClose();
    EXPECT_EQ(g_aPlayChannel[0].initialised, 0);
    EXPECT_EQ(g_aPlayChannel[1].initialised, 0);
    EXPECT_EQ(FrontState(), PLAY_CLOSED);
    dlg.reset();
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, TheWindowIsOnTheScreenBeforeTheLastSourceIsOpened) {
    // A shown window is painted first and only then opens and lists the last source; one that
    // is never shown opens it all the same.
    for (const bool shown : {true, false}) {
        auto dlg = std::make_unique<CsulvaneDlg>();
        dlg->SetShowMessage([](const QString&, const QString&) {});
        struct FirstPaint : QObject {
            CsulvaneDlg* window = nullptr;
            bool painted = false, initDone = false;
            std::size_t entries = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint && !painted) {
                    painted = true;
                    initDone = window->IsInitDone();
                    entries = std::size_t(window->RowCount());
                }
                return false;
            }
        } first;
        first.window = dlg.get();
        dlg->installEventFilter(&first);
        dlg->OnInitDialog();
        ASSERT_FALSE(dlg->IsInitFailed());
        if (shown) dlg->show();
        ASSERT_TRUE(RunUntil([&] { return dlg->IsInitDone() && dlg->RowCount() == 2; }))
            << shown;
        EXPECT_EQ(first.painted, shown);
        EXPECT_FALSE(first.initDone) << shown;
        EXPECT_EQ(first.entries, 0u) << shown;
        dlg->removeEventFilter(&first);
        dlg->OnBtnClose();
    }
}

TEST_F(MainWindowTest, EventJumpsStepThroughTheEventsAndWrapAround) {
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString&, const QString&) {});
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 0 && FrontState() != PLAY_CLOSED; }));
    ASSERT_EQ(dlg->CrashPositions().size(), 2u);

    // From the start: the first event, then the second; past the last one it wraps.
    const int expected[] = {Plan::EventFrame(0), Plan::EventFrame(1), Plan::EventFrame(0)};
    for (int frame : expected) {
        dlg->OnGSensorNextEvent();
        EXPECT_EQ(dlg->InfoPanel()->Position(), frame);
        // Settled: the picture and the slider, which the next jump starts from, at the event.
        EXPECT_TRUE(RunUntil([&] { return FrontFrame() == frame && dlg->SeekSlider()->GetPos() == frame; }, 10s))
            << frame << " " << FrontFrame() << " " << dlg->SeekSlider()->GetPos();
    }
    dlg->OnGSensorPrevEvent();  // before the first: wraps to the last
    EXPECT_EQ(dlg->InfoPanel()->Position(), Plan::EventFrame(1));
    // A click on a map marker beyond the movie lands inside it.
    dlg->OnMapMarkerClick(0, 100000);
    EXPECT_EQ(dlg->InfoPanel()->Position(), kFrames - 1);
    EXPECT_TRUE(RunUntil([] { return FrontFrame() == kFrames - 20; }, 10s));
    dlg->OnBtnClose();
}

TEST_F(MainWindowTest, TwoSelectionsWithinTheDelayOpenOnlyTheSecond) {
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString&, const QString&) {});
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 0; }));
    const std::uint64_t serial = dlg->Road().SelectionSerial();

    dlg->Browser()->SelectFileRow(1, FALSE);
    dlg->Browser()->SelectFileRow(0, FALSE);
    dlg->Browser()->SelectFileRow(0, FALSE);  // the current row again: nothing more
    EXPECT_EQ(dlg->Road().SelectionSerial(), serial + 2);
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && FrontState() != PLAY_CLOSED; }));
    EXPECT_EQ(dlg->Road().CurrentRow(), 0);
    EXPECT_EQ(dlg->InfoPanel()->StartTime().wMinute, 0);  // the first recording's, 12:00
    dlg->OnBtnClose();
}

TEST_F(MainWindowTest, AnOpenGivesTheMapWindowItsCaptionAndThePanesTheMovie) {
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString&, const QString&) {});
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 0 && FrontState() != PLAY_CLOSED; }));
    // Whatever the map window was titled before, the next open names it for the map.
    dlg->MapWindow()->SetCaptionText(CMovieDialog::kCaptionMainCamera);
    dlg->InfoPanel()->SetFrameCount(0);
    dlg->Browser()->SelectFileRow(1, FALSE);
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 1 && FrontState() != PLAY_CLOSED; }));
    EXPECT_EQ(dlg->MapWindow()->windowTitle(), QString::fromUtf8(UiText(CMovieDialog::kCaptionMap)));
    EXPECT_EQ(dlg->InfoPanel()->FrameCount(), kFrames);

    // Each axis keeps the largest |G| of its own: X reaches ten times Y; Z, flat, stays none.
    const std::array<double, 3>& scale = test::ChildPaneOf<CGSensorDlg>(*dlg)->AxisScale();
    EXPECT_DOUBLE_EQ(scale[0], Plan::AccelX(kFrames - 1) / 1000.0);
    EXPECT_DOUBLE_EQ(scale[1], Plan::AccelY(kFrames - 1) / 1000.0);
    EXPECT_EQ(scale[2], 0.0);
    EXPECT_EQ(test::ChildPaneOf<CGSensorDlg>(*dlg)->AmplitudeMode(), AmplitudeModeForLargestG(scale[0]));

    // The gauges' values are valid with the panel's at a frame whose record has a fix.
    dlg->ObdWindow()->ShowFrame(ObdFrameValues{});
    dlg->SeekToFrame(12, PLAY_PAUSED);
    EXPECT_TRUE(dlg->InfoPanel()->GpsValid());
    EXPECT_EQ(dlg->ObdWindow()->DataValid(), dlg->InfoPanel()->GpsValid());
    dlg->OnBtnClose();
}

// Counts the paintings of a window.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(MainWindowTest, AnOpenKeepsTheWaitCursorAndAMapPageThatComesUpRedrawsTheWindow) {
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString&, const QString&) {});
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 0 && FrontState() != PLAY_CLOSED; }));
    const RECT frame = dlg->FrameRect();
    const POINT leftBand{frame.left + 1, (frame.top + frame.bottom) / 2};
    PaintCounter counter;
    dlg->installEventFilter(&counter);
    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool()> done;
    };
    const Case cases[] = {
        {"the wait cursor stays over the sizing band while a movie opens",
         [&] {
             dlg->Browser()->SelectFileRow(1, FALSE);
             dlg->UpdateFrameCursor(leftBand);
         },
         [&] { return dlg->Road().Busy() && dlg->cursor().shape() == Qt::WaitCursor; }},
        {"and gives way to the band's own once the movie is open",
         [&] {
             RunUntil([&] { return dlg->Road().DataLoaded() && dlg->Road().CurrentRow() == 1; });
             dlg->UpdateFrameCursor(leftBand);
         },
         [&] { return dlg->cursor().shape() == Qt::SizeHorCursor; }},
        {"a map page that comes up redraws the window",
         [&] {
             RunUntil([] { return false; }, 200ms);
             counter.paints = 0;
             PostAppMessage(dlg->GetSafeHwnd(), WM_APP_MAP_READY, 0, 0);
         },
         [&] { return RunUntil([&] { return counter.paints > 0; }, 10s); }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.done()) << c.what;
    }
    dlg->removeEventFilter(&counter);
    dlg->OnBtnClose();
}

// The window started in `dir` on the card folder "card/Video" there, the messages it shows
// (each an error) kept in `messages`.
void StartInDir(CsulvaneDlg& dlg, const std::string& dir, std::vector<QString>& messages) {
    ASSERT_TRUE(fixtures::WriteStartFolder(dir, dir + "/card/Video"));
    std::filesystem::current_path(dir);
    dlg.SetShowMessage([&messages](const QString& text, const QString& caption) {
        EXPECT_EQ(caption, "ERROR");
        messages.push_back(text);
    });
    dlg.OnInitDialog();
    dlg.show();
}

TEST_F(MainWindowTest, ARearCompanionThatCannotOpenDoesNotHoldTheFront) {
    fixtures::TempDir dir;
    fixtures::CardBuilder builder(dir.Path() + "/card");
    fixtures::MovieSpec movie;
    movie.fpsNum = kFps;
    movie.seconds = kSeconds;
    ASSERT_TRUE(fixtures::MakeMovie(movie, dir.Path() + "/front.mp4", nullptr));
    fixtures::RecordingSpec params;
    params.layout = -1;
    params.folder = "Video";
    params.movieFile = dir.Path() + "/front.mp4";  // the companion stays a stub that is no movie
    ASSERT_FALSE(builder.AddRecording(params).empty());
    std::vector<QString> messages;
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartInDir(dlg, dir.Path(), messages));
    ASSERT_TRUE(RunUntil([&] { return dlg.Road().DataLoaded() && FrontState() != PLAY_CLOSED; }));
    EXPECT_EQ(g_aPlayChannel[1].rearOpened, 0);
    dlg.OnCommand(ID_PLAY_PAUSE);
    EXPECT_TRUE(RunUntil([&] { return FrontFrame() >= 5; }));
    EXPECT_TRUE(messages.empty());
    dlg.OnBtnClose();
}

TEST_F(MainWindowTest, AFailedOpenSaysWhyAndTheWindowStaysUsable) {
    struct Case {
        const char* name;
        std::function<std::string(const std::string& dir)> makeMovie;  // "" for a stub
        int text;
    };
    const Case cases[] = {
        {"not a movie", [](const std::string&) { return std::string(); }, 96},
        {"too short",
         [](const std::string& dir) {
             fixtures::MovieSpec movie;
             movie.seconds = 1.0;
             const std::string path = dir + "/short.mp4";
             return fixtures::MakeMovie(movie, path, nullptr) ? path : std::string("?");
         },
         97},
    };
    for (const Case& c : cases) {
        fixtures::TempDir dir;
        fixtures::CardBuilder builder(dir.Path() + "/card");
        fixtures::RecordingSpec params;
        params.layout = -1;
        params.folder = "Video";
        params.companion = false;
        params.movieFile = c.makeMovie(dir.Path());
        ASSERT_FALSE(builder.AddRecording(params).empty()) << c.name;
        std::vector<QString> messages;
        CsulvaneDlg dlg;
        ASSERT_NO_FATAL_FAILURE(StartInDir(dlg, dir.Path(), messages)) << c.name;
        ASSERT_TRUE(RunUntil([&] { return !messages.empty(); })) << c.name;
        EXPECT_EQ(messages, std::vector<QString>{QString::fromUtf8(UiText(c.text))}) << c.name;
        EXPECT_TRUE(dlg.Road().OpenFailed());
        EXPECT_FALSE(dlg.Road().Busy());  // the busy state ended with the failure
        EXPECT_EQ(FrontState(), PLAY_CLOSED);
        dlg.OnBtnClose();
    }
}

// The window has loaded the recording of `row`: its front picture and its data are that
// recording's (the second recording starts a minute after the first).
bool ShowsRow(const CsulvaneDlg& dlg, int row) {
    return dlg.Road().DataLoaded() && dlg.Road().CurrentRow() == row && FrontState() != PLAY_CLOSED &&
           ShownCode(dlg, 0).id == FrontCode(row + 1) && dlg.InfoPanel()->DataLoaded();
}

TEST_F(MainWindowTest, ASelectionDuringAnOpenWinsAndThePictureAndTheDataAgree) {
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString&, const QString&) {});
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return ShowsRow(*dlg, 0); }));

    // The second row opens; its player answers, but the answer is still on its way when the
    // first row is selected again.
    {
        ReadyHolder late(*dlg);
        dlg->Browser()->SelectFileRow(1, FALSE);
        ASSERT_TRUE(RunUntil([&] { return late.Holding(); }));
        dlg->Browser()->SelectFileRow(0, FALSE);
        late.Release();
    }
    ASSERT_TRUE(RunUntil([&] { return ShowsRow(*dlg, 0); })) << ShownCode(*dlg, 0).id << " row " << dlg->Road().CurrentRow();
    EXPECT_EQ(dlg->InfoPanel()->StartTime().wMinute, 0);  // the first recording's data, 12:00
    EXPECT_TRUE(RunUntil([&] { return ShownCode(*dlg, 1).id == RearCode(1); }));  // its own rear

    // A notice that carries the tag of another open (of a movie closed since) does not
    // count for the open under way; the player's own does.
    {
        ReadyHolder held(*dlg);
        dlg->Browser()->SelectFileRow(1, FALSE);
        ASSERT_TRUE(RunUntil([&] { return held.Holding(); }));
        dlg->OnPlayerReady(0, held.FirstTag() + 1, 0);
        EXPECT_FALSE(dlg->Road().OpenArmed());  // still waiting for its player
        held.Release();
    }
    EXPECT_TRUE(RunUntil([&] { return ShowsRow(*dlg, 1); }));
    EXPECT_EQ(dlg->InfoPanel()->StartTime().wMinute, 1);
    dlg->OnBtnClose();
}

TEST_F(MainWindowTest, APlayerThatNeverAnswersDoesNotHoldTheNextSelection) {
    struct Case {
        const char* name;
        bool afterTimeOut;  // the next selection comes once the busy time-out gave the open up
    };
    for (const Case c : {Case{"during the open", false}, Case{"after the time-out", true}}) {
        auto dlg = std::make_unique<CsulvaneDlg>();
        dlg->SetShowMessage([](const QString&, const QString&) {});
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(RunUntil([&] { return ShowsRow(*dlg, 0); })) << c.name;
        {
            ReadyHolder deaf(*dlg);  // its notices are never handed on
            dlg->Browser()->SelectFileRow(1, FALSE);
            ASSERT_TRUE(RunUntil([&] { return deaf.Holding(); })) << c.name;
        }
        if (c.afterTimeOut) {
            ASSERT_TRUE(RunUntil([&] { return !dlg->Road().Busy(); })) << c.name;
        }
        dlg->Browser()->SelectFileRow(0, FALSE);
        EXPECT_TRUE(RunUntil([&] { return ShowsRow(*dlg, 0); })) << c.name;
        EXPECT_EQ(dlg->InfoPanel()->StartTime().wMinute, 0) << c.name;
        EXPECT_FALSE(dlg->Road().Busy()) << c.name;
        dlg->OnBtnClose();
    }
}

TEST_F(MainWindowTest, LateDataLoadOfAnEarlierSelectionIsDropped) {
    CsulvaneDlg dlg;
    dlg.SetShowMessage([](const QString&, const QString&) {});
    const std::uint64_t current = dlg.Road().SelectionSerial();
    dlg.OnMovieDataLoaded(current + 7, 1);  // another selection's answer
    EXPECT_FALSE(dlg.Road().DataLoaded());
    dlg.OnMovieDataLoaded(current, 1);
    EXPECT_TRUE(dlg.Road().DataLoaded());
}

// Waits until the recording selected last is open with its data and the window is idle.
bool OpenAndIdle(CsulvaneDlg& dlg) {
    return RunUntil([&] { return dlg.Road().DataLoaded() && !dlg.Road().Busy() && FrontState() != PLAY_CLOSED; });
}

// The window started in the current folder, its first recording open.
void StartAndOpen(CsulvaneDlg& dlg) {
    dlg.SetShowMessage([](const QString&, const QString&) {});
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(RunUntil([&] { return dlg.Road().CurrentRow() == 0; }));
    ASSERT_TRUE(OpenAndIdle(dlg));
}

// The window started in `start` on a card made in `card` with recordings of `letters`, its
// first recording open; the settings name `remembered` as the last folder (the card's movie
// folder unless given).
void StartOnCard(CsulvaneDlg& dlg, const std::string& start, const std::string& card,
                 const std::vector<const char*>& letters, std::string remembered = {}) {
    MainWindowTest::BuildCard(card, letters);
    ASSERT_TRUE(fixtures::WriteStartFolder(start, remembered.empty() ? card + "/Video" : remembered));
    std::filesystem::current_path(start);
    StartAndOpen(dlg);
}

// A filter change that leaves the recording being watched in the list keeps it where it is,
// playing or paused, whatever row it moves to; one that takes it out of the list opens the
// new row 0. Selecting the current row again opens nothing.
TEST_F(MainWindowTest, AFilterChangeKeepsTheWatchedRecordingWhereverItsRowMoves) {
    fixtures::TempDir dir;
    CsulvaneDlg dlg;
    // Continuous at 12:00 and 12:01, manual at 12:02.
    ASSERT_NO_FATAL_FAILURE(StartOnCard(dlg, dir.Path(), dir.Path() + "/card", {"A___", "A___", "AM__"}));
    dlg.Browser()->SelectFileRow(2, FALSE);
    ASSERT_TRUE(RunUntil([&] { return dlg.InfoPanel()->StartTime().wMinute == 2; }));
    ASSERT_TRUE(OpenAndIdle(dlg));

    struct Step {
        const char* name;
        bool playing;  // when the filter changes
        std::function<void()> act;
        bool opens;
        int row;     // the current row afterwards
        int minute;  // start minute of the recording open afterwards
    };
    const Step steps[] = {
        {"continuous off: the manual recording moves up to row 0 and plays on", true,
         [&] { dlg.OnFilterButton(REC_CONTINUOUS); }, false, 0, 2},
        {"continuous on again: back at row 2, held where it was", false, [&] { dlg.OnFilterButton(REC_CONTINUOUS); },
         false, 2, 2},
        {"a kind no recording has: nothing moves", false, [&] { dlg.OnFilterButton(REC_RADAR); }, false, 2, 2},
        {"manual off: the watched recording leaves the list and row 0 is opened", false,
         [&] { dlg.OnFilterButton(REC_MANUAL); }, true, 0, 0},
        {"the current row selected again", false, [&] { dlg.Browser()->SelectFileRow(0, FALSE); }, false, 0, 0},
    };
    for (const Step& step : steps) {
        if ((FrontState() == PLAY_PLAYING) != step.playing) dlg.OnCommand(ID_PLAY_PAUSE);
        // Some frames in, so that a reopening at frame 0 would show.
        ASSERT_TRUE(RunUntil([&] {
            return (FrontState() == PLAY_PLAYING) == step.playing && (!step.playing || FrontFrame() >= 3);
        })) << step.name;
        const std::uint64_t before = dlg.Road().SelectionSerial();
        const PlayState was = FrontState();
        const int from = FrontFrame();
        step.act();
        EXPECT_EQ(dlg.Road().SelectionSerial() > before, step.opens) << step.name;
        if (!step.opens) {
            // Not reopened at frame 0: on from the frame it showed.
            EXPECT_EQ(FrontState(), was) << step.name;
            EXPECT_GE(FrontFrame(), from) << step.name;
            if (step.playing) {
                EXPECT_TRUE(RunUntil([&] { return FrontFrame() > from; })) << step.name;
            }
        }
        ASSERT_TRUE(OpenAndIdle(dlg)) << step.name;
        EXPECT_FALSE(dlg.TakeReselectRequest()) << step.name;  // read once, nothing left for later
        EXPECT_EQ(dlg.Road().CurrentRow(), step.row) << step.name;
        EXPECT_EQ(dlg.Browser()->GetList()->GetCurrentRow(), step.row) << step.name;
        EXPECT_EQ(dlg.Browser()->GetList()->GetSelectedRow(), step.row) << step.name;
        EXPECT_EQ(dlg.InfoPanel()->StartTime().wMinute, step.minute) << step.name;
        // The info panel names the recording as the list does.
        EXPECT_EQ(dlg.InfoPanel()->Title().toStdString(), dlg.Browser()->GetList()->GetItemText(step.row)) << step.name;
    }
    dlg.OnBtnClose();
}

// A pulled card, or one that leaves its mount point behind as an empty folder: the list and
// the tree are empty, and of the transport buttons only the source button can be used. When
// the card is back it is opened again as at start-up.
TEST_F(MainWindowTest, ALostCardLeavesOnlyTheSourceButtonAndIsOpenedWhenItIsBack) {
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        bool rootStays;  // the mount point stays, only the card's own folders go
        bool drive;      // the card is a removable drive, else a copy opened at its root
    } cases[] = {{"the card's root goes", false, false},
                 {"the drive's root goes", false, true},
                 {"the drive's empty mount point stays", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir dir;
        const std::string card = dir.Path() + "/card";
        const std::string away = dir.Path() + "/away";
        if (c.drive) SetRemovableMountProvider([card] { return std::vector<std::string>{card}; });
        CsulvaneDlg dlg;
        // Opened at the card's root, as a card is.
        ASSERT_NO_FATAL_FAILURE(StartOnCard(dlg, dir.Path() + "/start", card, {"A___", "A___"}, card));
        ASSERT_TRUE(dlg.Browser()->IsCardRootSource());
        ASSERT_EQ(dlg.Browser()->GetSourceKind(), c.drive ? SOURCE_SD : SOURCE_FOLDER);
        ASSERT_GT(dlg.Browser()->GetTree()->GetItemCount(), 0);
        EXPECT_TRUE(test::TransportButtonOf(dlg, BTN_PLAY_NEXT)->isEnabled());

        if (c.rootStays) {
            fs::create_directories(away);
            for (const fs::directory_entry& e : fs::directory_iterator(card)) fs::rename(e.path(), fs::path(away) / e.path().filename());
        } else {
            fs::rename(card, away);
        }
        ASSERT_TRUE(RunUntil([&] { return dlg.Browser()->GetList()->GetItemCount() == 0; }));
        EXPECT_EQ(fs::exists(card), c.rootStays);
        EXPECT_TRUE(dlg.RowCount() == 0);
        EXPECT_EQ(dlg.Browser()->GetTree()->GetItemCount(), 0);
        EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_CLOSED);
        for (int i = 0; i < kTransportButtonCount; ++i)
            EXPECT_EQ(test::TransportButtonOf(dlg, i)->isEnabled(), i == BTN_OPEN_SOURCE) << i;

        if (c.rootStays) {
            for (const fs::directory_entry& e : fs::directory_iterator(away)) fs::rename(e.path(), fs::path(card) / e.path().filename());
        } else {
            fs::rename(away, card);
        }
        ASSERT_TRUE(RunUntil([&] { return dlg.Browser()->GetList()->GetItemCount() == 2 && dlg.Road().CurrentRow() == 0; }));
        ASSERT_TRUE(OpenAndIdle(dlg));
        EXPECT_GT(dlg.Browser()->GetTree()->GetItemCount(), 0);
        EXPECT_EQ(dlg.Browser()->GetSourcePath(), card);
        EXPECT_TRUE(test::TransportButtonOf(dlg, BTN_PLAY_NEXT)->isEnabled());
        dlg.OnBtnClose();
        SetRemovableMountProvider([] { return std::vector<std::string>(); });
    }
}

// A folder of recordings is the user's: a folder inside it renamed leaves the source open,
// its recordings listed and the buttons as they were, once the watcher has looked.
TEST_F(MainWindowTest, AFolderSourceStaysOpenWhenTheFolderInsideItIsRenamed) {
    namespace fs = std::filesystem;
    fixtures::TempDir dir;
    const std::string card = dir.Path() + "/card";
    fs::create_directories(card + "/Video/trip");
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartOnCard(dlg, dir.Path() + "/start", card, {"A___", "A___"}));
    ASSERT_EQ(dlg.Browser()->GetSourceKind(), SOURCE_FOLDER);
    ASSERT_EQ(dlg.Browser()->GetSourcePath(), card + "/Video");
    const std::vector<sFILEENTRY> rows = dlg.Browser()->GetList()->CopyOfFolder();
    ASSERT_EQ(rows.size(), 2u);
    const int treeItems = dlg.Browser()->GetTree()->GetItemCount();

    fs::rename(card + "/Video/trip", card + "/Video/trip-renamed");
    CMovieResource& watcher = dlg.Browser()->GetWatcher();
    const std::uint64_t polls = watcher.Polls();
    ASSERT_TRUE(RunUntil([&] { return watcher.Polls() >= polls + 2; }));
    EXPECT_FALSE(watcher.IsLost());
    EXPECT_EQ(watcher.GetPath(), card + "/Video");
    EXPECT_EQ(dlg.Browser()->GetSourcePath(), card + "/Video");
    const std::vector<sFILEENTRY> after = dlg.Browser()->GetList()->CopyOfFolder();
    ASSERT_EQ(after.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(after[i].path, rows[i].path);
    EXPECT_EQ(dlg.Browser()->GetList()->GetItemCount(), 2);
    EXPECT_EQ(dlg.Browser()->GetTree()->GetItemCount(), treeItems);
    EXPECT_NE(g_aPlayChannel[0].playState, PLAY_CLOSED);
    EXPECT_TRUE(test::TransportButtonOf(dlg, BTN_PLAY_NEXT)->isEnabled());
    dlg.OnBtnClose();
}

// The page's stand-in: it keeps the scripts the bridge runs.
class ScriptTap : public IMapPageHost {
public:
    explicit ScriptTap(std::vector<std::string>* scripts) : scripts_(scripts) {}
    QWidget* GetWindow() override { return nullptr; }
    void ExecuteScript(const std::string& script) override { scripts_->push_back(script); }
    void RefreshTrack(BOOL) override {}
    void RefreshFrame() override {}
    void SetMapStatus(const std::string&) override {}
    void SetMapPosition(double, double) override {}
    void SendMapUpdate() override {}

private:
    std::vector<std::string>* scripts_;
};

// The event markers reach the page with '.' as the decimal point under a locale that writes
// a decimal comma (where the system has one; else the numbers are still those of the
// scripts' builder).
TEST_F(MainWindowTest, MarkerScriptsIgnoreTheNumericLocale) {
    std::vector<std::string> scripts;
    CsulvaneDlg dlg;
    dlg.SetShowMessage([](const QString&, const QString&) {});
    ASSERT_TRUE(dlg.MapBridge()->AttachHost(std::make_unique<ScriptTap>(&scripts)));
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(OpenAndIdle(dlg));
    ASSERT_EQ(dlg.CrashPositions().size(), 2u);

    const std::string locale = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if ((comma = std::setlocale(LC_NUMERIC, name) != nullptr)) break;
    scripts.clear();
    dlg.MapBridge()->OnInitHtml();  // the page reports it has loaded
    dlg.SendCrashPositions(0, FALSE);
    std::setlocale(LC_NUMERIC, locale.c_str());
    const std::vector<std::string> sent = scripts;

    std::vector<std::string> markers;
    for (const std::string& script : sent)
        if (script.starts_with("cplist.AddCrashPos(")) markers.push_back(script);
    std::vector<std::string> expected;
    for (auto it = dlg.CrashPositions().rbegin(); it != dlg.CrashPositions().rend(); ++it) {
        const sSENSORRECORD& r = *it->pRecord;
        expected.push_back(AddCrashPosScript(it->nKind, r.gX, r.gY, r.gZ, 0, 0, r.time, r.gps->latitude,
                                             r.gps->longitude, r.gps->valid, r.gps->speed, 0.0));
    }
    EXPECT_EQ(markers, expected) << (comma ? "under a decimal-comma locale" : "no decimal-comma locale here");
    for (const std::string& marker : markers) EXPECT_EQ(std::count(marker.begin(), marker.end(), ','), 11) << marker;
    dlg.OnBtnClose();
}

// Offline the map page never loads; the event list the graph's jumps walk is built all the
// same. An axis switched off while a recording opens, and on again, brings its events back.
TEST_F(MainWindowTest, AnAxisSwitchedOnAgainBringsItsEventsBackWithoutTheMapPage) {
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(dlg));
    ASSERT_FALSE(dlg.MapBridge()->PageReady());
    const auto& detectors = test::ChildPaneOf<CGSensorDlg>(dlg)->Detectors();
    const auto toggleX = [&](bool on) {
        dlg.InfoPanel()->OnAxisButton(CInfoDlg::kAxisButtonFirst);  // posts the toggle
        return RunUntil([&] { return bool(detectors[DETECTOR_AXIS_X].bList) == on; });
    };

    ASSERT_TRUE(toggleX(false));
    dlg.Browser()->SelectFileRow(1, FALSE);
    ASSERT_TRUE(RunUntil([&] { return dlg.Road().CurrentRow() == 1; }));
    ASSERT_TRUE(OpenAndIdle(dlg));
    EXPECT_TRUE(dlg.CrashPositions().empty());
    ASSERT_TRUE(toggleX(true));
    EXPECT_EQ(dlg.CrashPositions().size(), 2u);
    for (int i : {0, 1}) {
        dlg.OnGSensorNextEvent();
        EXPECT_EQ(dlg.InfoPanel()->Position(), Plan::EventFrame(i));
    }
    dlg.OnBtnClose();
}

// A failed open leaves the large-video view and releases its button; the next selection
// clears the failure at once, not only when its own movie opens.
TEST_F(MainWindowTest, AFailedOpenReleasesTheLargeViewAndTheNextSelectionClearsIt) {
    fixtures::TempDir dir;
    fixtures::CardBuilder builder(dir.Path() + "/card");
    for (int serial : {1, 2}) {
        fixtures::RecordingSpec params;
        params.layout = -1;
        params.folder = "Video";
        params.serial = serial;
        params.time = serial == 1 ? "120000" : "120100";
        params.companion = false;
        if (serial == 1) params.movieFile = MovieFile(1, "front");  // the second stays a stub, no movie
        ASSERT_FALSE(builder.AddRecording(params).empty());
    }
    std::vector<QString> messages;
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartInDir(dlg, dir.Path(), messages));
    ASSERT_TRUE(OpenAndIdle(dlg));
    CSkinButton* large = test::TransportButtonOf(dlg, BTN_VIEW_LARGE_VIDEO);
    dlg.OnCommand(ID_VIEW_LARGE_VIDEO);
    ASSERT_TRUE(dlg.FrontSurface().m_bLargeVideo);
    ASSERT_TRUE(large->IsLatched());

    dlg.Browser()->SelectFileRow(1, FALSE);
    ASSERT_TRUE(RunUntil([&] { return !messages.empty(); }));
    EXPECT_TRUE(dlg.Road().OpenFailed());
    EXPECT_FALSE(dlg.FrontSurface().m_bLargeVideo);
    EXPECT_FALSE(large->IsLatched());

    dlg.Browser()->SelectFileRow(0, FALSE);
    EXPECT_FALSE(dlg.Road().OpenFailed());
    EXPECT_TRUE(OpenAndIdle(dlg));
    EXPECT_EQ(messages.size(), 1u);
    dlg.OnBtnClose();
}

// Pausing leaves both channels at the default step, also a rear channel that missed a
// change of speed; the play button shows not playing only once the players accepted a stop.
TEST_F(MainWindowTest, PauseSetsTheDefaultStepAfterThePauseAndStopFollowsThePlayers) {
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(dlg));
    ASSERT_EQ(g_aPlayChannel[1].rearOpened, 1);
    const auto looksPlaying = [&] {
        return test::TransportButtonOf(dlg, BTN_PLAY_PAUSE)->toolTip() == QString::fromUtf8(UiText(11));
    };

    dlg.OnCommand(ID_PLAY_PAUSE);
    ASSERT_EQ(FrontState(), PLAY_PLAYING);
    g_aPlayerDriverTable[1].SetPlaybackSpeed(g_aPlayChannel[1], 2);
    dlg.OnCommand(ID_PLAY_PAUSE);
    ASSERT_EQ(FrontState(), PLAY_PAUSED);
    EXPECT_EQ(g_aPlayChannel[0].speedStep, 1);
    EXPECT_EQ(g_aPlayChannel[1].speedStep, 1);

    struct Case {
        const char* name;
        int (*stop)(sPLAYCHANNEL&);  // channel 1's stop; null for its own
        bool stillPlaying;
    };
    const Case cases[] = {
        {"a player that is not ready refuses the stop", [](sPLAYCHANNEL&) { return 0; }, true},
        {"the stop accepted", nullptr, false},
    };
    const auto ownStop = g_aPlayerDriverTable[0].StopMovie;
    for (const Case& c : cases) {
        if (FrontState() != PLAY_PLAYING) dlg.OnCommand(ID_PLAY_PAUSE);
        ASSERT_TRUE(looksPlaying()) << c.name;
        g_aPlayerDriverTable[0].StopMovie = c.stop ? c.stop : ownStop;
        dlg.OnCommand(ID_PLAY_STOP);
        g_aPlayerDriverTable[0].StopMovie = ownStop;
        EXPECT_EQ(FrontState() == PLAY_PLAYING, c.stillPlaying) << c.name;
        EXPECT_EQ(looksPlaying(), c.stillPlaying) << c.name;
    }
    dlg.OnBtnClose();
}

// The video menu runs a loop of its own, which serves the window while the menu is up. An
// item chosen in it runs only while the window would still open the menu and the menu for
// the state now offers that item: not once an open began, the end of the movie came near,
// the movie was paused, or the window was cleaned up; a close of the window closes the menu.
TEST_F(MainWindowTest, AVideoMenuChoiceThatTheWindowOvertookRunsNothing) {
    struct Case {
        const char* name;
        std::function<void(CsulvaneDlg&)> meanwhile;  // once the menu is up
        std::function<bool(CsulvaneDlg&)> ready;      // the choice is made once this holds
        int command;                                  // chosen in the menu; 0: the menu is to be gone
        bool cleanUpOnChoice;                         // the window cleaned up as the item fires
        bool settingsShown;
        PlayState state;                              // afterwards; PLAY_CLOSED: not looked at
    };
    const auto always = [](CsulvaneDlg&) { return true; };
    const Case cases[] = {
        {"nothing meanwhile", [](CsulvaneDlg&) {}, always, ID_SETTINGS, false, true, PLAY_PLAYING},
        {"an open begun", [](CsulvaneDlg& dlg) { dlg.Browser()->SelectFileRow(1, FALSE); },
         [](CsulvaneDlg& dlg) { return dlg.Road().Busy() != FALSE; }, ID_SETTINGS, false, false, PLAY_CLOSED},
        // At a quarter of the speed the last 20 frames take eight seconds.
        {"the end of the movie near",
         [](CsulvaneDlg& dlg) {
             SetChannelsSpeed(-4);
             dlg.SeekToFrame(kFrames, PLAY_PLAYING);
         },
         [](CsulvaneDlg& dlg) { return dlg.Road().NearEndLocked() != FALSE; }, ID_SETTINGS, false, false, PLAY_CLOSED},
        {"the movie paused", [](CsulvaneDlg& dlg) { dlg.OnCommand(ID_PLAY_PAUSE); }, always, ID_PLAY_PAUSE, false, false,
         PLAY_PAUSED},
        {"the window cleaned up as the item fires", [](CsulvaneDlg&) {}, always, ID_SETTINGS, true, false, PLAY_CLOSED},
        // As by the window manager's close request.
        {"the window closed", [](CsulvaneDlg& dlg) { dlg.close(); }, always, 0, false, false, PLAY_CLOSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CsulvaneDlg dlg;
        ASSERT_NO_FATAL_FAILURE(StartAndOpen(dlg));
        if (FrontState() != PLAY_PLAYING) dlg.OnCommand(ID_PLAY_PAUSE);
        ASSERT_EQ(FrontState(), PLAY_PLAYING);

        enum Phase { kWaitMenu, kWaitReady, kDone } phase = kWaitMenu;
        bool goneWithTheClose = false, itemFound = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            CMovieMenu* menu = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = dynamic_cast<CMovieMenu*>(w); m && m->isVisible()) menu = m;
            if (phase == kWaitMenu && menu) {
                c.meanwhile(dlg);
                phase = kWaitReady;
                if (c.command == 0) {
                    goneWithTheClose = !menu->isVisible();
                    if (menu->isVisible()) menu->close();
                    phase = kDone;
                    return;
                }
            }
            if (phase != kWaitReady || !menu || !c.ready(dlg)) return;
            phase = kDone;
            for (QAction* action : menu->actions()) {
                if (action->data().toInt() != c.command) continue;
                itemFound = true;
                if (c.cleanUpOnChoice) QObject::connect(action, &QAction::triggered, &dlg, [&] { dlg.CleanUp(); });
                menu->setActiveAction(action);
                QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QCoreApplication::sendEvent(menu, &enter);
                return;
            }
            menu->close();
        });
        driver.start(20);
        // Never left open by a test that fails.
        QTimer::singleShot(60s, &dlg, [] { CMovieMenu::CloseOpenMenus(); });
        const QWidget& surface = dlg.FrontSurface();
        const QPoint at = surface.mapToGlobal(surface.rect().center());
        dlg.OnVideoContextMenu(POINT{at.x(), at.y()}, 0);
        driver.stop();

        EXPECT_EQ(phase, kDone);
        if (c.command != 0) EXPECT_TRUE(itemFound);
        else EXPECT_TRUE(goneWithTheClose);
        EXPECT_EQ(dlg.SettingWindow() && dlg.SettingWindow()->isVisible(), c.settingsShown);
        if (c.state != PLAY_CLOSED) {
            EXPECT_EQ(FrontState(), c.state);
        }
        dlg.OnBtnClose();
    }
}

// The seek slider's thumb dragged and let go while the movie plays (or stands paused), and a
// command given at each moment of the seek's settling (a click on the slider's track among
// them): in the same moment as the release, whose message then comes after the command; once the release is taken, before its picture is on
// screen; once the picture is there; once the movie moves on. Each ends in the state it
// commands, judged by what the player reports (its clock, its last seek).
TEST_F(MainWindowTest, ACommandGivenWhileASeekSettlesIsTakenAfterIt) {
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(dlg));
    const auto player = [&] { return dlg.Engine()->PlayerOf(g_aPlayChannel[0]); };
    const auto clockRuns = [&] {
        const ComPtr<CPlayer> p = player();
        const ComPtr<IMFPresentationClock> clock = p ? p->Clock() : nullptr;
        MFCLOCK_STATE state = MFCLOCK_STATE_INVALID;
        return clock && SUCCEEDED(clock->GetState(0, &state)) && state == MFCLOCK_STATE_RUNNING;
    };
    const auto lastSeek = [&] {
        LONGLONG time = 0;
        const ComPtr<CPlayer> p = player();
        if (p) p->LastSeek(&time);
        return FrameOfMediaTime(time, g_aPlayChannel[0].frameInterval);
    };
    const auto seekShown = [&] {
        const ComPtr<CPlayer> p = player();
        const ComPtr<CMFActivate> activate = p ? p->PresenterActivate() : nullptr;
        const ComPtr<EVRCustomPresenter> presenter = activate ? activate->Presenter() : nullptr;
        LONGLONG time = 0;
        UINT64 seek = 0;
        return presenter && presenter->GetShownSampleTime(&time, &seek) == S_OK && seek >= p->LastSeek();
    };
    const auto looksPlaying = [&] {
        return test::TransportButtonOf(dlg, BTN_PLAY_PAUSE)->toolTip() == QString::fromUtf8(UiText(11));
    };
    CSkinSliderCtrl& slider = *dlg.SeekSlider();
    const auto mouse = [&](QEvent::Type type, int frame) {
        const QPointF at(slider.width() * (frame + 0.5) / slider.GetRangeMax(), slider.height() / 2.0);
        QMouseEvent event(type, at, slider.mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&slider, &event);
    };

    enum Moment { kWithTheRelease, kBeforeThePicture, kAfterThePicture, kMovingOn };
    const char* const moments[] = {"with the release", "before the seek's picture", "after the seek's picture",
                                   "moving on again"};
    constexpr int kStart = 2, kReleased = 8, kMarker = 20, kTrack = 16;
    // Each state is judged on the recording the seek was made in (no end of the movie and
    // selection of the next one reached it) and after the player's last seek, so that neither
    // the movie's end nor the nudge of a stalled player (a seek one frame back) passes for it.
    std::uint64_t selection = 0;
    const auto after = [&](int seek) { return dlg.Road().SelectionSerial() == selection && lastSeek() == seek; };
    struct Command {
        const char* name;
        std::function<void()> give;
        PlayState before;
        std::function<bool()> done;  // the commanded state, as the window and the player report it
    };
    const Command commands[] = {
        {"pause", [&] { dlg.OnCommand(ID_PLAY_PAUSE); }, PLAY_PLAYING,
         [&] { return after(kReleased) && FrontState() == PLAY_PAUSED && !clockRuns() && !looksPlaying(); }},
        {"play", [&] { dlg.OnCommand(ID_PLAY_PAUSE); }, PLAY_PAUSED,
         [&] { return after(kReleased) && FrontState() == PLAY_PLAYING && clockRuns() && looksPlaying(); }},
        {"stop", [&] { dlg.OnCommand(ID_PLAY_STOP); }, PLAY_PLAYING,
         [&] { return after(0) && FrontState() == PLAY_STOPPED && !clockRuns() && !looksPlaying(); }},
        {"faster", [&] { dlg.OnCommand(ID_PLAY_FAST); }, PLAY_PLAYING,
         [&] { return after(kReleased) && FrontState() == PLAY_PLAYING && g_aPlayChannel[0].speedStep == 2 && clockRuns(); }},
        {"another seek", [&] { dlg.OnMapMarkerClick(0, kMarker); }, PLAY_PLAYING,
         [&] { return after(kMarker) && FrontState() == PLAY_PLAYING && seekShown() && clockRuns(); }},
        // A click beside the thumb seeks at its press; given with the release, the slider
        // tells of this click by the time the release is taken.
        {"a click on the track",
         [&] {
             mouse(QEvent::MouseButtonPress, kTrack);
             EXPECT_TRUE(slider.IsClickOutsideThumb());
             mouse(QEvent::MouseButtonRelease, kTrack);
         },
         PLAY_PLAYING, [&] { return after(kTrack) && FrontState() == PLAY_PLAYING && seekShown() && clockRuns(); }},
    };
    for (const Command& c : commands) {
        for (const Moment moment : {kWithTheRelease, kBeforeThePicture, kAfterThePicture, kMovingOn}) {
            if (moment == kMovingOn && c.before != PLAY_PLAYING) continue;  // a paused seek stays
            const std::string name = std::string(c.name) + ", " + moments[moment];
            // From frame 2 at normal speed, playing or paused (a pause sets the normal speed).
            ASSERT_TRUE(RunUntil([&] { return dlg.Road().DataLoaded(); })) << name;
            dlg.SeekToFrame(kStart, FrontState() == PLAY_PLAYING ? PLAY_PLAYING : PLAY_PAUSED);
            for (int turns = 0; turns < 3 && (FrontState() != c.before || g_aPlayChannel[0].speedStep != 1); ++turns)
                dlg.OnCommand(ID_PLAY_PAUSE);
            ASSERT_EQ(FrontState(), c.before) << name;
            ASSERT_EQ(g_aPlayChannel[0].speedStep, 1) << name;
            selection = dlg.Road().SelectionSerial();

            // The thumb taken and dragged to frame 8; the window takes the press.
            mouse(QEvent::MouseButtonPress, kStart);
            QCoreApplication::sendPostedEvents();
            mouse(QEvent::MouseMove, kReleased);
            mouse(QEvent::MouseButtonRelease, kReleased);
            if (moment == kWithTheRelease) c.give();
            QCoreApplication::sendPostedEvents();
            if (moment == kBeforeThePicture) c.give();
            if (moment == kAfterThePicture) {
                ASSERT_TRUE(RunUntil(seekShown)) << name;
                c.give();
            }
            if (moment == kMovingOn) {
                ASSERT_TRUE(RunUntil([&] { return clockRuns() && FrontFrame() > kReleased; })) << name;
                c.give();
            }
            EXPECT_TRUE(RunUntil(c.done)) << name << ": state " << FrontState() << ", speed step "
                                          << g_aPlayChannel[0].speedStep << ", last seek " << lastSeek();
        }
    }
    dlg.OnBtnClose();
}

// What the window shows of the frame's values (the info panel, or in the full-width layout
// the compact strip along its bottom) is, once playback pauses, what a fresh painting of
// the window shows there.
TEST_F(MainWindowTest, TheFramesValuesOnScreenAreThoseOfThePictureInEveryLayout) {
    CsulvaneDlg dlg;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(dlg));
    const CInfoDlg& info = *dlg.InfoPanel();
    for (int mode : {LAYOUT_BESIDE_BROWSER, LAYOUT_LARGE, LAYOUT_FULL_WIDTH}) {
        dlg.LayoutForMode(mode);
        dlg.SeekToFrame(0, FrontState());
        dlg.OnCommand(ID_PLAY_PAUSE);
        ASSERT_EQ(FrontState(), PLAY_PLAYING) << mode;
        // Past a whole second: the time changes, and the speed on every frame.
        ASSERT_TRUE(RunUntil([&] { return info.Position() >= kFps + 2; })) << mode;
        dlg.OnCommand(ID_PLAY_PAUSE);
        ASSERT_EQ(FrontState(), PLAY_PAUSED) << mode;
        RunUntil([] { return false; }, 300ms);
        const RECT strip = info.CompactStripRect();
        const QRect area = mode == LAYOUT_FULL_WIDTH
                               ? QRect(strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top)
                               : info.geometry();
        const QImage shown = dlg.screen()->grabWindow(dlg.winId(), area.x(), area.y(), area.width(), area.height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = dlg.grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(fresh.isNull()) << mode;
        EXPECT_TRUE(shown == fresh) << "layout " << mode << " at frame " << info.Position();
    }
    dlg.OnBtnClose();
}

// ---- the frame on screen ------------------------------------------------------------------

// One recording of a minute, the frame number coded into both pictures.
class FrameOnScreenTest : public CardWindowTest {
protected:
    static constexpr int kLongFrames = 600;

    static void SetUpTestSuite() {
        if (!fixtures::HaveFfmpeg()) return;
        dir_ = new fixtures::TempDir();
        const std::string card = dir_->Path() + "/card";
        fixtures::CardBuilder builder(card);
        fixtures::MovieSpec movie;
        movie.width = 320;
        movie.height = 180;
        movie.fpsNum = kFps;
        movie.seconds = double(kLongFrames) / kFps;
        movie.codeId = FrontCode(1);
        const std::string front = dir_->Path() + "/front.mp4", rear = dir_->Path() + "/rear.mp4";
        ASSERT_TRUE(fixtures::MakeMovie(movie, front, nullptr));
        movie.width = 256;  // the rear camera's picture is smaller
        movie.height = 144;
        movie.codeId = RearCode(1);
        ASSERT_TRUE(fixtures::MakeMovie(movie, rear, nullptr));
        fixtures::DataBlock block;
        for (int k = 0; k < kLongFrames; ++k) {
            fixtures::RawRecord r;
            r.speed = fixtures::SpeedText(Plan::SpeedKmh(1, k));
            r.latitude = fixtures::LatitudeText(35.0 + k * 0.0001);
            r.longitude = fixtures::LongitudeText(135.7 + k * 0.0001);
            block.records.push_back(r);
        }
        fixtures::RecordingSpec params;
        params.layout = -1;
        params.folder = "Video";
        params.data = block;
        params.movieFile = front;
        params.companionFile = rear;
        movie_ = builder.AddRecording(params);
        ASSERT_FALSE(movie_.empty());
        ASSERT_TRUE(fixtures::WriteStartFolder(dir_->Path() + "/start", card + "/Video"));
    }

    static std::string movie_;
};

std::string FrameOnScreenTest::movie_;

fixtures::PictureCode CodeOfFile(const std::string& path) { return CodeOf(QImage(QString::fromStdString(path))); }

TEST_F(FrameOnScreenTest, APauseWhilePlayingShowsEveryPaneAndNamesTheSnapshotByThePictureOnScreen) {
    const std::string pictures = dir_->Path() + "/pictures";
    std::filesystem::create_directories(pictures);
    SetFolderPicker([&](QWidget*, std::string_view, const std::string&) { return pictures; });
    std::vector<QString> messages;
    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([&](const QString& text, const QString&) { messages.push_back(text); });
    dlg->SetAskOkCancel([](const QString&, const QString&) { return IDOK; });
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && FrontState() != PLAY_CLOSED; }));

    // Each moment plays at a speed step for a few frames and is paused there, by the
    // play/pause button (which goes back to normal speed first) or by the snapshot.
    struct Moment {
        int step;
        bool bySnapshot;
        int frames;  // how far it plays before the pause
    };
    const Moment moments[] = {{1, false, 6}, {1, true, 9},   {2, false, 12}, {2, true, 7},  {4, false, 24},
                              {4, true, 17}, {-2, false, 3}, {-2, true, 4},  {-4, false, 2}, {-4, true, 3}};
    const CInfoDlg& info = *dlg->InfoPanel();
    for (const Moment& m : moments) {
        SCOPED_TRACE(testing::Message() << "step " << m.step << (m.bySnapshot ? " snapshot" : " button"));
        dlg->OnCommand(ID_PLAY_PAUSE);
        ASSERT_EQ(FrontState(), PLAY_PLAYING);
        SetChannelsSpeed(m.step);
        const int from = info.Position();
        ASSERT_TRUE(RunUntil([&] { return info.Position() >= from + m.frames; }));
        messages.clear();
        if (!m.bySnapshot) dlg->OnCommand(ID_PLAY_PAUSE);
        dlg->OnCommand(ID_SNAPSHOT);  // pauses when still playing
        ASSERT_EQ(FrontState(), PLAY_PAUSED);
        ASSERT_EQ(messages, std::vector<QString>{QString::fromUtf8("完了しました。")});

        // The picture on screen, front and rear, is the frame every pane shows.
        const fixtures::PictureCode front = ShownCode(*dlg, 0), rear = ShownCode(*dlg, 1);
        ASSERT_EQ(front.id, FrontCode(1));
        EXPECT_EQ(rear.id, RearCode(1));
        const int frame = front.frame;
        EXPECT_EQ(rear.frame, frame);
        EXPECT_EQ(FrontFrame(), frame);
        EXPECT_EQ(info.Position(), frame);
        EXPECT_EQ(dlg->SeekSlider()->GetPos(), frame);
        EXPECT_EQ(test::ChildPaneOf<CGSensorDlg>(*dlg)->CurrentFrame(), frame);
        EXPECT_EQ(dlg->MapBridge()->RelJpgNum(), frame);
        EXPECT_EQ(info.Speed(), Plan::SpeedKmh(1, Plan::GpsAt(frame)));

        // The snapshot is named by that frame, and both its pictures show it.
        const std::string name = MakeSnapshotFileName(pictures, movie_, frame);
        const fixtures::PictureCode savedFront = CodeOfFile(name), savedRear = CodeOfFile(MakeRearSnapshotFileName(name));
        EXPECT_EQ(savedFront.id, FrontCode(1)) << name;
        EXPECT_EQ(savedFront.frame, frame) << name;
        EXPECT_EQ(savedRear.id, RearCode(1)) << name;
        EXPECT_EQ(savedRear.frame, frame) << name;
        for (const auto& file : std::filesystem::directory_iterator(pictures)) std::filesystem::remove(file.path());
    }
    dlg->OnBtnClose();
}

}  // namespace
}  // namespace orv
