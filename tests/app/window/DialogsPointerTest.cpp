// The satellite windows and the dialogs of the real main window, used with the X server's
// own pointer: the close box of every window and dialog, the gauge choosers, the settings
// window's boxes, the source dialog's rows, browse buttons, OK and Cancel, the selection
// dialog for deleting and joining, the CSV export, the message box's OK and Cancel, and the
// update notice's links and its button. Each row asserts what the control did: a source
// opened, a file written, kept or hidden, a window gone and its button released. The
// dialogs are opened as the main window's commands open them; the clicks inside them are
// real. A modal dialog holds the UI thread in its own loop, so the user's part runs on a
// thread of its own and looks at the windows through the UI thread. Runs on an X server of
// its own (own-display.sh), with and without openbox.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/jobs/CsvExport.h"
#include "app/settings/SettingDlg.h"
#include "app/update/InetConnectionAsync.h"
#include "app/update/UpdateDialog.h"
#include "app/update/UpdateDialogParts.h"
#include "app/update/VersionFile.h"
#include "app/window/MainWindowParts.h"
#include "app/window/XPointerFixture.h"
#include "filer/FileListCtrl.h"
#include "filer/FileSelectDlg.h"
#include "filer/SourceOpenDlg.h"
#include "recorder/MovieJoin.h"
#include "recorder/Mp4Box.h"
#include "recorder/Mp4MovieInfo.h"
#include "ui/MsgBox.h"
#include "ui/SkinButton.h"
#include "views/GSensorDlg.h"
#include "views/ObdDlg.h"
#include "views/map/MovieDialog.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kFrames = 400;  // long enough to play on through a row
constexpr int kFps = 10;
constexpr int kRecordings = 4;

// Asks `question` on the UI thread; on the UI thread itself it is asked at once.
bool OnUi(const std::function<bool()>& question) {
    if (QThread::currentThread() == qApp->thread()) return question();
    bool answer = false;
    QMetaObject::invokeMethod(qApp, [&] { answer = question(); }, Qt::BlockingQueuedConnection);
    return answer;
}

// A point of a widget, in the widget's own coordinates; no widget while it is not there.
struct Spot {
    QWidget* widget = nullptr;
    QPoint at;
};
// Where to point, asked on the UI thread each time.
using Aim = std::function<Spot()>;

Aim Centre(std::function<QWidget*()> find) {
    return [find] {
        QWidget* widget = find();
        return Spot{widget, widget ? widget->rect().center() : QPoint()};
    };
}

// Item `index` of the list a chooser has opened; nothing while the list is closed.
Aim ItemOf(std::function<QComboBox*()> find, int index) {
    return [find, index] {
        QComboBox* combo = find();
        QAbstractItemView* view = combo ? combo->view() : nullptr;
        if (!view || !view->isVisible()) return Spot{};
        return Spot{view->viewport(), view->visualRect(combo->model()->index(index, 0)).center()};
    };
}

// Watches for a press of a key (by its Qt code) or of a mouse button (0) that a widget, or a
// widget inside it, is given: an input meant to do nothing is seen to have reached its widget.
// It lives on the UI thread and is asked through it.
class PressWatch : public QObject {
public:
    ~PressWatch() override { qApp->removeEventFilter(this); }
    void Watch(QWidget* widget, int key) {
        // The program's dialogs take Enter and Escape in filters of the application's own; the
        // filter installed last is asked first.
        qApp->installEventFilter(this);
        widget_ = widget;
        key_ = key;
        seen_ = false;
    }
    bool Seen() const { return seen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool press = key_ == 0 ? event->type() == QEvent::MouseButtonPress
                                     : event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == key_;
        if (press && widget_ && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            seen_ = seen_ || widget == widget_ || widget_->isAncestorOf(widget);
        }
        return false;
    }

private:
    QPointer<QWidget> widget_;
    int key_ = 0;
    bool seen_ = false;
};

// The Qt code of one of the tool's key names the tests press.
int QtKey(const std::string& name) {
    if (name == "Return") return Qt::Key_Return;
    if (name == "KP_Enter") return Qt::Key_Enter;
    if (name == "Escape") return Qt::Key_Escape;
    ADD_FAILURE() << "no Qt code for the key " << name;
    return -1;
}

// The user's hand: it waits for what the windows show and clicks with the X server's
// pointer. It runs on a thread of its own; every look at a window goes through the UI thread.
class User {
public:
    User(const fixtures::XDesktop& desk, PressWatch& presses, const std::atomic<bool>& stop)
        : desk_(desk), presses_(presses), stop_(stop) {}

