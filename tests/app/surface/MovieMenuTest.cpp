#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include "app/surface/MovieMenu.h"
#include "fixtures/EventLoopWait.h"
#include "ui/ScaleFonts.h"

namespace orv {
namespace {

// The ids of a layout (0 for a separator) and the ids that are grayed.
std::vector<int> Ids(const std::vector<MovieMenuItem>& items) {
    std::vector<int> ids;
    for (const auto& item : items) ids.push_back(item.id);
    return ids;
}
std::vector<int> Grayed(const std::vector<MovieMenuItem>& items) {
    std::vector<int> ids;
    for (const auto& item : items)
        if (item.grayed) ids.push_back(item.id);
    return ids;
}

TEST(MovieMenu, LayoutsByPlayStateScreenAndMode) {
    const int P = ID_PLAY_PAUSE, S = ID_PLAY_STOP, F = ID_PLAY_FAST, L = ID_PLAY_SLOW, J = ID_SNAPSHOT,
              T = ID_SETTINGS, O = ID_OPEN_SOURCE, K = ID_KEEP_ASPECT;
    struct Case {
        MovieMenuState state;
        std::vector<int> ids;
        std::vector<int> grayed;
        int firstText;
    };
    const Case cases[] = {
        {{2, true, 1, false, 0, 1}, {P, S, F, L, 0, J, T, 0, O}, {}, 82},
        {{2, true, 2, false, 0, 1}, {P, S, F, L, 0, J, T, 0, O}, {F}, 82},
        {{2, true, 4, false, 0, 1}, {P, S, F, L, 0, J, T, 0, O}, {F}, 82},
        {{2, true, -1, false, 0, 1}, {P, S, F, L, 0, J, T, 0, O}, {L}, 82},
        {{2, true, 1, false, 2, 1}, {P, S, F, L, 0, J, T}, {}, 82},
        {{2, true, 1, true, 0, 1}, {P, S, F, L, K}, {}, 82},
        {{3, true, 2, false, 0, 1}, {P, S, 0, J, T, 0, O}, {}, 83},
        {{3, true, 1, true, 2, 0}, {P, S, K}, {}, 83},
        {{1, true, 1, false, 1, 1}, {P, 0, J, T, 0, O}, {}, 83},
        {{1, true, 1, true, 0, 7}, {P}, {}, 83},  // an unknown aspect flag gives no item
        {{0, true, 1, false, 0, 1}, {T, 0, O}, {}, 84},
        {{2, false, 1, false, 2, 1}, {T}, {}, 84},
    };
    for (const Case& c : cases) {
        const auto items = BuildMovieMenuItems(c.state);
        EXPECT_EQ(Ids(items), c.ids) << "state " << c.state.playState << " step " << c.state.speedStep;
        EXPECT_EQ(Grayed(items), c.grayed) << "state " << c.state.playState << " step " << c.state.speedStep;
        EXPECT_EQ(items.front().textId, c.firstText);
    }
    // The keep-aspect item names what it switches to.
    EXPECT_EQ(BuildMovieMenuItems({1, true, 1, true, 0, 0}).back().textId, 88);
    EXPECT_EQ(BuildMovieMenuItems({1, true, 1, true, 0, 1}).back().textId, 89);
}

// An item chosen from the playing menu runs only while the menu for the state now holds
// the same item, enabled.
TEST(MovieMenu, AChoiceStandsOnlyWhileTheMenuForTheStateNowOffersIt) {
    const MovieMenuState playing{2, true, 1, false, 0, 1};
    const struct {
        const char* name;
        int command;
        MovieMenuState now;
        bool offered;
    } cases[] = {
        {"pause, still playing", ID_PLAY_PAUSE, playing, true},
        {"pause, paused meanwhile: the item now plays", ID_PLAY_PAUSE, {3, true, 1, false, 0, 1}, false},
        {"stop, stopped meanwhile", ID_PLAY_STOP, {1, true, 1, false, 0, 1}, false},
        {"fast, at step 2 meanwhile: grayed", ID_PLAY_FAST, {2, true, 2, false, 0, 1}, false},
        {"settings, the movie closed meanwhile", ID_SETTINGS, {0, false, 1, false, 0, 0}, true},
        {"source, a layout without it meanwhile", ID_OPEN_SOURCE, {2, true, 1, false, 2, 1}, false},
        {"snapshot, full screen meanwhile", ID_SNAPSHOT, {2, true, 1, true, 0, 1}, false},
    };
    const std::vector<MovieMenuItem> built = BuildMovieMenuItems(playing);
    for (const auto& c : cases) {
        const auto chosen = std::find_if(built.begin(), built.end(), [&](const auto& i) { return i.id == c.command; });
        ASSERT_NE(chosen, built.end()) << c.name;
        EXPECT_EQ(MovieMenuOffers(c.now, *chosen), c.offered) << c.name;
    }
    EXPECT_FALSE(MovieMenuOffers(playing, MovieMenuItem{}));  // nothing chosen
}

TEST(MovieMenu, MeasuresAndDrawsItsItems) {
    g_fScale = 1.5f;
    CMovieMenu wide(true), narrow(false);
    EXPECT_EQ(wide.MeasureItem(), (SIZE{330, 30}));
    EXPECT_EQ(narrow.MeasureItem(), (SIZE{105, 30}));

    narrow.BuildPlayingMenu(82, FALSE, 0, 2, 1);
    EXPECT_EQ(narrow.actions().size(), 9);
    EXPECT_FALSE(narrow.actions()[2]->isEnabled());  // fast at step 2

    struct Case {
        bool selected, grayed;
        QRgb fill;
    };
    for (const Case& c : {Case{true, false, qRgb(0, 0, 255)}, {true, true, qRgb(195, 195, 255)}}) {
        QImage image(100, 30, QImage::Format_RGB32);
        QPainter painter(&image);
        narrow.DrawItem(painter, RECT{0, 0, 100, 30}, "", c.selected, c.grayed);
        painter.end();
        EXPECT_EQ(image.pixel(50, 15), c.fill);
    }
    g_fScale = 1.0f;
}

// Every item spans the menu from frame to frame, whatever makes the menu wider than the
// items' own width, so that no band of the menu's ground shows beside them; the highlight
// of the pointer or the arrows fills it in the highlight's colours.
TEST(MovieMenu, ItemsAreAsWideAsTheMenuAndHighlightedAcrossIt) {
    for (const float scale : {1.0f, 1.5f}) {
        for (const bool wide : {false, true}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << (wide ? " wide" : " narrow"));
            g_fScale = scale;
            CMovieMenu menu(wide);
            menu.BuildPlayingMenu(82, wide, 0, 2, 1);  // the fast item grayed
            menu.popup(QPoint(100, 100));
            ASSERT_TRUE(fixtures::RunUntil([&] { return menu.isVisible(); }, std::chrono::seconds(20)));
            const int edge = menu.style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, &menu) +
                             menu.style()->pixelMetric(QStyle::PM_MenuHMargin, nullptr, &menu);
            const int left = edge + menu.contentsMargins().left();
            const int width = menu.width() - left - edge - menu.contentsMargins().right();
            EXPECT_GE(width, menu.MeasureItem().cx);
            int items = 0;
            for (QAction* action : menu.actions()) {
                if (action->isSeparator()) continue;
                ++items;
                const QRect place = menu.actionGeometry(action);
                EXPECT_EQ(place.x(), left);
                EXPECT_EQ(place.width(), width);
                EXPECT_EQ(place.height(), menu.MeasureItem().cy);
                // Highlighted, the item is filled from edge to edge: blue, or pale blue when grayed.
                menu.setActiveAction(action);
                const QImage shot = menu.grab().toImage();
                const QRgb fill = action->isEnabled() ? qRgb(0, 0, 255) : qRgb(195, 195, 255);
                for (const int x : {place.left() + 1, place.right() - 1})
                    EXPECT_EQ(shot.pixel(x, place.top() + 1), fill) << action->text().toStdString() << " at " << x;
            }
            const auto built = BuildMovieMenuItems({2, true, 2, wide, 0, 1});  // as BuildPlayingMenu added them
            EXPECT_EQ(items, std::count_if(built.begin(), built.end(), [](const auto& i) { return i.id != 0; }));
            menu.close();
        }
    }
    g_fScale = 1.0f;
}

