#include "ui/MsgBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"

namespace orv {
namespace {

const RECT kParent{0, 0, 800, 600};

TEST(MsgDlgLayout, OneLineAtScaleOne) {
    test::ScaleScope scale(1.0f);
    CMsgDlg ok(nullptr, QStringLiteral("x"), QStringLiteral("c"), MSGBOX_OK);
    ok.PlaceControls(SIZE{200, 18}, kParent);
    EXPECT_EQ(ok.geometry(), QRect(260, 221, 280, 158));
    EXPECT_EQ(ok.GetTextControl()->geometry(), QRect(40, 30, 240, 48));
    EXPECT_EQ(ok.GetOkButton()->geometry(), QRect(165, 113, 100, 30));
    EXPECT_FALSE(ok.GetOkButton()->isHidden());
    EXPECT_TRUE(ok.GetCancelButton()->isHidden());

    CMsgDlg okCancel(nullptr, QStringLiteral("x"), QStringLiteral("c"), MSGBOX_OKCANCEL);
    okCancel.PlaceControls(SIZE{200, 18}, kParent);
    EXPECT_EQ(okCancel.GetCancelButton()->geometry(), QRect(165, 113, 100, 30));
    EXPECT_EQ(okCancel.GetOkButton()->geometry(), QRect(50, 113, 100, 30));
    EXPECT_FALSE(okCancel.GetOkButton()->isHidden());
    EXPECT_FALSE(okCancel.GetCancelButton()->isHidden());

    // Any other type leaves the buttons where the template has them.
    CMsgDlg other(nullptr, QStringLiteral("x"), QStringLiteral("c"), MsgBoxType(7));
    const QRect okBefore = other.GetOkButton()->geometry();
    const QRect cancelBefore = other.GetCancelButton()->geometry();
    other.PlaceControls(SIZE{300, 40}, kParent);
    EXPECT_EQ(other.GetOkButton()->geometry(), okBefore);
    EXPECT_EQ(other.GetCancelButton()->geometry(), cancelBefore);
    EXPECT_EQ(other.size(), QSize(380, 180));
}

TEST(MsgDlgLayout, MarginsAndButtonsScale) {
    test::ScaleScope scale(1.5f);
    CMsgDlg box(nullptr, QStringLiteral("x"), QStringLiteral("c"), MSGBOX_OKCANCEL);
    // The text's size is taken as measured: the font already has the scale.
    box.PlaceControls(SIZE{300, 27}, RECT{100, 100, 100, 100});
    EXPECT_EQ(box.geometry(), QRect(-110, -18, 420, 237));  // halves truncated toward zero
    EXPECT_EQ(box.GetTextControl()->geometry(), QRect(60, 45, 360, 72));
    EXPECT_EQ(box.GetCancelButton()->geometry(), QRect(248, 170, 150, 45));
    EXPECT_EQ(box.GetOkButton()->geometry(), QRect(76, 170, 150, 45));
}

TEST(MsgDlgMeasure, WidestLineAndTheSumOfTheHeights) {
    test::ScaleScope scale(1.0f);
    const QFontMetrics fm(*g_hFont10);
    const int line = fm.ascent() + fm.descent();
    QImage surface(10, 10, QImage::Format_RGB32);
    DeviceContext dc(&surface);
    dc.SelectFont(g_hFont10);
    EXPECT_EQ(CMsgDlg::MeasureMessageText(dc, QStringLiteral("a\nbb\nccc")),
              (SIZE{fm.horizontalAdvance(QStringLiteral("ccc")), 3 * line}));
    EXPECT_EQ(CMsgDlg::MeasureMessageText(dc, QStringLiteral("wide line\nx")),
              (SIZE{fm.horizontalAdvance(QStringLiteral("wide line")), 2 * line}));
    EXPECT_EQ(CMsgDlg::MeasureMessageText(dc, QStringLiteral("one\r\n")), (SIZE{fm.horizontalAdvance(QStringLiteral("one")), 2 * line}));
}

// The box sizes itself from its text measured in the font it draws it in, at 1.5.
TEST(MsgDlgShown, SizedToItsTextInItsOwnFontAndCentred) {
    test::ScaleScope scale(1.5f);
    const QFontMetrics fm(*g_hFont10);
    const int line = fm.ascent() + fm.descent();
    const QString one = QStringLiteral("動画のオープンに失敗しました。");
    const QString three = QStringLiteral("一\n二行\n三行目");
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();

    CMsgDlg single(nullptr, one, QStringLiteral("ERROR"), MSGBOX_OK);
    single.show();
    const int w1 = fm.horizontalAdvance(one);
    EXPECT_EQ(single.size(), QSize(w1 + 120, line + 90 + 90 + 30));
    EXPECT_LE(std::abs(single.geometry().center().x() - desktop.center().x()), 1);
    EXPECT_LE(std::abs(single.geometry().center().y() - desktop.center().y()), 1);
    EXPECT_EQ(single.windowTitle(), QStringLiteral("ERROR"));
    EXPECT_EQ(single.GetOkButton()->geometry(), QRect(w1 + 120 - 22 - 150, line + 210 - 22 - 45, 150, 45));
    EXPECT_EQ(single.GetTextControl()->font(), *g_hFont10);

    QWidget parent;
    parent.setGeometry(50, 60, 600, 400);
    parent.show();
    CMsgDlg triple(&parent, three, QStringLiteral("c"), MSGBOX_OKCANCEL);
    triple.show();
    const int w3 = fm.horizontalAdvance(QStringLiteral("三行目"));
    EXPECT_EQ(triple.size(), QSize(w3 + 120, 3 * line + 210));
    EXPECT_LE(std::abs(triple.geometry().center().x() - parent.geometry().center().x()), 1);
    EXPECT_LE(std::abs(triple.geometry().center().y() - parent.geometry().center().y()), 1);
    // Every line fits in the text control.
    const QRect text = triple.GetTextControl()->geometry();
    EXPECT_GE(text.width(), w3);
    EXPECT_GE(text.height(), 3 * line);
    EXPECT_EQ(triple.GetCancelButton()->geometry().right(), triple.width() - 22 - 1);
}

// Runs `step` on the modal box once it is up.
void WhenModal(std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, [step] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        step(box);
    });
}

TEST(MsgBoxShow, OnlyTheButtonsEndTheBox) {
    test::ScaleScope scale(1.0f);
    CMsgBox box;
    bool stillUp = false;
    WhenModal([&stillUp](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_Return);
        QTest::keyClick(dialog, Qt::Key_Escape);
        auto* msg = static_cast<CMsgDlg*>(dialog);
        QTest::keyClick(msg->GetOkButton(), Qt::Key_Return);
        stillUp = dialog->isVisible();
        QTest::mouseClick(msg->GetCancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(box.Show(QStringLiteral("続行しますか？"), QStringLiteral("確認"), MSGBOX_OKCANCEL), IDCANCEL);
    EXPECT_TRUE(stillUp);

    WhenModal([](QWidget* dialog) { QTest::mouseClick(static_cast<CMsgDlg*>(dialog)->GetOkButton(), Qt::LeftButton); });
    EXPECT_EQ(box.Show(QStringLiteral("完了しました。"), QStringLiteral("終了"), MSGBOX_OK), IDOK);
}

}  // namespace
}  // namespace orv
