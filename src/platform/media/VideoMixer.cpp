#include "platform/media/VideoMixer.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include <QPainter>

namespace orv {

namespace {

// Frames the mixer holds ahead of the presenter: enough to ride over a slow decode, few
// enough to keep memory and seek latency small.
constexpr std::size_t kQueueFrames = 3;
// Rendered frames kept for repaints: one more than the samples a presenter has between
// mixing and showing (the one on screen and two ahead of it).
constexpr std::size_t kRenderedFrames = 4;
constexpr UINT32 kMaxOutputSide = 16384;

bool ValidNormalized(const MFVideoNormalizedRect& r) {
    return r.left >= 0.0f && r.top >= 0.0f && r.right <= 1.0f && r.bottom <= 1.0f && r.left < r.right &&
           r.top < r.bottom;
}

RECT ToPixels(const MFVideoNormalizedRect& r, int width, int height) {
    return RECT{int(std::lround(r.left * width)), int(std::lround(r.top * height)),
                int(std::lround(r.right * width)), int(std::lround(r.bottom * height))};
}

}  // namespace

VideoMixer::VideoMixer() { MFCreateAttributes(attributes_.ReleaseAndGetAddressOf()); }

HRESULT VideoMixer::GetAttributes(IMFAttributes** attributes) { return attributes_.CopyTo(attributes); }

HRESULT VideoMixer::GetInputCurrentType(DWORD inputStreamId, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (inputStreamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    return inputType_.CopyTo(type);
}

ComPtr<IMFMediaType> VideoMixer::MakeOutputType(const GUID& subtype) {
    ComPtr<IMFMediaType> t;
    MFCreateMediaType(t.ReleaseAndGetAddressOf());
    t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t->SetGUID(MF_MT_SUBTYPE, subtype);
    t->SetUINT32(MF_MT_COMPRESSED, 0);
    t->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    UINT32 a = 0, b = 0;
    if (SUCCEEDED(MFGetAttributeSize(inputType_.Get(), MF_MT_FRAME_SIZE, &a, &b)))
        MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, a, b);
    if (SUCCEEDED(MFGetAttributeRatio(inputType_.Get(), MF_MT_FRAME_RATE, &a, &b)))
        MFSetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, a, b);
    if (SUCCEEDED(MFGetAttributeRatio(inputType_.Get(), MF_MT_PIXEL_ASPECT_RATIO, &a, &b)))
        MFSetAttributeRatio(t.Get(), MF_MT_PIXEL_ASPECT_RATIO, a, b);
    return t;
}

