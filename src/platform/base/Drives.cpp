#include "platform/base/Drives.h"

#include <fstream>
#include <mutex>
#include <sstream>
#include <filesystem>

namespace orv {

namespace {

std::mutex g_providerLock;
DriveRootProvider g_provider;

std::string DecodeOctalEscapes(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsSameOrParent(const std::string& parent, const std::string& path) {
    if (parent == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, parent.size(), parent) == 0 &&
           (path.size() == parent.size() || path[parent.size()] == '/');
}

std::string RealDriveRootOf(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return std::string();
    // Resolve what exists of the path, so that symbolic links lead to the real mount.
    std::filesystem::path resolved = std::filesystem::weakly_canonical(p, ec);
    const std::string abs = (ec ? p.lexically_normal() : resolved).string();
    std::string best;
    for (const MountEntry& m : ReadMountTable())
        if (IsSameOrParent(m.mountPoint, abs) && m.mountPoint.size() > best.size())
            best = m.mountPoint;
    return best;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountEntry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        std::istringstream f(line);
        std::string id, parent, majmin, root, mountPoint;
        if (!(f >> id >> parent >> majmin >> root >> mountPoint)) continue;
        std::string tok;
        while (f >> tok && tok != "-") {
        }
        MountEntry e;
        f >> e.fsType >> e.source;
        const auto colon = majmin.find(':');
        if (colon != std::string::npos) {
            e.major = unsigned(std::strtoul(majmin.substr(0, colon).c_str(), nullptr, 10));
            e.minor = unsigned(std::strtoul(majmin.substr(colon + 1).c_str(), nullptr, 10));
        }
        e.mountPoint = DecodeOctalEscapes(mountPoint);
        e.source = DecodeOctalEscapes(e.source);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    if (!in) return {};
    std::stringstream buf;
    buf << in.rdbuf();
    return ParseMountInfo(buf.str());
}

std::string DriveRootOf(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(g_providerLock);
        if (g_provider) return g_provider(path);
    }
    return RealDriveRootOf(path);
}

void SetDriveRootProvider(DriveRootProvider provider) {
    std::lock_guard<std::mutex> lock(g_providerLock);
    g_provider = std::move(provider);
}

}  // namespace orv
