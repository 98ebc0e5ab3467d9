#include "platform/gdi/DeviceContext.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <QTransform>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace orv {

namespace {

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// The part [sx, sx + sw) x [sy, sy + sh) of `src` scaled to w x h by picking, for each
// destination pixel, the source pixel under its centre. Source pixels outside the image,
// and those of the colour `key` when one is given, come out fully transparent; all
// others fully opaque, with their colour as stored (alpha ignored).
QImage ScaleNearest(const QImage& src, int sx, int sy, int sw, int sh, int w, int h,
                    const QRgb* key) {
    QImage out(w, h, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QImage rgb = src.format() == QImage::Format_RGB32 || src.format() == QImage::Format_ARGB32
                           ? src
                           : src.convertToFormat(QImage::Format_ARGB32);
    // The source column of each column out; -1 where it falls outside the source.
    const int width = rgb.width(), height = rgb.height();
    std::vector<int> columns(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) {
        const int column = sx + int((2LL * x + 1) * sw / (2LL * w));
        columns[size_t(x)] = column >= 0 && column < width ? column : -1;
    }
    for (int y = 0; y < h; ++y) {
        const int row = sy + int((2LL * y + 1) * sh / (2LL * h));
        if (row < 0 || row >= height) continue;
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(row));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int column = columns[size_t(x)];
            if (column < 0) continue;
            const QRgb colour = in[column] | 0xFF000000u;
            if (key && colour == *key) continue;
            line[x] = colour;
        }
    }
    return out;
}

// The part of `src` scaled smoothly, opaque.
QImage ScaleSmooth(const QImage& src, int sx, int sy, int sw, int sh, int w, int h) {
    return src.copy(sx, sy, sw, sh)
        .convertToFormat(QImage::Format_RGB32)
        .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool MaskBit(const QImage& mask, int x, int y) {
    if (x < 0 || y < 0 || x >= mask.width() || y >= mask.height()) return false;
    return qGray(mask.pixel(x, y)) >= 128;
}

}  // namespace

DeviceContext::DeviceContext(QPaintDevice* device) : m_device(device) {
    if (device && device->devType() == QInternal::Image) m_image = static_cast<QImage*>(device);
}

QImage* DeviceContext::SelectBitmap(QImage* bitmap) {
    QImage* previous = m_image;
    m_image = bitmap;
    m_device = bitmap;
    return previous;
}

SIZE DeviceContext::GetSurfaceSize() const {
    if (!m_device) return SIZE{};
    return SIZE{m_device->width(), m_device->height()};
}

QFont* DeviceContext::SelectFont(QFont* font) {
    QFont* previous = m_font;
    m_font = font;
    return previous;
}

COLORREF DeviceContext::SetTextColor(COLORREF color) {
    return std::exchange(m_textColor, color);
}

COLORREF DeviceContext::SetBkColor(COLORREF color) { return std::exchange(m_bkColor, color); }

int DeviceContext::SetBkMode(int mode) { return std::exchange(m_bkMode, mode); }

unsigned DeviceContext::SetTextAlign(unsigned align) { return std::exchange(m_textAlign, align); }

int DeviceContext::SetStretchBltMode(int mode) { return std::exchange(m_stretchMode, mode); }

QPen DeviceContext::SelectPen(const QPen& pen) { return std::exchange(m_pen, pen); }

QBrush DeviceContext::SelectBrush(const QBrush& brush) { return std::exchange(m_brush, brush); }

void DeviceContext::SelectClipRect(const RECT* rect) {
    m_hasClip = rect != nullptr;
    m_clip = rect ? ToQRect(*rect) : QRect();
}

RECT DeviceContext::GetClipBox() const {
    const SIZE size = GetSurfaceSize();
    QRect box(0, 0, size.cx, size.cy);
    if (m_hasClip) box = box.intersected(m_clip);
    if (box.isEmpty()) return RECT{};
    return RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
}

bool DeviceContext::OpenPainter(QPainter& painter) const {
    if (!m_device || m_device->width() <= 0 || m_device->height() <= 0) return false;
    if (!painter.begin(m_device)) return false;
    if (m_hasClip) painter.setClipRect(m_clip);
    return true;
}

const QFont& DeviceContext::CurrentFont() const {
    static const QFont defaultFont;
    return m_font ? *m_font : defaultFont;
}

