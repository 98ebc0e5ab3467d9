// The video menu and the file list under a user's own input, given through the X server (its
// pointer and keyboard, by xdotool) to the real main window, with a window manager (openbox)
// and without one: every item of the four menus (playing, paused, stopped, no movie) and of
// the full-screen menus, clicked and chosen with the arrows and Return, runs its command
// (the play state, the speed, a picture written, a dialog shown, the aspect kept or not);
// a grayed item and Escape run nothing. The list walked with the arrows keeps the keyboard
// through every open it starts, failed ones and continuous play included. Runs on an X
// server of its own (own-display.sh), with and without openbox.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "app/surface/MovieMenu.h"
#include "app/window/XPointerFixture.h"
#include "app/settings/SettingDlg.h"
#include "filer/FileListCtrl.h"
#include "filer/SourceOpenDlg.h"
#include "recorder/RecordingName.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kFps = 10;
constexpr int kLongFrames = 600;  // long enough for the menus' whole round: stops rewind it
constexpr int kShortFrames = 60;
constexpr int kTextOpenFailed = 96;
constexpr int kTextDone = 44;

enum class How { kClick, kKeys };

// Opens the video menu with a right click at `at` and chooses the item of `command` in it,
// with the pointer or with Down presses and Return (0: Escape alone). A grayed item, which
// neither runs nor closes the menu, is then left with Escape. It works from a timer, so that
// it goes on in the menu's own loop.
class MenuChooser : public QObject {
public:
    MenuChooser(QPoint at, int command, How how) : command_(command), how_(how) {
        connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
        timer_.start(20);
        inputs_.push_back(fixtures::XDesktop::ClickButton(at.x(), at.y(), 3));
    }

    // The menu has come and gone, and every input was given.
    bool Done() const {
        if (phase_ != kDone) return false;
        for (const auto& input : inputs_)
            if (input.wait_for(0s) != std::future_status::ready) return false;
        return true;
    }
    bool InputsGiven() {
        bool all = true;
        for (auto& input : inputs_) all = input.get() && all;
        inputs_.clear();
        return all;
    }

    bool itemFound = false;
    QString itemText;
    bool itemEnabled = false;
    bool highlighted = false;  // the arrows' highlight drawn on the item, in the menu's colours
    QString trouble;  // what went wrong on the way, for the report

private:
    enum Phase { kWaitMenu, kClicked, kArrowed, kWaitClosed, kDone };

    void Step() {
        switch (phase_) {
        case kWaitMenu: {
            auto* menu = dynamic_cast<CMovieMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible()) return;
            menu_ = menu;
            if (command_ == 0) {
                Give(fixtures::XDesktop::Keys({"Escape"}), kWaitClosed);
                return;
            }
            int downs = 0;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) continue;
                ++downs;  // a grayed item takes the highlight too
                if (action->data().toInt() == command_) {
                    target_ = action;
                    break;
                }
            }
            if (!target_) {
                trouble = "no such item";
                Give(fixtures::XDesktop::Keys({"Escape"}), kWaitClosed);
                return;
            }
            itemFound = true;
            itemText = target_->text();
            itemEnabled = target_->isEnabled();
            if (how_ == How::kClick) {
                const QPoint at = menu->mapToGlobal(menu->actionGeometry(target_).center());
                Give(fixtures::XDesktop::Click(at.x(), at.y()), kClicked);
            } else {
                Give(fixtures::XDesktop::Keys(std::vector<std::string>(std::size_t(downs), "Down")), kArrowed);
            }
            return;
        }
        case kClicked:
            if (!InputsReady()) return;
            // The server hands the click over before the key: a grayed item has kept the menu open.
            if (!itemEnabled) Give(fixtures::XDesktop::Keys({"Escape"}), kWaitClosed);
            else phase_ = kWaitClosed;
            return;
        case kArrowed: {
            if (!InputsReady() || !menu_) return;
            if (menu_->activeAction() != target_) {
                trouble = "the arrows highlight " + (menu_->activeAction() ? menu_->activeAction()->text() : QString("nothing"));
                return;  // the keys may still be on their way
            }
            trouble.clear();
            const QImage item = menu_->grab(menu_->actionGeometry(target_)).toImage();
            highlighted = item.pixel(1, item.height() / 2) == (itemEnabled ? qRgb(0, 0, 255) : qRgb(195, 195, 255));
            Give(fixtures::XDesktop::Keys(itemEnabled ? std::vector<std::string>{"Return"}
                                                      : std::vector<std::string>{"Return", "Escape"}),
                 kWaitClosed);
            return;
        }
        case kWaitClosed:
            // The menu is gone once its exec() has returned, before the command runs.
            if (!menu_) phase_ = kDone;
            return;
        case kDone: return;
        }
    }

    void Give(std::future<bool> input, Phase next) {
        inputs_.push_back(std::move(input));
        phase_ = next;
    }
    bool InputsReady() const {
        for (const auto& input : inputs_)
            if (input.wait_for(0s) != std::future_status::ready) return false;
        return true;
    }

    int command_;
    How how_;
    Phase phase_ = kWaitMenu;
    QPointer<CMovieMenu> menu_;
    QAction* target_ = nullptr;
    std::vector<std::future<bool>> inputs_;
    QTimer timer_;
};

