#include "playback/presenter/EVRCustomPresenter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>

#include "platform/media/VideoFrameSink.h"

namespace orv {

namespace {

// UINT32 on every video sample: the token counter when its batch was made, so that a sample
// of an older batch coming back is let go instead of returned to the pool.
constexpr GUID SampleTokenAttribute = MakeGuid("3f1c4d2e-8a6b-4c5d-9e7f-0a1b2c3d4e5f");
constexpr UINT32 kNoToken = 0xFFFFFFFFu;
// The frame rate assumed for an output type that names none.
constexpr UINT32 kDefaultFrameRate = 30;

UINT32 SampleToken(IMFSample* sample) {
    UINT32 token = kNoToken;
    if (FAILED(sample->GetUINT32(SampleTokenAttribute, &token))) token = kNoToken;
    return token;
}

HRESULT SetZoomRect(IMFTransform* mixer, const MFVideoNormalizedRect& rect) {
    ComPtr<IMFAttributes> attributes;
    HRESULT hr = mixer->GetAttributes(attributes.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = attributes->SetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<const BYTE*>(&rect), sizeof rect);
    return hr;
}

constexpr int kMaxOutputSide = 16384;

// The part of the destination inside the window's client area (empty destination: the whole
// window); empty when the window's size is not known or nothing of the destination shows.
RECT ShownPart(const RECT& destination, const SIZE* client) {
    if (!client || client->cx <= 0 || client->cy <= 0) return RECT{};
    const RECT whole{0, 0, client->cx, client->cy};
    if (destination.Width() <= 0 || destination.Height() <= 0) return whole;
    const RECT part{std::max(destination.left, 0), std::max(destination.top, 0),
                    std::min(destination.right, whole.right), std::min(destination.bottom, whole.bottom)};
    return part.Width() > 0 && part.Height() > 0 ? part : RECT{};
}

// The part of the source rectangle that lands in the shown part of the destination.
MFVideoNormalizedRect VisibleSource(const MFVideoNormalizedRect& source, const RECT& destination, const RECT& shown) {
    if (destination.Width() <= 0 || destination.Height() <= 0 || shown.Width() <= 0 || shown.Height() <= 0)
        return source;
    const float w = source.right - source.left, h = source.bottom - source.top;
    const auto fx = [&](int x) { return float(double(x - destination.left) / destination.Width()); };
    const auto fy = [&](int y) { return float(double(y - destination.top) / destination.Height()); };
    MFVideoNormalizedRect r{source.left + w * fx(shown.left), source.top + h * fy(shown.top),
                            source.left + w * fx(shown.right), source.top + h * fy(shown.bottom)};
    r.left = std::clamp(r.left, 0.0f, 1.0f);
    r.top = std::clamp(r.top, 0.0f, 1.0f);
    r.right = std::clamp(r.right, r.left, 1.0f);
    r.bottom = std::clamp(r.bottom, r.top, 1.0f);
    return r.left < r.right && r.top < r.bottom ? r : source;
}

}  // namespace

HRESULT EVRCustomPresenter::CreateInstance(EVRCustomPresenter** presenter) {
    if (!presenter) return E_POINTER;
    *presenter = new EVRCustomPresenter;
    return S_OK;
}

EVRCustomPresenter::EVRCustomPresenter()
    : sampleReleased_(this, &EVRCustomPresenter::OnSampleReleased), engine_(std::make_unique<D3DPresentEngine>()) {
    scheduler_.SetCallback(engine_.get());
}

EVRCustomPresenter::~EVRCustomPresenter() = default;

HRESULT EVRCustomPresenter::CheckShutdown() const { return state_ == PresenterState::ShutDown ? MF_E_SHUTDOWN : S_OK; }

void EVRCustomPresenter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    if (eventSink_) eventSink_->Notify(code, param1, param2);
}

// ---- identity, services -----------------------------------------------------------------

HRESULT EVRCustomPresenter::GetDeviceID(IID* deviceId) {
    if (!deviceId) return E_POINTER;
    *deviceId = IID_IDirect3DDevice9;
    return S_OK;
}

HRESULT EVRCustomPresenter::GetService(const GUID& service, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(service == MR_VIDEO_RENDER_SERVICE)) return MF_E_UNSUPPORTED_SERVICE;
    return QueryInterface(iid, object);
}

