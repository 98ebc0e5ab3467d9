#include "ui/ScaleFonts.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <vector>

#include "ui/CommonUtil.h"
#include "ui/text/UiText.h"

namespace orv {

float g_fScale = 0.0f;
float g_fFontScale = 0.0f;
QFont* g_hFont9 = nullptr;
QFont* g_hFont10 = nullptr;
QFont* g_hFont13 = nullptr;
QFont* g_hFont17 = nullptr;
QFont* g_hFont22 = nullptr;

namespace {

// The main window's design height.
constexpr int kDesignHeight = 697;

// Sizes in points of the shared fonts, with the globals they go to.
struct SharedFontSlot {
    int points;
    QFont** font;
};
const SharedFontSlot kSharedFonts[] = {
    {9, &g_hFont9}, {10, &g_hFont10}, {13, &g_hFont13}, {17, &g_hFont17}, {22, &g_hFont22},
};

QScreen* ScreenNearest(const QPoint& p) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<RECT> areas;
    for (const QScreen* s : screens) {
        const QRect g = s->geometry();
        areas.push_back(RECT{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()});
    }
    const int best = NearestRect(areas, POINT{p.x(), p.y()});
    return best >= 0 ? screens[best] : nullptr;
}

QFont* MakeSharedFont(int height) {
    // The face is given by name; it is substituted by an installed face that has the
    // Japanese glyphs. A negative height is the character height (em) in pixels.
    auto* font = new QFont(QString::fromUtf8(UiText(112)));
    font->setPixelSize(height < 0 ? -height : (height > 0 ? height : 1));
    font->setWeight(QFont::Normal);
    return font;
}

}  // namespace

bool MonitorMetricsOf(const QWidget* window, MonitorMetrics* out) {
    if (!out || QGuiApplication::screens().isEmpty()) return false;
    const QPoint topLeft = window ? window->frameGeometry().topLeft() : QPoint();
    QScreen* screen = ScreenNearest(topLeft);
    if (!screen) return false;
    out->workArea = screen->availableGeometry();
    out->dpiX = int(screen->logicalDotsPerInchX() + 0.5);
    out->dpiY = int(screen->logicalDotsPerInchY() + 0.5);
    return true;
}

float ScaleFromWorkAreaHeight(int workAreaHeight) {
    float scale = float(workAreaHeight) / 48.0f;
    scale = scale / 22.0f;
    return scale;
}

int SharedFontHeight(float fontScale, int points, int dpiY) {
    const int scaledPoints = int(fontScale * float(points));  // truncation toward zero
    return -MulDiv(scaledPoints, dpiY, 72);
}

BOOL InitScaleAndFonts(QWidget* window) {
    MonitorMetrics monitor;
    if (!MonitorMetricsOf(window, &monitor)) return FALSE;
    return InitScaleAndFonts(monitor);
}

BOOL InitScaleAndFonts(const MonitorMetrics& monitor) {
    if (monitor.dpiX <= 0 || monitor.dpiY <= 0) return FALSE;
    QFont::insertSubstitution(QString::fromUtf8(UiText(112)), QString::fromUtf8(kSubstituteFace));

    g_fScale = ScaleFromWorkAreaHeight(monitor.workArea.height());
    g_fFontScale = float(g_fScale * (96.0 / monitor.dpiX));
    if (g_fFontScale > 0.0f) {
        for (const SharedFontSlot& slot : kSharedFonts)
            *slot.font = MakeSharedFont(SharedFontHeight(g_fFontScale, slot.points, monitor.dpiY));
    }
    return TRUE;
}

void DeleteSharedFonts() {
    for (const SharedFontSlot& slot : kSharedFonts) {
        delete *slot.font;
        *slot.font = nullptr;
    }
}

float FitFontScaleToMonitor(QWidget* window) {
    MonitorMetrics monitor;
    if (!MonitorMetricsOf(window, &monitor)) return 1.0f;
    return FitFontScaleToMonitor(monitor.workArea.height());
}

float FitFontScaleToMonitor(int workAreaHeight) {
    const int designHeight = int(float(kDesignHeight) * g_fScale);
    if (workAreaHeight >= designHeight) return 1.0f;
    const float ratio = float(workAreaHeight) / float(designHeight);
    g_fFontScale = g_fFontScale * ratio;
    return ratio;
}

BOOL ScaleChildWindowProc(QWidget* child, QWidget* parent) {
    if (!child || child->parentWidget() != parent) return TRUE;
    const float s = g_fScale;
    const QRect r = child->geometry();  // offset inside the parent's client area
    child->setGeometry(int(float(r.x()) * s), int(float(r.y()) * s), int(float(r.width()) * s),
                       int(float(r.height()) * s));
    return TRUE;
}

void ScaleDialogChildren(QWidget* dialog) {
    if (!dialog) return;
    for (QWidget* child : dialog->findChildren<QWidget*>()) ScaleChildWindowProc(child, dialog);
}

}  // namespace orv