class MenuFixture : public XPointerFixture {
protected:
    // Recording 1 for the menus; 2 and 3 short, 4 cut short so that it does not open, 5 long.
    static void SetUpTestSuite() {
        MakeCard({{kLongFrames, kFps, true, true, {}},
                  {kShortFrames, kFps, true, true, {}},
                  {kShortFrames, kFps, true, true, {}},
                  {kShortFrames, kFps, true, true, {}},
                  {kLongFrames, kFps, true, true, {}}});
        // The movie's own start and nothing more: listed as a movie, it does not open.
        if (card_) fs::resize_file(CardMovie(4), 1024);
    }
    // The frame stays where it is while the X server's clock moves on by `span`; false as
    // soon as it moves.
    bool StandsStill(std::chrono::milliseconds span) {
        const int frame = FrontFrame();
        const std::uint32_t from = desk_.ServerTime();
        fixtures::RunUntil([&] { return FrontFrame() != frame || desk_.ServerTime() - from >= std::uint32_t(span.count()); },
                           60s, 20ms);
        return FrontFrame() == frame;
    }
};

// Every item of every menu, by the pointer and by the keys, in an order in which each step
// leaves the state the next one's menu is for.
TEST_F(MenuFixture, EveryItemOfEveryMenuRunsItsCommandByPointerAndByKeys) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CMovieStatic& picture = dlg.FrontSurface();
    ASSERT_EQ(g_aPlayChannel[0].playState, PLAY_STOPPED) << "the recording is held at its first frame";
    const RecordingKind kind = GetRecordingKind(CardMovie(1));

    enum Arrange { kAsItIs, kFullScreen, kNoMovie, kMovieBack };
    enum Effect { kPlays, kStandsStill, kStops, kSpeed, kNothing, kPicture, kSettings, kSourceDialog, kAspect };
    const PlayState kClosed = PLAY_CLOSED, kStopped = PLAY_STOPPED, kPlaying = PLAY_PLAYING, kPaused = PLAY_PAUSED;
    const How M = How::kClick, K = How::kKeys;
    const struct Row {
        const char* name;
        Arrange arrange;
        PlayState menu;  // the state whose menu opens
        int command;     // 0: Escape alone
        int text;        // the item's label; -1 for none
        How how;
        Effect effect;
        int value;  // the speed step, or the aspect flag
    } rows[] = {
        {"stopped: play", kAsItIs, kStopped, ID_PLAY_PAUSE, 83, M, kPlays, 0},
        {"playing: pause, the picture stands still", kAsItIs, kPlaying, ID_PLAY_PAUSE, 82, M, kStandsStill, 0},
        {"paused: play, the picture moves again", kAsItIs, kPaused, ID_PLAY_PAUSE, 83, M, kPlays, 0},
        {"playing: pause by keys", kAsItIs, kPlaying, ID_PLAY_PAUSE, 82, K, kStandsStill, 0},
        {"paused: play by keys", kAsItIs, kPaused, ID_PLAY_PAUSE, 83, K, kPlays, 0},
        {"playing: Escape", kAsItIs, kPlaying, 0, -1, K, kNothing, 0},
        {"playing: fast", kAsItIs, kPlaying, ID_PLAY_FAST, 79, M, kSpeed, 2},
        {"playing at x2: fast grayed", kAsItIs, kPlaying, ID_PLAY_FAST, 79, M, kNothing, 0},
        {"playing at x2: fast grayed, by keys", kAsItIs, kPlaying, ID_PLAY_FAST, 79, K, kNothing, 0},
        {"playing at x2: slow by keys", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, K, kSpeed, 1},
        {"playing: fast by keys", kAsItIs, kPlaying, ID_PLAY_FAST, 79, K, kSpeed, 2},
        {"playing at x2: slow", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, M, kSpeed, 1},
        {"playing: slow", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, M, kSpeed, -2},
        {"playing at x0.5: slow grayed", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, M, kNothing, 0},
        {"playing at x0.5: slow grayed, by keys", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, K, kNothing, 0},
        {"playing: stop", kAsItIs, kPlaying, ID_PLAY_STOP, 87, M, kStops, 0},
        {"stopped: play", kAsItIs, kStopped, ID_PLAY_PAUSE, 83, M, kPlays, 0},
        {"playing: stop by keys", kAsItIs, kPlaying, ID_PLAY_STOP, 87, K, kStops, 0},
        {"stopped: play by keys", kAsItIs, kStopped, ID_PLAY_PAUSE, 83, K, kPlays, 0},
        {"playing: settings", kAsItIs, kPlaying, ID_SETTINGS, 84, M, kSettings, 0},
        {"playing: source by keys", kAsItIs, kPlaying, ID_OPEN_SOURCE, 81, K, kSourceDialog, 0},
        {"playing: snapshot", kAsItIs, kPlaying, ID_SNAPSHOT, 86, M, kPicture, 0},
        {"paused: snapshot by keys", kAsItIs, kPaused, ID_SNAPSHOT, 86, K, kPicture, 0},
        {"paused: settings by keys", kAsItIs, kPaused, ID_SETTINGS, 84, K, kSettings, 0},
        {"paused: source", kAsItIs, kPaused, ID_OPEN_SOURCE, 81, M, kSourceDialog, 0},
        {"paused: stop by keys", kAsItIs, kPaused, ID_PLAY_STOP, 87, K, kStops, 0},
        {"stopped: snapshot", kAsItIs, kStopped, ID_SNAPSHOT, 86, M, kPicture, 0},
        {"stopped: settings", kAsItIs, kStopped, ID_SETTINGS, 84, M, kSettings, 0},
        {"stopped: source", kAsItIs, kStopped, ID_OPEN_SOURCE, 81, M, kSourceDialog, 0},
        {"stopped: play again", kAsItIs, kStopped, ID_PLAY_PAUSE, 83, M, kPlays, 0},
        // Full screen: the transport items and the aspect item, which names what it switches to.
        {"full screen, playing: stretch", kFullScreen, kPlaying, ID_KEEP_ASPECT, 89, M, kAspect, 0},
        {"full screen, playing: keep aspect by keys", kAsItIs, kPlaying, ID_KEEP_ASPECT, 88, K, kAspect, 1},
        {"full screen, playing: pause", kAsItIs, kPlaying, ID_PLAY_PAUSE, 82, M, kStandsStill, 0},
        {"full screen, paused: stretch by keys", kAsItIs, kPaused, ID_KEEP_ASPECT, 89, K, kAspect, 0},
        {"full screen, paused: stop", kAsItIs, kPaused, ID_PLAY_STOP, 87, M, kStops, 0},
        {"full screen, stopped: keep aspect", kAsItIs, kStopped, ID_KEEP_ASPECT, 88, M, kAspect, 1},
        {"full screen, stopped: play by keys", kAsItIs, kStopped, ID_PLAY_PAUSE, 83, K, kPlays, 0},
        {"full screen, playing: fast by keys", kAsItIs, kPlaying, ID_PLAY_FAST, 79, K, kSpeed, 2},
        {"full screen, playing: slow", kAsItIs, kPlaying, ID_PLAY_SLOW, 85, M, kSpeed, 1},
        {"full screen, playing: stop by keys", kAsItIs, kPlaying, ID_PLAY_STOP, 87, K, kStops, 0},
        // No movie open: the list filtered empty.
        {"no movie: settings", kNoMovie, kClosed, ID_SETTINGS, 84, M, kSettings, 0},
        {"no movie: source", kAsItIs, kClosed, ID_OPEN_SOURCE, 81, M, kSourceDialog, 0},
        {"no movie: settings by keys", kAsItIs, kClosed, ID_SETTINGS, 84, K, kSettings, 0},
        {"no movie: source by keys", kAsItIs, kClosed, ID_OPEN_SOURCE, 81, K, kSourceDialog, 0},
        {"the movie back: play", kMovieBack, kStopped, ID_PLAY_PAUSE, 83, M, kPlays, 0},
    };
    // The source dialog a command shows is seen, then cancelled.
    ModalCloser closer;
    int pictureFolders = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        switch (row.arrange) {
        case kAsItIs: break;
        case kFullScreen:
            ASSERT_TRUE(DoubleClickAt(CentreOf(&picture)));
            ASSERT_TRUE(fixtures::RunUntil([&] { return dlg.IsFullView(); }, 20s));
            break;
        case kNoMovie:
            dlg.OnCommand(ID_FILTER_FIRST + kind);
            ASSERT_TRUE(fixtures::RunUntil([] { return g_aPlayChannel[0].playState == PLAY_CLOSED; }, 20s));
            break;
        case kMovieBack:
            dlg.OnCommand(ID_FILTER_FIRST + kind);
            ASSERT_TRUE(fixtures::RunUntil([&] { return dlg.Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED; }, 30s));
            break;
        }
        ASSERT_TRUE(fixtures::RunUntil([&] { return g_aPlayChannel[0].playState == row.menu && !dlg.Road().Busy(); }, 20s))
            << "state " << g_aPlayChannel[0].playState;
        const int step = g_aPlayChannel[0].speedStep, frame = FrontFrame();
        const int keep = dlg.Road().Front().keepAspect;
        const std::string pictures = dir_.Path() + "/pictures" + std::to_string(++pictureFolders);
        fs::create_directories(pictures);
        SetFolderPicker([&](QWidget*, std::string_view, const std::string&) { return pictures; });
        const std::size_t messages = messages_.size();
        if (dlg.SettingWindow()->isVisible()) dlg.SettingWindow()->hide();
        closer.Forget();

        MenuChooser chooser(CentreOf(&picture), row.command, row.how);
        ASSERT_TRUE(fixtures::RunUntil([&] { return chooser.Done(); }, 60s)) << chooser.trouble.toStdString();
        EXPECT_TRUE(chooser.InputsGiven());
        if (row.command != 0) {
            ASSERT_TRUE(chooser.itemFound);
            EXPECT_EQ(chooser.itemText, UiString(row.text));
            EXPECT_EQ(chooser.itemEnabled, row.effect != kNothing);
            if (row.how == How::kKeys) {
                EXPECT_TRUE(chooser.highlighted);
            }
        }

        switch (row.effect) {
        case kPlays:
            EXPECT_TRUE(fixtures::RunUntil([&] { return g_aPlayChannel[0].playState == PLAY_PLAYING && FrontFrame() >= frame + 5; }, 30s))
                << "state " << g_aPlayChannel[0].playState << ", frame " << FrontFrame() << " from " << frame;
            break;
        case kStandsStill:
            ASSERT_TRUE(fixtures::RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PAUSED; }, 20s));
            EXPECT_TRUE(StandsStill(1500ms)) << "frame " << FrontFrame();
            break;
        case kStops:
            EXPECT_TRUE(fixtures::RunUntil([] { return g_aPlayChannel[0].playState == PLAY_STOPPED && FrontFrame() == 0; }, 20s))
                << "state " << g_aPlayChannel[0].playState << ", frame " << FrontFrame();
            break;
        case kSpeed:
            EXPECT_TRUE(fixtures::RunUntil([&] { return g_aPlayChannel[0].speedStep == row.value; }, 20s))
                << "step " << g_aPlayChannel[0].speedStep;
            EXPECT_EQ(g_aPlayChannel[0].playState, PLAY_PLAYING);
            break;
        case kNothing:
            EXPECT_EQ(g_aPlayChannel[0].playState, row.menu);
            EXPECT_EQ(g_aPlayChannel[0].speedStep, step);
            EXPECT_EQ(messages_.size(), messages);
            break;
        case kPicture: {
            const auto written = [&] {
                for (const auto& file : fs::directory_iterator(pictures)) {
                    std::ifstream in(file.path(), std::ios::binary);
                    char head[2] = {};
                    if (file.path().extension() == ".jpg" && in.read(head, 2) && head[0] == '\xFF' && head[1] == '\xD8') return true;
                }
                return false;
            };
            EXPECT_TRUE(fixtures::RunUntil(written, 30s));
            EXPECT_TRUE(fixtures::RunUntil([&] { return messages_.size() > messages && messages_.back() == UiString(kTextDone); }, 20s));
            break;
        }
        case kSettings:
            EXPECT_TRUE(fixtures::RunUntil([&] { return dlg.SettingWindow()->isVisible(); }, 20s));
            dlg.SettingWindow()->hide();
            break;
        case kSourceDialog:
            EXPECT_TRUE(closer.Saw<CSourceOpenDlg>());
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            EXPECT_EQ(g_aPlayChannel[0].playState, row.menu);  // cancelled: the movie goes on as it was
            break;
        case kAspect:
            EXPECT_TRUE(fixtures::RunUntil([&] { return dlg.Road().Front().keepAspect == row.value; }, 20s)) << "was " << keep;
            EXPECT_NE(SettingsText().find(row.value ? "ASPECT=on" : "ASPECT=off"), std::string::npos) << SettingsText();
            break;
        }
    }
    // Out of full screen by the pointer too.
    ASSERT_TRUE(DoubleClickAt(CentreOf(&picture)));
    EXPECT_TRUE(fixtures::RunUntil([&] { return !dlg.IsFullView(); }, 20s));
    dlg.OnBtnClose();
}

