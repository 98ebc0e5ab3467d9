// The folder tree: item paths, the kind badge, the selection it reports, and the header's
// gradient.
#include <gtest/gtest.h>

#include <QApplication>

#include "filer/FolderTreeCtrl.h"
#include "filer/FilerTestSupport.h"
#include "recorder/RecordingName.h"

namespace orv::filer_test {
namespace {

TEST(FolderTree, ItemPathJoinsAncestorsBehindTheRootPath) {
    CFolderTreeCtrl tree;
    const FolderTreeItem a = *tree.InsertItem(kFolderTreeRoot, "A");
    const FolderTreeItem b = *tree.InsertItem(a, "B");
    struct Case {
        std::string root;
        FolderTreeItem item;
        std::string path;
    } cases[] = {
        {"", a, "A"}, {"", b, "A/B"}, {"/card", b, "/card/A/B"}, {"/card/", a, "/card/A"},
        {"/card", kFolderTreeRoot, "/card/"}, {"/", b, "/A/B"},
    };
    for (const Case& c : cases) {
        tree.SetRootPath(c.root);
        EXPECT_EQ(tree.GetItemPath(c.item), c.path) << c.root;
    }
    // A deleted item's handle names nothing, even when new items follow.
    tree.DeleteChildItems(a);
    *tree.InsertItem(a, "C");
    tree.SetRootPath("");
    EXPECT_EQ(tree.GetItemPath(b), "");
    EXPECT_EQ(tree.GetItemCount(), 2);
}

TEST(FolderTree, BadgeLightsOneLetteredCellPerKindFlag) {
    const unsigned all = REC_FLAG_CONTINUOUS | REC_FLAG_MANUAL | REC_FLAG_IMPACT | REC_FLAG_PARKING |
                         REC_FLAG_PARKING_IMPACT | REC_FLAG_SPEED_CAMERA | REC_FLAG_RADAR;
    struct Case {
        unsigned flags;
        std::string letters;
    } cases[] = {
        {0, ""}, {REC_FLAG_CONTINUOUS, ""}, {REC_FLAG_MANUAL | REC_FLAG_RADAR, "MR"},
        {REC_FLAG_IMPACT, "G"}, {REC_FLAG_PARKING_IMPACT, "S"}, {REC_FLAG_PARKING, "P"},
        {REC_FLAG_SPEED_CAMERA, "O"}, {all, "MGSPOR"},
    };
    for (const Case& c : cases) {
        std::string letters;
        for (const KindBadgeCell& cell : KindBadgeCells(c.flags)) letters += cell.letter;
        EXPECT_EQ(letters, c.letters) << c.flags;
    }
    // Only lit cells carry ink beyond the plain grid: compare with the empty badge.
    test::ScaleScope scale(1.0f);
    const QImage plain = MakeKindBadge(0);
    const QImage lit = MakeKindBadge(REC_FLAG_MANUAL | REC_FLAG_RADAR);
    ASSERT_EQ(plain.size(), QSize(39, 26));
    const int cellW = 26 / 3, cellH = 21 / 2;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect cell(column * cellW, 5 + row * cellH, cellW, cellH);
            int differ = 0;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x) differ += plain.pixel(x, y) != lit.pixel(x, y);
            const bool expectLit = (row == 0 && column == 1) || (row == 1 && column == 2);
            EXPECT_EQ(differ > 0, expectLit) << row << "," << column;
        }
    }
}

TEST(FolderTree, BadgeShowsBelowTheTopLevelOnly) {
    test::ScaleScope scale(1.0f);
    CFolderTreeCtrl tree;
    tree.resize(240, 120);
    const FolderTreeItem top = *tree.InsertItem(kFolderTreeRoot, "Normal");
    tree.SetItemData(top, REC_FLAG_IMPACT);
    const FolderTreeItem group = *tree.InsertItem(top, "220101_0001");
    tree.SetItemData(group, REC_FLAG_IMPACT);
    tree.ExpandToItem(group);
    tree.show();
    QApplication::processEvents();
    const QImage shot = test::Render(tree, 0xFFFFFF);
    const QRect topRow = tree.visualItemRect(tree.ItemOf(top)).translated(tree.viewport()->pos());
    const QRect groupRow = tree.visualItemRect(tree.ItemOf(group)).translated(tree.viewport()->pos());
    const QRgb orange = qRgb(255, 214, 150);
    EXPECT_EQ(test::CountColour(shot, topRow, orange), 0);
    EXPECT_GT(test::CountColour(shot, groupRow, orange), 0);
}

TEST(FolderTree, ReselectingTheTopItemsReportsOnlyTheSelectionThatStays) {
    FakeOwner owner;
    CFolderTreeCtrl tree;
    tree.SetOwner(owner.GetOwnerHwnd());
    const FolderTreeItem first = *tree.InsertItem(kFolderTreeRoot, "Config");
    tree.InsertItem(kFolderTreeRoot, "Normal");
    tree.InsertItem(kFolderTreeRoot, "Parking");
    owner.ClearPosted();
    tree.ReselectTopItems();
    QApplication::processEvents();
    EXPECT_EQ(tree.GetSelectedItem(), first);
    const auto posted = owner.Posted_();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, unsigned(WM_APP_FOLDER_SELECTED));
    EXPECT_EQ(FolderTreeItem(posted[0].lParam), first);
}

TEST(FileListHeader, GradientRunsFromDarkAtTheBottomToLightAtTheTop) {
    const auto bands = HeaderGradientBands(20);
    ASSERT_EQ(bands.size(), 20u);
    EXPECT_EQ(bands.front().top, 19);
    EXPECT_EQ(bands.front().grey, 70);
    EXPECT_EQ(bands.back().top, 0);
    EXPECT_EQ(bands.back().grey, 204);
    for (std::size_t i = 1; i < bands.size(); ++i) EXPECT_GE(bands[i].grey, bands[i - 1].grey);
    // Tall items paint bands of several rows and never above the item.
    const auto tall = HeaderGradientBands(600);
    EXPECT_EQ(tall.front().height, 2);
    EXPECT_GE(tall.back().top, 0);
    EXPECT_TRUE(HeaderGradientBands(0).empty());
}

}  // namespace
}  // namespace orv::filer_test
