#include "ui/ResourceImage.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/gdi/SkinResources.h"
#include "ui/ScaleFonts.h"

namespace orv {
namespace {

constexpr COLORREF kGround = RGB(0, 96, 0);

COLORREF At(const QImage& image, int x, int y) { return ToColorRef(QColor(image.pixel(x, y))); }

bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels in `area` that differ from `ground`.
int InkIn(const QImage& image, const QRect& area, COLORREF ground = kGround) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += At(image, x, y) != ground;
    return n;
}

int Count(const QImage& image, const QRect& area, QRgb colour, int tolerance = 0) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += Near(image.pixel(x, y), colour, tolerance);
    return n;
}

// The scene at scale 1.0 with the shared fonts, the store loaded for a 640 x 480 window,
// and a canvas on the ground colour.
class ResourceImageTest : public testing::Test {
protected:
    void SetUp() override {
        MonitorMetrics monitor;
        monitor.workArea = QRect(0, 0, 1920, 1056);  // scale 1.0
        ASSERT_TRUE(InitScaleAndFonts(monitor));
        ASSERT_EQ(g_fScale, 1.0f);
        g_bLimitedModel = FALSE;
        window.resize(640, 480);
        store.LoadImages(&window);
        canvas = QImage(240, 160, QImage::Format_RGB32);
        canvas.fill(ToQColor(kGround));
        dc = std::make_unique<DeviceContext>(&canvas);
        dc->SelectFont(g_hFont10);
    }
    void TearDown() override {
        dc.reset();
        DeleteSharedFonts();
        g_bLimitedModel = FALSE;
    }

    // Expects picture `id` drawn at (x, y) in w x h over the ground, as a picture with
    // alpha is drawn.
    void ExpectPictureAt(int id, int x, int y, int w, int h) {
        const QImage* picture = store.Picture(id);
        ASSERT_NE(picture, nullptr) << id;
        QImage reference(canvas.size(), QImage::Format_RGB32);
        reference.fill(ToQColor(kGround));
        {
            QPainter painter(&reference);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(x, y, w, h), *picture);
        }
        int differing = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) differing += !Near(canvas.pixel(x + i, y + j), reference.pixel(x + i, y + j), 2);
        EXPECT_EQ(differing, 0) << "picture " << id << " at " << x << "," << y;
    }

    QWidget window;
    CResourceImage store;
    QImage canvas;
    std::unique_ptr<DeviceContext> dc;
};

TEST_F(ResourceImageTest, LoadsEveryPictureOfTheStore) {
    const int ids[] = {129, 164, 324, 320, 307, 309, 321, 325, 312, 313, 198, 199, 196, 197, 192, 195, 358,
                       359, 360, 361, 368, 369, 201, 207, 206, 218, 202, 209, 210, 208, 203, 204, 205, 213,
                       211, 350, 219, 351, 212, 171, 190, 214, 215, 364, 348, 331, 332, 333, 334, 335, 336,
                       337, 338, 339, 340, 341, 342, 343, 344, 345, 349};
    for (const int id : ids) EXPECT_NE(store.Picture(id), nullptr) << id;
    EXPECT_EQ(store.Picture(313)->format(), QImage::Format_Mono);
    EXPECT_EQ(store.Picture(217), nullptr);  // strips belong to the buttons
    EXPECT_FALSE(store.GetIcon().isNull());
    EXPECT_EQ(store.GetWhiteBrush1().color(), QColor(255, 255, 255));
    EXPECT_EQ(store.GetDrawDC2().GetSurfaceSize(), (SIZE{640, 480}));
}

TEST_F(ResourceImageTest, AnEmptyStoreDrawsNoPicture) {
    CResourceImage empty;
    empty.CreateDrawDCs(nullptr);
    const QImage before = canvas;
    empty.DrawStatusImage(*dc, RECT{10, 10, 60, 30}, 0);
    empty.DrawQualityBadge(*dc, RECT{10, 10, 0, 0}, 0, 1.0);
    empty.DrawFrameTiles(*dc, RECT{0, 0, 240, 160});
    empty.DrawMeter(*dc, RECT{0, 0, 50, 50}, 325, 0.0);
    empty.DrawTurnSignals(*dc, 3, 0, 100, 0, 1.0);
    EXPECT_EQ(canvas, before);
    EXPECT_EQ(empty.GetDrawDC2().GetSurfaceSize(), (SIZE{0, 0}));
}

