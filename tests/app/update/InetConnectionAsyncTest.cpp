#include "app/update/InetConnectionAsync.h"

#include <QLabel>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/update/UpdateDialogParts.h"
#include "app/update/UpdateDialog.h"
#include "app/update/VersionFile.h"
#include "fixtures/LoopbackHttpServer.h"

namespace orv {
namespace {

using fixtures::LoopbackHttpServer;
using Reply = LoopbackHttpServer::Reply;

const std::string kFirmwareFile(kUpdateModels[0].versionFile);  // KM1A
const std::string kViewerFile(kViewerVersionFile);
const std::string kGpsFile(kGpsDataFile);

// A window that records what is posted to it.
class RecordingWindow {
public:
    RecordingWindow() : hwnd_(RegisterAppWindow([this](unsigned msg, WPARAM, LPARAM) {
        std::lock_guard lock(mutex_);
        messages_.push_back(msg);
    })) {}
    ~RecordingWindow() { UnregisterAppWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }
    std::vector<unsigned> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<unsigned> messages_;
    const HWND hwnd_;
};

InetConfig LoopbackConfig(const LoopbackHttpServer& server, long fetchTimeoutMs = 2000) {
    InetConfig config;
    config.updateHost = server.HostPort();
    config.probeUrl = server.Url("/");
    config.fetchLimits.totalTimeoutMs = fetchTimeoutMs;
    return config;
}

void WaitForResult(const CInetConnectionAsync& inet) {
    while (inet.m_nResult.load() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string Url(const LoopbackHttpServer& server, std::string_view path) {
    return UpdateServerUrl(server.HostPort(), path);
}

Reply Body(std::string body, bool chunked = false) { return Reply{Reply::Answer, 200, std::move(body), chunked}; }

TEST(UpdateCheck, ComparesTheThreeVersionsAndPostsTheMessage) {
    const Reply fwNew = Body("VER:1.2.4\r\n"), viewerSame = Body("VER:3.0.0"), viewerNew = Body("VER:3.1.0\r\n"),
                gpsNew = Body("230110\r\n");
    const UpdateSection fw{"1.2.3", "1.2.4", std::string(kUpdateModels[0].page)};
    const UpdateSection viewer{"3.0.0", "3.1.0", std::string(kViewerPage)};
    const UpdateSection gps{"22/04/25", "23/01/10", std::string(kGpsDataPage)};
    const std::nullopt_t no = std::nullopt;
    struct Case {
        const char* name;
        std::map<std::string, Reply> files;
        std::string gpsVersion, tag;
        UpdateResult code;
        UpdateNews news;  // page paths, made addresses below
    };
    const Case cases[] = {
        {"firmware", {{kFirmwareFile, fwNew}, {kViewerFile, viewerSame}}, "", "KM1A_download", UPDATE_FIRMWARE,
         {fw, no, no}},
        {"viewer", {{kViewerFile, viewerNew}}, "", "KM1A_download", UPDATE_VIEWER, {no, viewer, no}},
        {"gps", {{kViewerFile, viewerSame}, {kGpsFile, gpsNew}}, "220425", "KM1A_download", UPDATE_GPS,
         {no, no, gps}},
        {"firmware+viewer", {{kFirmwareFile, fwNew}, {kViewerFile, viewerNew}}, "", "KM1A_download",
         UPDATE_FIRMWARE_VIEWER, {fw, viewer, no}},
        {"firmware+gps", {{kFirmwareFile, fwNew}, {kViewerFile, viewerSame}, {kGpsFile, gpsNew}}, "220425",
         "KM1A_download", UPDATE_FIRMWARE_GPS, {fw, no, gps}},
        {"viewer+gps", {{kViewerFile, viewerNew}, {kGpsFile, gpsNew}}, "220425", "KM1A_download", UPDATE_VIEWER_GPS,
         {no, viewer, gps}},
        {"all", {{kFirmwareFile, fwNew}, {kViewerFile, viewerNew}, {kGpsFile, gpsNew}}, "220425\r\n",
         "KM1A_download", UPDATE_ALL, {fw, viewer, gps}},
        // The firmware is compared up to its third point; versions without their line ends.
        {"trimmed", {{kFirmwareFile, Body("VER:1.2.3.4\r\n")}, {kViewerFile, Body("VER:3.0.0\r\n")}}, "",
         "KM1A_download", UPDATE_NONE, {}},
        {"unknown model", {{kFirmwareFile, fwNew}, {kViewerFile, viewerSame}}, "", "km1a_download", UPDATE_NONE, {}},
        {"no version tag", {{kFirmwareFile, Body("1.2.4")}, {kViewerFile, viewerSame}}, "", "KM1A_download",
         UPDATE_NONE, {}},
        // A failed GPS data file takes nothing away from what the others told.
        {"gps file missing", {{kFirmwareFile, fwNew}, {kViewerFile, viewerSame}}, "220425", "KM1A_download",
         UPDATE_FIRMWARE, {fw, no, no}},
        {"gps 1 MB", {{kViewerFile, viewerSame}, {kGpsFile, Body("230110" + std::string(1 << 20, '\n'))}},
         "220425", "KM1A_download", UPDATE_GPS, {no, no, gps}},
        {"gps in chunks", {{kViewerFile, viewerSame}, {kGpsFile, Body("\r\n230110\r\n" + std::string(3000, ' '), true)}},
         "220425", "KM1A_download", UPDATE_GPS, {no, no, gps}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackHttpServer server;
        for (const auto& [path, reply] : c.files) server.Set(path, reply);
        RecordingWindow window;
        CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server));
        inet.StartUpdateCheck("1.2.3", c.gpsVersion, c.tag);
        WaitForResult(inet);

        EXPECT_EQ(inet.m_nResult.load(), c.code);
        UpdateNews news = c.news;
        for (auto* s : {&news.firmware, &news.viewer, &news.gps})
            if (*s) (*s)->pageUrl = Url(server, (*s)->pageUrl);
        EXPECT_EQ(inet.GetResultText(), ComposeUpdateMessage(news));
        EXPECT_EQ(window.Messages(), c.code ? std::vector<unsigned>{WM_APP_UPDATE_INFO} : std::vector<unsigned>{});
        // Each file is asked for once at most; the GPS data file only with a version at hand.
        EXPECT_EQ(server.Requests(kFirmwareFile), c.tag == "KM1A_download" ? 1 : 0);
        EXPECT_EQ(server.Requests(kViewerFile), 1);
        EXPECT_EQ(server.Requests(kGpsFile), c.gpsVersion.empty() ? 0 : 1);
    }
}

TEST(UpdateCheck, MarkupFromTheServerIsOnlyText) {
    LoopbackHttpServer server;
    server.Set(kViewerFile, "VER:<a href=\"javascript:alert(1)\">3.1</a>");
    RecordingWindow window;
    CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server));
    inet.StartUpdateCheck("1.2.3", "", "");
    WaitForResult(inet);
    ASSERT_EQ(inet.m_nResult.load(), UPDATE_VIEWER);
    const RichLinkText rich = LinkMarkupToHtml(inet.GetResultText());
    EXPECT_EQ(rich.links, std::vector<std::string>{Url(server, kViewerPage)});
    EXPECT_NE(rich.html.find("&lt;a href=&quot;javascript:alert(1)&quot;&gt;3.1&lt;/a&gt;"), std::string::npos);
}

TEST(UpdateCheck, ControlAndFormatCharactersAndSecondLinesFromTheServerNeverReachTheDialog) {
    const struct {
        std::string viewer, gps;  // the two files' bytes
        UpdateResult code;
        std::string viewerShown, gpsShown;  // the published versions the message shows
    } cases[] = {
        {std::string("VER:3.\0" "1.0\x1b[0m\a\r\n", 16), "", UPDATE_VIEWER, "3.1.0[0m", ""},
        {std::string("V\0ER:3.0.0\0\r\n", 13), std::string("23\0" "0110\x07\r\n", 10), UPDATE_GPS, "", "23/01/10"},
        {"VER:3.\xc2\x85" "2", "\x7f" "230110\f", UPDATE_VIEWER_GPS, "3.2", "23/01/10"},
        // One line each, without the format characters that would turn the URL line around.
        {"VER:\xE2\x80\xAE" "3.1.0\r\nURL : <a href=\"http://elsewhere/\">x</a>", "230110\r\n\r\n\xE2\x80\xAE" "x",
         UPDATE_VIEWER_GPS, "3.1.0", "23/01/10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        LoopbackHttpServer server;
        server.Set(kViewerFile, c.viewer);
        if (!c.gps.empty()) server.Set(kGpsFile, c.gps);
        RecordingWindow window;
        CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server));
        inet.StartUpdateCheck("1.2.3", c.gps.empty() ? "" : "220425", "");
        WaitForResult(inet);
        ASSERT_EQ(inet.m_nResult.load(), c.code);

        UpdateNews news;
        if (!c.viewerShown.empty()) news.viewer = UpdateSection{"3.0.0", c.viewerShown, Url(server, kViewerPage)};
        if (!c.gpsShown.empty()) news.gps = UpdateSection{"22/04/25", c.gpsShown, Url(server, kGpsDataPage)};
        EXPECT_EQ(inet.GetResultText(), ComposeUpdateMessage(news));
        CUpdateDialog dialog(nullptr, server.HostPort());
        dialog.SetMessage(inet.GetResultText());
        const QString shown = test::MessageOf(dialog)->text();
        EXPECT_FALSE(std::any_of(shown.begin(), shown.end(), [](QChar ch) {
            return (ch.category() == QChar::Other_Control && ch != u'\t') || ch.category() == QChar::Other_Format;
        })) << shown.toStdString();
    }
}

