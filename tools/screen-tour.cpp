// screen-tour [--out DIR] [--card DIR] [--shot FILE]
//
// Runs the program's main window on the demo card (a small one made here unless --card
// names one) and saves what it shows, for review: start-up with the list, playing at the
// hard-braking frame in layout modes 0, 1 and 2, the video menu open, both cameras with the
// map window closed, the map window over the rear camera, the vehicle gauges open, the full
// view, the settings window, the outline of a drag, the program at scale 1.5, the window
// brought back after a minimise from the maximised state and the source dialog's folder
// picker. With --shot it saves one picture, of the first recording a few seconds into
// playing, to FILE. Offscreen unless QT_QPA_PLATFORM says otherwise.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFileDialog>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <QTimer>
#include <QWidgetAction>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/commands/ControlRules.h"
#include "common/AbsolutePath.h"
#include "app/window/CsulvaneApp.h"
#include "app/window/CsulvaneDlg.h"
#include "app/surface/MovieMenu.h"
#include "app/commands/SettingDlg.h"
#include "filer/FilerContainerDlg.h"
#include "filer/SourceOpenDlg.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/DemoCard.h"
#include "fixtures/DemoStart.h"
#include "ui/CommonUtil.h"
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

}  // namespace

int main(int argc, char** argv) {
    std::string out = "screen-tour", card, shot;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--out") == 0) out = argv[i + 1];
        else if (std::strcmp(argv[i], "--card") == 0) card = argv[i + 1];
        else if (std::strcmp(argv[i], "--shot") == 0) shot = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: screen-tour [--out DIR] [--card DIR] [--shot FILE]\n");
            return 2;
        }
    }
    // The tour runs in a start folder of its own: the paths it was given are taken from here.
    out = bench::AbsolutePath(out);
    card = bench::AbsolutePath(card);
    shot = bench::AbsolutePath(shot);
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
    // The start folder's settings name the card's root as the last folder source.
    const fs::path start = work / "start";
    if (!fixtures::WriteStartFolder(start.string(), card)) return 1;
    // The display settings a first start writes: the pictures keep their aspect.
    std::ofstream(start / "Default_Folder.ini", std::ios::app) << "[DISPLAY]\nASPECT=on\n";
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
    const int rows = dlg->Entries() ? int(dlg->Entries()->size()) : 0;
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
    dlg->LayoutForMode(0);

    {
        CMovieMenu menu(false, dlg.get());
        menu.BuildPausedMenu(83, FALSE, 0, 1);
        const QPoint at = dlg->FrontSurface().mapToGlobal(QPoint(60, 60));
        menu.popup(at);
        Settle(200);
        // The mouse over the first item: it is highlighted across the whole menu.
        if (auto* first = qobject_cast<QWidgetAction*>(menu.actions().value(0)); first && first->defaultWidget()) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(first->defaultWidget()->mapToGlobal(QPoint(5, 5))));
            QApplication::sendEvent(first->defaultWidget(), &enter);
            Settle(100);
        }
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
