#include "platform/base/ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/base/CommitJournal.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/base/WriterName.h"

namespace orv {

TargetKind InspectTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? TargetKind::kMissing : TargetKind::kRefused;
    return S_ISREG(st.st_mode) ? TargetKind::kRegular : TargetKind::kRefused;
}

int FinishInterruptedWrites(const std::string& folder) {
    const std::vector<std::string> staying = RecoverInterruptedCommits(folder);
    UniqueFd dirFd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) return 0;
    DIR* dir = ::fdopendir(::dup(dirFd.get()));
    if (!dir) return 0;
    const std::time_t now = std::time(nullptr);
    const bool shared = IsSharedFileSystem(folder);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const auto info = ParseWriterFileName(entry->d_name);
        if (!info || info->kind == WriterFile::kJournal ||
            std::find(staying.begin(), staying.end(), info->writer) != staying.end())
            continue;
        struct stat st;
        if (::fstatat(dirFd.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || !(st.st_mtime < now - kStaleSeconds) || !WriterIsGone(*info, st.st_mtime, shared))
            continue;
        if (::unlinkat(dirFd.get(), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    const std::string dir = PathRemoveFileSpec(target_);
    FinishInterruptedWrites(dir);
    const std::string_view name = PathFindFileName(target_);
    const std::string writer = ThisWriter();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            PathAppend(dir, WriterFileName(WriterFile::kTemporary, name, writer, NextWriterSerial()));
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
