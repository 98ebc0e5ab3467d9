// The source dialog's choice and settings, and the file selection dialog's ticking rules,
// totals and limits.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <fstream>
#include <functional>

#include "filer/FileSelectDlg.h"
#include "filer/FilerMessage.h"
#include "filer/FilerTestSupport.h"
#include "filer/SourceOpenDlg.h"
#include "fixtures/EventLoopWait.h"
#include "platform/files/RemovableMounts.h"
#include "ui/CommonUtil.h"

namespace orv::filer_test {
namespace {

constexpr std::uint64_t MB = std::uint64_t(1) << 20;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_szStartDir = settings.Path();
        SetRemovableMountProvider([this] { return drives; });
        SetFilerMessageHook([this](int id) {
            messages.push_back(id);
            return 1;
        });
    }
    void TearDown() override {
        SetFilerMessageHook(nullptr);
        SetRemovableMountProvider(nullptr);
        g_szStartDir.clear();
    }

    test::ScaleScope scale{1.0f};
    fixtures::TempDir settings;
    std::vector<std::string> drives;
    std::vector<int> messages;
};

// ---- source dialog ----------------------------------------------------------------------

// The folder and file pickers of the source dialog speak the program's language once Qt's
// own catalogue is installed, as the program does at start-up.
TEST_F(DialogTest, ThePickersSpeakJapanese) {
    QTranslator* translator = InstallQtTranslation();
    ASSERT_NE(translator, nullptr) << "Qt's Japanese catalogue (qt6-translations-l10n) is not installed";
    CSourceOpenDlg dlg;
    dlg.OnInitDialog();
    const struct {
        const char* name;
        std::function<void()> open;
    } cases[] = {{"folder picker", [&] { dlg.OnBrowseFolder(); }}, {"file picker", [&] { dlg.OnOpenFile(); }}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The picker runs modally: its texts are read and it is cancelled from the loop.
        QStringList texts;
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!picker) return;
            for (const QLabel* label : picker->findChildren<QLabel*>())
                if (label->isVisible()) texts << label->text();
            for (const QAbstractButton* button : picker->findChildren<QAbstractButton*>())
                if (button->isVisible() && !button->text().isEmpty()) texts << button->text();
            seen = true;
            picker->reject();
        });
        poll.start(20);
        c.open();
        poll.stop();
        ASSERT_TRUE(seen);
        EXPECT_TRUE(texts.contains(QString::fromUtf8("キャンセル"))) << texts.join(u'|').toStdString();
        for (const char* english : {"Cancel", "&Choose", "&Open", "Look in:", "File &name:", "Directory:", "Files of type:"})
            EXPECT_FALSE(texts.contains(QString::fromLatin1(english))) << english;
    }
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

