#include "platform/files/RemovableMounts.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string_view>

#include "platform/base/PathUtil.h"

namespace orv {

namespace {

std::mutex g_providerLock;
RemovableMountProvider g_provider;

bool IsBelow(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
           path[folder.size()] == '/';
}

bool FlagFileSaysOne(const std::string& path) {
    std::ifstream in(path);
    char c = 0;
    return in.get(c) && c == '1';
}

bool BlockDeviceIsRemovable(const MountEntry& m, const std::string& sysRoot) {
    // Major 0 holds the kernel's anonymous devices (tmpfs, proc, fuse...): no flag.
    if (m.major == 0) return false;
    const std::string dev = PathAppend(sysRoot, "dev/block/" + std::to_string(m.major) + ":" +
                                                    std::to_string(m.minor));
    if (PathFileExists(PathAppend(dev, "removable")))
        return FlagFileSaysOne(PathAppend(dev, "removable"));
    // A partition carries no flag of its own; its folder sits inside the disk's.
    return PathFileExists(PathAppend(dev, "partition")) &&
           FlagFileSaysOne(PathAppend(dev, "../removable"));
}

}  // namespace

std::vector<std::string> RemovableMountsOf(const std::vector<MountEntry>& mounts,
                                           const std::string& sysRoot) {
    std::vector<std::string> out;
    for (const MountEntry& m : mounts) {
        const bool removable = IsBelow(m.mountPoint, "/media") ||
                               IsBelow(m.mountPoint, "/run/media") ||
                               BlockDeviceIsRemovable(m, sysRoot);
        // A folder mounted over twice is one drive.
        if (removable && std::find(out.begin(), out.end(), m.mountPoint) == out.end())
            out.push_back(m.mountPoint);
    }
    return out;
}

std::vector<std::string> ListRemovableMounts() {
    {
        std::lock_guard<std::mutex> lock(g_providerLock);
        if (g_provider) return g_provider();
    }
    return RemovableMountsOf(ReadMountTable(), "/sys");
}

void SetRemovableMountProvider(RemovableMountProvider provider) {
    std::lock_guard<std::mutex> lock(g_providerLock);
    g_provider = std::move(provider);
}

}  // namespace orv
