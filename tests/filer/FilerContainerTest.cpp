// The browser pane on card trees: the recorder folder it picks, the source it restores,
// the recorder it identifies, and the filters.
#include <gtest/gtest.h>

#include <QApplication>

#include <QLineEdit>
#include <QPainter>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FilerTestSupport.h"
#include "filer/FolderTreeCtrl.h"
#include "fixtures/DemoCard.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/MovieMaker.h"
#include "platform/base/Drives.h"
#include "platform/files/RemovableMounts.h"
#include "recorder/CardLayout.h"
#include "ui/CommonUtil.h"
#include "ui/SkinButton.h"

namespace orv::filer_test {
namespace {

namespace fs = std::filesystem;

class FilerContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_szStartDir = settings.Path();
        SetRemovableMountProvider([this] { return drives; });
        // Each card made here counts as a drive of its own: the folder just below tmp.
        SetDriveRootProvider([this](const std::string& path) {
            const std::string base = tmp.Path() + "/";
            if (path.compare(0, base.size(), base) != 0) return std::string();
            return path.substr(0, path.find('/', base.size()));
        });
        pane.resize(700, 600);
        pane.CreateControls(&owner);
        RECT rc;
        pane.LayoutSideBySide(&rc);
    }
    void TearDown() override {
        SetRemovableMountProvider(nullptr);
        SetDriveRootProvider({});
        g_szStartDir.clear();
    }

    std::string Card(int layout, const std::vector<std::string>& extraFolders = {}) {
        fixtures::CardBuilder card(tmp.Path() + "/card" + std::to_string(layout));
        card.MakeLayoutFolders(layout);
        for (const std::string& folder : extraFolders) card.AddFolder(folder);
        AddRecording(card, layout, "A___", 1);
        AddRecording(card, layout, "AG__", 2, "120100");
        AddRecording(card, layout, "P___", 3, "120200");
        return card.Root();
    }

    test::ScaleScope scale{1.0f};
    ChannelOneScope channel;
    fixtures::TempDir tmp;
    fixtures::TempDir settings;
    std::vector<std::string> drives;
    FakeOwner owner;
    CFilerContainerDlg pane;
};

TEST_F(FilerContainerTest, RecorderFolderIsFoundAmongAllTopItemsOnBothLayouts) {
    struct Case {
        int layout;
        std::vector<std::string> extra;
        std::string target;
    } cases[] = {
        {0, {}, "Normal/220101_0001"},
        {0, {"Config"}, "Normal/220101_0001"},
        {1, {"Config"}, "Video/220101_0001"},
    };
    for (const Case& c : cases) {
        const std::string root = Card(c.layout, c.extra);
        QApplication::processEvents();
        owner.ClearPosted();
        pane.OpenSourcePath(root, SOURCE_SD);
        EXPECT_EQ(g_nFolderLayout.load(), c.layout);
        pane.SelectRecorderFolder();
        CFolderTreeCtrl* tree = pane.GetTree();
        EXPECT_EQ(tree->GetItemPath(tree->GetSelectedItem()), root + "/" + c.target);
        // The owner hears once, of the folder that stays selected (the watcher of the card
        // removed before may still report it, late on a busy machine).
        QApplication::processEvents();
        std::vector<Posted> posted;
        for (const Posted& p : owner.Posted_())
            if (p.msg == WM_APP_FOLDER_SELECTED) posted.push_back(p);
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(FolderTreeItem(posted[0].lParam), tree->GetSelectedItem());
        EXPECT_EQ(pane.GetPathEdit()->text().toStdString(), root + "/" + c.target);
        fs::remove_all(root);
    }
    // No movie folder at all: the first top-level item.
    fixtures::CardBuilder plain(tmp.Path() + "/plain");
    plain.AddFolder("Alpha");
    plain.AddFolder("Beta");
    pane.OpenSourcePath(plain.Root(), SOURCE_SD);
    pane.SelectRecorderFolder();
    EXPECT_EQ(pane.GetTree()->GetItemText(pane.GetTree()->GetSelectedItem()), "Alpha");
}