    // Until `condition` (asked on the UI thread) holds; false after `bound`, or at once when
    // the test has given up.
    bool Await(const std::function<bool()>& condition, std::chrono::seconds bound = 40s) const {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (!stop_) {
            if (OnUi(condition)) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // The screen point of `aim`, once its window is on the server's screen and has stood still
    // for a few looks (a window manager may still be placing it).
    std::optional<QPoint> PointOf(const Aim& aim) const {
        std::optional<QPoint> last, found;
        int still = 0;
        Await([&] {
            const Spot spot = aim();
            if (!spot.widget || !spot.widget->isVisible()) {
                still = 0;
                return false;
            }
            const QPoint point = spot.widget->mapToGlobal(spot.at);
            const bool onScreen = desk_.Viewable(std::uint32_t(spot.widget->window()->winId()));
            still = onScreen && last == point ? still + 1 : 0;
            last = point;
            if (still >= 3) found = point;
            return found.has_value();
        });
        return found;
    }

    // A click on `aim`, taken by the widget there.
    bool Click(const Aim& aim) const {
        return Give(aim, 0, [](QPoint at) { return fixtures::XDesktop::Click(at.x(), at.y()); });
    }

    bool MoveTo(const Aim& aim) const {
        const std::optional<QPoint> point = PointOf(aim);
        return point && fixtures::XDesktop::MoveTo(point->x(), point->y()).get();
    }

    // A click, and then what it must bring about.
    bool Press(const Aim& aim, const std::function<bool()>& then) const { return Click(aim) && Await(then); }

    // Keys pressed on the window of `aim` once it is on the screen and has the keyboard; the
    // last of them taken by it.
    bool Type(const Aim& aim, const std::vector<std::string>& keys) const {
        const Aim window = [&] {
            const Spot spot = aim();
            return Spot{spot.widget ? spot.widget->window() : nullptr, {}};
        };
        return !keys.empty() && Await([&] { return window().widget && window().widget->isActiveWindow(); }) &&
               Give(window, QtKey(keys.back()), [&](QPoint) { return fixtures::XDesktop::Keys(keys); });
    }

private:
    // `input` given at the point of `aim` once it is on the screen; true once the widget there
    // has taken the press of `key` (0: a mouse button's).
    bool Give(const Aim& aim, int key, const std::function<std::future<bool>(QPoint)>& input) const {
        const std::optional<QPoint> point = PointOf(aim);
        return point && OnUi([&] {
                   QWidget* widget = aim().widget;
                   presses_.Watch(widget, key);
                   return widget != nullptr;
               }) &&
               input(*point).get() && Await([&] { return presses_.Seen(); });
    }

    const fixtures::XDesktop& desk_;
    PressWatch& presses_;
    const std::atomic<bool>& stop_;
};

// One thing the user does in a dialog: a click on `aim` (or, with `keys`, those keys pressed
// on its window), and what it brings about.
struct Step {
    Step(const char* what, Aim aim, std::function<bool()> then, std::vector<std::string> keys = {})
        : what(what), aim(std::move(aim)), then(std::move(then)), keys(std::move(keys)) {}
    const char* what;
    Aim aim;
    std::function<bool()> then;
    std::vector<std::string> keys;
};

bool DoSteps(const User& user, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        const bool given = step.keys.empty() ? user.Click(step.aim) : user.Type(step.aim, step.keys);
        if (!given || !user.Await(step.then)) {
            ADD_FAILURE() << "step \"" << step.what << "\" did not take effect";
            return false;
        }
    }
    return true;
}

template <class Dialog>
Dialog* Modal() {
    return dynamic_cast<Dialog*>(QApplication::activeModalWidget());
}

// The message box on top, when it carries `caption`.
CMsgDlg* MessageBox(const QString& caption) {
    auto* box = Modal<CMsgDlg>();
    return box && box->windowTitle() == caption ? box : nullptr;
}

// The box captioned `caption` answered with OK or Cancel.
Step Answer(const char* what, const QString& caption, bool ok) {
    return {what, Centre([caption, ok]() -> QWidget* {
                CMsgDlg* box = MessageBox(caption);
                if (!box) return nullptr;
                return ok ? static_cast<QWidget*>(box->GetOkButton()) : box->GetCancelButton();
            }),
            [caption] { return MessageBox(caption) == nullptr; }};
}

// Enter (both keys) and Escape pressed on the dialog `find` gives and taken by it: it stays.
Step EnterAndEscape(std::function<QWidget*()> find) {
    return {"Return, Enter and Escape", Centre(find), [find] { return find() != nullptr; }, {"Return", "KP_Enter", "Escape"}};
}

const QString kDoneCaption = UiString(45);     // "終了"
const QString kConfirmCaption = UiString(104);  // "確認"

QPushButton* ButtonLabelled(QWidget* dialog, const QString& label) {
    if (!dialog) return nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == label && button->isVisible()) return button;
    return nullptr;
}

// ---- the selection dialog -------------------------------------------------------------

CFileSelectDlg* Selection() { return Modal<CFileSelectDlg>(); }

Aim RowOf(int row) {
    return [row] {
        CFileSelectDlg* dialog = Selection();
        QTreeWidget* list = dialog ? dialog->GetList() : nullptr;
        QTreeWidgetItem* item = list ? list->topLevelItem(row) : nullptr;
        if (!item) return Spot{};
        return Spot{list->viewport(), list->visualItemRect(item).center()};
    };
}

// The ticked rows of the dialog on top, in order.
std::vector<int> TickedRows() {
    std::vector<int> rows;
    CFileSelectDlg* dialog = Selection();
    for (int r = 0; dialog && r < dialog->GetList()->topLevelItemCount(); ++r)
        if (dialog->IsTicked(r)) rows.push_back(r);
    return rows;
}

Step TickRow(int row, std::vector<int> ticked) {
    return {"a row", RowOf(row), [ticked] { return TickedRows() == ticked; }};
}

Step SelectionCheck(const char* what, int id, std::function<bool(CFileSelectDlg&)> then) {
    return {what, Centre([id]() -> QWidget* { return Selection() ? Selection()->GetCheckButton(id) : nullptr; }),
            [then] { return Selection() && then(*Selection()); }};
}

Step SelectionOk() {
    return {"OK", Centre([]() -> QWidget* { return Selection() ? Selection()->GetOkButton() : nullptr; }),
            [] { return Selection() == nullptr; }};
}