// The dialog offers the source open in the browser, else the remembered kind; a card row
// with no card to choose is never offered, so a new settings file offers the folder row.
TEST_F(DialogTest, SourceDialogOpensOnTheOpenSourceElseTheRememberedKind) {
    struct Case {
        const char* name;
        std::vector<std::string> drives;
        std::string select;
        SourceKind open;
        std::string openPath;
        int checkedId;
        bool okEnabled;
        std::string drive;  // the drive selected in the list
    } cases[] = {
        {"new settings, no card", {}, "", SOURCE_NONE, "", IDC_SOURCE_FOLDER, false, ""},
        {"new settings, two cards", {"/media/E", "/media/F"}, "", SOURCE_NONE, "", IDC_SOURCE_SD, true, "/media/F"},
        {"card remembered, none there", {}, "SD", SOURCE_NONE, "", IDC_SOURCE_FOLDER, true, ""},
        {"file remembered", {}, "FILE", SOURCE_NONE, "", IDC_SOURCE_FILE, true, ""},
        {"folder remembered", {}, "FOLDER", SOURCE_NONE, "", IDC_SOURCE_FOLDER, true, ""},
        {"folder remembered, a card opened at start-up", {"/media/E", "/media/F"}, "FOLDER", SOURCE_SD, "/media/E",
         IDC_SOURCE_SD, true, "/media/E"},
        {"card remembered, a folder open", {"/media/E"}, "SD", SOURCE_FOLDER, "/x", IDC_SOURCE_FOLDER, true, "/media/E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fixtures::TempDir start;
        g_szStartDir = start.Path();
        drives = c.drives;
        if (!c.select.empty()) {
            WriteIniString("SOURCE", "SELECT", c.select);
            WriteIniString("SOURCE", "FILE", "/x/A___-220101-120000-000001M.MOV");
            WriteIniString("SOURCE", "FOLDER", "/x");
        }
        CSourceOpenDlg dlg;
        dlg.SetOpenSource(c.open, c.openPath);
        dlg.OnInitDialog();
        for (int id = IDC_SOURCE_SD; id <= IDC_SOURCE_FILE; ++id)
            EXPECT_EQ(bool(dlg.GetKindButton(id)->GetCheck()), id == c.checkedId) << id;
        EXPECT_EQ(dlg.GetOkButton()->isEnabled(), c.okEnabled);
        EXPECT_EQ(dlg.GetDriveList()->currentText().toStdString(), c.drive);
    }
}

// A path typed into a row's field chooses that row, and OK follows the text.
TEST_F(DialogTest, TypingAPathChoosesItsRow) {
    drives = {"/media/E"};
    const struct {
        int id;
        std::function<QLineEdit*(const CSourceOpenDlg&)> field;
    } rows[] = {{IDC_SOURCE_FOLDER, [](const CSourceOpenDlg& d) { return d.GetFolderEdit(); }},
                {IDC_SOURCE_FILE, [](const CSourceOpenDlg& d) { return d.GetFileEdit(); }}};
    for (const auto& row : rows) {
        CSourceOpenDlg dlg;
        dlg.OnInitDialog();
        ASSERT_TRUE(dlg.GetKindButton(IDC_SOURCE_SD)->GetCheck());
        QTest::keyClicks(row.field(dlg), "/d");
        EXPECT_TRUE(dlg.GetKindButton(row.id)->GetCheck()) << row.id;
        EXPECT_FALSE(dlg.GetKindButton(IDC_SOURCE_SD)->GetCheck()) << row.id;
        EXPECT_TRUE(dlg.GetOkButton()->isEnabled()) << row.id;
        QTest::keyClick(row.field(dlg), Qt::Key_Backspace);
        QTest::keyClick(row.field(dlg), Qt::Key_Backspace);
        EXPECT_FALSE(dlg.GetOkButton()->isEnabled()) << row.id;
    }
}

// The file picker's movie type finds the recorder's upper-case ".MOV" files.
TEST_F(DialogTest, TheFilePickersMovieTypeFindsUpperCaseMovies) {
    fixtures::TempDir dir;
    for (const char* name : {"A___-220101-120000-000001M.MOV", "b.mov", "c.txt"}) std::ofstream(dir.Path() + "/" + name) << "x";
    QString filter;
    CSourceOpenDlg::SetOpenFilePicker([&](QWidget*, const std::string&, const QString& f) {
        filter = f;
        return std::string();
    });
    CSourceOpenDlg dlg;
    dlg.OnInitDialog();
    dlg.OnOpenFile();
    CSourceOpenDlg::SetOpenFilePicker(nullptr);
    ASSERT_FALSE(filter.isEmpty());

    QFileDialog picker(nullptr, QString(), QString(), filter);
    picker.setOption(QFileDialog::DontUseNativeDialog);
    auto* model = picker.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    // The model reads a folder on a thread of its own and says when it has read all of it.
    const QString folderPath = QString::fromStdString(dir.Path());
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, [&](const QString& path) { loaded |= path == folderPath; });
    picker.setDirectory(folderPath);
    ASSERT_TRUE(fixtures::RunUntil([&] { return loaded; }, std::chrono::seconds(30)));
    const QModelIndex folder = model->index(folderPath);
    QStringList shown;
    for (int r = 0; r < model->rowCount(folder); ++r) {
        const QModelIndex index = model->index(r, 0, folder);
        // Names the type does not take are either left out or shown disabled.
        if (model->flags(index) & Qt::ItemIsEnabled) shown << index.data().toString();
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"A___-220101-120000-000001M.MOV", "b.mov"}));
}

