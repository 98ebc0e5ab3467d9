// The one function the web engine module exports: the program finds it by name once the
// module is loaded. Program and module come from the same build, so they agree on WebHost.
#pragma once

class QWidget;

namespace orv {
class WebHost;
}

#define ORV_WEB_MODULE_EXPORT __attribute__((visibility("default")))

// A new host inside `parent` (owned by it, as any child widget).
extern "C" ORV_WEB_MODULE_EXPORT orv::WebHost* orv_web_create_host(QWidget* parent);

namespace orv {
inline constexpr const char* kWebModuleCreateHost = "orv_web_create_host";
using WebModuleCreateHost = decltype(&orv_web_create_host);
}  // namespace orv
