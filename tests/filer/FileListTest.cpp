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
#include "recorder/FolderScan.h"

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
        list.SetOwner(&owner);
        list.InsertColumns();
        for (int kind = 0; kind < kRecordingKindCount; ++kind) list.SetFilter(kind, true);
        list.SetEntries(entries);
        list.resize(200, 5 * 20 + 10);  // five whole rows and part of a sixth
        list.move(400, 100);
        list.show();
        list.RefillList();
        QApplication::processEvents();
    }

    // More recordings of the open folder, shown at once.
    void Append(const std::vector<sFILEENTRY>& more) {
        entries.insert(entries.end(), more.begin(), more.end());
        list.SetEntries(entries);
        list.RefillList();
    }
    QPoint RowCentre(int row) const {
        const RECT b = list.GetItemBounds(row);
        return list.viewport()->mapToGlobal(QPoint(10, (b.top + b.bottom) / 2));
    }

    test::ScaleScope scale{1.0f};
    FakeOwner owner;
    std::vector<sFILEENTRY> entries{Entry("A___", 1), Entry("AG__", 2), Entry("AM__", 3), Entry("PG__", 4),
                                    Entry("P___", 5)};
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
    EXPECT_EQ(owner.selectedPaths, (std::vector<std::string>{entries[2].path, entries[2].path}));
    EXPECT_FALSE(owner.reselect);
    list.SelectOnlyRow(7);  // no such row
    EXPECT_EQ(list.GetSelectedRow(), -1);
    EXPECT_EQ(owner.selected.size(), 2u);
}

// Others get copies of the entries and change them only by name: a change meant for a row
// that shows another recording by now is refused, the join marks go by number among the
// folder's entries, and a removal numbers what stays.
TEST_F(FileListTest, TheEntriesChangeOnlyByNameAndOnlyWhereTheyStillShow) {
    list.SetFilter(REC_PARKING, false);  // rows: A___ 1, AG__ 2, AM__ 3, PG__ 4
    list.RefillList();
    ASSERT_EQ(list.RowCount(), 4);
    std::vector<sFILEENTRY> copy = list.CopyOfRows();
    copy[0].sortKey2 = 99;
    EXPECT_EQ(list.EntryAt(0)->sortKey2, 0);
    EXPECT_FALSE(list.EntryAt(4).has_value());
    EXPECT_EQ(list.RowOf(entries[4].path), -1);  // filtered out
    EXPECT_EQ(list.RowOf(entries[3].path), 3);

    const SYSTEMTIME noon{2022, 1, 6, 1, 12, 0, 0, 0};
    struct Change {
        const char* name;
        int row;
        std::string path;
        bool taken;
    };
    const Change changes[] = {
        {"the row shows the recording", 1, entries[1].path, true},
        {"the row shows another one by now", 2, entries[1].path, false},
        {"no such row", 7, entries[1].path, false},
    };
    for (const Change& c : changes) {
        EXPECT_EQ(list.SetEntryQuality(c.row, c.path, 5), c.taken) << c.name;
        EXPECT_EQ(list.SetEntryStartTime(c.row, c.path, noon, 30.0f), c.taken) << c.name;
    }
    EXPECT_EQ(list.EntryAt(1)->sortKey2, 5);
    EXPECT_EQ(list.EntryAt(1)->startTime.wHour, 12);
    EXPECT_FLOAT_EQ(list.EntryAt(1)->sortKey3, 30.0f);
    EXPECT_EQ(list.EntryAt(2)->sortKey2, 0);

    std::vector<sFILEENTRY> folder = list.CopyOfFolder();
    NumberEntries(folder);
    list.MarkJoined({folder[1], folder[4]}, true);
    std::vector<int> marks;
    for (const sFILEENTRY& e : list.CopyOfFolder()) marks.push_back(e.reserved);
    EXPECT_EQ(marks, (std::vector<int>{0, 1, 0, 0, 1}));
    list.MarkJoined({folder[4]}, false);
    EXPECT_EQ(list.CopyOfFolder()[4].reserved, 0);

    list.RemoveEntries({entries[0], entries[4]});
    std::vector<std::pair<std::string, int>> rows, all;
    for (const sFILEENTRY& e : list.CopyOfRows()) rows.emplace_back(e.path, e.serial);
    for (const sFILEENTRY& e : list.CopyOfFolder()) all.emplace_back(e.path, e.serial);
    EXPECT_EQ(rows, (std::vector<std::pair<std::string, int>>{{entries[1].path, 0}, {entries[2].path, 1}, {entries[3].path, 2}}));
    EXPECT_EQ(all, rows);
    EXPECT_EQ(list.RowCount(), 3);
}

TEST_F(FileListTest, AllFiltersOffLeaveAnEmptyListWithItsScrollBarDisabled) {
    for (int kind = 0; kind < kRecordingKindCount; ++kind) list.SetFilter(kind, false);
    list.RefillList();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_FALSE(list.verticalScrollBar()->isEnabled());
    list.SetFilter(REC_IMPACT, true);
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
    EXPECT_EQ(owner.previewedPaths, std::vector<std::string>{entries[1].path});
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
    Append({Entry("A___", 6)});
    EXPECT_FALSE(list.UpdatePreviewAt(RowCentre(5), list.viewport()));
    EXPECT_FALSE(tip->isVisible());

    // Leaving the list ends the preview.
    EXPECT_TRUE(list.UpdatePreviewAt(RowCentre(0), list.viewport()));
    list.OnMouseLeave();
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(list.GetHoverRect(), (RECT{-1, -1, -1, -1}));
}

// A wheel turn moves other rows under the resting pointer: the preview of the row it left
// goes at once, and the next hover previews the row now under the pointer.
TEST_F(FileListTest, AfterAWheelScrollThePreviewIsOfTheRowUnderThePointer) {
    std::vector<sFILEENTRY> more;
    for (int serial = 6; serial <= 12; ++serial) more.push_back(Entry("A___", serial));
    Append(more);
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
    EXPECT_EQ(owner.previewedPaths.back(), list.EntryAt(under)->path);
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
    entries[1].path = movie;
    list.SetEntries(entries);
    list.RefillList();
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