HRESULT VideoMixer::GetOutputAvailableType(DWORD outputStreamId, DWORD typeIndex, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (outputStreamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    static const GUID kSubtypes[] = {MFVideoFormat_RGB32, MFVideoFormat_ARGB32};
    if (typeIndex >= std::size(kSubtypes)) return MF_E_NO_MORE_TYPES;
    *type = MakeOutputType(kSubtypes[typeIndex]).Detach();
    return S_OK;
}

HRESULT VideoMixer::SetOutputType(DWORD outputStreamId, IMFMediaType* type, DWORD flags) {
    if (outputStreamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (!type) {
        if (!(flags & MFT_SET_TYPE_TEST_ONLY)) outputType_.Reset();
        return S_OK;
    }
    if (!inputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    GUID major, subtype;
    BOOL compressed = FALSE;
    UINT32 width = 0, height = 0;
    if (FAILED(type->GetMajorType(&major)) || !(major == MFMediaType_Video) ||
        FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
        !(subtype == MFVideoFormat_RGB32 || subtype == MFVideoFormat_ARGB32) ||
        FAILED(type->IsCompressedFormat(&compressed)) || compressed ||
        FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height)) || width == 0 || height == 0 ||
        width > kMaxOutputSide || height > kMaxOutputSide)
        return MF_E_INVALIDMEDIATYPE;
    if (!(flags & MFT_SET_TYPE_TEST_ONLY)) outputType_ = type;
    return S_OK;
}

HRESULT VideoMixer::GetOutputCurrentType(DWORD outputStreamId, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (outputStreamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    return outputType_.CopyTo(type);
}

HRESULT VideoMixer::ProcessOutput(DWORD, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) {
    if (!buffers || !status) return E_POINTER;
    if (bufferCount != 1 || buffers[0].dwStreamID != 0) return E_INVALIDARG;
    IMFSample* sample = buffers[0].pSample;
    if (!sample) return E_INVALIDARG;
    *status = 0;
    buffers[0].dwStatus = 0;

    std::lock_guard render(renderMutex_);
    {
        std::lock_guard lock(mutex_);
        if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    }
    LONGLONG desiredTime = 0, desiredDuration = 0;
    ComPtr<IMFDesiredSample> desired;
    const bool repaint = SUCCEEDED(ComPtr<IMFSample>(sample).As(&desired)) &&
                         SUCCEEDED(desired->GetDesiredSampleTimeAndDuration(&desiredTime, &desiredDuration));
    if (repaint) {
        // The picture asked for is the one on screen, which may be older than the frames
        // mixed since: those still wait in the presenter for their time.
        const RenderedFrame* shown = RenderedFrameAt(desiredTime);
        if (!shown) return MF_E_TRANSFORM_NEED_MORE_INPUT;
        HRESULT hr = Render(shown->frame, sample);
        if (FAILED(hr)) return hr;
        sample->SetSampleTime(desiredTime);
        sample->SetSampleDuration(desiredDuration);
        return sample->SetUINT64(MF_SAMPLE_SEEK, shown->seek);
    }

    QueuedFrame next;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return MF_E_TRANSFORM_NEED_MORE_INPUT;
        next = std::move(queue_.front());
        queue_.pop_front();
    }
    space_.notify_all();
    RenderedFrame rendered{std::shared_ptr<const AVFrame>(next.frame.release(), FrameDeleter{}), next.time,
                           next.duration, next.seek};
    HRESULT hr = Render(rendered.frame, sample);
    sample->SetSampleTime(rendered.time);
    sample->SetSampleDuration(rendered.duration);
    if (SUCCEEDED(hr)) hr = sample->SetUINT64(MF_SAMPLE_SEEK, rendered.seek);
    rendered_.push_back(std::move(rendered));
    if (rendered_.size() > kRenderedFrames) rendered_.pop_front();
    return hr;
}

const VideoMixer::RenderedFrame* VideoMixer::RenderedFrameAt(LONGLONG time) const {
    const RenderedFrame* before = nullptr;
    for (auto it = rendered_.rbegin(); it != rendered_.rend(); ++it) {
        if (it->time == time) return &*it;
        if (!before && it->time < time) before = &*it;
    }
    if (before) return before;
    return rendered_.empty() ? nullptr : &rendered_.back();
}

HRESULT VideoMixer::Render(const std::shared_ptr<const AVFrame>& frame, IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    HRESULT hr = sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                          reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) return E_INVALIDARG;  // a sample without a surface to render into
    VideoSurfaceDesc desc;
    surface->GetDesc(&desc);

    MFVideoNormalizedRect zoom;
    UINT32 size = 0;
    if (FAILED(attributes_->GetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<BYTE*>(&zoom), sizeof zoom, &size)) ||
        size != sizeof zoom || !ValidNormalized(zoom))
        zoom = MFVideoNormalizedRect{};

    LockedRect locked;
    if (FAILED(surface->LockRect(&locked))) return E_OUTOFMEMORY;
    const bool ok = Draw(converter_, frame.get(), zoom, static_cast<std::uint8_t*>(locked.pBits), locked.Pitch,
                         int(desc.Width), int(desc.Height), desc.Format == D3DFMT_A8R8G8B8);
    surface->UnlockRect();
    // The frame goes with the picture: the full-size picture is made from it on demand.
    surface->SetSourceFrame(ok ? frame : nullptr);
    return ok ? S_OK : MF_E_INVALIDMEDIATYPE;
}

bool VideoMixer::Draw(FrameConverter& converter, const AVFrame* frame, const MFVideoNormalizedRect& zoom,
                      std::uint8_t* bits, int pitch, int width, int height, bool alpha) {
    // The zoom rectangle crops the frame before it is scaled to the output.
    FramePtr cropped;
    if (!(zoom == MFVideoNormalizedRect{})) {
        cropped.reset(av_frame_clone(frame));
        if (!cropped) return false;
        const RECT r = ToPixels(zoom, frame->width, frame->height);
        cropped->crop_left = size_t(r.left);
        cropped->crop_top = size_t(r.top);
        cropped->crop_right = size_t(frame->width - r.right);
        cropped->crop_bottom = size_t(frame->height - r.bottom);
        if (av_frame_apply_cropping(cropped.get(), AV_FRAME_CROP_UNALIGNED) < 0) return false;
        frame = cropped.get();
    }

    bool ok = true;
    if (outputRect_ == MFVideoNormalizedRect{}) {
        ok = converter.Convert(frame, bits, pitch, width, height);
    } else {
        // Into a part of the picture: converted aside first, because the converter may write
        // past the end of a row, which here would be picture to the right of the part.
        const RECT out = ToPixels(outputRect_, width, height);
        for (int y = 0; y < height; ++y) {  // opaque black around the stream's rectangle
            auto* row = reinterpret_cast<std::uint32_t*>(bits + std::ptrdiff_t(y) * pitch);
            std::fill(row, row + width, 0xFF000000u);
        }
        const std::size_t partPitch = std::size_t(out.Width()) * 4;
        scratch_.resize(partPitch * std::size_t(out.Height()) + kSurfaceSlack);
        ok = out.Width() <= 0 || out.Height() <= 0 ||
             converter.Convert(frame, scratch_.data(), int(partPitch), out.Width(), out.Height());
        for (int y = 0; ok && y < out.Height(); ++y)
            std::memcpy(bits + std::ptrdiff_t(out.top + y) * pitch + out.left * 4,
                        scratch_.data() + std::size_t(y) * partPitch, partPitch);
    }
    if (ok && hasBitmap_) Composite(bits, pitch, width, height, alpha);
    return ok;
}

