#include "platform/gdi/DeviceContext.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

namespace orv {
namespace {

constexpr COLORREF kGround = RGB(10, 20, 30);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

QImage Canvas(int w, int h, COLORREF fill = kGround) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(ToQColor(fill));
    return image;
}

COLORREF At(const QImage& image, int x, int y) { return ToColorRef(QColor(image.pixel(x, y))); }

// The smallest rectangle holding every pixel that differs from `ground`; empty when none.
QRect Ink(const QImage& image, COLORREF ground = kGround) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (At(image, x, y) != ground) box |= QRect(x, y, 1, 1);
    return box;
}

QFont PixelFont(int px) {
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(px);
    return font;
}

// A source image of 4 x 2 pixels with a colour per pixel: red, green, blue, white on the
// first row, their halves on the second.
QImage Source() {
    QImage src(4, 2, QImage::Format_RGB32);
    const QRgb top[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (int x = 0; x < 4; ++x) {
        src.setPixel(x, 0, top[x]);
        src.setPixel(x, 1, qRgb(qRed(top[x]) / 2, qGreen(top[x]) / 2, qBlue(top[x]) / 2));
    }
    return src;
}

TEST(DeviceContext, RectanglesExcludeTheirRightAndBottomEdges) {
    QImage image = Canvas(20, 20);
    DeviceContext dc(&image);
    dc.FillRect(RECT{0, 0, 10, 10}, kRed);
    EXPECT_EQ(Ink(image), QRect(0, 0, 10, 10));
    EXPECT_EQ(At(image, 9, 9), kRed);
    EXPECT_EQ(At(image, 10, 9), kGround);

    QImage other = Canvas(20, 20);
    DeviceContext dc2(&other);
    dc2.FillRect(RECT{5, 5, 5, 9}, kRed);    // no width
    dc2.FillRect(RECT{8, 8, 3, 12}, kRed);   // inverted
    EXPECT_TRUE(Ink(other).isEmpty());

    dc2.FrameRect(RECT{2, 3, 8, 7}, kBlue);  // a border on the inside edge
    EXPECT_EQ(Ink(other), QRect(2, 3, 6, 4));
    EXPECT_EQ(At(other, 2, 3), kBlue);
    EXPECT_EQ(At(other, 7, 6), kBlue);
    EXPECT_EQ(At(other, 4, 5), kGround);  // inside untouched

    QImage box = Canvas(10, 10);
    DeviceContext dc3(&box);
    dc3.SelectPen(QPen(ToQColor(kBlue), 1));
    dc3.SelectBrush(QBrush(ToQColor(kGreen)));
    dc3.Rectangle(RECT{1, 1, 6, 6});
    EXPECT_EQ(At(box, 1, 1), kBlue);
    EXPECT_EQ(At(box, 5, 5), kBlue);
    EXPECT_EQ(At(box, 3, 3), kGreen);
    EXPECT_EQ(At(box, 6, 6), kGround);
}

TEST(DeviceContext, KeepsItsStateBetweenCalls) {
    QImage image = Canvas(120, 40);
    DeviceContext dc(&image);
    QFont font = PixelFont(16);
    EXPECT_EQ(dc.SelectFont(&font), nullptr);
    EXPECT_EQ(dc.SetTextColor(kRed), RGB(0, 0, 0));
    EXPECT_EQ(dc.SetBkMode(TRANSPARENT), OPAQUE);
    EXPECT_EQ(dc.SetBkColor(kBlue), RGB(255, 255, 255));
    EXPECT_EQ(dc.SetTextAlign(TA_RIGHT), TA_LEFT | TA_TOP);
    EXPECT_EQ(dc.SetStretchBltMode(COLORONCOLOR), BLACKONWHITE);

    // Two later calls both draw with the state set above: red ink, no background.
    dc.TextOut(50, 2, QStringLiteral("AB"));
    dc.TextOut(110, 2, QStringLiteral("CD"));
    EXPECT_EQ(dc.GetFont(), &font);
    EXPECT_EQ(dc.GetTextColor(), kRed);
    bool sawRed = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const COLORREF c = At(image, x, y);
            EXPECT_NE(c, kBlue);
            if (c == kRed) sawRed = true;
        }
    EXPECT_TRUE(sawRed);
    // Right alignment: the ink ends at the reference points.
    const QRect ink = Ink(image);
    EXPECT_LE(ink.right(), 109);
    EXPECT_GE(ink.right(), 100);
    EXPECT_EQ(dc.SelectFont(nullptr), &font);
}

