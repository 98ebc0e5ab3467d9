#include "platform/net/HttpClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace orv {

namespace {

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

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
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CheckCancel);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    return h;
}

}  // namespace

HttpResponse HttpGet(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* cancel) {
    HttpResponse response;
    CurlHandle h = OpenHandle(url, limits, cancel);
    if (!h) return response;
    Transfer transfer{&response.body, limits.maxBytes};
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &transfer);
    const CURLcode rc = curl_easy_perform(h.get());
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &response.status);
    response.truncated = transfer.truncated;
    const bool arrived = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && transfer.truncated);
    response.ok = arrived && response.status >= 200 && response.status < 300;
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
