#include "playback/engine/CPlayer.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/base/ErrorReport.h"
#include "playback/PlayerWaits.h"

namespace orv {

namespace {

std::atomic<UINT64> g_lastOpenTag{0};

template <class I>
ComPtr<I> GetSessionService(IMFMediaSession* session, const GUID& service) {
    ComPtr<I> out;
    MFGetService(session, service, I::kIid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    return out;
}

// The selected stream of the major type, or null.
ComPtr<IMFStreamDescriptor> SelectedStream(IMFPresentationDescriptor* descriptor, const GUID& major) {
    DWORD count = 0;
    if (FAILED(descriptor->GetStreamDescriptorCount(&count))) return nullptr;
    for (DWORD i = 0; i < count; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        GUID type;
        if (SUCCEEDED(descriptor->GetStreamDescriptorByIndex(i, &selected, stream.ReleaseAndGetAddressOf())) &&
            selected && SUCCEEDED(stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf())) &&
            SUCCEEDED(handler->GetMajorType(&type)) && type == major)
            return stream;
    }
    return nullptr;
}

}  // namespace

HRESULT CPlayer::CreateInstance(HWND window, CPlayer** player) {
    if (!player) return E_POINTER;
    *player = nullptr;
    const HRESULT hr = MFStartup();
    if (FAILED(hr)) return hr;
    *player = new CPlayer(window);
    return S_OK;
}

CPlayer::~CPlayer() {
    CloseSession();
    MFShutdown();
}

HRESULT CPlayer::GetParameters(DWORD*, DWORD*) { return E_NOTIMPL; }

// ---- opening ----------------------------------------------------------------------------

HRESULT CPlayer::OpenFile(const std::string& path) {
    CloseSession();
    ComPtr<IMFMediaSession> session;
    HRESULT hr = MFCreateMediaSession(nullptr, session.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(mutex_);
        session_ = session;
        rebuiltWithoutAudio_ = false;
        openTag_ = ++g_lastOpenTag;
        pausesAsked_ = pausesDone_ = 0;
        lastSeek_ = 0;
        lastSeekTime_ = 0;
        unansweredSince_.reset();
        leftBehind_ = false;
        path_ = path;
    }
    hr = session->BeginGetEvent(this, nullptr);
    if (SUCCEEDED(hr)) {
        SetState(PLAYER_READY);
        ComPtr<IMFMediaSource> source;
        hr = MFCreateSourceFromURL(path, source.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) {
            {
                // Pending before the topology goes to the session: its answer may come at once
                // and must not be overwritten.
                std::lock_guard lock(mutex_);
                source_ = std::move(source);
                state_ = PLAYER_OPEN_PENDING;
            }
            hr = CreateAndSetTopology();
        }
    }
    // The session waits for events on the player's behalf; closing it lets go of the player.
    if (FAILED(hr)) CloseSession();
    return hr;
}

HRESULT CPlayer::CreateAndSetTopology() {
    ComPtr<IMFMediaSource> source = Source();
    ComPtr<IMFMediaSession> session = Session();
    if (!source || !session) return E_UNEXPECTED;
    ComPtr<IMFPresentationDescriptor> descriptor;
    HRESULT hr = source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    ComPtr<IMFTopology> topology;
    hr = CreatePlaybackTopology(source.Get(), descriptor.Get(), topology.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    return session->SetTopology(0, topology.Get());
}

HRESULT CPlayer::CreatePlaybackTopology(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                                        IMFTopology** topology) {
    ComPtr<IMFTopology> made;
    HRESULT hr = MFCreateTopology(made.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    DWORD count = 0;
    hr = descriptor->GetStreamDescriptorCount(&count);
    if (FAILED(hr)) return hr;
    // A movie with no picture to show (no video stream, or one without samples) cannot be
    // played: it fails here, while opening, rather than never becoming ready.
    if (!SelectedStream(descriptor, MFMediaType_Video)) return MF_E_TOPO_UNSUPPORTED;
    for (DWORD i = 0; i < count; ++i) {
        bool isAudio = false;
        hr = AddBranchToPartialTopology(made.Get(), source, descriptor, i, &isAudio);
        // Without its sound the movie still plays.
        if (FAILED(hr) && !isAudio) return hr;
    }
    *topology = made.Detach();
    return S_OK;
}

HRESULT CPlayer::AddBranchToPartialTopology(IMFTopology* topology, IMFMediaSource* source,
                                            IMFPresentationDescriptor* descriptor, DWORD index, bool* isAudio) {
    BOOL selected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    HRESULT hr = descriptor->GetStreamDescriptorByIndex(index, &selected, stream.ReleaseAndGetAddressOf());
    if (FAILED(hr) || !selected) return hr;
    ComPtr<IMFActivate> sink;
    hr = CreateMediaSinkActivate(stream.Get(), sink.ReleaseAndGetAddressOf(), isAudio);
    if (hr != S_OK) return hr;

    ComPtr<IMFTopologyNode> sourceNode, outputNode;
    hr = MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, sourceNode.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_SOURCE, source);
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, descriptor);
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream.Get());
    if (SUCCEEDED(hr)) hr = MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, outputNode.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = outputNode->SetObject(sink.Get());
    if (SUCCEEDED(hr)) hr = outputNode->SetUINT32(MF_TOPONODE_STREAMID, 0);
    if (SUCCEEDED(hr)) hr = outputNode->SetUINT32(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE, FALSE);
    if (SUCCEEDED(hr)) hr = topology->AddNode(sourceNode.Get());
    if (SUCCEEDED(hr)) hr = topology->AddNode(outputNode.Get());
    if (SUCCEEDED(hr)) hr = sourceNode->ConnectOutput(0, outputNode.Get(), 0);
    return hr;
}

