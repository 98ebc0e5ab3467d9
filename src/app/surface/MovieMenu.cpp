#include "app/surface/MovieMenu.h"

#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include <algorithm>

#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTextPlaying = 82;  // "pause" while playing
constexpr int kTextPlay = 83;
constexpr int kTextStop = 87;
constexpr int kTextFast = 79;
constexpr int kTextSlow = 85;
constexpr int kTextSnapshot = 86;
constexpr int kTextSettings = 84;
constexpr int kTextOpen = 81;
constexpr int kTextKeepAspect = 88;  // offered while the picture is stretched
constexpr int kTextStretch = 89;     // offered while the aspect is kept

const MovieMenuItem kSeparator{};

void AppendKeepAspect(std::vector<MovieMenuItem>& items, const MovieMenuState& s) {
    if (!s.frontInitialised || s.keepAspect == 0) items.push_back({ID_KEEP_ASPECT, kTextKeepAspect});
    else if (s.keepAspect == 1) items.push_back({ID_KEEP_ASPECT, kTextStretch});
}

// The tail shared by the layouts of an open movie.
void AppendTail(std::vector<MovieMenuItem>& items, const MovieMenuState& s) {
    if (s.fullScreen) {
        AppendKeepAspect(items, s);
        return;
    }
    items.push_back(kSeparator);
    items.push_back({ID_SNAPSHOT, kTextSnapshot});
    items.push_back({ID_SETTINGS, kTextSettings});
    if (s.layoutMode != 2) {
        items.push_back(kSeparator);
        items.push_back({ID_OPEN_SOURCE, kTextOpen});
    }
}

// Open menus, so that only the program's own popups are closed on request.
std::vector<QPointer<CMovieMenu>>& OpenMenus() {
    static std::vector<QPointer<CMovieMenu>> menus;
    return menus;
}

// The owner drawing of the menu's items: the items take the menu's own size and are drawn
// by it; separators, the frame and the ground stay the application style's.
class MovieMenuStyle : public QProxyStyle {
public:
    explicit MovieMenuStyle(const CMovieMenu* menu) : menu_(menu) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        if (type == CT_MenuItem && IsItem(option)) {
            const SIZE item = menu_->MeasureItem();
            return QSize(std::max(item.cx, 1), std::max(item.cy, 1));
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_MenuItem && IsItem(option)) {
            const QRect r = option->rect;
            painter->save();
            menu_->DrawItem(*painter, RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()},
                            static_cast<const QStyleOptionMenuItem*>(option)->text, option->state & State_Selected,
                            !(option->state & State_Enabled));
            painter->restore();
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        // A grayed item is highlighted as any other (in its own pale colours), but never run.
        if (hint == SH_Menu_AllowActiveAndDisabled) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    static bool IsItem(const QStyleOption* option) {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        return item && item->menuItemType == QStyleOptionMenuItem::Normal;
    }

    const CMovieMenu* menu_;
};

}  // namespace

std::vector<MovieMenuItem> BuildMovieMenuItems(const MovieMenuState& s) {
    if (!s.frontInitialised || s.playState == 0) {
        if (s.layoutMode == 2) return {{ID_SETTINGS, kTextSettings}};
        return {{ID_SETTINGS, kTextSettings}, kSeparator, {ID_OPEN_SOURCE, kTextOpen}};
    }
    std::vector<MovieMenuItem> items;
    switch (s.playState) {
    case 2: {
        items.push_back({ID_PLAY_PAUSE, kTextPlaying});
        items.push_back({ID_PLAY_STOP, kTextStop});
        const bool fastGrayed = s.speedStep > 1;
        items.push_back({ID_PLAY_FAST, kTextFast, fastGrayed});
        items.push_back({ID_PLAY_SLOW, kTextSlow, !fastGrayed && s.speedStep < 0});
        break;
    }
    case 3:
        items.push_back({ID_PLAY_PAUSE, kTextPlay});
        items.push_back({ID_PLAY_STOP, kTextStop});
        break;
    default:
        items.push_back({ID_PLAY_PAUSE, kTextPlay});
        break;
    }
    AppendTail(items, s);
    return items;
}

