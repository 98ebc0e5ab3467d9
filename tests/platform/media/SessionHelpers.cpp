#include "SessionHelpers.h"

#include <atomic>
#include <cmath>

#include "StripeMovie.h"
#include "fixtures/WaitUntil.h"

namespace orv::mediatest {

HRESULT EventRecorder::Invoke(IMFAsyncResult* result) {
    ComPtr<IMFMediaEvent> event;
    HRESULT hr = session_->EndGetEvent(result, event.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    MediaEventType type = MEUnknown;
    event->GetType(&type);
    if (type != MESessionClosed) session_->BeginGetEvent(this, nullptr);
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        threads_.push_back(std::this_thread::get_id());
    }
    cv_.notify_all();
    return S_OK;
}

ComPtr<IMFMediaEvent> EventRecorder::WaitFor(MediaEventType type, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ComPtr<IMFMediaEvent> found;
    cv_.wait_for(lock, timeout, [&] {
        for (; cursor_ < events_.size(); ++cursor_) {
            MediaEventType t = MEUnknown;
            events_[cursor_]->GetType(&t);
            if (t == type) {
                found = events_[cursor_++];
                return true;
            }
        }
        return false;
    });
    return found;
}

bool EventRecorder::Seen(MediaEventType type) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = cursor_; i < events_.size(); ++i) {
        MediaEventType t = MEUnknown;
        events_[i]->GetType(&t);
        if (t == type) return true;
    }
    return false;
}

std::vector<MediaEventType> EventRecorder::Types() {
    std::lock_guard lock(mutex_);
    std::vector<MediaEventType> types;
    for (auto& e : events_) {
        MediaEventType t = MEUnknown;
        e->GetType(&t);
        types.push_back(t);
    }
    return types;
}

bool EventRecorder::AllOnOneThread() {
    std::lock_guard lock(mutex_);
    for (auto& t : threads_)
        if (t != threads_.front()) return false;
    return true;
}

// A registered window, as a presenter may want a live one.
FrameRecorder::FrameRecorder() : window_(RegisterAppWindow([](unsigned, WPARAM, LPARAM) {})) {
    SetVideoFrameSink(window_, [this](const QImage& frame, const RECT&) {
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(Shown{ReadStripeNumber(frame), std::chrono::steady_clock::now(), frame});
        }
        cv_.notify_all();
    });
}

FrameRecorder::~FrameRecorder() {
    SetVideoFrameSink(window_, nullptr);
    UnregisterAppWindow(window_);
}

std::vector<FrameRecorder::Shown> FrameRecorder::Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

int FrameRecorder::LastNumber() {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? -1 : frames_.back().number;
}

bool FrameRecorder::WaitForNumber(int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        for (auto& f : frames_)
            if (f.number == number) return true;
        return false;
    });
}

bool FrameRecorder::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

void FrameRecorder::Clear() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

HRESULT SetPlayerTopology(Player& player, const OpenOptions& options) {
    ComPtr<IMFPresentationDescriptor> pd;
    HRESULT hr = player.source->CreatePresentationDescriptor(pd.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    ComPtr<IMFTopology> topology;
    MFCreateTopology(topology.ReleaseAndGetAddressOf());
    if (options.hardware) topology->SetUINT32(MF_TOPOLOGY_HARDWARE_MODE, MFTOPOLOGY_HWMODE_USE_HARDWARE);
    DWORD count = 0;
    pd->GetStreamDescriptorCount(&count);
    player.hasAudio = false;
    for (DWORD i = 0; i < count; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> sd;
        pd->GetStreamDescriptorByIndex(i, &selected, sd.ReleaseAndGetAddressOf());
        if (!selected) continue;
        ComPtr<IMFMediaTypeHandler> handler;
        sd->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
        GUID major;
        handler->GetMajorType(&major);
        ComPtr<IMFActivate> activate;
        if (major == MFMediaType_Audio) {
            if (!options.audio) continue;
            MFCreateAudioRendererActivate(activate.ReleaseAndGetAddressOf());
            player.hasAudio = true;
        } else if (major == MFMediaType_Video) {
            MFCreateVideoRendererActivate(options.window, activate.ReleaseAndGetAddressOf());
            if (options.presenter) activate->SetUnknown(MF_ACTIVATE_CUSTOM_VIDEO_PRESENTER_ACTIVATE, options.presenter);
        } else {
            return E_FAIL;
        }
        ComPtr<IMFTopologyNode> sourceNode, outputNode;
        MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, sourceNode.ReleaseAndGetAddressOf());
        sourceNode->SetUnknown(MF_TOPONODE_SOURCE, player.source.Get());
        sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, pd.Get());
        sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, sd.Get());
        MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, outputNode.ReleaseAndGetAddressOf());
        outputNode->SetObject(activate.Get());
        outputNode->SetUINT32(MF_TOPONODE_STREAMID, 0);
        outputNode->SetUINT32(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE, FALSE);
        topology->AddNode(sourceNode.Get());
        topology->AddNode(outputNode.Get());
        sourceNode->ConnectOutput(0, outputNode.Get(), 0);
    }
    return player.session->SetTopology(0, topology.Get());
}

