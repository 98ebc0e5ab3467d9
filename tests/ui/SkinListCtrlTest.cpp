#include "ui/SkinListCtrl.h"

#include <QCoreApplication>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"

namespace orv {
namespace {

// A list of four rows with the boxes of strip 217 as its state images.
class SkinListCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        ImageList boxes;
        ASSERT_TRUE(boxes.Create(test::StoredPicture(217), 12, 12));
        list.SetStateImageList(boxes);
        list.setHeaderLabels({QStringLiteral("name"), QStringLiteral("size")});
        for (int i = 0; i < 4; ++i) list.addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("row %1").arg(i)}));
        list.resize(300, 200);
        list.show();
        QCoreApplication::processEvents();
    }
    unsigned Image(int row) const { return list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12; }
    void SetImage(int row, unsigned image) {
        ASSERT_TRUE(list.SetItemState(row, INDEXTOSTATEIMAGEMASK(image), LVIS_STATEIMAGEMASK));
    }
    QPoint On(int row) const { return list.visualItemRect(list.topLevelItem(row)).center(); }
    void Click(int row) {
        test::SendMouse(list.viewport(), QEvent::MouseButtonPress, On(row));
        test::SendMouse(list.viewport(), QEvent::MouseButtonRelease, On(row));
    }

    test::ScaleScope scale{1.0f};
    CSkinListCtrl list;
};

TEST_F(SkinListCtrlTest, StateImagesLiveInTheirBits) {
    SetImage(1, 3);
    EXPECT_EQ(list.GetItemState(1, LVIS_STATEIMAGEMASK), 0x3000u);
    EXPECT_EQ(list.GetItemState(1, 0x0FFF), 0u);
    EXPECT_EQ(list.GetItemState(0, LVIS_STATEIMAGEMASK), 0u);  // no box yet
    EXPECT_TRUE(list.SetItemState(1, INDEXTOSTATEIMAGEMASK(1), 0x0FFF));  // mask leaves the image alone
    EXPECT_EQ(Image(1), 3u);
    EXPECT_FALSE(list.SetItemState(9, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK));
    EXPECT_EQ(list.GetItemState(9, LVIS_STATEIMAGEMASK), 0u);
}

TEST_F(SkinListCtrlTest, TheRowUnderTheMouseShowsItsBoxHot) {
    SetImage(0, 1);
    SetImage(1, 1);
    SetImage(2, 3);
    test::SendMove(list.viewport(), On(0));
    EXPECT_EQ(list.GetHotItem(), 0);
    EXPECT_EQ(Image(0), 2u);
    test::SendMove(list.viewport(), On(1));
    EXPECT_EQ(list.GetHotItem(), 1);
    EXPECT_EQ(Image(0), 1u);
    EXPECT_EQ(Image(1), 2u);
    test::SendMove(list.viewport(), On(2));  // ticked rows stay ticked
    EXPECT_EQ(Image(1), 1u);
    EXPECT_EQ(Image(2), 3u);
    test::SendMove(list.viewport(), On(1));
    test::SendLeave(list.viewport());
    EXPECT_EQ(list.GetHotItem(), -1);
    EXPECT_EQ(Image(1), 1u);
}

TEST_F(SkinListCtrlTest, AClickFlipsTheBoxAndTellsTheOwner) {
    int changes = 0;
    QObject::connect(&list, &QTreeWidget::itemChanged, [&changes] { ++changes; });
    SetImage(0, 1);
    SetImage(1, 2);
    SetImage(2, 3);
    changes = 0;
    Click(0);
    Click(1);
    Click(2);
    Click(3);  // no box: becomes unticked
    EXPECT_EQ(Image(0), 3u);
    EXPECT_EQ(Image(1), 3u);
    EXPECT_EQ(Image(2), 1u);
    EXPECT_EQ(Image(3), 1u);
    EXPECT_GE(changes, 4);
    // A click below the rows changes nothing.
    test::SendMouse(list.viewport(), QEvent::MouseButtonPress, QPoint(10, 190));
    test::SendMouse(list.viewport(), QEvent::MouseButtonRelease, QPoint(10, 190));
    EXPECT_EQ(list.GetHotItem(), -1);
    EXPECT_EQ(Image(0), 3u);
}

}  // namespace
}  // namespace orv