TEST_F(FilerContainerTest, OpeningATreeItemListsItsRecordingsInScanOrder) {
    const std::string root = Card(0);
    pane.OpenSourcePath(root, SOURCE_SD);
    const FolderTreeItem target = pane.RecorderFolderTarget();
    EXPECT_TRUE(pane.OpenTreeItem(target));
    CFileListCtrl* list = pane.GetList();
    ASSERT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(list->GetItemText(0), "A___-120000-000001");
    EXPECT_EQ(list->GetItemText(1), "AG__-120100-000002");
    // A folder without recordings gives an empty list.
    const FolderTreeItem data = pane.FindTreeChildByPattern(kFolderTreeRoot, "_ndata");
    ASSERT_NE(data, kFolderTreeRoot);
    EXPECT_FALSE(pane.OpenTreeItem(data));
    EXPECT_EQ(list->GetItemCount(), 0);
}

TEST_F(FilerContainerTest, TheFolderANewSourceOpensAtIsNotReadAgainJustOnce) {
    // A movie grown in place (its folder keeps its times) tells whether opening a folder read
    // the card again: the first opening after the source's own takes what the source's scan
    // read; a later one, or one after a job gathered the source's files, reads afresh.
    for (const bool gatheredFirst : {false, true}) {
        SCOPED_TRACE(gatheredFirst);
        const std::string root = Card(0);
        pane.OpenSourcePath(root, SOURCE_SD);
        const auto first = [&] { return pane.GetList()->CopyOfFolder().front(); };
        ASSERT_FALSE(pane.GetList()->CopyOfFolder().empty());
        const std::string movie = first().path;
        const std::uint64_t before = first().movieSize;
        fs::resize_file(movie, before + 10);
        if (gatheredFirst) pane.GatherSourceFiles();

        ASSERT_TRUE(pane.OpenTreeItem(pane.RecorderFolderTarget()));
        ASSERT_EQ(first().path, movie);
        EXPECT_EQ(first().movieSize, gatheredFirst ? before + 10 : before);
        ASSERT_TRUE(pane.OpenTreeItem(pane.RecorderFolderTarget()));
        EXPECT_EQ(first().movieSize, before + 10);
        fs::remove_all(root);
    }
}

TEST_F(FilerContainerTest, FiltersAllOffEmptyTheListOneOnMakesRowZeroCurrentAndTheOwnersRowFollowsItsRecording) {
    pane.OpenSourcePath(Card(0), SOURCE_SD);
    pane.OpenTreeItem(pane.RecorderFolderTarget());
    for (int kind = 0; kind < kRecordingKindCount; ++kind) pane.SetFilterButton(kind, FALSE);
    EXPECT_EQ(pane.GetList()->GetItemCount(), 0);
    EXPECT_FALSE(pane.GetFilterButton(REC_IMPACT)->IsLatched());
    owner.currentRow = -1;
    owner.selected.clear();
    pane.SetFilterButton(REC_IMPACT, TRUE);
    EXPECT_EQ(pane.GetList()->GetItemCount(), 1);
    EXPECT_EQ(pane.GetList()->GetCurrentRow(), 0);
    EXPECT_EQ(pane.GetList()->GetSelectedRow(), 0);
    EXPECT_EQ(owner.selected, std::vector<int>{0});
    EXPECT_FALSE(pane.TakeRefilter());  // the request lasted for that selection only
    // The owner's recording stays current at the row it moves to, and nothing is opened.
    owner.selected.clear();
    pane.SetFilterButton(REC_CONTINUOUS, TRUE);
    EXPECT_EQ(owner.moved, std::vector<int>{1});
    EXPECT_EQ(pane.GetList()->GetCurrentRow(), 1);
    EXPECT_EQ(pane.GetList()->GetSelectedRow(), 1);
    EXPECT_TRUE(owner.selected.empty());
    // A click on a toggle goes to the owner, which decides.
    pane.GetFilterButton(REC_MANUAL)->click();
    EXPECT_EQ(owner.filterClicks, std::vector<int>{REC_MANUAL});
}

