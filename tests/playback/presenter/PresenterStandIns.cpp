#include "PresenterStandIns.h"

#include <atomic>

namespace orv::presentertest {

namespace {
std::atomic<int> g_sequence{0};
}  // namespace

int NextSequence() { return ++g_sequence; }

FakeMixer::FakeMixer(const Options& options) : options_(options) {
    MFCreateAttributes(attributes_.ReleaseAndGetAddressOf());
}

HRESULT FakeMixer::GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (index > 0) return MF_E_NO_MORE_TYPES;
    ComPtr<IMFMediaType> t;
    MFCreateMediaType(t.ReleaseAndGetAddressOf());
    t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
    t->SetUINT32(MF_MT_COMPRESSED, 0);
    t->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, options_.width, options_.height);
    if (options_.fpsNum) MFSetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, options_.fpsNum, options_.fpsDen);
    *type = t.Detach();
    return S_OK;
}

HRESULT FakeMixer::SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (flags & MFT_SET_TYPE_TEST_ONLY) return S_OK;
    std::lock_guard lock(mutex_);
    outputType_ = type;
    return S_OK;
}

HRESULT FakeMixer::GetOutputCurrentType(DWORD, IMFMediaType** type) {
    std::lock_guard lock(mutex_);
    if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    return outputType_.CopyTo(type);
}

HRESULT FakeMixer::Render(IMFSample* sample, int number) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    HRESULT hr = sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                          reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) return hr;
    VideoSurfaceDesc desc;
    surface->GetDesc(&desc);
    LockedRect locked;
    hr = surface->LockRect(&locked);
    if (FAILED(hr)) return hr;
    for (UINT32 y = 0; y < desc.Height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch);
        for (UINT32 x = 0; x < desc.Width; ++x) row[x] = PixelOf(number, int(x), int(y));
    }
    surface->UnlockRect();
    return S_OK;
}

HRESULT FakeMixer::ProcessOutput(DWORD, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) {
    if (count != 1 || !buffers || !status || !buffers[0].pSample) return E_INVALIDARG;
    IMFSample* sample = buffers[0].pSample;
    std::unique_lock lock(mutex_);
    if (!outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
    ComPtr<IMFDesiredSample> desired;
    LONGLONG time = 0, duration = 0;
    if (SUCCEEDED(ComPtr<IMFSample>(sample).As(&desired)) &&
        SUCCEEDED(desired->GetDesiredSampleTimeAndDuration(&time, &duration))) {
        if (last_ < 0) return MF_E_TRANSFORM_NEED_MORE_INPUT;
        repaints_.push_back({time, duration});
        sample->SetSampleTime(time);
        sample->SetSampleDuration(duration);
        return Render(sample, last_);
    }
    ++held_;
    holdWake_.notify_all();
    holdWake_.wait(lock, [this] { return !hold_; });
    --held_;
    if (frames_.empty()) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    const Frame f = frames_.front();
    frames_.pop_front();
    last_ = f.number;
    sample->SetSampleTime(f.time);
    sample->SetSampleDuration(f.duration);
    sample->SetUINT64(MF_SAMPLE_SEEK, f.seek);
    return Render(sample, f.number);
}

void FakeMixer::AddFrame(int number, LONGLONG time, LONGLONG duration, UINT64 seek) {
    std::lock_guard lock(mutex_);
    frames_.push_back({number, time, duration, seek});
}

void FakeMixer::DropFrames() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

void FakeMixer::HoldPulls(bool hold) {
    {
        std::lock_guard lock(mutex_);
        hold_ = hold;
    }
    holdWake_.notify_all();
}

bool FakeMixer::WaitPullHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return holdWake_.wait_for(lock, timeout, [this] { return held_ > 0; });
}

std::size_t FakeMixer::FramesWaiting() {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

std::vector<FakeMixer::Repaint> FakeMixer::Repaints() {
    std::lock_guard lock(mutex_);
    return repaints_;
}

bool FakeMixer::HasOutputType() {
    std::lock_guard lock(mutex_);
    return bool(outputType_);
}

MFVideoNormalizedRect FakeMixer::ZoomRect() {
    MFVideoNormalizedRect r;
    UINT32 size = 0;
    attributes_->GetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<BYTE*>(&r), sizeof r, &size);
    return r;
}