Step SelectionCancel() {
    return {"キャンセル", Centre([] { return ButtonLabelled(Selection(), QStringLiteral("キャンセル")); }),
            [] { return Selection() == nullptr; }};
}

// ---- the source dialog ------------------------------------------------------------------

// A part of the source dialog on top, and a question about that dialog.
Aim SourcePart(std::function<QWidget*(CSourceOpenDlg&)> of) {
    return Centre([of]() -> QWidget* { return Modal<CSourceOpenDlg>() ? of(*Modal<CSourceOpenDlg>()) : nullptr; });
}

std::function<bool()> SourceShows(std::function<bool(CSourceOpenDlg&)> what) {
    return [what] { return Modal<CSourceOpenDlg>() && what(*Modal<CSourceOpenDlg>()); };
}

// The "..." button of the folder row, or of the file row: the one level with its field.
QWidget* ButtonBeside(CSourceOpenDlg& dialog, bool folder) {
    const QLineEdit* field = folder ? dialog.GetFolderEdit() : dialog.GetFileEdit();
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("...") && field && button->geometry().top() == field->geometry().top())
            return button;
    return nullptr;
}

// The accept button of the desktop's own file or folder picker, when it is on top.
QWidget* PickerAccept() {
    auto* picker = Modal<QFileDialog>();
    auto* buttons = picker ? picker->findChild<QDialogButtonBox*>() : nullptr;
    if (!buttons) return nullptr;
    for (QAbstractButton* button : buttons->buttons())
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) return button;
    return nullptr;
}

// The picker's list of the folder it shows, in whichever view (icons or details) it shows it.
QAbstractItemView* PickerList() {
    auto* picker = Modal<QFileDialog>();
    if (!picker) return nullptr;
    for (const QString& name : {QStringLiteral("listView"), QStringLiteral("treeView")})
        if (auto* view = picker->findChild<QAbstractItemView*>(name); view && view->isVisible()) return view;
    return nullptr;
}

// The entry named `name` in that list, once the picker has read its folder.
Aim PickerEntry(const QString& name) {
    return [name] {
        QAbstractItemView* list = PickerList();
        if (!list) return Spot{};
        const QAbstractItemModel* model = list->model();
        for (int r = 0; r < model->rowCount(list->rootIndex()); ++r) {
            const QModelIndex entry = model->index(r, 0, list->rootIndex());
            if (entry.data().toString() == name) return Spot{list->viewport(), list->visualRect(entry).center()};
        }
        return Spot{};
    };
}

// The name of the entry selected in that list ("" for none or more than one).
QString PickerSelection() {
    QAbstractItemView* list = PickerList();
    QStringList chosen;
    for (const QModelIndex& index : list ? list->selectionModel()->selectedIndexes() : QModelIndexList())
        if (index.column() == 0) chosen << index.data().toString();
    return chosen.size() == 1 ? chosen.front() : QString();
}

// The folder answer of a row that lets the desktop's own folder picker ask.
const std::string kSystemPicker = "(the system's folder picker)";

// ---- files ------------------------------------------------------------------------------

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::int64_t FramesOf(const std::string& path) {
    std::unique_ptr<sMP4MOVIE> movie = OpenMovieBoxes(path, true, false, HWND{});
    if (!movie) return -1;
    const std::int64_t frames = GetFrameCount(*movie);
    FreeMovieBoxes(std::move(movie));
    return frames;
}

int LineCount(const std::string& text) {
    int lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    return lines;
}

// Takes the pages the desktop's browser would be asked to open, of every scheme a link of
// the notice could carry.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() {
        for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~OpenedUrls() override {
        for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
    }
    std::vector<QString> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url.toString()); }

private:
    static constexpr const char* kSchemes[] = {"http", "https", "file", "javascript"};
};

// The middle of the link to `url` in the label's rich text, laid out as the label lays it out.
Spot LinkIn(QLabel* label, const QString& url) {
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    document.setHtml(label->text());
    document.setTextWidth(label->contentsRect().width());
    document.size();  // lays the text out
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() != url) continue;
            const int at = fragment.position() - block.position() + fragment.length() / 2;
            const QTextLine line = block.layout()->lineForTextPosition(at);
            if (!line.isValid()) return {};
            const QPointF origin = document.documentLayout()->blockBoundingRect(block).topLeft();
            const QPointF point = origin + QPointF(line.cursorToX(at), line.y() + line.height() / 2);
            return Spot{label, label->contentsRect().topLeft() + point.toPoint()};
        }
    }
    return {};
}

// ---- the fixture --------------------------------------------------------------------------

class DialogsFixture : public XPointerFixture {
protected:
    static void SetUpTestSuite() {
        std::vector<CardRecording> recordings(kRecordings, CardRecording{kFrames, kFps, true, true, fixtures::DataBlock{}});
        MakeCard(recordings);
    }
    void SetUp() override {
        XPointerFixture::SetUp();
        if (IsSkipped()) return;
        // The card and an empty medium in two readers once a test puts them there; none at start-up.
        SetRemovableMountProvider([this] {
            return cardInReader_ ? std::vector<std::string>{CardRoot(), OtherMedium()} : std::vector<std::string>();
        });
        SetFolderPicker(AnsweringPicker());
        fs::create_directories(OutFolder());
        fs::create_directories(OtherMedium());
    }
    void TearDown() override {
        CSourceOpenDlg::SetOpenFilePicker(nullptr);
        XPointerFixture::TearDown();
    }