HRESULT EVRCustomPresenter::InitServicePointers(IMFTopologyServiceLookup* lookup) {
    if (!lookup) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (state_ == PresenterState::Started || state_ == PresenterState::Paused) return MF_E_INVALIDREQUEST;
    clock_.Reset();
    mixer_.Reset();
    eventSink_.Reset();
    DWORD count = 1;
    // Without a clock every sample is shown as soon as it is mixed.
    lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMFClock,
                          reinterpret_cast<void**>(clock_.ReleaseAndGetAddressOf()), &count);
    count = 1;
    HRESULT hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_MIXER_SERVICE, IID_IMFTransform,
                                       reinterpret_cast<void**>(mixer_.ReleaseAndGetAddressOf()), &count);
    if (FAILED(hr)) return hr;
    ComPtr<IMFVideoDeviceID> device;
    IID id;
    if (FAILED(mixer_.As(&device)) || FAILED(device->GetDeviceID(&id)) || !(id == IID_IDirect3DDevice9))
        return MF_E_INVALIDREQUEST;
    hr = SetZoomRect(mixer_.Get(), VisibleSource(sourceRect_, engine_->GetDestinationRect(), shownRect_));
    if (FAILED(hr)) return hr;
    count = 1;
    hr = lookup->LookupService(MF_SERVICE_LOOKUP_GLOBAL, 0, MR_VIDEO_RENDER_SERVICE, IID_IMediaEventSink,
                               reinterpret_cast<void**>(eventSink_.ReleaseAndGetAddressOf()), &count);
    if (FAILED(hr)) return hr;
    state_ = PresenterState::Stopped;
    return S_OK;
}

HRESULT EVRCustomPresenter::ReleaseServicePointers() {
    ComPtr<IMFClock> clock;
    ComPtr<IMFTransform> mixer;
    ComPtr<IMediaEventSink> eventSink;
    {
        // All under the lock: the callbacks of released samples read these fields.
        std::lock_guard lock(mutex_);
        state_ = PresenterState::ShutDown;
        outputType_.Reset();
        DropVideoResources();
        clock = std::move(clock_);
        mixer = std::move(mixer_);
        eventSink = std::move(eventSink_);
    }
    return S_OK;
}

// ---- clock state ------------------------------------------------------------------------

HRESULT EVRCustomPresenter::OnClockStart(MFTIME, LONGLONG clockStartOffset) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (state_ == PresenterState::Started || state_ == PresenterState::Paused) {
        state_ = PresenterState::Started;
        // A seek: what was pulled before it goes, unless a flush for it came already; then
        // the picture pulled since is the seek's own, perhaps the paused picture on screen.
        if (clockStartOffset != PRESENTATION_CURRENT_POSITION && !flushedForStart_) FlushPresenter();
    } else {
        state_ = PresenterState::Started;
        if (HRESULT hr = StartPendingStep(); FAILED(hr)) return hr;
    }
    flushedForStart_ = FALSE;
    scheduler_.ClockStateChanged();
    if (pullOnStart_) PullOutputLoop();
    return S_OK;
}

HRESULT EVRCustomPresenter::OnClockStop(MFTIME) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (state_ != PresenterState::Stopped) {
        state_ = PresenterState::Stopped;
        FlushPresenter();
        CancelStep();
    }
    return S_OK;
}

HRESULT EVRCustomPresenter::OnClockPause(MFTIME) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    state_ = PresenterState::Paused;
    // The samples due where the clock stopped are shown before the pause counts as done, so
    // that the picture on screen from now on is the one the pause keeps.
    scheduler_.Settle();
    return S_OK;
}

HRESULT EVRCustomPresenter::OnClockRestart(MFTIME) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    state_ = PresenterState::Started;
    flushedForStart_ = FALSE;
    scheduler_.ClockStateChanged();
    const HRESULT hr = StartPendingStep();
    if (SUCCEEDED(hr)) PullOutputLoop();
    return hr;
}

HRESULT EVRCustomPresenter::OnClockSetRate(MFTIME, float rate) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    // Leaving scrubbing ends a step.
    if (rate_ == 0.0f && rate != 0.0f) {
        CancelStep();
        frameStep_.queue.Clear();
    }
    rate_ = rate;
    scheduler_.SetClockRate(rate);
    return S_OK;
}

// ---- messages ---------------------------------------------------------------------------

