#include "platform/media/DefaultPresenter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>

#include "platform/media/VideoFrameSink.h"

namespace orv {

namespace {

// Four pictures: one on screen, two waiting for their time, one being rendered.
constexpr int kSamples = 4;
// A picture is shown when it is due within this much (100 ns), so that a wait never ends
// a hair early only to wait again.
constexpr LONGLONG kEarlyTolerance = 20000;

}  // namespace

HRESULT DefaultPresenter::InitServicePointers(IMFTopologyServiceLookup* lookup) {
    if (!lookup) return E_POINTER;
    ComPtr<IMFClock> clock;
    ComPtr<IMFTransform> mixer;
    ComPtr<IMediaEventSink> events;
    DWORD n = 1;
    lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMFClock,
                          reinterpret_cast<void**>(clock.ReleaseAndGetAddressOf()), &n);
    n = 1;
    HRESULT hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_MIXER_SERVICE, IID_IMFTransform,
                                       reinterpret_cast<void**>(mixer.ReleaseAndGetAddressOf()), &n);
    if (FAILED(hr)) return hr;
    n = 1;
    hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMediaEventSink,
                               reinterpret_cast<void**>(events.ReleaseAndGetAddressOf()), &n);
    if (FAILED(hr)) return hr;

    std::lock_guard lock(mutex_);
    if (state_ != State::ShutDown) return MF_E_INVALIDREQUEST;
    clock_ = std::move(clock);
    mixer_ = std::move(mixer);
    events_ = std::move(events);
    state_ = State::Stopped;
    quit_ = false;
    thread_ = std::thread([this] { Run(); });
    return S_OK;
}

HRESULT DefaultPresenter::ReleaseServicePointers() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        state_ = State::ShutDown;
        quit_ = true;
        thread.swap(thread_);
    }
    wake_.notify_all();
    if (thread.joinable()) thread.join();
    std::lock_guard lock(mutex_);
    FlushQueue();
    clock_.Reset();
    mixer_.Reset();
    events_.Reset();
    outputType_.Reset();
    samples_.clear();
    free_.clear();
    onScreen_.Reset();
    return S_OK;
}

HRESULT DefaultPresenter::Negotiate() {
    if (!mixer_) return MF_E_INVALIDREQUEST;
    ComPtr<IMFMediaType> type;
    HRESULT hr = mixer_->GetOutputAvailableType(0, 0, type.ReleaseAndGetAddressOf());
    UINT32 width = 0, height = 0;
    if (SUCCEEDED(hr)) hr = MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
    if (SUCCEEDED(hr)) hr = mixer_->SetOutputType(0, type.Get(), 0);
    if (FAILED(hr)) return hr;
    FlushQueue();
    samples_.clear();
    free_.clear();
    onScreen_.Reset();
    for (int i = 0; i < kSamples; ++i) {
        ComPtr<IVideoSurface> surface;
        ComPtr<IMFSample> sample;
        hr = MFCreateVideoSurface(width, height, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
        samples_.push_back(sample);
        free_.push_back(sample);
    }
    outputType_ = type;
    native_ = SIZE{int(width), int(height)};
    return S_OK;
}

void DefaultPresenter::ReturnSample(ComPtr<IMFSample> sample) {
    // A sample of a batch that was replaced meanwhile is let go.
    if (std::any_of(samples_.begin(), samples_.end(), [&](const auto& s) { return s.Get() == sample.Get(); }))
        free_.push_back(std::move(sample));
}

void DefaultPresenter::FlushQueue() {
    while (!ready_.empty()) {
        ReturnSample(std::move(ready_.front()));
        ready_.pop_front();
    }
    prerolled_ = false;
}

bool DefaultPresenter::EndOfStreamDue() const { return endOfStream_ && !inputWaiting_ && ready_.empty(); }

void DefaultPresenter::Present(std::unique_lock<std::mutex>& lock, ComPtr<IMFSample> sample) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    QImage picture;
    if (SUCCEEDED(sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf())) &&
        SUCCEEDED(MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                               reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()))))
        surface->GetImage(&picture);
    shown_ = picture;
    // The sample on screen stays out of the pool until another replaces it: rendering into
    // it while its picture is still held would copy the whole picture first.
    if (onScreen_) ReturnSample(std::move(onScreen_));
    onScreen_ = std::move(sample);
    const HWND window = window_;
    const RECT destination = destination_;
    lock.unlock();
    if (window) PresentVideoFrame(window, picture, destination);
    lock.lock();
}

