// Every control of the main window used as a user uses it: with the X server's own pointer
// and keyboard (xdotool), on the real window with its real engine, on an X server of the
// test's own, once without a window manager and once under openbox (own-display.sh). Each
// input is checked by what it does (the play state, the frame the engine shows, the row
// opened, a file written, a window shown or placed), never by what was drawn.
//
// A dialog that a click opens runs a loop of its own inside the click's handling; the
// closer below notes it and closes it as its cancel would (the dialogs' own buttons have
// their own test). Folder questions are answered through the folder picker's hook.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/settings/SettingDlg.h"
#include "app/window/MainWindowParts.h"
#include "app/window/SettingsKeys.h"
#include "app/window/XPointerFixture.h"
#include "filer/FileListCtrl.h"
#include "filer/FileSelectDlg.h"
#include "filer/FolderTreeCtrl.h"
#include "filer/SourceOpenDlg.h"
#include "playback/engine/CPlayer.h"
#include "playback/engine/ChannelEngineImpl.h"
#include "recorder/RecordingName.h"
#include "ui/MsgBox.h"
#include "ui/SkinSliderCtrl.h"
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

PlayState FrontState() { return g_aPlayChannel[0].playState.load(); }

constexpr int kFps = 10;
constexpr int kFrames = 400;  // 40 s: no recording reaches its end while a table runs
constexpr int kTextDoneCaption = 45;  // "終了"
// Two X-axis events; at one record a frame, a jump lands on the event's record.
constexpr int kEventFrames[2] = {100, 250};
// The driving folder holds one recording of each kind, the parking folder two more.
constexpr int kDrivingRecordings = kRecordingKindCount;
constexpr int kParkingRecordings = 2;

// The data of every recording: a record a frame, with the two X-axis events.
fixtures::DataBlock EventData() {
    fixtures::DataBlock block;
    for (int k = 0; k < kFrames; ++k) {
        fixtures::RawRecord r;
        if (k == kEventFrames[0] || k == kEventFrames[1]) {
            r.axis = 'X';
            r.accelX = fixtures::SignedField(900, 5);
        }
        block.records.push_back(r);
    }
    return block;
}

CSkinSliderCtrl* SliderOf(const QWidget& window, unsigned id) {
    for (QObject* child : window.children())
        if (auto* slider = dynamic_cast<CSkinSliderCtrl*>(child); slider && slider->GetDlgCtrlID() == id) return slider;
    return nullptr;
}

// The slider's value under client x: the share of the width, of the range's values.
int SliderValueAt(const CSkinSliderCtrl& slider, int x) {
    const long long values = static_cast<long long>(slider.GetRangeMax()) - slider.GetRangeMin() + 1;
    if (values <= 0 || slider.width() <= 0) return slider.GetRangeMin();
    const float perValue = float(slider.width()) / float(values);
    return int(std::clamp(float(x) / perValue, float(slider.GetRangeMin()), float(slider.GetRangeMax())));
}

// What the X server is asked to do at a control's point.
struct Input {
    enum Kind { kLeft, kRight, kDouble, kDrag, kMove, kKeys } kind = kLeft;
    std::function<QPoint()> to;     // kDrag: where the drag ends
    std::vector<std::string> keys;  // kKeys: pressed in turn, wherever the keyboard is
};
Input Left() { return {}; }
Input Right() { return {Input::kRight, {}, {}}; }
Input Double() { return {Input::kDouble, {}, {}}; }
Input DragTo(std::function<QPoint()> to) { return {Input::kDrag, std::move(to), {}}; }
Input Rest() { return {Input::kMove, {}, {}}; }
Input Keys(std::vector<std::string> keys) { return {Input::kKeys, {}, std::move(keys)}; }

// One row of a table: the control, its point on the screen when the input comes, the input,
// and what the input must bring about.
struct Step {
    std::string control;
    std::function<QPoint()> at;
    Input input;
    std::function<bool()> effect;
    Where where = kAlways;
    // Before the input: what the effect is judged against is noted.
    std::function<void()> before = {};
    // After the effect: what the next row needs (a window closed, brought back).
    std::function<void()> after = {};
    // The window is left to settle (no movie opening, the controls enabled) before the next row.
    bool settle = true;
};

