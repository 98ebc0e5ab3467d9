// screen-tour [--out DIR] [--card DIR] [--start DIR] [--shot FILE] [--window-manager]
//
// Runs the program's main window on the demo card (a small one made here unless --card
// names one) from a start folder whose settings file is the demo's (tools/demo.sh writes the
// same), or from the start folder --start names, as it is, and saves what it shows, for
// review: start-up with the list, playing at the hard-braking frame in layout modes 0, 1 and
// 2, the large-video view's zoom hint beside and above the video, the video menu open, both
// cameras with the map window closed (the pictures kept in shape, and the front stretched),
// the map window over the rear camera, the vehicle gauges open, the full view, the settings
// window, the outline of a drag, the program at scale 1.5, the window brought back after a
// minimise from the maximised state and the source dialog's folder picker. With --shot it
// saves one picture, of the first recording a few seconds into playing, to FILE.
//
// With --window-manager (on an X server with a window manager running, QT_QPA_PLATFORM=xcb)
// it saves instead what the X server shows, with real pointer input, after the gauge and map
// buttons and a click on the main window's caption, after play and after a move of the
// main window by its caption, and prints whether the server stacks the gauge and map windows
// above the main window. Offscreen unless QT_QPA_PLATFORM says otherwise.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/commands/ControlRules.h"
#include "app/window/MainWindowParts.h"
#include "common/AbsolutePath.h"
#include "app/window/CsulvaneApp.h"
#include "app/window/CsulvaneDlg.h"
#include "app/surface/MovieMenu.h"
#include "app/settings/SettingDlg.h"
#include "filer/FilerContainerDlg.h"
#include "filer/SourceOpenDlg.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/DemoCard.h"
#include "fixtures/DemoStart.h"
#include "fixtures/XDesktop.h"
#include "ui/CommonUtil.h"
#include "ui/Scaled.h"
#include "ui/SkinSliderCtrl.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"
#include "views/map/MovieDialog.h"

namespace fs = std::filesystem;
using namespace orv;

namespace {

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return fixtures::RunUntil(done, std::chrono::milliseconds(timeoutMs));
}

void Settle(int ms) { fixtures::RunFor(std::chrono::milliseconds(ms)); }

