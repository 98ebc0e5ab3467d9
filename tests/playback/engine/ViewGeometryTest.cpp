#include <gtest/gtest.h>

#include <cmath>

#include "playback/engine/ViewGeometry.h"

namespace orv {
namespace {

TEST(FitAspectRect, WidePictureInAFourByThreeWindowIsLetterboxed) {
    const RECT client{0, 0, 800, 600};
    RECT r = client;
    ASSERT_TRUE(FitAspectRect(&r, client, 1920, 1080));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.Width(), 800);
    EXPECT_EQ(r.top, 75);
    EXPECT_EQ(r.bottom, 526);  // the centred height 450 plus the one row below it
}

TEST(FitAspectRect, NarrowPictureInAWideWindowKeepsTheHeight) {
    const RECT client{0, 0, 1000, 400};
    RECT r = client;
    ASSERT_TRUE(FitAspectRect(&r, client, 640, 480));
    // 400 x 4/3 = 533.33 -> 533 wide, centred: (1000 - 533) / 2 = 233.
    EXPECT_EQ(r.left, 233);
    EXPECT_EQ(r.right, 766);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 401);
}

TEST(FitAspectRect, NothingToFitFails) {
    RECT r{0, 0, 800, 600};
    EXPECT_FALSE(FitAspectRect(&r, RECT{0, 0, 800, 600}, 0, 1080));
    EXPECT_FALSE(FitAspectRect(&r, RECT{0, 0, 800, 600}, 1920, 0));
    EXPECT_FALSE(FitAspectRect(&r, RECT{0, 0, 800, 0}, 1920, 1080));
    EXPECT_FALSE(FitAspectRect(&r, RECT{0, 0, 0, 600}, 1920, 1080));
    EXPECT_EQ(r, (RECT{0, 0, 800, 600}));
}

TEST(ZoomRect, KeepsThePointUnderTheCentre) {
    RECT r{0, 0, 800, 600};
    ASSERT_TRUE(ZoomRect(&r, 400, 300, 2.0f));
    EXPECT_EQ(r, (RECT{-400, -300, 1200, 900}));

    r = RECT{0, 0, 800, 600};
    ASSERT_TRUE(ZoomRect(&r, 200, 150, 2.0f));
    EXPECT_EQ(r, (RECT{-200, -150, 1400, 1050}));
    // The window point 200 lies a quarter into the zoomed width, as it lay a quarter into the window.
    EXPECT_EQ(r.left + r.Width() / 4, 200);

    r = RECT{0, 0, 800, 600};
    ASSERT_TRUE(ZoomRect(&r, 0, 0, 1.5f));
    EXPECT_EQ(r, (RECT{0, 0, 1200, 900}));

    r = RECT{0, 0, 800, 600};
    ASSERT_TRUE(ZoomRect(&r, 400, 300, 1.0f));
    EXPECT_EQ(r, (RECT{0, 0, 800, 600}));
}

TEST(ZoomRect, ShrinksBelowOne) {
    RECT r{0, 0, 800, 600};
    ASSERT_TRUE(ZoomRect(&r, 400, 300, 0.5f));
    EXPECT_EQ(r, (RECT{200, 150, 600, 450}));
}

TEST(ZoomRect, RefusesFactorsAndRectanglesItCannotZoom) {
    const RECT original{0, 0, 800, 600};
    RECT r = original;
    EXPECT_FALSE(ZoomRect(&r, 400, 300, 0.0f));
    EXPECT_FALSE(ZoomRect(&r, 400, 300, std::nanf("")));
    EXPECT_FALSE(ZoomRect(&r, 400, 300, INFINITY));
    EXPECT_FALSE(ZoomRect(&r, 400, 300, -1.0f));  // inside out
    EXPECT_FALSE(ZoomRect(&r, 400, 300, 1e12f));  // beyond int
    EXPECT_EQ(r, original);

    RECT empty{10, 10, 10, 300};
    EXPECT_FALSE(ZoomRect(&empty, 0, 0, 2.0f));
    EXPECT_EQ(empty, (RECT{10, 10, 10, 300}));
}

}  // namespace
}  // namespace orv
