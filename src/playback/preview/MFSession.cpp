#include "playback/preview/MFSession.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace orv {

CMFSession* g_pPreviewSession = nullptr;

CPreviewSessionHolder::CPreviewSessionHolder(HWND videoWindow) {
    if (g_pPreviewSession) return;
    m_pSession = new CMFSession(videoWindow);
    g_pPreviewSession = m_pSession;
}

void CPreviewSessionHolder::Reset() {
    if (!m_pSession) return;
    if (m_pSession->IsPlaying()) m_pSession->Stop();
    m_pSession->Close();
    if (g_pPreviewSession == m_pSession) g_pPreviewSession = nullptr;
    m_pSession->Release();
    m_pSession = nullptr;
}

namespace {

template <class I>
ComPtr<I> SessionService(IMFMediaSession* session, const GUID& service) {
    ComPtr<I> out;
    if (session) MFGetService(session, service, I::kIid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    return out;
}

PROPVARIANT PositionVariant(std::int64_t position) {
    PROPVARIANT value;
    value.vt = VT_I8;
    value.hVal = position;
    return value;
}

}  // namespace

CMFSession::CMFSession(HWND videoWindow) : m_hwndVideo(videoWindow) { MFStartup(); }

CMFSession::~CMFSession() {
    Close();
    MFShutdown();
}

std::uint64_t CMFSession::GetGeneration() const {
    std::lock_guard lock(m_lock);
    return m_generation;
}

// ---- opening and closing -------------------------------------------------------------

HRESULT CMFSession::OpenFile(const std::string& path) {
    // A failed open leaves its objects until the next Close; closing whenever a session
    // exists keeps one session at a time.
    if (m_pSession) Close();
    m_flags = 0;

    HRESULT hr = MFCreateMediaSession(nullptr, m_pSession.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(m_lock);
        ++m_generation;
        m_pEventSession = m_pSession.Get();
    }
    // The session rides along as the request's state, so an answer can be told apart
    // from the answers of a session closed since.
    hr = m_pSession->BeginGetEvent(this, m_pSession.Get());
    if (SUCCEEDED(hr)) hr = MFCreateSourceFromURL(path, m_pSource.ReleaseAndGetAddressOf());

    ComPtr<IMFTopology> topology;
    ComPtr<IMFPresentationDescriptor> descriptor;
    if (SUCCEEDED(hr)) hr = MFCreateTopology(topology.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = m_pSource->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = BuildTopology(descriptor.Get(), topology.Get());
    if (SUCCEEDED(hr)) hr = m_pSession->SetTopology(0, topology.Get());
    if (SUCCEEDED(hr)) {
        ComPtr<IMFClock> clock;
        hr = m_pSession->GetClock(clock.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = clock.As(&m_pClock);
    }
    if (SUCCEEDED(hr)) {
        UINT64 duration = 0;
        hr = descriptor->GetUINT64(MF_PD_DURATION, &duration);
        m_duration = SUCCEEDED(hr) ? duration : 0;
    }
    if (FAILED(hr)) {
        m_flags &= ~kOpen;
        return hr;
    }
    m_flags |= kOpen;
    m_volume = 1.0f;
    m_balance = 0.0f;
    return S_OK;
}

// The preview is a silent live thumbnail: only the first selected video stream gets a
// branch, whatever its index; every other stream is left out.
HRESULT CMFSession::BuildTopology(IMFPresentationDescriptor* descriptor, IMFTopology* topology) {
    DWORD count = 0;
    HRESULT hr = descriptor->GetStreamDescriptorCount(&count);
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; i < count; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        hr = descriptor->GetStreamDescriptorByIndex(i, &selected, stream.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        if (!selected) continue;
        ComPtr<IMFMediaTypeHandler> handler;
        GUID major;
        hr = stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = handler->GetMajorType(&major);
        if (FAILED(hr)) return hr;
        if (!(major == MFMediaType_Video) || (m_flags & kHasVideo)) {
            descriptor->DeselectStream(i);
            continue;
        }
        ComPtr<IMFActivate> renderer;
        ComPtr<IMFTopologyNode> sourceNode, outputNode;
        hr = MFCreateVideoRendererActivate(m_hwndVideo, renderer.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, sourceNode.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_SOURCE, m_pSource.Get());
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, descriptor);
        if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream.Get());
        if (SUCCEEDED(hr)) hr = MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, outputNode.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = outputNode->SetObject(renderer.Get());
        if (SUCCEEDED(hr)) hr = topology->AddNode(sourceNode.Get());
        if (SUCCEEDED(hr)) hr = topology->AddNode(outputNode.Get());
        if (SUCCEEDED(hr)) hr = sourceNode->ConnectOutput(0, outputNode.Get(), 0);
        if (FAILED(hr)) return hr;
        m_flags |= kHasVideo;
    }
    return (m_flags & kHasVideo) ? S_OK : MF_E_INVALID_FILE_FORMAT;
}

int CMFSession::Close() {
    if (!m_pSession) return 0;
    {
        std::lock_guard lock(m_lock);
        ++m_generation;
        m_pEventSession = nullptr;
    }
    m_pVideoDisplay.Reset();
    m_pAudioVolume.Reset();
    const HRESULT hr = m_pSession->Close();
    // The session is shut down even when it would not close, so that the next open
    // never finds an old one still running.
    if (m_pSource) m_pSource->Shutdown();
    m_pSession->Shutdown();
    m_pClock.Reset();
    m_pSource.Reset();
    m_pSession.Reset();
    m_flags = 0;
    m_duration = 0;
    return SUCCEEDED(hr) ? 1 : 0;
}

// ---- transport -----------------------------------------------------------------------

int CMFSession::Play(int loop) {
    if (!m_pSession || !(m_flags & kOpen)) return 0;
    if (m_flags & kPaused) return 1;
    PROPVARIANT here;
    m_pSession->Start(&GUID_NULL, &here);
    m_flags = (m_flags | kPlaying) & ~kPaused;
    if (loop) m_flags |= kLoop;
    return 1;
}

int CMFSession::Stop() {
    if (!m_pSession || !(m_flags & kOpen)) return 0;
    if (m_flags & kPlaying) {
        m_pSession->Stop();
        m_flags &= ~(kPlaying | kPaused);
    }
    return 1;
}

int CMFSession::IsPlaying() const { return (m_flags & kPlaying) ? 1 : 0; }

int CMFSession::TogglePause() {
    if (!m_pSession || !(m_flags & kOpen)) return 0;
    if (m_flags & kPaused) {
        PROPVARIANT here;
        m_pSession->Start(&GUID_NULL, &here);
        m_flags &= ~kPaused;
    } else if (m_flags & kPlaying) {
        m_pSession->Pause();
        m_flags |= kPaused;
    }
    return 1;
}

int CMFSession::SkipForwardMs(std::int64_t ms) { return SeekRelative(ms * 10000); }
int CMFSession::SkipBackwardMs(std::int64_t ms) { return SeekRelative(-ms * 10000); }
int CMFSession::SeekToMs(std::int64_t ms) { return SeekTo(ms * 10000); }

int CMFSession::SeekRelative(std::int64_t delta) {
    if (!m_pClock) return 0;
    MFTIME now = 0;
    if (FAILED(m_pClock->GetTime(&now))) return 0;
    return SeekTo(now + delta);
}

std::int64_t CMFSession::ClampPosition(std::int64_t position, std::uint64_t duration) {
    if (position < 0) return 0;
    if (std::uint64_t(position) >= duration) return std::int64_t(duration);
    return position;
}

int CMFSession::SeekTo(std::int64_t position) {
    if (!m_pSession) return 1;
    if (!(m_flags & kOpen)) return 0;
    position = ClampPosition(position, m_duration);
    if (m_flags & kPaused) {
        // One request: the picture at the position shows and the clock never runs.
        m_pSession->StartPaused(position, nullptr);
        return 1;
    }
    const PROPVARIANT at = PositionVariant(position);
    m_pSession->Start(&GUID_NULL, &at);
    if (!(m_flags & kPlaying)) m_pSession->Stop();
    return 1;
}

int CMFSession::SetRate(double rate) {
    auto support = SessionService<IMFRateSupport>(m_pSession.Get(), MF_RATE_CONTROL_SERVICE);
    auto control = SessionService<IMFRateControl>(m_pSession.Get(), MF_RATE_CONTROL_SERVICE);
    if (!support || !control) return 0;
    if (FAILED(support->IsRateSupported(FALSE, float(rate), nullptr))) return 0;
    return SUCCEEDED(control->SetRate(FALSE, float(rate))) ? 1 : 0;
}

// ---- volume and balance ----------------------------------------------------------------

void CMFSession::ChannelLevels(float volume, float balance, UINT32 channels, float* levels) {
    for (UINT32 c = 0; c < channels; ++c) {
        float factor = 1.0f;
        if ((c & 1) && balance < 0.0f) factor = 1.0f + balance;    // right channels
        if (!(c & 1) && balance > 0.0f) factor = 1.0f - balance;   // left channels
        levels[c] = factor * volume;
    }
}

HRESULT CMFSession::ApplyLevels() {
    if (!m_pAudioVolume) return E_FAIL;
    UINT32 channels = 0;
    HRESULT hr = m_pAudioVolume->GetChannelCount(&channels);
    if (FAILED(hr)) return hr;
    std::vector<float> levels(channels);
    ChannelLevels(m_volume, m_balance, channels, levels.data());
    return m_pAudioVolume->SetAllVolumes(channels, levels.data());
}

int CMFSession::SetVolume(int value) {
    if (!(m_flags & kOpen) || !(m_flags & kHasAudio) || value < 0 || value > 1000) return 0;
    const float level = float(value) / 1000.0f;
    if (level == m_volume) return 1;
    m_volume = level;
    return SUCCEEDED(ApplyLevels()) ? 1 : 0;
}

int CMFSession::SetBalance(int value) {
    if (!(m_flags & kOpen) || !(m_flags & kHasAudio)) return 0;
    const float balance = float(std::clamp(value, -1000, 1000)) / 1000.0f;
    if (balance == m_balance) return 1;
    m_balance = balance;
    return SUCCEEDED(ApplyLevels()) ? 1 : 0;
}

// ---- video -----------------------------------------------------------------------------

int CMFSession::GetNativeVideoSize(int* width, int* height) {
    if (!m_pVideoDisplay || !width || !height) return 0;
    SIZE native{};
    if (FAILED(m_pVideoDisplay->GetNativeVideoSize(&native, nullptr))) return 0;
    *width = native.cx;
    *height = native.cy;
    return 1;
}

int CMFSession::SetVideoPosition(const POINT* point, const SIZE* size) {
    if (!(m_flags & kOpen) || !(m_flags & kHasVideo)) return 0;
    if (!m_pVideoDisplay) return 1;
    SIZE extent{};
    if (size) {
        extent = *size;
    } else if (FAILED(m_pVideoDisplay->GetNativeVideoSize(&extent, nullptr))) {
        return 0;
    }
    const POINT origin = point ? *point : POINT{0, 0};
    const RECT destination{origin.x, origin.y, origin.x + extent.cx, origin.y + extent.cy};
    m_pVideoDisplay->SetVideoPosition(nullptr, &destination);
    return 1;
}

int CMFSession::RepaintVideo() {
    if (!m_pVideoDisplay) return 0;
    return SUCCEEDED(m_pVideoDisplay->RepaintVideo()) ? 1 : 0;
}

// ---- events ----------------------------------------------------------------------------

HRESULT CMFSession::GetParameters(DWORD*, DWORD*) { return E_NOTIMPL; }

HRESULT CMFSession::Invoke(IMFAsyncResult* result) {
    ComPtr<IUnknown> state;
    ComPtr<IMFMediaSession> session;
    if (!result || FAILED(result->GetState(state.ReleaseAndGetAddressOf())) || FAILED(state.As(&session)))
        return E_FAIL;
    ComPtr<IMFMediaEvent> event;
    if (FAILED(session->EndGetEvent(result, event.ReleaseAndGetAddressOf()))) return S_OK;
    MediaEventType type = MEUnknown;
    event->GetType(&type);

    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_lock);
        // The answer of a session closed since: dropped, and no further request.
        if (session.Get() != m_pEventSession) return S_OK;
        generation = m_generation;
    }
    if (type != MESessionClosed) session->BeginGetEvent(this, session.Get());
    PostOwnedPayload(m_hwndVideo, WM_USER_PREVIEW_EVENT, std::make_shared<PostedEvent>(PostedEvent{generation, event}),
                     std::uintptr_t(this), TicketIn::LParam);
    return S_OK;
}

