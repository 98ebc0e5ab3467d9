// The window that tells the user what the update check found: a white page titled
// "更新情報" with the message and its links, and a "閉じる" button. A click on a link
// opens the page in the desktop's browser, but only for the pages this program links to.
// The window keeps its size; it moves by its top rows like every skinned dialog. Escape
// closes it, Enter does nothing. UI thread only.
#pragma once

#include <QBrush>
#include <QString>

#include <string>

#include "platform/base/WinTypes.h"
#include "ui/SkinDialog.h"

class QLabel;
class QPushButton;

namespace orv {

class CUpdateDialog : public CSkinDialog {
public:
    // Links are opened only when they lead to one of the update server's pages on
    // `updateHost` (host[:port]); "" means the host the program was built with.
    explicit CUpdateDialog(QWidget* parent = nullptr, std::string updateHost = {});

    BOOL OnInitDialog() override;

    // Shows `message` (link markup, as the update check composes it).
    void SetMessage(const std::string& message);

    // Places the message and the button for the current size and scale.
    void Relayout();
    // After a change of the scale: the font, the size (about the same centre) and the
    // places of the message and the button for the new scale.
    void FollowScale();

    void OnLinkClick(const QString& url);
    void OnBnClickedCancel();

    BOOL PreTranslateMessage(const QEvent* event) override;
    void accept() override;  // Enter, through the hidden default button: nothing
    void reject() override;

    BOOL m_bClosed = FALSE;  // set when the user closed the window

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RememberWindowRect();
    void ApplyFontAndSize();

    const std::string m_strUpdateHost;
    QLabel* m_pLink;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    QBrush m_brWhite;
    RECT m_rcWindow;
};

}  // namespace orv
