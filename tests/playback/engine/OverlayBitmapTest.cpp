#include <gtest/gtest.h>

#include <QColor>

#include "playback/engine/OverlayBitmap.h"

namespace orv {
namespace {

sOVERLAYFONT Font42() {
    sOVERLAYFONT font;
    font.face = "Noto Sans CJK JP";
    font.height = -56;  // 42 points at 96 dots per inch
    return font;
}

struct Census {
    int green = 0;
    int black = 0;
    int other = 0;
    int lowestGreenRow = -1;
};

Census Count(const QImage& bitmap) {
    Census c;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb p = bitmap.pixel(x, y) & 0xFFFFFF;
            if (p == 0x00FF00) {
                ++c.green;
                c.lowestGreenRow = y;
            } else if (p == 0) {
                ++c.black;
            } else {
                ++c.other;
            }
        }
    }
    return c;
}

TEST(OverlayBitmap, GreenTextOnTheTransparentBlack) {
    QImage bitmap = MakeOverlayBitmap();
    ASSERT_EQ(bitmap.size(), QSize(300, 120));
    DrawOverlayBitmap(&bitmap, Font42(), "12:34");
    const Census c = Count(bitmap);
    EXPECT_GT(c.green, 200);
    EXPECT_EQ(c.other, 0);  // no smoothed fringe that the colour key would leave visible
    EXPECT_LT(c.lowestGreenRow, 80);  // one line of a 56-pixel font

    // Drawing again replaces the old text.
    DrawOverlayBitmap(&bitmap, Font42(), "");
    EXPECT_EQ(Count(bitmap).green, 0);
}

TEST(OverlayBitmap, LongTextWrapsAndIsCutAtTheBitmap) {
    QImage bitmap = MakeOverlayBitmap();
    DrawOverlayBitmap(&bitmap, Font42(), "WWWWWW WWWWWW WWWWWW WWWWWW");
    const Census c = Count(bitmap);
    EXPECT_EQ(bitmap.size(), QSize(300, 120));
    EXPECT_GT(c.lowestGreenRow, 80);  // a second line begins below the first
    EXPECT_EQ(c.other, 0);
}

TEST(OverlayBitmap, DefaultFontWithoutAnOverlayFont) {
    QImage bitmap = MakeOverlayBitmap();
    DrawOverlayBitmap(&bitmap, std::nullopt, "REC");
    EXPECT_GT(Count(bitmap).green, 0);
}

TEST(PlaceOverlay, ScalesWithThePictureIntoTheCorner) {
    sOVERLAYPLACE place;
    // 1920 x 1080 in 960 x 720, stretched: the common factor is the smaller one, 0.5.
    ASSERT_TRUE(PlaceOverlay(960, 720, 1920, 1080, 0, &place));
    EXPECT_EQ(place.width, 150);
    EXPECT_EQ(place.height, 60);
    EXPECT_FLOAT_EQ(place.destination.left, 1.0f - 150.0f / 960.0f);
    EXPECT_FLOAT_EQ(place.destination.top, 1.0f - 60.0f / 720.0f);
    EXPECT_FLOAT_EQ(place.destination.right, 1.0f);
    EXPECT_FLOAT_EQ(place.destination.bottom, 1.0f);

    // Aspect kept: each axis its own factor (0.5 and 2/3).
    ASSERT_TRUE(PlaceOverlay(960, 720, 1920, 1080, 1, &place));
    EXPECT_EQ(place.width, 150);
    EXPECT_EQ(place.height, 80);
    EXPECT_FLOAT_EQ(place.destination.top, 1.0f - 80.0f / 720.0f);

    // A window wider than the picture: the height's factor is the smaller one.
    ASSERT_TRUE(PlaceOverlay(1600, 540, 1920, 1080, 0, &place));
    EXPECT_EQ(place.width, 150);
    EXPECT_EQ(place.height, 60);
}

TEST(PlaceOverlay, NoSizeNoPlace) {
    sOVERLAYPLACE place;
    EXPECT_FALSE(PlaceOverlay(0, 720, 1920, 1080, 0, &place));
    EXPECT_FALSE(PlaceOverlay(960, 0, 1920, 1080, 1, &place));
    EXPECT_FALSE(PlaceOverlay(960, 720, 0, 1080, 0, &place));
    EXPECT_FALSE(PlaceOverlay(960, 720, 1920, 0, 1, &place));
}

}  // namespace
}  // namespace orv