HRESULT EVRCustomPresenter::ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    switch (message) {
    case MFVP_MESSAGE_FLUSH:
        seek_ = std::max<UINT64>(seek_, param);
        flushedForStart_ = TRUE;
        FlushPresenter();
        return S_OK;
    case MFVP_MESSAGE_INVALIDATEMEDIATYPE:
        return NegotiateOutputType();
    case MFVP_MESSAGE_PROCESSINPUTNOTIFY:
        sampleNotify_ = TRUE;
        if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
        PullOutputLoop();
        return S_OK;
    case MFVP_MESSAGE_BEGINSTREAMING:
        return scheduler_.Start(clock_.Get());
    case MFVP_MESSAGE_ENDSTREAMING:
        scheduler_.Stop();
        return S_OK;
    case MFVP_MESSAGE_ENDOFSTREAM:
        endOfStream_ = TRUE;
        CheckEndOfStream();
        return S_OK;
    case MFVP_MESSAGE_STEP:
        frameStep_.steps += UINT32(param);
        frameStep_.state = FrameStepState::WaitingStart;
        return state_ == PresenterState::Started ? StartPendingStep() : S_OK;
    case MFVP_MESSAGE_CANCELSTEP:
        CancelStep();
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT EVRCustomPresenter::GetCurrentMediaType(IMFVideoMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (!outputType_) return MF_E_NOT_INITIALIZED;
    return outputType_->QueryInterface(IID_IMFVideoMediaType, reinterpret_cast<void**>(type));
}

// ---- rates ------------------------------------------------------------------------------

float EVRCustomPresenter::FastestRate(BOOL thin) {
    // Without thinning every frame is shown, so at most one frame per refresh of the display.
    UINT32 numerator = 0, denominator = 0;
    const UINT32 refresh = engine_->RefreshRate();
    if (!thin && outputType_ &&
        SUCCEEDED(MFGetAttributeRatio(outputType_.Get(), MF_MT_FRAME_RATE, &numerator, &denominator)) &&
        numerator && denominator && refresh)
        return float(MulDiv(int(refresh), int(denominator), int(numerator)));
    return FLT_MAX;
}

HRESULT EVRCustomPresenter::GetSlowestRate(MFRATE_DIRECTION, BOOL, float* rate) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (!rate) return E_POINTER;
    *rate = 0.0f;  // scrubbing
    return S_OK;
}

HRESULT EVRCustomPresenter::GetFastestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (!rate) return E_POINTER;
    const float fastest = FastestRate(thin);
    *rate = direction == MFRATE_REVERSE ? -fastest : fastest;
    return S_OK;
}

HRESULT EVRCustomPresenter::IsRateSupported(BOOL thin, float rate, float* nearest) {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    const float fastest = FastestRate(thin);
    if (std::fabs(rate) <= fastest) {
        if (nearest) *nearest = rate;
        return S_OK;
    }
    if (nearest) *nearest = std::copysign(fastest, rate);
    return MF_E_UNSUPPORTED_RATE;
}

// ---- pulling from the mixer -------------------------------------------------------------

void EVRCustomPresenter::PullOutputLoop() {
    HRESULT hr = S_OK;
    while (sampleNotify_) {
        hr = PullOneSample();
        if (hr != S_OK) break;
    }
    // Nothing more to mix: the end of the stream may have been reached. An S_FALSE (no free
    // sample, or the paused picture is there) or a failure leaves the check to a later pull.
    if (!sampleNotify_ || hr == MF_E_TRANSFORM_NEED_MORE_INPUT) CheckEndOfStream();
}