// Whether a selection continues playback goes with that selection only: the owner takes it
// once, also for a row that is not listed.
TEST_F(FilerContainerTest, TheContinueFlagOfASelectionIsTakenOnce) {
    pane.OpenSourcePath(Card(0), SOURCE_SD);
    pane.OpenTreeItem(pane.RecorderFolderTarget());
    const struct {
        int row;
        BOOL cont;
    } cases[] = {{0, TRUE}, {0, FALSE}, {-1, TRUE}, {99, TRUE}};
    for (const auto& c : cases) {
        pane.SelectFileRow(c.row, c.cont);
        EXPECT_EQ(pane.TakeContinue(), c.cont) << c.row;
        EXPECT_FALSE(pane.TakeContinue()) << c.row;
    }
}

TEST_F(FilerContainerTest, StartUpPrefersTheLastDriveThenTheFolderThenTheMovie) {
    const std::string e = Card(0);
    const std::string f = Card(1);
    drives = {e, f};
    WriteIniString("SOURCE", "FOLDER", e);
    ASSERT_TRUE(pane.InitFromDefaultFolder());
    EXPECT_EQ(pane.GetSourceKind(), SOURCE_SD);
    EXPECT_EQ(pane.GetSourcePath(), f);

    // No drive, the remembered folder gone, the remembered movie still there.
    drives.clear();
    WriteIniString("SOURCE", "FOLDER", tmp.Path() + "/gone");
    fixtures::CardBuilder loose(tmp.Path() + "/loose");
    const std::string movie = AddRecording(loose, -1, "A___", 9);
    WriteIniString("SOURCE", "FILE", movie);
    ASSERT_TRUE(pane.InitFromDefaultFolder());
    EXPECT_EQ(pane.GetSourceKind(), SOURCE_FILE);
    EXPECT_EQ(pane.GetList()->GetItemCount(), 1);
    EXPECT_EQ(pane.GetTree()->GetRootPath(), loose.Root());

    WriteIniString("SOURCE", "FILE", tmp.Path() + "/gone.MOV");
    EXPECT_FALSE(pane.InitFromDefaultFolder());
}

TEST_F(FilerContainerTest, TheStartUpSourceReadAheadServesItsOpeningUntilAFolderOfItChanges) {
    // A movie grown in place after the read-ahead (its folder keeps its times) tells whether
    // the opening read it again.
    for (const bool recordingAdded : {false, true}) {
        SCOPED_TRACE(recordingAdded);
        fixtures::CardBuilder card(tmp.Path() + "/ahead" + std::to_string(recordingAdded));
        card.MakeLayoutFolders(1);
        const std::string movie = AddRecording(card, 1, "A___", 1);
        const std::uint64_t before = fs::file_size(movie);
        WriteIniString("SOURCE", "FOLDER", card.Root() + "/");
        pane.PrefetchDefaultSource();
        pane.JoinSourcePrefetch();
        fs::resize_file(movie, before + 10);
        if (recordingAdded) AddRecording(card, 1, "AG__", 2, "120100");

        ASSERT_TRUE(pane.InitFromDefaultFolder());
        const std::vector<sFILEENTRY> entries = pane.GetList()->CopyOfFolder();
        ASSERT_EQ(entries.size(), recordingAdded ? 2u : 1u);
        EXPECT_EQ(entries.front().path, movie);
        EXPECT_EQ(entries.front().movieSize, recordingAdded ? before + 10 : before);
    }
}

TEST_F(FilerContainerTest, AFolderSourceIsWatchedItself) {
    fixtures::CardBuilder plain(tmp.Path() + "/plain");
    AddRecording(plain, -1, "A___", 1);
    pane.OpenSourcePath(plain.Root() + "/", SOURCE_FOLDER);
    EXPECT_FALSE(pane.IsCardRootSource());
    EXPECT_EQ(pane.GetWatcher().GetPath(), plain.Root());
    EXPECT_EQ(pane.GetTree()->GetItemPath(pane.GetTree()->GetRootItem()), plain.Root());
    EXPECT_EQ(pane.GetList()->CopyOfFolder().size(), 1u);
}

