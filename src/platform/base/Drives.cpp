#include "platform/base/Drives.h"

#include <fcntl.h>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

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

// The mount table, read again only when the kernel says it changed: /proc/self/mountinfo
// reports a change as POLLPRI on a descriptor that stays open. A scan asks for the drive
// root of every movie, so parsing the file each time would cost more than the scan.
class MountTableCache {
public:
    std::shared_ptr<const std::vector<MountEntry>> Get() {
        std::lock_guard<std::mutex> guard(lock_);
        if (fd_ < 0) fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return std::make_shared<std::vector<MountEntry>>(ReadMountTable());
        pollfd p{fd_, POLLPRI, 0};
        const bool changed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
        if (!table_ || changed) table_ = std::make_shared<std::vector<MountEntry>>(ParseMountInfo(ReadAll()));
        return table_;
    }

private:
    std::string ReadAll() {
        std::string text;
        char buf[16384];
        if (::lseek(fd_, 0, SEEK_SET) != 0) return text;
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            text.append(buf, std::size_t(n));
        }
        return text;
    }

    std::mutex lock_;
    int fd_ = -1;
    std::shared_ptr<const std::vector<MountEntry>> table_;
};

MountTableCache& TheMountTable() {
    static MountTableCache cache;
    return cache;
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
    const auto mounts = TheMountTable().Get();
    for (const MountEntry& m : *mounts)
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