class PointerFixture : public XPointerFixture {
protected:
    static void SetUpTestSuite() {
        const fixtures::DataBlock data = EventData();
        std::vector<CardRecording> card;
        for (const char* letters : {"A___", "AG__", "AM__", "P___", "PG__", "__O_", "__R_"})
            card.push_back({kFrames, kFps, true, true, data, letters, fixtures::CardRow::Driving});
        for (int i = 0; i < kParkingRecordings; ++i)
            card.push_back({kFrames, kFps, true, true, data, "P___", fixtures::CardRow::Parking});
        MakeCard(card);
    }
    void SetUp() override {
        XPointerFixture::SetUp();
        if (IsSkipped()) return;
        // The card as a removable drive: the jobs that only a card offers are enabled.
        const std::string root = card_->Path() + "/card";
        SetRemovableMountProvider([root] { return std::vector<std::string>{root}; });
        SetFolderPicker([this](QWidget*, std::string_view, const std::string&) { return out_.Path(); });
    }

    // The window with the first recording open, both satellite windows off, the card open as
    // a removable drive.
    CsulvaneDlg& Start() {
        CsulvaneDlg& dlg = OpenOnScreen();
        EXPECT_EQ(dlg.Browser()->GetSourceKind(), SOURCE_SD);
        return dlg;
    }

    // The files of `extension` written into the output folder.
    std::vector<std::string> Written(const char* extension) const {
        std::vector<std::string> files;
        for (const auto& file : std::filesystem::directory_iterator(out_.Path()))
            if (file.path().extension() == extension) files.push_back(file.path().string());
        return files;
    }

    void Run(std::span<const Step> steps) {
        for (const Step& step : steps) {
            if (!RunsHere(step.where)) continue;
            SCOPED_TRACE(step.control);
            closer_.Forget();
            if (step.before) step.before();
            EXPECT_FALSE(step.effect()) << "already so before the input";
            const QPoint at = step.at();
            switch (step.input.kind) {
            case Input::kLeft: ASSERT_TRUE(ClickAt(at)); break;
            case Input::kRight: ASSERT_TRUE(Given(fixtures::XDesktop::ClickButton(at.x(), at.y(), 3))); break;
            case Input::kDouble: ASSERT_TRUE(DoubleClickAt(at)); break;
            case Input::kDrag: {
                const QPoint to = step.input.to();
                ASSERT_TRUE(Given(fixtures::XDesktop::Drag(at.x(), at.y(), to.x(), to.y())));
                break;
            }
            case Input::kMove: ASSERT_TRUE(Given(fixtures::XDesktop::MoveTo(at.x(), at.y()))); break;
            case Input::kKeys: ASSERT_TRUE(Given(fixtures::XDesktop::Keys(step.input.keys))); break;
            }
            const bool done = fixtures::RunUntil(step.effect, 30s);
            EXPECT_TRUE(done) << "no effect; dialogs seen: " << closer_.Titles() << "; row " << dlg_->Road().CurrentRow()
                              << ", state " << int(g_aPlayChannel[0].playState) << ", frame " << FrontFrame() << ", speed "
                              << g_aPlayChannel[0].speedStep;
            if (step.after) step.after();
            if (step.settle) {
                EXPECT_TRUE(fixtures::RunUntil([&] { return Settled(); }, 30s)) << "did not settle";
            }
        }
    }

    // The middle of the main bar's button `button`, found when the input comes.
    static std::function<QPoint()> ButtonPoint(const CsulvaneDlg& dlg, int button) {
        return [&dlg, button] { return CentreOf(test::TransportButtonOf(dlg, button)); };
    }

    fixtures::TempDir out_;
    ModalCloser closer_;
};