TEST(DeviceContext, TextOutAlignsAndFillsAnOpaqueCell) {
    QFont font = PixelFont(16);
    QImage image = Canvas(100, 40);
    DeviceContext dc(&image);
    dc.SelectFont(&font);
    dc.SetBkMode(OPAQUE);
    dc.SetBkColor(kBlue);
    dc.SetTextColor(kRed);
    const SIZE extent = dc.GetTextExtent(QStringLiteral("Hi"));
    ASSERT_GT(extent.cx, 0);
    dc.TextOut(10, 5, QStringLiteral("Hi"));
    // The cell is the text's advance by its height, from the reference point.
    EXPECT_EQ(At(image, 10, 5), kBlue);
    EXPECT_EQ(At(image, 10 + extent.cx - 1, 5 + extent.cy - 1), kBlue);
    EXPECT_EQ(At(image, 10 + extent.cx, 5), kGround);
    EXPECT_EQ(At(image, 9, 5), kGround);
    EXPECT_EQ(Ink(image), QRect(10, 5, extent.cx, extent.cy));

    QImage centred = Canvas(100, 40);
    DeviceContext dc2(&centred);
    dc2.SelectFont(&font);
    dc2.SetBkMode(OPAQUE);
    dc2.SetBkColor(kBlue);
    dc2.SetTextAlign(TA_CENTER | TA_BOTTOM);
    dc2.TextOut(50, 30, QStringLiteral("Hi"));
    EXPECT_EQ(Ink(centred), QRect(50 - extent.cx / 2, 30 - extent.cy, extent.cx, extent.cy));
}

TEST(DeviceContext, DrawTextPlacesClipsAndMeasures) {
    QFont font = PixelFont(14);
    QImage image = Canvas(200, 60);
    DeviceContext dc(&image);
    dc.SelectFont(&font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kRed);
    const SIZE extent = dc.GetTextExtent(QStringLiteral("Wide text"));

    RECT calc{10, 10, 10, 10};
    EXPECT_EQ(dc.DrawText(QStringLiteral("Wide text"), &calc, DT_SINGLELINE | DT_CALCRECT), extent.cy);
    EXPECT_EQ(calc.right - calc.left, extent.cx);
    EXPECT_EQ(calc.bottom - calc.top, extent.cy);
    EXPECT_TRUE(Ink(image).isEmpty());  // measuring draws nothing

    RECT two{0, 0, 200, 0};
    EXPECT_EQ(dc.DrawText(QStringLiteral("one\ntwo"), &two, DT_CALCRECT), 2 * extent.cy);
    RECT wrapped{0, 0, extent.cx / 2 + 4, 0};
    dc.DrawText(QStringLiteral("Wide text"), &wrapped, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(wrapped.bottom, 2 * extent.cy);
    EXPECT_LE(wrapped.right, extent.cx / 2 + 4);

    // Centred both ways on one line: the ink's middle is the rectangle's middle.
    RECT box{20, 10, 180, 50};
    dc.DrawText(QStringLiteral("Wide text"), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const QRect ink = Ink(image);
    EXPECT_NEAR(ink.center().x(), 100, 3);
    EXPECT_NEAR(ink.center().y(), 30, 4);

    // Clipped to the rectangle: a box narrower than the text keeps the ink inside.
    QImage clipped = Canvas(200, 60);
    DeviceContext dc2(&clipped);
    dc2.SelectFont(&font);
    dc2.SetBkMode(TRANSPARENT);
    dc2.SetTextColor(kRed);
    RECT narrow{30, 10, 40, 40};
    dc2.DrawText(QStringLiteral("Wide text"), &narrow, DT_RIGHT | DT_SINGLELINE);
    const QRect inside = Ink(clipped);
    EXPECT_FALSE(inside.isEmpty());
    EXPECT_GE(inside.left(), 30);
    EXPECT_LE(inside.right(), 39);
}

TEST(DeviceContext, LinesLeaveOutTheirLastPoint) {
    QImage image = Canvas(20, 20);
    DeviceContext dc(&image);
    dc.SelectPen(QPen(ToQColor(kRed), 1));
    EXPECT_EQ(dc.MoveTo(2, 2), (POINT{0, 0}));
    dc.LineTo(10, 2);
    EXPECT_EQ(Ink(image), QRect(2, 2, 8, 1));  // x 2..9

    dc.MoveTo(12, 12);
    dc.LineTo(4, 12);  // backwards: 12 down to 5
    EXPECT_EQ(At(image, 12, 12), kRed);
    EXPECT_EQ(At(image, 5, 12), kRed);
    EXPECT_EQ(At(image, 4, 12), kGround);

    dc.MoveTo(0, 14);
    dc.LineTo(4, 18);  // a diagonal: (0,14) .. (3,17)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(At(image, i, 14 + i), kRed);
    EXPECT_EQ(At(image, 4, 18), kGround);
}

// Thin lines set straight into a picture's pixels: the same pixels as the painter's points
// (drawn here on a pixmap, which goes through the painter), in every direction, clipped, and
// on each 32-bit format.
TEST(DeviceContext, ThinLinesOnAPictureArePaintedLikeThePaintersPoints) {
    const QImage::Format formats[] = {QImage::Format_RGB32, QImage::Format_ARGB32,
                                      QImage::Format_ARGB32_Premultiplied};
    const RECT clip{3, 2, 27, 21};
    for (const QImage::Format format : formats) {
        for (const bool clipped : {false, true}) {
            QImage image = Canvas(30, 24).convertToFormat(format);
            QPixmap reference = QPixmap::fromImage(image);
            DeviceContext direct(&image), painted(&reference);
            for (DeviceContext* dc : {&direct, &painted}) {
                dc->SelectPen(QPen(ToQColor(kRed), 1));
                if (clipped) dc->SelectClipRect(&clip);
                // Every octant from the middle, and lines leaving the picture.
                const POINT ends[] = {{28, 14}, {25, 22}, {17, 23}, {2, 20}, {1, 9},  {6, 1},
                                      {15, 0},  {27, 3}, {40, 12}, {15, 30}, {-5, -5}};
                for (const POINT e : ends) {
                    dc->MoveTo(15, 12);
                    dc->LineTo(e.x, e.y);
                }
            }
            EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32),
                      reference.toImage().convertToFormat(QImage::Format_RGB32))
                << "format " << int(format) << (clipped ? ", clipped" : "");
        }
    }
}