void DefaultPresenter::Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        // Pull a picture: while running whenever there is room, otherwise one after a flush.
        if (inputWaiting_ && outputType_ && !free_.empty() && (state_ == State::Started || !prerolled_)) {
            ComPtr<IMFSample> sample = free_.back();
            free_.pop_back();
            const unsigned notices = inputNotices_;
            const bool paused = state_ != State::Started;  // a picture pulled while paused is shown at once
            ComPtr<IMFTransform> mixer = mixer_;
            lock.unlock();
            MFT_OUTPUT_DATA_BUFFER out;
            out.pSample = sample.Get();
            DWORD status = 0;
            HRESULT hr = mixer->ProcessOutput(0, 1, &out, &status);
            lock.lock();
            // A flush may have come while the mixer rendered: the picture is the new seek's
            // (shown) or an earlier one's (dropped), whichever its frame belongs to.
            if (SUCCEEDED(hr) && PictureSeek(sample.Get(), seek_) < seek_) hr = S_FALSE;
            if (hr != S_OK) {
                ReturnSample(std::move(sample));
                if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
                    // Unless the mixer took a frame while it was being asked.
                    if (notices == inputNotices_) inputWaiting_ = false;
                } else if (FAILED(hr) && hr != MF_E_TRANSFORM_TYPE_NOT_SET) {
                    inputWaiting_ = false;
                    ComPtr<IMediaEventSink> events = events_;
                    lock.unlock();
                    if (events) events->Notify(EC_ERRORABORT, hr, 0);
                    lock.lock();
                }
                continue;
            }
            prerolled_ = true;
            if (paused) {
                Present(lock, std::move(sample));
            } else {
                ready_.push_back(std::move(sample));
            }
            continue;
        }
        // Show the oldest picture when its time has come; a paused clock brings no later
        // picture, but one pulled before the pause may still be due.
        if (!ready_.empty() && (state_ == State::Started || state_ == State::Paused)) {
            LONGLONG due = 0, now = 0;
            MFTIME system = 0;
            if (clock_ && SUCCEEDED(ready_.front()->GetSampleTime(&due)) &&
                SUCCEEDED(clock_->GetCorrelatedTime(0, &now, &system)) && due - now > kEarlyTolerance) {
                if (state_ == State::Paused) {
                    wake_.wait(lock);
                    continue;
                }
                const double waitMs = double(due - now) / 10000.0 / std::max(rate_, 0.25f);
                wake_.wait_for(lock, std::chrono::duration<double, std::milli>(waitMs));
                continue;
            }
            ComPtr<IMFSample> sample = std::move(ready_.front());
            ready_.pop_front();
            Present(lock, std::move(sample));
            continue;
        }
        if (EndOfStreamDue()) {
            endOfStream_ = false;
            ComPtr<IMediaEventSink> events = events_;
            lock.unlock();
            if (events) events->Notify(EC_COMPLETE, S_OK, 0);
            lock.lock();
            continue;
        }
        wake_.wait(lock);
    }
}

HRESULT DefaultPresenter::ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    HRESULT hr = S_OK;
    switch (message) {
    case MFVP_MESSAGE_FLUSH:
        seek_ = std::max<UINT64>(seek_, param);
        FlushQueue();
        break;
    case MFVP_MESSAGE_INVALIDATEMEDIATYPE:
        hr = Negotiate();
        break;
    case MFVP_MESSAGE_PROCESSINPUTNOTIFY:
        inputWaiting_ = true;
        ++inputNotices_;
        break;
    case MFVP_MESSAGE_BEGINSTREAMING:
    case MFVP_MESSAGE_ENDSTREAMING:
        break;
    case MFVP_MESSAGE_ENDOFSTREAM:
        endOfStream_ = true;
        break;
    case MFVP_MESSAGE_STEP:
    case MFVP_MESSAGE_CANCELSTEP:
        return E_NOTIMPL;
    default:
        return E_INVALIDARG;
    }
    wake_.notify_all();
    return hr;
}

HRESULT DefaultPresenter::GetCurrentMediaType(IMFVideoMediaType** type) {
    if (!type) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    if (!outputType_) return MF_E_NOT_INITIALIZED;
    return outputType_->QueryInterface(IID_IMFVideoMediaType, reinterpret_cast<void**>(type));
}

HRESULT DefaultPresenter::OnClockStart(MFTIME, LONGLONG) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    state_ = State::Started;
    wake_.notify_all();
    return S_OK;
}

HRESULT DefaultPresenter::OnClockStop(MFTIME) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    state_ = State::Stopped;
    FlushQueue();
    wake_.notify_all();
    return S_OK;
}

HRESULT DefaultPresenter::OnClockPause(MFTIME) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    state_ = State::Paused;
    wake_.notify_all();
    return S_OK;
}

HRESULT DefaultPresenter::OnClockRestart(MFTIME) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    state_ = State::Started;
    wake_.notify_all();
    return S_OK;
}

HRESULT DefaultPresenter::OnClockSetRate(MFTIME, float rate) {
    std::lock_guard lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    rate_ = rate;
    wake_.notify_all();
    return S_OK;
}

HRESULT DefaultPresenter::GetDeviceID(IID* deviceId) {
    if (!deviceId) return E_POINTER;
    *deviceId = IID_IDirect3DDevice9;
    return S_OK;
}

