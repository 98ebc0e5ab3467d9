#include "platform/files/DiskSpace.h"

#include <sys/statvfs.h>

namespace orv {

std::optional<std::uint64_t> FreeDiskBytes(const std::string& path) {
    struct statvfs st;
    if (path.empty() || ::statvfs(path.c_str(), &st) != 0) return std::nullopt;
    return std::uint64_t(st.f_bavail) * std::uint64_t(st.f_frsize);
}

}  // namespace orv