TEST(DeviceContext, BitBltCopiesAndLeavesWhatLiesOutsideTheSource) {
    // An opaque source is drawn straight from itself, one with alpha through the copy that
    // makes it opaque: both come out alike.
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage src = Source().convertToFormat(format);
        QImage image = Canvas(10, 10);
        DeviceContext dc(&image);
        dc.BitBlt(1, 1, 4, 2, src, 0, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(image.pixel(1 + x, 1 + y), Source().pixel(x, y)) << format << " " << x << "," << y;

        QImage other = Canvas(10, 10);
        DeviceContext dc2(&other);
        dc2.BitBlt(0, 5, 4, 2, src, 2, 0);  // columns 2, 3 exist, 4 and 5 do not
        EXPECT_EQ(other.pixel(0, 5), Source().pixel(2, 0)) << format;
        EXPECT_EQ(other.pixel(1, 5), Source().pixel(3, 0)) << format;
        EXPECT_EQ(At(other, 2, 5), kGround) << format;
        dc2.BitBlt(5, 0, 3, 2, src, -1, 1);  // column -1 and row 2 do not exist
        EXPECT_EQ(At(other, 5, 0), kGround) << format;
        EXPECT_EQ(other.pixel(6, 0), Source().pixel(0, 1)) << format;
        EXPECT_EQ(At(other, 6, 1), kGround) << format;
    }
    const QImage src = Source();

    // From a memory context with the bitmap selected, as the store blits.
    QImage copy = src;
    DeviceContext memory;
    EXPECT_EQ(memory.SelectBitmap(&copy), nullptr);
    QImage third = Canvas(10, 10);
    DeviceContext dc3(&third);
    EXPECT_TRUE(dc3.BitBlt(0, 0, 4, 2, memory, 0, 0));
    EXPECT_EQ(third.pixel(2, 1), src.pixel(2, 1));
    DeviceContext empty;
    EXPECT_FALSE(dc3.BitBlt(0, 0, 4, 2, empty, 0, 0));
}

TEST(DeviceContext, StretchBltPicksTheNearestPixel) {
    const QImage src = Source();
    QImage image = Canvas(8, 4);
    DeviceContext dc(&image);
    dc.SetStretchBltMode(COLORONCOLOR);
    dc.StretchBlt(0, 0, 8, 4, src, 0, 0, 4, 2);  // every source pixel becomes a 2 x 2 block
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(image.pixel(x, y), src.pixel(x / 2, y / 2)) << x << "," << y;

    QImage half = Canvas(2, 1);
    DeviceContext dc2(&half);
    dc2.SetStretchBltMode(COLORONCOLOR);
    dc2.StretchBlt(0, 0, 2, 1, src, 0, 0, 4, 1);  // the pixels under the centres: 1 and 3
    EXPECT_EQ(half.pixel(0, 0), src.pixel(1, 0));
    EXPECT_EQ(half.pixel(1, 0), src.pixel(3, 0));
}

TEST(DeviceContext, TransparentBltLeavesOutTheKeyColour) {
    const QImage src = Source();
    QImage image = Canvas(8, 4);
    DeviceContext dc(&image);
    dc.TransparentBlt(0, 0, 8, 4, src, 0, 0, 4, 2, RGB(0, 255, 0));
    EXPECT_EQ(At(image, 0, 0), kRed);
    EXPECT_EQ(At(image, 2, 0), kGround);  // green, the key
    EXPECT_EQ(At(image, 3, 1), kGround);
    EXPECT_EQ(At(image, 2, 2), RGB(0, 127, 0));  // the darker green is not the key
    EXPECT_EQ(At(image, 4, 0), kBlue);
}

