// The mounted removable drives (memory cards, USB sticks), each named by its mount point.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/Drives.h"

namespace orv {

// The mount points of the removable drives now mounted, in the order of the mount table.
// A mount counts as removable when the kernel flags its block device as removable
// (/sys/dev/block/MAJOR:MINOR/removable, or the whole disk's flag for a partition), or
// when it is mounted under /media or /run/media, where desktops mount what the user
// plugs in (a card in a built-in reader is not flagged removable).
std::vector<std::string> ListRemovableMounts();

// The same decision for a given mount table, with the sysfs tree under `sysRoot`.
std::vector<std::string> RemovableMountsOf(const std::vector<MountEntry>& mounts,
                                           const std::string& sysRoot);

// Tests replace the list; an empty function restores the real one.
using RemovableMountProvider = std::function<std::vector<std::string>()>;
void SetRemovableMountProvider(RemovableMountProvider provider);

}  // namespace orv
