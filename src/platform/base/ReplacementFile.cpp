#include "platform/base/ReplacementFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/base/PathUtil.h"

namespace orv {

namespace {

// Bytes of the target's name kept in the temporary name, which adds at most some 30 bytes
// of its own: the whole name would not fit when the target's is near the 255-byte limit.
constexpr std::size_t kNameBytesKept = 64;

// At most `limit` bytes of `name`, not cutting a UTF-8 character (a file system that
// checks names may refuse a broken one).
std::string_view NamePrefix(std::string_view name, std::size_t limit) {
    if (name.size() <= limit) return name;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = PathRemoveFileSpec(target_);
    const std::string_view name = NamePrefix(PathFindFileName(target_), kNameBytesKept);
    const std::string stem =
        "." + std::string(name) + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = PathAppend(dir, stem + std::to_string(counter++));
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

bool ReplacementFile::Commit() {
    if (!IsOpen() || ::fsync(fd_.get()) != 0 || !fd_.Close() ||
        std::rename(temp_.c_str(), target_.c_str()) != 0)
        return false;
    committed_ = true;
    // Flushes the folder's entry of the renamed file; a failure here does not undo the rename.
    const std::string dir = PathRemoveFileSpec(target_);
    UniqueFd folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return true;
}

}  // namespace orv
