// Small rules about the source paths the main window opens, and about the medium the
// program runs from. Qt-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// The path without its trailing '/' characters; the root "/" stays "/".
std::string TrimTrailingSlash(std::string_view path);

// The device number of the file system that holds `path`; 0 when it cannot be asked.
std::uint64_t MediumDevice(const std::string& path);

// Whether the medium that held `path` when its device was `device` is gone: the path can
// no longer be reached, or lies on another device now. An unknown device (0) is never gone.
bool IsMediumGone(const std::string& path, std::uint64_t device);

}  // namespace orv
