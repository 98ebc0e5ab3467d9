// A file that replaces another one whole.
//
// The new content goes to a temporary file beside the target, is forced to the disk and
// then renamed over the target, so a reader sees the old file or the whole new one, and a
// write that fails leaves the old file as it was and no partial file behind.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/base/UniqueFd.h"

namespace orv {

class ReplacementFile {
public:
    // Creates the temporary file (mode 0666 less the umask) in the target's folder under a
    // name that no other writer uses; IsOpen tells whether that worked.
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

    // Forces the content to the disk, closes the file, renames it over the target and
    // flushes the folder's entry. False, the target left as it was, when a step fails.
    bool Commit();

    // Forces the content to the disk and closes the file, which stays under its temporary
    // name (for CommitTogether).
    bool Finish();

private:
    friend bool CommitTogether(std::span<ReplacementFile* const> files, std::string* error);

    std::string target_;
    std::string temp_;
    UniqueFd fd_;
    bool committed_ = false;
};

}  // namespace orv
