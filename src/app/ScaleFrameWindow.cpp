#include "app/ScaleFrameWindow.h"

#include <QPainter>

namespace orv {

ScaleFrameWindow::ScaleFrameWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("FrameWindow"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void ScaleFrameWindow::ShowAt(const RECT& rc) {
    MoveTo(rc);
    show();
    raise();
}

void ScaleFrameWindow::MoveTo(const RECT& rc) { setGeometry(rc.left, rc.top, rc.Width(), rc.Height()); }

void ScaleFrameWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setPen(QColor(GetRValue(kScaleFrameColour), GetGValue(kScaleFrameColour), GetBValue(kScaleFrameColour)));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace orv
