// Where a path's "drive" begins. On this system the drive root of a path is the mount
// point of the file system that holds it; a memory card shows up as its own mount.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orv {

struct MountEntry {
    std::string mountPoint;
    std::string source;      // device or source as the kernel lists it
    std::string fsType;
    unsigned major = 0;
    unsigned minor = 0;
};

// The mounts of this process, from /proc/self/mountinfo (empty when it cannot be read).
std::vector<MountEntry> ReadMountTable();

// Parses the text of a mountinfo file (octal escapes such as \040 decoded).
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The mount point that holds `path`: the longest mount point that is the path itself
// or one of its parents. Relative paths are taken from the current directory.
std::string DriveRootOf(const std::string& path);

// Tests replace the lookup, for example to make a card tree in a temporary folder
// look like a drive of its own. An empty function restores the real lookup.
using DriveRootProvider = std::function<std::string(const std::string& path)>;
void SetDriveRootProvider(DriveRootProvider provider);

}  // namespace orv
