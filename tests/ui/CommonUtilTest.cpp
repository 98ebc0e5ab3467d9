#include "ui/CommonUtil.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/TempDir.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/files/RemovableMounts.h"
#include "ui/Diagonal.h"
#include "ui/GdiDrawer.h"
#include "ui/ScaleFonts.h"

namespace orv {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CommonUtilText, TrimVersion) {
    EXPECT_EQ(TrimVersion("1.2.3.4"), "1.2.3");
    EXPECT_EQ(TrimVersion("1.02.3.4567"), "1.02.3");
    EXPECT_EQ(TrimVersion("3.0.0"), "3.0.0");
    EXPECT_EQ(TrimVersion("3"), "3");
    EXPECT_EQ(TrimVersion(""), "");
    EXPECT_EQ(TrimVersion("..."), "..");
}

TEST(CommonUtilText, FormatDateSlashes) {
    EXPECT_EQ(FormatDateSlashes("220425"), "22/04/25");
    EXPECT_EQ(FormatDateSlashes(""), "");
    EXPECT_EQ(FormatDateSlashes("2204"), "22/04/");
    EXPECT_EQ(FormatDateSlashes("22042501"), "22/04/2501/");
    EXPECT_EQ(FormatDateSlashes("年月"), "年月/");  // characters, not bytes
}

TEST(CommonUtilText, IsMovFile) {
    EXPECT_TRUE(IsMovFile("/card/Normal/A.MOV"));
    EXPECT_TRUE(IsMovFile("a.mov"));
    EXPECT_TRUE(IsMovFile("a.Mov"));
    EXPECT_FALSE(IsMovFile("a.MOV1"));
    EXPECT_FALSE(IsMovFile("a.MOVIE"));
    EXPECT_FALSE(IsMovFile("a.mp4"));
    EXPECT_FALSE(IsMovFile("a"));
    EXPECT_FALSE(IsMovFile("/card/x.MOV/a"));
    EXPECT_FALSE(IsMovFile(""));
}

// Records the hidden-attribute calls instead of making them.
class RecordingFileOps final : public IFileOps {
public:
    bool IsHidden(const std::string&) override { return false; }
    bool SetHidden(const std::string& path, bool hidden) override {
        calls.push_back(path + (hidden ? " hidden" : " shown"));
        return true;
    }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        return RealFileOps().MoveNoReplace(from, to);
    }
    std::vector<std::string> calls;
};

class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        g_szStartDir = dir_.Path();
    }
    void TearDown() override {
        g_szStartDir.clear();
        SetFolderPicker(nullptr);
    }
    fixtures::TempDir dir_;
};

TEST_F(SettingsFileTest, WriteStoresTheKeyAndHidesTheFile) {
    RecordingFileOps ops;
    ScopedFileOps scoped(&ops);
    const std::string path = PathAppend(dir_.Path(), "Default_Folder.ini");
    EXPECT_EQ(SettingsFilePath(), path);

    EXPECT_EQ(WriteIniString("DISPLAY", "INFOCHECK", "31"), TRUE);
    EXPECT_EQ(WriteIniString("DISPLAY", "ASPECT", "on"), TRUE);
    EXPECT_EQ(WriteIniString("display", "aspect", "off"), TRUE);
    EXPECT_EQ(ReadFile(path), "[DISPLAY]\nINFOCHECK=31\nASPECT=off\n");
    EXPECT_EQ(ops.calls, std::vector<std::string>(3, path + " hidden"));

    // A failed write leaves the attributes alone.
    EXPECT_EQ(WriteIniString("SOURCE", "FOLDER", "/a\n[DISPLAY]"), FALSE);
    EXPECT_EQ(ops.calls.size(), 3u);
}

TEST_F(SettingsFileTest, ReadGivesTheWholeValueOrEmpty) {
    EXPECT_EQ(ReadIniString("SOURCE", "FOLDER"), "");  // no file yet
    const std::string longFolder = "/media/user/CARD/" + std::string(400, 'd');
    ASSERT_EQ(WriteIniString("SOURCE", "FOLDER", longFolder), TRUE);
    EXPECT_EQ(ReadIniString("source", "Folder"), longFolder);
    EXPECT_EQ(ReadIniString("SOURCE", "FILE"), "");
}

