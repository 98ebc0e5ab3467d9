// The logo pane: a child pane of the main window that shows, stretched over it and framed
// in white, the logo of the image store, or the logo with the notice that the map cannot
// be shown without an internet connection. The main window chooses the picture (SetOnline)
// and repaints the pane when it changes. UI thread only.
#pragma once

#include <QWidget>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"

namespace orv {

class CResourceImage;

class CLogoDlg : public QWidget {
public:
    static constexpr int kLogo = 164;
    static constexpr int kNoMapNotice = 324;

    // `images` (the main window's store, not owned) may be null: the pane then draws nothing.
    explicit CLogoDlg(CResourceImage* images, QWidget* parent = nullptr);

    // The picture of the flag over the whole client area and the white frame; nothing
    // when the picture is not loaded.
    BOOL OnEraseBkgnd(DeviceContext& dc);

    // TRUE: the logo; FALSE: the logo with the notice.
    void SetOnline(BOOL online) { m_bOnline = online; }
    BOOL IsOnline() const { return m_bOnline; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BOOL m_bOnline = TRUE;
    CResourceImage* m_pResourceImage;
};

}  // namespace orv
