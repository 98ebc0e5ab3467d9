#include "platform/base/ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <utility>

#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"

namespace orv {

namespace {

// Bytes of the target's name kept in the temporary name, which adds at most some 40 bytes
// of its own: the whole name would not fit when the target's is near the 255-byte limit.
constexpr std::size_t kNameBytesKept = 64;

// Sets the program's temporary files apart from anyone else's: only names that carry it
// are ever removed as stale.
constexpr std::string_view kTempMark = ".orvanta5-tmp-";

// At most `limit` bytes of `name`, not cutting a UTF-8 character (a file system that
// checks names may refuse a broken one).
std::string_view NamePrefix(std::string_view name, std::size_t limit) {
    if (name.size() <= limit) return name;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The writer's process id of a temporary file's name; 0 for any other name.
pid_t TemporaryFileOwner(std::string_view name) {
    const std::size_t mark = name.rfind(kTempMark);
    if (name.empty() || name.front() != '.' || mark == std::string_view::npos || mark == 0) return 0;
    const std::string_view tail = name.substr(mark + kTempMark.size());
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos || !AllDigits(tail.substr(0, dash)) || !AllDigits(tail.substr(dash + 1)))
        return 0;
    long pid = 0;
    const auto [end, ec] = std::from_chars(tail.data(), tail.data() + dash, pid);
    if (ec != std::errc() || pid <= 0 || pid > INT_MAX) return 0;
    return pid_t(pid);
}

// Only a process that is certainly gone counts: one of another user answers EPERM.
bool ProcessIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

TargetKind InspectTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? TargetKind::kMissing : TargetKind::kRefused;
    return S_ISREG(st.st_mode) ? TargetKind::kRegular : TargetKind::kRefused;
}

std::string TemporaryFileName(std::string_view targetName, long pid, unsigned serial) {
    return "." + std::string(NamePrefix(targetName, kNameBytesKept)) + std::string(kTempMark) +
           std::to_string(pid) + "-" + std::to_string(serial);
}

int RemoveStaleTemporaries(const std::string& folder) {
    UniqueFd dirFd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) return 0;
    DIR* dir = ::fdopendir(::dup(dirFd.get()));
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = TemporaryFileOwner(entry->d_name);
        if (pid == 0 || pid == ::getpid() || !ProcessIsGone(pid)) continue;
        struct stat st;
        if (::fstatat(dirFd.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlinkat(dirFd.get(), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = PathRemoveFileSpec(target_);
    RemoveStaleTemporaries(dir);
    const std::string_view name = PathFindFileName(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = PathAppend(dir, TemporaryFileName(name, long(::getpid()), counter++));
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp_ = candidate;
            fd_ = UniqueFd(fd);
            return;
        }
        if (errno != EEXIST) return;
    }
}

ReplacementFile::~ReplacementFile() {
    if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
}

bool ReplacementFile::Write(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_.get(), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool ReplacementFile::Finish() { return IsOpen() && ::fsync(fd_.get()) == 0 && fd_.Close(); }

bool ReplacementFile::Commit(Overwrite overwrite) {
    if (!IsOpen() || ::fsync(fd_.get()) != 0 || !fd_.Close()) return false;
    // A rename replaces the folder entry, never writes through it; what is refused here is
    // losing an entry that is not an ordinary file (a link the user made, a FIFO, a device).
    const bool placed = overwrite == Overwrite::kNever
                            ? RenameNoReplace(temp_, target_)
                            : InspectTarget(target_) != TargetKind::kRefused &&
                                  std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!placed) return false;
    committed_ = true;
    // Flushes the folder's entry of the renamed file; a failure here does not undo the rename.
    const std::string dir = PathRemoveFileSpec(target_);
    UniqueFd folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return true;
}

}  // namespace orv
