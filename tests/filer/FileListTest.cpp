// The file list: row colours, the selection it reports, and the hover popup's size, place
// and hiding rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollBar>

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

TEST(PreviewPopup, IsSixteenByNineAndStandsLeftOfTheListCentredOnTheRow) {
    {
        test::ScaleScope scale(1.0f);
        EXPECT_EQ(PreviewPopupSize(), (SIZE{220, 123}));
    }
    {
        test::ScaleScope scale(1.5f);
        EXPECT_EQ(PreviewPopupSize(), (SIZE{330, 185}));
    }
    struct Case {
        int left, rowTop, rowBottom, listBottom;
        POINT at;
    } cases[] = {
        {500, 100, 120, 900, {280, 48}},   // centred on the row
        {500, 850, 870, 900, {280, 777}},  // would pass the list's bottom
        {500, -40, -20, 900, {280, -91}},  // no clamp at the top
    };
    for (const Case& c : cases) {
        const POINT at = PlacePreviewPopup(c.left, c.rowTop, c.rowBottom, c.listBottom, SIZE{220, 123});
        EXPECT_EQ(at, c.at) << c.rowTop;
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
    EXPECT_EQ(tip->x() + tip->width(), list.viewport()->mapToGlobal(QPoint(0, 0)).x());

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