// A card is gone when its root is, or when none of its folders is left under a mount point
// that stays; a folder or a movie file only when its own path is gone, whatever becomes of
// the folders in or beside it.
TEST_F(FilerContainerTest, ASourceIsLostByTheRuleOfItsKind) {
    const auto renameFoldersIn = [](const std::string& folder) {
        for (const fs::directory_entry& e : fs::directory_iterator(folder))
            if (e.is_directory()) fs::rename(e.path(), e.path().string() + "-renamed");
    };
    const auto renamePath = [](const std::string& path) { fs::rename(path, path + "-renamed"); };
    enum Source { kCard, kPlainFolder, kCardCopy, kMovieFile };
    const struct {
        const char* name;
        Source source;
        SourceKind kind;
        bool renameFolders;  // else the source's own path is renamed
        bool lost;
    } cases[] = {
        {"a card whose folders all go", kCard, SOURCE_SD, true, true},
        {"a card whose root goes", kCard, SOURCE_SD, false, true},
        {"a folder whose only folder is renamed", kPlainFolder, SOURCE_FOLDER, true, false},
        {"a folder renamed itself", kPlainFolder, SOURCE_FOLDER, false, true},
        {"a card copy opened as a folder, its folders renamed", kCardCopy, SOURCE_FOLDER, true, false},
        {"a movie file whose neighbouring folder is renamed", kMovieFile, SOURCE_FILE, true, false},
        {"a movie file renamed", kMovieFile, SOURCE_FILE, false, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::CardBuilder folder(tmp.Path() + "/source" + std::to_string(++n));
        std::string source = folder.Root();
        if (c.source == kCard || c.source == kCardCopy) {
            folder.MakeLayoutFolders(1);
            AddRecording(folder, 1, "A___", 1);
        } else {
            const std::string movie = AddRecording(folder, -1, "A___", 1);
            folder.AddFolder("trip");
            if (c.source == kMovieFile) source = movie;
        }
        pane.OpenSourcePath(source, c.kind);
        ASSERT_EQ(pane.GetSourceKind(), c.kind);
        CMovieResource& watcher = pane.GetWatcher();
        ASSERT_EQ(watcher.GetPath(), source);
        owner.ClearPosted();

        if (c.renameFolders) renameFoldersIn(folder.Root());
        else renamePath(source);
        const std::uint64_t polls = watcher.Polls();
        ASSERT_TRUE(fixtures::RunUntil([&] { return watcher.Polls() >= polls + 2; }, std::chrono::seconds(20)));
        EXPECT_EQ(watcher.IsLost(), c.lost);
        const auto lostPosted = [&] {
            for (const Posted& p : owner.Posted_())
                if (p.msg == WM_APP_SOURCE_LOST) return true;
            return false;
        };
        if (c.lost) {
            EXPECT_TRUE(fixtures::RunUntil(lostPosted, std::chrono::seconds(20)));
        } else {
            EXPECT_EQ(watcher.GetPath(), source);
            EXPECT_FALSE(lostPosted());
        }
    }
}

// A card copied a few levels below the drive's root, chosen at its root as the last folder.
TEST_F(FilerContainerTest, AFolderAtACardCopysRootListsItsRecordingsWithTheirData) {
    for (int layout : {0, 1}) {
        const std::string driving = layout == 0 ? "Normal" : "Video";
        fixtures::CardBuilder copy(tmp.Path() + "/drive/home/copy" + std::to_string(layout));
        copy.MakeLayoutFolders(layout);
        copy.AddFolder("Config");
        AddRecording(copy, layout, "A___", 1);
        AddRecording(copy, layout, "AG__", 2, "120100");
        AddRecording(copy, layout, "P___", 3, "120200");
        WriteIniString("SOURCE", "FOLDER", copy.Root() + "/");
        ASSERT_TRUE(pane.InitFromDefaultFolder());
        EXPECT_EQ(pane.GetSourceKind(), SOURCE_FOLDER);
        EXPECT_TRUE(pane.IsCardRootSource());
        EXPECT_EQ(g_nFolderLayout.load(), layout);
        EXPECT_EQ(pane.GetWatcher().GetPath(), copy.Root());
        CFolderTreeCtrl* tree = pane.GetTree();
        EXPECT_EQ(tree->GetItemPath(tree->GetSelectedItem()), copy.Root() + "/" + driving + "/220101_0001");

        ASSERT_TRUE(pane.OpenTreeItem(tree->GetSelectedItem()));
        EXPECT_EQ(pane.GetList()->GetItemCount(), 2);
        for (const sFILEENTRY& e : pane.GetList()->CopyOfFolder()) EXPECT_GT(e.dataSize, 0u) << e.path;
        const std::vector<sFILEENTRY> all = pane.GatherSourceFiles();
        EXPECT_EQ(all.size(), 3u);
        for (const sFILEENTRY& e : all) EXPECT_GT(e.dataSize, 0u) << e.path;
    }
}

TEST_F(FilerContainerTest, LayoutsPlaceTreeListAndTogglesOrHideThePane) {
    pane.resize(460, 640);
    struct Case {
        int layout;
        QRect tree, list;
        std::vector<QPoint> toggles;
    } cases[] = {
        {0, {4, 44, 217, 592}, {224, 44, 224, 592},
         {{7, 8}, {62, 8}, {117, 8}, {209, 8}, {264, 8}, {7, 26}, {117, 26}}},
        {1, {4, 24, 452, 284}, {4, 356, 452, 280},
         {{5, 312}, {87, 312}, {157, 312}, {5, 326}, {87, 326}, {5, 340}, {87, 340}}},
    };
    for (const Case& c : cases) {
        pane.SetLayout(c.layout);
        RECT rc;
        c.layout == 0 ? pane.LayoutSideBySide(&rc) : pane.LayoutStacked(&rc);
        EXPECT_EQ(rc, (RECT{0, 0, 460, 640}));
        EXPECT_EQ(pane.GetTree()->geometry(), c.tree) << c.layout;
        EXPECT_EQ(pane.GetList()->geometry(), c.list) << c.layout;
        for (int i = 0; i < kRecordingKindCount; ++i)
            EXPECT_EQ(pane.GetFilterButton(i)->pos(), c.toggles[std::size_t(i)]) << c.layout << " " << i;
        EXPECT_TRUE(pane.GetPathEdit()->isHidden());
    }
    // Zoom mode hides the controls; layout 2 has no toggles to place.
    pane.SetHideControls(TRUE);
    RECT rc;
    pane.LayoutSideBySide(&rc);
    EXPECT_TRUE(pane.GetList()->isHidden());
    pane.SetLayout(2);
    EXPECT_FALSE(pane.GetFilterOrigin(&rc, 0, 0, 1, 1));
}

TEST(RecorderIdentity, VersionAndNumberTexts) {
    struct Case {
        const char* version;
        std::string text;
    } versions[] = {{"010203", "1.2.3"}, {"100099", "10.0.99"}, {"01a203", ""}};
    for (const Case& c : versions) EXPECT_EQ(FormatRecorderVersion(c.version), c.text) << c.version;
    struct Trailer {
        std::string bytes;
        std::string number;
    } trailers[] = {{"000123", "000123"}, {"   123", "000123"}, {"      ", ""}, {"12ab56", ""}};
    for (const Trailer& t : trailers) {
        EXPECT_EQ(FormatRecorderNumber(reinterpret_cast<const std::uint8_t*>(t.bytes.data()), t.bytes.size()), t.number)
            << t.bytes;
    }
}

TEST_F(FilerContainerTest, IdentifyingTheRecorderReadsItsDataAndProbesTheModelShortcutsInOrder) {
    fixtures::CardBuilder card(tmp.Path() + "/id");
    card.MakeLayoutFolders(0);
    fixtures::RecordingSpec params;
    params.data = fixtures::DataBlock{};
    params.data->header.version = "010203";
    params.data->trailer = "000456";
    card.AddRecording(params);
    card.AddModelShortcut("KM3C_download");
    card.AddModelShortcut("KM3CA_download");
    pane.OpenSourcePath(card.Root(), SOURCE_SD);
    EXPECT_EQ(pane.GetRecorderVersion(), "1.2.3");
    EXPECT_EQ(pane.GetRecorderNumber(), "000456");
    EXPECT_EQ(pane.GetModelKey(), "KM3CA_download");
    EXPECT_FALSE(g_bLimitedModel);

    // Six blanks keep the number read before; only the limited model sets the flag.
    fixtures::CardBuilder limited(tmp.Path() + "/limited");
    limited.MakeLayoutFolders(0);
    params.data->trailer = "      ";
    limited.AddRecording(params);
    limited.AddModelShortcut("KM5E_download");
    pane.OpenSourcePath(limited.Root(), SOURCE_SD);
    EXPECT_EQ(pane.GetRecorderNumber(), "000456");
    EXPECT_EQ(pane.GetModelKey(), "KM5E_download");
    EXPECT_TRUE(g_bLimitedModel);
    pane.EnableBrowserControls(FALSE);
    pane.EnableBrowserControls(TRUE);
    EXPECT_FALSE(pane.GetFilterButton(REC_RADAR)->isEnabled());
    EXPECT_TRUE(pane.GetFilterButton(REC_IMPACT)->isEnabled());
    g_bLimitedModel = FALSE;
}

// The controls are disabled while a recording opens: the one that had the keyboard has it
// again afterwards, however often they were disabled meanwhile, unless the keyboard was
// given to something else in between.
TEST_F(FilerContainerTest, TheControlThatHadTheKeyboardHasItAgainOnceEnabled) {
    QLineEdit elsewhere(&pane);  // a field beside the pane's controls
    elsewhere.show();
    pane.show();
    pane.activateWindow();
    ASSERT_TRUE(fixtures::RunUntil([&] { return pane.isActiveWindow(); }, std::chrono::seconds(20)));
    QWidget* const tree = pane.GetTree();
    QWidget* const list = pane.GetList();
    const struct Case {
        const char* name;
        QWidget* before;
        bool movedMeanwhile;
        QWidget* after;
    } cases[] = {
        {"the list", list, false, list},
        {"the tree", tree, false, tree},
        {"a filter toggle", pane.GetFilterButton(REC_IMPACT), false, pane.GetFilterButton(REC_IMPACT)},
        {"the list, the keyboard given elsewhere meanwhile", list, true, &elsewhere},
        {"a field outside the controls", &elsewhere, false, &elsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), c.before);
        pane.EnableBrowserControls(FALSE);
        pane.EnableBrowserControls(FALSE);  // the open disables them again
        EXPECT_FALSE(list->isEnabled());
        if (c.movedMeanwhile) elsewhere.setFocus();
        pane.EnableBrowserControls(TRUE);
        EXPECT_EQ(QApplication::focusWidget(), c.after);
    }
}

