// Prepares the main window's off-screen context for white text in the shared 10-point
// font, and gives the context its previous font back when it ends. UI thread only.
#pragma once

#include <QFont>

#include <memory>

#include "platform/base/WinTypes.h"

namespace orv {

class COffScreenDC;

class CLapTimeArea {
public:
    CLapTimeArea() = default;
    virtual ~CLapTimeArea();
    CLapTimeArea(const CLapTimeArea&) = delete;
    CLapTimeArea& operator=(const CLapTimeArea&) = delete;

    // Points at `offScreen`: transparent background, white text, g_hFont10 selected; the
    // font selected before is kept. Nothing for a null context.
    void SetUp(COffScreenDC* offScreen);

private:
    // The prepared buffer, while it exists, gets the font it had before; then no font is kept.
    void GiveFontBack();

    COffScreenDC* m_pOffScreen = nullptr;
    // The prepared context's lifetime: the owner remakes its context on every resize, and
    // the font is given back only to a context that still exists.
    std::weak_ptr<const void> m_offScreenLifetime;
    QFont* m_pOldFont = nullptr;
    bool m_bFontKept = false;
    COLORREF m_crText = RGB(255, 255, 255);
};

}  // namespace orv
