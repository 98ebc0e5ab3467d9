#include "ui/LogoDlg.h"

#include <gtest/gtest.h>

#include "ControlTestSupport.h"
#include "ui/ResourceImage.h"

namespace orv {
namespace {

constexpr QRgb kGround = qRgb(255, 0, 255);
constexpr QRgb kWhite = qRgb(255, 255, 255);

TEST(LogoDlg, ShowsTheLogoOrTheNoticeFramedInWhite) {
    test::ScaleScope scale(1.0f);
    QWidget mainWindow;
    mainWindow.resize(1200, 750);
    CResourceImage store;
    store.LoadImages(&mainWindow);
    const QImage logo = test::StoredPicture(CLogoDlg::kLogo);
    const QImage notice = test::StoredPicture(CLogoDlg::kNoMapNotice);
    ASSERT_EQ(logo.size(), QSize(452, 392));

    CLogoDlg pane(&store);
    pane.resize(452, 392);  // the pictures' own size: drawn pixel for pixel
    // A point in the notice, where the two pictures differ.
    QPoint inNotice;
    for (int y = 300; y < 392 && inNotice.isNull(); ++y)
        for (int x = 100; x < 352; ++x)
            if (logo.pixel(x, y) != notice.pixel(x, y)) {
                inNotice = QPoint(x, y);
                break;
            }
    ASSERT_FALSE(inNotice.isNull());

    QImage image = test::Render(pane, kGround);
    EXPECT_EQ(image.pixel(inNotice), logo.pixel(inNotice));
    EXPECT_EQ(image.pixel(0, 0), kWhite);
    EXPECT_EQ(image.pixel(451, 391), kWhite);
    EXPECT_EQ(image.pixel(1, 1), logo.pixel(1, 1));

    pane.SetOnline(FALSE);
    image = test::Render(pane, kGround);
    EXPECT_EQ(image.pixel(inNotice), notice.pixel(inNotice));
    EXPECT_EQ(image.pixel(451, 0), kWhite);

    // Stretched over a smaller pane, the frame stays on the edge.
    pane.resize(226, 196);
    image = test::Render(pane, kGround);
    EXPECT_EQ(image.pixel(225, 195), kWhite);
    EXPECT_EQ(test::CountColour(image, image.rect(), kGround), 0);

    // Without a store nothing is drawn.
    CLogoDlg empty(nullptr);
    empty.resize(20, 20);
    EXPECT_EQ(test::CountColour(test::Render(empty, kGround), QRect(0, 0, 20, 20), kGround), 400);
}

}  // namespace
}  // namespace orv
