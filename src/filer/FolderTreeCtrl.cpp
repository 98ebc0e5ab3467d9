#include "filer/FolderTreeCtrl.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QStandardItemModel>

#include <unordered_map>

#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"

#include "platform/gdi/DeviceContext.h"
#include "recorder/RecordingName.h"

namespace orv {

namespace {

// Item roles: the folder's RecordingFlags and the item's handle.
constexpr int kFlagsRole = Qt::UserRole;
constexpr int kHandleRole = Qt::UserRole + 1;

// Badge cells in drawing order. The continuous kind has no cell: nearly every folder holds
// continuous recordings, so a cell for it would tell nothing.
constexpr KindBadgeCell kBadgeCells[] = {
    {REC_FLAG_MANUAL, 'M', 1, 0},          {REC_FLAG_IMPACT, 'G', 0, 0},
    {REC_FLAG_PARKING_IMPACT, 'S', 2, 0},  {REC_FLAG_PARKING, 'P', 0, 1},
    {REC_FLAG_SPEED_CAMERA, 'O', 1, 1},    {REC_FLAG_RADAR, 'R', 2, 1},
};

QColor LetterColour(char letter) {
    switch (letter) {
    case 'G': return QColor(200, 0, 0);
    case 'M': return QColor(0, 70, 200);
    case 'S': return QColor(140, 0, 160);
    case 'P': return QColor(0, 130, 40);
    case 'O': return QColor(90, 50, 0);
    default: return QColor(200, 0, 120);
    }
}

// Handles of the items of every tree; an item's handle is never reused, so a handle
// posted before its item was deleted names nothing instead of another item.
FolderTreeItem g_nextHandle = 1;

void ForgetItems(std::unordered_map<FolderTreeItem, QTreeWidgetItem*>& items, QTreeWidgetItem* item) {
    if (!item) return;
    items.erase(CFolderTreeCtrl::HandleOf(item));
    for (int i = 0; i < item->childCount(); ++i) ForgetItems(items, item->child(i));
}

int CountItems(const QTreeWidgetItem* item) {
    int n = 1;
    for (int i = 0; i < item->childCount(); ++i) n += CountItems(item->child(i));
    return n;
}

}  // namespace

std::vector<KindBadgeCell> KindBadgeCells(unsigned flags) {
    std::vector<KindBadgeCell> cells;
    for (const KindBadgeCell& cell : kBadgeCells)
        if (flags & cell.flag) cells.push_back(cell);
    return cells;
}

QImage MakeKindBadge(unsigned flags) {
    QImage badge(Scaled(39), Scaled(26), QImage::Format_RGB32);
    badge.fill(Qt::white);
    // The grid fills the left 26 x 21 (design pixels) below a 5-pixel margin; the right
    // part stays white, so the grid's right edge is where the folder name begins.
    const int top = Scaled(5);
    const int cellW = Scaled(26) / 3;
    const int cellH = Scaled(21) / 2;
    QPainter painter(&badge);
    QFont font = painter.font();
    font.setPixelSize(std::max(6, cellH - 1));
    font.setBold(true);
    painter.setFont(font);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect cell(column * cellW, top + row * cellH, cellW - 1, cellH - 1);
            painter.fillRect(cell, QColor(255, 214, 150));
            painter.setPen(QColor(224, 138, 30));
            painter.drawRect(cell);
        }
    }
    for (const KindBadgeCell& cell : KindBadgeCells(flags)) {
        const QRect box(cell.column * cellW, top + cell.row * cellH, cellW, cellH);
        painter.setPen(LetterColour(cell.letter));
        painter.drawText(box, Qt::AlignCenter, QString(QChar(cell.letter)));
    }
    return badge;
}

// ---- CFolderTreeCtrl ----------------------------------------------------------------

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRootIsDecorated(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelChanged(GetSelectedItem()); });
}

CFolderTreeCtrl::~CFolderTreeCtrl() = default;

FolderTreeItem CFolderTreeCtrl::HandleOf(const QTreeWidgetItem* item) {
    return item ? FolderTreeItem(item->data(0, kHandleRole).toULongLong()) : kFolderTreeRoot;
}

QTreeWidgetItem* CFolderTreeCtrl::ItemOf(FolderTreeItem item) const {
    if (item == kFolderTreeRoot) return nullptr;
    const auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : it->second;
}

int CFolderTreeCtrl::GetItemCount() const { return m_nItemCount; }

std::optional<FolderTreeItem> CFolderTreeCtrl::InsertItem(FolderTreeItem parent, const std::string& text) {
    QTreeWidgetItem* parentItem = ItemOf(parent);
    if (parent != kFolderTreeRoot && !parentItem) return std::nullopt;
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    const FolderTreeItem handle = g_nextHandle++;
    item->setData(0, kHandleRole, QVariant::fromValue<qulonglong>(handle));
    item->setData(0, kFlagsRole, QVariant::fromValue<qulonglong>(0));
    item->setSizeHint(0, QSize(0, RowHeight()));
    if (parentItem) {
        parentItem->addChild(item);
    } else {
        addTopLevelItem(item);
    }
    m_items[handle] = item;
    ++m_nItemCount;
    return handle;
}