TEST(UpdateCheck, FollowsRedirectsOnlyOnTheUpdateServer) {
    LoopbackHttpServer server, other;
    server.Set("/moved/version.txt", "VER:3.1.0");
    other.Set(kViewerFile, "VER:3.1.0");
    const struct {
        std::string location;
        UpdateResult code;
    } cases[] = {
        {"/moved/version.txt", UPDATE_VIEWER},
        {other.Url(kViewerFile), UPDATE_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        server.SetRedirect(kViewerFile, c.location);
        RecordingWindow window;
        CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server));
        inet.StartUpdateCheck("1.2.3", "", "");
        WaitForResult(inet);
        EXPECT_EQ(inet.m_nResult.load(), c.code);
    }
    EXPECT_EQ(other.Connections(), 0);
}

TEST(UpdateCheck, RunsOnceAndNeedsAnOwnerToPost) {
    LoopbackHttpServer server;
    server.Set(kViewerFile, "VER:3.1.0");
    {
        CInetConnectionAsync inet(0, LoopbackConfig(server));
        inet.StartUpdateCheck("1.2.3", "", "");
        WaitForResult(inet);
        EXPECT_EQ(inet.m_nResult.load(), UPDATE_VIEWER);
        EXPECT_EQ(inet.GetResultText(), "");  // no owner: nothing kept, nothing posted
        inet.StartUpdateCheck("1.0.0", "220425", "KM1A_download");
        inet.StopInternetThreads();
        EXPECT_EQ(server.TotalRequests(), 1);
    }
    // With an owner: one report of the first check; a second start fetches and posts nothing.
    RecordingWindow window;
    CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server));
    inet.StartUpdateCheck("1.2.3", "", "");
    WaitForResult(inet);
    const std::string first = inet.GetResultText();
    EXPECT_NE(first, "");
    inet.StartUpdateCheck("1.0.0", "220425", "KM1A_download");
    inet.StopInternetThreads();
    EXPECT_EQ(server.TotalRequests(), 2);
    EXPECT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(inet.GetResultText(), first);
}