// --- text ---------------------------------------------------------------------------

SIZE DeviceContext::GetTextExtent(const QString& text) const {
    const QFontMetrics fm = m_device ? QFontMetrics(CurrentFont(), m_device) : QFontMetrics(CurrentFont());
    return SIZE{fm.horizontalAdvance(text), fm.ascent() + fm.descent()};
}

BOOL DeviceContext::TextOut(int x, int y, const QString& text) {
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    const QFont& font = CurrentFont();
    const QFontMetrics fm(font, m_device);
    const int width = fm.horizontalAdvance(text);
    const int height = fm.ascent() + fm.descent();

    int left = x;
    if ((m_textAlign & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (m_textAlign & TA_RIGHT)
        left = x - width;
    int top = y;
    if ((m_textAlign & TA_BASELINE) == TA_BASELINE)
        top = y - fm.ascent();
    else if (m_textAlign & TA_BOTTOM)
        top = y - height;

    if (m_bkMode == OPAQUE) painter.fillRect(QRect(left, top, width, height), ToQColor(m_bkColor));
    painter.setFont(font);
    painter.setPen(ToQColor(m_textColor));
    painter.drawText(QPoint(left, top + fm.ascent()), text);
    return TRUE;
}

int DeviceContext::DrawText(const QString& text, RECT* rect, unsigned format) {
    if (!rect) return 0;
    const QFont& font = CurrentFont();
    const QFontMetrics fm = m_device ? QFontMetrics(font, m_device) : QFontMetrics(font);
    const int lineHeight = fm.ascent() + fm.descent();
    const int boxWidth = rect->right - rect->left;

    // Break the text into the lines to draw.
    QStringList lines;
    if (format & DT_SINGLELINE) {
        QString one = text;
        one.remove(QLatin1Char('\r'));
        one.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << one;
    } else {
        for (QString paragraph : text.split(QLatin1Char('\n'))) {
            if (paragraph.endsWith(QLatin1Char('\r'))) paragraph.chop(1);
            if (!(format & DT_WORDBREAK) || paragraph.isEmpty()) {
                lines << paragraph;
                continue;
            }
            QTextLayout layout(paragraph, font, m_device);
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(std::max(boxWidth, 1));
                QString piece = paragraph.mid(line.textStart(), line.textLength());
                while (piece.endsWith(QLatin1Char(' '))) piece.chop(1);
                lines << piece;
            }
            layout.endLayout();
        }
    }

    int widest = 0;
    std::vector<int> widths;
    for (const QString& line : lines) {
        widths.push_back(fm.horizontalAdvance(line));
        widest = std::max(widest, widths.back());
    }
    const int total = lineHeight * int(lines.size());

    if (format & DT_CALCRECT) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    QPainter painter;
    if (!OpenPainter(painter)) return total;
    if (!(format & DT_NOCLIP)) painter.setClipRect(ToQRect(*rect), Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(ToQColor(m_textColor));

    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    for (int i = 0; i < int(lines.size()); ++i) {
        const int width = widths[size_t(i)];
        int left = rect->left;
        if (format & DT_CENTER)
            left = rect->left + (boxWidth - width) / 2;
        else if (format & DT_RIGHT)
            left = rect->right - width;
        const int lineTop = top + i * lineHeight;
        if (m_bkMode == OPAQUE)
            painter.fillRect(QRect(left, lineTop, width, lineHeight), ToQColor(m_bkColor));
        painter.drawText(QPoint(left, lineTop + fm.ascent()), lines[i]);
    }
    return total;
}

// --- shapes ---------------------------------------------------------------------------

void DeviceContext::FillRect(const RECT& rect, const QBrush& brush) {
    QPainter painter;
    if (IsEmpty(rect) || !OpenPainter(painter)) return;
    painter.fillRect(ToQRect(rect), brush);
}

void DeviceContext::FillRect(const RECT& rect, COLORREF color) {
    FillRect(rect, QBrush(ToQColor(color)));
}

void DeviceContext::FrameRect(const RECT& rect, const QBrush& brush) {
    QPainter painter;
    if (IsEmpty(rect) || !OpenPainter(painter)) return;
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    painter.fillRect(QRect(rect.left, rect.top, w, 1), brush);
    painter.fillRect(QRect(rect.left, rect.bottom - 1, w, 1), brush);
    painter.fillRect(QRect(rect.left, rect.top, 1, h), brush);
    painter.fillRect(QRect(rect.right - 1, rect.top, 1, h), brush);
}

void DeviceContext::FrameRect(const RECT& rect, COLORREF color) {
    FrameRect(rect, QBrush(ToQColor(color)));
}

void DeviceContext::Rectangle(const RECT& rect) {
    if (IsEmpty(rect)) return;
    const int border = m_pen.style() == Qt::NoPen ? 0 : std::max(1, m_pen.width());
    {
        QPainter painter;
        if (!OpenPainter(painter)) return;
        if (m_brush.style() != Qt::NoBrush)
            painter.fillRect(QRect(rect.left + border, rect.top + border, rect.right - rect.left - 2 * border,
                                   rect.bottom - rect.top - 2 * border),
                             m_brush);
    }
    const QBrush penBrush(m_pen.color());
    for (int i = 0; i < border; ++i)
        FrameRect(RECT{rect.left + i, rect.top + i, rect.right - i, rect.bottom - i}, penBrush);
}

POINT DeviceContext::MoveTo(int x, int y) { return std::exchange(m_pos, POINT{x, y}); }

// One-pixel lines step from the first point towards the second, one pixel per step of
// the longer axis, and stop before the second point.
namespace {

// The points of a line from (x0, y0) up to, not including, (x1, y1), in the order drawn.
template <typename Plot>
void ForEachLinePoint(int x0, int y0, int x1, int y1, Plot&& plot) {
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int stepX = x0 < x1 ? 1 : -1;
    const int stepY = y0 < y1 ? 1 : -1;
    const int steps = std::max(dx, dy);
    int error = (dx > dy ? dx : -dy) / 2;
    int x = x0;
    int y = y0;
    for (int i = 0; i < steps; ++i) {
        plot(x, y);
        const int e = error;
        if (e > -dx) {
            error -= dy;
            x += stepX;
        }
        if (e < dy) {
            error += dx;
            y += stepY;
        }
    }
}

}  // namespace

void DeviceContext::PlotLine(QPainter& painter, int x0, int y0, int x1, int y1) const {
    QList<QPoint> points;
    points.reserve(std::max(std::abs(x1 - x0), std::abs(y1 - y0)));
    ForEachLinePoint(x0, y0, x1, y1, [&points](int x, int y) { points << QPoint(x, y); });
    QPen pen(m_pen.color(), 0);
    painter.setPen(pen);
    painter.drawPoints(points.constData(), int(points.size()));
}

bool DeviceContext::PlotLineIntoImage(int x0, int y0, int x1, int y1) {
    // Only where the painter would set each point to the pen's colour as it is: an opaque
    // colour on a 32-bit picture of one pixel per point.
    if (!m_image || m_image->devicePixelRatio() != 1.0 || m_pen.color().alpha() != 255) return false;
    const QImage::Format format = m_image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return false;
    QRect bounds = m_image->rect();
    if (m_hasClip) bounds &= m_clip;
    const QRgb value = m_pen.color().rgba();
    ForEachLinePoint(x0, y0, x1, y1, [&](int x, int y) {
        if (bounds.contains(x, y)) reinterpret_cast<QRgb*>(m_image->scanLine(y))[x] = value;
    });
    return true;
}

BOOL DeviceContext::LineTo(int x, int y) {
    const POINT from = std::exchange(m_pos, POINT{x, y});
    if (m_pen.style() == Qt::NoPen) return TRUE;
    // Thin lines on a picture are set pixel by pixel: a graph draws thousands of short ones.
    if (m_pen.width() <= 1 && PlotLineIntoImage(from.x, from.y, x, y)) return TRUE;
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    if (m_pen.width() <= 1) {
        PlotLine(painter, from.x, from.y, x, y);
    } else {
        QPen pen = m_pen;
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(from.x, from.y, x, y);
    }
    return TRUE;
}

// --- blits ----------------------------------------------------------------------------

BOOL DeviceContext::BitBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy) {
    return src.m_image ? BitBlt(x, y, w, h, *src.m_image, sx, sy) : FALSE;
}

BOOL DeviceContext::BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy) {
    if (w <= 0 || h <= 0 || src.isNull()) return FALSE;
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    if (src.format() == QImage::Format_RGB32) {
        // Opaque as it is: the part that lies inside the source is drawn straight from it.
        const QRect from = QRect(sx, sy, w, h).intersected(src.rect());
        if (!from.isEmpty()) painter.drawImage(QPoint(x + from.x() - sx, y + from.y() - sy), src, from);
        return TRUE;
    }
    painter.drawImage(QPoint(x, y), ScaleNearest(src, sx, sy, w, h, w, h, nullptr));
    return TRUE;
}