TEST_F(FilerContainerTest, TheDemoCardListsItsEightRecordingsWithTheirKinds) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is needed for the demo card";
    std::string error;
    const std::string root = tmp.Path() + "/demo";
    ASSERT_TRUE(fixtures::MakeDemoCard(root, true, &error)) << error;
    pane.OpenSourcePath(root, SOURCE_SD);
    CFileListCtrl* list = pane.GetList();
    list->RefillList();
    ASSERT_EQ(list->GetItemCount(), 8);
    std::set<RecordingKind> kinds;
    for (const sFILEENTRY& e : list->CopyOfRows()) kinds.insert(GetRecordingKind(e.path));
    for (RecordingKind kind : {REC_CONTINUOUS, REC_IMPACT, REC_MANUAL, REC_PARKING, REC_PARKING_IMPACT})
        EXPECT_TRUE(kinds.count(kind)) << kind;
    // Every folder below the top level that holds recordings carries their flags.
    CFolderTreeCtrl* tree = pane.GetTree();
    unsigned flags = 0;
    for (FolderTreeItem top = tree->GetRootItem(); top != kFolderTreeRoot; top = tree->GetNextSiblingItem(top))
        for (FolderTreeItem child = tree->GetChildItem(top); child != kFolderTreeRoot;
             child = tree->GetNextSiblingItem(child))
            flags |= unsigned(tree->GetItemData(child));
    EXPECT_EQ(flags & (REC_FLAG_IMPACT | REC_FLAG_MANUAL | REC_FLAG_PARKING | REC_FLAG_PARKING_IMPACT |
                       REC_FLAG_SPEED_CAMERA),
              unsigned(REC_FLAG_IMPACT | REC_FLAG_MANUAL | REC_FLAG_PARKING | REC_FLAG_PARKING_IMPACT |
                       REC_FLAG_SPEED_CAMERA));
    EXPECT_EQ(pane.GetModelKey(), "KM3CA_download");
    EXPECT_FALSE(pane.GetRecorderVersion().empty());
}

