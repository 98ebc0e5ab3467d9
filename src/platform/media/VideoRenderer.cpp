#include "platform/media/VideoRenderer.h"

#include "platform/media/DefaultPresenter.h"
#include "platform/media/RendererActivate.h"

namespace orv {

VideoRenderer::VideoRenderer(ComPtr<IMFClock> clock, EventHandler handler)
    : mixer_(AdoptRef(new VideoMixer)), clock_(std::move(clock)), handler_(std::move(handler)) {}

HRESULT VideoRenderer::Create(IMFMediaType* streamType, RendererActivate* activate, ComPtr<IMFClock> clock,
                              EventHandler handler, ComPtr<VideoRenderer>* renderer) {
    if (!streamType || !activate || !renderer) return E_POINTER;
    auto made = AdoptRef(new VideoRenderer(std::move(clock), std::move(handler)));
    made->mixer_->SetInputType(streamType);

    ComPtr<IMFActivate> custom;
    ComPtr<IMFVideoPresenter> presenter;
    HRESULT hr = S_OK;
    if (SUCCEEDED(activate->GetUnknown(MF_ACTIVATE_CUSTOM_VIDEO_PRESENTER_ACTIVATE, IID_IMFActivate,
                                       reinterpret_cast<void**>(custom.ReleaseAndGetAddressOf())))) {
        hr = custom->ActivateObject(IID_IMFVideoPresenter, reinterpret_cast<void**>(presenter.ReleaseAndGetAddressOf()));
        if (FAILED(hr)) return hr;
        if (!presenter) return E_POINTER;
    } else {
        presenter = AdoptRef<IMFVideoPresenter>(new DefaultPresenter);
    }

    ComPtr<IMFTopologyServiceLookupClient> client;
    hr = presenter.As(&client);
    if (SUCCEEDED(hr)) hr = client->InitServicePointers(made.Get());
    if (FAILED(hr)) {
        if (custom) custom->ShutdownObject();
        return hr;
    }
    {
        std::lock_guard lock(made->mutex_);
        made->presenter_ = presenter;
        made->presenterActivate_ = custom;
    }
    UINT64 window = 0;
    ComPtr<IMFVideoDisplayControl> display;
    // A presenter that cannot take the window still plays; it just shows nothing.
    if (SUCCEEDED(activate->GetUINT64(MF_ACTIVATE_VIDEO_WINDOW, &window)) && window && SUCCEEDED(presenter.As(&display)))
        display->SetVideoWindow(HWND(window));
    hr = presenter->ProcessMessage(MFVP_MESSAGE_INVALIDATEMEDIATYPE, 0);
    if (FAILED(hr)) {
        made->Shutdown();
        return hr;
    }
    *renderer = std::move(made);
    return S_OK;
}

ComPtr<IMFVideoPresenter> VideoRenderer::Presenter() {
    std::lock_guard lock(mutex_);
    return presenter_;
}

HRESULT VideoRenderer::Notify(long eventCode, LONG_PTR param1, LONG_PTR) {
    EventHandler handler;
    std::uint64_t epoch = 0;
    {
        std::lock_guard lock(mutex_);
        // A completion counts only after the end of the stream was announced in this epoch: one
        // from before a seek would otherwise end the new presentation at once.
        if (eventCode == EC_COMPLETE && !endOfStream_) return S_OK;
        handler = handler_;
        epoch = epoch_;
    }
    // Display changes, latency, scrub times and step completions need nothing of the session.
    if (handler && (eventCode == EC_COMPLETE || eventCode == EC_ERRORABORT))
        handler(eventCode, HRESULT(param1), epoch);
    return S_OK;
}

HRESULT VideoRenderer::LookupService(MF_SERVICE_LOOKUP_TYPE, DWORD index, const GUID& service, const IID& iid,
                                     void** objects, DWORD* count) {
    if (!objects || !count) return E_POINTER;
    if (*count < 1 || index != 0) return E_INVALIDARG;
    *objects = nullptr;
    HRESULT hr = MF_E_UNSUPPORTED_SERVICE;
    if (service == MR_VIDEO_MIXER_SERVICE) {
        hr = mixer_->QueryInterface(iid, objects);
    } else if (service == MR_VIDEO_RENDER_SERVICE) {
        if (iid == IID_IMediaEventSink)
            hr = QueryInterface(iid, objects);
        else if (clock_)
            hr = clock_->QueryInterface(iid, objects);
    }
    if (FAILED(hr)) return hr == E_NOINTERFACE ? MF_E_UNSUPPORTED_SERVICE : hr;
    *count = 1;
    return S_OK;
}

HRESULT VideoRenderer::GetService(const GUID& service, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (service == MR_VIDEO_MIXER_SERVICE) {
        if (iid == IID_IMFVideoMixerBitmap || iid == IID_IMFVideoMixerControl || iid == IID_IMFTransform)
            return mixer_->QueryInterface(iid, object);
        return MF_E_UNSUPPORTED_SERVICE;
    }
    if (!(service == MR_VIDEO_RENDER_SERVICE)) return MF_E_UNSUPPORTED_SERVICE;
    ComPtr<IMFVideoPresenter> presenter = Presenter();
    if (!presenter) return MF_E_SHUTDOWN;
    ComPtr<IMFGetService> services;
    HRESULT hr = SUCCEEDED(presenter.As(&services)) ? services->GetService(service, iid, object)
                                                    : presenter->QueryInterface(iid, object);
    return FAILED(hr) && hr != MF_E_SHUTDOWN ? MF_E_UNSUPPORTED_SERVICE : hr;
}

void VideoRenderer::Flush(std::uint64_t epoch) {
    {
        std::lock_guard lock(mutex_);
        epoch_ = epoch;
        endOfStream_ = false;
    }
    mixer_->Flush(epoch);
    if (auto presenter = Presenter()) presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, ULONG_PTR(epoch));
}