TEST_F(ResourceImageTest, SteeringReadingsChooseAngleAndWheel) {
    struct Case {
        unsigned short raw;
        int angle;
        int wheel;
        bool valid;
    };
    const Case cases[] = {
        {8192, 0, 339, true},   {8292, 10, 338, true},   {8091, -10, 340, true},  // -101 / 10 -> -10
        {8281, 8, 339, true},   {65535, 5734, 341, false}, {0, -819, 340, true},
        {16392, 820, 338, true}, {16402, 821, 339, false},
    };
    for (const Case& c : cases) {
        const int angle = CResourceImage::SteeringAngle(c.raw);
        EXPECT_EQ(angle, c.angle) << c.raw;
        EXPECT_EQ(CResourceImage::WheelPicture(angle), c.wheel) << c.raw;
        EXPECT_EQ(CResourceImage::IsValidAngle(angle), c.valid) << c.raw;
    }
    EXPECT_EQ(CResourceImage::BrakePicture(0), 343);
    EXPECT_EQ(CResourceImage::BrakePicture(1), 342);
    EXPECT_EQ(CResourceImage::BrakePicture(-1), 344);
    EXPECT_EQ(CResourceImage::BrakePicture(2), 344);
}

TEST_F(ResourceImageTest, SmallDriveSupportDisplayWithAnAngle) {
    const int X = 20, Y = 20;
    store.DrawGauge(*dc, POINT{X, Y}, 0, 1, 8192, 0);
    ExpectPictureAt(335, X, Y + 18, 25, 35);       // left arrow dark
    ExpectPictureAt(336, X + 62, Y + 18, 25, 35);  // right arrow lit
    ExpectPictureAt(339, X + 26, Y + 18, 35, 35);  // wheel centred
    ExpectPictureAt(343, X + 3, Y + 55, 80, 18);   // brake off
    // The white box at B = (X + 3, Y - 3) with "  +0°" in black right-aligned at B.x + 60.
    const QRect box(X + 3, Y - 3, 80, 18);
    EXPECT_TRUE(Near(canvas.pixel(box.left() + 4, box.top() + 9), qRgb(0xf4, 0xf4, 0xf4), 2));
    EXPECT_GT(Count(canvas, QRect(box.left() + 30, box.top(), 30, 18), qRgb(0, 0, 0), 60), 10);
    EXPECT_EQ(Count(canvas, QRect(box.left() + 61, box.top(), 19, 18), qRgb(0, 0, 0), 60), 0);
    EXPECT_EQ(Count(canvas, QRect(box.left(), box.top(), 20, 18), qRgb(0, 0, 0), 60), 0);
    // The routine leaves the text left-aligned.
    EXPECT_EQ(dc->GetTextAlign(), TA_LEFT);
}

TEST_F(ResourceImageTest, SmallDriveSupportDisplayWithoutData) {
    const int X = 20, Y = 20;
    store.DrawGauge(*dc, POINT{X, Y}, 0, -1, CResourceImage::kNoSteering, 7);
    ExpectPictureAt(335, X, Y + 18, 25, 35);
    ExpectPictureAt(337, X + 62, Y + 18, 25, 35);
    ExpectPictureAt(341, X + 26, Y + 18, 35, 35);  // wheel without data
    ExpectPictureAt(344, X + 3, Y + 55, 80, 18);   // brake without data
    const QRect box(X + 3, Y - 3, 80, 18);
    EXPECT_TRUE(Near(canvas.pixel(box.left() + 4, box.top() + 9), qRgb(0x5c, 0x5e, 0x61), 2));
    // The dashes of picture 350 lie in the box from B.x + 21.
    EXPECT_GT(Count(canvas, QRect(box.left() + 21, box.top(), 38, 18), qRgb(0xb4, 0xb8, 0xbd)), 8);
    EXPECT_EQ(Count(canvas, QRect(box.left(), box.top(), 21, 18), qRgb(0xb4, 0xb8, 0xbd)), 0);
}

