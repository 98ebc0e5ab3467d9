#include "ui/LogoDlg.h"

#include "ui/ResourceImage.h"

namespace orv {

CLogoDlg::CLogoDlg(CResourceImage* images, QWidget* parent) : QWidget(parent), m_pResourceImage(images) {}

BOOL CLogoDlg::OnEraseBkgnd(DeviceContext& dc) {
    if (!m_pResourceImage) return TRUE;
    const QImage* picture = m_pResourceImage->Picture(m_bOnline ? kLogo : kNoMapNotice);
    if (!picture) return TRUE;
    const RECT client{0, 0, width(), height()};
    const int oldMode = dc.SetStretchBltMode(COLORONCOLOR);
    dc.StretchBlt(0, 0, client.right, client.bottom, *picture, 0, 0, picture->width(), picture->height());
    dc.SetStretchBltMode(oldMode);
    dc.FrameRect(client, m_bOnline ? m_pResourceImage->GetWhiteBrush1() : m_pResourceImage->GetWhiteBrush2());
    return TRUE;
}

void CLogoDlg::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    OnEraseBkgnd(dc);
}

}  // namespace orv
