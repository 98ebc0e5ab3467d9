// Helpers of the skinned-control tests: a scale with its shared fonts for one test,
// widgets drawn to pictures, pictures of the skin as stored, and mouse events.
#pragma once

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QRect>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/base/WinTypes.h"
#include "ui/ScaleFonts.h"

namespace orv::test {

// Sets g_fScale to `scale` (a monitor whose work area is 1056 x scale high) with the
// shared fonts, and takes the fonts away again.
class ScaleScope {
public:
    explicit ScaleScope(float scale) {
        MonitorMetrics monitor;
        monitor.workArea = QRect(0, 0, 1920, int(1056.0f * scale + 0.5f));
        EXPECT_TRUE(InitScaleAndFonts(monitor));
        EXPECT_EQ(g_fScale, scale);
    }
    ~ScaleScope() { DeleteSharedFonts(); }
    ScaleScope(const ScaleScope&) = delete;
    ScaleScope& operator=(const ScaleScope&) = delete;
};

// The widget as it paints itself over `ground`.
inline QImage Render(QWidget& widget, QRgb ground) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(ground);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// A skin picture as stored in the resources.
inline QImage StoredPicture(int id) {
    return QImage(QStringLiteral(":/skin/%1.png").arg(id)).convertToFormat(QImage::Format_RGB32);
}

// Frame `index` (frames of `size`, left to right) of a strip keyed on black, laid over
// `ground`: what a keyed blit of the frame leaves on a target of that colour.
inline QImage KeyedFrame(const QImage& strip, int index, QSize size, QRgb ground) {
    QImage frame = strip.copy(index * size.width(), 0, size.width(), size.height());
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if ((frame.pixel(x, y) & 0xFFFFFF) == 0) frame.setPixel(x, y, ground);
    return frame;
}

// Pixels of `area` of exactly `colour`.
inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += (image.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u);
    return n;
}

// The bounding box of the pixels of `area` that differ from `ground` (null when none).
inline QRect InkBox(const QImage& image, const QRect& area, QRgb ground) {
    QRect box;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((image.pixel(x, y) | 0xFF000000u) != (ground | 0xFF000000u)) box |= QRect(x, y, 1, 1);
    return box;
}

// A press or release of `button` at `at`.
inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void SendMove(QWidget* widget, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
    QMouseEvent event(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void SendEnter(QWidget* widget, QPoint at) {
    const QPointF local(at);
    QEnterEvent event(local, local, QPointF(widget->mapToGlobal(at)));
    QApplication::sendEvent(widget, &event);
}

inline void SendLeave(QWidget* widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

}  // namespace orv::test