    // The folder picker as the test answers it: with folderAnswer_, counted.
    FolderPicker AnsweringPicker() {
        return [this](QWidget*, std::string_view, const std::string&) {
            ++foldersAsked_;
            return folderAnswer_;
        };
    }

    static std::string CardRoot() { return card_->Path() + "/card"; }
    std::string OutFolder() const { return dir_.Path() + "/out"; }
    std::string OtherMedium() const { return dir_.Path() + "/medium"; }

    // Runs the user's part on a thread of its own while this thread gives `command` (a
    // command of the main window, which may hold a modal dialog) and serves the windows
    // until the user is done. A dialog left open after that is closed, as a failure.
    void Drive(const std::string& what, const std::function<void(const User&)>& part,
               const std::function<void()>& command = {}) {
        std::atomic<bool> done{false};
        std::atomic<bool> stop{false};
        std::thread hand([&] {
            SCOPED_TRACE(what);
            const User user(desk_, presses_, stop);
            part(user);
            done = true;
        });
        QTimer sweeper;
        QObject::connect(&sweeper, &QTimer::timeout, [&] {
            if (!done) return;
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << what << ": \"" << dialog->windowTitle().toStdString() << "\" was left open";
                dialog->reject();
            }
        });
        sweeper.start(200);
        if (command) command();
        if (!fixtures::RunUntil([&] { return done.load(); }, 300s)) {
            ADD_FAILURE() << what << ": the user's part did not end";
            stop = true;
            fixtures::RunUntil([&] { return done.load(); }, 60s);
        }
        hand.join();
    }

    // The recording open and paused, so that no command is refused for the end of a movie.
    void Hold(CsulvaneDlg& dlg) {
        ASSERT_TRUE(fixtures::RunUntil([&] { return Settled(); }, 60s));
        if (g_aPlayChannel[0].playState == PLAY_PLAYING) dlg.OnPlayPause();
        ASSERT_TRUE(fixtures::RunUntil([] { return g_aPlayChannel[0].playState != PLAY_PLAYING; }, 20s));
    }

    bool AllCardMoviesThere() const {
        for (int serial = 1; serial <= kRecordings; ++serial)
            if (!fs::exists(CardMovie(serial))) return false;
        return true;
    }

    PressWatch presses_;
    std::atomic<bool> cardInReader_{false};
    std::string folderAnswer_;
    int foldersAsked_ = 0;
};

TEST_F(DialogsFixture, EveryCloseBoxEndsItsWindowAndNothingElse) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CMovieDialog& map = *dlg.MapWindow();
    CObdDlg& gauges = *dlg.ObdWindow();
    CSettingDlg& settings = *dlg.SettingWindow();
    CSkinButton& mapButton = *test::TransportButtonOf(dlg, BTN_MAP_WINDOW);
    CSkinButton& gaugeButton = *test::TransportButtonOf(dlg, BTN_OBD_WINDOW);
    const std::string settingsBefore = SettingsText();
    const SourceKind kind = dlg.Browser()->GetSourceKind();
    const std::string source = dlg.Browser()->GetSourcePath();
    const int rows = dlg.RowCount();
    const auto sameSource = [&] {
        return dlg.Browser()->GetSourceKind() == kind && dlg.Browser()->GetSourcePath() == source;
    };
    const auto unchanged = [&] { return Settled() && sameSource() && dlg.RowCount() == rows && AllCardMoviesThere(); };
    folderAnswer_ = OutFolder();

    const struct Row {
        const char* window;
        std::function<void()> open;
        std::function<QWidget*()> closeBox;
        std::vector<Step> before;  // what the user did in it first
        std::function<bool()> closed;
    } table[] = {
        {"map window", [&] { dlg.OnCommand(ID_MAP_WINDOW); }, [&] { return map.GetCloseButton(); }, {},
         [&] { return !dlg.IsMapShown() && !mapButton.IsLatched() && OffScreen(&map); }},
        {"gauge window", [&] { dlg.OnCommand(ID_OBD_WINDOW); }, [&] { return gauges.GetCloseButton(); }, {},
         [&] { return !gaugeButton.IsLatched() && OffScreen(&gauges); }},
        {"settings window", [&] { dlg.OnCommand(ID_SETTINGS); }, [&] { return settings.GetCloseButton(); }, {},
         [&] { return OffScreen(&settings); }},
        {"source dialog", [&] { dlg.OnCommand(ID_OPEN_SOURCE); },
         [] { return Modal<CSourceOpenDlg>() ? Modal<CSourceOpenDlg>()->GetCloseButton() : nullptr; },
         {{"the file row", SourcePart([](CSourceOpenDlg& d) { return d.GetKindButton(IDC_SOURCE_FILE); }),
           SourceShows([](CSourceOpenDlg& d) { return d.GetSourceKind() == SOURCE_FILE; })}},
         [&] { return !Modal<CSourceOpenDlg>() && unchanged(); }},
        {"selection to delete", [&] { dlg.OnCommand(ID_DELETE_MOVIES); },
         [] { return Selection() ? Selection()->GetCloseButton() : nullptr; }, {TickRow(0, {0})}, unchanged},
        {"selection to join", [&] { dlg.OnCommand(ID_JOIN_MOVIES); },
         [] { return Selection() ? Selection()->GetCloseButton() : nullptr; }, {TickRow(0, {0}), TickRow(1, {0, 1})},
         [&] { return unchanged() && foldersAsked_ == 0 && fs::is_empty(OutFolder()); }},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.window);
        ASSERT_NO_FATAL_FAILURE(Hold(dlg));
        Drive(
            row.window,
            [&](const User& user) {
                ASSERT_TRUE(DoSteps(user, row.before));
                ASSERT_TRUE(user.Click(Centre(row.closeBox)));
                EXPECT_TRUE(user.Await(row.closed));
            },
            row.open);
    }
    EXPECT_EQ(SettingsText(), settingsBefore);
}

