// The double buffer: a drawing context on a bitmap of its own, into which a window paints
// its whole picture before one blit puts it on the screen. The main window keeps one for
// its panes and each slider one for itself; the owner makes a new one when its size
// changes. UI thread only.
#pragma once

#include <QImage>

#include <memory>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"

namespace orv {

class COffScreenDC {
public:
    // A width x height buffer, black as a new bitmap is; a size of 0 or less gives a
    // context that draws nothing.
    COffScreenDC(int width, int height);
    virtual ~COffScreenDC();
    COffScreenDC(const COffScreenDC&) = delete;
    COffScreenDC& operator=(const COffScreenDC&) = delete;

    // The memory context, with the buffer selected.
    DeviceContext& GetDC() { return m_dc; }
    const QImage& GetBitmap() const { return m_bitmap; }
    SIZE GetSize() const { return SIZE{m_bitmap.width(), m_bitmap.height()}; }

    // Expires when this buffer is destroyed, so that a borrower (CLapTimeArea) can tell
    // whether the buffer it prepared still exists.
    std::weak_ptr<const void> Lifetime() const { return m_lifetime; }

private:
    QImage m_bitmap;
    DeviceContext m_dc;
    QImage* m_pOldBitmap = nullptr;
    std::shared_ptr<const void> m_lifetime = std::make_shared<int>(0);
};

}  // namespace orv
