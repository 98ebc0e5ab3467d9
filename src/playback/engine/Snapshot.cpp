#include "playback/engine/Snapshot.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>

#include "platform/base/ReplacementFile.h"
#include "playback/engine/Transport.h"

namespace orv {

namespace {

struct GrabFree {
    void operator()(BYTE* p) const { CoTaskMemFree(p); }
};

}  // namespace

QImage ImageFromGrab(const BYTE* dib, DWORD dibSize, const BITMAPINFOHEADER& header, int width, int height) {
    if (!dib || width <= 0 || height <= 0) return QImage();
    const std::size_t rowBytes = std::size_t(width) * 4;
    // A grab that fills in its header or its size must agree with the picture asked for.
    if (header.biSize != 0 && (header.biWidth != width || std::abs(header.biHeight) != height ||
                               header.biBitCount != 32 || header.biHeight < 0))
        return QImage();
    if (dibSize / rowBytes < std::size_t(height)) return QImage();
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull()) return picture;
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), dib + std::size_t(height - 1 - y) * rowBytes, rowBytes);
    return picture;
}

int SaveSnapshot(const sRENDERERBLOCK& renderer, const std::string& path) {
    int width = 0, height = 0;
    if (!GetVideoSize(renderer, &width, &height)) return 0;
    const ComPtr<IMFVideoDisplayControl> display = renderer.DisplayControl();
    if (!display) return 0;
    BITMAPINFOHEADER header;
    BYTE* bits = nullptr;
    DWORD bitsSize = 0;
    LONGLONG timeStamp = 0;
    const HRESULT hr = display->GetCurrentImage(&header, &bits, &bitsSize, &timeStamp);
    const std::unique_ptr<BYTE, GrabFree> grab(bits);
    if (FAILED(hr)) return 0;
    const QImage picture = ImageFromGrab(grab.get(), bitsSize, header, width, height);
    if (picture.isNull()) return 0;
    // Encoded in memory and put in place whole: a writer on the path would follow a link or
    // write into a FIFO of the snapshot's name, or leave half a picture on a full disk.
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kSnapshotQuality);
    if (!writer.write(picture)) return 0;
    ReplacementFile file(path);
    return file.IsOpen() && file.Write(jpeg.constData(), std::size_t(jpeg.size())) && file.Commit() ? 1 : 0;
}

}  // namespace orv