HRESULT FakeClock::GetCorrelatedTime(DWORD, LONGLONG* clockTime, MFTIME* systemTime) {
    if (!clockTime || !systemTime) return E_POINTER;
    std::lock_guard lock(mutex_);
    *systemTime = MFGetSystemTime();
    *clockTime = base_ + (running_ ? *systemTime - since_ : 0);
    return S_OK;
}

HRESULT FakeClock::GetState(DWORD, MFCLOCK_STATE* state) {
    if (!state) return E_POINTER;
    std::lock_guard lock(mutex_);
    *state = running_ ? MFCLOCK_STATE_RUNNING : MFCLOCK_STATE_PAUSED;
    return S_OK;
}

void FakeClock::Set(LONGLONG time, bool running) {
    std::lock_guard lock(mutex_);
    base_ = time;
    since_ = MFGetSystemTime();
    running_ = running;
}

HRESULT EventLog::Notify(long code, LONG_PTR param1, LONG_PTR param2) {
    {
        std::lock_guard lock(mutex_);
        const LONGLONG latency = code == EC_PROCESSING_LATENCY ? *reinterpret_cast<const LONGLONG*>(param1) : 0;
        events_.push_back({code, param1, param2, latency, NextSequence()});
    }
    cv_.notify_all();
    return S_OK;
}

std::vector<EventLog::Event> EventLog::Events(long code) {
    std::lock_guard lock(mutex_);
    std::vector<Event> found;
    for (const Event& e : events_)
        if (e.code == code) found.push_back(e);
    return found;
}

bool EventLog::WaitFor(long code, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        std::size_t n = 0;
        for (const Event& e : events_) n += e.code == code;
        return n >= count;
    });
}

// A registered window, as the presenter wants a live one.
FrameLog::FrameLog() : window_(RegisterAppWindow([](unsigned, WPARAM, LPARAM) {})) {
    SetVideoFrameSink(window_, [this](const QImage& frame, const RECT& destination) {
        {
            std::lock_guard lock(mutex_);
            const int number = frame.isNull() ? -1 : int((frame.pixel(0, 0) >> 16) & 0xFF);
            frames_.push_back({number, frame, destination, NextSequence()});
        }
        cv_.notify_all();
    }, [this] {
        std::lock_guard lock(mutex_);
        return client_;
    });
}

void FrameLog::SetClientSize(SIZE size) {
    std::lock_guard lock(mutex_);
    client_ = size;
}

FrameLog::~FrameLog() {
    SetVideoFrameSink(window_, nullptr);
    UnregisterAppWindow(window_);
}

std::vector<FrameLog::Shown> FrameLog::Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<int> FrameLog::Numbers() {
    std::lock_guard lock(mutex_);
    std::vector<int> numbers;
    for (const Shown& s : frames_) numbers.push_back(s.number);
    return numbers;
}

bool FrameLog::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

HRESULT ServiceLookup::LookupService(MF_SERVICE_LOOKUP_TYPE, DWORD index, const GUID& service, const IID& iid,
                                     void** objects, DWORD* count) {
    if (!objects || !count) return E_POINTER;
    *objects = nullptr;
    if (index != 0 || *count < 1) return E_INVALIDARG;
    HRESULT hr = MF_E_UNSUPPORTED_SERVICE;
    if (service == MR_VIDEO_MIXER_SERVICE && mixer_)
        hr = mixer_->QueryInterface(iid, objects);
    else if (service == MR_VIDEO_RENDER_SERVICE && iid == IID_IMediaEventSink && events_)
        hr = events_->QueryInterface(iid, objects);
    else if (service == MR_VIDEO_RENDER_SERVICE && iid == IID_IMFClock && clock_)
        hr = clock_->QueryInterface(iid, objects);
    if (FAILED(hr)) return MF_E_UNSUPPORTED_SERVICE;
    *count = 1;
    return S_OK;
}

}  // namespace orv::presentertest