int CFolderTreeCtrl::RowHeight() const { return std::max(Scaled(24), fontMetrics().height() + 6); }

void CFolderTreeCtrl::ApplyScale() {
    const int height = RowHeight();
    for (const auto& [handle, item] : m_items) item->setSizeHint(0, QSize(0, height));
}

void CFolderTreeCtrl::SetItemData(FolderTreeItem item, std::uintptr_t data) {
    if (QTreeWidgetItem* it = ItemOf(item)) it->setData(0, kFlagsRole, QVariant::fromValue<qulonglong>(data));
}

std::uintptr_t CFolderTreeCtrl::GetItemData(FolderTreeItem item) const {
    const QTreeWidgetItem* it = ItemOf(item);
    return it ? std::uintptr_t(it->data(0, kFlagsRole).toULongLong()) : 0;
}

std::string CFolderTreeCtrl::GetItemText(FolderTreeItem item) const {
    const QTreeWidgetItem* it = ItemOf(item);
    return it ? it->text(0).toStdString() : std::string();
}

FolderTreeItem CFolderTreeCtrl::GetRootItem() const { return HandleOf(topLevelItem(0)); }

FolderTreeItem CFolderTreeCtrl::GetChildItem(FolderTreeItem item) const {
    if (item == kFolderTreeRoot) return GetRootItem();
    const QTreeWidgetItem* it = ItemOf(item);
    return it && it->childCount() > 0 ? HandleOf(it->child(0)) : kFolderTreeRoot;
}

FolderTreeItem CFolderTreeCtrl::GetNextSiblingItem(FolderTreeItem item) const {
    QTreeWidgetItem* it = ItemOf(item);
    if (!it) return kFolderTreeRoot;
    if (QTreeWidgetItem* parent = it->parent()) {
        const int index = parent->indexOfChild(it);
        return index + 1 < parent->childCount() ? HandleOf(parent->child(index + 1)) : kFolderTreeRoot;
    }
    const int index = indexOfTopLevelItem(it);
    return index + 1 < topLevelItemCount() ? HandleOf(topLevelItem(index + 1)) : kFolderTreeRoot;
}

FolderTreeItem CFolderTreeCtrl::GetParentItem(FolderTreeItem item) const {
    const QTreeWidgetItem* it = ItemOf(item);
    return it ? HandleOf(it->parent()) : kFolderTreeRoot;
}

FolderTreeItem CFolderTreeCtrl::GetSelectedItem() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? kFolderTreeRoot : HandleOf(selected.front());
}

int CFolderTreeCtrl::GetItemLevel(FolderTreeItem item) const {
    int level = 0;
    for (const QTreeWidgetItem* it = ItemOf(item); it && it->parent(); it = it->parent()) ++level;
    return level;
}

void CFolderTreeCtrl::SelectItem(FolderTreeItem item) {
    QTreeWidgetItem* it = ItemOf(item);
    if (!it) {
        clearSelection();
        return;
    }
    setCurrentItem(it);
    it->setSelected(true);
    scrollToItem(it);
}

void CFolderTreeCtrl::DeleteChildItems(FolderTreeItem item) {
    QTreeWidgetItem* it = ItemOf(item);
    if (!it) return;
    const QList<QTreeWidgetItem*> children = it->takeChildren();
    for (QTreeWidgetItem* child : children) {
        m_nItemCount -= CountItems(child);
        ForgetItems(m_items, child);
        delete child;
    }
    if (m_hCurrent != kFolderTreeRoot && !ItemOf(m_hCurrent)) m_hCurrent = kFolderTreeRoot;
}

void CFolderTreeCtrl::DeleteAllItems() {
    const bool wasReselecting = m_bReselecting;
    m_bReselecting = true;  // emptying the tree selects nothing worth reporting
    m_items.clear();
    clear();
    m_bReselecting = wasReselecting;
    m_nItemCount = 0;
    m_hCurrent = kFolderTreeRoot;
}

std::string CFolderTreeCtrl::GetItemPath(FolderTreeItem item) const {
    std::string path;
    for (const QTreeWidgetItem* it = ItemOf(item); it; it = it->parent())
        path = it->text(0).toStdString() + (path.empty() ? "" : "/" + path);
    if (m_strRootPath.empty()) return path;
    std::string prefix = m_strRootPath;
    if (prefix.back() != '/') prefix += '/';
    return prefix + path;
}

