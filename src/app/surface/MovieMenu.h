// The video menu: an owner-drawn popup over the video surface with one of four item
// layouts by the front channel's play state. Its items are plain actions that the menu
// itself activates (by the mouse or by the arrows and Return), so that exec() returns the
// chosen one and its command runs once the menu has closed; the menu's own style measures
// and draws them.
#pragma once

#include <QMenu>
#include <QString>
#include <utility>
#include <vector>

#include "app/commands/ControlRules.h"
#include "platform/base/WinTypes.h"

class QPainter;

namespace orv {


struct MovieMenuItem {
    int id = 0;       // 0: a separator
    int textId = -1;  // UI text
    bool grayed = false;
};

// What the menu is built from.
struct MovieMenuState {
    int playState = 0;        // the front channel's: 0 closed, 1 stopped, 2 playing, 3 paused
    bool frontInitialised = false;
    int speedStep = 1;
    bool fullScreen = false;
    int layoutMode = 0;
    int keepAspect = 0;       // the front channel's flag: 0 or 1; other values give no item
};

// The items of the layout for the state, in menu order.
std::vector<MovieMenuItem> BuildMovieMenuItems(const MovieMenuState& state);

// Whether `chosen` is an enabled item of the menu for `state`. The menu runs a loop of its
// own, in which the state may move on (the movie paused, stopped or closed): a choice made
// from the menu as it was built runs only while the menu for the state now offers it too.
bool MovieMenuOffers(const MovieMenuState& state, const MovieMenuItem& chosen);

class CMovieMenu : public QMenu {
public:
    explicit CMovieMenu(bool wide, QWidget* parent = nullptr);
    ~CMovieMenu() override;

    // The four layouts; each appends to the menu.
    void BuildPlayingMenu(int textId, BOOL fullScreen, int layoutMode, int speedStep, int keepAspect);
    void BuildPausedMenu(int textId, BOOL fullScreen, int layoutMode, int keepAspect);
    void BuildStoppedMenu(BOOL fullScreen, int layoutMode, int keepAspect);
    void BuildNoMovieMenu(int layoutMode);
    void AddItems(const std::vector<MovieMenuItem>& items);

    // Item size: 220 x 20 design pixels when wide, else 70 x 20.
    SIZE MeasureItem() const;
    // Draws one item into `rect`; `selected` is the highlight of the pointer or the arrows.
    void DrawItem(QPainter& painter, const RECT& rect, const QString& text, bool selected, bool grayed) const;

    // The item of a chosen action of this menu (id 0 for none, a separator or a grayed item).
    MovieMenuItem ItemOf(const QAction* action) const;

    // Closes every video menu that is open (the program's own popups only).
    static void CloseOpenMenus();

    BOOL m_bWide;

private:
    std::vector<std::pair<const QAction*, MovieMenuItem>> m_items;
};

}  // namespace orv