HRESULT OpenPlayer(const std::string& path, const OpenOptions& options, Player* player) {
    MFCreateMediaSession(nullptr, player->session.ReleaseAndGetAddressOf());
    player->events = AdoptRef(new EventRecorder(player->session.Get()));
    player->session->BeginGetEvent(player->events.Get(), nullptr);
    HRESULT hr = MFCreateSourceFromURL(path, player->source.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    return SetPlayerTopology(*player, options);
}

bool ClosePlayer(Player& player, std::chrono::milliseconds wait) {
    bool closed = true;
    if (player.session) {
        if (SUCCEEDED(player.session->Close())) closed = bool(player.events->WaitFor(MESessionClosed, wait));
        if (player.source) player.source->Shutdown();
        player.session->Shutdown();
    }
    player.session.Reset();
    player.source.Reset();
    player.events.Reset();
    return closed;
}

HRESULT StartAt(IMFMediaSession* session, LONGLONG position) {
    PROPVARIANT v;
    v.vt = VT_I8;
    v.hVal = position;
    return session->Start(&GUID_NULL, &v);
}

HRESULT StartHere(IMFMediaSession* session) {
    PROPVARIANT v;
    return session->Start(&GUID_NULL, &v);
}

ComPtr<IMFClock> SessionClock(IMFMediaSession* session) {
    ComPtr<IMFClock> clock;
    session->GetClock(clock.ReleaseAndGetAddressOf());
    return clock;
}

bool ClockRunsAtRate(IMFClock* clock, float rate, std::chrono::milliseconds timeout) {
    if (!clock) return false;
    const auto until = std::chrono::steady_clock::now() + timeout;
    do {
        LONGLONG c0 = 0, c1 = 0;
        MFTIME s0 = 0, s1 = 0;
        if (FAILED(clock->GetCorrelatedTime(0, &c0, &s0))) return false;
        std::this_thread::sleep_for(100ms);
        if (FAILED(clock->GetCorrelatedTime(0, &c1, &s1))) return false;
        // Each reading rounds to the nearest 100 ns.
        if (s1 > s0 && std::fabs(double(c1 - c0) - double(rate) * double(s1 - s0)) <= 2.0) return true;
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

bool WaitForClockState(IMFClock* clock, MFCLOCK_STATE state, std::chrono::milliseconds timeout) {
    if (!clock) return false;
    return fixtures::WaitUntil(
        [&] {
            MFCLOCK_STATE now = MFCLOCK_STATE_INVALID;
            return SUCCEEDED(clock->GetState(0, &now)) && now == state;
        },
        timeout);
}

LONGLONG ClockTime(IMFMediaSession* session) {
    ComPtr<IMFClock> clock;
    ComPtr<IMFPresentationClock> presentation;
    MFTIME t = -1;
    if (SUCCEEDED(session->GetClock(clock.ReleaseAndGetAddressOf())) && SUCCEEDED(clock.As(&presentation)))
        presentation->GetTime(&t);
    return t;
}

}  // namespace orv::mediatest