TEST_F(DialogTest, SourceDialogWritesOnlyTheChosenKindOnOk) {
    WriteIniString("SOURCE", "SD", "/media/old");
    WriteIniString("SOURCE", "FILE", "/old.MOV");
    {
        CSourceOpenDlg dlg;
        dlg.OnInitDialog();
        dlg.OnKindClicked(IDC_SOURCE_FOLDER);
        EXPECT_FALSE(dlg.GetOkButton()->isEnabled());
        // Typed input reaches the field and enables OK.
        QTest::keyClicks(dlg.GetFolderEdit(), "/data/P");
        EXPECT_EQ(dlg.GetFolderEdit()->text(), QStringLiteral("/data/P"));
        EXPECT_TRUE(dlg.GetOkButton()->isEnabled());
        WriteIniString("SOURCE", "SELECT", "SD");
        dlg.GetCancelButton()->click();
        EXPECT_EQ(dlg.result(), IDCANCEL);
        EXPECT_EQ(ReadIniString("SOURCE", "FOLDER"), "");
    }
    CSourceOpenDlg dlg;
    dlg.OnInitDialog();
    dlg.OnKindClicked(IDC_SOURCE_FOLDER);
    dlg.GetFolderEdit()->setText(QStringLiteral("/data/P"));
    dlg.GetOkButton()->click();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_EQ(dlg.GetSourceKind(), SOURCE_FOLDER);
    EXPECT_EQ(dlg.GetSourcePath(), "/data/P");
    EXPECT_EQ(ReadIniString("SOURCE", "SELECT"), "FOLDER");
    EXPECT_EQ(ReadIniString("SOURCE", "FOLDER"), "/data/P");
    EXPECT_EQ(ReadIniString("SOURCE", "SD"), "/media/old");
    EXPECT_EQ(ReadIniString("SOURCE", "FILE"), "/old.MOV");
}

TEST_F(DialogTest, SourceDialogRefusesAFileThatIsNoRecorderMovie) {
    std::string chosen = "/x/holiday.mov";
    CSourceOpenDlg::SetOpenFilePicker([&](QWidget*, const std::string&, const QString&) { return chosen; });
    CSourceOpenDlg dlg;
    dlg.OnInitDialog();
    dlg.OnOpenFile();
    EXPECT_EQ(messages, std::vector<int>{96});
    EXPECT_TRUE(dlg.GetFileEdit()->text().isEmpty());
    chosen = "/x/AG__-220101-120000-000002M.MOV";
    dlg.OnOpenFile();
    EXPECT_EQ(dlg.GetFileEdit()->text().toStdString(), chosen);
    EXPECT_EQ(dlg.GetSourceKind(), SOURCE_FILE);
    CSourceOpenDlg::SetOpenFilePicker(nullptr);
}

// ---- file selection dialog ----------------------------------------------------------------

sFILEENTRY Movie(int serial, std::uint64_t movie, std::uint64_t companion = 0, std::uint64_t data = 0,
                 const char* ext = ".MOV") {
    sFILEENTRY e;
    e.path = "/card/Normal/A___-220101-120000-" + std::to_string(100000 + serial).substr(0) + "M" + ext;
    e.movieSize = movie;
    e.companionSize = companion;
    e.dataSize = data;
    return e;
}

std::vector<int> Ticked(const CFileSelectDlg& dlg) {
    std::vector<int> rows;
    for (int r = 0; r < int(dlg.GetShownEntries().size()); ++r)
        if (dlg.IsTicked(r)) rows.push_back(r);
    return rows;
}