TEST_F(DialogsFixture, GaugeChoosersChangeWhatEachGaugeShowsButNotWhileAMoviePlays) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CObdDlg& gauges = *dlg.ObdWindow();
    const struct Row {
        int gauge;
        int kind;
        bool playing;
    } table[] = {
        {0, OBD_SPEED, false},
        {1, OBD_COOLANT_TEMP, false},
        {2, OBD_THROTTLE, false},
        {0, OBD_INTAKE_PRESSURE, true},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(testing::Message() << "gauge " << row.gauge << ", kind " << row.kind << (row.playing ? ", playing" : ""));
        ASSERT_NO_FATAL_FAILURE(Hold(dlg));
        if (!gauges.isVisible()) dlg.OnCommand(ID_OBD_WINDOW);
        QComboBox* combo = gauges.Combo(row.gauge);
        if (row.playing) {
            dlg.OnPlayPause();
            ASSERT_TRUE(fixtures::RunUntil(
                [&] { return g_aPlayChannel[0].playState == PLAY_PLAYING && !combo->isEnabled(); }, 20s));
        }
        const int before = gauges.SelectedKind(row.gauge);
        ASSERT_NE(before, row.kind) << "already so before the click";
        Drive("gauge chooser", [&](const User& user) {
            ASSERT_TRUE(user.Click(Centre([&] { return combo; })));
            if (row.playing) {
                // The chooser is locked: the click it has taken opens no list.
                EXPECT_TRUE(user.Await([&] { return gauges.SelectedKind(row.gauge) == before && !combo->view()->isVisible(); }));
                return;
            }
            EXPECT_TRUE(user.Press(ItemOf([&] { return combo; }, row.kind), [&] {
                return gauges.SelectedKind(row.gauge) == row.kind && combo->currentIndex() == row.kind &&
                       !combo->view()->isVisible();
            }));
        });
    }
}

TEST_F(DialogsFixture, SettingsBoxesSwitchTheirEventsForThisRunOnly) {
    CsulvaneDlg& dlg = OpenOnScreen();
    CSettingDlg& settings = *dlg.SettingWindow();
    const CGSensorDlg& graph = *test::ChildPaneOf<CGSensorDlg>(dlg);
    const std::string settingsBefore = SettingsText();
    dlg.OnCommand(ID_SETTINGS);
    Drive("settings boxes", [&](const User& user) {
        // Every box off, then every box on again: the box, the graph's markers and the map's
        // list follow each click.
        for (const bool on : {false, true}) {
            for (int box = 0; box < kEventCheckCount; ++box) {
                SCOPED_TRACE(testing::Message() << "box " << box << (on ? " on" : " off"));
                const sEVENTDETECTOR& detector = graph.Detectors()[std::size_t(DetectorForEventFilter(box))];
                EXPECT_TRUE(user.Press(Centre([&] { return settings.GetEventButton(box); }), [&] {
                    return bool(settings.IsEventChecked(box)) == on && bool(detector.bShow) == on &&
                           bool(detector.bList) == on;
                }));
            }
        }
    });
    // The choices live in memory only.
    EXPECT_EQ(SettingsText(), settingsBefore);
}

