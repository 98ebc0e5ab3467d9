// Small blocking HTTP requests for the update check and the connectivity probe.
//
// Every request is bounded: a connect time-out, a total time-out, a cap on the bytes kept,
// and a cancel flag that another thread may raise to end the request early (it is looked at
// several times a second, also while connecting). Proxies come from the user's session
// (http_proxy, https_proxy, no_proxy), as every other program of the desktop takes them.
// Only http and https are spoken. A redirect is followed only to the same scheme, host and
// port as the request's own address, at most three times; a redirect anywhere else ends
// the request as failed, without a connection to where it leads.
//
// Safe to call from any thread; each call uses a handle of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace orv {

struct HttpLimits {
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 15000;
    // Bytes of the body kept; the transfer stops once they are had.
    std::size_t maxBytes = 64 * 1024;
};

struct HttpResponse {
    bool ok = false;         // a 2xx answer whose body arrived (whole, or up to maxBytes)
    long status = 0;         // HTTP status, 0 when none arrived
    bool truncated = false;  // the body was longer than maxBytes and was cut there
    std::string body;        // the bytes as sent
};

// GET `url`. A failed connection, a time-out, a cancel, a status outside 2xx, a redirect
// that is not followed or a broken transfer give ok = false (`status` is the last answer's).
HttpResponse HttpGet(const std::string& url, const HttpLimits& limits = {},
                     const std::atomic<bool>* cancel = nullptr);

// Whether the server of `url` accepts a connection (through the proxy, with the TLS
// handshake for https); nothing is requested.
bool ProbeUrl(const std::string& url, const HttpLimits& limits = {},
              const std::atomic<bool>* cancel = nullptr);

}  // namespace orv
