#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/media/MediaObjects.h"

namespace orv {

namespace {

// Larger pictures than this are refused before any memory is asked for.
constexpr UINT32 kMaxSurfaceSide = 16384;
// Rows start on 64-byte boundaries.
constexpr qsizetype kRowAlignment = 64;

// A picture in a buffer of our own, with kSurfaceSlack bytes after its last row.
QImage NewPicture(int width, int height, QImage::Format format) {
    const qsizetype pitch = (qsizetype(width) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    const std::size_t bytes = std::size_t(pitch) * std::size_t(height) + kSurfaceSlack;
    void* data = std::aligned_alloc(kRowAlignment, (bytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment);
    if (!data) return {};
    return QImage(static_cast<uchar*>(data), width, height, pitch, format, [](void* p) { std::free(p); }, data);
}

class VideoSurface final : public ComObject<IVideoSurface> {
public:
    VideoSurface(UINT32 width, UINT32 height, D3DFORMAT format)
        : format_(format),
          image_(NewPicture(int(width), int(height),
                            format == D3DFMT_A8R8G8B8 ? QImage::Format_ARGB32 : QImage::Format_RGB32)) {
        if (!image_.isNull()) image_.fill(0xFF000000u);
    }
    bool Valid() const { return !image_.isNull(); }

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IVideoSurface>(this, iid, object);
    }

    HRESULT GetDesc(VideoSurfaceDesc* desc) override {
        if (!desc) return E_POINTER;
        desc->Width = UINT32(image_.width());
        desc->Height = UINT32(image_.height());
        desc->Format = format_;
        return S_OK;
    }

    HRESULT LockRect(LockedRect* locked) override {
        if (!locked) return E_POINTER;
        mutex_.lock();
        if (!MakeWritable()) {
            mutex_.unlock();
            return E_OUTOFMEMORY;
        }
        locked->pBits = image_.bits();
        locked->Pitch = int(image_.bytesPerLine());
        return S_OK;
    }

    HRESULT UnlockRect() override {
        mutex_.unlock();
        return S_OK;
    }

    HRESULT ColorFill(std::uint32_t argb) override {
        std::lock_guard lock(mutex_);
        if (!MakeWritable()) return E_OUTOFMEMORY;
        image_.fill(format_ == D3DFMT_A8R8G8B8 ? argb : (argb | 0xFF000000u));
        source_.reset();  // the picture is no longer made from it
        return S_OK;
    }

    HRESULT GetImage(QImage* image) override {
        if (!image) return E_POINTER;
        std::lock_guard lock(mutex_);
        *image = image_;
        return S_OK;
    }

    HRESULT SetSourceFrame(std::shared_ptr<const AVFrame> frame) override {
        std::lock_guard lock(mutex_);
        source_ = std::move(frame);
        return S_OK;
    }

    HRESULT GetSourceFrame(std::shared_ptr<const AVFrame>* frame) override {
        if (!frame) return E_POINTER;
        std::lock_guard lock(mutex_);
        *frame = source_;
        return S_OK;
    }

private:
    // A picture still shared with copies handed out is copied into a buffer of its own first;
    // Qt's own copy would lose the slack after the last row. Under mutex_.
    bool MakeWritable() {
        if (image_.isDetached()) return true;
        QImage own = NewPicture(image_.width(), image_.height(), image_.format());
        if (own.isNull()) return false;
        for (int y = 0; y < image_.height(); ++y)
            std::memcpy(own.bits() + y * own.bytesPerLine(), image_.constScanLine(y), std::size_t(image_.width()) * 4);
        image_ = own;
        return true;
    }

    const D3DFORMAT format_;
    std::mutex mutex_;
    QImage image_;
    std::shared_ptr<const AVFrame> source_;
};

}  // namespace

HRESULT MFCreateVideoSurface(UINT32 width, UINT32 height, D3DFORMAT format, IVideoSurface** surface) {
    if (!surface) return E_POINTER;
    *surface = nullptr;
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return E_INVALIDARG;
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return MF_E_INVALIDMEDIATYPE;
    auto made = AdoptRef(new VideoSurface(width, height, format));
    if (!made->Valid()) return E_OUTOFMEMORY;
    *surface = made.Detach();
    return S_OK;
}

}  // namespace orv