// The list walked with the arrows: each open it starts (one that fails, and a move to the
// next recording by continuous play) gives the keyboard back to it, so that the next key
// press opens the next row.
TEST_F(MenuFixture, TheListKeepsTheKeyboardThroughEveryOpen) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CFileListCtrl& list = *dlg.Browser()->GetList();
    ASSERT_EQ(list.RowCount(), 5);
    enum Input { kClickRow, kKeys, kPlayOn };
    const struct Step {
        const char* name;
        Input input;
        const char* key;  // or the row clicked
        int row;          // the row it ends at
        bool fails;       // its movie does not open
    } steps[] = {
        {"a click on the second row", kClickRow, nullptr, 1, false},
        {"Down", kKeys, "Down", 2, false},
        {"Down onto a movie that does not open", kKeys, "Down", 3, true},
        {"Down past it", kKeys, "Down", 4, false},
        {"Up onto it again", kKeys, "Up", 3, true},
        {"Up", kKeys, "Up", 2, false},
        {"played on past it to the next recording", kPlayOn, nullptr, 4, false},
        {"Up after continuous play", kKeys, "Up", 3, true},
        {"Up once more", kKeys, "Up", 2, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t messages = messages_.size();
        switch (step.input) {
        case kClickRow: ASSERT_TRUE(ClickAt(RowPoint(step.row)())); break;
        case kKeys: ASSERT_TRUE(Given(fixtures::XDesktop::Keys({step.key}))); break;
        case kPlayOn: dlg.OnCommand(ID_PLAY_PAUSE); break;  // by the window's command: the keyboard stays on the list
        }
        const auto settled = [&] {
            if (!list.isEnabled() || dlg.focusWidget() != &list) return false;
            if (step.fails) {
                return dlg.Road().CurrentRow() == step.row && messages_.size() > messages &&
                       messages_.back() == UiString(kTextOpenFailed);
            }
            return RowOpen(step.row);
        };
        EXPECT_TRUE(fixtures::RunUntil(settled, 60s))
            << "row " << dlg.Road().CurrentRow() << ", list enabled " << list.isEnabled() << ", list has the keyboard "
            << (dlg.focusWidget() == &list) << ", messages " << messages_.size() - messages;
        // Continuous play moves on without a message.
        if (step.input == kPlayOn) {
            EXPECT_EQ(messages_.size(), messages);
        }
    }
    dlg.OnBtnClose();
}

}  // namespace
}  // namespace orv
