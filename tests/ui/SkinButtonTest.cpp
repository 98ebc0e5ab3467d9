#include "ui/SkinButton.h"

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"

namespace orv {
namespace {

using test::CountColour;
using test::KeyedFrame;

constexpr QRgb kGround = qRgb(0, 96, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr int kPlayStrip = 148;  // four 32 x 32 frames
const QSize kFrame(32, 32);
// The button is taller than its frame, so that the caption (at the bottom) stays clear
// of the frame.
const QSize kButton(32, 80);

// A play button at scale 1 with a caption in a font large enough for solid strokes.
class SkinButtonTest : public testing::Test {
protected:
    void SetUp() override {
        captionFont.setPixelSize(28);
        savedFont9 = g_hFont9;
        g_hFont9 = &captionFont;
        button.resize(kButton);
        const RECT frame{0, 0, kFrame.width(), kFrame.height()};
        button.SetImage(kPlayStrip, &frame);
        button.setText(QStringLiteral("H"));
        strip = test::StoredPicture(kPlayStrip);
        ASSERT_FALSE(strip.isNull());
    }
    void TearDown() override { g_hFont9 = savedFont9; }

    // Which frame the picture shows at its top-left, or -1 for none of them.
    int FrameShown(const QImage& image) const {
        const QImage shown = image.copy(QRect(QPoint(0, 0), kFrame));
        for (int i = 0; i < 4; ++i)
            if (shown == KeyedFrame(strip, i, kFrame, kGround)) return i;
        return -1;
    }
    // The caption's colour: white, grey, or 0 when neither shows below the frame.
    QRgb CaptionColour(const QImage& image) const {
        const QRect below(0, kFrame.height(), kButton.width(), kButton.height() - kFrame.height());
        const int white = CountColour(image, below, kWhite);
        const int grey = CountColour(image, below, kGrey);
        if (white > 0 && grey == 0) return kWhite;
        if (grey > 0 && white == 0) return kGrey;
        return 0;
    }
    QImage Drawn(unsigned itemState) {
        QImage image(kButton, QImage::Format_RGB32);
        image.fill(kGround);
        DeviceContext dc(&image);
        DRAWITEMSTRUCT dis;
        dis.itemState = itemState;
        dis.rcItem = RECT{0, 0, kButton.width(), kButton.height()};
        dis.hDC = &dc;
        button.DrawItem(dis);
        return image;
    }

    test::ScaleScope scale{1.0f};
    QFont captionFont{QString::fromLatin1(kSubstituteFace)};
    QFont* savedFont9 = nullptr;
    CSkinButton button;
    QImage strip;
};

TEST_F(SkinButtonTest, WidgetStatesPickTheirFrameAndCaption) {
    QImage image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_NORMAL);
    EXPECT_EQ(CaptionColour(image), kWhite);

    button.setDown(true);
    image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_PRESSED);
    EXPECT_EQ(CaptionColour(image), kGrey);
    button.setDown(false);

    button.setCheckable(true);
    button.setChecked(true);
    image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_PRESSED);
    EXPECT_EQ(CaptionColour(image), kWhite);
    button.setChecked(false);

    button.SetLatched(TRUE);
    image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_PRESSED);
    EXPECT_EQ(CaptionColour(image), kGrey);

    // A latched button that is also disabled shows the disabled frame.
    button.setEnabled(false);
    image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_DISABLED);
    EXPECT_EQ(CaptionColour(image), kGrey);
}

TEST_F(SkinButtonTest, TheStateTableIsReadTopDown) {
    struct Case {
        unsigned state;
        BOOL latched;
        int frame;
        QRgb caption;
    };
    const Case cases[] = {
        {ODS_GRAYED, FALSE, SKIN_FRAME_HOVER, kGrey},
        {ODS_GRAYED | ODS_DISABLED | ODS_SELECTED, FALSE, SKIN_FRAME_HOVER, kGrey},
        {ODS_DISABLED, FALSE, SKIN_FRAME_DISABLED, kGrey},
        {ODS_DISABLED | ODS_SELECTED | ODS_CHECKED, TRUE, SKIN_FRAME_DISABLED, kGrey},
        {ODS_SELECTED, FALSE, SKIN_FRAME_PRESSED, kGrey},
        {ODS_SELECTED | ODS_CHECKED, FALSE, SKIN_FRAME_PRESSED, kGrey},
        {ODS_CHECKED, FALSE, SKIN_FRAME_PRESSED, kWhite},
        {ODS_CHECKED, TRUE, SKIN_FRAME_PRESSED, kWhite},
        {0, TRUE, SKIN_FRAME_PRESSED, kGrey},
        {0, FALSE, SKIN_FRAME_NORMAL, kWhite},
    };
    for (const Case& c : cases) {
        button.SetLatched(c.latched);
        const QImage image = Drawn(c.state);
        EXPECT_EQ(FrameShown(image), c.frame) << "state " << c.state << " latched " << c.latched;
        EXPECT_EQ(CaptionColour(image), c.caption) << "state " << c.state << " latched " << c.latched;
    }
    // Nothing at all while the image list is rebuilt.
    button.m_bUpdating = TRUE;
    EXPECT_EQ(test::InkBox(Drawn(0), QRect(QPoint(0, 0), kButton), kGround), QRect());
}