HRESULT DefaultPresenter::GetService(const GUID& service, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(service == MR_VIDEO_RENDER_SERVICE)) return MF_E_UNSUPPORTED_SERVICE;
    return QueryInterface(iid, object);
}

HRESULT DefaultPresenter::GetNativeVideoSize(SIZE* videoSize, SIZE* aspectRatio) {
    if (!videoSize && !aspectRatio) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (native_.cy == 0) return MF_E_NOT_INITIALIZED;
    if (videoSize) *videoSize = native_;
    if (aspectRatio) {
        const int g = std::gcd(native_.cx, native_.cy);
        *aspectRatio = SIZE{native_.cx / g, native_.cy / g};
    }
    return S_OK;
}

HRESULT DefaultPresenter::GetIdealVideoSize(SIZE*, SIZE*) { return E_NOTIMPL; }

HRESULT DefaultPresenter::SetVideoPosition(const MFVideoNormalizedRect* source, const RECT* destination) {
    if (!source && !destination) return E_POINTER;
    if (source && !(source->left >= 0 && source->top >= 0 && source->right <= 1 && source->bottom <= 1 &&
                    source->left <= source->right && source->top <= source->bottom))
        return E_INVALIDARG;
    if (destination && (destination->left > destination->right || destination->top > destination->bottom))
        return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (source) {
        source_ = *source;
        if (mixer_) {
            ComPtr<IMFAttributes> attributes;
            if (SUCCEEDED(mixer_->GetAttributes(attributes.ReleaseAndGetAddressOf())))
                attributes->SetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<const BYTE*>(&source_), sizeof source_);
        }
    }
    if (destination) destination_ = *destination;
    return S_OK;
}

HRESULT DefaultPresenter::GetVideoPosition(MFVideoNormalizedRect* source, RECT* destination) {
    if (!source || !destination) return E_POINTER;
    std::lock_guard lock(mutex_);
    *source = source_;
    *destination = destination_;
    return S_OK;
}

HRESULT DefaultPresenter::SetAspectRatioMode(DWORD mode) {
    std::lock_guard lock(mutex_);
    aspectMode_ = mode;
    return S_OK;
}

HRESULT DefaultPresenter::GetAspectRatioMode(DWORD* mode) {
    if (!mode) return E_POINTER;
    std::lock_guard lock(mutex_);
    *mode = aspectMode_;
    return S_OK;
}

HRESULT DefaultPresenter::SetVideoWindow(HWND window) {
    std::lock_guard lock(mutex_);
    window_ = window;
    return S_OK;
}

HRESULT DefaultPresenter::GetVideoWindow(HWND* window) {
    if (!window) return E_POINTER;
    std::lock_guard lock(mutex_);
    *window = window_;
    return S_OK;
}

HRESULT DefaultPresenter::RepaintVideo() {
    std::unique_lock lock(mutex_);
    if (state_ == State::ShutDown) return MF_E_SHUTDOWN;
    if (shown_.isNull() || !window_) return S_OK;
    const QImage picture = shown_;
    const HWND window = window_;
    const RECT destination = destination_;
    lock.unlock();
    PresentVideoFrame(window, picture, destination);
    return S_OK;
}

HRESULT DefaultPresenter::GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibSize, LONGLONG* timeStamp) {
    if (!header || !dib || !dibSize) return E_POINTER;
    QImage picture;
    {
        std::lock_guard lock(mutex_);
        picture = shown_;
    }
    if (picture.isNull()) return MF_E_NOT_INITIALIZED;
    picture = picture.convertToFormat(QImage::Format_RGB32);
    const int w = picture.width(), h = picture.height();
    const DWORD bytes = DWORD(w) * DWORD(h) * 4;
    auto* bits = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
    if (!bits) return E_OUTOFMEMORY;
    for (int y = 0; y < h; ++y)  // bottom-up rows
        std::memcpy(bits + std::size_t(h - 1 - y) * std::size_t(w) * 4, picture.constScanLine(y), std::size_t(w) * 4);
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = w;
    header->biHeight = h;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biSizeImage = bytes;
    *dib = bits;
    *dibSize = bytes;
    if (timeStamp) *timeStamp = 0;
    return S_OK;
}

HRESULT DefaultPresenter::SetBorderColor(COLORREF) { return E_NOTIMPL; }
HRESULT DefaultPresenter::GetBorderColor(COLORREF*) { return E_NOTIMPL; }
HRESULT DefaultPresenter::SetRenderingPrefs(DWORD) { return E_NOTIMPL; }
HRESULT DefaultPresenter::GetRenderingPrefs(DWORD*) { return E_NOTIMPL; }
HRESULT DefaultPresenter::SetFullscreen(BOOL) { return E_NOTIMPL; }
HRESULT DefaultPresenter::GetFullscreen(BOOL*) { return E_NOTIMPL; }

}  // namespace orv
