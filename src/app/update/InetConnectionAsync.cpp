#include "app/update/InetConnectionAsync.h"

#include "app/update/VersionFile.h"
#include "ui/CommonUtil.h"

namespace orv {

InetConfig DefaultInetConfig() {
    InetConfig config;
    config.updateHost = ORV_UPDATE_HOST;
    config.probeUrl = ORV_PROBE_URL;
    // A probe that takes longer than its interval would only pile up behind the next one.
    config.probeLimits.connectTimeoutMs = 3000;
    config.probeLimits.totalTimeoutMs = 5000;
    return config;
}

CInetConnectionAsync::CInetConnectionAsync(HWND owner, InetConfig config)
    : m_config(std::move(config)), m_hOwner(owner) {
    m_watchThread = std::thread([this] { ConnectionWatchThread(); });
}

CInetConnectionAsync::~CInetConnectionAsync() { StopInternetThreads(); }

void CInetConnectionAsync::ConnectionWatchThread() {
    while (!m_bStop) {
        ProbeConnection();
        std::unique_lock lock(m_sleepLock);
        m_wake.wait_for(lock, std::chrono::milliseconds(m_config.probeIntervalMs), [this] { return m_bStop.load(); });
    }
}

void CInetConnectionAsync::ProbeConnection() {
    std::lock_guard lock(m_probeLock);
    if (!m_bMapEnabled) {
        m_bConnected = false;
        return;
    }
    m_bConnected = ProbeUrl(m_config.probeUrl, m_config.probeLimits, &m_bStop);
}

void CInetConnectionAsync::StartUpdateCheck(const std::string& firmwareVersion, const std::string& gpsDataVersion,
                                            const std::string& modelTag) {
    std::lock_guard lock(m_threadLock);
    if (m_bStarted || m_bStop) return;
    m_bStarted = true;
    m_strFirmwareVersion = firmwareVersion;
    m_strGpsDataVersion = gpsDataVersion;
    m_strModelTag = modelTag;
    m_updateThread = std::thread([this] { UpdateCheckThread(); });
}

void CInetConnectionAsync::StopInternetThreads() {
    std::lock_guard lock(m_threadLock);
    {
        std::lock_guard sleep(m_sleepLock);
        m_bStop = true;
    }
    m_wake.notify_all();
    if (m_updateThread.joinable()) m_updateThread.join();
    if (m_watchThread.joinable()) m_watchThread.join();
}

std::string CInetConnectionAsync::GetResultText() const {
    std::lock_guard lock(m_resultLock);
    return m_strResult;
}

BOOL CInetConnectionAsync::FetchTextFile(std::string* dest, const std::string& url, BOOL versionMode) {
    const HttpResponse response = HttpGet(url, m_config.fetchLimits, &m_bStop);
    if (!response.ok) return FALSE;
    if (!versionMode) {
        *dest = FetchedText(response.body);
        return TRUE;
    }
    std::optional<std::string> version = ParseVersionFile(response.body);
    if (!version) return FALSE;
    *dest = std::move(*version);
    return TRUE;
}

void CInetConnectionAsync::UpdateCheckThread() {
    const std::string& host = m_config.updateHost;
    UpdateNews news;
    std::string text;

    // Versions are compared without the blanks and line ends around them, so that a file
    // written with CR LF publishes the same version as one without.
    if (const UpdateModel* model = FindUpdateModel(m_strModelTag);
        model && FetchTextFile(&text, UpdateServerUrl(host, model->versionFile), TRUE)) {
        const std::string published = TrimVersion(TrimBlanks(text));
        const std::string current = TrimVersion(TrimBlanks(m_strFirmwareVersion));
        if (!published.empty() && published != current)
            news.firmware = UpdateSection{current, published, UpdateServerUrl(host, model->page)};
    }

    text.clear();
    if (FetchTextFile(&text, UpdateServerUrl(host, kViewerVersionFile), TRUE)) {
        const std::string published = TrimBlanks(text);
        if (!published.empty() && published != kViewerVersion)
            news.viewer = UpdateSection{std::string(kViewerVersion), published, UpdateServerUrl(host, kViewerPage)};
    }

    // A GPS data file that cannot be had is only no news about the GPS data: what the
    // other two files told is still reported.
    text.clear();
    const std::string gpsVersion = TrimBlanks(m_strGpsDataVersion);
    if (!gpsVersion.empty() && FetchTextFile(&text, UpdateServerUrl(host, kGpsDataFile), FALSE)) {
        const std::string published = FormatDateSlashes(TrimBlanks(text));
        const std::string current = FormatDateSlashes(gpsVersion);
        if (!published.empty() && published != current)
            news.gps = UpdateSection{current, published, UpdateServerUrl(host, kGpsDataPage)};
    }

    const UpdateResult result = UpdateResultOf(news);
    if (result != UPDATE_NONE && !m_bStop) {
        std::lock_guard lock(m_resultLock);
        if (m_hOwner) {
            m_strResult = ComposeUpdateMessage(news);
            PostAppMessage(m_hOwner, WM_APP_UPDATE_INFO, 0, 0);
        }
    }
    m_nResult = result;
}

}  // namespace orv