// The main bar's fifteen buttons and the title bar's four, each clicked in turn; the close
// button comes last, and the window ends.
TEST_F(PointerFixture, EachButtonOfTheMainBarAndTheTitleBarDoesItsCommand) {
    CsulvaneDlg& dlg = Start();
    const CFileListCtrl& list = *dlg.Browser()->GetList();
    const auto button = [&](int b) { return ButtonPoint(dlg, b); };
    const auto title = [&](int b) { return [&dlg, b] { return CentreOf(test::TitleButtonOf(dlg, b)); }; };
    const auto speed = [] { return int(g_aPlayChannel[0].speedStep); };
    const auto latched = [&](int b) { return bool(test::TransportButtonOf(dlg, b)->IsLatched()); };
    const std::uint32_t mainWindow = std::uint32_t(dlg.winId());
    QRect normal;

    const Step steps[] = {
        {"play", button(BTN_PLAY_PAUSE), Left(), [&] { return FrontState() == PLAY_PLAYING && FrontFrame() > 0; }},
        {"faster", button(BTN_PLAY_FAST), Left(), [&] { return FrontState() == PLAY_PLAYING && speed() == 2; }},
        {"slower, back to normal", button(BTN_PLAY_SLOW), Left(), [&] { return FrontState() == PLAY_PLAYING && speed() == 1; }},
        {"slower", button(BTN_PLAY_SLOW), Left(), [&] { return FrontState() == PLAY_PLAYING && speed() == -2; }},
        {"pause", button(BTN_PLAY_PAUSE), Left(),
         [&] { return FrontState() == PLAY_PAUSED && speed() == 1 && !dlg.Road().IsNearMovieEnd(); }},
        {"stop, back to the first frame", button(BTN_PLAY_STOP), Left(),
         [&] { return FrontState() == PLAY_STOPPED && FrontFrame() == 0; }},
        {"next recording", button(BTN_PLAY_NEXT), Left(), [&] { return RowOpen(1); }},
        {"previous recording", button(BTN_PLAY_PREV), Left(), [&] { return RowOpen(0); }},
        {"still picture", button(BTN_SNAPSHOT), Left(),
         [&] {
             const std::vector<std::string> pictures = Written(".jpg");
             return !pictures.empty() && QImage(QString::fromStdString(pictures.front())).size() == QSize(320, 180);
         }},
        {"large video on", button(BTN_VIEW_LARGE_VIDEO), Left(),
         [&] { return dlg.FrontSurface().m_bLargeVideo && latched(BTN_VIEW_LARGE_VIDEO) && dlg.Browser()->GetHideControls(); }},
        {"large video off", button(BTN_VIEW_LARGE_VIDEO), Left(),
         [&] { return !dlg.FrontSurface().m_bLargeVideo && !latched(BTN_VIEW_LARGE_VIDEO) && !dlg.Browser()->GetHideControls(); }},
        {"gauges on", button(BTN_OBD_WINDOW), Left(), [&] { return OnScreen(dlg.ObdWindow()) && latched(BTN_OBD_WINDOW); }},
        {"gauges off", button(BTN_OBD_WINDOW), Left(), [&] { return OffScreen(dlg.ObdWindow()) && !latched(BTN_OBD_WINDOW); }},
        {"map on", button(BTN_MAP_WINDOW), Left(), [&] { return OnScreen(dlg.MapWindow()) && latched(BTN_MAP_WINDOW); }},
        {"map off", button(BTN_MAP_WINDOW), Left(), [&] { return OffScreen(dlg.MapWindow()) && !latched(BTN_MAP_WINDOW); }},
        {"settings", button(BTN_SETTINGS), Left(), [&] { return OnScreen(dlg.SettingWindow()); }, kAlways, {},
         [&] { dlg.SettingWindow()->hide(); }},
        {"source", button(BTN_OPEN_SOURCE), Left(), [&] { return closer_.Saw<CSourceOpenDlg>(); }},
        {"join", button(BTN_JOIN_MOVIES), Left(), [&] { return closer_.Saw<CFileSelectDlg>(40); }},
        {"delete", button(BTN_DELETE_MOVIES), Left(), [&] { return closer_.Saw<CFileSelectDlg>(43); }},
        {"list as CSV", button(BTN_EXPORT_CSV), Left(),
         [&] {
             const std::vector<std::string> lists = Written(".csv");
             if (lists.empty()) return false;
             QFile file(QString::fromStdString(lists.front()));
             // The header and a row for each recording of the card, and the report of the end.
             return file.open(QIODevice::ReadOnly) &&
                    file.readAll().count("\r\n") == 1 + kDrivingRecordings + kParkingRecordings &&
                    closer_.Saw<CMsgDlg>(kTextDoneCaption);
         }},
        {"thumbnails on", title(3), Left(),
         [&] { return list.IsPreviewEnabled() && ReadThumbnail() && test::TitleButtonOf(dlg, 3)->IsLatched(); }},
        {"a row rested on, with thumbnails", RowPoint(2), Rest(),
         [&] {
             const CTipWindow* popup = list.GetTipWindow();
             return list.GetHoverRow() == 2 && popup->isVisible() && desk_.Viewable(std::uint32_t(popup->winId())) &&
                    popup->FrameCount() > 0;
         }},
        {"thumbnails off", title(3), Left(),
         [&] {
             return !list.IsPreviewEnabled() && !ReadThumbnail() && !test::TitleButtonOf(dlg, 3)->IsLatched() &&
                    !list.GetTipWindow()->isVisible();
         }},
        {"maximise", title(1), Left(), [&] { return dlg.IsMaximised() && dlg.geometry() == QRect(0, 0, 1920, 1056); },
         kAlways, [&] { normal = dlg.geometry(); }},
        {"restore", title(1), Left(), [&] { return !dlg.IsMaximised() && dlg.geometry() == normal; }},
        // Brought back as a task bar would. Without a window manager nothing can take a window
        // off the screen (nor give it back): the window only knows itself minimised.
        {"minimise", title(2), Left(), [&] { return dlg.isMinimized() && !desk_.Viewable(mainWindow); },
         kWithWindowManager, {},
         [&] {
             desk_.Activate(mainWindow);
             EXPECT_TRUE(fixtures::RunUntil([&] { return !dlg.isMinimized() && desk_.Viewable(mainWindow); }, 20s));
         }},
        {"minimise", title(2), Left(), [&] { return dlg.isMinimized(); }, kWithoutWindowManager, {},
         [&] {
             dlg.setWindowState(dlg.windowState() & ~Qt::WindowMinimized);
             EXPECT_TRUE(fixtures::RunUntil([&] { return !dlg.isMinimized(); }, 20s));
         }},
        {"close", title(0), Left(), [&] { return !dlg.isVisible() && !desk_.Viewable(mainWindow) && !g_aPlayChannel[0].initialised; },
         kAlways, {}, {}, false},
    };
    Run(steps);
}