// What a change of scale must leave as a pane first laid out at that scale would have it.
struct PaneFace {
    std::vector<QRect> controls;  // tree, list, path field, then the seven toggles
    std::vector<QSize> toggleFrames;
    QImage picture;  // the pane with its children, the list's scroll bar among them
    bool operator==(const PaneFace&) const = default;
};

void FillPane(CFilerContainerDlg& pane) {
    CFolderTreeCtrl* tree = pane.GetTree();
    const FolderTreeItem video = *tree->InsertItem(kFolderTreeRoot, "Video");
    tree->SetItemData(*tree->InsertItem(video, "240413_0001"), REC_FLAG_MANUAL | REC_FLAG_IMPACT);
    tree->InsertItem(kFolderTreeRoot, "_PData");
    CFileListCtrl* list = pane.GetList();
    std::vector<sFILEENTRY> entries;
    for (int serial = 1; serial <= 40; ++serial)
        entries.push_back({.path = "/card/Normal/" + fixtures::RecorderName("A___", "220101", "120000", serial, 'M')});
    list->SetEntries(std::move(entries));
    list->RefillList();
}

void LayOut(CFilerContainerDlg& pane, int layout, float scale) {
    pane.resize(int(460 * scale), int(640 * scale));
    pane.SetLayout(layout);
    RECT rc;
    if (layout == 1) pane.LayoutStacked(&rc);
    else pane.LayoutSideBySide(&rc);
}