TEST_F(DialogsFixture, SourceDialogOpensTheChosenSourceOrKeepsTheOldOne) {
    CsulvaneDlg& dlg = OpenOnScreen();
    cardInReader_ = true;
    const std::string notARecording = dir_.Path() + "/notes.mov";
    WriteFile(notARecording, "not a movie");
    std::string fileAnswer;
    CSourceOpenDlg::SetOpenFilePicker([&](QWidget*, const std::string&, const QString&) { return fileAnswer; });

    const auto row = [&](const char* what, int id, SourceKind kind) {
        return Step{what, SourcePart([id](CSourceOpenDlg& d) { return d.GetKindButton(id); }),
                    SourceShows([kind](CSourceOpenDlg& d) { return d.GetSourceKind() == kind; })};
    };
    const auto browse = [&](const char* what, bool folder, std::string shown) {
        return Step{what, SourcePart([folder](CSourceOpenDlg& d) { return ButtonBeside(d, folder); }),
                    SourceShows([folder, shown](CSourceOpenDlg& d) {
                        return (folder ? d.GetFolderEdit() : d.GetFileEdit())->text().toStdString() == shown;
                    })};
    };
    const Step ok{"OK", SourcePart([](CSourceOpenDlg& d) { return d.GetOkButton(); }), [] { return !Modal<CSourceOpenDlg>(); }};
    const Step cancel{"キャンセル", SourcePart([](CSourceOpenDlg& d) { return d.GetCancelButton(); }),
                      [] { return !Modal<CSourceOpenDlg>(); }};

    // The source a row opens and how the settings remember it.
    struct Opened {
        SourceKind kind;
        std::string path;
        const char* select;
        const char* key;
    };
    const struct Row {
        const char* name;
        std::string folderAnswer, fileAnswer;
        std::vector<Step> steps;
        std::optional<Opened> opens;  // none: the source and the settings stay as they were
    } table[] = {
        // No file is remembered yet: the file row leaves OK disabled, and a click on it opens
        // nothing; Cancel is then the way out.
        {"file row without a file, OK, Cancel", "", "",
         {{"file row", SourcePart([](CSourceOpenDlg& d) { return d.GetKindButton(IDC_SOURCE_FILE); }),
           SourceShows([](CSourceOpenDlg& d) { return d.GetSourceKind() == SOURCE_FILE && !d.GetOkButton()->isEnabled(); })},
          {"OK", SourcePart([](CSourceOpenDlg& d) { return d.GetOkButton(); }),
           [] { return Modal<CSourceOpenDlg>() != nullptr; }},
          cancel},
         std::nullopt},
        {"file row, its browse button, OK", "", CardMovie(2),
         {row("file row", IDC_SOURCE_FILE, SOURCE_FILE), browse("file browse", false, CardMovie(2)), ok},
         Opened{SOURCE_FILE, CardMovie(2), "FILE", kSourceFileKey}},
        {"folder row, its browse button, OK", CardRoot(), "",
         {row("folder row", IDC_SOURCE_FOLDER, SOURCE_FOLDER), browse("folder browse", true, CardRoot()), ok},
         Opened{SOURCE_FOLDER, CardRoot(), "FOLDER", kSourceFolderKey}},
        // The desktop's own folder picker opens at the folder the settings remember (the card,
        // since the row above); a folder clicked in it and its accept button give that folder.
        {"folder browse, a folder in the system's picker, its accept button, Cancel", kSystemPicker, "",
         {{"folder browse", SourcePart([](CSourceOpenDlg& d) { return ButtonBeside(d, true); }),
           [] { return Modal<QFileDialog>() && Modal<QFileDialog>()->directory() == QDir(QString::fromStdString(CardRoot())); }},
          {"the movie folder in the picker", PickerEntry(QStringLiteral("Video")),
           [] { return PickerSelection() == QStringLiteral("Video"); }},
          {"the picker's accept button", Centre(PickerAccept),
           SourceShows([](CSourceOpenDlg& d) { return d.GetFolderEdit()->text().toStdString() == CardFolder(); })},
          cancel},
         std::nullopt},
        {"a file that is not a recording refused, the message's OK, Cancel", "", notARecording,
         {{"file browse", SourcePart([](CSourceOpenDlg& d) { return ButtonBeside(d, false); }),
           [] { return MessageBox(QStringLiteral("ERROR")) != nullptr; }},
          Answer("the message's OK", QStringLiteral("ERROR"), true),
          cancel},
         std::nullopt},
        {"folder browse, the keys, Cancel", CardFolder(), "",
         {browse("folder browse", true, CardFolder()), EnterAndEscape([] { return Modal<CSourceOpenDlg>(); }), cancel},
         std::nullopt},
        // The drive list offers the last drive found.
        {"SD row, OK", "", "", {row("SD row", IDC_SOURCE_SD, SOURCE_SD), ok},
         Opened{SOURCE_SD, OtherMedium(), "SD", kSourceSdKey}},
        {"the card's drive from the drive list, OK", "", "",
         {{"drive list", SourcePart([](CSourceOpenDlg& d) { return d.GetDriveList(); }),
           SourceShows([](CSourceOpenDlg& d) { return d.GetDriveList()->view()->isVisible(); })},
          {"the card's drive",
           ItemOf([]() -> QComboBox* { return Modal<CSourceOpenDlg>() ? Modal<CSourceOpenDlg>()->GetDriveList() : nullptr; }, 0),
           SourceShows([](CSourceOpenDlg& d) {
               return d.GetDriveList()->currentText().toStdString() == CardRoot() && d.GetSourceKind() == SOURCE_SD &&
                      d.GetOkButton()->isEnabled();
           })},
          ok},
         Opened{SOURCE_SD, CardRoot(), "SD", kSourceSdKey}},
        {"folder row, OK", CardFolder(), "",
         {row("folder row", IDC_SOURCE_FOLDER, SOURCE_FOLDER), browse("folder browse", true, CardFolder()), ok},
         Opened{SOURCE_FOLDER, CardFolder(), "FOLDER", kSourceFolderKey}},
        {"the close box after a row", "", "",
         {row("file row", IDC_SOURCE_FILE, SOURCE_FILE),
          {"close box", SourcePart([](CSourceOpenDlg& d) -> QWidget* { return d.GetCloseButton(); }),
           [] { return !Modal<CSourceOpenDlg>(); }}},
         std::nullopt},
    };
    for (const Row& r : table) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(fixtures::RunUntil([&] { return !QApplication::activeModalWidget(); }, 20s));
        SetFolderPicker(r.folderAnswer == kSystemPicker ? FolderPicker() : AnsweringPicker());
        folderAnswer_ = r.folderAnswer;
        fileAnswer = r.fileAnswer;
        const SourceKind kindBefore = dlg.Browser()->GetSourceKind();
        const std::string pathBefore = dlg.Browser()->GetSourcePath();
        const std::string settingsBefore = SettingsText();
        Drive(r.name, [&](const User& user) { DoSteps(user, r.steps); }, [&] { dlg.OnCommand(ID_OPEN_SOURCE); });
        if (r.opens) {
            EXPECT_EQ(dlg.Browser()->GetSourceKind(), r.opens->kind);
            EXPECT_EQ(dlg.Browser()->GetSourcePath(), r.opens->path);
            EXPECT_EQ(ReadIniString(kSourceSection, kSourceSelectKey), r.opens->select);
            EXPECT_EQ(ReadIniString(kSourceSection, r.opens->key), r.opens->path);
        } else {
            EXPECT_EQ(dlg.Browser()->GetSourceKind(), kindBefore);
            EXPECT_EQ(dlg.Browser()->GetSourcePath(), pathBefore);
            EXPECT_EQ(SettingsText(), settingsBefore);
        }
    }
}