HRESULT CPlayer::CreateMediaSinkActivate(IMFStreamDescriptor* stream, IMFActivate** activate, bool* isAudio) {
    *activate = nullptr;
    ComPtr<IMFMediaTypeHandler> handler;
    GUID major;
    HRESULT hr = stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = handler->GetMajorType(&major);
    if (FAILED(hr)) return hr;

    if (major == MFMediaType_Audio) {
        *isAudio = true;
        {
            std::lock_guard lock(mutex_);
            if (rebuiltWithoutAudio_) return E_FAIL;
        }
        return MFCreateAudioRendererActivate(activate);
    }
    *isAudio = false;
    // Timecode, subtitle and data streams are left out: the movie plays without them.
    if (!(major == MFMediaType_Video)) return S_FALSE;

    ComPtr<IMFActivate> renderer;
    ComPtr<CMFActivate> presenter;
    hr = MFCreateVideoRendererActivate(videoWindow_, renderer.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = CMFActivate::CreateInstance(presenter.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = renderer->SetUnknown(MF_ACTIVATE_CUSTOM_VIDEO_PRESENTER_ACTIVATE, presenter.Get());
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(mutex_);
        std::swap(presenter, presenterActivate_);
    }
    *activate = renderer.Detach();
    return S_OK;
}

// ---- session events ---------------------------------------------------------------------

HRESULT CPlayer::Invoke(IMFAsyncResult* result) {
    ComPtr<IMFMediaSession> session = Session();
    ComPtr<IMFMediaEvent> event;
    if (!session || FAILED(session->EndGetEvent(result, event.ReleaseAndGetAddressOf()))) return S_OK;
    MediaEventType type = MEUnknown;
    HRESULT status = S_OK;
    if (FAILED(event->GetType(&type)) || FAILED(event->GetStatus(&status))) return S_OK;
    if (type == MESessionPaused) {
        // Counted whatever its status: each pause and each seek gets exactly one.
        {
            std::lock_guard lock(mutex_);
            ++pausesDone_;
            if (pausesDone_ >= pausesAsked_) {
                unansweredSince_.reset();
                leftBehind_ = false;  // caught up
            } else {
                unansweredSince_ = std::chrono::steady_clock::now();
            }
        }
        answerWake_.notify_all();
    }
    if (type == MESessionClosed) {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            unansweredSince_.reset();
            leftBehind_ = false;
        }
        answerWake_.notify_all();
    } else if (FAILED(session->BeginGetEvent(this, nullptr))) {
        return S_OK;
    }
    if (GetState() == PLAYER_CLOSING) return S_OK;

    if (FAILED(status)) {
        // A topology the session cannot play is built once more, without sound.
        if (type == MESessionTopologySet) {
            bool rebuild = false;
            {
                std::lock_guard lock(mutex_);
                rebuild = !rebuiltWithoutAudio_;
                rebuiltWithoutAudio_ = true;
            }
            if (rebuild) CreateAndSetTopology();
        }
        return S_OK;
    }
    switch (type) {
    case MESessionTopologySet: OnTopologySet(session.Get()); break;
    case MESessionTopologyStatus: OnTopologyStatus(session.Get(), event.Get()); break;
    case MEEndOfPresentation: OnPresentationEnded(); break;
    default: break;
    }
    return S_OK;
}

