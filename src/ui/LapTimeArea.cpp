#include "ui/LapTimeArea.h"

#include "ui/OffScreenDC.h"
#include "ui/ScaleFonts.h"

namespace orv {

void CLapTimeArea::SetUp(COffScreenDC* offScreen) {
    if (!offScreen) return;
    // A buffer prepared before gets its own font back first, so that preparing the same
    // buffer again does not keep the shared font as the one to restore.
    GiveFontBack();
    m_pOffScreen = offScreen;
    m_offScreenLifetime = offScreen->Lifetime();
    DeviceContext& dc = offScreen->GetDC();
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(m_crText);
    m_pOldFont = dc.SelectFont(g_hFont10);
    m_bFontKept = true;
}

void CLapTimeArea::GiveFontBack() {
    if (m_bFontKept && !m_offScreenLifetime.expired()) m_pOffScreen->GetDC().SelectFont(m_pOldFont);
    m_bFontKept = false;
    m_pOldFont = nullptr;
}

CLapTimeArea::~CLapTimeArea() { GiveFontBack(); }

}  // namespace orv