BOOL DeviceContext::StretchBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy,
                               int sw, int sh) {
    return src.m_image ? StretchBlt(x, y, w, h, *src.m_image, sx, sy, sw, sh) : FALSE;
}

BOOL DeviceContext::StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw,
                               int sh) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || src.isNull()) return FALSE;
    const QImage part = m_stretchMode == HALFTONE ? ScaleSmooth(src, sx, sy, sw, sh, w, h)
                                                  : ScaleNearest(src, sx, sy, sw, sh, w, h, nullptr);
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    painter.drawImage(QPoint(x, y), part);
    return TRUE;
}

BOOL DeviceContext::TransparentBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy,
                                   int sw, int sh, COLORREF key) {
    return src.m_image ? TransparentBlt(x, y, w, h, *src.m_image, sx, sy, sw, sh, key) : FALSE;
}

BOOL DeviceContext::TransparentBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw,
                                   int sh, COLORREF key) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || src.isNull()) return FALSE;
    const QRgb keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
    const QImage part = ScaleNearest(src, sx, sy, sw, sh, w, h, &keyRgb);
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    painter.drawImage(QPoint(x, y), part);
    return TRUE;
}

BOOL DeviceContext::PlgBlt(const POINT points[3], const DeviceContext& src, int sx, int sy, int w, int h,
                           const QImage* mask, int mx, int my) {
    return src.m_image ? PlgBlt(points, *src.m_image, sx, sy, w, h, mask, mx, my) : FALSE;
}

