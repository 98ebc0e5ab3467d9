// A drawing context with the behaviour of a Windows device context, over QPainter.
//
// The context draws on a QImage (a memory context with a bitmap selected into it, or an
// off-screen buffer) or on any other paint device (a widget inside its paintEvent). It
// keeps the drawing state between calls as a Windows device context does: the selected
// font, pen and brush, text and background colours, background mode, text alignment,
// stretch mode, clip rectangle and current position. Every call opens its own painter,
// so several contexts may take turns on the same image, and a context's image may be
// read (as a blit source, or by the caller) between calls.
//
// Rectangles follow the Windows rules: right and bottom edges are exclusive, so
// FillRect of (0, 0, 10, 10) paints the pixels 0..9 in both directions, and an empty or
// inverted rectangle paints nothing. Lines leave out their last point. Colours are
// COLORREF, 0x00BBGGRR.
//
// Blits read the colour of the source pixels and ignore their alpha (as Windows bitmaps
// do), except AlphaBlend with AC_SRC_ALPHA. Source pixels outside the source image leave
// the destination as it was. Blits honour the clip rectangle.
//
// Not thread-safe: a context belongs to one thread (the UI thread for widgets).
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QString>

#include "platform/base/WinTypes.h"
#include "platform/gdi/GdiTypes.h"

class QPaintDevice;
class QPainter;

namespace orv {

inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF ToColorRef(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

class DeviceContext {
public:
    // A memory context without a bitmap: it draws nothing until one is selected.
    DeviceContext() = default;
    // A context on `device` (not owned; it must outlive the context or be replaced).
    // When the device is a QImage the context also serves as a blit source.
    explicit DeviceContext(QPaintDevice* device);
    virtual ~DeviceContext() = default;
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // --- the surface ---------------------------------------------------------------
    // Selects `bitmap` (not owned, may be null) and returns the one selected before.
    QImage* SelectBitmap(QImage* bitmap);
    // The selected image, or null when the context draws on a widget or on nothing.
    QImage* GetBitmap() const { return m_image; }
    // Width and height of the surface; (0, 0) without one.
    SIZE GetSurfaceSize() const;

    // --- state (each setter returns the previous value) ------------------------------
    // Null selects the default font (the application font).
    QFont* SelectFont(QFont* font);
    QFont* GetFont() const { return m_font; }
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_bkColor; }
    int SetBkMode(int mode);  // TRANSPARENT or OPAQUE
    int GetBkMode() const { return m_bkMode; }
    unsigned SetTextAlign(unsigned align);  // TA_ flags
    unsigned GetTextAlign() const { return m_textAlign; }
    int SetStretchBltMode(int mode);  // COLORONCOLOR, HALFTONE, ...
    int GetStretchBltMode() const { return m_stretchMode; }
    // Pens draw lines: width 0 or 1 is a one-pixel line; Qt::NoPen draws nothing.
    QPen SelectPen(const QPen& pen);
    QPen GetPen() const { return m_pen; }
    // Null (Qt::NoBrush) leaves the inside of Rectangle unfilled.
    QBrush SelectBrush(const QBrush& brush);
    QBrush GetBrush() const { return m_brush; }
    // Limits drawing to `rect`; null removes the limit.
    void SelectClipRect(const RECT* rect);
    // The clip rectangle, or the whole surface without one.
    RECT GetClipBox() const;

    // --- text ------------------------------------------------------------------------
    // Draws `text` at (x, y) as the text alignment says; with an opaque background mode
    // its cell is first filled with the background colour.
    BOOL TextOut(int x, int y, const QString& text);
    // Lays `text` out in `rect` by the DT_ format and draws it. Without DT_SINGLELINE,
    // line feeds start new lines and DT_WORDBREAK wraps at the rectangle's width.
    // DT_CALCRECT draws nothing and sets rect's right and bottom to the text's extent.
    // Text is clipped to the rectangle unless DT_NOCLIP. Returns the text's height.
    // '&' is drawn as it is (no mnemonic prefix).
    int DrawText(const QString& text, RECT* rect, unsigned format);
    // Advance width and cell height (ascent + descent) of one line of `text`.
    SIZE GetTextExtent(const QString& text) const;

    // --- shapes ----------------------------------------------------------------------
    void FillRect(const RECT& rect, const QBrush& brush);
    void FillRect(const RECT& rect, COLORREF color);
    // A one-pixel border on the inside edge of `rect`.
    void FrameRect(const RECT& rect, const QBrush& brush);
    void FrameRect(const RECT& rect, COLORREF color);
    // The inside in the brush, then a border of the pen's colour and width (at least
    // one pixel) on the inside edge of `rect`.
    void Rectangle(const RECT& rect);
    POINT MoveTo(int x, int y);  // returns the previous position
    // A line in the pen from the current position to (x, y), without (x, y) itself;
    // (x, y) becomes the current position.
    BOOL LineTo(int x, int y);

    // --- blits (destination x, y, w, h; source x, y, w, h) --------------------------
    BOOL BitBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy);
    BOOL BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy);
    // Scales by the stretch mode: nearest pixel unless HALFTONE.
    BOOL StretchBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy, int sw,
                    int sh);
    BOOL StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw, int sh);
    // Scales to the nearest pixel and leaves out the source pixels of colour `key`.
    BOOL TransparentBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy,
                        int sw, int sh, COLORREF key);
    BOOL TransparentBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw,
                        int sh, COLORREF key);
    // Maps the source rectangle onto the parallelogram whose upper-left, upper-right and
    // lower-left corners are points[0..2]. With a mask (a 1-bit image, or any image read
    // as white = 1), only source pixels whose mask pixel at (mx + u, my + v) is 1 are
    // drawn. Sampling by the stretch mode.
    BOOL PlgBlt(const POINT points[3], const DeviceContext& src, int sx, int sy, int w, int h,
                const QImage* mask, int mx, int my);
    BOOL PlgBlt(const POINT points[3], const QImage& src, int sx, int sy, int w, int h,
                const QImage* mask, int mx, int my);
    // Blends the scaled source over the destination with the blend's constant alpha,
    // and with the source's own alpha when AlphaFormat is AC_SRC_ALPHA.
    BOOL AlphaBlend(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy, int sw,
                    int sh, BLENDFUNCTION blend);
    BOOL AlphaBlend(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw, int sh,
                    BLENDFUNCTION blend);
    // For drawing the context has no call for: begins `painter` on the surface with the
    // clip rectangle applied; false (painter not active) without a surface. The caller
    // ends the painter before the next call on this context.
    bool OpenPainter(QPainter& painter) const;

private:
    const QFont& CurrentFont() const;
    void PlotLine(QPainter& painter, int x0, int y0, int x1, int y1) const;
    bool PlotLineIntoImage(int x0, int y0, int x1, int y1);

    QPaintDevice* m_device = nullptr;
    QImage* m_image = nullptr;
    QFont* m_font = nullptr;
    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_bkColor = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    unsigned m_textAlign = TA_LEFT | TA_TOP;
    int m_stretchMode = BLACKONWHITE;
    QPen m_pen = QPen(Qt::black, 0);
    QBrush m_brush = QBrush(Qt::white);
    bool m_hasClip = false;
    QRect m_clip;
    POINT m_pos;
};

}  // namespace orv
