// The map window: a separate skinned top-level window that holds the map pane (or, when
// the main window moves it there, the main camera's view). It has the grey title strip
// and close button of the skinned dialogs and a 1-pixel light frame; only the program
// changes its size. It reports to the main window by posted messages (wParam 0, lParam 0):
// WM_APP_MAPWND_PAINT after each paint, WM_APP_MAPWND_CLOSE from the close button, and
// WM_APP_MAPWND_TITLE_DBLCLK on a double click in the title strip. UI thread only.
#pragma once

#include <QPen>
#include <QRect>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "ui/SkinDialog.h"

namespace orv {

class CMovieDialog : public CSkinDialog {
public:
    static constexpr int kCloseCommand = 22;
    static constexpr int kCaptionMap = 151;         // "マップ"
    static constexpr int kCaptionMainCamera = 145;  // "メインカメラ"

    // `owner`: the main window's handle, receiver of the messages. `parent`, the main
    // window itself, owns the window: the window system keeps it above the main window and
    // minimises it with it. Without one the desktop owns it.
    explicit CMovieDialog(HWND owner, QWidget* parent = nullptr);
    ~CMovieDialog() override;

    BOOL OnInitDialog() override;

    // The window text becomes UI text `textIndex`; the window is redrawn.
    void SetCaptionText(int textIndex);

    // The program's way to place and size the window (the user cannot resize it).
    void MoveWindow(int x, int y, int width, int height);

    // Handlers, public so that the main window's tests can drive them.
    void OnBtnClose();
    // A close asked for by the window manager ends the window as the close button does.
    void reject() override;
    void OnLButtonDblClk(POINT point);

    // The last window rectangle seen while visible (screen coordinates).
    QRect GetLastRect() const { return m_rcLast; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Post(unsigned msg) const;

    HWND m_hOwner;
    QPen m_framePen;     // RGB(207, 207, 207), (int)g_fScale wide
    BOOL m_bPen = FALSE;
    QRect m_rcLast;      // while visible
    QRect m_rcMinMax;    // the size the window keeps
};

}  // namespace orv