void VideoRenderer::Preroll() {
    BeginStreaming();
    mixer_->SetFlow(VideoMixer::Flow::Preroll);
}

void VideoRenderer::BeginStreaming() {
    ComPtr<IMFVideoPresenter> presenter;
    {
        std::lock_guard lock(mutex_);
        if (streaming_ || !presenter_) return;
        streaming_ = true;
        presenter = presenter_;
    }
    presenter->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0);
}

void VideoRenderer::ClockStart(MFTIME systemTime, LONGLONG position, bool thenPause) {
    BeginStreaming();
    ComPtr<IMFVideoPresenter> presenter = Presenter();
    if (!presenter) return;
    // The presenter was flushed for this start before the preroll, so the picture the preroll
    // showed belongs to `position`. A start that pauses at once keeps that picture: flushed
    // again, the presenter would believe it shows none and could not draw the paused picture
    // again (at a new size, a new zoom).
    presenter->OnClockStart(systemTime, thenPause ? PRESENTATION_CURRENT_POSITION : position);
    if (thenPause) {
        presenter->OnClockPause(systemTime);
        mixer_->SetFlow(VideoMixer::Flow::Preroll);
    } else {
        mixer_->SetFlow(VideoMixer::Flow::Open);
    }
}

void VideoRenderer::ClockPause(MFTIME systemTime) {
    mixer_->SetFlow(VideoMixer::Flow::Preroll);
    if (auto presenter = Presenter()) presenter->OnClockPause(systemTime);
}

void VideoRenderer::ClockRestart(MFTIME systemTime) {
    if (auto presenter = Presenter()) presenter->OnClockRestart(systemTime);
    mixer_->SetFlow(VideoMixer::Flow::Open);
}

void VideoRenderer::ClockStop(MFTIME systemTime) {
    mixer_->SetFlow(VideoMixer::Flow::Closed);
    if (auto presenter = Presenter()) presenter->OnClockStop(systemTime);
    EndStreaming();
}

void VideoRenderer::ClockSetRate(MFTIME systemTime, float rate) {
    if (auto presenter = Presenter()) presenter->OnClockSetRate(systemTime, rate);
}

void VideoRenderer::EndStreaming() {
    ComPtr<IMFVideoPresenter> presenter;
    {
        std::lock_guard lock(mutex_);
        if (!streaming_) return;
        streaming_ = false;
        presenter = presenter_;
    }
    if (presenter) presenter->ProcessMessage(MFVP_MESSAGE_ENDSTREAMING, 0);
}

ComPtr<IMFRateSupport> VideoRenderer::PresenterRateSupport() {
    ComPtr<IMFRateSupport> support;
    if (auto presenter = Presenter()) presenter.As(&support);
    return support;
}

bool VideoRenderer::Prerolled(std::uint64_t epoch) {
    {
        std::lock_guard lock(mutex_);
        if (epoch != epoch_) return false;
        if (endOfStream_) return true;
    }
    return mixer_->FramesTaken() > 0;
}

void VideoRenderer::Shutdown() {
    mixer_->Shutdown();
    EndStreaming();
    ComPtr<IMFVideoPresenter> presenter;
    ComPtr<IMFActivate> activate;
    {
        std::lock_guard lock(mutex_);
        presenter = std::move(presenter_);
        activate = std::move(presenterActivate_);
        handler_ = nullptr;
    }
    ComPtr<IMFTopologyServiceLookupClient> client;
    if (presenter && SUCCEEDED(presenter.As(&client))) client->ReleaseServicePointers();
    if (activate) activate->ShutdownObject();
}

bool VideoRenderer::DeliverFrame(FramePtr frame, LONGLONG time, LONGLONG duration, std::uint64_t epoch) {
    if (!mixer_->TakeFrame(std::move(frame), time, duration, epoch)) return false;
    if (auto presenter = Presenter()) presenter->ProcessMessage(MFVP_MESSAGE_PROCESSINPUTNOTIFY, 0);
    return true;
}

void VideoRenderer::EndOfStream(std::uint64_t epoch) {
    ComPtr<IMFVideoPresenter> presenter;
    {
        std::lock_guard lock(mutex_);
        if (epoch != epoch_ || endOfStream_ || !presenter_) return;
        endOfStream_ = true;
        presenter = presenter_;
    }
    presenter->ProcessMessage(MFVP_MESSAGE_ENDOFSTREAM, 0);
}

}  // namespace orv
