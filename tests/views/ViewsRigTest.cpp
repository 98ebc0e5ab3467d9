// The rig in which view-gallery and views-bench draw the data views: its drawing buffer has
// the main window's size, so the compact strip along the window's bottom shows its texts.
#include <gtest/gtest.h>

#include "ui/ControlTestSupport.h"
#include "views-bench/ViewsFeed.h"

namespace orv {
namespace {

int T(int k) { return int(double(k) * double(g_fScale)); }

// Pixels of the strip's text colour (white) in the columns [left, right) of `strip`.
int TextPixels(const QImage& strip, int left, int right) {
    int n = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = std::max(left, 0); x < std::min(right, strip.width()); ++x)
            n += strip.pixel(x, y) == qRgb(255, 255, 255);
    return n;
}

TEST(ViewsRig, CompactStripShowsItsTextsAtEachScale) {
    for (const float scale : {1.0f, 1.5f}) {
        test::ScaleScope scaled(scale);
        views_tools::ViewsRig rig(QStringLiteral("AG__"));
        EXPECT_EQ(rig.offScreen->GetBitmap().size(), rig.main.size()) << scale;
        CInfoDlg& info = *rig.info;
        info.SetRecording(0, SYSTEMTIME{2024, 4, 6, 13, 10, 15, 0, 0}, info.Title());
        info.SetFrameInterval(33.3f);
        InfoFrameValues frame;
        frame.nPosition = 30;
        frame.bGpsValid = TRUE;
        frame.dSpeed = 42.0;
        info.ShowFrame(frame);

        const QImage strip = rig.CompactStrip();
        const RECT where = info.CompactStripRect();
        EXPECT_EQ(strip.size(), QSize(where.right - where.left, where.bottom - where.top)) << scale;
        // The title, the date and time, and the speed, where the strip lays them out.
        const struct {
            const char* what;
            int left, right;  // design pixels from the strip's left
        } texts[] = {{"title", 0, 150}, {"date and time", 170, 320}, {"speed", 320, 540}};
        for (const auto& t : texts)
            EXPECT_GT(TextPixels(strip, T(t.left), T(t.right)), 20) << scale << " " << t.what;
    }
}

}  // namespace
}  // namespace orv
