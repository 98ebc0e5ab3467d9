#include "platform/base/ReplacementSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/base/FileOps.h"
#include "platform/base/FileView.h"
#include "platform/base/PathUtil.h"
#include "platform/base/UniqueFd.h"

namespace orv {

namespace {

// Tries for a free hidden name for an older file before giving up.
constexpr int kBackupNameTries = 10;

// NotReplaceable, and whether anything has the name.
std::string RefusedTarget(const std::string& path, bool* exists) {
    struct stat st;
    *exists = ::lstat(path.c_str(), &st) == 0;
    if (!*exists) return errno == ENOENT ? std::string() : path + ": " + SystemErrorText(errno);
    if (S_ISREG(st.st_mode)) return {};
    const char* what = S_ISDIR(st.st_mode) ? "a folder" : S_ISLNK(st.st_mode) ? "a link" : "a FIFO, socket or device";
    return path + " is " + what + ", not a file that may be replaced";
}

// The hidden name an older target waits under while its replacement is put in place: the
// temporary file's name with "old" for "tmp", so that it is as unique and as short.
std::string BackupName(const std::string& temp, int attempt) {
    const std::string dir = PathRemoveFileSpec(temp);
    std::string name(PathFindFileName(temp));
    // Not a temporary file's name: the clean-up of stale temporaries must never take it.
    constexpr std::string_view kTemp = ".orvanta5-tmp-", kOld = ".orvanta5-old-";
    const std::size_t tmp = name.rfind(kTemp);
    if (tmp != std::string::npos) name.replace(tmp, kTemp.size(), kOld);
    else name += ".old";
    if (attempt > 0) name += "-" + std::to_string(attempt);
    return PathAppend(dir, name);
}

struct Step {
    const std::string* target;
    const std::string* temp;
    std::string backup;  // empty: there was no older file
};

// Takes a step back: the new file to its temporary name, the older one to its own name.
bool Undo(const Step& step) {
    IFileOps& ops = FileOps();
    if (!ops.MoveNoReplace(*step.target, *step.temp)) return false;
    return step.backup.empty() || ops.MoveNoReplace(step.backup, *step.target);
}

void FlushFolder(const std::string& path) {
    const std::string dir = PathRemoveFileSpec(path);
    UniqueFd folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
}

}  // namespace

std::string NotReplaceable(const std::string& path) {
    bool exists = false;
    return RefusedTarget(path, &exists);
}

bool CommitTogether(std::span<ReplacementFile* const> files, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    for (ReplacementFile* file : files) {
        bool exists = false;
        if (std::string why = RefusedTarget(file->target_, &exists); !why.empty()) return fail(why);
        if (!file->Finish()) return fail("cannot write " + file->target_ + ": " + SystemErrorText(errno));
    }

    IFileOps& ops = FileOps();
    std::vector<Step> done;
    std::string why;
    for (ReplacementFile* file : files) {
        Step step{&file->target_, &file->temp_, {}};
        bool exists = false;
        why = RefusedTarget(*step.target, &exists);  // again: the folder may have changed
        if (why.empty() && exists) {
            for (int attempt = 0; attempt < kBackupNameTries; ++attempt) {
                step.backup = BackupName(*step.temp, attempt);
                if (ops.MoveNoReplace(*step.target, step.backup)) break;
                const int e = errno;
                step.backup.clear();
                if (e != EEXIST) break;
            }
            if (step.backup.empty()) why = "cannot move " + *step.target + " aside: " + SystemErrorText(errno);
        }
        if (why.empty() && !ops.MoveNoReplace(*step.temp, *step.target)) {
            why = "cannot put " + *step.target + " in place: " + SystemErrorText(errno);
            if (!step.backup.empty() && !ops.MoveNoReplace(step.backup, *step.target))
                why += "; the older file stays as " + step.backup;
        }
        if (!why.empty()) break;
        done.push_back(std::move(step));
    }
    if (!why.empty()) {
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            if (!Undo(*it))
                why += "; cannot take back " + *it->target +
                       (it->backup.empty() ? std::string() : ", the older file stays as " + it->backup);
        return fail(why);
    }

    for (ReplacementFile* file : files)
        file->committed_ = true;
    for (const Step& step : done)
        if (!step.backup.empty()) ::unlink(step.backup.c_str());
    for (ReplacementFile* file : files)
        FlushFolder(file->target_);
    return true;
}

}  // namespace orv
