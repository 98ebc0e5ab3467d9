// The file list: row colours, the selection it reports, and the hover popup's size, place
// and hiding rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>

#include <memory>

#include "filer/FileListCtrl.h"
#include "filer/FilerTestSupport.h"
#include "fixtures/MovieMaker.h"
#include "platform/gdi/DeviceContext.h"
#include "playback/preview/MFSession.h"

namespace orv::filer_test {
namespace {

sFILEENTRY Entry(const std::string& letters, int serial) {
    sFILEENTRY e;
    e.path = "/card/Normal/" + fixtures::RecorderName(letters, "220101", "120000", serial, 'M');
    return e;
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.m_pOwner = &owner;
        list.InsertColumns();
        for (bool& on : list.m_bFilter) on = true;
        list.m_vecEntries = {Entry("A___", 1), Entry("AG__", 2), Entry("AM__", 3), Entry("PG__", 4), Entry("P___", 5)};
        list.resize(200, 5 * 20 + 10);  // five whole rows and part of a sixth
        list.move(400, 100);
        list.show();
        list.RefillList();
        QApplication::processEvents();
    }

    QPoint RowCentre(int row) const {
        const RECT b = list.GetItemBounds(row);
        return list.viewport()->mapToGlobal(QPoint(10, (b.top + b.bottom) / 2));
    }