TEST_F(SkinButtonTest, HoverShowsTheHoverFrameUntilTheMouseLeaves) {
    // The hover caption goes in the frame's rectangle; without one the frame shows whole.
    button.setText(QString());
    test::SendEnter(&button, QPoint(5, 5));
    test::SendMove(&button, QPoint(6, 5));
    EXPECT_TRUE(button.IsHovering());
    QImage image = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(image), SKIN_FRAME_HOVER);

    // A held button keeps its pressed frame under the mouse.
    button.setDown(true);
    EXPECT_EQ(FrameShown(test::Render(button, kGround)), SKIN_FRAME_PRESSED);
    button.setDown(false);

    test::SendLeave(&button);
    EXPECT_FALSE(button.IsHovering());
    EXPECT_EQ(FrameShown(test::Render(button, kGround)), SKIN_FRAME_NORMAL);

    // Hovering a latched button changes nothing.
    button.SetLatched(TRUE);
    test::SendEnter(&button, QPoint(5, 5));
    test::SendMove(&button, QPoint(6, 5));
    EXPECT_FALSE(button.IsHovering());
    EXPECT_EQ(FrameShown(test::Render(button, kGround)), SKIN_FRAME_PRESSED);
}

TEST_F(SkinButtonTest, TheCaptionSitsCentredOnTheBottomEdge) {
    CSkinButton bare;  // no strip: only the caption is drawn
    bare.resize(200, 80);
    bare.setText(QStringLiteral("HH"));
    const QImage image = test::Render(bare, kGround);
    const QRect ink = test::InkBox(image, image.rect(), kGround);
    ASSERT_FALSE(ink.isNull());
    const QFontMetrics fm(captionFont);
    const int baseline = 80 - fm.descent();
    EXPECT_NEAR(ink.bottom(), baseline - 1, 1);
    EXPECT_NEAR((ink.left() + ink.right() + 1) / 2.0, 100.0, 2.0);
    EXPECT_NEAR(ink.width(), fm.horizontalAdvance(QStringLiteral("HH")), 6);

    // An empty caption draws only the frame.
    button.setText(QString());
    const QImage frameOnly = test::Render(button, kGround);
    EXPECT_EQ(FrameShown(frameOnly), SKIN_FRAME_NORMAL);
    EXPECT_EQ(test::InkBox(frameOnly, QRect(0, kFrame.height(), kButton.width(), 80), kGround), QRect());
}

TEST_F(SkinButtonTest, AStripThatDoesNotLoadLeavesTheFramesInPlace) {
    const RECT frame{0, 0, kFrame.width(), kFrame.height()};
    button.SetImage(99999, &frame);
    EXPECT_EQ(FrameShown(test::Render(button, kGround)), SKIN_FRAME_NORMAL);
    EXPECT_EQ(button.m_nFrameWidth, 32);
    EXPECT_EQ(button.m_nFrameHeight, 32);
}

TEST(SkinButtonScaled, FramesOfAStripWithOddFramesStayWhole) {
    // Strip 352 has 13 x 12 frames; at scale 1.5 each is 19 x 18 and must show only its
    // own frame, with no column of the frame beside it.
    test::ScaleScope scale(1.5f);
    CSkinButton close;
    close.resize(19, 18);
    const RECT frame{0, 0, 19, 18};
    close.SetImage(352, &frame);
    close.setEnabled(false);
    const QImage disabled = test::Render(close, kGround);
    // The disabled frame's left edge is grey, not the red of the pressed frame before it.
    for (int y = 4; y < 14; ++y) {
        const QRgb left = disabled.pixel(0, y);
        EXPECT_LT(std::abs(qRed(left) - qGreen(left)), 40) << "row " << y;
    }
}

}  // namespace
}  // namespace orv
