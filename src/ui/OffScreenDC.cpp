#include "ui/OffScreenDC.h"

namespace orv {

COffScreenDC::COffScreenDC(int width, int height) {
    if (width > 0 && height > 0) {
        m_bitmap = QImage(width, height, QImage::Format_RGB32);
        m_bitmap.fill(Qt::black);
        m_pOldBitmap = m_dc.SelectBitmap(&m_bitmap);
    }
}

COffScreenDC::~COffScreenDC() { m_dc.SelectBitmap(m_pOldBitmap); }

}  // namespace orv
