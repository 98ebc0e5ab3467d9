#include "ui/SkinCheckButton.h"

#include <QFont>
#include <QPalette>

#include <functional>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"
#include "ui/SkinButton.h"

namespace orv {
namespace {

using test::KeyedFrame;

constexpr QRgb kGround = qRgb(0, 96, 0);
constexpr QRgb kText = qRgb(255, 255, 0);
constexpr int kBoxStrip = 217;  // four 12 x 12 frames
const QSize kBox(12, 12);

class SkinCheckButtonTest : public testing::Test {
protected:
    void SetUp() override {
        strip = test::StoredPicture(kBoxStrip);
        ImageList boxes;
        ASSERT_TRUE(boxes.Create(strip, 12, 12));
        check.SetImageList(boxes);
        check.resize(120, 20);
        check.setText(QStringLiteral("HHH"));
        QFont font(QString::fromLatin1(kSubstituteFace));
        font.setPixelSize(16);
        check.setFont(font);
        QPalette palette = check.palette();
        palette.setColor(QPalette::ButtonText, QColor(kText));
        check.setPalette(palette);
    }

    // The frame in the box (at (0, 4)), or -1 for none of them.
    int BoxFrame(const QImage& image) const {
        const QImage shown = image.copy(QRect(QPoint(0, 4), kBox));
        for (int i = 0; i < 4; ++i)
            if (shown == KeyedFrame(strip, i, kBox, kGround)) return i;
        return -1;
    }
    QImage Drawn(unsigned itemState) {
        QImage image(check.size(), QImage::Format_RGB32);
        image.fill(kGround);
        DeviceContext dc(&image);
        DRAWITEMSTRUCT dis;
        dis.itemState = itemState;
        dis.rcItem = RECT{0, 0, check.width(), check.height()};
        dis.hDC = &dc;
        check.DrawItem(dis);
        return image;
    }

    test::ScaleScope scale{1.0f};
    CSkinCheckButton check;
    QImage strip;
};

TEST_F(SkinCheckButtonTest, StatesPickTheBoxFrame) {
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_NORMAL);
    check.setDown(true);
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_PRESSED);
    check.setDown(false);
    check.SetCheck(TRUE);
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_PRESSED);
    check.setEnabled(false);
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), -1);  // the tick, dimmed
    check.setEnabled(true);
    check.SetCheck(FALSE);

    EXPECT_EQ(BoxFrame(Drawn(ODS_GRAYED | ODS_DISABLED)), SKIN_FRAME_HOVER);
    EXPECT_EQ(BoxFrame(Drawn(ODS_DISABLED)), SKIN_FRAME_DISABLED);
    EXPECT_EQ(BoxFrame(Drawn(ODS_DISABLED | ODS_CHECKED)), -1);
    EXPECT_EQ(BoxFrame(Drawn(ODS_CHECKED)), SKIN_FRAME_PRESSED);
    EXPECT_EQ(BoxFrame(Drawn(0)), SKIN_FRAME_NORMAL);
}

TEST_F(SkinCheckButtonTest, TheTextFollowsTheBoxInTheButtonsColour) {
    const QImage image = test::Render(check, kGround);
    // Nothing between the box and the text's start at 16.
    EXPECT_EQ(test::InkBox(image, QRect(12, 0, 4, 20), kGround), QRect());
    const QRect text = test::InkBox(image, QRect(16, 0, 104, 20), kGround);
    ASSERT_FALSE(text.isNull());
    EXPECT_LE(text.left(), 20);
    EXPECT_GT(test::CountColour(image, text, kText), 0);
}

TEST_F(SkinCheckButtonTest, HoverLightsTheBoxOnlyUnderTheMouse) {
    test::SendMove(&check, QPoint(5, 8));  // in the box
    EXPECT_TRUE(check.IsHovering());
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_HOVER);

    test::SendMove(&check, QPoint(60, 8));  // over the text
    EXPECT_FALSE(check.IsHovering());
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_NORMAL);

    test::SendMove(&check, QPoint(5, 8));
    test::SendLeave(&check);
    EXPECT_FALSE(check.IsHovering());
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_NORMAL);

    // A checked box does not show the hover frame.
    check.SetCheck(TRUE);
    test::SendMove(&check, QPoint(5, 8));
    EXPECT_FALSE(check.IsHovering());
    EXPECT_EQ(BoxFrame(test::Render(check, kGround)), SKIN_FRAME_PRESSED);
}

// A box that cannot be used keeps what it shows: a ticked one its tick, dimmed (brighter
// than the empty disabled box, not as bright as a usable tick), an unticked one the
// disabled frame. So do the toggles drawn from the check box's strip.
TEST_F(SkinCheckButtonTest, DisabledBoxesKeepTheirTickDimmed) {
    CSkinButton toggle;
    toggle.resize(12, 12);
    const RECT frame{0, 0, 12, 12};
    toggle.SetImage(kCheckBoxStrip, &frame);
    const QImage ticked = KeyedFrame(strip, SKIN_FRAME_PRESSED, kBox, kGround);
    const QImage disabled = KeyedFrame(strip, SKIN_FRAME_DISABLED, kBox, kGround);
    const struct {
        const char* name;
        QWidget* widget;
        QPoint box;
        std::function<void(bool)> tick;
        bool ticked;
    } cases[] = {
        {"check box, ticked", &check, {0, 4}, [&](bool on) { check.SetCheck(on); }, true},
        {"check box, unticked", &check, {0, 4}, [&](bool on) { check.SetCheck(on); }, false},
        {"toggle, latched", &toggle, {0, 0}, [&](bool on) { toggle.SetLatched(on); }, true},
        {"toggle, not latched", &toggle, {0, 0}, [&](bool on) { toggle.SetLatched(on); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.tick(c.ticked);
        c.widget->setEnabled(false);
        const QImage box = test::Render(*c.widget, kGround).copy(QRect(c.box, kBox));
        c.widget->setEnabled(true);
        if (!c.ticked) {
            EXPECT_EQ(box, disabled);
            continue;
        }
        int tickPixels = 0;
        for (int y = 0; y < kBox.height(); ++y)
            for (int x = 0; x < kBox.width(); ++x) {
                if ((ticked.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu) continue;
                ++tickPixels;
                const int shown = qGray(box.pixel(x, y));
                EXPECT_GT(shown, qGray(disabled.pixel(x, y)) + 40) << x << "," << y;
                EXPECT_LT(shown, 220) << x << "," << y;
            }
        EXPECT_GT(tickPixels, 3);
    }
}

TEST(SkinCheckButtonScaled, TheBoxScalesWithItsOffsets) {
    test::ScaleScope scale(1.5f);
    CSkinCheckButton check;
    const RECT box = check.BoxRect();
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 6);
    EXPECT_EQ(box.right, 18);
    EXPECT_EQ(box.bottom, 24);
}

}  // namespace
}  // namespace orv