HRESULT VideoMixer::RenderFrame(const AVFrame* frame, const MFVideoNormalizedRect& zoom, UINT32 width, UINT32 height,
                                QImage* picture) {
    if (!frame || !picture || !ValidNormalized(zoom)) return E_INVALIDARG;
    *picture = QImage();
    // A surface of its own: rows with the slack the converter needs, and no sample of the
    // presenter's touched.
    ComPtr<IVideoSurface> surface;
    HRESULT hr = MFCreateVideoSurface(width, height, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    LockedRect locked;
    if (FAILED(surface->LockRect(&locked))) return E_OUTOFMEMORY;
    bool ok = false;
    {
        std::lock_guard render(renderMutex_);
        // A converter of its own, so that the one set up for the shown size stays as it is.
        FrameConverter converter;
        ok = Draw(converter, frame, zoom, static_cast<std::uint8_t*>(locked.pBits), locked.Pitch, int(width),
                  int(height), false);
    }
    surface->UnlockRect();
    if (!ok) return MF_E_INVALIDMEDIATYPE;
    return surface->GetImage(picture);
}

void VideoMixer::Composite(std::uint8_t* bits, int pitch, int width, int height, bool alpha) {
    QImage target(bits, width, height, pitch, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const MFVideoNormalizedRect d = (params_.dwFlags & MFVideoAlphaBitmap_DestRect) ? params_.nrcDest
                                                                                    : MFVideoNormalizedRect{};
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, params_.dwFilterMode != 0);
    painter.drawImage(QRectF(d.left * width, d.top * height, (d.right - d.left) * width, (d.bottom - d.top) * height),
                      prepared_);
}

HRESULT VideoMixer::GetDeviceID(IID* deviceId) {
    if (!deviceId) return E_POINTER;
    *deviceId = IID_IDirect3DDevice9;
    return S_OK;
}

HRESULT VideoMixer::SetAlphaBitmap(const MFVideoAlphaBitmap* bitmap) {
    if (!bitmap) return E_POINTER;
    if (bitmap->bitmap.isNull()) return E_INVALIDARG;
    std::lock_guard render(renderMutex_);
    const QImage previous = bitmap_;
    bitmap_ = bitmap->bitmap.convertToFormat(QImage::Format_ARGB32);
    const MFVideoAlphaBitmapParams old = params_;
    params_ = MFVideoAlphaBitmapParams{};
    hasBitmap_ = true;
    if (HRESULT hr = UpdateAlphaBitmapParametersLocked(&bitmap->params); FAILED(hr)) {
        bitmap_ = previous;
        params_ = old;
        hasBitmap_ = !previous.isNull();
        return hr;
    }
    return S_OK;
}

HRESULT VideoMixer::ClearAlphaBitmap() {
    std::lock_guard render(renderMutex_);
    hasBitmap_ = false;
    bitmap_ = QImage();
    prepared_ = QImage();
    params_ = MFVideoAlphaBitmapParams{};
    return S_OK;
}

HRESULT VideoMixer::UpdateAlphaBitmapParameters(const MFVideoAlphaBitmapParams* params) {
    if (!params) return E_POINTER;
    std::lock_guard render(renderMutex_);
    if (!hasBitmap_) return MF_E_NOT_INITIALIZED;
    return UpdateAlphaBitmapParametersLocked(params);
}

HRESULT VideoMixer::UpdateAlphaBitmapParametersLocked(const MFVideoAlphaBitmapParams* params) {
    MFVideoAlphaBitmapParams next = params_;
    const DWORD f = params->dwFlags;
    if (f & ~MFVideoAlphaBitmap_BitMask) return E_INVALIDARG;
    if (f & MFVideoAlphaBitmap_SrcColorKey) next.clrSrcKey = params->clrSrcKey;
    if (f & MFVideoAlphaBitmap_SrcRect) {
        const RECT& r = params->rcSrc;
        if (r.left < 0 || r.top < 0 || r.right > bitmap_.width() || r.bottom > bitmap_.height() ||
            r.left >= r.right || r.top >= r.bottom)
            return E_INVALIDARG;
        next.rcSrc = r;
    }
    if (f & MFVideoAlphaBitmap_DestRect) {
        if (!ValidNormalized(params->nrcDest)) return E_INVALIDARG;
        next.nrcDest = params->nrcDest;
    }
    if (f & MFVideoAlphaBitmap_Alpha) {
        if (!(params->fAlpha >= 0.0f && params->fAlpha <= 1.0f)) return E_INVALIDARG;
        next.fAlpha = params->fAlpha;
    }
    if (f & MFVideoAlphaBitmap_FilterMode) next.dwFilterMode = params->dwFilterMode;
    next.dwFlags = params_.dwFlags | (f & ~MFVideoAlphaBitmap_EntireDDS);
    if (f & MFVideoAlphaBitmap_EntireDDS) next.dwFlags &= ~DWORD(MFVideoAlphaBitmap_SrcRect);
    params_ = next;

    // The picture as it will be drawn: the source part, colour-keyed and faded.
    const QRect part = (params_.dwFlags & MFVideoAlphaBitmap_SrcRect)
                           ? QRect(params_.rcSrc.left, params_.rcSrc.top, params_.rcSrc.Width(), params_.rcSrc.Height())
                           : bitmap_.rect();
    QImage p = bitmap_.copy(part);
    const bool keyed = params_.dwFlags & MFVideoAlphaBitmap_SrcColorKey;
    const QRgb key = qRgb(GetRValue(params_.clrSrcKey), GetGValue(params_.clrSrcKey), GetBValue(params_.clrSrcKey));
    const float fade = (params_.dwFlags & MFVideoAlphaBitmap_Alpha) ? params_.fAlpha : 1.0f;
    for (int y = 0; y < p.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(p.scanLine(y));
        for (int x = 0; x < p.width(); ++x) {
            if (keyed && (row[x] & 0x00FFFFFFu) == (key & 0x00FFFFFFu)) {
                row[x] = 0;
                continue;
            }
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), int(std::lround(qAlpha(row[x]) * fade)));
        }
    }
    prepared_ = p.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return S_OK;
}

