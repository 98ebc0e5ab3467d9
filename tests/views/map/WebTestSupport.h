// Waiting on the web engine (tests, the map review tool and the map benchmark): the event
// loop runs until a condition holds or a generous limit passes (the limit only turns a
// hang into a failure).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>

#include "views/map/GoogleMapDlg2.h"

namespace orv::test {

inline constexpr int kPageLimitMs = 60000;

inline bool WaitUntil(const std::function<bool()>& done, int limitMs = kPageLimitMs) {
    if (done()) return true;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs) loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

// Runs `script` in the page after everything handed over before it, with the current frame
// published, and gives its value (none when the page did not answer).
inline std::optional<QVariant> RunInPage(CGoogleMapDlg2& host, const std::string& script) {
    std::optional<QVariant> result;
    host.RefreshFrame();
    host.m_holder.ExecuteScript(script, [&result](const QVariant& v) { result = v; });
    if (!WaitUntil([&] { return result.has_value(); })) return std::nullopt;
    return result;
}

// The value of a script as text ("" when the page did not answer).
inline std::string PageText(CGoogleMapDlg2& host, const std::string& script) {
    const std::optional<QVariant> v = RunInPage(host, script);
    return v ? v->toString().toStdString() : std::string();
}

}  // namespace orv::test