TEST_F(ResourceImageTest, TheLimitedModelShowsNoDriveSupportData) {
    g_bLimitedModel = TRUE;
    const int X = 20, Y = 20;
    store.DrawGauge(*dc, POINT{X, Y}, 0, 3, 8292, 1);  // would be both arrows lit, wheel 338, brake on
    ExpectPictureAt(335, X, Y + 18, 25, 35);
    ExpectPictureAt(337, X + 62, Y + 18, 25, 35);
    ExpectPictureAt(341, X + 26, Y + 18, 35, 35);
    ExpectPictureAt(344, X + 3, Y + 55, 80, 18);
}

TEST_F(ResourceImageTest, LargeDriveSupportDisplayIsPlacedAndZoomed) {
    const int X = 120, Y = 10;
    store.DrawGauge(*dc, POINT{X, Y}, 1, 2, 8292, 1);
    ExpectPictureAt(334, X - 85, Y + 35, 35, 49);        // left lit, 25 x 35 at zoom 1.4
    ExpectPictureAt(337, X + 86 - 85, Y + 35, 35, 49);   // right dark
    ExpectPictureAt(338, X + 36 - 85, Y + 35, 49, 49);   // wheel turned
    ExpectPictureAt(342, X - 85 + 4, Y + 89, 112, 25);   // brake on
    EXPECT_TRUE(Near(canvas.pixel(X - 85 + 4 + 6, Y + 4 + 12), qRgb(0xf4, 0xf4, 0xf4), 2));

    const QImage before = canvas;
    store.DrawGauge(*dc, POINT{X, Y}, 2, 2, 8292, 1);  // no such layout
    EXPECT_EQ(canvas, before);
}

TEST_F(ResourceImageTest, TurnSignalsByKind) {
    const QRgb orange = qRgb(0xff, 0x9a, 0x1f);
    const auto lit = [&](int x) { return Count(canvas, QRect(x, 0, 25, 35), orange, 8) > 20; };
    const int kinds[] = {-1, 0, 1, 2, 3};
    const bool left[] = {false, false, false, true, true};
    const bool right[] = {false, false, true, false, true};
    for (int i = 0; i < 5; ++i) {
        canvas.fill(ToQColor(kGround));
        store.DrawTurnSignals(*dc, kinds[i], 0, 100, 0, 1.0);
        EXPECT_EQ(lit(0), left[i]) << kinds[i];
        EXPECT_EQ(lit(100), right[i]) << kinds[i];
    }
}

TEST_F(ResourceImageTest, CellPrefixTakesACharacterAndTheDigitsAfterIt) {
    EXPECT_EQ(CResourceImage::CellPrefix(QStringLiteral("-0.00G")), QStringLiteral("-0"));
    EXPECT_EQ(CResourceImage::CellPrefix(QStringLiteral(".00G")), QStringLiteral(".00"));
    EXPECT_EQ(CResourceImage::CellPrefix(QStringLiteral("G")), QString());
    EXPECT_EQ(CResourceImage::CellPrefix(QStringLiteral("0000/00")), QStringLiteral("0000"));
    EXPECT_EQ(CResourceImage::CellPrefix(QStringLiteral("/00 00")), QStringLiteral("/00"));
    EXPECT_EQ(CResourceImage::CellPrefix(QString()), QString());
}

