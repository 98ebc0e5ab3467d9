// Drawing helpers the data views share.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include <cstddef>
#include <cstring>

#include "platform/gdi/DeviceContext.h"

namespace orv {

// Copies `part` of `src` unchanged to (x, y) of the context's surface (within its clip
// rectangle): a plain blit of the panes' finished pictures, without the scaling and key
// tests of the context's general blits.
inline void CopyImage(DeviceContext& dc, int x, int y, const QImage& src, const QRect& part) {
    if (src.isNull() || part.isEmpty()) return;
    QPainter painter;
    if (!dc.OpenPainter(painter)) return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(x, y), src, part);
}

inline void CopyImage(DeviceContext& dc, int x, int y, const QImage& src) { CopyImage(dc, x, y, src, src.rect()); }

// Makes `kept` a copy of `src`, in kept's own buffer when it has src's size and format: a
// picture composed anew on many ticks is then not a fresh allocation, cleared, each time.
inline void CopyInto(QImage& kept, const QImage& src) {
    if (!src.isNull() && kept.size() == src.size() && kept.format() == src.format() &&
        kept.bytesPerLine() == src.bytesPerLine())
        std::memcpy(kept.bits(), src.constBits(), std::size_t(src.sizeInBytes()));
    else
        kept = src.copy();
}

}  // namespace orv
