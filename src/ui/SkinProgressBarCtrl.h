// The progress bar of the long jobs: a blue bar over white with its position written
// across it, white on the blue part and blue on the white part. The owner sets the range
// and the position and repaints. UI thread only.
#pragma once

#include <QWidget>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"

namespace orv {

class CSkinProgressBarCtrl : public QWidget {
public:
    explicit CSkinProgressBarCtrl(QWidget* parent = nullptr);

    // The share m_nPos / (m_nMax - m_nMin), held to 0..1; 0 for an empty range.
    float Fraction() const;

    // Draws the whole bar trunc(22 s) high; FALSE (nothing drawn) at a width of 0.
    BOOL OnEraseBkgnd(DeviceContext& dc);

    // Lays the bar over the bottom edge of `frame`, inside its 2-pixel (scaled) border,
    // in `parent`'s coordinates as GetWindowRectIn gives them.
    void PlaceInside(QWidget* parent, QWidget* frame);

    void SetRange(int min, int max) {
        m_nMin = min;
        m_nMax = max;
    }
    void SetPos(int pos) { m_nPos = pos; }
    int GetPos() const { return m_nPos; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nPos = 0;
};

}  // namespace orv
