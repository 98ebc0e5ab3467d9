#include "platform/base/FileOps.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/base/UniqueFd.h"

namespace orv {

namespace {

constexpr std::uint32_t kFatAttrHidden = 0x02;

// Opened only for the attribute ioctls; O_NONBLOCK, so a FIFO does not wait for a writer.
int OpenForAttributes(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

class PosixFileOps final : public IFileOps {
public:
    bool IsHidden(const std::string& path) override {
        UniqueFd fd(OpenForAttributes(path));
        if (fd.get() < 0) return false;
        std::uint32_t attr = 0;
        if (::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attr) != 0) return false;
        return (attr & kFatAttrHidden) != 0;
    }

    bool SetHidden(const std::string& path, bool hidden) override {
        UniqueFd fd(OpenForAttributes(path));
        if (fd.get() < 0) return false;
        std::uint32_t attr = 0;
        if (::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attr) != 0)
            return true;  // not a FAT file system: there is no such attribute to set
        const std::uint32_t wanted = hidden ? (attr | kFatAttrHidden) : (attr & ~kFatAttrHidden);
        if (wanted == attr) return true;
        return ::ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &wanted) == 0;
    }

    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        return RenameNoReplace(from, to);
    }
};

std::atomic<IFileOps*> g_override{nullptr};

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system does not know the flag. Check first; the window between the check
    // and the rename is the best such a file system allows.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

IFileOps& RealFileOps() {
    static PosixFileOps ops;
    return ops;
}

IFileOps& FileOps() {
    IFileOps* ops = g_override.load();
    return ops ? *ops : RealFileOps();
}

IFileOps* SetFileOps(IFileOps* ops) { return g_override.exchange(ops); }

}  // namespace orv
