#include "platform/base/ReplacementSet.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/base/CommitJournal.h"
#include "platform/base/FileView.h"

namespace orv {

std::string NotReplaceable(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? std::string() : path + ": " + SystemErrorText(errno);
    if (S_ISREG(st.st_mode)) return {};
    const char* what = S_ISDIR(st.st_mode) ? "a folder" : S_ISLNK(st.st_mode) ? "a link" : "a FIFO, socket or device";
    return path + " is " + what + ", not a file that may be replaced";
}

bool CommitTogether(std::span<ReplacementFile* const> files, std::span<const std::string> withdrawn,
                    std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    std::vector<CommitPart> parts;
    // Whether a withdrawn part is there is looked at once the commit holds its folders:
    // another commit may put one there meanwhile.
    for (const std::string& path : withdrawn) {
        if (std::string why = NotReplaceable(path); !why.empty()) return fail(why);
        parts.push_back({path, {}});
    }
    for (ReplacementFile* file : files) {
        if (std::string why = NotReplaceable(file->target_); !why.empty()) return fail(why);
        if (!file->Finish()) return fail("cannot write " + file->target_ + ": " + SystemErrorText(errno));
        parts.push_back({file->target_, file->temp_});
    }
    const CommitResult result = CommitWithJournal(parts, error);
    // A stuck commit's journal names the new files: they stay for the one who finishes it.
    if (result != CommitResult::kOldSet)
        for (ReplacementFile* file : files)
            file->committed_ = true;
    return result == CommitResult::kNewSet;
}

}  // namespace orv
