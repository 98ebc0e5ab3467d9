// The folder tree of the file browser and the owner-drawn header of its file list.
//
// CFolderTreeCtrl shows the folders and groups of recordings of the open source: each row
// painted on white (light blue when selected) with the folder name and, below the top
// level, a badge whose lettered cells tell which kinds of recording the folder holds (the
// item's data is its RecordingFlags). It gives the full path of any item and tells the
// owner of a change of selection by posting WM_APP_FOLDER_SELECTED. The folder scan fills
// it through IFolderTree. UI thread only.
#pragma once

#include <QHeaderView>
#include <QImage>
#include <QTreeWidget>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "recorder/FolderTree.h"

class QPainter;

namespace orv {

// The selected row's fill, COLORREF (light blue).
constexpr COLORREF kTreeSelectedFill = 0xFFCC00;

// One lettered cell of the kind badge: the flag that lights it, its letter, and its cell
// in the 3 x 2 grid (column 0..2, row 0..1).
struct KindBadgeCell {
    unsigned flag;
    char letter;
    int column;
    int row;
};

// The cells of the badge lit by `flags`, in drawing order: M, G, S, P, O, R. The
// continuous flag has no cell.
std::vector<KindBadgeCell> KindBadgeCells(unsigned flags);

// The badge of `flags`: trunc(39 s) x trunc(26 s), white where it shows nothing (white is
// the key colour when it is drawn onto a row).
QImage MakeKindBadge(unsigned flags);

class CFolderTreeCtrl : public QTreeWidget, public IFolderTree {
public:
    explicit CFolderTreeCtrl(QWidget* parent = nullptr);
    ~CFolderTreeCtrl() override;

    // Where WM_APP_FOLDER_SELECTED goes; 0 posts nothing.
    void SetOwner(HWND owner) { m_hOwner = owner; }
    HWND GetOwner() const { return m_hOwner; }

    // The folder that the top-level items lie in.
    void SetRootPath(const std::string& path) { m_strRootPath = path; }
    const std::string& GetRootPath() const { return m_strRootPath; }

    // The item's text behind the texts of its ancestors, joined by '/', with the root path
    // and '/' in front when the root path is not empty. The root item (kFolderTreeRoot)
    // gives the root path and '/' alone.
    std::string GetItemPath(FolderTreeItem item) const;

    // Expands the item and every ancestor and makes it the current item; the root item
    // only clears the current item.
    void ExpandToItem(FolderTreeItem item);
    FolderTreeItem GetCurrentItem() const { return m_hCurrent; }

    // Selects each top-level item after the first in turn, then none, then the first,
    // so that the tree lays its rows out afresh. Only the last selection is reported to
    // the owner: the ones in between would each open and scan a folder for nothing.
    void ReselectTopItems();

    // A change of selection: WM_APP_FOLDER_SELECTED goes to the owner with the item that is
    // selected once the current call is done, so a run of selections made in one go is
    // reported once (nothing while ReselectTopItems runs, nothing for an empty selection).
    // Returns 0.
    int OnSelChanged(FolderTreeItem newItem);

    // Item access in the shape the browser uses.
    FolderTreeItem GetRootItem() const;  // the first top-level item, or kFolderTreeRoot
    FolderTreeItem GetChildItem(FolderTreeItem item) const;
    FolderTreeItem GetNextSiblingItem(FolderTreeItem item) const;
    FolderTreeItem GetParentItem(FolderTreeItem item) const;
    FolderTreeItem GetSelectedItem() const;
    std::string GetItemText(FolderTreeItem item) const;
    std::uintptr_t GetItemData(FolderTreeItem item) const;
    // Number of ancestors of the item (0 for a top-level item).
    int GetItemLevel(FolderTreeItem item) const;
    // Makes the item the selected (caret) item; kFolderTreeRoot selects none.
    void SelectItem(FolderTreeItem item);
    void DeleteChildItems(FolderTreeItem item);
    void DeleteAllItems();
    QTreeWidgetItem* ItemOf(FolderTreeItem item) const;
    static FolderTreeItem HandleOf(const QTreeWidgetItem* item);

    // IFolderTree
    int GetItemCount() const override;
    std::optional<FolderTreeItem> InsertItem(FolderTreeItem parent, const std::string& text) override;
    void SetItemData(FolderTreeItem item, std::uintptr_t data) override;

    // The height of every row: trunc(24 s), or the font's height and 6 when that is more.
    int RowHeight() const;
    // Gives every row the height of the current scale and font. The rows keep the height
    // they were inserted with until this runs: a row too low for the scale would put its
    // name left of the control (the name starts (level + 1) rows right of the edge, less
    // trunc(22 s)).
    void ApplyScale();

    // Paints one row (rect in viewport coordinates): the fill, the name, and the badge.
    void OnCustomDraw(QPainter& painter, const QRect& rowRect, const QModelIndex& index) const;

    // The badge of `flags` with its right part ending at x: drawn at (x - trunc(26 s), y).
    static void DrawKindBadge(QPainter& painter, int x, int y, unsigned flags);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    HWND m_hOwner = 0;
    FolderTreeItem m_hCurrent = kFolderTreeRoot;
    std::string m_strRootPath;
    bool m_bReselecting = false;
    bool m_bPostPending = false;
    int m_nItemCount = 0;
    // Handles are never reused, so a handle posted before its item was deleted names
    // nothing rather than another item.
    std::unordered_map<FolderTreeItem, QTreeWidgetItem*> m_items;
};

// Rows of the header's grey gradient: each band's top (from the item's top), height and
// grey level, for an item `height` pixels high. Dark at the bottom, 204 at the top.
struct HeaderBand {
    int top;
    int height;
    int grey;
};
std::vector<HeaderBand> HeaderGradientBands(int height);

class CFileListHeaderCtrl : public QHeaderView {
public:
    explicit CFileListHeaderCtrl(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

}  // namespace orv
