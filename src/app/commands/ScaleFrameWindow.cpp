#include "app/commands/ScaleFrameWindow.h"

#include <QPainter>
#include <QResizeEvent>

namespace orv {

ScaleFrameWindow::ScaleFrameWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("FrameWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // A see-through window needs a compositor; without one its inside shows black over
    // the whole screen. The shape holds only the frame instead.
    setAttribute(Qt::WA_NoSystemBackground);
    setMask(FrameRegion(size()));
}

QRegion ScaleFrameWindow::FrameRegion(QSize size) {
    const QRect all(QPoint(0, 0), size);
    if (all.isEmpty()) return QRegion();
    return QRegion(all).subtracted(QRegion(all.adjusted(1, 1, -1, -1)));
}

void ScaleFrameWindow::ShowAt(const RECT& rc) {
    MoveTo(rc);
    show();
    raise();
}

void ScaleFrameWindow::MoveTo(const RECT& rc) { setGeometry(rc.left, rc.top, rc.Width(), rc.Height()); }

void ScaleFrameWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setMask(FrameRegion(event->size()));
}

void ScaleFrameWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QColor(GetRValue(kScaleFrameColour), GetGValue(kScaleFrameColour), GetBValue(kScaleFrameColour)));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace orv