    test::ScaleScope scale{1.0f};
    FakeOwner owner;
    CFileListCtrl list;
};

// The preview session belongs to the list that made it: a later list uses it and leaves it
// alone at its end; the maker's end stops and frees it, and the next list makes a new one.
TEST(FileListPreviewSession, OnlyTheListThatMadeTheSessionEndsIt) {
    ASSERT_EQ(g_pPreviewSession, nullptr);
    auto maker = std::make_unique<CFileListCtrl>();
    CMFSession* made = g_pPreviewSession;
    ASSERT_NE(made, nullptr);
    {
        CFileListCtrl user;
        EXPECT_EQ(g_pPreviewSession, made);
    }
    EXPECT_EQ(g_pPreviewSession, made);
    maker.reset();
    EXPECT_EQ(g_pPreviewSession, nullptr);
    CFileListCtrl next;
    EXPECT_NE(g_pPreviewSession, nullptr);
}

TEST(FileRowColours, ImpactKindsAreWarmAndTheCurrentRowDarker) {
    struct Case {
        RecordingKind kind;
        bool current;
        COLORREF fill;
    } cases[] = {
        {REC_CONTINUOUS, false, RGB(255, 255, 255)}, {REC_IMPACT, false, RGB(255, 255, 204)},
        {REC_PARKING_IMPACT, false, RGB(255, 255, 204)}, {REC_MANUAL, false, RGB(255, 255, 255)},
        {REC_CONTINUOUS, true, RGB(178, 178, 178)}, {REC_IMPACT, true, RGB(178, 178, 142)},
        {REC_PARKING_IMPACT, true, RGB(178, 178, 142)}, {REC_RADAR, true, RGB(178, 178, 178)},
    };
    for (const Case& c : cases) EXPECT_EQ(FileRowFill(c.kind, c.current), c.fill) << c.kind << c.current;
}

TEST_F(FileListTest, RowsArePaintedByKindWithTheCurrentRowMarked) {
    list.SetCurrentRow(1);
    const QImage shot = list.viewport()->grab().toImage();
    const COLORREF expected[] = {RGB(255, 255, 255), RGB(178, 178, 142), RGB(255, 255, 255), RGB(255, 255, 204),
                                 RGB(255, 255, 255)};
    for (int row = 0; row < 5; ++row) {
        const RECT b = list.GetItemBounds(row);
        EXPECT_EQ(shot.pixel(b.right - 3, b.top + 2) & 0xFFFFFF, ToQColor(expected[row]).rgb() & 0xFFFFFF) << row;
    }
    EXPECT_EQ(list.GetItemText(0), "A___-120000-000001");
}

TEST_F(FileListTest, SelectingTheCurrentRowOpensItOnlyOnAReselectRequest) {
    list.SelectOnlyRow(2);
    EXPECT_EQ(owner.selected, std::vector<int>{2});
    list.SelectOnlyRow(2);  // already current
    EXPECT_EQ(owner.selected, std::vector<int>{2});
    owner.reselect = true;
    list.SelectOnlyRow(2);
    EXPECT_EQ(owner.selected, (std::vector<int>{2, 2}));
    // The entry shown at the row comes with it: the owner needs no look into the list.
    EXPECT_EQ(owner.selectedPaths, (std::vector<std::string>{list.m_vecShown[2].path, list.m_vecShown[2].path}));
    EXPECT_FALSE(owner.reselect);
    list.SelectOnlyRow(7);  // no such row
    EXPECT_EQ(list.GetSelectedRow(), -1);
    EXPECT_EQ(owner.selected.size(), 2u);
}

TEST_F(FileListTest, AllFiltersOffLeaveAnEmptyListWithItsScrollBarDisabled) {
    for (bool& on : list.m_bFilter) on = false;
    list.RefillList();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_TRUE(list.m_vecShown.empty());
    EXPECT_FALSE(list.verticalScrollBar()->isEnabled());
    list.m_bFilter[REC_IMPACT] = true;
    list.RefillList();
    EXPECT_EQ(list.GetItemCount(), 1);
    EXPECT_TRUE(list.verticalScrollBar()->isEnabled());
}

TEST(PreviewPopup, IsSixteenByNineAndStandsBesideTheListNeverOverTheTreeOrAboveTheList) {
    {
        test::ScaleScope scale(1.0f);
        EXPECT_EQ(PreviewPopupSize(), (SIZE{220, 123}));
    }
    {
        test::ScaleScope scale(1.5f);
        EXPECT_EQ(PreviewPopupSize(), (SIZE{330, 185}));
    }
    const QRect list(500, 300, 200, 400);        // the list's window, rows from 300 to 700
    const QRect treeBeside(280, 300, 216, 400);  // side by side: the tree left of the list
    const QRect treeAbove(500, 100, 200, 190);   // stacked: the tree above the list
    const QRect wide(0, 0, 1920, 1080), narrow(0, 0, 760, 1080);
    struct Case {
        const char* name;
        int rowTop;
        QRect screen;
        QRect tree;
        QPoint at;
    } cases[] = {
        {"right of the list, centred on the row", 400, wide, treeBeside, {700, 348}},
        {"the top row: not above the list, where the toggles are", 300, wide, treeBeside, {700, 300}},
        {"the bottom row: not below the list", 680, wide, treeBeside, {700, 577}},
        {"no room on the right: left of the tree beside the list", 400, narrow, treeBeside, {60, 348}},
        {"no room on the right, the tree above: left of the list", 400, narrow, treeAbove, {280, 348}},
        {"no room on either side: over the list's right part", 400, QRect(450, 0, 300, 1080), treeBeside, {530, 348}},
    };
    for (const Case& c : cases) {
        const QPoint at = PlacePreviewPopup(list, c.rowTop, c.rowTop + 20, QSize(220, 123), c.screen, {c.tree});
        EXPECT_EQ(at, c.at) << c.name;
    }
}

TEST_F(FileListTest, HoverShowsThePopupOverARowAndHidesItWhenCoveredOrOffTheRows) {
    ASSERT_NE(g_pPreviewSession, nullptr);
    CTipWindow* tip = list.GetTipWindow();
    ASSERT_NE(tip, nullptr);

    EXPECT_TRUE(list.UpdatePreviewAt(RowCentre(1), list.viewport()));
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(owner.previewed, std::vector<int>{1});
    EXPECT_EQ(owner.previewedPaths, std::vector<std::string>{list.m_vecShown[1].path});
    EXPECT_EQ(tip->size(), QSize(220, 123));
    // Beside the list, within its height.
    const QRect listArea(list.mapToGlobal(QPoint(0, 0)), list.size());
    EXPECT_FALSE(tip->geometry().intersects(listArea));
    EXPECT_GE(tip->y(), listArea.top());

    // The same row again: the preview goes on without a new open.
    EXPECT_TRUE(list.UpdatePreviewAt(RowCentre(1), list.viewport()));
    EXPECT_EQ(owner.previewed.size(), 1u);

    // Covered by another window: suppressed and hidden; back over the list: shown again.
    QLabel other;
    EXPECT_FALSE(list.UpdatePreviewAt(RowCentre(1), &other));
    EXPECT_TRUE(list.IsHoverSuppressed());
    EXPECT_FALSE(tip->isVisible());
    EXPECT_TRUE(list.UpdatePreviewAt(RowCentre(1), list.viewport()));
    EXPECT_EQ(owner.previewed.size(), 2u);

    // The partly shown sixth row lies outside the whole rows.
    list.m_vecEntries.push_back(Entry("A___", 6));
    list.RefillList();
    EXPECT_FALSE(list.UpdatePreviewAt(RowCentre(5), list.viewport()));
    EXPECT_FALSE(tip->isVisible());

    // Leaving the list ends the preview.
    EXPECT_TRUE(list.UpdatePreviewAt(RowCentre(0), list.viewport()));
    list.OnMouseLeave();
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(list.m_rcHover, (RECT{-1, -1, -1, -1}));
}

// A wheel turn moves other rows under the resting pointer: the preview of the row it left
// goes at once, and the next hover previews the row now under the pointer.
TEST_F(FileListTest, AfterAWheelScrollThePreviewIsOfTheRowUnderThePointer) {
    for (int serial = 6; serial <= 12; ++serial) list.m_vecEntries.push_back(Entry("A___", serial));
    list.RefillList();
    CTipWindow* tip = list.GetTipWindow();
    const QPoint pointer = RowCentre(1);
    ASSERT_TRUE(list.UpdatePreviewAt(pointer, list.viewport()));
    ASSERT_EQ(owner.previewed, std::vector<int>{1});

    const QPoint local = list.viewport()->mapFromGlobal(pointer);
    QWheelEvent wheel(local, pointer, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list.viewport(), &wheel);
    const int under = list.GetTopIndex() + 1;
    ASSERT_GT(under, 1);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(list.GetHoverRow(), -1);

    EXPECT_TRUE(list.UpdatePreviewAt(pointer, list.viewport()));
    EXPECT_EQ(owner.previewed, (std::vector<int>{1, under}));
    EXPECT_EQ(owner.previewedPaths.back(), list.m_vecShown[std::size_t(under)].path);
    EXPECT_EQ(list.GetHoverRow(), under);
    EXPECT_TRUE(tip->isVisible());
}

TEST_F(FileListTest, HoverPlaysTheRowsMovieInThePopup) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is needed for the movie";
    fixtures::TempDir dir;
    fixtures::MovieSpec params;
    params.seconds = 1.0;
    const std::string movie = dir.Path() + "/AG__-220101-120000-000002M.MOV";
    ASSERT_TRUE(fixtures::MakeMovie(params, movie, nullptr));
    list.m_vecShown[1].path = movie;
    owner.playFrom = &list;
    ASSERT_TRUE(list.UpdatePreviewAt(RowCentre(1), list.viewport()));
    CTipWindow* tip = list.GetTipWindow();
    QElapsedTimer timer;
    timer.start();
    while (tip->FrameCount() == 0 && timer.elapsed() < 15000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GT(tip->FrameCount(), 0);
    EXPECT_EQ(tip->LastFrame().size(), QSize(320, 240));
    list.StopPreview();
    EXPECT_EQ(g_pPreviewSession->GetFlags(), 0u);
}

TEST_F(FileListTest, HoverWithThePreviewSwitchedOffShowsNothing) {
    list.EnablePreview(FALSE);
    QCursor::setPos(RowCentre(0));
    list.OnMouseHover();
    EXPECT_FALSE(list.GetTipWindow()->isVisible());
    EXPECT_TRUE(owner.previewed.empty());
}

}  // namespace
}  // namespace orv::filer_test
