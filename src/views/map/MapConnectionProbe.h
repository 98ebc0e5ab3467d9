// A connectivity watch for the map alone: while the map is switched on, it tries once a
// second to open a TCP connection to the tile service's root address (host and port of
// MapProbeUrl) and keeps the result. It has no update check. The bridge uses it when the
// program gives it no checker of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "views/map/InternetConnection.h"

namespace orv {

class CMapConnectionProbe : public ::IInternetConnection {
public:
    // Probes `rootUrl` ("scheme://host[:port]/..."); the watch thread starts at once.
    explicit CMapConnectionProbe(const std::string& rootUrl);
    ~CMapConnectionProbe() override;

    bool IsConnected() const override { return m_bConnected.load(); }
    bool IsMapEnabled() const override { return m_bMapEnabled.load(); }
    void SetMapEnabled(bool enabled) override;
    void ProbeConnection() override;
    void StartUpdateCheck(const std::string&, const std::string&, const std::string&) override {}
    void StopInternetThreads() override;

    // Host and port of a URL; false when it names no host. Port 80 for http, 443 for https
    // unless given.
    static bool SplitHostPort(const std::string& url, std::string* host, std::string* port);

    // Milliseconds one probe may take.
    static constexpr int kProbeTimeoutMs = 3000;
    static constexpr int kProbePeriodMs = 1000;

private:
    void Watch();

    std::string m_strHost;
    std::string m_strPort;
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bMapEnabled{false};
    std::mutex m_probeLock;  // a watch probe and a direct probe never overlap
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    bool m_bStop = false;
    std::thread m_watch;
};

}  // namespace orv
