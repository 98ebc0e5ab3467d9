// The dots per inch of the screen a window is on.
//
// Code that sizes a font for a window asks here. The window layer installs a provider
// that asks the window's screen; until it does, every window counts as 96 dpi.
#pragma once

#include <atomic>
#include <optional>

#include "platform/base/AppMessage.h"

namespace orv {

constexpr int kDefaultDpi = 96;

// Vertical dots per inch of the window's screen; 0 or less when the window is gone.
using WindowDpiProvider = int (*)(HWND hwnd);

namespace detail {
inline std::atomic<WindowDpiProvider> g_windowDpiProvider{nullptr};
}  // namespace detail

// Null puts the default back.
inline void SetWindowDpiProvider(WindowDpiProvider provider) {
    detail::g_windowDpiProvider.store(provider);
}

// None for window 0 (there is nothing to draw on) and for a window the provider no
// longer knows.
inline std::optional<int> WindowDpi(HWND hwnd) {
    if (hwnd == 0) return std::nullopt;
    const WindowDpiProvider provider = detail::g_windowDpiProvider.load();
    if (!provider) return kDefaultDpi;
    const int dpi = provider(hwnd);
    if (dpi <= 0) return std::nullopt;
    return dpi;
}

}  // namespace orv
