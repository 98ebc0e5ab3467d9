// The folder tree of the file browser, as the folder scan fills it: one item per folder
// or group of recordings, each holding the RecordingFlags of the recordings below it as
// its data. The browser's tree control implements it; the scan only adds items.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

// An item handle of the tree; kFolderTreeRoot stands for the invisible root, so a
// top-level item is inserted under it.
using FolderTreeItem = std::uintptr_t;
inline constexpr FolderTreeItem kFolderTreeRoot = 0;

class IFolderTree {
public:
    virtual ~IFolderTree() = default;

    // Number of items in the whole tree.
    virtual int GetItemCount() const = 0;

    // Adds an item with `text` as the last child of `parent`; nothing when it cannot.
    virtual std::optional<FolderTreeItem> InsertItem(FolderTreeItem parent,
                                                     const std::string& text) = 0;

    // The item's data word (a folder's RecordingFlags).
    virtual void SetItemData(FolderTreeItem item, std::uintptr_t data) = 0;
};

}  // namespace orv