TEST_F(SettingsFileTest, WithoutAStartFolderThereIsNoFile) {
    g_szStartDir.clear();
    EXPECT_EQ(SettingsFilePath(), "");
    EXPECT_EQ(WriteIniString("DISPLAY", "ASPECT", "on"), FALSE);
    EXPECT_EQ(ReadIniString("DISPLAY", "ASPECT"), "");
}

TEST_F(SettingsFileTest, FolderPickerStartsInTheRememberedFolderAndStoresNothing) {
    std::vector<std::string> starts;
    std::vector<std::string> titles;
    SetFolderPicker([&](QWidget*, std::string_view title, const std::string& start) {
        starts.push_back(start);
        titles.emplace_back(title);
        return std::string("/chosen");
    });
    EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "出力先"), "/chosen");
    ASSERT_EQ(WriteIniString("FOLDERPATH", "CSV_FOLDER", "/remembered"), TRUE);
    EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "出力先"), "/chosen");
    EXPECT_EQ(starts, (std::vector<std::string>{dir_.Path(), "/remembered"}));
    EXPECT_EQ(titles[0], "出力先");
    EXPECT_EQ(ReadIniString("FOLDERPATH", "CSV_FOLDER"), "/remembered");

    SetFolderPicker([](QWidget*, std::string_view, const std::string&) { return std::string(); });
    EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "t"), "");
}

TEST(CommonUtilDrives, RemovableDrivesAreAppended) {
    std::vector<std::string> mounts;
    SetRemovableMountProvider([&] { return mounts; });
    std::vector<std::string> drives{"/earlier"};
    mounts = {"/media/u/E", "/media/u/F"};
    EXPECT_EQ(ListRemovableDrives(drives), 2);
    EXPECT_EQ(drives, (std::vector<std::string>{"/earlier", "/media/u/E", "/media/u/F"}));

    mounts.clear();
    std::vector<std::string> none;
    EXPECT_EQ(ListRemovableDrives(none), -1);
    EXPECT_TRUE(none.empty());
    SetRemovableMountProvider(nullptr);
}