// The seven kind filters, each switched off and on again; a folder of the tree clicked, and
// the first one again; rows of the list clicked and stepped through with the arrow keys.
TEST_F(PointerFixture, TheFiltersTheFolderTreeAndTheListOpenWhatTheyShow) {
    CsulvaneDlg& dlg = Start();
    CFilerContainerDlg& browser = *dlg.Browser();
    CFileListCtrl& list = *browser.GetList();
    CFolderTreeCtrl& tree = *browser.GetTree();
    const auto rowsOfKind = [&](int kind) {
        int rows = 0;
        for (const sFILEENTRY& entry : list.CopyOfRows()) rows += GetRecordingKind(entry.path) == kind;
        return rows;
    };
    const auto filter = [&](int kind) { return [&browser, kind] { return CentreOf(browser.GetFilterButton(kind)); }; };
    // The last item in sight on the way down from the top-level item `name` (its date
    // group once it is expanded).
    const auto folder = [&](const char* name) {
        return [&tree, name] {
            FolderTreeItem item = tree.GetRootItem();
            while (item != kFolderTreeRoot && tree.GetItemText(item) != name) item = tree.GetNextSiblingItem(item);
            for (FolderTreeItem child = tree.GetChildItem(item);
                 child != kFolderTreeRoot && !tree.visualItemRect(tree.ItemOf(child)).isEmpty(); child = tree.GetChildItem(child))
                item = child;
            return tree.viewport()->mapToGlobal(tree.visualItemRect(tree.ItemOf(item)).center());
        };
    };
    // The list shows the recordings of the folder `name` and the first of them is open.
    const auto listing = [&](const char* name, int rows) {
        const std::vector<sFILEENTRY> shown = list.CopyOfRows();
        return int(shown.size()) == rows &&
               std::all_of(shown.begin(), shown.end(),
                           [&](const sFILEENTRY& e) { return e.path.find(std::string("/") + name + "/") != std::string::npos; }) &&
               RowOpen(0);
    };

    std::vector<Step> steps;
    const char* kinds[kRecordingKindCount] = {"continuous", "impact",       "manual", "parking",
                                              "parking impact", "speed camera", "radar"};
    for (int kind = 0; kind < kRecordingKindCount; ++kind) {
        const std::string name = std::string(kinds[kind]) + " filter";
        steps.push_back({name + " off", filter(kind), Left(), [&, kind] {
                             return list.RowCount() == kDrivingRecordings - 1 && rowsOfKind(kind) == 0 &&
                                    !browser.GetFilterButton(kind)->IsLatched();
                         }});
        steps.push_back({name + " on", filter(kind), Left(), [&, kind] {
                             return list.RowCount() == kDrivingRecordings && rowsOfKind(kind) == 1 &&
                                    browser.GetFilterButton(kind)->IsLatched();
                         }});
    }
    steps.push_back({"the parking folder", folder("Parking"), Left(), [&] { return listing("Parking", kParkingRecordings); }});
    // A filter that empties the list closes the movie; switched on again, the first row opens.
    steps.push_back({"parking filter off: nothing left", filter(REC_PARKING), Left(),
                     [&] {
                         return list.RowCount() == 0 && !dlg.Road().IsChannelShowing(0) && dlg.InfoPanel()->Position() == -1 &&
                                !test::TransportButtonOf(dlg, BTN_PLAY_PAUSE)->isEnabled();
                     },
                     kAlways, {}, {}, false});
    steps.push_back({"parking filter on", filter(REC_PARKING), Left(), [&] { return listing("Parking", kParkingRecordings); }});
    steps.push_back({"the driving folder", folder("Video"), Left(), [&] { return listing("Video", kDrivingRecordings); }});
    // Only the list takes the arrow keys: each key follows a click on a row, which gives the
    // list the keyboard.
    steps.push_back({"a row", RowPoint(3), Left(), [&] { return RowOpen(3); }});
    steps.push_back({"the next row by its key", RowPoint(3), Keys({"Down"}), [&] { return RowOpen(4); }});
    steps.push_back({"another row", RowPoint(5), Left(), [&] { return RowOpen(5); }});
    steps.push_back({"the row before by its key", RowPoint(5), Keys({"Up"}), [&] { return RowOpen(4); }});
    Run(steps);
    dlg.OnBtnClose();
}