TEST(UpdateCheck, ASilentServerNeitherHangsTheCheckNorTheExit) {
    LoopbackHttpServer server;
    server.Set(kViewerFile, Reply::Silent);
    server.Set(kGpsFile, "230110");
    {
        // Ends by the fetch's time-out; the next file is still asked for.
        RecordingWindow window;
        CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server, 300));
        inet.StartUpdateCheck("1.2.3", "220425", "");
        WaitForResult(inet);
        EXPECT_EQ(inet.m_nResult.load(), UPDATE_GPS);
    }
    {
        // With time-outs longer than any test, stopping alone ends the request.
        RecordingWindow window;
        CInetConnectionAsync inet(window.Handle(), LoopbackConfig(server, 3600 * 1000));
        const int before = server.Requests(kViewerFile);
        inet.StartUpdateCheck("1.2.3", "220425", "");
        while (server.Requests(kViewerFile) == before) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        inet.StopInternetThreads();
        inet.StopInternetThreads();
        EXPECT_EQ(inet.m_nResult.load(), UPDATE_NONE);
        EXPECT_TRUE(window.Messages().empty());  // nothing is reported on the way out
    }
}

TEST(ConnectionWatch, ProbesOnlyWhileTheMapIsOn) {
    LoopbackHttpServer server;
    InetConfig config = LoopbackConfig(server);
    config.probeIntervalMs = 5;
    CInetConnectionAsync inet(0, config);
    EXPECT_FALSE(inet.IsMapEnabled());
    inet.ProbeConnection();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the watch go round
    EXPECT_FALSE(inet.IsConnected());
    EXPECT_EQ(server.Connections(), 0);

    inet.SetMapEnabled(true);
    while (server.Connections() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    inet.ProbeConnection();
    EXPECT_TRUE(inet.IsConnected());
    EXPECT_EQ(server.TotalRequests(), 0);

    inet.SetMapEnabled(false);
    inet.ProbeConnection();
    EXPECT_FALSE(inet.IsConnected());
    inet.StopInternetThreads();
    inet.StopInternetThreads();
}

TEST(ConnectionWatch, AnUnreachableServerClearsTheFlag) {
    std::string deadUrl;
    {
        LoopbackHttpServer gone;
        deadUrl = gone.Url("/");
    }
    LoopbackHttpServer server;
    InetConfig config = LoopbackConfig(server);
    config.probeUrl = deadUrl;
    CInetConnectionAsync inet(0, config);
    inet.SetMapEnabled(true);
    inet.ProbeConnection();
    EXPECT_FALSE(inet.IsConnected());
}

}  // namespace
}  // namespace orv