TEST_F(DialogsFixture, UpdateNoticeOpensOnlyTheUpdatePagesAndItsButtonClosesIt) {
    CsulvaneDlg& dlg = Open();
    HideSatellites(dlg);
    OpenedUrls opened;
    dlg.OnUpdateInfo();
    auto* notice = dynamic_cast<CUpdateDialog*>(dlg.UpdateDialog());
    ASSERT_NE(notice, nullptr);
    const QString page = QString::fromStdString(UpdateServerUrl(DefaultInetConfig().updateHost, kGpsDataPage));
    const QString elsewhere = QStringLiteral("http://elsewhere.test/taiou/gps_data/dr_01/dr01.html");
    const QString file = QStringLiteral("file:///etc/passwd");
    std::string markup;
    for (const QString& link : {elsewhere, file, page})
        markup += "<a href=\"" + link.toStdString() + "\">" + link.toStdString() + "</a>\n\n";
    notice->SetMessage(markup);
    QLabel* message = test::MessageOf(*notice);
    QString hovered;
    QObject::connect(message, &QLabel::linkHovered, message, [&](const QString& link) { hovered = link; });

    const struct Row {
        QString link;
        bool opens;
    } table[] = {{elsewhere, false}, {file, false}, {page, true}};
    Drive("update notice", [&](const User& user) {
        for (const Row& row : table) {
            SCOPED_TRACE(row.link.toStdString());
            const Aim link = [&] { return LinkIn(message, row.link); };
            // The pointer rests on the link first: the label itself names the link under it.
            ASSERT_TRUE(user.MoveTo(link));
            ASSERT_TRUE(user.Await([&] { return hovered == row.link; }, 20s)) << "over " << hovered.toStdString();
            ASSERT_TRUE(user.Click(link));
            if (row.opens) {
                EXPECT_TRUE(user.Await([&] { return !opened.urls.empty(); }));
            }
        }
        // Enter does nothing; the button, taken after the links' clicks and the keys, closes it.
        EXPECT_TRUE(user.Type(Centre([&] { return notice; }), {"Return", "KP_Enter"}));
        EXPECT_TRUE(user.Press(Centre([&] { return test::CloseButtonOf(*notice); }),
                               [&] { return !notice->isVisible() && notice->m_bClosed; }));
        EXPECT_TRUE(user.Await([&] { return opened.urls == std::vector<QString>{page}; }));
    });

    // Escape closes a notice as its button does.
    dlg.OnUpdateInfo();
    auto* next = dynamic_cast<CUpdateDialog*>(dlg.UpdateDialog());
    ASSERT_NE(next, nullptr);
    Drive("Escape", [&](const User& user) {
        // A click into its page first: without a window manager nothing else gives a new window
        // the keyboard.
        const Aim page = Centre([&] { return next; });
        EXPECT_TRUE(user.Click(page));
        EXPECT_TRUE(user.Type(page, {"Escape"}));
        EXPECT_TRUE(user.Await([&] { return !next->isVisible() && next->m_bClosed; }));
    });
}

TEST_F(DialogsFixture, TheOverwriteQuestionKeepsOrReplacesTheFile) {
    CsulvaneDlg& dlg = OpenOnScreen();
    folderAnswer_ = OutFolder();
    const std::string csv = CsvFilePath(dlg.Browser()->GatherSourceFiles().front().path, OutFolder());
    const std::vector<sFILEENTRY> listed = dlg.Browser()->GetList()->CopyOfRows();
    ASSERT_GE(listed.size(), 2u);
    const std::string joined = OutFolder() + "/" + fs::path(listed[0].path).filename().string();
    const std::vector<std::string> joinedParts = JoinOutputParts(joined);
    ASSERT_EQ(joinedParts.size(), 3u);
    const std::int64_t joinedFrames = FramesOf(listed[0].path) + FramesOf(listed[1].path);
    const std::string kept = "kept\r\n";
    // An export closes the movie on screen and opens it again, paused where it stood.
    constexpr std::int64_t kStoodAt = 57;
    const auto exported = [&] {
        return LineCount(FileText(csv)) == kRecordings + 1 && FrontFrame() == kStoodAt &&
               g_aPlayChannel[0].playState == PLAY_PAUSED;
    };
    const auto wasJoined = [&] {
        return FramesOf(joined) == joinedFrames && fs::exists(joinedParts[1]) && fs::exists(joinedParts[2]);
    };
    const auto keptAlone = [&] { return FileText(joinedParts[0]) == kept && !fs::exists(joinedParts[1]); };
    const std::vector<Step> pickTwo{TickRow(0, {0}), TickRow(1, {0, 1}), SelectionOk()};
    const auto plus = [](std::vector<Step> steps, std::vector<Step> more) {
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };

    const struct Row {
        const char* name;
        int command;
        std::string existing;  // the file standing at the output's name ("" none)
        std::vector<Step> steps;
        std::function<bool()> effect;
    } table[] = {
        {"CSV, no file yet", ID_EXPORT_CSV, "", {Answer("done", kDoneCaption, true)}, exported},
        {"CSV, Cancel", ID_EXPORT_CSV, csv, {Answer("Cancel", kConfirmCaption, false)}, [&] { return FileText(csv) == kept; }},
        {"CSV, the keys, then Cancel", ID_EXPORT_CSV, csv,
         {EnterAndEscape([] { return MessageBox(kConfirmCaption); }), Answer("Cancel", kConfirmCaption, false)},
         [&] { return FileText(csv) == kept; }},
        {"CSV, OK", ID_EXPORT_CSV, csv, {Answer("OK", kConfirmCaption, true), Answer("done", kDoneCaption, true)}, exported},
        {"join, Cancel", ID_JOIN_MOVIES, joinedParts[0], plus(pickTwo, {Answer("Cancel", kConfirmCaption, false)}), keptAlone},
        {"join, OK", ID_JOIN_MOVIES, joinedParts[0],
         plus(pickTwo, {Answer("OK", kConfirmCaption, true), Answer("done", kDoneCaption, true)}), wasJoined},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(Hold(dlg));
        dlg.SeekToFrame(kStoodAt, PLAY_PAUSED);
        ASSERT_TRUE(fixtures::RunUntil([&] { return FrontFrame() == kStoodAt; }, 20s));
        for (const std::string& part : joinedParts) fs::remove(part);
        if (!row.existing.empty()) WriteFile(row.existing, kept);
        Drive(row.name, [&](const User& user) { DoSteps(user, row.steps); }, [&] { dlg.OnCommand(row.command); });
        EXPECT_TRUE(fixtures::RunUntil([&] { return Settled() && row.effect(); }, 60s));
    }
}