// The seek slider clicked and dragged, paused and playing; the volume slider clicked and
// dragged; the graph's clicks to the next and previous events, wrapping at the ends; the
// info panel's three axis boxes, each switched off and on.
TEST_F(PointerFixture, TheSlidersTheGraphAndTheAxisBoxesActOnThePlayback) {
    CsulvaneDlg& dlg = Start();
    CSkinSliderCtrl& seek = *SliderOf(dlg, IDC_SEEK_SLIDER);
    CSkinSliderCtrl& volume = *SliderOf(dlg, IDC_VOLUME_SLIDER);
    const CGSensorDlg& graph = *test::ChildPaneOf<CGSensorDlg>(dlg);
    const EventDetectors& detectors = graph.Detectors();
    const auto on = [](CSkinSliderCtrl& slider, double share) {
        return [&slider, share] { return slider.mapToGlobal(QPoint(int(slider.width() * share), slider.height() / 2)); };
    };
    const auto valueAt = [](const CSkinSliderCtrl& slider, double share) {
        return SliderValueAt(slider, int(slider.width() * share));
    };
    // Where the thumb stands now (a press there is on it, not beside it).
    const auto thumb = [&] {
        const double values = double(seek.GetRangeMax()) - seek.GetRangeMin() + 1;
        return seek.mapToGlobal(QPoint(int(double(seek.GetPos()) * seek.width() / values), seek.height() / 2));
    };
    // The engine's picture, the slider and the panes at `frame`, not playing.
    const auto standsAt = [&](int frame) {
        return FrontState() != PLAY_PLAYING && FrontFrame() == frame && dlg.Road().SeekPos() == frame &&
               dlg.InfoPanel()->Position() == frame;
    };
    // The volume as the front player plays its sound; the rear one stays silent.
    const auto volumeIs = [&](int value) {
        const ComPtr<CPlayer> front = dlg.Engine()->PlayerOf(g_aPlayChannel[0]);
        const ComPtr<CPlayer> rear = dlg.Engine()->PlayerOf(g_aPlayChannel[1]);
        return dlg.Volume() == value && front && int(front->GetVolume()) == value && rear && rear->GetVolume() == 0;
    };
    const auto graphAt = [&] { return CentreOf(&graph); };
    const auto axis = [&](int a) {
        return [&dlg, a] { return CentreOf(test::ButtonOfCommand(*dlg.InfoPanel(), CInfoDlg::kAxisButtonFirst + a)); };
    };
    const auto axisShown = [&](int a, bool shown) {
        return bool(detectors[std::size_t(a)].bShow) == shown && bool(detectors[std::size_t(a)].bList) == shown &&
               bool(dlg.InfoPanel()->IsAxisPressed(a)) == shown;
    };
    int frameBefore = 0;

    std::vector<Step> steps = {
        {"seek slider clicked", on(seek, 0.5), Left(), [&] { return standsAt(valueAt(seek, 0.5)); }},
        {"seek slider's thumb dragged", on(seek, 0.5), DragTo(on(seek, 0.3)), [&] { return standsAt(valueAt(seek, 0.3)); }},
        {"play", ButtonPoint(dlg, BTN_PLAY_PAUSE), Left(), [&] { return FrontState() == PLAY_PLAYING; }},
        // Back behind the frame that played: it plays on from the place clicked.
        {"seek slider clicked while playing", on(seek, 0.1), Left(),
         [&] {
             const int frame = FrontFrame();
             return FrontState() == PLAY_PLAYING && frame >= valueAt(seek, 0.1) && frame < frameBefore;
         },
         kAlways, [&] { frameBefore = FrontFrame(); }},
        {"seek slider's thumb dragged while playing", thumb, DragTo(on(seek, 0.05)),
         [&] {
             const int frame = FrontFrame();
             return FrontState() == PLAY_PLAYING && frame >= valueAt(seek, 0.05) && frame < frameBefore;
         },
         kAlways, [&] { frameBefore = FrontFrame(); }},
        {"pause", ButtonPoint(dlg, BTN_PLAY_PAUSE), Left(), [&] { return FrontState() == PLAY_PAUSED; }},
        {"volume slider clicked", on(volume, 0.3), Left(), [&] { return volumeIs(valueAt(volume, 0.3)); }},
        {"volume slider dragged", on(volume, 0.3), DragTo(on(volume, 0.8)), [&] { return volumeIs(valueAt(volume, 0.8)); }},
        {"volume slider dragged past its end", on(volume, 0.8), DragTo([&] { return on(volume, 1.0)() + QPoint(5, 0); }),
         [&] { return volumeIs(CsulvaneDlg::kMaxVolumeValue); }},
        // The picture stops short of the end by the margin in which the end is handled; the
        // slider and the panes go with the paused picture.
        {"seek slider clicked at its end", [&] { return seek.mapToGlobal(QPoint(seek.width() - 1, seek.height() / 2)); }, Left(),
         [&] { return standsAt(int(dlg.Road().FrameCount()) - 20); }},
        {"seek slider clicked near the start", on(seek, 0.05), Left(), [&] { return standsAt(valueAt(seek, 0.05)); }},
        {"graph, right click: the next event", graphAt, Right(), [&] { return standsAt(kEventFrames[0]); }},
        {"graph, right click: the next event", graphAt, Right(), [&] { return standsAt(kEventFrames[1]); }},
        {"graph, right click past the last event: the first", graphAt, Right(), [&] { return standsAt(kEventFrames[0]); }},
        {"graph, left click before the first event: the last", graphAt, Left(), [&] { return standsAt(kEventFrames[1]); }},
        {"graph, left click: the event before", graphAt, Left(), [&] { return standsAt(kEventFrames[0]); }},
    };
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        // Only the X axis has events: they leave the event list with it and come back.
        const std::size_t events = a == 0 ? 0 : 2;
        steps.push_back({std::string(axes[a]) + " axis off", axis(a), Left(),
                         [&, a, events] { return axisShown(a, false) && dlg.CrashPositions().size() == events; }});
        steps.push_back({std::string(axes[a]) + " axis on", axis(a), Left(),
                         [&, a] { return axisShown(a, true) && dlg.CrashPositions().size() == 2; }});
    }
    Run(steps);
    dlg.OnBtnClose();
}