TEST(JoinRun, TickingKeepsOneUnbrokenRun) {
    struct Step {
        int row;
        bool tick;
        std::vector<int> after;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{2, true, {2}}, {5, true, {2, 3, 4, 5}}, {4, false, {2, 3}}},
        {{2, true, {2}}, {5, true, {2, 3, 4, 5}}, {2, false, {3, 4, 5}}},
        {{5, true, {5}}, {1, true, {1, 2, 3, 4, 5}}, {3, false, {1, 2}}},
    };
    for (const auto& steps : sequences) {
        std::vector<bool> ticked(8, false);
        for (const Step& s : steps) {
            const TickedRun before = FindTickedRun(ticked);
            ticked[std::size_t(s.row)] = s.tick;
            const RunAdjustment adjust = KeepRunContiguous(before, s.row, s.tick);
            for (int r : adjust.tick) ticked[std::size_t(r)] = true;
            for (int r : adjust.untick) ticked[std::size_t(r)] = false;
            std::vector<int> rows;
            for (int r = 0; r < 8; ++r)
                if (ticked[std::size_t(r)]) rows.push_back(r);
            EXPECT_EQ(rows, s.after) << s.row << s.tick;
        }
    }
    EXPECT_EQ(FindTickedRun({false, false}).first, -1);
    EXPECT_EQ(FindTickedRun({false, false}).end, 2);
}

TEST_F(DialogTest, JoinModeTicksThroughTheListAsOneRun) {
    CFileSelectDlg dlg;
    dlg.SetMode(CFileSelectDlg::MODE_JOIN);
    std::vector<sFILEENTRY> entries;
    for (int i = 0; i < 7; ++i) entries.push_back(Movie(i, MB));
    entries.push_back(Movie(9, MB, 0, 0, ".ADA"));
    dlg.SetListedEntries(entries);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.GetShownEntries().size(), 7u);  // no file without ".MOV"
    EXPECT_TRUE(dlg.GetCheckButton(IDC_SHOW_ALL)->isHidden());
    EXPECT_FALSE(dlg.GetOkButton()->isEnabled());
    dlg.SetTicked(2, true);
    dlg.SetTicked(5, true);
    EXPECT_EQ(Ticked(dlg), (std::vector<int>{2, 3, 4, 5}));
    dlg.SetTicked(4, false);
    EXPECT_EQ(Ticked(dlg), (std::vector<int>{2, 3}));
    EXPECT_TRUE(dlg.GetOkButton()->isEnabled());
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), IDOK);
    ASSERT_EQ(dlg.m_vecResult.size(), 2u);
    EXPECT_EQ(dlg.m_vecResult[0].path, entries[2].path);
}

TEST_F(DialogTest, JoinLimitsRefuseOkWithTheirMessages) {
    struct Case {
        std::vector<sFILEENTRY> entries;
        int message;  // 0: accepted
        bool red;
    } cases[] = {
        {{Movie(1, 600 * MB), Movie(2, 500 * MB)}, 138, true},
        // Three sums of 1023.6, 0.6 and 0.6 MB: each cut to whole megabytes they stay under.
        {{Movie(1, 1023 * MB + 600 * 1024, 600 * 1024, 600 * 1024)}, 138, true},
        {{Movie(1, 1023 * MB, MB / 2, MB / 4)}, 0, false},
        {std::vector<sFILEENTRY>(100, Movie(1, 1024)), 140, false},
        {std::vector<sFILEENTRY>(99, Movie(1, 1024)), 0, false},
    };
    for (const Case& c : cases) {
        messages.clear();
        CFileSelectDlg dlg;
        dlg.SetMode(CFileSelectDlg::MODE_JOIN);
        dlg.SetListedEntries(c.entries);
        dlg.OnInitDialog();
        dlg.OnCheckButton(IDC_TICK_ALL);
        dlg.OnOK();
        EXPECT_EQ(messages, c.message ? std::vector<int>{c.message} : std::vector<int>{}) << c.entries.size();
        EXPECT_EQ(dlg.result(), c.message ? 0 : IDOK);
        const QColor colour = dlg.GetTotalLabel()->palette().color(QPalette::WindowText);
        EXPECT_EQ(colour == QColor(255, 0, 0), c.red);
    }
}