void CPlayer::OnTopologySet(IMFMediaSession* session) {
    ComPtr<IMFClock> clock;
    ComPtr<IMFPresentationClock> presentationClock;
    if (SUCCEEDED(session->GetClock(clock.ReleaseAndGetAddressOf()))) clock.As(&presentationClock);
    auto rateControl = GetSessionService<IMFRateControl>(session, MF_RATE_CONTROL_SERVICE);
    auto rateSupport = GetSessionService<IMFRateSupport>(session, MF_RATE_CONTROL_SERVICE);
    // The ones replaced go with the locals, outside the lock.
    std::lock_guard lock(mutex_);
    std::swap(presentationClock, clock_);
    std::swap(rateControl, rateControl_);
    std::swap(rateSupport, rateSupport_);
}

void CPlayer::OnTopologyStatus(IMFMediaSession* session, IMFMediaEvent* event) {
    UINT32 status = MF_TOPOSTATUS_INVALID;
    if (FAILED(event->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &status)) || status != MF_TOPOSTATUS_READY) return;
    UINT64 tag = 0;
    auto display = GetSessionService<IMFVideoDisplayControl>(session, MR_VIDEO_RENDER_SERVICE);
    auto bitmap = GetSessionService<IMFVideoMixerBitmap>(session, MR_VIDEO_MIXER_SERVICE);
    auto mixer = GetSessionService<IMFVideoMixerControl>(session, MR_VIDEO_MIXER_SERVICE);
    // A movie without sound has no stream volume; that is no failure.
    auto volume = GetSessionService<IMFAudioStreamVolume>(session, MR_STREAM_VOLUME_SERVICE);
    const bool complete = display && bitmap && mixer;
    if (!complete) {
        display.Reset();
        bitmap.Reset();
        mixer.Reset();
        volume.Reset();
    }
    {
        std::lock_guard lock(mutex_);
        if (state_ == PLAYER_CLOSING) return;
        std::swap(display, displayControl_);
        std::swap(bitmap, mixerBitmap_);
        std::swap(mixer, mixerControl_);
        std::swap(volume, streamVolume_);
        if (complete) state_ = PLAYER_STOPPED;
        tag = openTag_;
    }
    if (complete) PostAppMessage(eventWindow_, WM_APP_PLAYER_READY, WPARAM(tag), 0);
}

void CPlayer::OnPresentationEnded() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == PLAYER_CLOSING) return;
        state_ = PLAYER_STOPPED;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kEndedDelayMs));
    // A movie closed meanwhile has nothing left to end.
    const PlayerState now = GetState();
    if (now == PLAYER_CLOSING || now == PLAYER_CLOSED) return;
    PostAppMessage(eventWindow_, WM_APP_PLAYER_ENDED, 0, 0);
}

// ---- transport --------------------------------------------------------------------------

HRESULT CPlayer::Play(const std::shared_ptr<StartGate>& gate) {
    std::lock_guard lock(mutex_);
    if (state_ != PLAYER_PAUSED && state_ != PLAYER_STOPPED) return MF_E_INVALIDREQUEST;
    if (!session_ || !source_) return E_UNEXPECTED;
    if (presenterActivate_) presenterActivate_->SetStartMarks(1, 0, 0);
    PROPVARIANT here;
    const HRESULT hr = gate ? session_->StartTogether(gate) : session_->Start(&GUID_NULL, &here);
    if (SUCCEEDED(hr)) state_ = PLAYER_STARTED;
    return hr;
}

