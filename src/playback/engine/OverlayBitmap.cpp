#include "playback/engine/OverlayBitmap.h"

#include <cmath>
#include <cstdlib>

#include <QColor>
#include <QFont>
#include <QPainter>

namespace orv {

QImage MakeOverlayBitmap() {
    QImage bitmap(kOverlayWidth, kOverlayHeight, QImage::Format_RGB32);
    bitmap.fill(Qt::black);
    return bitmap;
}

void DrawOverlayBitmap(QImage* bitmap, const std::optional<sOVERLAYFONT>& font, const std::string& text) {
    bitmap->fill(Qt::black);
    QPainter painter(bitmap);
    QFont qfont = painter.font();
    if (font) {
        qfont.setFamily(QString::fromStdString(font->face));
        if (font->height != 0) qfont.setPixelSize(std::abs(font->height));
        qfont.setWeight(font->weight >= sOVERLAYFONT::kWeight ? QFont::Bold : QFont::Normal);
    }
    qfont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(qfont);
    painter.setPen(QColor(GetRValue(kOverlayTextColour), GetGValue(kOverlayTextColour), GetBValue(kOverlayTextColour)));
    const QRect area(0, 0, kOverlayWidth, kOverlayHeight);
    painter.setClipRect(area);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(text));
}

bool PlaceOverlay(int clientWidth, int clientHeight, int videoWidth, int videoHeight, int keepAspect,
                  sOVERLAYPLACE* place) {
    if (clientWidth <= 0 || clientHeight <= 0 || videoWidth <= 0 || videoHeight <= 0) return false;
    double sx = double(clientWidth) / videoWidth;
    double sy = double(clientHeight) / videoHeight;
    if (keepAspect == 0) {
        const bool taller = double(clientHeight) / clientWidth > double(videoHeight) / videoWidth;
        sx = sy = taller ? sx : sy;
    }
    place->width = int(std::trunc(sx * kOverlayWidth));
    place->height = int(std::trunc(sy * kOverlayHeight));
    place->destination = MFVideoNormalizedRect{float(1.0 - double(place->width) / clientWidth),
                                               float(1.0 - double(place->height) / clientHeight), 1.0f, 1.0f};
    return true;
}

}  // namespace orv
