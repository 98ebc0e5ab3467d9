#include "ui/SkinDialog.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"
#include "ui/SkinButton.h"

namespace orv {
namespace {

constexpr QRgb kTitleGrey = qRgb(128, 128, 128);

// A skinned dialog 300 x 200 at (100, 100) of the screen.
class SkinDialogTest : public testing::Test {
protected:
    void SetUp() override {
        dialog.setWindowTitle(QStringLiteral("Title"));
        dialog.resize(300, 200);
        dialog.move(100, 100);
        dialog.show();
        QCoreApplication::processEvents();
        ASSERT_EQ(dialog.pos(), QPoint(100, 100));
    }
    int HitAt(int dy) const { return dialog.OnNcHitTest(POINT{150, 100 + dy}); }

    test::ScaleScope scale{1.0f};
    CSkinDialog dialog;
};

TEST_F(SkinDialogTest, IsFramelessWithAGreyTitleStrip) {
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    const QImage image = dialog.grab().toImage();
    EXPECT_EQ(image.pixel(250, 0), kTitleGrey);
    EXPECT_EQ(image.pixel(250, 19), kTitleGrey);
    EXPECT_NE(image.pixel(250, 20), kTitleGrey);
    // The window text, from x = 5 in the strip.
    const QRect ink = test::InkBox(image, QRect(0, 0, 300, 20), kTitleGrey);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 5);
    EXPECT_LT(ink.right(), 200);
}

TEST_F(SkinDialogTest, TheTopBandMovesTheWindow) {
    EXPECT_EQ(HitAt(0), HTCLIENT);
    EXPECT_EQ(HitAt(5), HTCLIENT);
    EXPECT_EQ(HitAt(6), HTCAPTION);
    EXPECT_EQ(HitAt(10), HTCAPTION);
    EXPECT_EQ(HitAt(23), HTCAPTION);
    EXPECT_EQ(HitAt(24), HTCLIENT);
    EXPECT_EQ(HitAt(150), HTCLIENT);
    EXPECT_EQ(dialog.OnNcHitTest(POINT{100, 103}), HTCLIENT);  // the corner square

    // A press 3 pixels below the top edge drags by hand; the window follows the mouse.
    test::SendMouse(&dialog, QEvent::MouseButtonPress, QPoint(50, 3));
    EXPECT_TRUE(dialog.IsDragging());
    test::SendMove(&dialog, QPoint(60, 8), Qt::LeftButton);
    EXPECT_EQ(dialog.pos(), QPoint(110, 105));
    test::SendMove(&dialog, QPoint(40, 3), Qt::LeftButton);
    EXPECT_EQ(dialog.pos(), QPoint(100, 105));
    test::SendMouse(&dialog, QEvent::MouseButtonRelease, QPoint(40, 3));
    EXPECT_FALSE(dialog.IsDragging());
    test::SendMove(&dialog, QPoint(70, 3));
    EXPECT_EQ(dialog.pos(), QPoint(100, 105));

    // The caption band moves the window too (here, where the system cannot, by hand).
    test::SendMouse(&dialog, QEvent::MouseButtonPress, QPoint(50, 22));
    test::SendMove(&dialog, QPoint(50, 32), Qt::LeftButton);
    test::SendMouse(&dialog, QEvent::MouseButtonRelease, QPoint(50, 32));
    EXPECT_EQ(dialog.pos(), QPoint(100, 115));

    // Below it the dialog's area does not move the window.
    test::SendMouse(&dialog, QEvent::MouseButtonPress, QPoint(50, 30));
    EXPECT_FALSE(dialog.IsDragging());
    test::SendMove(&dialog, QPoint(80, 60), Qt::LeftButton);
    test::SendMouse(&dialog, QEvent::MouseButtonRelease, QPoint(80, 60));
    EXPECT_EQ(dialog.pos(), QPoint(100, 115));
}

// A drag whose release never came (let go over another window, or while a modal dialog held
// the mouse) is over at the next press, or when the dialog is hidden: a later drag on the
// dialog's area moves nothing.
TEST_F(SkinDialogTest, ADragThatLostItsReleaseMovesNothingLater) {
    const struct {
        const char* name;
        QPoint press;  // where the lost drag began
        bool hidden;   // the dialog was hidden and shown again, else pressed below the caption
    } cases[] = {
        {"the caption band, then a press below it", {50, 22}, false},
        {"the top rows, then a press below the caption", {50, 3}, false},
        {"the caption band, then hidden", {50, 22}, true},
        {"the top rows, then hidden", {50, 3}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint start = dialog.pos();
        test::SendMouse(&dialog, QEvent::MouseButtonPress, c.press);
        test::SendMove(&dialog, c.press + QPoint(0, 10), Qt::LeftButton);
        const QPoint moved = dialog.pos();
        ASSERT_EQ(moved, start + QPoint(0, 10));
        if (c.hidden) {
            dialog.hide();
            dialog.show();
            EXPECT_FALSE(dialog.IsDragging());
            test::SendMove(&dialog, QPoint(80, 90), Qt::LeftButton);
        } else {
            test::SendMouse(&dialog, QEvent::MouseButtonPress, QPoint(50, 60));
            EXPECT_FALSE(dialog.IsDragging());
            test::SendMove(&dialog, QPoint(80, 90), Qt::LeftButton);
            test::SendMouse(&dialog, QEvent::MouseButtonRelease, QPoint(80, 90));
        }
        EXPECT_EQ(dialog.pos(), moved);
    }
}

TEST_F(SkinDialogTest, TheCloseButtonSitsInTheCornerAndCancels) {
    EXPECT_EQ(dialog.GetCloseButton(), nullptr);
    dialog.RepositionCloseButton();  // nothing to move yet
    dialog.CreateCloseButton(19);
    CSkinButton* close = dialog.GetCloseButton();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->GetDlgCtrlID(), 19);
    EXPECT_EQ(close->geometry(), QRect(280, 4, 13, 12));
    EXPECT_EQ(close->m_nFrameWidth, 13);
    EXPECT_EQ(close->m_nFrameHeight, 12);

    dialog.resize(400, 200);
    dialog.RepositionCloseButton();
    EXPECT_EQ(close->geometry(), QRect(380, 4, 13, 12));

    QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDCANCEL);
}