HRESULT VideoMixer::GetAlphaBitmapParameters(MFVideoAlphaBitmapParams* params) {
    if (!params) return E_POINTER;
    std::lock_guard render(renderMutex_);
    if (!hasBitmap_) return MF_E_NOT_INITIALIZED;
    *params = params_;
    return S_OK;
}

HRESULT VideoMixer::SetStreamZOrder(DWORD streamId, DWORD z) {
    if (streamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    return z == 0 ? S_OK : E_INVALIDARG;  // the reference stream is always at the bottom
}

HRESULT VideoMixer::GetStreamZOrder(DWORD streamId, DWORD* z) {
    if (!z) return E_POINTER;
    if (streamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    *z = 0;
    return S_OK;
}

HRESULT VideoMixer::SetStreamOutputRect(DWORD streamId, const MFVideoNormalizedRect* rect) {
    if (!rect) return E_POINTER;
    if (streamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!ValidNormalized(*rect)) return E_INVALIDARG;
    std::lock_guard render(renderMutex_);
    outputRect_ = *rect;
    return S_OK;
}

HRESULT VideoMixer::GetStreamOutputRect(DWORD streamId, MFVideoNormalizedRect* rect) {
    if (!rect) return E_POINTER;
    if (streamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard render(renderMutex_);
    *rect = outputRect_;
    return S_OK;
}

void VideoMixer::SetInputType(IMFMediaType* streamType) {
    std::lock_guard lock(mutex_);
    inputType_ = streamType;
}

bool VideoMixer::Accepting() const {
    if (queue_.size() >= kQueueFrames) return false;
    return flow_ == Flow::Open || (flow_ == Flow::Preroll && taken_ == 0);
}

void VideoMixer::SetFlow(Flow flow) {
    {
        std::lock_guard lock(mutex_);
        flow_ = flow;
    }
    space_.notify_all();
}

void VideoMixer::Flush(std::uint64_t epoch) {
    std::deque<QueuedFrame> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
        epoch_ = epoch;
        taken_ = 0;
    }
    space_.notify_all();
}

bool VideoMixer::TakeFrame(FramePtr frame, LONGLONG time, LONGLONG duration, std::uint64_t epoch) {
    std::unique_lock lock(mutex_);
    space_.wait(lock, [&] { return shutdown_ || epoch != epoch_ || Accepting(); });
    if (shutdown_ || epoch != epoch_) return false;
    queue_.push_back(QueuedFrame{std::move(frame), time, duration, epoch});
    ++taken_;
    return true;
}

std::size_t VideoMixer::FramesTaken() const {
    std::lock_guard lock(mutex_);
    return taken_;
}

void VideoMixer::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
    }
    space_.notify_all();
}

}  // namespace orv