int CMFSession::HandleEvent(LPARAM eventTicket) {
    const auto posted = std::static_pointer_cast<PostedEvent>(TakePayload(PayloadTicket(eventTicket)));
    if (!posted || posted->generation != GetGeneration()) return 0;
    IMFMediaEvent* event = posted->event.Get();
    if (!m_pSession || !event) return 0;
    MediaEventType type = MEUnknown;
    HRESULT status = S_OK;
    HRESULT hr = event->GetType(&type);
    if (SUCCEEDED(hr)) hr = event->GetStatus(&status);
    if (FAILED(hr) || FAILED(status)) return 0;

    if (type == MESessionTopologyStatus) {
        UINT32 topoStatus = 0;
        hr = event->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &topoStatus);
        if (SUCCEEDED(hr) && topoStatus == MF_TOPOSTATUS_READY) {
            if (m_flags & kHasVideo) {
                m_pVideoDisplay = SessionService<IMFVideoDisplayControl>(m_pSession.Get(), MR_VIDEO_RENDER_SERVICE);
                if (!m_pVideoDisplay) hr = MF_E_UNSUPPORTED_SERVICE;
            }
            if (m_flags & kHasAudio) {
                m_pAudioVolume = SessionService<IMFAudioStreamVolume>(m_pSession.Get(), MR_STREAM_VOLUME_SERVICE);
                if (!m_pAudioVolume) hr = MF_E_UNSUPPORTED_SERVICE;
            }
        }
    } else if (type == MEEndOfPresentation) {
        if (m_flags & kLoop) {
            const PROPVARIANT start = PositionVariant(0);
            hr = m_pSession->Start(&GUID_NULL, &start);
        } else {
            m_flags &= ~(kPlaying | kPaused);
        }
    }
    return SUCCEEDED(hr) ? 1 : 0;
}

}  // namespace orv