TEST(CommonUtilDrives, RecycleBinTakesPathsOfAnyLength) {
    fixtures::TempDir dir;
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string oldValue = old ? old : "";
    const std::string data = PathAppend(dir.Path(), "data");
    setenv("XDG_DATA_HOME", data.c_str(), 1);

    // Past 260 characters: a cut path could name another file.
    std::string folder = dir.Path();
    for (int i = 0; i < 4; ++i) {
        folder = PathAppend(folder, std::string(80, char('a' + i)));
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    const std::string movie = PathAppend(folder, "A.MOV");
    std::ofstream(movie) << "m";
    ASSERT_GT(movie.size(), 260u);

    EXPECT_EQ(DeleteToRecycleBin(""), FALSE);
    EXPECT_EQ(DeleteToRecycleBin(movie), TRUE);
    EXPECT_FALSE(PathFileExists(movie));
    EXPECT_EQ(ReadFile(PathAppend(data, "Trash/files/A.MOV")), "m");
    EXPECT_EQ(DeleteToRecycleBin(movie), FALSE);  // gone already

    if (old)
        setenv("XDG_DATA_HOME", oldValue.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST(CommonUtilDrives, FreeDiskSpaceIsZeroWhenUnknown) {
    EXPECT_EQ(GetFreeDiskSpace("/no/such/folder"), 0u);
    EXPECT_EQ(GetFreeDiskSpace(""), 0u);
}

// Two monitors side by side; the left one has a 40-pixel panel at its bottom.
std::vector<MonitorRects> TwoMonitors() {
    return {
        MonitorRects{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}},
        MonitorRects{RECT{1920, 0, 3840, 1080}, RECT{1920, 0, 3840, 1080}},
    };
}

class MonitorTest : public testing::Test {
protected:
    void TearDown() override { SetMonitorListProvider(nullptr); }
    void Use(std::vector<MonitorRects> monitors) {
        SetMonitorListProvider([monitors] { return monitors; });
    }
    static QPoint Place(QWidget& w) { return w.frameGeometry().topLeft(); }
};

TEST_F(MonitorTest, NearestMonitorOfAPoint) {
    Use(TwoMonitors());
    RECT work{};
    RECT monitor{};
    ASSERT_TRUE(GetMonitorRects(&work, &monitor, POINT{100, 100}));
    EXPECT_EQ(work, (RECT{0, 0, 1920, 1040}));
    EXPECT_EQ(monitor, (RECT{0, 0, 1920, 1080}));
    ASSERT_TRUE(GetMonitorRects(&work, nullptr, POINT{1920, 5}));  // first column of the right one
    EXPECT_EQ(work, (RECT{1920, 0, 3840, 1080}));
    ASSERT_TRUE(GetMonitorRects(&work, nullptr, POINT{5000, -300}));
    EXPECT_EQ(work, (RECT{1920, 0, 3840, 1080}));
    ASSERT_TRUE(GetMonitorRects(nullptr, &monitor, POINT{-50, 1060}));
    EXPECT_EQ(monitor, (RECT{0, 0, 1920, 1080}));

    Use({});
    EXPECT_FALSE(GetMonitorRects(&work, &monitor, POINT{0, 0}));
    EXPECT_EQ(work, RECT{});
}

TEST_F(MonitorTest, DiagonalEnds) {
    Use(TwoMonitors());
    CDiagonal d;
    d.TestEnds(POINT{100, 100}, POINT{2000, 1060});  // both on their monitors' work areas
    EXPECT_EQ(d.m_rcWorkA, (RECT{0, 0, 1920, 1040}));
    EXPECT_EQ(d.m_rcWorkB, (RECT{1920, 0, 3840, 1080}));
    EXPECT_TRUE(d.m_bBoth && d.m_bAlike);
    EXPECT_FALSE(d.m_bNeither || d.m_bOnlyA || d.m_bOnlyB || d.m_bDiffer);

    d.TestEnds(POINT{100, 1050}, POINT{2000, 100});  // A on the left monitor's panel
    EXPECT_TRUE(d.m_bOnlyB && d.m_bDiffer);
    EXPECT_FALSE(d.m_bNeither || d.m_bOnlyA || d.m_bBoth || d.m_bAlike);

    d.TestEnds(POINT{100, 100}, POINT{3840, 1080});  // right and bottom edges are outside
    EXPECT_TRUE(d.m_bOnlyA && d.m_bDiffer);
    EXPECT_FALSE(d.m_bNeither || d.m_bOnlyB || d.m_bBoth || d.m_bAlike);

    d.TestEnds(POINT{-10, 100}, POINT{4000, 100});
    EXPECT_TRUE(d.m_bNeither && d.m_bAlike);
    EXPECT_FALSE(d.m_bOnlyA || d.m_bOnlyB || d.m_bBoth || d.m_bDiffer);
}

TEST_F(MonitorTest, WindowOnAMonitorStays) {
    Use(TwoMonitors());
    QWidget w;
    w.setGeometry(100, 100, 400, 300);
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(100, 100));
    w.setGeometry(1800, 100, 400, 300);  // across both monitors
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(1800, 100));
}

TEST_F(MonitorTest, WindowOffEveryMonitorComesBackToTheNearestEdge) {
    Use({MonitorRects{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}}});
    QWidget w;
    w.setGeometry(2000, 100, 400, 300);  // right of the monitor
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(1520, 0));
    w.setGeometry(100, -500, 400, 400);  // above it
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(0, 0));
}

TEST_F(MonitorTest, WindowWhoseTopLeftIsOffOnlyMovesVertically) {
    Use({MonitorRects{RECT{0, 0, 1920, 1080}, RECT{0, 30, 1920, 1080}}});
    QWidget w;
    // Top-left corner left of and above the work area, bottom-right corner on it.
    w.setGeometry(-100, 10, 400, 300);
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(-100, 30));
    // Top-right corner on the work area as well: left as it is.
    w.setGeometry(-100, 200, 400, 300);
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(-100, 200));
}

TEST_F(MonitorTest, WindowLargerThanItsWorkAreaLandsOnItsCorner) {
    Use({MonitorRects{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}}});
    QWidget w;
    w.setGeometry(2000, 100, 2500, 300);
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(0, 0));
}

// Its bottom-left and top-right corners lie on two monitors, its other corners on none,
// and the monitor nearest its top-left corner lies wholly left of it.
std::vector<MonitorRects> LayoutAround(const RECT& r) {
    const auto both = [](RECT x) { return MonitorRects{x, x}; };
    return {
        both(RECT{r.left - 300, r.top, r.left - 10, r.top + 300}),
        both(RECT{r.left - 5, r.bottom, r.left + 500, r.bottom + 500}),
        both(RECT{r.right, r.top - 500, r.right + 500, r.top + 10}),
    };
}