BOOL DeviceContext::PlgBlt(const POINT points[3], const QImage& src, int sx, int sy, int w, int h,
                           const QImage* mask, int mx, int my) {
    if (!points || w <= 0 || h <= 0 || src.isNull()) return FALSE;
    QImage part = ScaleNearest(src, sx, sy, w, h, w, h, nullptr);
    if (mask) {
        for (int v = 0; v < h; ++v) {
            auto* line = reinterpret_cast<QRgb*>(part.scanLine(v));
            for (int u = 0; u < w; ++u)
                if (!MaskBit(*mask, mx + u, my + v)) line[u] = 0;
        }
    }
    // Source (u, v) lands on p0 + u (p1 - p0) / w + v (p2 - p0) / h.
    const QTransform transform(double(points[1].x - points[0].x) / w, double(points[1].y - points[0].y) / w,
                               double(points[2].x - points[0].x) / h, double(points[2].y - points[0].y) / h,
                               points[0].x, points[0].y);
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_stretchMode == HALFTONE);
    painter.setTransform(transform);
    painter.drawImage(QPoint(0, 0), part);
    return TRUE;
}

BOOL DeviceContext::AlphaBlend(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy,
                               int sw, int sh, BLENDFUNCTION blend) {
    return src.m_image ? AlphaBlend(x, y, w, h, *src.m_image, sx, sy, sw, sh, blend) : FALSE;
}

BOOL DeviceContext::AlphaBlend(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw,
                               int sh, BLENDFUNCTION blend) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || src.isNull()) return FALSE;
    QImage part;
    if (blend.AlphaFormat & AC_SRC_ALPHA) {
        part = src.copy(sx, sy, sw, sh).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (sw != w || sh != h)
            part = part.scaled(w, h, Qt::IgnoreAspectRatio,
                               m_stretchMode == HALFTONE ? Qt::SmoothTransformation : Qt::FastTransformation);
    } else {
        part = m_stretchMode == HALFTONE ? ScaleSmooth(src, sx, sy, sw, sh, w, h)
                                         : ScaleNearest(src, sx, sy, sw, sh, w, h, nullptr);
    }
    QPainter painter;
    if (!OpenPainter(painter)) return FALSE;
    painter.setOpacity(blend.SourceConstantAlpha / 255.0);
    painter.drawImage(QPoint(x, y), part);
    return TRUE;
}

}  // namespace orv
