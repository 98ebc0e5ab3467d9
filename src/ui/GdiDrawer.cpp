#include "ui/GdiDrawer.h"

#include <QPainter>

#include "ui/ScaleFonts.h"

namespace orv {

QImage CGdiDrawer::LoadPngResource(const QString& resource) {
    QImage image;
    if (!image.load(resource, "PNG")) return QImage();
    return image;
}

void CGdiDrawer::DrawImageScaled(const QImage& image, QPainter* dc, int x, int y, double zoom) {
    if (image.isNull() || !dc) return;
    const int width = int(double(image.width()) * zoom * double(g_fScale));
    const int height = int(double(image.height()) * zoom * double(g_fScale));
    dc->save();
    dc->setRenderHint(QPainter::SmoothPixmapTransform);
    dc->drawImage(QRect(x, y, width, height), image);
    dc->restore();
}

}  // namespace orv
