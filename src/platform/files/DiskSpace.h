// Free space of a file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

// Bytes that the calling user may still write on the file system that holds `path`
// (blocks available to unprivileged users times the fragment size); nullopt when the
// path cannot be reached.
std::optional<std::uint64_t> FreeDiskBytes(const std::string& path);

}  // namespace orv
