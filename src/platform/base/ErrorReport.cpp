#include "platform/base/ErrorReport.h"

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

}  // namespace

void SetErrorReportHook(ErrorReportHook hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    Hook() = std::move(hook);
}

void ReportError(const std::string& caption, const std::string& text) {
    ErrorReportHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    // Called outside the lock, so a hook may report again or replace itself.
    if (hook) {
        hook(caption, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
}

}  // namespace orv