PaneFace FaceOf(CFilerContainerDlg& pane) {
    PaneFace face;
    face.controls = {pane.GetTree()->geometry(), pane.GetList()->geometry(), pane.GetPathEdit()->geometry()};
    for (int kind = 0; kind < kRecordingKindCount; ++kind) {
        const CSkinButton* toggle = pane.GetFilterButton(kind);
        face.controls.push_back(toggle->geometry());
        face.toggleFrames.push_back(QSize(toggle->m_nFrameWidth, toggle->m_nFrameHeight));
    }
    face.picture = test::Render(pane, qRgb(1, 2, 3));
    return face;
}

// The first and last columns that carry ink in the rows [top, bottom] of `image`.
std::pair<int, int> InkSpan(const QImage& image, int top, int bottom) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = std::max(0, top); y <= bottom && y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0) first = x;
                last = x;
            }
    return {first, last};
}

// Whether the tree shows the whole name of its first row: its ink starts right of the
// control's edge and is as wide as the name drawn on its own.
bool FirstNameWhole(CFolderTreeCtrl& tree) {
    QTreeWidgetItem* item = tree.topLevelItem(0);
    const QRect row = tree.visualItemRect(item).translated(tree.viewport()->pos());
    const auto [first, last] = InkSpan(test::Render(tree, qRgb(255, 255, 255)), row.top(), row.bottom());
    QImage alone(row.width() + 40, row.height(), QImage::Format_RGB32);
    alone.fill(Qt::white);
    QPainter painter(&alone);
    painter.setFont(*g_hFont13);
    painter.drawText(alone.rect().adjusted(20, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, item->text(0));
    painter.end();
    const auto [aloneFirst, aloneLast] = InkSpan(alone, 0, alone.height() - 1);
    return first > 0 && last - first == aloneLast - aloneFirst;
}

TEST(FilerScale, PaneLaidOutAgainMatchesAFreshPaneAtEachScale) {
    std::optional<test::ScaleScope> scale;
    scale.emplace(1.0f);
    FakeOwner owner;
    for (const int layout : {0, 1}) {
        CFilerContainerDlg pane;
        pane.CreateControls(&owner);
        FillPane(pane);
        for (const float s : {1.0f, 1.5f, 1.0f}) {
            scale.reset();
            scale.emplace(s);
            LayOut(pane, layout, s);
            CFilerContainerDlg fresh;
            fresh.CreateControls(&owner);
            FillPane(fresh);
            LayOut(fresh, layout, s);
            const PaneFace now = FaceOf(pane), expected = FaceOf(fresh);
            EXPECT_EQ(now.controls, expected.controls) << layout << " at " << s;
            EXPECT_EQ(now.toggleFrames, expected.toggleFrames) << layout << " at " << s;
            EXPECT_TRUE(now == expected) << "the pane paints as a fresh one: " << layout << " at " << s;
            EXPECT_TRUE(FirstNameWhole(*pane.GetTree())) << "the name starts inside the tree: " << layout << " at " << s;
        }
    }
}

}  // namespace
}  // namespace orv::filer_test
