// Error reports that code below the UI raises for the user.
//
// A worker thread must not show a message box. Errors go to one hook instead, which a UI
// may install and which decides how (and on which thread) to show them. Without a hook (the
// program installs none) the report is written to stderr and to the system log: a program
// started from the desktop has no terminal, and the system log is where its user finds it.
#pragma once

#include <functional>
#include <string>

namespace orv {

// Receives the caption and the text of one report. It may be called on any thread.
using ErrorReportHook = std::function<void(const std::string& caption, const std::string& text)>;

// Installs the hook; an empty function restores the default (stderr and the system log).
void SetErrorReportHook(ErrorReportHook hook);

void ReportError(const std::string& caption, const std::string& text);

// Where the default report puts its line ("caption: text") besides stderr: syslog(3) under
// the ident "Orvanta5", facility user, priority warning. For tests: another writer; an
// empty function restores syslog.
using SystemLogWriter = std::function<void(const std::string& line)>;
void SetSystemLogWriter(SystemLogWriter writer);

}  // namespace orv
