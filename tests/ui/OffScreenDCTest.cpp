#include "ui/OffScreenDC.h"

#include <QFont>

#include <memory>

#include <gtest/gtest.h>

#include "ui/LapTimeArea.h"
#include "ui/ScaleFonts.h"

namespace orv {
namespace {

TEST(OffScreenDC, IsABlackBufferThatTakesTheDrawing) {
    COffScreenDC buffer(30, 20);
    EXPECT_EQ(buffer.GetSize(), (SIZE{30, 20}));
    EXPECT_EQ(buffer.GetBitmap().pixel(29, 19), qRgb(0, 0, 0));
    buffer.GetDC().FillRect(RECT{0, 0, 10, 10}, RGB(255, 0, 0));
    EXPECT_EQ(buffer.GetBitmap().pixel(9, 9), qRgb(255, 0, 0));
    EXPECT_EQ(buffer.GetBitmap().pixel(10, 10), qRgb(0, 0, 0));

    // Copied to a window's picture in one blit.
    QImage window(30, 20, QImage::Format_RGB32);
    window.fill(Qt::white);
    DeviceContext screen(&window);
    screen.BitBlt(0, 0, 30, 20, buffer.GetDC(), 0, 0);
    EXPECT_EQ(window, buffer.GetBitmap());

    COffScreenDC none(0, 5);
    EXPECT_EQ(none.GetSize(), (SIZE{0, 0}));
    none.GetDC().FillRect(RECT{0, 0, 10, 10}, RGB(255, 0, 0));  // nothing to draw on
    EXPECT_EQ(none.GetDC().GetBitmap(), nullptr);
}

class LapTimeAreaTest : public testing::Test {
protected:
    void SetUp() override { g_hFont10 = new QFont(QStringLiteral("Noto Sans CJK JP")); }
    void TearDown() override {
        delete g_hFont10;
        g_hFont10 = nullptr;
    }
};

TEST_F(LapTimeAreaTest, PreparesWhiteTextAndGivesTheFontBack) {
    COffScreenDC buffer(10, 10);
    QFont before;
    buffer.GetDC().SelectFont(&before);
    {
        CLapTimeArea area;
        area.SetUp(&buffer);
        EXPECT_EQ(buffer.GetDC().GetFont(), g_hFont10);
        EXPECT_EQ(buffer.GetDC().GetTextColor(), RGB(255, 255, 255));
        EXPECT_EQ(buffer.GetDC().GetBkMode(), TRANSPARENT);
    }
    EXPECT_EQ(buffer.GetDC().GetFont(), &before);

    QFont other;
    buffer.GetDC().SelectFont(&other);
    { CLapTimeArea unused; }  // kept no font: restores nothing
    EXPECT_EQ(buffer.GetDC().GetFont(), &other);
}

TEST_F(LapTimeAreaTest, PreparingAgainGivesTheFirstFontBack) {
    QFont before;
    COffScreenDC first(10, 10);
    first.GetDC().SelectFont(&before);
    COffScreenDC second(10, 10);
    second.GetDC().SelectFont(&before);
    {
        CLapTimeArea area;
        area.SetUp(&first);
        area.SetUp(&first);  // the same buffer twice: its own font is still the one to give back
        EXPECT_EQ(first.GetDC().GetFont(), g_hFont10);
        area.SetUp(&second);  // the owner's new buffer: the old one gets its font back at once
        EXPECT_EQ(first.GetDC().GetFont(), &before);
        EXPECT_EQ(second.GetDC().GetFont(), g_hFont10);
    }
    EXPECT_EQ(first.GetDC().GetFont(), &before);
    EXPECT_EQ(second.GetDC().GetFont(), &before);
}

TEST_F(LapTimeAreaTest, OutlivingItsBufferIsHarmless) {
    auto area = std::make_unique<CLapTimeArea>();
    auto buffer = std::make_unique<COffScreenDC>(10, 10);
    area->SetUp(buffer.get());
    buffer.reset();  // the owner remakes its buffer on a resize
    area.reset();    // must not touch the buffer that is gone
    SUCCEED();
}

}  // namespace
}  // namespace orv
