#include "platform/base/ErrorReport.h"

#include <syslog.h>

#include <cstdio>
#include <mutex>

namespace orv {

namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

ErrorReportHook& Hook() {
    static ErrorReportHook hook;
    return hook;
}

SystemLogWriter& LogWriter() {
    static SystemLogWriter writer;
    return writer;
}

void WriteSystemLog(const std::string& line) {
    static std::once_flag opened;
    std::call_once(opened, [] { ::openlog("Orvanta5", LOG_PID, LOG_USER); });
    ::syslog(LOG_USER | LOG_WARNING, "%s", line.c_str());
}

}  // namespace

void SetErrorReportHook(ErrorReportHook hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    Hook() = std::move(hook);
}

void SetSystemLogWriter(SystemLogWriter writer) {
    std::lock_guard<std::mutex> guard(HookLock());
    LogWriter() = std::move(writer);
}

void ReportError(const std::string& caption, const std::string& text) {
    ErrorReportHook hook;
    SystemLogWriter log;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
        log = LogWriter();
    }
    // Called outside the lock, so a hook may report again or replace itself.
    if (hook) {
        hook(caption, text);
        return;
    }
    const std::string line = caption + ": " + text;
    std::fprintf(stderr, "%s\n", line.c_str());
    if (log) {
        log(line);
    } else {
        WriteSystemLog(line);
    }
}

}  // namespace orv
