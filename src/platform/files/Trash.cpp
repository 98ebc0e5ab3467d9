#include "platform/files/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"

namespace orv {

namespace {

// Bound on the names tried when earlier trashed files already use a name.
constexpr int kMaxNameAttempts = 10000;

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

std::string PercentEncode(std::string_view s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string TrashInfoText(const std::string& originalPath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    // Only numeric fields: the result does not depend on the locale.
    if (std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local) == 0) date[0] = '\0';
    return "[Trash Info]\nPath=" + PercentEncode(originalPath) + "\nDeletionDate=" + date + "\n";
}

// A folder of ours that only we may enter: made with mode 0700 when missing; an existing
// one must be a real folder (not a link) owned by us.
bool EnsurePrivateDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool EnsureTrashDir(const std::string& dir) {
    return EnsurePrivateDir(dir) && EnsurePrivateDir(PathAppend(dir, "files")) &&
           EnsurePrivateDir(PathAppend(dir, "info"));
}

// The trash of a mount that is not the home's; "" when none can be had there.
std::string TopDirTrash(const std::string& topdir) {
    const std::string uid = std::to_string(::getuid());
    // The administrator's shared folder counts only when it is a real folder with the
    // sticky bit, so that users cannot remove each other's trash.
    const std::string shared = PathAppend(topdir, ".Trash");
    struct stat st;
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string dir = PathAppend(shared, uid);
        if (EnsureTrashDir(dir)) return dir;
    }
    const std::string own = PathAppend(topdir, ".Trash-" + uid);
    return EnsureTrashDir(own) ? own : std::string();
}

// "A.MOV" -> "A.2.MOV" for attempt 2 and on.
std::string CandidateName(const std::string& name, int attempt) {
    if (attempt == 1) return name;
    std::string_view ext = PathFindExtension(name);
    if (ext.size() == name.size()) ext = {};  // ".profile": the point starts the name
    const std::string stem = name.substr(0, name.size() - ext.size());
    return stem + "." + std::to_string(attempt) + std::string(ext);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

enum class RecordResult { Made, NameTaken, Failed };

RecordResult WriteRecord(const std::string& infoPath, const std::string& text) {
    const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? RecordResult::NameTaken : RecordResult::Failed;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (::close(fd) != 0 || !ok) {
        ::unlink(infoPath.c_str());
        return RecordResult::Failed;
    }
    return RecordResult::Made;
}

// The absolute path with its folder resolved, so that it lines up with the mount table
// while a link at the end is trashed itself rather than what it points to.
std::string ResolvedPath(const std::string& path) {
    std::error_code ec;
    std::string abs = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) return std::string();
    while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
    const std::string name(PathFindFileName(abs));
    if (name.empty() || name == "." || name == "..") return std::string();
    char* folder = ::realpath(PathRemoveFileSpec(abs).c_str(), nullptr);
    if (!folder) return std::string();
    const std::string resolved = PathAppend(folder, name);
    std::free(folder);
    return resolved;
}

}  // namespace

std::string HomeTrashDir() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return PathAppend(data, "Trash");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return PathAppend(home, ".local/share/Trash");
    return std::string();
}

bool MoveToTrash(const std::string& path, TrashedItem* trashed) {
    if (path.empty()) return false;
    const std::string source = ResolvedPath(path);
    if (source.empty() || !Exists(source)) return false;
    // The mount of the folder, not of the path: a link is renamed where it lies, whatever
    // mount the link leads to.
    const std::string topdir = DriveRootOf(PathRemoveFileSpec(source));
    if (topdir.empty() || DriveRootOf(source) == source) return false;

    std::string trashDir = HomeTrashDir();
    std::string recordedPath = source;
    if (!trashDir.empty() && DriveRootOf(trashDir) == topdir) {
        std::error_code ec;
        std::filesystem::create_directories(PathRemoveFileSpec(trashDir), ec);
        if (!EnsureTrashDir(trashDir)) return false;
    } else {
        trashDir = TopDirTrash(topdir);
        if (trashDir.empty()) return false;
        recordedPath = source.substr(topdir == "/" ? 1 : topdir.size() + 1);
    }

    const std::string info = TrashInfoText(recordedPath);
    const std::string name(PathFindFileName(source));
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = CandidateName(name, attempt);
        const std::string target = PathAppend(PathAppend(trashDir, "files"), candidate);
        if (Exists(target)) continue;
        const std::string infoPath =
            PathAppend(PathAppend(trashDir, "info"), candidate + ".trashinfo");
        const RecordResult record = WriteRecord(infoPath, info);
        if (record == RecordResult::NameTaken) continue;
        if (record == RecordResult::Failed) return false;
        // A rename never copies: across file systems it fails, and the file stays.
        if (FileOps().MoveNoReplace(source, target)) {
            if (trashed) *trashed = TrashedItem{trashDir, candidate};
            return true;
        }
        ::unlink(infoPath.c_str());
        if (!Exists(target) || !Exists(source)) return false;
        // Another program took the name between the check and the rename.
    }
    return false;
}

}  // namespace orv
