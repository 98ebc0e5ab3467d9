// The skinned message box: a modal box that sizes itself to its text, centres itself on
// its parent (the desktop without one) and offers OK, or OK and Cancel. UI thread only.
#pragma once

#include <QBrush>
#include <QString>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "ui/SkinDialog.h"

class QPushButton;

namespace orv {

// The buttons offered; any other value leaves both buttons where the template put them.
enum MsgBoxType : int {
    MSGBOX_OK = 0,
    MSGBOX_OKCANCEL = 1,
};

class CMsgBox {
public:
    // `parent`: the window to centre on; null for the desktop.
    explicit CMsgBox(QWidget* parent = nullptr) : m_pParent(parent) {}
    virtual ~CMsgBox() = default;

    // Runs the box over the parent and returns IDOK or IDCANCEL.
    int Show(const QString& text, const QString& caption, MsgBoxType type);

private:
    QWidget* m_pParent = nullptr;
};

class CMsgDlg : public CSkinDialog {
public:
    // Ids of the template's controls.
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kTextId = 1009;

    CMsgDlg(QWidget* parent, const QString& text, const QString& caption, MsgBoxType type);

    // Fonts and texts, then the size measured from the text, centred on the parent, and
    // the buttons of the type in the bottom-right corner.
    BOOL OnInitDialog() override;

    // The widest line of `text` (split at line feeds) and the sum of the lines' heights,
    // in the context's font.
    static SIZE MeasureMessageText(const DeviceContext& dc, const QString& text);

    // Sizes the box for a text of `text` pixels, centres it on `parent` (screen
    // coordinates) and places the text and the buttons.
    void PlaceControls(SIZE text, const RECT& parent);

    // The white ground of the text control: `dc` set for it, and the brush it is filled
    // with.
    const QBrush& OnCtlColor(DeviceContext& dc);

    // The client area without its bottom trunc(60 s) rows in white; the button band
    // keeps the dialog's colour.
    BOOL OnEraseBkgnd(DeviceContext& dc);

    QPushButton* GetOkButton() const { return m_pOk; }
    QPushButton* GetCancelButton() const { return m_pCancel; }
    QWidget* GetTextControl() const { return m_pText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The parent's outer rectangle on the screen, or the primary screen's.
    RECT ParentRect() const;

    QString m_strText;
    QString m_strCaption;
    MsgBoxType m_nType;
    QBrush m_brWhite;
    QWidget* m_pParentWnd;
    QWidget* m_pText;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};

}  // namespace orv
