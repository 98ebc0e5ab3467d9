// recordings-bench [--card DIR] [--count N] [--interval-ms MS]
//
// Runs the program's main window offscreen on a card of many recordings and goes through
// them as a user does who presses "next" while the movies play: the first recording plays,
// then "next" every 1.5 s, 50 times. Prints the process's resident memory at the first and
// at the last recording, beside the peak that one recording took (the peak once the first
// has played), and the ratio of last to first.
//
// The card is the demo card (made at full size unless --card names one) with the movies and
// data files of its driving folder hard-linked under further recorder names, so that one
// folder holds more recordings than the run goes through.
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/commands/ControlRules.h"
#include "app/window/CsulvaneApp.h"
#include "app/window/CsulvaneDlg.h"
#include "common/AbsolutePath.h"
#include "common/CardBench.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/ChildMemory.h"
#include "fixtures/DemoCard.h"
#include "fixtures/DemoStart.h"
#include "fixtures/EventLoopWait.h"
#include "playback/PlayChannel.h"

namespace fs = std::filesystem;
using namespace orv;

namespace {

// The demo card's layout: driving movies in "Video", their data files in "_VData".
constexpr int kLayout = 1;

double Mib(std::int64_t kb) { return double(kb) / 1024.0; }

// The name of the index-th recording (below 800) of the generated card, for the camera and
// file ending `tail` ("M.MOV"): continuous recordings a minute apart from 10:00 with running
// serials, so that the list holds them in one group in this order.
std::string ManyName(int index, const char* tail) {
    char name[48];
    std::snprintf(name, sizeof name, "A___-240501-%02d%02d00-%06d%s", 10 + index / 60 % 14, index % 60,
                  100001 + index, tail);
    return name;
}

// Fills `many` with `count` driving recordings: the movies and data files of the demo card's
// driving recordings in turn, hard-linked (copied where links cannot be made).
bool MakeManyCard(const fs::path& demo, const fs::path& many, int count) {
    std::error_code ec;
    fs::remove_all(many, ec);
    fixtures::CardBuilder card(many.string());
    if (!card.MakeLayoutFolders(kLayout)) return false;
    const fs::path movies = fixtures::LayoutFolder(kLayout, 0), data = fixtures::LayoutFolder(kLayout, 1);
    std::vector<std::string> stems;  // of the front movies: the name before "M.MOV"
    for (const auto& entry : fs::directory_iterator(demo / movies, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.compare(name.size() - 5, 5, "M.MOV") == 0)
            stems.push_back(name.substr(0, name.size() - 5));
    }
    if (stems.empty()) return false;
    std::sort(stems.begin(), stems.end());
    for (int i = 0; i < count; ++i) {
        const std::string& stem = stems[std::size_t(i) % stems.size()];
        for (const auto& [folder, tail] :
             {std::pair{movies, "M.MOV"}, std::pair{movies, "S.MOV"}, std::pair{data, "D.ADA"}}) {
            const fs::path from = demo / folder / (stem + tail);
            if (!fs::exists(from)) continue;
            const fs::path to = many / folder / ManyName(i, tail);
            fs::create_hard_link(from, to, ec);
            if (ec && !fs::copy_file(from, to, ec)) return false;
        }
    }
    return true;
}

bool Playing() { return g_aPlayChannel[0].playState == PLAY_PLAYING; }

}  // namespace

int main(int argc, char** argv) {
    std::string demo;
    int count = 50, intervalMs = 1500;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--card") == 0) {
            demo = bench::AbsolutePath(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--count") == 0 && bench::ParseCount(argv[i + 1], count) && count < 798) {
        } else if (std::strcmp(argv[i], "--interval-ms") == 0 && bench::ParseCount(argv[i + 1], intervalMs)) {
        } else {
            std::fprintf(stderr, "usage: recordings-bench [--card DIR] [--count N] [--interval-ms MS]\n");
            return 2;
        }
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // As the program's main() starts its application.
    QApplication app(argc, argv);
    SetUpApplication();

    const fs::path work = fs::absolute("recordings-bench-work");
    fs::create_directories(work / "start");
    if (demo.empty()) {
        demo = (work / "demo").string();
        if (!fs::exists(fs::path(demo) / "Video")) {
            std::string error;
            std::fprintf(stderr, "recordings-bench: making the demo card in %s\n", demo.c_str());
            if (!fixtures::MakeDemoCard(demo, false, &error, true)) {
                std::fprintf(stderr, "recordings-bench: %s\n", error.c_str());
                return 1;
            }
        }
    }
    // One more than the run goes through: "next" on the last row would end the run's playing.
    const fs::path card = work / "card";
    if (!MakeManyCard(demo, card, count + 2)) {
        std::fprintf(stderr, "recordings-bench: cannot make the card in %s\n", card.c_str());
        return 1;
    }
    if (!fixtures::WriteStartFolder((work / "start").string(), card.string())) return 1;
    fs::current_path(work / "start");

    auto dlg = std::make_unique<CsulvaneDlg>();
    dlg->SetShowMessage([](const QString& text, const QString&) {
        std::fprintf(stderr, "recordings-bench: %s\n", text.toUtf8().constData());
    });
    dlg->OnInitDialog();
    dlg->show();
    // The list fills while the folder is scanned; the first recording opens meanwhile.
    if (!fixtures::RunUntil([&] { return dlg->Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED &&
                                         dlg->RowCount() > count; },
                            std::chrono::seconds(60))) {
        std::fprintf(stderr, "recordings-bench: the card did not open with more than %d recordings\n", count);
        return 1;
    }
    const std::int64_t startedKb = fixtures::StatusKb("VmRSS");
    const auto interval = std::chrono::milliseconds(intervalMs);

    dlg->OnCommand(ID_PLAY_PAUSE);
    fixtures::RunFor(interval);
    const std::int64_t firstKb = fixtures::StatusKb("VmRSS");
    const std::int64_t onePeakKb = fixtures::StatusKb("VmHWM");
    const int firstRow = dlg->Road().CurrentRow();
    std::printf("%-12s %8s %10s %8s\n", "recording", "row", "RSS MiB", "playing");
    std::printf("%-12d %8d %10.1f %8s\n", 1, firstRow, Mib(firstKb), Playing() ? "yes" : "no");
    int playing = Playing() ? 1 : 0;
    std::int64_t lastKb = firstKb;
    for (int n = 1; n <= count; ++n) {
        dlg->OnCommand(ID_PLAY_NEXT);
        fixtures::RunFor(interval);
        playing += Playing() ? 1 : 0;
        lastKb = fixtures::StatusKb("VmRSS");
        if (n % 10 == 0 || n == count)
            std::printf("%-12d %8d %10.1f %8s\n", n + 1, dlg->Road().CurrentRow(), Mib(lastKb), Playing() ? "yes" : "no");
    }
    const int lastRow = dlg->Road().CurrentRow();
    dlg->OnBtnClose();
    dlg.reset();

    std::printf("recordings gone through: %d (rows %d to %d), playing when looked at: %d\n", count + 1, firstRow,
                lastRow, playing);
    std::printf("resident memory: %.1f MiB once started, %.1f MiB at the first recording, %.1f MiB at the last\n",
                Mib(startedKb), Mib(firstKb), Mib(lastKb));
    std::printf("peak with one recording (VmHWM after the first): %.1f MiB\n", Mib(onePeakKb));
    std::printf("last / first: %.3f (aim: at most 1.10)\n", firstKb > 0 ? double(lastKb) / double(firstKb) : 0.0);
    return 0;
}
