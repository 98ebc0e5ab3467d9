// Where a report goes when no window can show it.
#include "platform/base/ErrorReport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orv {
namespace {

// Without a hook each report reaches stderr and the system log, once each; with one, the
// hook alone has it.
TEST(ErrorReport, AReportWithoutAHookGoesToStderrAndTheSystemLogOnce) {
    std::vector<std::string> logged, hooked;
    SetErrorReportHook({});
    SetSystemLogWriter([&](const std::string& line) { logged.push_back(line); });
    for (const bool hook : {false, true}) {
        SCOPED_TRACE(hook ? "hook" : "no hook");
        logged.clear();
        hooked.clear();
        if (hook) SetErrorReportHook([&](const std::string& caption, const std::string& text) {
            hooked.push_back(caption + ": " + text);
        });
        testing::internal::CaptureStderr();
        ReportError("ERROR", "The journal /card/.x stays.");
        const std::string stderrText = testing::internal::GetCapturedStderr();
        SetErrorReportHook({});
        const std::vector<std::string> once{"ERROR: The journal /card/.x stays."};
        EXPECT_EQ(hooked, hook ? once : std::vector<std::string>{});
        EXPECT_EQ(logged, hook ? std::vector<std::string>{} : once);
        EXPECT_EQ(stderrText, hook ? "" : once[0] + "\n");
    }
    SetSystemLogWriter({});
}

}  // namespace
}  // namespace orv
