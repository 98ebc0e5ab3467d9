#include "ProbePresenter.h"

#include <chrono>

#include "StripeMovie.h"

namespace orv::mediatest {

HRESULT ProbePresenter::Record(const std::string& entry) {
    {
        std::lock_guard lock(mutex_);
        log_.push_back(entry);
    }
    cv_.notify_all();
    return S_OK;
}

HRESULT ProbePresenter::OnClockStart(MFTIME, LONGLONG offset) {
    return Record(offset == PRESENTATION_CURRENT_POSITION ? "START" : "START " + std::to_string(offset));
}

HRESULT ProbePresenter::OnClockSetRate(MFTIME, float rate) { return Record("RATE " + std::to_string(rate)); }

HRESULT ProbePresenter::IsRateSupported(BOOL thin, float rate, float* nearest) {
    const float fastest = thin ? 1e9f : fastest_;
    if (rate <= fastest) {
        if (nearest) *nearest = rate;
        return S_OK;
    }
    if (nearest) *nearest = fastest;
    return MF_E_UNSUPPORTED_RATE;
}

HRESULT ProbePresenter::InitServicePointers(IMFTopologyServiceLookup* lookup) {
    DWORD n = 1;
    ComPtr<IMFTransform> mixer;
    ComPtr<IMediaEventSink> events;
    ComPtr<IMFClock> clock;
    HRESULT hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_MIXER_SERVICE, IID_IMFTransform,
                                       reinterpret_cast<void**>(mixer.ReleaseAndGetAddressOf()), &n);
    if (SUCCEEDED(hr))
        hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMediaEventSink,
                                   reinterpret_cast<void**>(events.ReleaseAndGetAddressOf()), &n);
    if (SUCCEEDED(hr))
        hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMFClock,
                                   reinterpret_cast<void**>(clock.ReleaseAndGetAddressOf()), &n);
    if (FAILED(hr)) return hr;
    ComPtr<IMFVideoDeviceID> device;
    IID id;
    if (FAILED(mixer.As(&device)) || FAILED(device->GetDeviceID(&id)) || !(id == IID_IDirect3DDevice9))
        return MF_E_INVALIDREQUEST;
    {
        std::lock_guard lock(mutex_);
        mixer_ = mixer;
        events_ = events;
        clock_ = clock;
    }
    return Record("INIT");
}

HRESULT ProbePresenter::ReleaseServicePointers() {
    {
        std::lock_guard lock(mutex_);
        mixer_.Reset();
        events_.Reset();
        clock_.Reset();
        sample_.Reset();
    }
    return Record("RELEASE");
}

HRESULT ProbePresenter::GetCurrentMediaType(IMFVideoMediaType** type) {
    std::lock_guard lock(mutex_);
    if (!type_) return MF_E_NOT_INITIALIZED;
    return type_->QueryInterface(IID_IMFVideoMediaType, reinterpret_cast<void**>(type));
}

void ProbePresenter::PullAll() {
    for (;;) {
        MFT_OUTPUT_DATA_BUFFER out;
        out.pSample = sample_.Get();
        DWORD status = 0;
        if (FAILED(mixer_->ProcessOutput(0, 1, &out, &status))) break;
        Pulled p;
        sample_->GetSampleTime(&p.time);
        sample_->GetSampleDuration(&p.duration);
        ComPtr<IMFMediaBuffer> buffer;
        ComPtr<IVideoSurface> surface;
        sample_->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
        MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface, reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()));
        QImage picture;
        surface->GetImage(&picture);
        p.number = ReadStripeNumber(picture);
        p.picture = picture.copy();
        pulled_.push_back(p);
    }
}

HRESULT ProbePresenter::ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR) {
    static const char* const kNames[] = {"FLUSH", "INVALIDATEMEDIATYPE", "PROCESSINPUTNOTIFY", "BEGINSTREAMING",
                                         "ENDSTREAMING", "ENDOFSTREAM", "STEP", "CANCELSTEP"};
    ComPtr<IMediaEventSink> complete;
    {
        std::lock_guard lock(mutex_);
        if (!mixer_) return MF_E_SHUTDOWN;
        if (message != MFVP_MESSAGE_PROCESSINPUTNOTIFY) log_.push_back(kNames[message]);
        switch (message) {
        case MFVP_MESSAGE_INVALIDATEMEDIATYPE: {
            ComPtr<IMFMediaType> type;
            HRESULT hr = mixer_->GetOutputAvailableType(0, 0, type.ReleaseAndGetAddressOf());
            UINT32 w = 0, h = 0;
            if (SUCCEEDED(hr)) hr = MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h);
            if (SUCCEEDED(hr)) hr = mixer_->SetOutputType(0, type.Get(), 0);
            if (FAILED(hr)) return hr;
            ComPtr<IVideoSurface> surface;
            hr = MFCreateVideoSurface(w, h, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
            if (FAILED(hr)) return hr;
            MFCreateVideoSampleFromSurface(surface.Get(), sample_.ReleaseAndGetAddressOf());
            type_ = type;
            break;
        }
        case MFVP_MESSAGE_PROCESSINPUTNOTIFY:
            PullAll();
            break;
        case MFVP_MESSAGE_ENDOFSTREAM:
            PullAll();
            complete = events_;
            break;
        case MFVP_MESSAGE_FLUSH:
        case MFVP_MESSAGE_BEGINSTREAMING:
        case MFVP_MESSAGE_ENDSTREAMING:
            break;
        default:
            return E_NOTIMPL;
        }
    }
    cv_.notify_all();
    if (complete) complete->Notify(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

std::vector<std::string> ProbePresenter::Log() {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<ProbePresenter::Pulled> ProbePresenter::PulledFrames() {
    std::lock_guard lock(mutex_);
    return pulled_;
}

bool ProbePresenter::WaitPulled(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pulled_.size() >= count; });
}

bool ProbePresenter::WaitLogged(const std::string& entry, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (auto& e : log_)
            if (e == entry) return true;
        return false;
    });
}

void ProbePresenter::ClearPulled() {
    std::lock_guard lock(mutex_);
    pulled_.clear();
}

ComPtr<IMFTransform> ProbePresenter::Mixer() {
    std::lock_guard lock(mutex_);
    return mixer_;
}

HRESULT ProbeActivate::ActivateObject(const IID& iid, void** object) {
    if (!(iid == IID_IMFVideoPresenter)) return E_NOINTERFACE;
    std::lock_guard lock(mutex_);
    ++activations_;
    if (!presenter_) presenter_ = AdoptRef(new ProbePresenter(fastest_));
    return presenter_->QueryInterface(iid, object);
}

HRESULT ProbeActivate::ShutdownObject() {
    std::lock_guard lock(mutex_);
    ++shutdowns_;
    return S_OK;
}

HRESULT ProbeActivate::DetachObject() { return S_OK; }

ComPtr<ProbePresenter> ProbeActivate::Presenter() {
    std::lock_guard lock(mutex_);
    return presenter_;
}

int ProbeActivate::Activations() {
    std::lock_guard lock(mutex_);
    return activations_;
}

int ProbeActivate::Shutdowns() {
    std::lock_guard lock(mutex_);
    return shutdowns_;
}

}  // namespace orv::mediatest
