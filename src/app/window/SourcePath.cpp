#include "app/window/SourcePath.h"

#include "platform/base/PathUtil.h"

namespace orv {

std::string TrimTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

std::uint64_t MediumDevice(const std::string& path) {
    // A device number of 0 cannot be told from "unknown"; no real file system uses it.
    return PathDevice(path).value_or(0);
}

bool IsMediumGone(const std::string& path, std::uint64_t device) {
    if (device == 0) return false;
    return MediumDevice(path) != device;
}

}  // namespace orv