// The menu runs its own choice: exec() returns the item chosen with the arrows and Return, or
// clicked, once the menu has closed; Escape, a click on a grayed item or on a separator
// chooses nothing.
TEST(MovieMenu, ExecReturnsOnlyAnEnabledItemChosen) {
    enum How { kKeys, kClick };
    struct Case {
        const char* name;
        int speedStep;  // of the playing menu: 2 grays the fast item
        How how;
        int downs;      // the arrow presses, or the action clicked (its index among the actions)
        int command;
    };
    const Case cases[] = {
        {"Return on the first item", 1, kKeys, 1, ID_PLAY_PAUSE},
        {"Return on the third item", 1, kKeys, 3, ID_PLAY_FAST},
        {"Return on a grayed item", 2, kKeys, 3, 0},
        {"the arrows pass the separator", 1, kKeys, 5, ID_SNAPSHOT},
        {"Escape", 1, kKeys, 0, 0},
        {"a click on stop", 1, kClick, 1, ID_PLAY_STOP},
        {"a click on a grayed item", 2, kClick, 2, 0},
        {"a click on a separator", 1, kClick, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMovieMenu menu(false);
        menu.BuildPlayingMenu(82, FALSE, 0, c.speedStep, 1);
        bool given = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!menu.isVisible()) return;
            const auto send = [&](QEvent* event) { QCoreApplication::postEvent(&menu, event); };
            if (!given) {
                given = true;
                if (c.how == kKeys) {
                    for (int i = 0; i < c.downs; ++i) send(new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
                    send(new QKeyEvent(QEvent::KeyPress, c.downs == 0 ? Qt::Key_Escape : Qt::Key_Return, Qt::NoModifier));
                } else {
                    const QPointF at = menu.actionGeometry(menu.actions()[c.downs]).center();
                    const QPointF global = menu.mapToGlobal(at);
                    send(new QMouseEvent(QEvent::MouseMove, at, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier));
                    send(new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
                    send(new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
                }
                // What the input left open (a grayed item, a separator) is closed once it has
                // been served: the close is queued behind it.
                if (c.command == 0) QMetaObject::invokeMethod(&menu, [&] { menu.close(); }, Qt::QueuedConnection);
            }
        });
        driver.start(50);
        QTimer::singleShot(std::chrono::seconds(20), &menu, [&] { menu.close(); });  // never stays open
        const int command = menu.ItemOf(menu.exec(QPoint(100, 100))).id;
        EXPECT_TRUE(given);
        EXPECT_EQ(command, c.command);
        EXPECT_FALSE(menu.isVisible());
    }
}

}  // namespace
}  // namespace orv
