// A file that replaces another one whole.
//
// The new content goes to a temporary file beside the target, is forced to the disk and
// then renamed over the target, so a reader sees the old file or the whole new one, and a
// write that fails leaves the old file as it was and no partial file behind.
//
// Only a regular file is ever replaced, and then only its folder entry: the content of a
// file behind another hard link stays as it was. A symbolic link (dangling or not), FIFO,
// socket, device or folder at the target is refused; nothing is opened through it.
//
// The temporary file is hidden (its name begins with '.') and carries its writer (this
// host's mark and the process id, WriterName.h), so that one left behind by a process that
// is gone can be told from one still being written. Whenever a replacement starts in a
// folder, the replacements of several files that a process began there and did not live to
// finish are finished first, and then such leftovers are removed (FinishInterruptedWrites).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/UniqueFd.h"

namespace orv {

// What lies at a path, seen without following a link.
enum class TargetKind {
    kMissing,  // nothing of that name
    kRegular,  // a regular file, which may be replaced once the user agreed
    kRefused,  // anything else (link, FIFO, socket, device, folder), or it cannot be told
};
TargetKind InspectTarget(const std::string& path);

// When the target may be replaced.
enum class Overwrite {
    kRegularFile,  // a regular file at the target is replaced; anything else is refused
    kNever,        // the target must not exist (one that appeared meanwhile is kept)
};

class ReplacementFile {
public:
    // Finishes what earlier writers left in the folder (FinishInterruptedWrites), then creates the
    // temporary file (mode 0666 less the umask) in the target's folder under a name that no
    // other writer uses; IsOpen tells whether that worked.
    explicit ReplacementFile(std::string target);
    // Removes the temporary file unless Commit put it in place.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return fd_.get() >= 0; }
    int Fd() const { return fd_.get(); }
    const std::string& TempPath() const { return temp_; }

    // Writes all of `data` behind what was written; false when a write fails.
    bool Write(const void* data, std::size_t size);

    // Forces the content to the disk, closes the file, renames it over the target as
    // `overwrite` allows and flushes the folder's entry. False, the target left as it was,
    // when a step fails or the target may not be replaced.
    bool Commit(Overwrite overwrite = Overwrite::kRegularFile);

    // Forces the content to the disk and closes the file, which stays under its temporary
    // name (for CommitTogether).
    bool Finish();

private:
    friend bool CommitTogether(std::span<ReplacementFile* const> files, std::span<const std::string> withdrawn,
                               std::string* error);

    std::string target_;
    std::string temp_;
    UniqueFd fd_;
    bool committed_ = false;
};

// A leftover must be this old before it is taken for stale: a writer on a machine whose
// processes cannot be asked, or one just starting, is given time.
constexpr int kStaleSeconds = 5 * 60;

// Finishes in `folder` what writers that are gone left behind. First the replacements of
// several files they began (RecoverInterruptedCommits): each is completed, or, where that
// cannot be, undone. Then their stale temporary and older files are removed: only regular
// files of this user, named by this host's writers whose process no longer exists, older
// than kStaleSeconds, and not named by a journal of this user's that stays. Nothing else is
// touched: not another program's or another user's files, not a file written on another
// machine or in another pid namespace, nor a link or folder of such a name. Returns how
// many files were removed.
int FinishInterruptedWrites(const std::string& folder);

}  // namespace orv
