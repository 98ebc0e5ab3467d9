#include "ui/Diagonal.h"

#include "ui/CommonUtil.h"

namespace orv {

bool PtInRect(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void CDiagonal::TestEnds(POINT a, POINT b) {
    GetMonitorRects(&m_rcWorkA, nullptr, a);
    GetMonitorRects(&m_rcWorkB, nullptr, b);
    const bool inA = PtInRect(m_rcWorkA, a);
    const bool inB = PtInRect(m_rcWorkB, b);
    m_bNeither = !inA && !inB;
    m_bOnlyB = !inA && inB;
    m_bOnlyA = inA && !inB;
    m_bBoth = inA && inB;
    m_bAlike = inA == inB;
    m_bDiffer = inA != inB;
}

}  // namespace orv
