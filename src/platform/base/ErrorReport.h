// Error reports that code below the UI raises for the user.
//
// A worker thread must not show a message box. Errors go to one hook instead, which the
// UI installs at start-up and which decides how (and on which thread) to show them.
// Without a hook the report is written to stderr.
#pragma once

#include <functional>
#include <string>

namespace orv {

// Receives the caption and the text of one report. It may be called on any thread.
using ErrorReportHook = std::function<void(const std::string& caption, const std::string& text)>;

// Installs the hook; an empty function restores the default (stderr).
void SetErrorReportHook(ErrorReportHook hook);

void ReportError(const std::string& caption, const std::string& text);

}  // namespace orv
