#include "ui/LapTimeArea.h"

#include "ui/OffScreenDC.h"
#include "ui/ScaleFonts.h"

namespace orv {

void CLapTimeArea::SetUp(COffScreenDC* offScreen) {
    if (!offScreen) return;
    m_pOffScreen = offScreen;
    m_offScreenLifetime = offScreen->Lifetime();
    DeviceContext& dc = offScreen->GetDC();
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(m_crText);
    m_pOldFont = dc.SelectFont(g_hFont10);
    m_bFontKept = true;
}

CLapTimeArea::~CLapTimeArea() {
    if (m_bFontKept && !m_offScreenLifetime.expired()) m_pOffScreen->GetDC().SelectFont(m_pOldFont);
}

}  // namespace orv