TEST_F(ResourceImageTest, FixedCellTextDrawsOnlyTheSeparators) {
    dc->SelectFont(g_hFont13);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(255, 0, 0));
    const RECT rect{0, 0, 200, 30};
    store.DrawFixedCellText(*dc, rect, QStringLiteral("-0.00G"), DT_RIGHT | DT_SINGLELINE);

    const QFontMetrics fm(*g_hFont13);
    const int start = 200 - fm.horizontalAdvance(QStringLiteral("-0.00G"));
    const int dot = start + fm.horizontalAdvance(QStringLiteral("-0"));
    const int digits = dot + fm.horizontalAdvance(QStringLiteral("."));
    const int g = start + fm.horizontalAdvance(QStringLiteral("-0.00"));
    EXPECT_EQ(InkIn(canvas, QRect(0, 0, dot - 1, 30)), 0);  // "-0" is left out
    EXPECT_GT(InkIn(canvas, QRect(dot, 0, digits - dot, 30)), 0);
    EXPECT_EQ(InkIn(canvas, QRect(digits + 1, 0, g - digits - 2, 30)), 0);  // "00" is left out
    EXPECT_GT(InkIn(canvas, QRect(g, 0, 200 - g, 30)), 0);
}

TEST_F(ResourceImageTest, AxisLabelPutsThePlaceholderAndItsSeparators) {
    dc->SelectFont(g_hFont13);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(0, 255, 0));
    const RECT box{10, 10, 68, 30};
    store.DrawAxisLabel(*dc, box, 0, 0);
    EXPECT_EQ(At(canvas, 10 + 17, 10 + 13), RGB(0, 255, 0));  // a dash of picture 209
    EXPECT_EQ(At(canvas, 10 + 17, 10 + 10), kGround);         // its black is left out
    EXPECT_GT(InkIn(canvas, QRect(10 + 46, 10, 12, 20)), 10); // the 'G'

    const QImage before = canvas;
    store.DrawAxisLabel(*dc, RECT{100, 10, 160, 30}, 2, 0);
    store.DrawAxisLabel(*dc, RECT{100, 10, 160, 30}, 0, 3);
    EXPECT_EQ(canvas, before);
}

TEST_F(ResourceImageTest, DateBoxStretchesToTheTemplatesWidth) {
    dc->SelectFont(g_hFont13);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(255, 0, 0));
    const RECT rect{5, 5, 230, 30};
    store.DrawDateBox(*dc, rect, 0);
    const int width = QFontMetrics(*g_hFont13).horizontalAdvance(QStringLiteral("0000/00/00 00:00:00"));
    const QRgb dash = qRgb(0xd6, 0xd9, 0xdc);
    // Dashes in the first and last digit cells, none past the template's end.
    EXPECT_GT(Count(canvas, QRect(5, 5, 10, 19), dash), 0);
    EXPECT_GT(Count(canvas, QRect(5 + width - 10, 5, 10, 19), dash), 0);
    EXPECT_EQ(Count(canvas, QRect(5 + width + 1, 5, 230 - width - 6, 19), dash), 0);
    // The separators are drawn in the text colour.
    EXPECT_GT(Count(canvas, QRect(5, 5, width, 25), qRgb(255, 0, 0), 40), 10);

    const QImage before = canvas;
    store.DrawDateBox(*dc, rect, 3);
    EXPECT_EQ(canvas, before);
}

TEST_F(ResourceImageTest, StatusImagesByKind) {
    const QRgb dash = qRgb(0xd6, 0xd9, 0xdc);
    store.DrawStatusImage(*dc, RECT{10, 10, 100, 40}, 0);  // 211 at the top-left
    EXPECT_EQ(canvas.pixel(10 + 20, 10 + 13), dash);
    EXPECT_EQ(At(canvas, 10 + 2, 10 + 2), kGround);
    store.DrawStatusImage(*dc, RECT{10, 60, 200, 100}, 2);  // 219 against the right edge
    EXPECT_TRUE(Near(canvas.pixel(200 - 3, 60 + 18), dash, 3));
    EXPECT_EQ(Count(canvas, QRect(10, 60, 200 - 42 - 10, 40), dash), 0);

    const QImage before = canvas;
    store.DrawStatusImage(*dc, RECT{10, 110, 100, 150}, 3);
    EXPECT_EQ(canvas, before);
}