HRESULT EVRCustomPresenter::PullOneSample() {
    const BOOL repaintNow = repaint_;
    // Stopped or paused, one picture is shown after a flush and no more.
    if (state_ != PresenterState::Started && !repaintNow && prerolled_) return S_FALSE;
    if (!mixer_) return MF_E_INVALIDREQUEST;

    ComPtr<IMFSample> sample;
    bool fromPool = false;
    HRESULT hr = samplePool_.TakeSample(engine_->ShownSample(), sample.ReleaseAndGetAddressOf());
    if (hr == MF_E_NOT_INITIALIZED) {
        heldSample_.Reset();
        return hr;
    }
    if (hr == MF_E_SAMPLEALLOCATOR_EMPTY) {
        // A repaint does not wait for a sample to come back: it draws into the held one.
        if (!repaintNow || !heldSample_) return S_FALSE;
        sample = heldSample_;
    } else if (FAILED(hr)) {
        return hr;
    } else {
        fromPool = true;
        heldSample_ = sample;
    }

    ComPtr<IMFDesiredSample> desired;
    hr = sample.As(&desired);
    if (FAILED(hr)) return hr;
    LONGLONG mixStart = 0;
    MFTIME systemTime = 0;
    if (repaintNow) {
        desired->SetDesiredSampleTimeAndDuration(scheduler_.LastSampleTime(), scheduler_.FrameDuration());
        repaint_ = FALSE;
    } else {
        // Clearing forgets a repaint's desired time and every attribute; the token stays.
        const UINT32 token = SampleToken(sample.Get());
        desired->Clear();
        sample->SetUINT32(SampleTokenAttribute, token);
        if (clock_) clock_->GetCorrelatedTime(0, &mixStart, &systemTime);
    }

    MFT_OUTPUT_DATA_BUFFER buffer;
    buffer.pSample = sample.Get();
    DWORD status = 0;
    hr = mixer_->ProcessOutput(0, 1, &buffer, &status);
    if (buffer.pEvents) buffer.pEvents->Release();
    if (FAILED(hr)) {
        if (fromPool) {
            const HRESULT back = samplePool_.ReturnSample(sample.Get());
            if (FAILED(back)) return back;
        }
        if (hr == MF_E_TRANSFORM_TYPE_NOT_SET) return NegotiateOutputType();
        if (hr == MF_E_TRANSFORM_STREAM_CHANGE) {
            outputType_.Reset();
            DropVideoResources();
        } else if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT && !repaintNow) {
            // A repaint takes no input, so its answer says nothing about the input waiting.
            sampleNotify_ = FALSE;
        }
        return hr;
    }

    if (!repaintNow && PictureSeek(sample.Get(), seek_) < seek_) {
        // Mixed from a frame of an earlier seek: never shown as this one's.
        return fromPool ? samplePool_.ReturnSample(sample.Get()) : S_OK;
    }
    if (clock_ && !repaintNow) {
        LONGLONG now = 0;
        if (SUCCEEDED(clock_->GetCorrelatedTime(0, &now, &systemTime))) {
            LONGLONG latency = now - mixStart;  // read by the sink before Notify returns
            NotifyEvent(EC_PROCESSING_LATENCY, reinterpret_cast<LONG_PTR>(&latency), 0);
        }
    }
    // A held sample drawn into again for a repaint may still be tracked from its first use.
    ComPtr<IMFTrackedSample> tracked;
    if (SUCCEEDED(sample.As(&tracked))) tracked->SetAllocator(&sampleReleased_, nullptr);
    if (frameStep_.state == FrameStepState::None || repaintNow)
        hr = DeliverToScheduler(sample.Get(), repaintNow);
    else
        hr = DeliverStepSample(sample.Get());
    if (SUCCEEDED(hr)) prerolled_ = TRUE;
    return hr;
}

HRESULT EVRCustomPresenter::DeliverToScheduler(IMFSample* sample, BOOL repaint) {
    const BOOL presentNow = state_ != PresenterState::Started || rate_ == 0.0f || repaint;
    const HRESULT hr = scheduler_.Schedule(sample, presentNow);
    if (FAILED(hr)) NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
}

// ---- frame step -------------------------------------------------------------------------

HRESULT EVRCustomPresenter::DeliverStepSample(IMFSample* sample) {
    if (rate_ == 0.0f && clock_) {
        // Scrubbing: a picture that ends before the clock's position is not worth showing.
        LONGLONG time = 0, duration = 0, now = 0;
        MFTIME systemTime = 0;
        if (SUCCEEDED(sample->GetSampleTime(&time)) && SUCCEEDED(sample->GetSampleDuration(&duration)) &&
            SUCCEEDED(clock_->GetCorrelatedTime(0, &now, &systemTime)) && time + duration < now)
            return S_OK;
    }
    if (frameStep_.state == FrameStepState::Scheduled || frameStep_.state == FrameStepState::Complete)
        return frameStep_.queue.InsertBack(sample);
    if (frameStep_.steps > 0) --frameStep_.steps;
    if (frameStep_.steps > 0) return S_OK;  // stepped over
    if (frameStep_.state == FrameStepState::WaitingStart) return frameStep_.queue.InsertBack(sample);
    if (frameStep_.state != FrameStepState::Pending) return S_OK;
    const HRESULT hr = DeliverToScheduler(sample, FALSE);
    if (SUCCEEDED(hr)) {
        frameStep_.identity = sample;
        frameStep_.state = FrameStepState::Scheduled;
    }
    return hr;
}