TEST(DeviceContext, PlgBltMapsOntoTheParallelogramThroughTheMask) {
    const QImage src = Source();
    QImage mask(4, 2, QImage::Format_Mono);
    mask.setColor(0, qRgb(0, 0, 0));
    mask.setColor(1, qRgb(255, 255, 255));
    mask.fill(1);
    mask.setPixel(1, 0, 0);  // the green pixel is masked out

    // Moved: upper-left (3, 4), upper-right (7, 4), lower-left (3, 6).
    QImage image = Canvas(12, 12);
    DeviceContext dc(&image);
    const POINT moved[3] = {{3, 4}, {7, 4}, {3, 6}};
    dc.PlgBlt(moved, src, 0, 0, 4, 2, &mask, 0, 0);
    EXPECT_EQ(image.pixel(3, 4), src.pixel(0, 0));
    EXPECT_EQ(At(image, 4, 4), kGround);
    EXPECT_EQ(image.pixel(6, 5), src.pixel(3, 1));
    EXPECT_EQ(Ink(image), QRect(3, 4, 4, 2));

    // Turned a quarter clockwise: the top row runs down the right-hand column.
    QImage turned = Canvas(12, 12);
    DeviceContext dc2(&turned);
    const POINT quarter[3] = {{6, 2}, {6, 6}, {4, 2}};
    dc2.PlgBlt(quarter, src, 0, 0, 4, 2, nullptr, 0, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(turned.pixel(5, 2 + i), src.pixel(i, 0)) << i;
        EXPECT_EQ(turned.pixel(4, 2 + i), src.pixel(i, 1)) << i;
    }
}

TEST(DeviceContext, AlphaBlendMixesByConstantAndPerPixelAlpha) {
    QImage image = Canvas(4, 4, kBlue);
    DeviceContext dc(&image);
    QImage red(2, 2, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    dc.AlphaBlend(0, 0, 4, 4, red, 0, 0, 2, 2, BLENDFUNCTION{127, 0});
    const QColor mixed(image.pixel(1, 1));
    EXPECT_NEAR(mixed.red(), 127, 2);
    EXPECT_EQ(mixed.green(), 0);
    EXPECT_NEAR(mixed.blue(), 128, 2);

    QImage ground = Canvas(2, 1, kBlue);
    DeviceContext dc2(&ground);
    QImage half(2, 1, QImage::Format_ARGB32);
    half.setPixel(0, 0, qRgba(255, 0, 0, 255));
    half.setPixel(1, 0, qRgba(255, 0, 0, 0));
    dc2.AlphaBlend(0, 0, 2, 1, half, 0, 0, 2, 1, BLENDFUNCTION{255, AC_SRC_ALPHA});
    EXPECT_EQ(At(ground, 0, 0), kRed);
    EXPECT_EQ(At(ground, 1, 0), kBlue);
}

TEST(DeviceContext, TheClipRectangleLimitsDrawingAndBlits) {
    QImage image = Canvas(10, 10);
    DeviceContext dc(&image);
    const RECT clip{2, 2, 5, 5};
    dc.SelectClipRect(&clip);
    EXPECT_EQ(dc.GetClipBox(), clip);
    dc.FillRect(RECT{0, 0, 10, 10}, kRed);
    EXPECT_EQ(Ink(image), QRect(2, 2, 3, 3));
    QImage blue(10, 10, QImage::Format_RGB32);
    blue.fill(qRgb(0, 0, 255));
    dc.SelectClipRect(nullptr);
    EXPECT_EQ(dc.GetClipBox(), (RECT{0, 0, 10, 10}));
    const RECT lower{0, 8, 10, 10};
    dc.SelectClipRect(&lower);
    dc.BitBlt(0, 0, 10, 10, blue, 0, 0);
    EXPECT_EQ(At(image, 0, 7), kGround);
    EXPECT_EQ(At(image, 0, 8), kBlue);
}

TEST(DeviceContext, WithoutASurfaceNothingHappens) {
    DeviceContext dc;
    EXPECT_EQ(dc.GetSurfaceSize(), (SIZE{0, 0}));
    dc.FillRect(RECT{0, 0, 5, 5}, kRed);
    EXPECT_FALSE(dc.TextOut(0, 0, QStringLiteral("x")));
    EXPECT_FALSE(dc.BitBlt(0, 0, 2, 2, Source(), 0, 0));
    QPainter painter;
    EXPECT_FALSE(dc.OpenPainter(painter));
}

}  // namespace
}  // namespace orv
