#include "ui/CaptionDrag.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace orv {
namespace {

// A press on a caption is a click while the pointer keeps within the drag distance of the
// press point, and moves the window from then on, the grabbed point under the pointer (here,
// offscreen, no window system takes the move over: the window follows by itself).
TEST(CaptionDrag, APressMovesTheWindowOnlyOnceItIsADrag) {
    const int d = QApplication::startDragDistance();
    ASSERT_GT(d, 1);
    const QPoint press(150, 110);
    const struct {
        const char* name;
        std::vector<QPoint> path;  // pointer steps from the press point, the button down
        QPoint moved;              // where the window went
        bool isMove;
    } cases[] = {
        {"a click", {}, {0, 0}, false},
        {"a wobble within the drag distance", {{d - 1, 0}, {0, 1 - d}, {-(d / 2), d / 2 - d + 1}}, {0, 0}, false},
        {"a drag", {{3, 0}, {d, 0}, {d + 20, -7}}, {d + 20, -7}, true},
        {"a drag that comes back to the press point", {{0, d}, {5, 5}, {0, 0}}, {0, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        window.resize(300, 200);
        window.move(100, 100);
        window.show();
        CaptionDrag caption(&window);
        EXPECT_FALSE(caption.Drag(press + QPoint(40, 40)));  // no press yet: not the caption's
        caption.Press(press);
        for (const QPoint& step : c.path) EXPECT_TRUE(caption.Drag(press + step));
        EXPECT_EQ(window.pos(), QPoint(100, 100) + c.moved);
        EXPECT_EQ(caption.End(), c.isMove);
        // After the release the pointer moves nothing.
        EXPECT_FALSE(caption.Drag(press + QPoint(60, 60)));
        EXPECT_EQ(window.pos(), QPoint(100, 100) + c.moved);
    }
}

}  // namespace
}  // namespace orv
