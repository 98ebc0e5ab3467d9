#include "ui/ScaleFonts.h"

#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

namespace orv {
namespace {

MonitorMetrics Monitor(int workHeight, int dpi) {
    MonitorMetrics m;
    m.workArea = QRect(0, 0, 1920, workHeight);
    m.dpiX = dpi;
    m.dpiY = dpi;
    return m;
}

class ScaleFontsTest : public testing::Test {
protected:
    void TearDown() override {
        DeleteSharedFonts();
        g_fScale = 0.0f;
        g_fFontScale = 0.0f;
    }
};

TEST_F(ScaleFontsTest, ScaleFollowsWorkAreaHeightInSinglePrecision) {
    EXPECT_EQ(ScaleFromWorkAreaHeight(1056), 1.0f);
    EXPECT_EQ(ScaleFromWorkAreaHeight(1040), 0.98484844f);  // a 1080-line screen, 40-pixel task bar
    EXPECT_EQ(ScaleFromWorkAreaHeight(1584), 1.5f);
}

TEST_F(ScaleFontsTest, FontScaleKeepsPixelSizesWhateverTheResolution) {
    ASSERT_EQ(InitScaleAndFonts(Monitor(1056, 96)), TRUE);
    EXPECT_EQ(g_fScale, 1.0f);
    EXPECT_EQ(g_fFontScale, 1.0f);
    ASSERT_NE(g_hFont10, nullptr);
    EXPECT_EQ(SharedFontHeight(g_fFontScale, 10, 96), -13);
    EXPECT_EQ(g_hFont10->pixelSize(), 13);
    EXPECT_EQ(g_hFont9->pixelSize(), 12);
    EXPECT_EQ(g_hFont22->pixelSize(), 29);

    DeleteSharedFonts();
    ASSERT_EQ(InitScaleAndFonts(Monitor(1056, 144)), TRUE);
    EXPECT_FLOAT_EQ(g_fFontScale, 2.0f / 3.0f);
    // trunc(0.6667 * 10) = 6 points at 144 dpi: 12 pixels.
    EXPECT_EQ(g_hFont10->pixelSize(), 12);
}

TEST_F(ScaleFontsTest, SharedFontsUseTheTableFaceRenderedByTheCjkFont) {
    ASSERT_EQ(InitScaleAndFonts(Monitor(1056, 96)), TRUE);
    EXPECT_EQ(g_hFont13->family(), QString::fromUtf8("メイリオ"));
    // What matters is the face that really draws the Japanese texts.
    EXPECT_EQ(QFontInfo(*g_hFont13).family(), QString(kSubstituteFace))
        << QFont::substitutes(QString::fromUtf8("メイリオ")).join(",").toStdString();
}

TEST_F(ScaleFontsTest, EmptyWorkAreaMakesNoFont) {
    ASSERT_EQ(InitScaleAndFonts(Monitor(0, 96)), TRUE);
    EXPECT_EQ(g_fScale, 0.0f);
    EXPECT_EQ(g_hFont9, nullptr);
    EXPECT_EQ(g_hFont22, nullptr);
}

TEST_F(ScaleFontsTest, DeleteTwiceDeletesNothingTheSecondTime) {
    ASSERT_EQ(InitScaleAndFonts(Monitor(1056, 96)), TRUE);
    DeleteSharedFonts();
    EXPECT_EQ(g_hFont9, nullptr);
    EXPECT_EQ(g_hFont17, nullptr);
    DeleteSharedFonts();
    EXPECT_EQ(g_hFont10, nullptr);
}

TEST_F(ScaleFontsTest, RealWindowTakesItsScreen) {
    QWidget window;
    window.resize(200, 100);
    EXPECT_EQ(InitScaleAndFonts(&window), TRUE);
    MonitorMetrics m;
    ASSERT_TRUE(MonitorMetricsOf(&window, &m));
    EXPECT_EQ(g_fScale, ScaleFromWorkAreaHeight(m.workArea.height()));
    EXPECT_NE(g_hFont9, nullptr);
}

TEST_F(ScaleFontsTest, FitFontScaleOnlyShrinksOnAShorterMonitor) {
    ASSERT_EQ(InitScaleAndFonts(Monitor(1056, 96)), TRUE);
    EXPECT_EQ(FitFontScaleToMonitor(1056), 1.0f);
    EXPECT_EQ(g_fFontScale, 1.0f);
    EXPECT_EQ(FitFontScaleToMonitor(697), 1.0f);

    const float ratio = FitFontScaleToMonitor(600);
    EXPECT_EQ(ratio, 0.86083215f);
    EXPECT_EQ(g_fFontScale, 0.86083215f);
}

TEST_F(ScaleFontsTest, ChildrenScaleByTheirOffsetInTheDialog) {
    g_fScale = 1.5f;
    QWidget dialog;
    dialog.move(700, 500);  // far from the screen's origin: must not matter
    auto* label = new QLabel("x", &dialog);
    label->setGeometry(10, 21, 100, 33);
    auto* inner = new QWidget(label);
    inner->setGeometry(1, 1, 10, 10);

    ScaleDialogChildren(&dialog);
    EXPECT_EQ(label->geometry(), QRect(15, 31, 150, 49));
    EXPECT_EQ(inner->geometry(), QRect(1, 1, 10, 10));  // grandchild left alone

    EXPECT_EQ(ScaleChildWindowProc(inner, &dialog), TRUE);
    EXPECT_EQ(inner->geometry(), QRect(1, 1, 10, 10));
}

}  // namespace
}  // namespace orv