TEST_F(MonitorTest, RepeatedMovesFollowTheLayout) {
    QWidget w;
    w.setGeometry(0, 0, 1000, 1000);
    Use(LayoutAround(WindowRectOf(&w)));
    KeepWindowOnMonitors(&w);
    // The window is larger than the work area nearest its top-left corner, which lies
    // left of it: the window's top-left corner goes onto that work area's, and then,
    // with that corner on a monitor and the opposite one off, it stays.
    EXPECT_EQ(Place(w), QPoint(-300, 0));
}

TEST_F(MonitorTest, MovesAreBounded) {
    QWidget w;
    w.setGeometry(0, 0, 1000, 1000);
    // Monitors that travel with the window: every check asks for one more move.
    SetMonitorListProvider([&w] { return LayoutAround(WindowRectOf(&w)); });
    KeepWindowOnMonitors(&w);
    EXPECT_EQ(Place(w), QPoint(-300 * kMaxMonitorMoves, 0));
}

TEST(CommonUtilWindows, WindowRectInParent) {
    QWidget parent;
    parent.setGeometry(100, 200, 800, 600);
    QWidget child(&parent);
    child.setGeometry(10, 20, 50, 40);
    RECT r{};
    EXPECT_EQ(GetWindowRectIn(&r, &parent, &child), &r);
    EXPECT_EQ(r, (RECT{10, 19, 60, 59}));
    EXPECT_EQ(WindowRectOf(&child), (RECT{110, 220, 160, 260}));
}

class ScaledImageTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.Path().empty()); }
    void TearDown() override { g_fScale = 0.0f; }
    std::string Save(int w, int h, const char* name, const char* format) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 0));
        const std::string path = PathAppend(dir_.Path(), name);
        EXPECT_TRUE(image.save(QString::fromStdString(path), format));
        return path;
    }
    static QSize SizeAt(float scale, const std::string& path) {
        g_fScale = scale;
        return LoadScaledBitmap(QString::fromStdString(path)).size();
    }
    fixtures::TempDir dir_;
};

TEST_F(ScaledImageTest, BitmapsAtTheScale) {
    const std::string strip = Save(128, 32, "strip.bmp", "BMP");
    const std::string badge = Save(60, 35, "badge.bmp", "BMP");
    EXPECT_EQ(SizeAt(1.0f, strip), QSize(128, 32));
    EXPECT_EQ(SizeAt(1.0f, badge), QSize(60, 35));
    EXPECT_EQ(SizeAt(1.5f, strip), QSize(192, 48));
    EXPECT_EQ(SizeAt(1.5f, badge), QSize(90, 52));
    // Every frame of the strip keeps the same whole width: 4 x 31, not trunc(126.06).
    EXPECT_EQ(SizeAt(0.98484844f, strip), QSize(124, 31));
    EXPECT_EQ(SizeAt(0.98484844f, badge), QSize(59, 34));
    g_fScale = 1.0f;
    EXPECT_TRUE(LoadScaledBitmap(QString::fromStdString(PathAppend(dir_.Path(), "none.bmp"))).isNull());
}

TEST_F(ScaledImageTest, PngPicturesDrawnAtZoomTimesScale) {
    const std::string png = Save(10, 10, "arrow.png", "PNG");
    const std::string bmp = Save(10, 10, "arrow.bmp", "BMP");
    EXPECT_TRUE(CGdiDrawer::LoadPngResource(QString::fromStdString(bmp)).isNull());
    const QImage picture = CGdiDrawer::LoadPngResource(QString::fromStdString(png));
    ASSERT_FALSE(picture.isNull());

    g_fScale = 1.5f;
    QImage canvas(100, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    CGdiDrawer::DrawImageScaled(picture, &painter, 5, 5, 2.0);  // 10 x 2.0 x 1.5 = 30 pixels
    CGdiDrawer::DrawImageScaled(QImage(), &painter, 50, 50, 2.0);
    CGdiDrawer::DrawImageScaled(picture, nullptr, 50, 50, 2.0);
    painter.end();
    const QRgb red = qRgb(255, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(canvas.pixel(5, 5), red);
    EXPECT_EQ(canvas.pixel(34, 34), red);
    EXPECT_EQ(canvas.pixel(35, 35), white);
    EXPECT_EQ(canvas.pixel(4, 4), white);
    EXPECT_EQ(canvas.pixel(60, 60), white);
}

}  // namespace
}  // namespace orv
