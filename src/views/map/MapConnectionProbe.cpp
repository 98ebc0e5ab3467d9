#include "views/map/MapConnectionProbe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace orv {

namespace {

// One TCP connection attempt to each address of host:port, within the time-out.
bool CanConnect(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return false;
    bool connected = false;
    for (addrinfo* a = list; a && !connected; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, CMapConnectionProbe::kProbeTimeoutMs) == 1) {
                int error = 0;
                socklen_t len = sizeof error;
                connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
            }
        }
        close(fd);
    }
    freeaddrinfo(list);
    return connected;
}

}  // namespace

CMapConnectionProbe::CMapConnectionProbe(const std::string& rootUrl) {
    SplitHostPort(rootUrl, &m_strHost, &m_strPort);
    m_watch = std::thread([this] { Watch(); });
}

CMapConnectionProbe::~CMapConnectionProbe() { StopInternetThreads(); }

bool CMapConnectionProbe::SplitHostPort(const std::string& url, std::string* host, std::string* port) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return false;
    const std::string scheme = url.substr(0, schemeEnd);
    const std::size_t start = schemeEnd + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    std::string h = authority;
    std::string p = scheme == "https" ? "443" : "80";
    if (!authority.empty() && authority.front() == '[') {  // [v6 address]:port
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        h = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':') p = authority.substr(close + 2);
    } else if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
        h = authority.substr(0, colon);
        p = authority.substr(colon + 1);
    }
    if (h.empty() || p.empty()) return false;
    *host = h;
    *port = p;
    return true;
}

void CMapConnectionProbe::SetMapEnabled(bool enabled) {
    m_bMapEnabled = enabled;
    if (!enabled) m_bConnected = false;
}

void CMapConnectionProbe::ProbeConnection() {
    std::lock_guard<std::mutex> lock(m_probeLock);
    if (!m_bMapEnabled || m_strHost.empty()) {
        m_bConnected = false;
        return;
    }
    const bool connected = CanConnect(m_strHost, m_strPort);
    // The map may have been switched off while the probe ran.
    m_bConnected = connected && m_bMapEnabled;
}

void CMapConnectionProbe::StopInternetThreads() {
    {
        std::lock_guard<std::mutex> lock(m_stopLock);
        m_bStop = true;
    }
    m_stopSignal.notify_all();
    if (m_watch.joinable()) m_watch.join();
}

void CMapConnectionProbe::Watch() {
    std::unique_lock<std::mutex> lock(m_stopLock);
    while (!m_bStop) {
        lock.unlock();
        ProbeConnection();
        lock.lock();
        m_stopSignal.wait_for(lock, std::chrono::milliseconds(kProbePeriodMs), [this] { return m_bStop; });
    }
}

}  // namespace orv
