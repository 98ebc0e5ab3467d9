// Loading PNG pictures and drawing pictures at the layout's scale.
#pragma once

#include <QImage>
#include <QString>

class QPainter;

namespace orv {

class CGdiDrawer {
public:
    // The PNG picture at `resource` (a Qt resource path or a file); null when it is
    // missing or not a PNG that decodes.
    static QImage LoadPngResource(const QString& resource);

    // Draws the picture with its top-left corner at (x, y), its size being
    // trunc(size x zoom x g_fScale) computed in double precision. Nothing for a null
    // picture or painter.
    static void DrawImageScaled(const QImage& image, QPainter* dc, int x, int y, double zoom);
};

}  // namespace orv
