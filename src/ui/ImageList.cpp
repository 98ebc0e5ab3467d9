#include "ui/ImageList.h"

#include <QPainter>

#include <algorithm>

namespace orv {

namespace {

constexpr COLORREF kMaskColour = RGB(0, 0, 0);

}  // namespace

bool ImageList::Create(const QImage& strip, int width, int height) {
    if (strip.isNull() || width <= 0 || height <= 0 || strip.height() < height) return false;
    const int count = strip.width() / width;
    if (count == 0) return false;
    m_strip = strip;
    m_nWidth = width;
    m_nHeight = height;
    m_nCount = count;
    return true;
}

bool ImageList::CreateScaled(const QImage& strip, int frames, int width, int height) {
    if (strip.isNull() || frames <= 0 || width <= 0 || height <= 0) return false;
    const int sourceWidth = strip.width() / frames;
    if (sourceWidth == 0) return false;
    QImage scaled(width * frames, height, QImage::Format_RGB32);
    scaled.fill(Qt::black);
    QPainter painter(&scaled);
    for (int i = 0; i < frames; ++i) {
        const QImage frame = strip.copy(i * sourceWidth, 0, sourceWidth, strip.height());
        painter.drawImage(i * width, 0, frame.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    painter.end();
    return Create(scaled, width, height);
}

BOOL ImageList::Draw(DeviceContext& dc, int index, int x, int y, int dx, int dy) const {
    if (index < 0 || index >= m_nCount) return FALSE;
    const int w = dx > 0 ? std::min(dx, m_nWidth) : m_nWidth;
    const int h = dy > 0 ? std::min(dy, m_nHeight) : m_nHeight;
    return dc.TransparentBlt(x, y, w, h, m_strip, index * m_nWidth, 0, w, h, kMaskColour);
}

BOOL ImageList::DrawBlended(DeviceContext& dc, int index, int x, int y, int dx, int dy, int alpha) const {
    const QImage frame = Frame(index);
    if (frame.isNull()) return FALSE;
    const int w = dx > 0 ? std::min(dx, m_nWidth) : m_nWidth;
    const int h = dy > 0 ? std::min(dy, m_nHeight) : m_nHeight;
    BLENDFUNCTION blend;
    blend.SourceConstantAlpha = std::uint8_t(std::clamp(alpha, 0, 255));
    blend.AlphaFormat = AC_SRC_ALPHA;
    return dc.AlphaBlend(x, y, w, h, frame, 0, 0, w, h, blend);
}

QImage ImageList::Frame(int index) const {
    if (index < 0 || index >= m_nCount) return QImage();
    QImage frame(m_nWidth, m_nHeight, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::transparent);
    DeviceContext dc(&frame);
    Draw(dc, index, 0, 0);
    return frame;
}

}  // namespace orv