// The picture: in the large view each click zooms in at its point, up to three times and
// then back to the whole picture; a double click fills the monitor with it and another puts
// it back; a double click on the rear camera's picture brings the map over it.
TEST_F(PointerFixture, ThePicturesClicksZoomAndItsDoubleClicksFillTheScreenOrBringTheMapBack) {
    CsulvaneDlg& dlg = Start();
    CMovieStatic& front = dlg.FrontSurface();
    CMovieStatic& rear = dlg.RearSurface();
    const QPoint spot(front.width() / 3, front.height() / 3);
    const auto onFront = [&] { return front.mapToGlobal(spot); };
    // The front surface's view and the front channel's, zoomed by `factor` (about the
    // point clicked when zoomed in).
    const auto zoomed = [&](float factor) {
        const sVIEWRECORD& view = dlg.View(0);
        return view.zoomFactor == factor && g_aPlayChannel[0].zoomFactor == factor &&
               (factor == 1.0f || (view.zoomCentreX == spot.x() && view.zoomCentreY == spot.y()));
    };
    const auto large = [&](bool on) {
        return bool(front.m_bLargeVideo) == on && bool(test::TransportButtonOf(dlg, BTN_VIEW_LARGE_VIDEO)->IsLatched()) == on;
    };
    QRect normal;
    ASSERT_TRUE(rear.isVisible()) << "the layout shows the rear camera's picture";

    const Step steps[] = {
        {"large video on", ButtonPoint(dlg, BTN_VIEW_LARGE_VIDEO), Left(), [&] { return large(true); }},
        {"the picture clicked", onFront, Left(), [&] { return zoomed(2.0f); }},
        {"the picture clicked again", onFront, Left(), [&] { return zoomed(3.0f); }},
        {"the picture clicked a third time: the whole picture", onFront, Left(), [&] { return zoomed(1.0f); }},
        {"large video off", ButtonPoint(dlg, BTN_VIEW_LARGE_VIDEO), Left(), [&] { return large(false); }},
        {"the picture double-clicked: over the whole monitor", onFront, Double(),
         [&] { return dlg.IsFullView() && dlg.geometry() == QRect(0, 0, 1920, 1056) && front.geometry() == dlg.rect(); },
         kAlways, [&] { normal = dlg.geometry(); }},
        {"double-clicked again: back in the window", onFront, Double(),
         [&] { return !dlg.IsFullView() && dlg.geometry() == normal && front.geometry() != dlg.rect(); }},
        {"the rear picture double-clicked: the map over it", [&] { return CentreOf(&rear); }, Double(),
         [&] {
             const QWidget* map = dlg.MapWindow();
             return dlg.IsMapShown() && map->isVisible() && desk_.Viewable(std::uint32_t(map->winId())) &&
                    test::TransportButtonOf(dlg, BTN_MAP_WINDOW)->IsLatched();
         }},
    };
    Run(steps);
    dlg.OnBtnClose();
}

}  // namespace
}  // namespace orv
