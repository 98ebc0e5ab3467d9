// A list whose rows carry a check box as their state image: 1 unticked, 2 unticked under
// the mouse, 3 ticked (0: no box). A click on a row ticks or unticks it; the owner hears of
// it through the list's itemChanged signal. The owner supplies the state images (frame
// n - 1 of the list shows state image n). UI thread only.
#pragma once

#include <QTreeWidget>

#include "platform/base/WinTypes.h"
#include "ui/ImageList.h"

namespace orv {

// The state image of a row: bits 12 to 15 of its state.
constexpr unsigned LVIS_STATEIMAGEMASK = 0xF000;
constexpr unsigned INDEXTOSTATEIMAGEMASK(unsigned index) { return index << 12; }

class CSkinListCtrl : public QTreeWidget {
public:
    // The state images.
    static constexpr unsigned kUnticked = 1;
    static constexpr unsigned kHot = 2;
    static constexpr unsigned kTicked = 3;

    explicit CSkinListCtrl(QWidget* parent = nullptr);

    // The pictures of the state images; rows already listed take them at once.
    void SetStateImageList(const ImageList& images);

    // The state of row `item` under `mask` (only the state image is kept); 0 for no row.
    unsigned GetItemState(int item, unsigned mask) const;
    // Sets the state image of row `item` when `mask` covers it. FALSE for no row.
    BOOL SetItemState(int item, unsigned state, unsigned mask);

    // The row under `point` (viewport coordinates), or -1.
    int HitTest(POINT point) const;

    int GetHotItem() const { return m_nHotItem; }

    // The row under the mouse at `cursor` becomes the hot row: an unticked box there
    // shows as hot, and the previous hot row's hot box goes back to unticked.
    void UpdateHotItem(POINT cursor);

    // A click at `cursor` flips the box of the row there: unticked or hot becomes
    // ticked, anything else (ticked, no box) unticked.
    void OnClick(POINT cursor);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    unsigned StateImage(int item) const;
    void SetStateImage(int item, unsigned image);

    ImageList m_stateImages;
    int m_nHotItem = -1;
};

}  // namespace orv