bool MovieMenuOffers(const MovieMenuState& state, const MovieMenuItem& chosen) {
    if (chosen.id == 0 || chosen.grayed) return false;
    const std::vector<MovieMenuItem> items = BuildMovieMenuItems(state);
    // The text counts: the play/pause item chosen as "pause" is no "play" of a paused movie.
    return std::any_of(items.begin(), items.end(), [&](const MovieMenuItem& item) {
        return item.id == chosen.id && item.textId == chosen.textId && !item.grayed;
    });
}

CMovieMenu::CMovieMenu(bool wide, QWidget* parent) : QMenu(parent), m_bWide(wide) {
    auto* style = new MovieMenuStyle(this);
    style->setParent(this);
    setStyle(style);
    OpenMenus().push_back(this);
}

CMovieMenu::~CMovieMenu() {
    // Back to the application's style before the menu's own goes with the menu's children.
    setStyle(nullptr);
    auto& menus = OpenMenus();
    menus.erase(std::remove_if(menus.begin(), menus.end(), [this](const auto& m) { return m.isNull() || m == this; }),
                menus.end());
}

void CMovieMenu::BuildPlayingMenu(int, BOOL fullScreen, int layoutMode, int speedStep, int keepAspect) {
    AddItems(BuildMovieMenuItems({2, true, speedStep, bool(fullScreen), layoutMode, keepAspect}));
}

void CMovieMenu::BuildPausedMenu(int, BOOL fullScreen, int layoutMode, int keepAspect) {
    AddItems(BuildMovieMenuItems({3, true, 1, bool(fullScreen), layoutMode, keepAspect}));
}

void CMovieMenu::BuildStoppedMenu(BOOL fullScreen, int layoutMode, int keepAspect) {
    AddItems(BuildMovieMenuItems({1, true, 1, bool(fullScreen), layoutMode, keepAspect}));
}

void CMovieMenu::BuildNoMovieMenu(int layoutMode) { AddItems(BuildMovieMenuItems({0, false, 1, false, layoutMode, 0})); }

void CMovieMenu::AddItems(const std::vector<MovieMenuItem>& items) {
    for (const MovieMenuItem& item : items) {
        if (item.id == 0) {
            addSeparator();
            continue;
        }
        QAction* action = addAction(QString::fromUtf8(UiText(item.textId)));
        action->setData(item.id);
        action->setEnabled(!item.grayed);
        m_items.emplace_back(action, item);
    }
}

SIZE CMovieMenu::MeasureItem() const {
    return SIZE{int(float(m_bWide ? 220 : 70) * g_fScale), int(20.0f * g_fScale)};
}

void CMovieMenu::DrawItem(QPainter& painter, const RECT& rect, const QString& text, bool selected, bool grayed) const {
    const QRect area(rect.left, rect.top, rect.Width(), rect.Height());
    QColor fill, ink;
    if (selected) {
        fill = grayed ? QColor(195, 195, 255) : QColor(0, 0, 255);
        ink = grayed ? QColor(127, 127, 127) : QColor(255, 255, 255);
    } else {
        fill = palette().color(QPalette::Window);
        ink = grayed ? QColor(127, 127, 127) : palette().color(QPalette::WindowText);
    }
    painter.fillRect(area, fill);
    if (g_hFont10) painter.setFont(*g_hFont10);
    painter.setPen(ink);
    const int indent = int(20.0f * g_fScale);
    painter.drawText(area.adjusted(indent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

MovieMenuItem CMovieMenu::ItemOf(const QAction* action) const {
    for (const auto& [own, item] : m_items)
        if (own == action && !item.grayed) return item;
    return {};
}

void CMovieMenu::CloseOpenMenus() {
    for (const auto& menu : std::vector<QPointer<CMovieMenu>>(OpenMenus()))
        if (menu && menu->isVisible()) menu->close();
}

}  // namespace orv