HRESULT EVRCustomPresenter::StartPendingStep() {
    HRESULT hr = S_OK;
    if (frameStep_.state == FrameStepState::WaitingStart) frameStep_.state = FrameStepState::Pending;
    if (frameStep_.state == FrameStepState::Pending) {
        while (SUCCEEDED(hr) && frameStep_.state == FrameStepState::Pending && !frameStep_.queue.IsEmpty()) {
            ComPtr<IMFSample> sample;
            frameStep_.queue.RemoveFront(sample.ReleaseAndGetAddressOf());
            hr = DeliverStepSample(sample.Get());
        }
    } else if (frameStep_.state == FrameStepState::None) {
        while (SUCCEEDED(hr) && !frameStep_.queue.IsEmpty()) {
            ComPtr<IMFSample> sample;
            frameStep_.queue.RemoveFront(sample.ReleaseAndGetAddressOf());
            hr = DeliverToScheduler(sample.Get(), FALSE);
        }
    }
    return hr;
}

void EVRCustomPresenter::CancelStep() {
    const FrameStepState old = frameStep_.state;
    frameStep_.state = FrameStepState::None;
    frameStep_.steps = 0;
    frameStep_.identity = nullptr;
    if (old == FrameStepState::WaitingStart || old == FrameStepState::Pending || old == FrameStepState::Scheduled)
        NotifyEvent(EC_STEP_COMPLETE, TRUE, 0);
}

void EVRCustomPresenter::CompleteFrameStep(IMFSample* sample) {
    frameStep_.state = FrameStepState::Complete;
    frameStep_.identity = nullptr;
    NotifyEvent(EC_STEP_COMPLETE, FALSE, 0);
    if (rate_ != 0.0f) return;
    // Scrubbing: where the picture shown lies, as two 32-bit halves (low, high).
    LONGLONG time = 0;
    MFTIME systemTime = 0;
    if (FAILED(sample->GetSampleTime(&time)) && clock_) clock_->GetCorrelatedTime(0, &time, &systemTime);
    NotifyEvent(EC_SCRUB_TIME, LONG_PTR(UINT32(UINT64(time) & 0xFFFFFFFFu)), LONG_PTR(UINT32(UINT64(time) >> 32)));
}

// ---- released samples, end of stream, flushing ------------------------------------------

HRESULT EVRCustomPresenter::OnSampleReleased(IMFAsyncResult* result) {
    ComPtr<IUnknown> object;
    ComPtr<IMFSample> sample;
    HRESULT hr = result ? result->GetObject(object.ReleaseAndGetAddressOf()) : E_POINTER;
    if (SUCCEEDED(hr)) hr = object.As(&sample);
    std::lock_guard lock(mutex_);
    if (SUCCEEDED(hr)) {
        if (frameStep_.state == FrameStepState::Scheduled && sample.Get() == frameStep_.identity)
            CompleteFrameStep(sample.Get());
        // A sample of an older batch is let go; the pull that its return would have made is
        // made all the same, for the batch that replaced it.
        if (SampleToken(sample.Get()) == tokenCounter_) hr = samplePool_.ReturnSample(sample.Get());
        if (SUCCEEDED(hr)) {
            if (pullOnStart_) PullOutputLoop();
            else CheckEndOfStream();
        }
    }
    if (FAILED(hr)) NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
}

void EVRCustomPresenter::CheckEndOfStream() {
    if (!endOfStream_ || sampleNotify_) return;
    // Nothing more will be mixed: the sample kept for repaints is let go too, or it would
    // hold the end back for good (a later repaint takes a free sample).
    heldSample_.Reset();
    // The last picture has been shown once every sample taken came back.
    if (samplePool_.AreSamplesPending()) return;
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    endOfStream_ = FALSE;
}

void EVRCustomPresenter::FlushPresenter() {
    prerolled_ = FALSE;
    scheduler_.Flush();
    frameStep_.queue.Clear();
}

void EVRCustomPresenter::DropVideoResources(bool keepScheduled) {
    ++tokenCounter_;
    heldSample_.Reset();
    if (!keepScheduled) FlushPresenter();
    samplePool_.Clear();
    engine_->OnReleaseResources();
}

// ---- output type ------------------------------------------------------------------------