HRESULT CPlayer::Pause() {
    HRESULT hr;
    {
        std::lock_guard lock(mutex_);
        if (state_ != PLAYER_STARTED || !session_ || !source_) return S_FALSE;
        hr = session_->Pause();
        if (FAILED(hr)) return hr;
        state_ = PLAYER_PAUSED;
        ++pausesAsked_;
        AskedAt(std::chrono::steady_clock::now());
    }
    // The session pauses on its own thread; until it has, the clock and the picture go on.
    WaitUntilSettled();
    return hr;
}

bool CPlayer::WaitUntilSettled() {
    std::unique_lock lock(mutex_);
    const UINT64 asked = pausesAsked_;
    return AwaitAnswer(lock, [&] { return pausesDone_ >= asked || closed_ || !session_; });
}

bool CPlayer::Answering() {
    std::lock_guard lock(mutex_);
    return !leftBehind_;
}

void CPlayer::AskedAt(std::chrono::steady_clock::time_point since) {
    if (!unansweredSince_) unansweredSince_ = since;
}

template <class Answered>
bool CPlayer::AwaitAnswer(std::unique_lock<std::mutex>& lock, Answered answered) {
    if (answered()) return true;
    if (leftBehind_) return false;
    const PlayerWaitScope call;
    if (answerWake_.wait_until(lock, PlayerWaitDeadline(), answered)) return true;
    // A player merely busy with what was asked a moment ago is not left behind for a call
    // that had no time left for it.
    if (leftBehind_ || !unansweredSince_ ||
        std::chrono::steady_clock::now() - *unansweredSince_ < kPlayerWaitBudget)
        return false;
    leftBehind_ = true;
    const std::string path = path_;
    lock.unlock();
    ReportError("ERROR", "The player of " + path + " did not answer within " +
                             std::to_string(kPlayerWaitBudget.count()) +
                             " ms: playback goes on without waiting for it.");
    lock.lock();
    return false;
}

UINT64 CPlayer::OpenTag() {
    std::lock_guard lock(mutex_);
    return openTag_;
}

HRESULT CPlayer::SeekTo(LONGLONG time) {
    // A movie cut short has no picture from where its samples end: such a seek is refused
    // before it touches the session, so the picture and the clock stay where they were.
    if (ComPtr<IMFMediaSource> source = Source()) {
        ComPtr<IMFPresentationDescriptor> descriptor;
        UINT64 end = 0;
        if (SUCCEEDED(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf())))
            if (ComPtr<IMFStreamDescriptor> video = SelectedStream(descriptor.Get(), MFMediaType_Video);
                video && SUCCEEDED(video->GetUINT64(MF_SD_SAMPLES_END, &end)) && time >= LONGLONG(end))
                return MF_E_NOT_AVAILABLE;
    }
    std::lock_guard lock(mutex_);
    if (!session_) return E_UNEXPECTED;
    if (presenterActivate_) presenterActivate_->SetStartMarks(1, 1, 0);
    UINT64 seek = 0;
    const HRESULT hr = session_->StartPaused(time, &seek);
    if (SUCCEEDED(hr)) {
        state_ = PLAYER_PAUSED;
        ++pausesAsked_;
        AskedAt(std::chrono::steady_clock::now());
        lastSeek_ = seek;
        lastSeekTime_ = time;
    }
    return hr;
}

UINT64 CPlayer::LastSeek(LONGLONG* time) {
    std::lock_guard lock(mutex_);
    if (time) *time = lastSeekTime_;
    return lastSeek_;
}

HRESULT CPlayer::SetRate(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment) {
    std::lock_guard lock(mutex_);
    if (!rateControl_ || !session_) return MF_E_NOT_INITIALIZED;
    return moment ? session_->SetRateTogether(thin, rate, moment) : rateControl_->SetRate(thin, rate);
}

HRESULT CPlayer::SetVolume(UINT32 volume) {
    ComPtr<IMFAudioStreamVolume> stream = StreamVolume();
    if (!stream) return E_POINTER;
    const float level = float(volume) / 65535.0f;
    UINT32 channels = 0;
    HRESULT hr = stream->GetChannelCount(&channels);
    for (UINT32 c = 0; SUCCEEDED(hr) && c < channels; ++c) hr = stream->SetChannelVolume(c, level);
    if (SUCCEEDED(hr)) {
        std::lock_guard lock(mutex_);
        volume_ = volume;
    }
    return hr;
}

