#include "ui/SkinProgressBarCtrl.h"

#include <QFontMetrics>

#include <climits>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"

namespace orv {
namespace {

constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kGround = qRgb(0, 96, 0);

class SkinProgressBarCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        bar.resize(300, 20);
        bar.SetRange(0, 100);
    }
    // The text's box: 50 pixels either side of the middle.
    static QRect TextBox() { return QRect(100, 0, 100, 20); }
    static QRect LeftOfText() { return QRect(0, 0, 100, 20); }
    static QRect RightOfText() { return QRect(200, 0, 100, 20); }

    test::ScaleScope scale{1.0f};
    CSkinProgressBarCtrl bar;
};

TEST_F(SkinProgressBarCtrlTest, EmptyIsWhiteWithBlueFigures) {
    bar.SetPos(0);
    const QImage image = test::Render(bar, kGround);
    EXPECT_EQ(test::CountColour(image, LeftOfText(), kWhite), 100 * 20);
    EXPECT_EQ(test::CountColour(image, RightOfText(), kWhite), 100 * 20);
    EXPECT_GT(test::CountColour(image, TextBox(), kBlue), 0);
    // "0 %", centred.
    const QRect ink = test::InkBox(image, TextBox(), kWhite);
    const int width = QFontMetrics(*g_hFont10).horizontalAdvance(QStringLiteral("0 %"));
    EXPECT_NEAR(ink.width(), width, 4);
    EXPECT_NEAR((ink.left() + ink.right() + 1) / 2.0, 150.0, 2.0);
}

TEST_F(SkinProgressBarCtrlTest, FullIsBlueWithWhiteFigures) {
    bar.SetPos(100);
    const QImage image = test::Render(bar, kGround);
    EXPECT_EQ(test::CountColour(image, LeftOfText(), kBlue), 100 * 20);
    EXPECT_EQ(test::CountColour(image, RightOfText(), kBlue), 100 * 20);
    EXPECT_GT(test::CountColour(image, TextBox(), kWhite), 0);
    const QRect ink = test::InkBox(image, TextBox(), kBlue);
    EXPECT_NEAR(ink.width(), QFontMetrics(*g_hFont10).horizontalAdvance(QStringLiteral("100 %")), 4);
}

TEST_F(SkinProgressBarCtrlTest, TheFigureChangesColourAtTheBarsEnd) {
    bar.SetPos(50);  // the bar ends at x = 150, in the middle of "50 %"
    const QImage image = test::Render(bar, kGround);
    EXPECT_EQ(test::CountColour(image, QRect(0, 0, 150, 20), kWhite) > 0, true);  // the figures
    EXPECT_EQ(test::CountColour(image, QRect(150, 0, 150, 20), kBlue) > 0, true);
    EXPECT_EQ(image.pixel(149, 0), kBlue);
    EXPECT_EQ(image.pixel(150, 0), kWhite);
}

TEST_F(SkinProgressBarCtrlTest, TheShareIsHeldToTheBar) {
    bar.SetPos(150);
    EXPECT_EQ(bar.Fraction(), 1.0f);
    bar.SetPos(INT_MAX);
    EXPECT_EQ(bar.Fraction(), 1.0f);
    EXPECT_EQ(test::CountColour(test::Render(bar, kGround), LeftOfText(), kBlue), 100 * 20);
    bar.SetPos(-20);
    EXPECT_EQ(bar.Fraction(), 0.0f);
    bar.SetPos(10);
    bar.SetRange(0, 0);  // no range
    EXPECT_EQ(bar.Fraction(), 0.0f);
    bar.SetRange(INT_MIN, INT_MAX);
    bar.SetPos(INT_MAX);
    EXPECT_EQ(bar.Fraction(), 0.5f);
}

TEST_F(SkinProgressBarCtrlTest, PlacedOverTheBottomOfAFrame) {
    QWidget parent;
    parent.resize(400, 300);
    QWidget frame(&parent);
    frame.setGeometry(10, 20, 200, 100);
    CSkinProgressBarCtrl placed(&parent);
    placed.PlaceInside(&parent, &frame);
    // The frame's place relative to the parent's corner, one pixel higher: (10, 19, 210, 119).
    EXPECT_EQ(placed.geometry(), QRect(12, 97, 196, 20));
}

}  // namespace
}  // namespace orv