HRESULT EVRCustomPresenter::NegotiateOutputType() {
    if (!mixer_) return MF_E_INVALIDREQUEST;
    HRESULT hr = S_OK;
    for (DWORD index = 0;; ++index) {
        ComPtr<IMFMediaType> proposed, built;
        hr = mixer_->GetOutputAvailableType(0, index, proposed.ReleaseAndGetAddressOf());
        if (FAILED(hr)) break;  // MF_E_NO_MORE_TYPES at the end of the list
        hr = CheckOutputType(proposed.Get());
        if (SUCCEEDED(hr)) hr = BuildOutputType(proposed.Get(), &built);
        if (SUCCEEDED(hr)) hr = mixer_->SetOutputType(0, built.Get(), MFT_SET_TYPE_TEST_ONLY);
        if (SUCCEEDED(hr)) hr = ApplyOutputType(built.Get());
        if (FAILED(hr)) continue;
        hr = mixer_->SetOutputType(0, built.Get(), 0);
        if (SUCCEEDED(hr)) break;
        outputType_.Reset();
        DropVideoResources();
    }
    return hr;
}

HRESULT EVRCustomPresenter::CheckOutputType(IMFMediaType* proposed) {
    BOOL compressed = TRUE;
    GUID subtype;
    UINT32 interlace = MFVideoInterlace_Unknown, width = 0, height = 0;
    HRESULT hr = proposed->IsCompressedFormat(&compressed);
    if (SUCCEEDED(hr) && compressed) hr = MF_E_INVALIDMEDIATYPE;
    if (SUCCEEDED(hr)) hr = proposed->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (SUCCEEDED(hr)) hr = D3DPresentEngine::CheckFormat(D3DFORMAT(subtype.Data1));
    if (SUCCEEDED(hr)) hr = proposed->GetUINT32(MF_MT_INTERLACE_MODE, &interlace);
    if (SUCCEEDED(hr) && interlace != MFVideoInterlace_Progressive) hr = MF_E_INVALIDMEDIATYPE;
    if (SUCCEEDED(hr)) hr = MFGetAttributeSize(proposed, MF_MT_FRAME_SIZE, &width, &height);
    return hr;
}

HRESULT EVRCustomPresenter::BuildOutputType(IMFMediaType* proposed, ComPtr<IMFMediaType>* built) {
    if (!proposed || !built) return E_POINTER;
    // The proposed type itself is completed. The output frames have the size the picture is
    // shown at, so that the mixer converts and scales each frame in one pass and the window
    // draws it as it is; the native size is what the decoded frames have (and the size of
    // the pictures when the shown size is not known yet).
    ComPtr<IMFMediaType> type(proposed);
    UINT32 width = 0, height = 0;
    HRESULT hr = MFSetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_YUV_MATRIX, MFVideoTransferMatrix_BT709);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_TRANSFER_FUNCTION, MFVideoTransFunc_709);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_VIDEO_PRIMARIES, MFVideoPrimaries_BT709);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, MFNominalRange_16_235);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_VIDEO_LIGHTING, MFVideoLighting_dim);
    if (SUCCEEDED(hr)) hr = MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
    if (SUCCEEDED(hr)) {
        nativeSize_.store((UINT64(width) << 32) | height);
        if (shownRect_.Width() > 0 && shownRect_.Height() > 0 && shownRect_.Width() < kMaxOutputSide &&
            shownRect_.Height() <= kMaxOutputSide) {
            // An even width: the scaler writes odd widths pixel by pixel, several times slower.
            // The window shows the part it has room for.
            width = UINT32(shownRect_.Width() + 1) & ~1u;
            height = UINT32(shownRect_.Height());
        }
        hr = MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    }
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_PAN_SCAN_ENABLED, FALSE);
    MFVideoArea area;
    area.Area = SIZE{int(width), int(height)};
    for (const GUID& key : {MF_MT_GEOMETRIC_APERTURE, MF_MT_PAN_SCAN_APERTURE, MF_MT_MINIMUM_DISPLAY_APERTURE})
        if (SUCCEEDED(hr)) hr = type->SetBlob(key, reinterpret_cast<const BYTE*>(&area), sizeof area);
    if (SUCCEEDED(hr)) *built = std::move(type);
    return hr;
}

