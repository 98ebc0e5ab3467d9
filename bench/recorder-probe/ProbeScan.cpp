#include "ProbeScan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "ProbeData.h"
#include "platform/base/Drives.h"
#include "platform/base/FileView.h"
#include "platform/base/JsonWriter.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"
#include "recorder/FolderScan.h"
#include "recorder/RecordingName.h"

namespace orv::probe {

namespace {

// The tree as a list of items; handles are 1-based indexes.
class ListedTree final : public IFolderTree {
public:
    struct Item {
        FolderTreeItem parent;
        std::string text;
        std::uintptr_t data = 0;
    };

    int GetItemCount() const override { return int(items_.size()); }

    std::optional<FolderTreeItem> InsertItem(FolderTreeItem parent,
                                             const std::string& text) override {
        items_.push_back({parent, text});
        return FolderTreeItem(items_.size());
    }

    void SetItemData(FolderTreeItem item, std::uintptr_t data) override {
        if (item >= 1 && item <= items_.size()) items_[item - 1].data = data;
    }

    const std::vector<Item>& Items() const { return items_; }

    // The texts from the top-level item down to `item`, joined by '/'.
    std::string PathOf(FolderTreeItem item) const {
        std::string path;
        for (FolderTreeItem at = item; at != kFolderTreeRoot; at = items_[at - 1].parent)
            path = path.empty() ? items_[at - 1].text : items_[at - 1].text + "/" + path;
        return path;
    }

    int LevelOf(FolderTreeItem item) const {
        int level = -1;
        for (FolderTreeItem at = item; at != kFolderTreeRoot; at = items_[at - 1].parent) ++level;
        return level;
    }

private:
    std::vector<Item> items_;
};

// Whether the folder holds a movie folder of a card layout (then the browser walks it
// as a card).
bool IsCardRoot(const std::string& dir) {
    for (const auto& rows : FolderLayoutTable)
        for (int row : {LAYOUT_ROW_MOVIE, LAYOUT_ROW_PARKING_MOVIE})
            if (PathIsDirectory(PathAppend(dir, rows[row].folder))) return true;
    return false;
}

std::string TimeText(const SYSTEMTIME& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.wYear),
                  unsigned(t.wMonth), unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute),
                  unsigned(t.wSecond));
    return buf;
}

void WriteEntry(JsonWriter& j, const sFILEENTRY& e) {
    unsigned flags = 0;
    GetRecordingFlags(e.path, flags);
    j.BeginObject();
    WritePath(j, "entry", e.path);
    j.Key("serial").Int(e.serial);
    j.Key("kindLetter").String(e.kindLetter ? std::string(1, char(e.kindLetter)) : std::string());
    j.Key("kind").Int(GetRecordingKind(e.path));
    j.Key("flags").Uint(flags);
    j.Key("startTime").String(TimeText(e.startTime));
    j.Key("movieSize").Uint(e.movieSize);
    j.Key("companionSize").Uint(e.companionSize);
    j.Key("dataSize").Uint(e.dataSize);
    j.EndObject();
}

// Why the scan of `source` failed, as far as the folder itself tells.
std::string ScanProblem(const std::string& source) {
    struct stat st;
    if (::stat(source.c_str(), &st) != 0) return SystemErrorText(errno);
    if (S_ISDIR(st.st_mode) && ::access(source.c_str(), R_OK | X_OK) != 0)
        return "the folder cannot be listed: " + SystemErrorText(errno);
    return "the folder vanished or could not be listed during the scan";
}

}  // namespace

void ProbeScan(const std::string& source, std::ostream& out) {
    std::string dir = source;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const bool card = IsCardRoot(dir);
    if (card) {
        SetDriveRootProvider([dir](const std::string& path) {
            const bool below = path.compare(0, dir.size(), dir) == 0 &&
                               (path.size() == dir.size() || path[dir.size()] == '/' || dir == "/");
            return below ? dir : std::string();
        });
    }
    std::vector<sFILEENTRY> entries;
    std::vector<sFILEENTRY> folders;
    ListedTree tree;
    std::string scanned;
    const bool ok =
        ScanSourcePath(dir, scanned, ScanTarget{entries, folders, &tree, card}, kFolderTreeRoot, 0);
    if (card) SetDriveRootProvider({});

    JsonWriter j;
    j.BeginObject();
    WritePath(j, "scan", dir);
    j.Key("ok").Bool(ok);
    if (!ok) j.Key("error").String(ScanProblem(dir));
    j.Key("card").Bool(card);
    WritePath(j, "scannedFolder", scanned);
    j.Key("entries").Uint(entries.size());
    j.Key("folders").Uint(folders.size());
    j.Key("treeItems").Uint(tree.Items().size());
    j.EndObject();
    out << j.str() << '\n';

    for (const sFILEENTRY& e : entries) {
        j.Clear();
        WriteEntry(j, e);
        out << j.str() << '\n';
    }
    for (std::size_t i = 0; i < tree.Items().size(); ++i) {
        const ListedTree::Item& item = tree.Items()[i];
        j.Clear();
        j.BeginObject();
        j.Key("treeItem").Uint(i + 1);
        WritePath(j, "text", item.text);
        j.Key("parent").Uint(item.parent);
        j.Key("level").Int(tree.LevelOf(i + 1));
        WritePath(j, "path", tree.PathOf(i + 1));
        j.Key("data").Uint(item.data);
        j.EndObject();
        out << j.str() << '\n';
    }
}

}  // namespace orv::probe