// A row stands for the recording's three files, as the total counts them, each to the
// nearest megabyte: one ticked row and the total read alike.
TEST_F(DialogTest, RowsAndTotalCountTheRecordingsFilesToTheNearestMegabyte) {
    const struct {
        sFILEENTRY entry;
        const char* row;
    } rows[] = {
        {Movie(1, 10 * MB, 4 * MB, 2 * MB), "16 MB"},
        {Movie(2, 5 * MB + 97 * MB / 100), "6 MB"},
        {Movie(3, 4 * MB / 10, 0, 100), "0 MB"},
    };
    CFileSelectDlg dlg;
    std::vector<sFILEENTRY> entries;
    for (const auto& r : rows) entries.push_back(r.entry);
    dlg.SetListedEntries(entries);
    dlg.OnInitDialog();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dlg.GetList()->topLevelItem(i)->text(1), QString::fromLatin1(rows[i].row)) << i;
    EXPECT_FALSE(dlg.GetOkButton()->isEnabled());
    const struct {
        std::vector<int> ticked;
        const char* total;
    } totals[] = {{{0}, "16 MB"}, {{1}, "6 MB"}, {{0, 1}, "22 MB"}, {{0, 1, 2}, "22 MB"}};
    for (const auto& t : totals) {
        for (int r = 0; r < 3; ++r) dlg.SetTicked(r, std::count(t.ticked.begin(), t.ticked.end(), r) > 0);
        dlg.UpdateTotal();
        EXPECT_EQ(dlg.GetTotalLabel()->text(), QString::fromLatin1(t.total)) << t.ticked.size();
        EXPECT_TRUE(dlg.GetOkButton()->isEnabled());
    }
}

TEST_F(DialogTest, BackupModeNeverEndsWithAnEmptyResult) {
    CFileSelectDlg dlg;
    dlg.SetMode(CFileSelectDlg::MODE_BACKUP);
    dlg.SetListedEntries({Movie(1, MB)});
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.GetOkButton()->isEnabled());
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_TRUE(dlg.m_vecResult.empty());
}

TEST_F(DialogTest, EntriesBeyondFifteenHundredAreLeftOutWithTheirMessage) {
    CFileSelectDlg dlg;
    const std::vector<sFILEENTRY> many(1600, Movie(1, MB));
    EXPECT_EQ(dlg.SetSourceEntries(many), 0);
    EXPECT_EQ(dlg.GetSourceEntries().size(), kMaxSelectEntries);
    EXPECT_EQ(dlg.SetListedEntries(std::vector<sFILEENTRY>(1000, Movie(1, MB))), 1);
    EXPECT_TRUE(messages.empty());
    dlg.SetListedEntries(std::vector<sFILEENTRY>(600, Movie(1, MB)));
    EXPECT_EQ(messages, std::vector<int>{103});
    EXPECT_EQ(dlg.GetListedEntries().size(), kMaxSelectEntries);
}

TEST_F(DialogTest, JoinMarkedMoviesAreMagentaOnYellow) {
    CFileSelectDlg dlg;
    dlg.SetMode(CFileSelectDlg::MODE_JOIN);
    sFILEENTRY joined = Movie(2, MB);
    joined.reserved = 1;
    dlg.SetListedEntries({Movie(1, MB), joined});
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.GetList()->topLevelItem(1)->foreground(0).color(), QColor(255, 0, 255));
    EXPECT_EQ(dlg.GetList()->topLevelItem(1)->background(0).color(), QColor(255, 255, 0));
    EXPECT_EQ(dlg.GetList()->topLevelItem(0)->background(0).style(), Qt::NoBrush);
}

}  // namespace
}  // namespace orv::filer_test
