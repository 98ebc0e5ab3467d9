#include "platform/net/HttpClient.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace orv {

namespace {

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// Redirects followed on the request's own server before the request counts as failed.
constexpr int kMaxRedirects = 3;

// curl_global_init is not thread-safe; the first request of any thread does it once.
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    std::string* body;
    std::size_t maxBytes;
    bool truncated = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    const std::size_t room = t->maxBytes - t->body->size();
    if (n <= room) {
        t->body->append(data, n);
        return n;
    }
    t->body->append(data, room);
    t->truncated = true;
    return 0;  // makes curl stop the transfer: the rest is not wanted
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel && cancel->load() ? 1 : 0;
}

CurlHandle OpenHandle(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* cancel) {
    InitCurlOnce();
    CurlHandle h(curl_easy_init());
    if (!h) return h;
    CURL* c = h.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM for the resolver's time-out: threads
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed by HttpGet itself, which looks at where each one leads.
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CheckCancel);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    return h;
}

// Scheme, host (lower case) and port of a URL, the port filled in from the scheme.
struct Origin {
    std::string scheme, host, port;
    bool operator==(const Origin&) const = default;
};

std::optional<Origin> OriginOf(const char* url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url, 0) != CURLUE_OK) return std::nullopt;
    const auto part = [&](CURLUPart which, unsigned flags) -> std::optional<std::string> {
        char* text = nullptr;
        if (curl_url_get(u.get(), which, &text, flags) != CURLUE_OK || !text) return std::nullopt;
        std::string out = text;
        curl_free(text);
        return out;
    };
    const std::optional<std::string> scheme = part(CURLUPART_SCHEME, 0), host = part(CURLUPART_HOST, 0),
                                     port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !port) return std::nullopt;
    Origin origin{*scheme, *host, *port};
    for (char& c : origin.host)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return origin;
}

std::optional<Origin> OriginOf(const std::string& url) { return OriginOf(url.c_str()); }

}  // namespace

HttpResponse HttpGet(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* cancel) {
    HttpResponse response;
    const std::optional<Origin> origin = OriginOf(url);
    if (!origin) return response;
    CurlHandle h = OpenHandle(url, limits, cancel);
    if (!h) return response;
    Transfer transfer{&response.body, limits.maxBytes};
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &transfer);
    // The total time-out holds for the request with all its redirects.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs);
    for (int redirects = 0;; ++redirects) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, long(left.count()));
        response.body.clear();
        transfer.truncated = false;
        const CURLcode rc = curl_easy_perform(h.get());
        curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &response.status);
        response.truncated = transfer.truncated;
        const bool arrived = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && transfer.truncated);
        if (!arrived) break;
        if (response.status >= 300 && response.status < 400) {
            const char* location = nullptr;
            curl_easy_getinfo(h.get(), CURLINFO_REDIRECT_URL, &location);
            // Only the server asked: another scheme, host or port could be anyone's.
            if (!location || redirects == kMaxRedirects || OriginOf(location) != origin) break;
            const std::string next = location;  // curl's copy lasts only until the next call
            curl_easy_setopt(h.get(), CURLOPT_URL, next.c_str());
            continue;
        }
        response.ok = response.status >= 200 && response.status < 300;
        break;
    }
    if (!response.ok) response.body.clear();
    return response;
}

bool ProbeUrl(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* cancel) {
    CurlHandle h = OpenHandle(url, limits, cancel);
    if (!h) return false;
    curl_easy_setopt(h.get(), CURLOPT_CONNECT_ONLY, 1L);
    return curl_easy_perform(h.get()) == CURLE_OK;
}

}  // namespace orv