HRESULT EVRCustomPresenter::ApplyOutputType(IMFMediaType* type) {
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    DWORD flags = 0;
    if (outputType_ && outputType_->IsEqual(type, &flags) == S_OK) return S_OK;
    // Pictures of the type replaced (another shown size, as a rule) that wait for their time
    // are still shown; their samples are let go when they come back.
    const bool replacing = bool(outputType_);
    outputType_.Reset();
    DropVideoResources(replacing);

    MediaFoundationSamples::ComPtrList<IMFSample> samples;
    HRESULT hr = engine_->CreateVideoSamples(type, &samples);
    for (auto p = samples.Front(); SUCCEEDED(hr) && p != samples.End(); p = samples.Next(p)) {
        ComPtr<IMFSample> sample;
        hr = samples.GetItem(p, sample.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = sample->SetUINT32(SampleTokenAttribute, tokenCounter_);
    }
    if (SUCCEEDED(hr)) hr = samplePool_.Initialize(samples);
    if (FAILED(hr)) {
        DropVideoResources();
        return hr;
    }
    UINT32 numerator = 0, denominator = 0;
    if (FAILED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &numerator, &denominator)) || !numerator || !denominator) {
        numerator = kDefaultFrameRate;
        denominator = 1;
    }
    UINT64 duration = 0;
    MFFrameRateToAverageTimePerFrame(numerator, denominator, &duration);
    scheduler_.SetFrameDuration(LONGLONG(duration));
    outputType_ = type;
    return S_OK;
}

// ---- display control --------------------------------------------------------------------

HRESULT EVRCustomPresenter::GetNativeVideoSize(SIZE* videoSize, SIZE* aspectRatio) {
    if (!videoSize || !aspectRatio) return E_POINTER;
    const UINT64 size = nativeSize_.load();
    const int width = int(size >> 32), height = int(size & 0xFFFFFFFFu);
    if (height == 0) return MF_E_NOT_INITIALIZED;
    *videoSize = SIZE{width, height};
    const int g = std::gcd(width, height);
    *aspectRatio = SIZE{width / g, height / g};
    return S_OK;
}

HRESULT EVRCustomPresenter::GetIdealVideoSize(SIZE*, SIZE*) { return E_NOTIMPL; }

HRESULT EVRCustomPresenter::SetVideoPosition(const MFVideoNormalizedRect* source, const RECT* destination) {
    if (!source && !destination) return E_POINTER;
    if (destination && (destination->left > destination->right || destination->top > destination->bottom))
        return E_INVALIDARG;
    if (source && !(source->left <= source->right && source->top <= source->bottom && source->left >= 0.0f &&
                    source->right <= 1.0f && source->top >= 0.0f && source->bottom <= 1.0f))
        return E_INVALIDARG;
    // The window's size is asked for before the lock: it is answered on this thread.
    SIZE client{};
    const bool sized = destination && GetVideoWindowSize(engine_->GetVideoWindow(), &client);
    std::lock_guard lock(mutex_);
    // The same position again (a window that repaints asks for it each time) changes nothing:
    // the pictures are already made for it.
    const bool sameSource = !source || *source == sourceRect_;
    const bool sameDestination = !destination || (*destination == engine_->GetDestinationRect() &&
                                                   ShownPart(*destination, sized ? &client : nullptr) == shownRect_);
    if (mixer_ && sameSource && sameDestination) return S_OK;
    if (source) sourceRect_ = *source;
    if (destination) {
        shownRect_ = ShownPart(*destination, sized ? &client : nullptr);
        engine_->SetDestinationRect(*destination, shownRect_);
    }
    if (mixer_) {
        // The mixer renders only what lands inside the window.
        const MFVideoNormalizedRect visible = VisibleSource(sourceRect_, engine_->GetDestinationRect(), shownRect_);
        if (HRESULT hr = SetZoomRect(mixer_.Get(), visible); FAILED(hr)) return hr;
    }
    if (destination && mixer_) {
        // The pictures follow the shown size.
        HRESULT hr = NegotiateOutputType();
        if (hr == MF_E_TRANSFORM_TYPE_NOT_SET) hr = S_OK;  // the mixer has no input yet
        if (FAILED(hr)) return hr;
        // The picture on screen again, at the new place; after a flush (a seek whose picture
        // has not come yet) there is none to repaint: the mixer's last picture belongs to the
        // position before the seek and would be taken for the new position's.
        if (prerolled_) {
            repaint_ = TRUE;
            PullOneSample();
        }
    }
    return S_OK;
}

HRESULT EVRCustomPresenter::GetVideoPosition(MFVideoNormalizedRect* source, RECT* destination) {
    if (!source || !destination) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    *source = sourceRect_;
    *destination = engine_->GetDestinationRect();
    return S_OK;
}

HRESULT EVRCustomPresenter::SetAspectRatioMode(DWORD mode) {
    aspectRatioMode_.store(mode);
    return S_OK;
}