// ---- closing ----------------------------------------------------------------------------

HRESULT CPlayer::CloseSession() {
    ComPtr<IMFMediaSession> session;
    ComPtr<IMFMediaSource> source;
    ComPtr<IMFVideoDisplayControl> display;
    {
        std::lock_guard lock(mutex_);
        display = std::move(displayControl_);
        session = session_;
        source = source_;
        if (session) state_ = PLAYER_CLOSING;
        closed_ = false;
    }
    display.Reset();
    HRESULT hr = S_OK;
    bool closed = true;
    if (session) {
        hr = session->Close();
        if (SUCCEEDED(hr)) {
            std::unique_lock lock(mutex_);
            AskedAt(std::chrono::steady_clock::now());
            closed = AwaitAnswer(lock, [this] { return closed_; });
        }
    }
    const auto shutDown = [session, source] {
        if (source) source->Shutdown();
        if (session) session->Shutdown();
    };
    // Unanswered, the session closes on and is shut down without the caller (its threads get
    // the bounded waits of their own shut-down), on a thread of its own when one can be had.
    bool handedOver = false;
    if (!closed) {
        try {
            std::thread(shutDown).detach();
            handedOver = true;
        } catch (const std::system_error&) {
        }
    }
    if (!handedOver) shutDown();

    ComPtr<CMFActivate> activate;
    ComPtr<IMFPresentationClock> clock;
    ComPtr<IMFRateControl> rateControl;
    ComPtr<IMFRateSupport> rateSupport;
    ComPtr<IMFVideoMixerBitmap> bitmap;
    ComPtr<IMFVideoMixerControl> mixer;
    ComPtr<IMFAudioStreamVolume> volume;
    {
        std::lock_guard lock(mutex_);
        session_.Reset();  // the last references go with the locals, outside the lock
        source_.Reset();
        std::swap(activate, presenterActivate_);
        std::swap(clock, clock_);
        std::swap(rateControl, rateControl_);
        std::swap(rateSupport, rateSupport_);
        std::swap(bitmap, mixerBitmap_);
        std::swap(mixer, mixerControl_);
        std::swap(volume, streamVolume_);
        state_ = PLAYER_CLOSED;
    }
    return hr;
}

// ---- state and services -----------------------------------------------------------------

void CPlayer::SetState(PlayerState state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

PlayerState CPlayer::GetState() {
    std::lock_guard lock(mutex_);
    return state_;
}

UINT32 CPlayer::GetVolume() {
    std::lock_guard lock(mutex_);
    return volume_;
}

HRESULT CPlayer::GetDuration(UINT64* duration) {
    if (!duration) return E_POINTER;
    ComPtr<IMFMediaSource> source = Source();
    if (!source) return MF_E_NOT_INITIALIZED;
    ComPtr<IMFPresentationDescriptor> descriptor;
    HRESULT hr = source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = descriptor->GetUINT64(MF_PD_DURATION, duration);
    return hr;
}

ComPtr<IMFMediaSession> CPlayer::Session() { return Locked(session_); }
ComPtr<IMFMediaSource> CPlayer::Source() { return Locked(source_); }
ComPtr<IMFPresentationClock> CPlayer::Clock() { return Locked(clock_); }
ComPtr<IMFRateControl> CPlayer::RateControl() { return Locked(rateControl_); }
ComPtr<IMFRateSupport> CPlayer::RateSupport() { return Locked(rateSupport_); }
ComPtr<IMFAudioStreamVolume> CPlayer::StreamVolume() { return Locked(streamVolume_); }
ComPtr<IMFVideoDisplayControl> CPlayer::DisplayControl() { return Locked(displayControl_); }
ComPtr<IMFVideoMixerControl> CPlayer::MixerControl() { return Locked(mixerControl_); }
ComPtr<IMFVideoMixerBitmap> CPlayer::MixerBitmap() { return Locked(mixerBitmap_); }
ComPtr<CMFActivate> CPlayer::PresenterActivate() { return Locked(presenterActivate_); }

}  // namespace orv
