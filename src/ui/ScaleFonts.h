// The process-wide scale factor, font scale and shared fonts.
//
// Every layout and drawing size is a design value (pixels at scale 1) times g_fScale,
// which follows the height of the work area of the main window's monitor: 1056 pixels
// give 1.0. The five shared fonts are made once from the font scale and deleted at exit.
#pragma once

#include <QRect>

#include "platform/base/WinTypes.h"

class QFont;
class QWidget;

namespace orv {

extern float g_fScale;
extern float g_fFontScale;

// Null until InitScaleAndFonts made them and after DeleteSharedFonts.
extern QFont* g_hFont9;
extern QFont* g_hFont10;
extern QFont* g_hFont13;
extern QFont* g_hFont17;
extern QFont* g_hFont22;

// What the scale is computed from: a monitor's work area and its logical resolution.
struct MonitorMetrics {
    QRect workArea;
    int dpiX = 96;
    int dpiY = 96;
};

// The monitor nearest to the window's top-left corner; false when there is no screen.
bool MonitorMetricsOf(const QWidget* window, MonitorMetrics* out);

// Work-area height / 48 / 22, in single precision as the layouts expect it.
float ScaleFromWorkAreaHeight(int workAreaHeight);

// The font height (negative: character height in pixels) of a shared font of `points`.
int SharedFontHeight(float fontScale, int points, int dpiY);

// Sets g_fScale and g_fFontScale from the window's monitor and makes the five shared
// fonts. FALSE, changing nothing, when the window has no screen. Fonts that exist are
// not deleted: call DeleteSharedFonts first when running it again.
BOOL InitScaleAndFonts(QWidget* window);
BOOL InitScaleAndFonts(const MonitorMetrics& monitor);

// Deletes the shared fonts that exist and sets them to null.
void DeleteSharedFonts();

// Lowers g_fFontScale when the window's monitor is shorter than the scaled design
// height of the main window (697); returns the ratio applied, or 1.0.
float FitFontScaleToMonitor(QWidget* window);
float FitFontScaleToMonitor(int workAreaHeight);

// Scales one direct child of `parent`: its size and its offset inside the parent's
// client area are multiplied by g_fScale (truncated). Grandchildren are left alone.
// Always TRUE, so that it can serve as the step of a walk over all descendants.
BOOL ScaleChildWindowProc(QWidget* child, QWidget* parent);

// Runs ScaleChildWindowProc over every descendant of `dialog`.
void ScaleDialogChildren(QWidget* dialog);

// The face of the shared fonts (text 112) and the installed face that renders it.
constexpr const char* kSubstituteFace = "Noto Sans CJK JP";

}  // namespace orv
