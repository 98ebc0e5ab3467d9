// File operations whose behaviour depends on the file system underneath: the FAT
// "hidden" attribute and a rename that never replaces an existing file. They sit
// behind one interface so that tests can make them fail on purpose.
#pragma once

#include <string>

namespace orv {

class IFileOps {
public:
    virtual ~IFileOps() = default;
    // Whether the file carries the hidden attribute; false where the file system has none.
    virtual bool IsHidden(const std::string& path) = 0;
    // Sets or clears the hidden attribute. On a file system without the attribute this
    // changes nothing and succeeds; it fails only when the file cannot be reached.
    virtual bool SetHidden(const std::string& path, bool hidden) = 0;
    // Renames `from` to `to`; fails (and changes nothing) when `to` exists.
    virtual bool MoveNoReplace(const std::string& from, const std::string& to) = 0;
};

// renameat2(RENAME_NOREPLACE); on a file system without the flag, a rename after checking
// that nothing lies at `to`. Fails, changing nothing, when `to` exists.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The operations in force (the real ones unless a test installed others).
IFileOps& FileOps();

// Installs `ops` (nullptr restores the real ones) and returns what was in force.
IFileOps* SetFileOps(IFileOps* ops);

// The real operations: FAT attribute ioctls and renameat2(RENAME_NOREPLACE).
IFileOps& RealFileOps();

class ScopedFileOps {
public:
    explicit ScopedFileOps(IFileOps* ops) : previous_(SetFileOps(ops)) {}
    ~ScopedFileOps() { SetFileOps(previous_); }
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    IFileOps* previous_;
};

}  // namespace orv