// Deleting changes the card: a suite of its own, with a card of its own.
class CardChangingFixture : public DialogsFixture {};

TEST_F(CardChangingFixture, TheSelectionDialogsRunTheirJobOnlyThroughTheirOkButton) {
    CsulvaneDlg& dlg = OpenOnScreen();
    folderAnswer_ = OutFolder();
    const std::vector<sFILEENTRY> listed = dlg.Browser()->GetList()->CopyOfRows();
    ASSERT_EQ(listed.size(), std::size_t(kRecordings));
    const std::string joined = OutFolder() + "/" + fs::path(listed[0].path).filename().string();
    const std::int64_t joinedFrames = FramesOf(listed[0].path) + FramesOf(listed[1].path) + FramesOf(listed[2].path);
    const std::size_t sourceCount = dlg.Browser()->GatherSourceFiles().size();
    const auto allShownTicked = [](CFileSelectDlg& d, std::size_t rows) {
        return d.GetList()->topLevelItemCount() == int(rows) && TickedRows().size() == rows && d.GetOkButton()->isEnabled();
    };
    const auto nothingDone = [&] {
        return Settled() && AllCardMoviesThere() && dlg.RowCount() == kRecordings && fs::is_empty(OutFolder());
    };

    const struct Row {
        const char* name;
        int command;
        std::vector<Step> steps;
        std::function<bool()> effect;
    } table[] = {
        {"delete: every row ticked, every file shown, Cancel",
         ID_DELETE_MOVIES,
         {SelectionCheck("表示された全てを選択", IDC_TICK_ALL,
                         [&](CFileSelectDlg& d) { return allShownTicked(d, listed.size()); }),
          SelectionCheck("全てのファイルを表示", IDC_SHOW_ALL,
                         [&](CFileSelectDlg& d) {
                             return d.GetCheckButton(IDC_SHOW_ALL)->GetCheck() && allShownTicked(d, sourceCount);
                         }),
          SelectionCancel()},
         nothingDone},
        {"join: a row, the keys, Cancel", ID_JOIN_MOVIES, {TickRow(1, {1}), EnterAndEscape(Selection), SelectionCancel()},
         [&] { return nothingDone() && foldersAsked_ == 0; }},
        {"join: rows 0 and 2 (1 follows), 1 off (2 follows), 2 again, 次へ",
         ID_JOIN_MOVIES,
         {TickRow(0, {0}), TickRow(2, {0, 1, 2}), TickRow(1, {0}), TickRow(2, {0, 1, 2}), SelectionOk(),
          Answer("done", kDoneCaption, true)},
         [&] { return Settled() && FramesOf(joined) == joinedFrames && AllCardMoviesThere(); }},
        {"delete: row 1, 削除",
         ID_DELETE_MOVIES,
         {TickRow(1, {1}), SelectionOk(), Answer("done", kDoneCaption, true)},
         [&] {
             return Settled() && !fs::exists(listed[1].path) && fs::exists(listed[0].path) &&
                    dlg.RowCount() == kRecordings - 1;
         }},
        // The movie on screen is closed before its files go; the list is read again and its
        // first row opens.
        {"delete: the row on screen, 削除",
         ID_DELETE_MOVIES,
         {TickRow(0, {0}), SelectionOk(), Answer("done", kDoneCaption, true)},
         [&] {
             return Settled() && !fs::exists(listed[0].path) && dlg.RowCount() == kRecordings - 2 &&
                    dlg.Road().CurrentRow() == 0 && dlg.Road().OpenPath() == listed[2].path;
         }},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(Hold(dlg));
        Drive(row.name, [&](const User& user) { DoSteps(user, row.steps); }, [&] { dlg.OnCommand(row.command); });
        EXPECT_TRUE(fixtures::RunUntil([&] { return row.effect(); }, 60s));
    }
}

}  // namespace
}  // namespace orv

#include "DialogsPointerTest.moc"
