// The program's network work, each on a thread of its own: the connectivity watch, which
// tries the map's server once a second while the map is switched on (the map window is
// offered only while it answers), and the one update check, which compares the versions
// published on the update server with the recorder's firmware, this viewer and the
// recorder's GPS data, and, when any differs, posts WM_APP_UPDATE_INFO to the main window
// with the message ready in GetResultText.
//
// Every request is bounded in time and size, and StopInternetThreads ends both threads
// within about a second, also while a server holds a request open.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/net/HttpClient.h"
#include "views/map/InternetConnection.h"

namespace orv {

struct InetConfig {
    std::string updateHost;  // host[:port] of the update server
    std::string probeUrl;    // the server the watch tries
    int probeIntervalMs = 1000;
    HttpLimits fetchLimits;
    HttpLimits probeLimits;
};

// The update server and the probe target this program was built with.
InetConfig DefaultInetConfig();

class CInetConnectionAsync : public IInternetConnection {
public:
    // Starts the connectivity watch. `owner` receives WM_APP_UPDATE_INFO (0: nothing is
    // posted).
    explicit CInetConnectionAsync(HWND owner = 0, InetConfig config = DefaultInetConfig());
    ~CInetConnectionAsync() override;
    CInetConnectionAsync(const CInetConnectionAsync&) = delete;
    CInetConnectionAsync& operator=(const CInetConnectionAsync&) = delete;

    bool IsConnected() const override { return m_bConnected.load(); }
    bool IsMapEnabled() const override { return m_bMapEnabled.load(); }
    void SetMapEnabled(bool enabled) override { m_bMapEnabled = enabled; }

    // One probe on the calling thread; with the map switched off it clears the connected
    // flag without touching the network.
    void ProbeConnection() override;

    // Starts the update check with what the card told (firmware "%d.%d.%d", GPS data
    // version YYMMDD or "", the model's download-shortcut name). Only the first call counts.
    void StartUpdateCheck(const std::string& firmwareVersion, const std::string& gpsDataVersion,
                          const std::string& modelTag) override;

    // Ends both threads; idempotent and harmless when nothing runs. Afterwards the update
    // check no longer starts or posts.
    void StopInternetThreads() override;

    // The message of the last check, "" when none was posted.
    std::string GetResultText() const;

    // Fetches `url`; the whole text, or in version mode the text after "VER:". FALSE (and
    // `dest` unchanged) when the fetch failed or a version file holds no "VER:".
    BOOL FetchTextFile(std::string* dest, const std::string& url, BOOL versionMode);

    // The check's UpdateResult once it has ended, -1 before.
    std::atomic<int> m_nResult{-1};

private:
    void ConnectionWatchThread();
    void UpdateCheckThread();

    const InetConfig m_config;
    std::thread m_watchThread;
    std::thread m_updateThread;
    std::atomic<bool> m_bStop{false};  // also cancels the request in flight
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bMapEnabled{false};
    bool m_bStarted = false;
    std::string m_strFirmwareVersion;
    std::string m_strGpsDataVersion;
    std::string m_strModelTag;

    std::mutex m_probeLock;
    std::mutex m_threadLock;  // start and stop of the threads
    std::mutex m_sleepLock;
    std::condition_variable m_wake;

    mutable std::mutex m_resultLock;
    HWND m_hOwner = 0;
    std::string m_strResult;
};

}  // namespace orv
