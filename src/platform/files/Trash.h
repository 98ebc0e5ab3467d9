// Moving files to the desktop's trash, as file managers that follow the freedesktop.org
// trash layout do, so the user can restore them from there.
//
// A file on the file system of the user's home goes to the home trash,
// $XDG_DATA_HOME/Trash (default ~/.local/share/Trash). A file on another mount (a memory
// card) goes to that mount's own trash: $topdir/.Trash/$uid when the administrator made
// $topdir/.Trash (a real folder with the sticky bit), else $topdir/.Trash-$uid. Each
// trashed file has its record info/NAME.trashinfo beside files/NAME: the original path,
// percent-encoded (absolute for the home trash, relative to $topdir for a mount's own
// trash), and the deletion time in local wall-clock time. The record is made first, under
// a name that no other trashed file has (".2", ".3"... before the extension otherwise).
//
// A file is only ever renamed into a trash on its own file system, never copied: a
// recording that cannot be renamed there stays where it is and the call fails.
#pragma once

#include <string>

namespace orv {

struct TrashedItem {
    std::string trashDir;  // the trash folder, holding files/ and info/
    std::string name;      // the name under files/ (and info/NAME.trashinfo)
};

// Moves the file (or folder, or symbolic link itself) at `path` to its trash. False when
// the path is empty, names nothing or a mount point, no trash can be made on its file
// system, or the rename fails; the file and the trash are then as they were.
bool MoveToTrash(const std::string& path, TrashedItem* trashed = nullptr);

// The home trash folder: $XDG_DATA_HOME/Trash when that variable holds an absolute path,
// else $HOME/.local/share/Trash; "" when neither is known.
std::string HomeTrashDir();

}  // namespace orv