TEST_F(SkinDialogTest, EnterAndEscapeDoNotEndItButOtherKeysReachTheControls) {
    auto* edit = new QLineEdit(&dialog);
    edit->setGeometry(20, 40, 200, 24);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setGeometry(20, 100, 80, 30);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    edit->show();
    ok->show();
    edit->setFocus();
    dialog.setResult(0);

    for (QWidget* target : {static_cast<QWidget*>(edit), static_cast<QWidget*>(ok), static_cast<QWidget*>(&dialog)}) {
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        QTest::keyClick(target, Qt::Key_Escape);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);

    QTest::keyClicks(edit, QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("d"));
    EXPECT_EQ(edit->text(), QStringLiteral("abd"));

    // The dialog's own buttons still end it.
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
}

TEST(SkinDialogScaled, StripAndCloseButtonScale) {
    test::ScaleScope scale(1.5f);
    CSkinDialog dialog;
    dialog.resize(300, 200);
    dialog.move(0, 0);
    dialog.show();
    dialog.CreateCloseButton(18);
    EXPECT_EQ(dialog.GetCloseButton()->geometry(), QRect(270, 6, 19, 18));
    const QImage image = dialog.grab().toImage();
    EXPECT_EQ(image.pixel(150, 29), kTitleGrey);
    EXPECT_NE(image.pixel(150, 30), kTitleGrey);
    EXPECT_EQ(dialog.OnNcHitTest(POINT{10, 8}), HTCLIENT);
    EXPECT_EQ(dialog.OnNcHitTest(POINT{10, 9}), HTCAPTION);
    EXPECT_EQ(dialog.OnNcHitTest(POINT{10, 35}), HTCAPTION);
    EXPECT_EQ(dialog.OnNcHitTest(POINT{10, 36}), HTCLIENT);
}

}  // namespace
}  // namespace orv