TEST_F(ResourceImageTest, DegreeTextIsBlackRightAlignedAndRestoresTheColour) {
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(255, 255, 0));
    dc->SetTextAlign(TA_CENTER);
    store.DrawSignedDegrees(*dc, 100, 10, -45);
    EXPECT_EQ(dc->GetTextColor(), RGB(255, 255, 0));
    EXPECT_EQ(dc->GetTextAlign(), TA_LEFT);
    EXPECT_GT(Count(canvas, QRect(60, 10, 40, 20), qRgb(0, 0, 0), 60), 10);
    EXPECT_EQ(InkIn(canvas, QRect(101, 0, 139, 160)), 0);

    store.DrawDegreeMarks(*dc, 200, 60, 31, 1);
    EXPECT_EQ(dc->GetTextColor(), RGB(255, 255, 0));
    EXPECT_GT(InkIn(canvas, QRect(150, 40, 50, 40)), 0);
    EXPECT_EQ(InkIn(canvas, QRect(201, 40, 39, 40)), 0);
}

TEST_F(ResourceImageTest, FrameTilesCoverOnlyTheEdges) {
    QImage window(1120, 697, QImage::Format_RGB32);
    window.fill(ToQColor(kGround));
    DeviceContext wdc(&window);
    store.DrawFrameTiles(wdc, RECT{0, 0, 1120, 697});
    const QImage skin = LoadSkinBitmap(129);
    EXPECT_EQ(window.pixel(0, 0), skin.pixel(0, 0));
    EXPECT_EQ(window.pixel(1119, 696), skin.pixel(1199, 749));
    EXPECT_EQ(window.pixel(0, 350), skin.pixel(0, 375));        // left frame
    EXPECT_EQ(window.pixel(1119, 350), skin.pixel(1199, 375));  // right frame
    EXPECT_EQ(window.pixel(560, 690), skin.pixel(600, 740));    // control bar
    EXPECT_EQ(At(window, 560, 350), kGround);                    // the middle is left alone
}

TEST_F(ResourceImageTest, MeterTurnsTheNeedleAboutThePivot) {
    const auto red = [&](int x, int y) {
        const QRgb c = canvas.pixel(x, y);
        return qRed(c) > 150 && qGreen(c) < 110 && qBlue(c) < 110;
    };
    store.DrawMeter(*dc, RECT{0, 0, 210, 151}, 325, 0.0);
    EXPECT_TRUE(red(105, 80));   // upright: above the pivot (105, 108)
    EXPECT_FALSE(red(133, 108));
    EXPECT_EQ(At(canvas, 2, 2), RGB(0, 0, 0));  // outside the dial: the cleared work area
    // The faces carry alpha: their surround is see-through, their edges soft, nothing keyed.
    EXPECT_EQ(qAlpha(store.Picture(325)->pixel(2, 2)), 0);
    EXPECT_NE(At(canvas, 105, 140), RGB(255, 255, 255));

    store.DrawMeter(*dc, RECT{0, 0, 210, 151}, 325, 90.0);
    EXPECT_TRUE(red(133, 108));  // a quarter clockwise: to the right
    EXPECT_FALSE(red(105, 80));
}

TEST_F(ResourceImageTest, QualityBadgesAndIconsInTheirCells) {
    store.DrawQualityBadge(*dc, RECT{5, 5, 0, 0}, 3, 1.0);
    const QImage* badge = store.Picture(197);
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(canvas.copy(5, 5, 60, 35), badge->copy());
    const QImage before = canvas;
    store.DrawQualityBadge(*dc, RECT{100, 5, 0, 0}, 12, 1.0);
    EXPECT_EQ(canvas, before);

    store.DrawAudioMark(*dc, RECT{100, 50, 160, 85}, 'R', 1.0);
    ExpectPictureAt(331, 100 + 6, 50, 48, 35);  // 48 wide, centred in 60
    store.DrawGpsIcon(*dc, RECT{170, 50, 230, 85}, 1.0);
    ExpectPictureAt(348, 170 + 9, 50, 42, 35);
}

}  // namespace
}  // namespace orv
