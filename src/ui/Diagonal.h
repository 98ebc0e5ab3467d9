// Where the two ends of a line (a window's diagonal) lie relative to the work areas of
// the monitors nearest to them.
#pragma once

#include "platform/base/WinTypes.h"

namespace orv {

class CDiagonal {
public:
    virtual ~CDiagonal() = default;

    // Fills every field for the ends a and b.
    void TestEnds(POINT a, POINT b);

    RECT m_rcWorkA{};          // work area of the monitor nearest to end A
    RECT m_rcWorkB{};          // work area of the monitor nearest to end B
    BOOL m_bNeither = FALSE;   // neither end inside its work area
    BOOL m_bOnlyB = FALSE;
    BOOL m_bOnlyA = FALSE;
    BOOL m_bBoth = FALSE;
    BOOL m_bAlike = FALSE;     // both inside or both outside
    BOOL m_bDiffer = FALSE;    // one inside, one outside
};

// Whether the point lies in the rectangle (right and bottom edges excluded).
bool PtInRect(const RECT& r, POINT p);

}  // namespace orv
