// The map window: its messages to the main window, its caption and its fixed size.
#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "views/ViewsTestSupport.h"
#include "views/map/MovieDialog.h"

namespace orv::test {
namespace {

class ScaleGuard {
public:
    explicit ScaleGuard(float scale) : old_(g_fScale) { g_fScale = scale; }
    ~ScaleGuard() { g_fScale = old_; }

private:
    float old_;
};

void DoubleClick(QWidget& w, int x, int y) {
    const QPointF local(x, y);
    QMouseEvent event(QEvent::MouseButtonDblClick, local, w.mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

TEST(MovieDialog, ADoubleClickInTheTitleStripIsReported) {
    const std::tuple<float, int, bool> cases[] = {{1.5f, 29, true}, {1.5f, 30, false}, {1.0f, 19, true},
                                                  {1.0f, 20, false}};
    for (const auto& [scale, y, reported] : cases) {
        ScaleGuard guard(scale);
        RecordingWindow owner;
        CMovieDialog dlg(owner.Handle());
        dlg.MoveWindow(10, 10, 300, 200);
        dlg.show();
        owner.Take();
        DoubleClick(dlg, 50, y);
        const std::vector<Posted> expected =
            reported ? std::vector<Posted>{{WM_APP_MAPWND_TITLE_DBLCLK, 0, 0}} : std::vector<Posted>{};
        EXPECT_EQ(owner.Take(), expected) << "scale " << scale << " y " << y;
    }
}

TEST(MovieDialog, PaintingAndTheCloseButtonAreReported) {
    ScaleGuard guard(1.0f);
    RecordingWindow owner;
    CMovieDialog dlg(owner.Handle());
    dlg.MoveWindow(0, 0, 320, 240);
    dlg.show();
    QApplication::processEvents();
    owner.Take();
    dlg.SetCaptionText(CMovieDialog::kCaptionMap);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "マップ");
    std::vector<Posted> got = owner.Take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), (Posted{WM_APP_MAPWND_PAINT, 0, 0}));

    ASSERT_NE(dlg.GetCloseButton(), nullptr);
    dlg.GetCloseButton()->click();
    got = owner.Take();
    EXPECT_EQ(std::count(got.begin(), got.end(), Posted{WM_APP_MAPWND_CLOSE, 0, 0}), 1);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), IDCANCEL);

    // Closed by the window manager, it reports the same way.
    dlg.show();
    owner.Take();
    dlg.close();
    got = owner.Take();
    EXPECT_EQ(std::count(got.begin(), got.end(), Posted{WM_APP_MAPWND_CLOSE, 0, 0}), 1);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(MovieDialog, OnlyTheProgramChangesItsSize) {
    CMovieDialog dlg(0);
    dlg.MoveWindow(20, 30, 400, 300);
    dlg.show();
    dlg.resize(600, 500);  // as a window manager's edge drag would ask
    EXPECT_EQ(dlg.size(), QSize(400, 300));
    dlg.MoveWindow(40, 50, 440, 330);
    EXPECT_EQ(dlg.size(), QSize(440, 330));
    EXPECT_EQ(dlg.GetLastRect().topLeft(), QPoint(40, 50));
}

}  // namespace
}  // namespace orv::test
