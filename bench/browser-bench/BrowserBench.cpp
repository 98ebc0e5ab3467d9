// browser-bench: the file browser on a generated card of 1,000 recordings (rear companions
// and data files), timed from opening the source to the filled list of the recorder folder,
// against `find DIR -printf '%s %p\n'` over the same tree in the same run; and, on a small
// card of real movies, the time from a hover over a row to the first preview picture in the
// popup. Prints one JSON line. Timing never makes it fail; it exits with 2 on wrong
// arguments and 1 when a card cannot be made.
//
// usage: browser-bench [--recordings N] [--repeat R]
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FileListCtrl.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/base/JsonWriter.h"
#include "CardBench.h"
#include "playback/PlayChannel.h"
#include "ui/ScaleFonts.h"

namespace {

using Clock = std::chrono::steady_clock;
using orv::bench::MakeCard;
using orv::bench::Median;
using orv::bench::ParseCount;
using orv::bench::RunFind;
using orv::bench::WriteTimes;
using namespace orv;

// Opening the card as the program does: the source, the recorder folder's first date
// group, and the list filled and painted. The rows listed.
int OpenCard(CFilerContainerDlg& pane, const std::string& root, double& ms) {
    const auto start = Clock::now();
    browser_bench::OpenCardAsTheProgramDoes(pane, root);
    pane.GetList()->viewport()->repaint();
    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return pane.GetList()->GetItemCount();
}

}  // namespace

int main(int argc, char** argv) {
    int recordings = 1000;
    int repeat = 9;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--recordings") == 0 && hasValue && ParseCount(argv[i + 1], recordings)) {
            ++i;
        } else if (std::strcmp(argv[i], "--repeat") == 0 && hasValue && ParseCount(argv[i + 1], repeat)) {
            ++i;
        } else {
            std::cerr << "usage: browser-bench [--recordings N] [--repeat R]\n";
            return 2;
        }
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 1920, 1056);
    InitScaleAndFonts(monitor);
    InitChannel(g_aPlayChannel[0], 0, kSubstituteFace);
    g_aPlayChannel[0].initialised = 1;

    fixtures::TempDir tmp;
    browser_bench::UseCardsBelowAsDrives(tmp.Path());
    fixtures::CardBuilder card(tmp.Path() + "/card");
    if (tmp.Path().empty() || !MakeCard(card, recordings)) {
        std::cerr << "browser-bench: cannot make the card\n";
        return 1;
    }

    browser_bench::PreviewOwner owner;
    CFilerContainerDlg pane;
    pane.resize(460, 640);
    pane.CreateControls(&owner);
    owner.SetList(pane.GetList());
    RECT rc;
    pane.LayoutSideBySide(&rc);
    pane.move(300, 0);
    pane.show();

    // One round of each first, so both find the tree in the page cache.
    double ms = 0;
    const int rows = OpenCard(pane, card.Root(), ms);
    const std::optional<std::size_t> files = RunFind(card.Root(), ms);
    std::vector<double> openTimes, findTimes;
    for (int r = 0; r < repeat; ++r) {
        if (OpenCard(pane, card.Root(), ms) == rows) openTimes.push_back(ms);
        if (files && RunFind(card.Root(), ms)) findTimes.push_back(ms);
    }

    // Hover to the first preview picture, over rows of real movies.
    std::vector<double> hoverTimes;
    std::string hoverNote;
    if (fixtures::HaveFfmpeg()) {
        fixtures::CardBuilder movies(tmp.Path() + "/movies");
        movies.MakeLayoutFolders(0);
        fixtures::MovieSpec movieParams;
        movieParams.width = 1920;
        movieParams.height = 1080;
        movieParams.seconds = 3.0;
        const std::string front = tmp.Path() + "/front.MOV";
        if (fixtures::MakeMovie(movieParams, front, nullptr)) {
            for (int i = 0; i < 4; ++i) {
                fixtures::RecordingSpec params;
                params.serial = i + 1;
                params.movieFile = front;
                params.companionFile = front;
                movies.AddRecording(params);
            }
            browser_bench::OpenCardAsTheProgramDoes(pane, movies.Root());
            CFileListCtrl& list = *pane.GetList();
            QApplication::processEvents();
            for (int r = 0; r < repeat; ++r) {
                const int row = r % list.GetItemCount();
                list.StopPreview();
                const RECT b = list.GetItemBounds(row);
                const QPoint at = list.viewport()->mapToGlobal(QPoint(10, (b.top + b.bottom) / 2));
                const int before = list.GetTipWindow()->FrameCount();
                QElapsedTimer timer;
                timer.start();
                list.UpdatePreviewAt(at, list.viewport());
                if (browser_bench::WaitForPreviewFrames(list, before + 1, 5000))
                    hoverTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            list.StopPreview();
        } else {
            hoverNote = "ffmpeg could not make the movie";
        }
    } else {
        hoverNote = "no ffmpeg";
    }

    JsonWriter j;
    j.BeginObject();
    j.Key("recordings").Int(recordings);
    j.Key("rows").Int(rows);
    j.Key("findLines").Uint(files.value_or(0));
    WriteTimes(j, "openToListMs", openTimes);
    if (findTimes.empty()) {
        j.Key("findMs").Null();
        j.Key("ratio").Null();
    } else {
        WriteTimes(j, "findMs", findTimes);
        j.Key("ratio").Double(Median(openTimes) / Median(findTimes), 3);
    }
    if (hoverTimes.empty()) {
        j.Key("hoverToFrameMs").Null();
        j.Key("hoverNote").String(hoverNote.empty() ? "no picture within 5 s" : hoverNote);
    } else {
        WriteTimes(j, "hoverToFrameMs", hoverTimes);
    }
    j.EndObject();
    std::cout << j.str() << '\n';
    g_aPlayChannel[0].initialised = 0;
    TermChannel(g_aPlayChannel[0]);
    return 0;
}
