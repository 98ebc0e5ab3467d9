#include "playback/presenter/D3DPresentEngine.h"

#include <atomic>
#include <bit>
#include <cstring>

#include "platform/media/VideoFrameSink.h"

namespace orv {

namespace {

constexpr UINT32 kDefaultRefreshRate = 60;
std::atomic<UINT32> g_displayRefreshRate{kDefaultRefreshRate};

}  // namespace

void D3DPresentEngine::SetDisplayRefreshRate(UINT32 hz) { g_displayRefreshRate.store(hz); }

HRESULT D3DPresentEngine::PresentSample(IMFSample* sample, LONGLONG) {
    if (!sample) return S_OK;
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    QImage picture;
    std::shared_ptr<const AVFrame> source;
    if (FAILED(sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf())) ||
        FAILED(MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                            reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()))) ||
        FAILED(surface->GetImage(&picture)))
        return S_OK;
    // The frame goes from the surface to the picture on screen, so that a sample waiting in the
    // pool holds no decoded frame back from the decoder.
    surface->GetSourceFrame(&source);
    surface->SetSourceFrame(nullptr);
    // Under the lock, so that pictures presented from two threads reach the window in the
    // order they replace each other here. The sink only keeps the picture.
    std::lock_guard lock(mutex_);
    shown_ = picture;
    // A sample shown again without being drawn into keeps the frame it was made from.
    if (source || sample != shownSample_) shownSource_ = std::move(source);
    shownSample_ = sample;
    const bool part = shownRect_.Width() > 0 && shownRect_.Height() > 0;
    if (window_) PresentVideoFrame(window_, picture, part ? shownRect_ : destination_);
    return S_OK;
}

HRESULT D3DPresentEngine::SetVideoWindow(HWND window) {
    std::lock_guard lock(mutex_);
    window_ = window;
    return S_OK;
}

HWND D3DPresentEngine::GetVideoWindow() {
    std::lock_guard lock(mutex_);
    return window_;
}

void D3DPresentEngine::SetDestinationRect(const RECT& destination, const RECT& shown) {
    std::lock_guard lock(mutex_);
    destination_ = destination;
    shownRect_ = shown;
}

RECT D3DPresentEngine::GetDestinationRect() {
    std::lock_guard lock(mutex_);
    return destination_;
}

UINT32 D3DPresentEngine::RefreshRate() {
    std::lock_guard lock(mutex_);
    return window_ ? g_displayRefreshRate.load() : 0;
}

HRESULT D3DPresentEngine::CheckFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 ? S_OK : MF_E_INVALIDMEDIATYPE;
}

HRESULT D3DPresentEngine::CreateVideoSamples(IMFMediaType* type,
                                             MediaFoundationSamples::ComPtrList<IMFSample>* samples) {
    if (!type) return MF_E_UNEXPECTED;
    if (!samples) return E_POINTER;
    UINT32 width = 0, height = 0;
    GUID subtype;
    HRESULT hr = MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height);
    if (SUCCEEDED(hr)) hr = type->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(mutex_);
    shownSample_ = nullptr;
    for (int i = 0; i < kSamplesPerBatch && SUCCEEDED(hr); ++i) {
        ComPtr<IVideoSurface> surface;  // made black
        ComPtr<IMFSample> sample;
        hr = MFCreateVideoSurface(width, height, D3DFORMAT(subtype.Data1), surface.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = samples->InsertBack(sample.Get());
    }
    return hr;
}

void D3DPresentEngine::OnReleaseResources() {
    std::lock_guard lock(mutex_);
    shownSample_ = nullptr;
}

std::shared_ptr<const AVFrame> D3DPresentEngine::ShownSourceFrame() {
    std::lock_guard lock(mutex_);
    return shownSource_;
}

const IMFSample* D3DPresentEngine::ShownSample() {
    std::lock_guard lock(mutex_);
    return shownSample_;
}

HRESULT D3DPresentEngine::GrabFrame(BYTE** buffer, UINT32 width, UINT32 height, DWORD* size, const QImage* full) {
    if (!buffer) return E_POINTER;
    *buffer = nullptr;
    if (width == 0 || height == 0 || width > kMaxGrabSide || height > kMaxGrabSide) return E_INVALIDARG;
    QImage picture;
    if (full && !full->isNull()) {
        picture = *full;
    } else {
        std::lock_guard lock(mutex_);
        picture = shown_;
    }
    if (picture.isNull()) return MF_E_NOT_INITIALIZED;
    if (picture.width() != int(width) || picture.height() != int(height))
        picture = picture.scaled(int(width), int(height), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    picture = picture.convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) return E_OUTOFMEMORY;
    // A 32-bit DIB pixel is the bytes B, G, R, unused: an RGB32 pixel in little-endian memory.
    static_assert(std::endian::native == std::endian::little);
    const std::size_t rowBytes = std::size_t(width) * 4;
    const std::size_t bytes = rowBytes * height;
    auto* bits = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
    if (!bits) return E_OUTOFMEMORY;
    for (UINT32 y = 0; y < height; ++y)  // bottom-up rows
        std::memcpy(bits + std::size_t(height - 1 - y) * rowBytes, picture.constScanLine(int(y)), rowBytes);
    *buffer = bits;
    if (size) *size = DWORD(bytes);
    return S_OK;
}

}  // namespace orv
