// The web engine and OpenGL come with the map's page, not with the program: the main window
// opens and plays a recording, with the map window on but its page not shown (the map is
// offline here), before a library of either is mapped into the process; the first showing of
// the page loads the web engine but no OpenGL (the page is drawn in software), switching the
// map off ends the page's browser, and switching it on again makes a new one.
#include <gtest/gtest.h>

#include <QOpenGLContext>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/commands/ControlRules.h"
#include "app/window/CsulvaneDlg.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/DemoStart.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "playback/PlayChannel.h"
#include "views/map/GoogleMapDlg2.h"
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/MapConfig.h"
#include "views/map/MovieDialog.h"
#include "platform/web/WebHost.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// The libraries of the process (from its memory map) whose names hold one of `parts`.
std::vector<std::string> MappedLibraries(const std::vector<std::string>& parts) {
    std::vector<std::string> found;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string path = line.substr(slash);
        const std::string name = path.substr(path.rfind('/') + 1);
        for (const std::string& part : parts)
            if (name.find(part) != std::string::npos && std::find(found.begin(), found.end(), path) == found.end())
                found.push_back(path);
    }
    return found;
}

const std::vector<std::string> kWebEngine = {"libQt6WebEngine", "libQt6WebChannel", "libQt6Quick", "libQt6Qml"};
// Qt's OpenGL helpers and the drivers behind the GL dispatch libraries that QtGui links.
const std::vector<std::string> kOpenGlDrivers = {"libGLX_", "libEGL_", "_dri.so", "libLLVM", "libglapi"};
const std::vector<std::string> kOpenGl = [] {
    std::vector<std::string> all = kOpenGlDrivers;
    all.push_back("libQt6OpenGL");
    return all;
}();

std::string Join(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text += p + "\n";
    return text;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s) {
    return fixtures::RunUntil(done, timeout);
}

TEST(MainWindowMapLoad, TheWebEngineAndOpenGlAreLoadedWhenTheMapPageIsFirstShown) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
    if (!CGoogleMapDlgWrap::IsWebEngineAvailable()) GTEST_SKIP() << "no web engine";
    fixtures::TempDir dir;
    fixtures::MovieSpec movie;
    movie.width = 320;
    movie.height = 180;
    movie.fpsNum = 10;
    movie.seconds = 4;
    ASSERT_TRUE(fixtures::MakeMovie(movie, dir.Path() + "/front.mp4", nullptr));
    fixtures::CardBuilder builder(dir.Path() + "/card");
    fixtures::RecordingSpec recording;
    recording.layout = -1;
    recording.folder = "Video";
    recording.movieFile = dir.Path() + "/front.mp4";
    recording.companion = false;
    fixtures::DataBlock block;
    block.records.resize(40);
    recording.data = block;
    ASSERT_FALSE(builder.AddRecording(recording).empty());
    ASSERT_TRUE(fixtures::WriteStartFolder(dir.Path() + "/start", dir.Path() + "/card/Video"));
    SetRemovableMountProvider([] { return std::vector<std::string>(); });
    const auto oldDir = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path() + "/start");

    {
        auto dlg = std::make_unique<CsulvaneDlg>();
        dlg->SetShowMessage([](const QString&, const QString&) {});
        dlg->OnInitDialog();
        ASSERT_FALSE(dlg->IsInitFailed());
        dlg->show();
        ASSERT_TRUE(RunUntil([&] { return dlg->Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED; }));
        dlg->OnCommand(ID_PLAY_PAUSE);
        ASSERT_TRUE(RunUntil([] { return g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]) >= 10; }));
        if (!dlg->IsMapShown()) dlg->OnCommand(ID_MAP_WINDOW);
        ASSERT_TRUE(dlg->MapWindow()->isVisible());
        RunUntil([] { return false; }, 300ms);
        EXPECT_EQ(Join(MappedLibraries(kWebEngine)), "") << "mapped before the map page was shown";
        EXPECT_EQ(Join(MappedLibraries(kOpenGl)), "") << "mapped before the map page was shown";

        // The page shown as when the map is online; offline, the page waits for a connection
        // before it loads its map library.
        CGoogleMapDlgWrap& map = *dlg->MapBridge();
        const auto pageOpened = [&] {
            const WebHost* view = map.GetMapDlg2()->m_holder.GetWebView();
            return view && view->CurrentUrl().toString().toStdString() == kMapPageUrl;
        };
        map.ShowMap(TRUE);
        ASSERT_TRUE(RunUntil(pageOpened)) << "the map page did not open";
        EXPECT_NE(Join(MappedLibraries({"libQt6WebEngineCore"})), "");
        EXPECT_NE(Join(MappedLibraries({"libQt6WebChannel"})), "");
        // The page is drawn in software: no OpenGL driver comes with it, on an X server either
        // (Qt's OpenGL helpers come linked with the engine).
        EXPECT_EQ(Join(MappedLibraries(kOpenGlDrivers)), "") << "mapped when the map page was shown";
        const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
        ASSERT_NE(shared, nullptr);
        EXPECT_FALSE(shared->isValid());

        // Switched off, the map ends its browser; switched on and shown, it makes a new one.
        dlg->OnCommand(ID_MAP_WINDOW);
        ASSERT_FALSE(dlg->IsMapShown());
        EXPECT_EQ(map.GetMapDlg2()->m_holder.GetWebView(), nullptr);
        EXPECT_FALSE(map.GetHostWindow()->isVisible());
        dlg->OnCommand(ID_MAP_WINDOW);
        map.ShowMap(TRUE);
        EXPECT_TRUE(RunUntil(pageOpened)) << "the map page did not open again";
        dlg->OnBtnClose();
    }
    std::filesystem::current_path(oldDir);
    SetRemovableMountProvider(nullptr);
}

}  // namespace
}  // namespace orv
