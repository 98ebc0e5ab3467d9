// A row of equal frames cut from one strip bitmap, drawn with black left out: the image
// lists that the skinned buttons, check boxes and list rows draw their frames from.
// UI thread only.
#pragma once

#include <QImage>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"

namespace orv {

class ImageList {
public:
    // Cuts `strip` into frames of width x height from the left; a rest narrower than a
    // frame is dropped. Returns false, leaving the list as it was, for a null strip, a
    // frame size of 0 or less, or a strip lower than a frame.
    bool Create(const QImage& strip, int width, int height);

    // Cuts `strip` (a picture at its own size) into `frames` equal frames and scales each
    // to width x height, so that every frame keeps its own pixels whatever the scale.
    // Returns false, leaving the list as it was, for a null strip, a frame count or
    // frame size of 0 or less, or a strip narrower than its frame count.
    bool CreateScaled(const QImage& strip, int frames, int width, int height);

    int GetImageCount() const { return m_nCount; }
    SIZE GetFrameSize() const { return SIZE{m_nWidth, m_nHeight}; }

    // Frame `index` with its top-left corner at (x, y): the dx x dy part of it from its
    // top-left corner (the whole frame when dx or dy is 0 or larger than the frame),
    // unscaled, its black pixels leaving the target as it was. FALSE when there is no
    // such frame.
    BOOL Draw(DeviceContext& dc, int index, int x, int y, int dx = 0, int dy = 0) const;

    // As Draw, the frame laid over the target at `alpha` (0..255) of its strength.
    BOOL DrawBlended(DeviceContext& dc, int index, int x, int y, int dx, int dy, int alpha) const;

    // Frame `index` as a picture whose black pixels are see-through; null when there is
    // no such frame.
    QImage Frame(int index) const;

private:
    QImage m_strip;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nCount = 0;
};

}  // namespace orv
