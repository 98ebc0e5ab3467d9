#include "ui/SkinListCtrl.h"

#include <QMouseEvent>
#include <QPixmap>

namespace orv {

namespace {

// Where a row keeps its state image.
constexpr int kStateRole = Qt::UserRole + 0x5100;

POINT ToPoint(const QPointF& p) {
    const QPoint q = p.toPoint();
    return POINT{q.x(), q.y()};
}

}  // namespace

CSkinListCtrl::CSkinListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    viewport()->setMouseTracking(true);
}

void CSkinListCtrl::SetStateImageList(const ImageList& images) {
    m_stateImages = images;
    const SIZE frame = images.GetFrameSize();
    setIconSize(QSize(frame.cx, frame.cy));
    for (int i = 0; i < topLevelItemCount(); ++i) SetStateImage(i, StateImage(i));
}

unsigned CSkinListCtrl::StateImage(int item) const {
    const QTreeWidgetItem* row = topLevelItem(item);
    return row ? row->data(0, kStateRole).toUInt() : 0;
}

void CSkinListCtrl::SetStateImage(int item, unsigned image) {
    QTreeWidgetItem* row = topLevelItem(item);
    if (!row) return;
    // The picture first, so that a listener woken by the state's change sees both. A row
    // without a box keeps the box's room, so that the names stay in one column.
    QImage picture = m_stateImages.Frame(int(image) - 1);
    if (picture.isNull() && m_stateImages.GetImageCount() > 0) {
        const SIZE frame = m_stateImages.GetFrameSize();
        picture = QImage(frame.cx, frame.cy, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
    }
    row->setData(0, Qt::DecorationRole, picture.isNull() ? QVariant() : QVariant(QPixmap::fromImage(picture)));
    if (row->data(0, kStateRole).toUInt() != image) row->setData(0, kStateRole, image);
}

unsigned CSkinListCtrl::GetItemState(int item, unsigned mask) const {
    return INDEXTOSTATEIMAGEMASK(StateImage(item)) & mask;
}

BOOL CSkinListCtrl::SetItemState(int item, unsigned state, unsigned mask) {
    if (!topLevelItem(item)) return FALSE;
    if (mask & LVIS_STATEIMAGEMASK) SetStateImage(item, (state & LVIS_STATEIMAGEMASK) >> 12);
    return TRUE;
}

int CSkinListCtrl::HitTest(POINT point) const {
    const QTreeWidgetItem* row = itemAt(QPoint(point.x, point.y));
    return row ? indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(row)) : -1;
}

void CSkinListCtrl::UpdateHotItem(POINT cursor) {
    if (m_nHotItem >= 0 && StateImage(m_nHotItem) == kHot) SetStateImage(m_nHotItem, kUnticked);
    m_nHotItem = HitTest(cursor);
    if (m_nHotItem >= 0 && StateImage(m_nHotItem) == kUnticked) SetStateImage(m_nHotItem, kHot);
}

void CSkinListCtrl::OnClick(POINT cursor) {
    m_nHotItem = HitTest(cursor);
    if (m_nHotItem < 0) return;
    const unsigned image = StateImage(m_nHotItem);
    SetStateImage(m_nHotItem, image == kUnticked || image == kHot ? kTicked : kUnticked);
}

void CSkinListCtrl::mouseMoveEvent(QMouseEvent* event) {
    UpdateHotItem(ToPoint(event->position()));
    QTreeWidget::mouseMoveEvent(event);
}

void CSkinListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) OnClick(ToPoint(event->position()));
}

bool CSkinListCtrl::viewportEvent(QEvent* event) {
    // Leaving the list leaves no row under the mouse.
    if (event->type() == QEvent::Leave) UpdateHotItem(POINT{-1, -1});
    return QTreeWidget::viewportEvent(event);
}

}  // namespace orv