void CFolderTreeCtrl::ExpandToItem(FolderTreeItem item) {
    QTreeWidgetItem* it = ItemOf(item);
    for (QTreeWidgetItem* up = it; up; up = up->parent()) up->setExpanded(true);
    m_hCurrent = it ? item : kFolderTreeRoot;
}

void CFolderTreeCtrl::ReselectTopItems() {
    m_bReselecting = true;
    for (int i = 1; i < topLevelItemCount(); ++i) SelectItem(HandleOf(topLevelItem(i)));
    SelectItem(kFolderTreeRoot);
    SelectItem(GetRootItem());
    m_bReselecting = false;
    OnSelChanged(GetSelectedItem());
}

int CFolderTreeCtrl::OnSelChanged(FolderTreeItem) {
    if (m_bReselecting || !m_hOwner || m_bPostPending) return 0;
    // The selections one call of the browser makes in a row (the first item, then the
    // recorder's date group) are reported once, with the item that stays selected: each
    // report makes the owner open and scan that folder.
    m_bPostPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_bPostPending = false;
        const FolderTreeItem selected = GetSelectedItem();
        if (selected != kFolderTreeRoot && m_hOwner)
            PostAppMessage(m_hOwner, WM_APP_FOLDER_SELECTED, 0, LPARAM(selected));
    }, Qt::QueuedConnection);
    return 0;
}

// ---- painting ---------------------------------------------------------------------------

void CFolderTreeCtrl::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), Qt::white);
    painter.end();
    QTreeWidget::paintEvent(event);
}

void CFolderTreeCtrl::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {}

void CFolderTreeCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    OnCustomDraw(*painter, QRect(0, option.rect.top(), viewport()->width(), option.rect.height()), index);
}

void CFolderTreeCtrl::OnCustomDraw(QPainter& painter, const QRect& rowRect, const QModelIndex& index) const {
    const QTreeWidgetItem* item = itemFromIndex(index);
    const int h = rowRect.height();
    if (!item || h == 0) return;
    int level = 0;
    for (const QTreeWidgetItem* up = item->parent(); up; up = up->parent()) ++level;
    const bool selected = item->isSelected();
    painter.save();
    painter.fillRect(rowRect, selected ? ToQColor(kTreeSelectedFill) : QColor(Qt::white));
    if (selected) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(rowRect.adjusted(0, 0, -1, -1));
    }
    QRect text(QPoint((level + 1) * h - Scaled(22), rowRect.top()), rowRect.bottomRight());
    painter.setPen(selected ? Qt::white : Qt::black);
    if (g_hFont13) painter.setFont(*g_hFont13);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item->text(0));
    const unsigned flags = unsigned(item->data(0, kFlagsRole).toULongLong());
    if (flags != 0 && level > 0) DrawKindBadge(painter, text.left(), rowRect.top(), flags);
    painter.restore();
}

void CFolderTreeCtrl::DrawKindBadge(QPainter& painter, int x, int y, unsigned flags) {
    // White is the key colour: only the grid reaches the row.
    QImage badge = MakeKindBadge(flags).convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < badge.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(badge.scanLine(row));
        for (int col = 0; col < badge.width(); ++col)
            if ((line[col] & 0xFFFFFF) == 0xFFFFFF) line[col] = 0;
    }
    painter.drawImage(QPoint(x - Scaled(26), y), badge);
}

// ---- CFileListHeaderCtrl ------------------------------------------------------------------

std::vector<HeaderBand> HeaderGradientBands(int height) {
    std::vector<HeaderBand> bands;
    if (height < 1) return bands;
    const int band = height >= 510 ? height / 255 : 1;
    for (int rem = height; rem >= 1; rem -= band) {
        HeaderBand b{rem - band, band, ((height + band - rem) * 141) / height + 63};
        if (b.top < 0) {
            b.height += b.top;
            b.top = 0;
        }
        bands.push_back(b);
    }
    return bands;
}

CFileListHeaderCtrl::CFileListHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(false);
}

void CFileListHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const QVariant text = model() ? model()->headerData(logicalIndex, Qt::Horizontal) : QVariant();
    if (!text.isValid()) {
        painter->fillRect(rect, ToQColor(0xCCCCCC));
        return;
    }
    painter->save();
    for (const HeaderBand& band : HeaderGradientBands(rect.height()))
        painter->fillRect(QRect(rect.left(), rect.top() + band.top, rect.width(), band.height),
                          QColor(band.grey, band.grey, band.grey));
    painter->setPen(ToQColor(0xAAAAAA));
    painter->drawRect(rect.adjusted(0, -1, 0, 0));
    painter->setPen(Qt::white);
    if (g_hFont10) painter->setFont(*g_hFont10);
    const QString shown = painter->fontMetrics().elidedText(text.toString(), Qt::ElideRight, rect.width());
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

}  // namespace orv