HRESULT EVRCustomPresenter::GetAspectRatioMode(DWORD* mode) {
    if (!mode) return E_POINTER;
    *mode = aspectRatioMode_.load();
    return S_OK;
}

HRESULT EVRCustomPresenter::SetVideoWindow(HWND window) {
    std::lock_guard lock(mutex_);
    // A handle whose window has gone would take the pictures nowhere.
    if (!window || !IsAppWindow(window)) return E_INVALIDARG;
    if (window == engine_->GetVideoWindow()) return S_OK;
    const HRESULT hr = engine_->SetVideoWindow(window);
    NotifyEvent(EC_DISPLAY_CHANGED, 0, 0);
    return hr;
}

HRESULT EVRCustomPresenter::GetVideoWindow(HWND* window) {
    if (!window) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    *window = engine_->GetVideoWindow();
    return S_OK;
}

HRESULT EVRCustomPresenter::RepaintVideo() {
    std::lock_guard lock(mutex_);
    if (HRESULT hr = CheckShutdown(); FAILED(hr)) return hr;
    if (prerolled_) {
        repaint_ = TRUE;
        if (scheduler_.IsRunning()) {
            seekMark_ = 0;
            secondSeekMark_ = 0;
        }
        PullOneSample();
    }
    return S_OK;
}

HRESULT EVRCustomPresenter::GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibSize, LONGLONG*) {
    if (!dib) return E_POINTER;
    *dib = nullptr;
    const UINT64 size = nativeSize_.load();
    const UINT32 width = UINT32(size >> 32), height = UINT32(size & 0xFFFFFFFFu);
    if (height == 0) return MF_E_NOT_INITIALIZED;
    // The picture on screen has the shown size: the full-size one is made again from the
    // decoded frame it came from, by the mixer, exactly as a picture of the native size.
    QImage full;
    if (const std::shared_ptr<const AVFrame> source = engine_->ShownSourceFrame()) {
        ComPtr<IMFVideoFrameRenderer> renderer;
        MFVideoNormalizedRect zoom;
        {
            std::lock_guard lock(mutex_);
            if (mixer_) mixer_.As(&renderer);
            zoom = sourceRect_;
        }
        if (renderer && FAILED(renderer->RenderFrame(source.get(), zoom, width, height, &full))) full = QImage();
    }
    DWORD bytes = 0;
    const HRESULT hr = engine_->GrabFrame(dib, width, height, &bytes, &full);
    if (FAILED(hr)) return hr;
    if (header) {
        *header = BITMAPINFOHEADER{};
        header->biSize = sizeof(BITMAPINFOHEADER);
        header->biWidth = std::int32_t(width);
        header->biHeight = std::int32_t(height);  // bottom-up
        header->biPlanes = 1;
        header->biBitCount = 32;
        header->biSizeImage = bytes;
    }
    if (dibSize) *dibSize = bytes;
    return S_OK;
}

HRESULT EVRCustomPresenter::SetBorderColor(COLORREF) { return E_NOTIMPL; }
HRESULT EVRCustomPresenter::GetBorderColor(COLORREF*) { return E_NOTIMPL; }
HRESULT EVRCustomPresenter::SetRenderingPrefs(DWORD) { return E_NOTIMPL; }
HRESULT EVRCustomPresenter::GetRenderingPrefs(DWORD*) { return E_NOTIMPL; }
HRESULT EVRCustomPresenter::SetFullscreen(BOOL) { return E_NOTIMPL; }
HRESULT EVRCustomPresenter::GetFullscreen(BOOL*) { return E_NOTIMPL; }

// ---- the player's side ------------------------------------------------------------------

void EVRCustomPresenter::SetStartMarks(UINT32 pullOnStart, UINT32 seekMark, UINT32 secondSeekMark) {
    std::lock_guard lock(mutex_);
    pullOnStart_ = pullOnStart;
    seekMark_ = seekMark;
    secondSeekMark_ = secondSeekMark;
}

void EVRCustomPresenter::GetFrameCounts(UINT64* presented, UINT64* late) const {
    scheduler_.GetFrameCounts(presented, late);
}

HRESULT EVRCustomPresenter::GetShownSampleTime(LONGLONG* time, UINT64* seek) const {
    if (!time) return E_POINTER;
    return scheduler_.ShownSampleTime(time, seek) ? S_OK : S_FALSE;
}

}  // namespace orv