// The visible top-level windows of the program composed as they lie on the screen.
QImage Desktop(const std::vector<QWidget*>& windows) {
    QRect area;
    for (QWidget* w : windows)
        if (w && w->isVisible()) area = area.united(w->frameGeometry());
    QImage canvas(area.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    canvas.fill(QColor(40, 40, 48));
    QPainter painter(&canvas);
    for (QWidget* w : windows) {
        if (!w || !w->isVisible()) continue;
        const QPoint at = w->geometry().topLeft() - area.topLeft();
        // A shaped window (the sizing outline) shows only within its shape.
        painter.setClipRegion(w->mask().isEmpty() ? QRegion(canvas.rect()) : w->mask().translated(at));
        painter.drawPixmap(at, w->grab());
    }
    return canvas;
}

// What the X server shows under the window manager that runs on it, after real pointer
// input: the gauge and map windows above the main window after a click on its caption,
// after play and after a move by its caption. The number of pictures that failed.
int WindowManagerTour(CsulvaneDlg& dlg, const fs::path& out) {
    const fixtures::XDesktop desk;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !desk.Ready() || !desk.WindowManager() ||
        !fixtures::XDesktop::HavePointerTool()) {
        std::fprintf(stderr, "screen-tour: --window-manager needs an X server with a window manager and xdotool\n");
        return 1;
    }
    int failures = 0;
    QWidget* const satellites[] = {dlg.ObdWindow(), dlg.MapWindow()};
    const auto press = [](const QWidget* widget) {
        const QPoint at = widget->mapToGlobal(widget->rect().center());
        fixtures::RunUntilDone(fixtures::XDesktop::Click(at.x(), at.y()), std::chrono::seconds(60));
    };
    const auto caption = [&] { return dlg.mapToGlobal(QPoint(dlg.width() / 3, Scaled(12))); };
    const auto shoot = [&](const std::string& name) {
        Settle(1000);
        QRect area = dlg.frameGeometry();
        for (QWidget* w : satellites)
            if (w->isVisible()) area = area.united(w->frameGeometry());
        QScreen* screen = QGuiApplication::primaryScreen();
        area = area.adjusted(-30, -30, 30, 30).intersected(screen->geometry());
        const QPixmap shown = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const auto where = [&](const QWidget* w) {
            const auto id = std::uint32_t(w->winId());
            return !desk.Viewable(id) ? "not shown" : desk.Above(id, std::uint32_t(dlg.winId())) ? "above the main window" : "BELOW the main window";
        };
        const fs::path file = out / (name + ".png");
        if (!shown.save(QString::fromStdString(file.string()))) {
            std::fprintf(stderr, "screen-tour: cannot write %s\n", file.c_str());
            ++failures;
            return;
        }
        std::printf("%s (gauges %s, map %s)\n", file.c_str(), where(dlg.ObdWindow()), where(dlg.MapWindow()));
    };
    if (dlg.IsMapShown()) dlg.OnCommand(ID_MAP_WINDOW);
    press(test::TransportButtonOf(dlg, BTN_OBD_WINDOW));
    press(test::TransportButtonOf(dlg, BTN_MAP_WINDOW));
    RunUntil([&] { return satellites[0]->isVisible() && satellites[1]->isVisible(); }, 10000);
    Settle(1500);
    fixtures::RunUntilDone(fixtures::XDesktop::Click(caption().x(), caption().y()), std::chrono::seconds(60));
    shoot("20-wm-gauges-and-map-after-a-click-on-the-caption");
    press(test::TransportButtonOf(dlg, BTN_PLAY_PAUSE));
    RunUntil([] { return g_aPlayChannel[0].playState == PLAY_PLAYING; }, 10000);
    Settle(2000);
    shoot("21-wm-gauges-and-map-while-playing");
    const QPoint from = caption();
    fixtures::RunUntilDone(fixtures::XDesktop::Drag(from.x(), from.y(), from.x() + 240, from.y() + 140),
                           std::chrono::seconds(60));
    shoot("22-wm-gauges-and-map-after-a-move");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out = "screen-tour", card, shot, givenStart;
    bool windowManager = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--window-manager") == 0) windowManager = true;
        else if (hasValue && std::strcmp(argv[i], "--out") == 0) out = argv[++i];
        else if (hasValue && std::strcmp(argv[i], "--card") == 0) card = argv[++i];
        else if (hasValue && std::strcmp(argv[i], "--start") == 0) givenStart = argv[++i];
        else if (hasValue && std::strcmp(argv[i], "--shot") == 0) shot = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: screen-tour [--out DIR] [--card DIR] [--start DIR] [--shot FILE] [--window-manager]\n");
            return 2;
        }
    }
    // The tour runs in a start folder of its own: the paths it was given are taken from here.
    out = bench::AbsolutePath(out);
    card = bench::AbsolutePath(card);
    shot = bench::AbsolutePath(shot);
    givenStart = bench::AbsolutePath(givenStart);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    SetUpApplication();

    const fs::path work = fs::absolute(shot.empty() ? fs::path(out) : fs::path(shot).parent_path() / "screen-tour-start");
    fs::create_directories(work);
    if (card.empty()) {
        card = (work / "card").string();
        std::string error;
        if (!fixtures::MakeDemoCard(card, true, &error, true)) {
            std::fprintf(stderr, "screen-tour: %s\n", error.c_str());
            return 1;
        }
    }
    // The demo's settings: the keys of a new file, and the card's root as the last folder source.
    const fs::path start = givenStart.empty() ? work / "start" : fs::path(givenStart);
    if (givenStart.empty() && !fixtures::WriteDemoStartFolder(start.string(), card)) return 1;
    fs::current_path(start);

    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString& text, const QString& caption) {
        std::fprintf(stderr, "screen-tour: %s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    });
    dlg->OnInitDialog();
    if (dlg->IsInitFailed()) return 1;
    dlg->show();
    const std::vector<QWidget*> windows = {dlg.get(), dlg->MapWindow(), dlg->ObdWindow()};
    int failures = 0;  // pictures that could not be written
    auto save = [&](const std::string& name) {
        const fs::path file = shot.empty() ? fs::path(out) / (name + ".png") : fs::path(shot);
        Settle(300);
        if (!Desktop(windows).save(QString::fromStdString(file.string()))) {
            std::fprintf(stderr, "screen-tour: cannot write %s\n", file.c_str());
            ++failures;
            return false;
        }
        std::printf("%s\n", file.c_str());
        return true;
    };
    const bool opened = RunUntil([&] { return dlg->Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED; }, 30000);
    if (!opened) std::fprintf(stderr, "screen-tour: the first recording did not open\n");

    if (windowManager) {
        const int failed = WindowManagerTour(*dlg, fs::path(out));
        dlg->OnBtnClose();
        return opened && failed == 0 ? 0 : 1;
    }

    if (!shot.empty()) {
        if (!dlg->IsMapShown()) dlg->OnCommand(ID_MAP_WINDOW);
        dlg->OnCommand(ID_PLAY_PAUSE);
        RunUntil([&] { return dlg->InfoPanel()->Position() >= 45; }, 10000);
        const bool saved = save("shot");
        dlg->OnBtnClose();
        return saved && opened ? 0 : 1;
    }

    save("01-start-up");
    // The hard-braking moment: the first front-back G event, in the first recording that
    // has one; else the middle of the first recording.
    auto braking = [&]() -> int {
        for (const sCRASHPOS& event : dlg->CrashPositions())
            if (event.pRecord && event.nDetector == DETECTOR_AXIS_X) return event.pRecord->time;
        return -1;
    };
    int frame = braking();
    const int rows = dlg->RowCount();
    for (int row = 1; frame < 0 && row < rows; ++row) {
        dlg->Browser()->SelectFileRow(row, FALSE);
        RunUntil([&] { return dlg->Road().CurrentRow() == row && dlg->Road().DataLoaded(); }, 15000);
        frame = braking();
    }
    if (frame < 0) {
        dlg->Browser()->SelectFileRow(0, FALSE);
        RunUntil([&] { return dlg->Road().CurrentRow() == 0 && dlg->Road().DataLoaded(); }, 15000);
        frame = dlg->SeekSlider() ? dlg->SeekSlider()->GetRangeMax() / 2 : 0;
    }
    dlg->OnCommand(ID_PLAY_PAUSE);
    RunUntil([&] { return g_aPlayChannel[0].playState == PLAY_PLAYING; }, 5000);
    dlg->OnCommand(ID_PLAY_PAUSE);
    dlg->SeekToFrame(frame, PLAY_PAUSED);
    for (int mode : {0, 1, 2}) {
        dlg->LayoutForMode(mode);
        save("02-braking-mode" + std::to_string(mode));
    }
    // The large-video view: the zoom hint in the browser's place, beside the video and above it.
    for (int mode : {0, 1}) {
        dlg->LayoutForMode(mode);
        dlg->OnCommand(ID_VIEW_LARGE_VIDEO);
        save("02-large-video-mode" + std::to_string(mode));
        dlg->OnCommand(ID_VIEW_LARGE_VIDEO);
    }
    dlg->LayoutForMode(0);

    {
        CMovieMenu menu(false, dlg.get());
        menu.BuildPausedMenu(83, FALSE, 0, 1);
        const QPoint at = dlg->FrontSurface().mapToGlobal(QPoint(60, 60));
        menu.popup(at);
        Settle(200);
        // The first item highlighted, as the pointer or the arrows highlight it: across the whole menu.
        menu.setActiveAction(menu.actions().value(0));
        Settle(100);
        QImage base = Desktop(windows);
        QPainter painter(&base);
        painter.drawPixmap(at - dlg->geometry().topLeft(), menu.grab());
        painter.end();
        const fs::path file = fs::path(out) / "03-video-menu.png";
        if (base.save(QString::fromStdString(file.string()))) std::printf("%s\n", file.c_str());
        else ++failures;
        menu.close();
    }

    // Both cameras: the map window closed by its own close box shows the rear picture in
    // its place; the map window over the rear again; the gauges over the info panel and
    // the graph, the transport strip still in sight.
    if (!dlg->IsMapShown()) dlg->OnCommand(ID_MAP_WINDOW);
    dlg->MapWindow()->OnBtnClose();
    RunUntil([&] { return !dlg->IsMapShown(); }, 5000);
    save("04-both-cameras");
    // Keep-aspect off: the front picture fills its surface, the rear keeps its shape.
    dlg->OnKeepAspect();
    save("04-both-cameras-front-stretched");
    dlg->OnKeepAspect();
    dlg->OnCommand(ID_MAP_WINDOW);
    dlg->PlaceMapBesideVideo();
    Settle(1500);
    save("05-map-over-rear");
    dlg->OnCommand(ID_OBD_WINDOW);
    Settle(600);
    save("06-vehicle-gauges");
    dlg->OnCommand(ID_OBD_WINDOW);
    dlg->ApplyFullView(TRUE);
    save("07-full-view");
    dlg->ApplyFullView(FALSE);

    // The settings window over the program; the outline while the bottom-right corner is
    // dragged; the program on a monitor whose scale is 1.5.
    auto saveOf = [&](const std::string& name, const std::vector<QWidget*>& shown) {
        Settle(300);
        const fs::path file = fs::path(out) / (name + ".png");
        if (Desktop(shown).save(QString::fromStdString(file.string()))) std::printf("%s\n", file.c_str());
        else ++failures;
    };
    dlg->OnCommand(ID_SETTINGS);
    saveOf("08-settings", {dlg.get(), dlg->SettingWindow()});
    dlg->SettingWindow()->hide();
    const QRect window = dlg->geometry();
    const POINT corner{window.right() - 1, window.bottom() - 1};
    dlg->OnFrameButtonDown(corner);
    dlg->OnFrameMouseMove(POINT{corner.x + 240, corner.y + 150}, TRUE);
    saveOf("09-drag-outline", {dlg.get(), dlg->ScaleFrame()});
    dlg->OnFrameButtonUp(POINT{corner.x + 240, corner.y + 150});
    Settle(600);
    SetMonitorListProvider([] {
        const RECT area{0, 0, 2560, 1584};
        return std::vector<MonitorRects>{{area, area}};
    });
    dlg->OnMonitorChanged();
    save("10-scale-1.5");
    SetMonitorListProvider(nullptr);
    dlg->OnMonitorChanged();

    // Maximised, minimised and brought back by the window system: maximised as before.
    dlg->OnCommand(IDC_BTN_MAXIMIZE);
    dlg->OnCommand(IDC_BTN_MINIMIZE);
    RunUntil([&] { return dlg->isMinimized(); }, 5000);
    dlg->setWindowState(dlg->windowState() & ~Qt::WindowMinimized);
    RunUntil([&] { return !dlg->isMinimized(); }, 5000);
    save("11-restored-after-minimise-from-maximised");
    dlg->OnCommand(IDC_BTN_MAXIMIZE);

    // The source dialog's folder picker, in the program's language.
    {
        CSourceOpenDlg source(dlg.get());
        source.OnInitDialog();
        source.show();
        Settle(200);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* picker = QApplication::activeModalWidget();
            if (!qobject_cast<QFileDialog*>(picker)) return;
            poll.stop();
            saveOf("12-folder-picker", {dlg.get(), &source, picker});
            static_cast<QFileDialog*>(picker)->reject();
        });
        poll.start(50);
        source.OnBrowseFolder();
    }
    dlg->OnBtnClose();
    return opened && failures == 0 ? 0 : 1;
}
