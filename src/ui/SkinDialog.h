// The base of the borderless skinned dialogs: no system frame, a grey title strip of
// trunc(20 x g_fScale) pixels with the window text, moved by dragging its top rows, an
// optional small close button in the top-right corner, and Enter and Escape taken away
// so that only the dialog's buttons end it.
//
// OnInitDialog runs once, just before the dialog is first shown. A dialog ends with IDOK
// or IDCANCEL (accept() and reject() give them). UI thread only.
#pragma once

#include <QDialog>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "ui/CaptionDrag.h"

class QEvent;

namespace orv {

class CSkinButton;

// Results of a dialog.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// What a point of the window is for: the client area, or the caption band that moves it.
constexpr int HTCLIENT = 1;
constexpr int HTCAPTION = 2;

class CSkinDialog : public QDialog {
public:
    explicit CSkinDialog(QWidget* parent = nullptr);
    ~CSkinDialog() override;

    // Takes the system frame away. Returns TRUE.
    virtual BOOL OnInitDialog();

    // TRUE when `event`, aimed at the dialog or one of its controls, is to be dropped:
    // the press of Enter or Escape.
    virtual BOOL PreTranslateMessage(const QEvent* event);

    // Makes the close button, command id `id`, 13 x 12 (scaled) at 20 (scaled) from the
    // right edge and 4 from the top, drawn from strip 352; its click ends the dialog with
    // IDCANCEL. Only repositions it when it exists.
    void CreateCloseButton(int id);

    // Puts the close button back in its corner for the current size and reloads its
    // strip at the current scale; nothing before CreateCloseButton.
    void RepositionCloseButton();

    // The close button, or null before CreateCloseButton.
    CSkinButton* GetCloseButton() const { return m_pCloseButton; }

    // The grey title strip and the window text (in g_hFont10, the context's text colour).
    void DrawTitleBar(DeviceContext& dc);

    // The title strip on the dialog; for paintEvent.
    void OnPaint();

    // Ends the dialog with IDCANCEL.
    void OnCloseButton();

    // What the screen point `point` of the window is for: HTCLIENT for the top rows
    // (trunc(6 s)), HTCAPTION for the band below them down to trunc(24 s), else HTCLIENT.
    int OnNcHitTest(POINT point) const;

    BOOL IsDragging() const { return m_bDragging; }

    void accept() override;
    void reject() override;
    void setVisible(bool visible) override;

protected:
    // Begins the move by hand when the press lies in the title strip. A press in the caption
    // band below the top rows never comes here: it moves the window once it is a drag.
    void OnLButtonDown(POINT point);
    void OnMouseMove(POINT point);
    void OnLButtonUp(POINT point);

    // The dialog loses its system frame (OnInitDialog of a dialog that does not call the
    // base's does this itself).
    void RemoveBorder();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceCloseButton();
    // Neither the manual drag nor a press in the caption band goes on.
    void EndDrags();

    CSkinButton* m_pCloseButton = nullptr;  // a child: Qt deletes it with the dialog
    CaptionDrag m_caption{this};            // a press in the caption band
    int m_nDragStartX = 0;
    int m_nDragStartY = 0;
    BOOL m_bDragging = FALSE;
    bool m_bInitialised = false;
};

}  // namespace orv
