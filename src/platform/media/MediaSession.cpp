#include "platform/media/MediaSession.h"

#include <pthread.h>

#include <algorithm>
#include <cfloat>
#include <chrono>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/media/AsyncResult.h"
#include "platform/media/MediaSource.h"
#include "platform/media/RendererActivate.h"

namespace orv {

namespace {

constexpr float kSlowestRate = 0.25f;
constexpr float kFastestRate = 4.0f;
// How long a seek waits for a pause that follows it (the player moves a paused picture with a
// start at a position and a pause right after it).
constexpr auto kPauseAfterSeek = std::chrono::milliseconds(5);
// How long a seek waits for its first frame before the clock starts anyway.
constexpr auto kPrerollLimit = std::chrono::seconds(5);
// How long closing waits for the streaming threads before it lets a stuck one go.
constexpr auto kStreamingJoinLimit = std::chrono::seconds(2);
// How long Shutdown waits for the control thread.
constexpr auto kControlJoinLimit = std::chrono::seconds(4);

// Joins a thread that has ended by the deadline; lets go of one that has not (it keeps the
// session core alive until it returns), and of the calling thread itself.
void JoinOrLetGo(std::thread& thread, const bool& ended, std::mutex& mutex, std::condition_variable& wake,
                 std::chrono::steady_clock::time_point deadline) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
        return;
    }
    std::unique_lock lock(mutex);
    const bool done = wake.wait_until(lock, deadline, [&] { return ended; });
    lock.unlock();
    if (done) thread.join();
    else thread.detach();
}

}  // namespace

// ---- core -------------------------------------------------------------------------------

SessionCore::SessionCore() : clock_(AdoptRef(new PresentationClock)) {}

std::shared_ptr<SessionCore> SessionCore::Create() {
    std::shared_ptr<SessionCore> core(new SessionCore);
    core->control_ = std::thread([core] { core->RunControl(); });
    pthread_setname_np(core->control_.native_handle(), "orv-mf-control");
    core->eventThread_ = std::thread([core] { core->RunEvents(); });
    pthread_setname_np(core->eventThread_.native_handle(), "orv-mf-events");
    return core;
}

bool SessionCore::IsShutDown() {
    std::lock_guard lock(mutex_);
    return shutdown_;
}

HRESULT SessionCore::Queue(Command command) {
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return MF_E_SHUTDOWN;
        if (command.kind == Kind::Close) closing_ = true;
        if (command.kind == Kind::Start || command.kind == Kind::Stop) command.epoch = ++lastEpoch_;
        commands_.push_back(std::move(command));
    }
    commandWake_.notify_all();
    return S_OK;
}

void SessionCore::QueueEvent(MediaEventType type, HRESULT status, IUnknown* value) {
    PROPVARIANT v;
    if (value) {
        v.vt = VT_UNKNOWN;
        v.punkVal = value;
    }
    ComPtr<IMFMediaEvent> event;
    MFCreateMediaEvent(type, status, &v, event.ReleaseAndGetAddressOf());
    QueueEvent(std::move(event));
}

void SessionCore::QueueEvent(ComPtr<IMFMediaEvent> event) {
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return;
        events_.push_back(std::move(event));
    }
    eventWake_.notify_all();
}

HRESULT SessionCore::BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) {
    if (!callback) return E_POINTER;
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return MF_E_SHUTDOWN;
        if (callback_) return MF_E_MULTIPLE_BEGIN;
        callback_ = callback;
        callbackState_ = state;
    }
    eventWake_.notify_all();
    return S_OK;
}

void SessionCore::RunEvents() {
    std::unique_lock lock(mutex_);
    for (;;) {
        eventWake_.wait(lock, [this] { return shutdown_ || (callback_ && !events_.empty()); });
        if (shutdown_) break;
        ComPtr<IMFMediaEvent> event = std::move(events_.front());
        events_.pop_front();
        auto result = AdoptRef(new AsyncResult(event.Get(), callback_.Get(), callbackState_.Get()));
        callback_.Reset();
        callbackState_.Reset();
        lock.unlock();
        result->InvokeCallback();
        result.Reset();
        lock.lock();
    }
    // Whatever was not delivered goes now, outside the lock (releasing may run any code).
    auto events = std::move(events_);
    auto callback = std::move(callback_);
    auto state = std::move(callbackState_);
    lock.unlock();
    events.clear();
    callback.Reset();
    state.Reset();
    lock.lock();
    eventsEnded_ = true;
    endedWake_.notify_all();
}

HRESULT SessionCore::SetTopology(IMFTopology* topology) {
    if (!topology) return E_POINTER;
    Command c(Kind::SetTopology);
    c.topology = topology;
    return Queue(std::move(c));
}

HRESULT SessionCore::Start(bool hasPosition, LONGLONG position) {
    Command c(Kind::Start);
    c.hasPosition = hasPosition;
    c.position = position;
    return Queue(std::move(c));
}

HRESULT SessionCore::Pause() { return Queue(Command(Kind::Pause)); }

HRESULT SessionCore::StartPaused(LONGLONG position, UINT64* seek) {
    Command start(Kind::Start);
    start.hasPosition = true;
    start.position = position;
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return MF_E_SHUTDOWN;
        start.epoch = ++lastEpoch_;
        if (seek) *seek = start.epoch;
        // Both at once, so the control thread always finds the pause behind the start.
        commands_.push_back(std::move(start));
        commands_.push_back(Command(Kind::Pause));
    }
    commandWake_.notify_all();
    return S_OK;
}
HRESULT SessionCore::StartTogether(const std::shared_ptr<StartGate>& gate) {
    if (!gate) return E_POINTER;
    Command c(Kind::Start);
    c.gate = gate;
    c.rank = gate->Join();
    const HRESULT hr = Queue(std::move(c));
    if (FAILED(hr)) gate->Leave();
    return hr;
}

HRESULT SessionCore::Stop() { return Queue(Command(Kind::Stop)); }
HRESULT SessionCore::Close() { return Queue(Command(Kind::Close)); }

HRESULT SessionCore::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return MF_E_SHUTDOWN;
        shutdown_ = true;
        closing_ = true;
    }
    commandWake_.notify_all();
    eventWake_.notify_all();
    // The control thread tears the playback down before it ends (within the limits of its
    // own waits); the event thread ends once a callback it is running returns.
    const auto deadline = std::chrono::steady_clock::now() + kControlJoinLimit;
    JoinOrLetGo(control_, controlEnded_, mutex_, endedWake_, deadline);
    JoinOrLetGo(eventThread_, eventsEnded_, mutex_, endedWake_, deadline);
    return S_OK;
}

// ---- control thread ---------------------------------------------------------------------

void SessionCore::RunControl() {
    std::unique_lock lock(mutex_);
    for (;;) {
        commandWake_.wait(lock, [this] { return shutdown_ || !commands_.empty(); });
        if (shutdown_) break;
        Command c = std::move(commands_.front());
        commands_.pop_front();
        if (c.kind == Kind::Start && c.hasPosition && commands_.empty())
            commandWake_.wait_for(lock, kPauseAfterSeek, [this] { return shutdown_ || !commands_.empty(); });
        lock.unlock();
        switch (c.kind) {
        case Kind::SetTopology: DoSetTopology(c.topology.Get()); break;
        case Kind::Start: DoStart(c); break;
        case Kind::Pause: DoPause(); break;
        case Kind::Stop: DoStop(c); break;
        case Kind::SetRate: DoSetRate(c); break;
        case Kind::SinkEvent: DoSinkEvent(c); break;
        case Kind::Close:
            Teardown();
            state_ = State::Closed;
            QueueEvent(MESessionClosed, S_OK);
            break;
        }
        lock.lock();
    }
    auto dropped = std::move(commands_);
    lock.unlock();
    for (const Command& c : dropped)
        if (c.gate) c.gate->Leave();
    dropped.clear();
    Teardown();
    lock.lock();
    controlEnded_ = true;
    endedWake_.notify_all();
}

bool SessionCore::NextCommandIs(Kind kind) {
    std::lock_guard lock(mutex_);
    if (commands_.empty() || commands_.front().kind != kind) return false;
    commands_.pop_front();
    return true;
}

void SessionCore::Teardown() {
    ComPtr<VideoRenderer> video;
    ComPtr<AudioRenderer> audio;
    {
        std::lock_guard lock(mutex_);
        video = std::move(video_);
        audio = std::move(audio_);
    }
    if (pipeline_) pipeline_->Abort();
    if (video) {
        if (state_ == State::Started || state_ == State::Paused) video->ClockStop(clock_->Stop(0));
        video->Shutdown();
    }
    if (audio) audio->Shutdown();
    if (pipeline_) pipeline_->Join(std::chrono::steady_clock::now() + kStreamingJoinLimit);
    pipeline_.reset();
    clock_->Stop(0);
    if (state_ != State::Closed) state_ = State::Empty;
}

HRESULT SessionCore::Resolve(IMFTopology* topology, bool* hardware) {
    std::uint16_t count = 0;
    topology->GetNodeCount(&count);
    ComPtr<MediaSource> source;
    ComPtr<StreamDescriptor> videoStream, audioStream;
    ComPtr<RendererActivate> videoActivate;
    for (std::uint16_t i = 0; i < count; ++i) {
        ComPtr<IMFTopologyNode> node, output;
        topology->GetNode(i, node.ReleaseAndGetAddressOf());
        MF_TOPOLOGY_TYPE type;
        node->GetNodeType(&type);
        if (type != MF_TOPOLOGY_SOURCESTREAM_NODE) continue;
        ComPtr<IMFMediaSource> nodeSource;
        ComPtr<IMFStreamDescriptor> nodeStream;
        ComPtr<IUnknown> object;
        ComPtr<IMFActivate> activate;
        DWORD input = 0;
        if (FAILED(node->GetUnknown(MF_TOPONODE_SOURCE, IID_IMFMediaSource,
                                    reinterpret_cast<void**>(nodeSource.ReleaseAndGetAddressOf()))) ||
            FAILED(node->GetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, IID_IMFStreamDescriptor,
                                    reinterpret_cast<void**>(nodeStream.ReleaseAndGetAddressOf()))) ||
            FAILED(node->GetOutput(0, output.ReleaseAndGetAddressOf(), &input)) ||
            FAILED(output->GetObject(object.ReleaseAndGetAddressOf())) || FAILED(object.As(&activate)))
            return MF_E_TOPO_UNSUPPORTED;
        auto* s = dynamic_cast<MediaSource*>(nodeSource.Get());
        auto* sd = dynamic_cast<StreamDescriptor*>(nodeStream.Get());
        auto* ra = dynamic_cast<RendererActivate*>(activate.Get());
        if (!s || !sd || !ra || (source && source.Get() != s)) return MF_E_TOPO_UNSUPPORTED;
        source = s;
        const bool video = sd->MajorType() == MFMediaType_Video;
        const bool audio = sd->MajorType() == MFMediaType_Audio;
        if (video && ra->GetKind() == RendererActivate::Kind::Video && !videoStream) {
            videoStream = sd;
            videoActivate = ra;
        } else if (audio && ra->GetKind() == RendererActivate::Kind::Audio && !audioStream) {
            audioStream = sd;
        } else {
            return MF_E_TOPO_UNSUPPORTED;
        }
    }
    if (!source) return MF_E_TOPO_UNSUPPORTED;
    std::shared_ptr<Demuxer> demuxer = source->GetDemuxer();
    if (!demuxer) return MF_E_SHUTDOWN;
    // The pipeline gives the demuxer back when it goes; until then, a failure here does.
    if (!demuxer->Acquire()) return MF_E_INVALIDREQUEST;
    struct Lease {
        Demuxer* demuxer;
        bool handedOver = false;
        ~Lease() {
            if (!handedOver) demuxer->Release();
        }
    } lease{demuxer.get()};

    PlaybackPipeline::Config config;
    config.demuxer = demuxer;
    config.clock = clock_;
    std::weak_ptr<SessionCore> weak = weak_from_this();
    // The renderers' and the reader's events come from their threads and only queue.
    auto sinkHandler = [weak](bool fromVideo) {
        return [weak, fromVideo](long code, HRESULT status, std::uint64_t epoch) {
            if (auto core = weak.lock()) {
                Command c(Kind::SinkEvent);
                c.code = code;
                c.status = status;
                c.epoch = epoch;
                c.fromVideo = fromVideo;
                core->Queue(std::move(c));
            }
        };
    };
    config.onError = [weak](HRESULT status) {
        if (auto core = weak.lock()) core->QueueEvent(MEError, status);
    };
    HRESULT hr = S_OK;
    if (audioStream) {
        config.audioStream = int(audioStream->Id());
        hr = AudioDecoder::Open(demuxer->Format()->streams[config.audioStream], demuxer->StartTime(),
                                &config.audioDecoder);
        if (FAILED(hr)) return hr;
    }
    if (videoStream) {
        config.videoStream = int(videoStream->Id());
        UINT32 mode = MFTOPOLOGY_HWMODE_SOFTWARE_ONLY;
        topology->GetUINT32(MF_TOPOLOGY_HARDWARE_MODE, &mode);
        hr = VideoDecoder::Open(demuxer->Format()->streams[config.videoStream], mode == MFTOPOLOGY_HWMODE_USE_HARDWARE,
                                &config.videoDecoder);
        if (FAILED(hr)) return hr;
        *hardware = config.videoDecoder->Hardware();
        ComPtr<IMFMediaType> type;
        videoStream->GetCurrentMediaType(type.ReleaseAndGetAddressOf());
        hr = VideoRenderer::Create(type.Get(), videoActivate.Get(), clock_, sinkHandler(true), &config.video);
        if (FAILED(hr)) return hr;
    }
    if (audioStream)
        config.audio = AudioRenderer::Create(config.audioDecoder->SampleRate(), config.audioDecoder->Channels(), clock_,
                                             sinkHandler(false));
    {
        std::lock_guard lock(mutex_);
        video_ = config.video;
        audio_ = config.audio;
    }
    duration_ = demuxer->Duration();
    pipeline_ = PlaybackPipeline::Start(std::move(config));
    lease.handedOver = true;
    return S_OK;
}

void SessionCore::DoSetTopology(IMFTopology* topology) {
    Teardown();
    bool hardware = false;
    const HRESULT hr = Resolve(topology, &hardware);
    if (FAILED(hr)) {
        Teardown();
        QueueEvent(MESessionTopologySet, hr, topology);
        return;
    }
    clock_->Stop(0);
    state_ = State::Stopped;
    epoch_ = 0;
    QueueEvent(MESessionTopologySet, S_OK, topology);
    ComPtr<IMFMediaEvent> ready;
    PROPVARIANT v;
    v.vt = VT_UNKNOWN;
    v.punkVal = topology;
    MFCreateMediaEvent(MESessionTopologyStatus, S_OK, &v, ready.ReleaseAndGetAddressOf());
    ready->SetUINT32(MF_EVENT_TOPOLOGY_STATUS, MF_TOPOSTATUS_READY);
    ready->SetUINT32(MF_EVENT_VIDEO_HARDWARE_DECODING, hardware ? 1 : 0);
    QueueEvent(std::move(ready));
}

void SessionCore::DoStart(const Command& command) {
    ComPtr<VideoRenderer> video;
    ComPtr<AudioRenderer> audio;
    {
        std::lock_guard lock(mutex_);
        video = video_;
        audio = audio_;
    }
    if (!pipeline_ || state_ == State::Closed || state_ == State::Empty) {
        if (command.gate) command.gate->Leave();
        QueueEvent(MESessionStarted, MF_E_INVALIDREQUEST);
        return;
    }
    if (!command.hasPosition && state_ == State::Paused) {
        // Paused after a seek, the first picture is there: the control thread carries out the
        // seek before this start.
        LONGLONG here = 0;
        MFTIME now = 0;
        clock_->GetCorrelatedTime(0, &here, &now);
        const MFTIME system = StartClock(command, here);
        if (video) video->ClockRestart(system);
        if (audio) audio->ClockChanged();
        state_ = State::Started;
        QueueEvent(MESessionStarted, S_OK);
        CheckEnded();
        return;
    }
    if (!command.hasPosition && state_ == State::Started) {
        if (command.gate) command.gate->Leave();
        QueueEvent(MESessionStarted, S_OK);
        return;
    }

    // A seek, or a start from the beginning. One followed at once by a pause (how a paused
    // picture is moved) pauses first, so that the presenter shows the first frame as a paused
    // picture the moment it arrives, and then starts and pauses the clock in one step, so that
    // the clock never runs past the frame asked for.
    const bool thenPause = NextCommandIs(Kind::Pause);
    if (thenPause && command.gate) command.gate->Leave();  // paused again before it starts
    if (thenPause && state_ == State::Started) {
        const MFTIME system = clock_->Pause();
        if (video) video->ClockPause(system);
        state_ = State::Paused;
    }
    const LONGLONG position = command.hasPosition ? std::max<LONGLONG>(0, command.position) : 0;
    const std::uint64_t epoch = epoch_ = command.epoch;
    videoDone_ = !video;
    audioDone_ = !audio;
    clock_->Hold(position);
    if (video) {
        video->Flush(epoch);
        video->Preroll();
    }
    if (audio) {
        audio->Flush(epoch);
        audio->ClockChanged();
    }
    pipeline_->Seek(position, epoch);
    if (video) {
        const auto deadline = std::chrono::steady_clock::now() + kPrerollLimit;
        while (!video->Prerolled(epoch) && std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex_);
                if (closing_) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    const MFTIME system = thenPause ? MFGetSystemTime() : StartClock(command, position);
    if (video) video->ClockStart(system, position, thenPause);
    if (audio) audio->ClockChanged();
    state_ = thenPause ? State::Paused : State::Started;
    QueueEvent(MESessionStarted, S_OK);
    if (thenPause) QueueEvent(MESessionPaused, S_OK);
    CheckEnded();
}

MFTIME SessionCore::StartClock(const Command& command, LONGLONG position) {
    if (!command.gate) return clock_->Start(position);
    const StartGate::Moment moment = command.gate->Arrive(command.rank, position, [this] {
        std::lock_guard lock(mutex_);
        return closing_;
    });
    return clock_->StartAt(moment.system, moment.position);
}

void SessionCore::DoPause() {
    if (state_ == State::Started) {
        const MFTIME system = clock_->Pause();
        ComPtr<VideoRenderer> video;
        ComPtr<AudioRenderer> audio;
        {
            std::lock_guard lock(mutex_);
            video = video_;
            audio = audio_;
        }
        if (video) video->ClockPause(system);
        if (audio) audio->ClockChanged();
        state_ = State::Paused;
    }
    QueueEvent(MESessionPaused, state_ == State::Paused ? S_OK : MF_E_INVALIDREQUEST);
}

void SessionCore::DoStop(const Command& command) {
    if (state_ == State::Started || state_ == State::Paused) {
        ComPtr<VideoRenderer> video;
        ComPtr<AudioRenderer> audio;
        {
            std::lock_guard lock(mutex_);
            video = video_;
            audio = audio_;
        }
        const MFTIME system = clock_->Stop(0);
        const std::uint64_t epoch = epoch_ = command.epoch;
        if (pipeline_) pipeline_->Halt();
        if (video) {
            video->ClockStop(system);
            video->Flush(epoch);
        }
        if (audio) {
            audio->Flush(epoch);
            audio->ClockChanged();
        }
        state_ = State::Stopped;
    }
    QueueEvent(MESessionStopped, state_ == State::Stopped ? S_OK : MF_E_INVALIDREQUEST);
}

void SessionCore::DoSetRate(const Command& command) {
    const MFTIME system =
        command.moment ? clock_->SetRateAt(command.moment->Take(), command.rate) : clock_->SetRate(command.rate);
    ComPtr<VideoRenderer> video;
    ComPtr<AudioRenderer> audio;
    {
        std::lock_guard lock(mutex_);
        video = video_;
        audio = audio_;
    }
    if (video) video->ClockSetRate(system, command.rate);
    if (audio) audio->ClockChanged();
    if (pipeline_) pipeline_->SetThinning(command.thin);
    ComPtr<IMFMediaEvent> event;
    PROPVARIANT v;
    v.vt = VT_R8;
    v.dblVal = command.rate;
    MFCreateMediaEvent(MESessionRateChanged, S_OK, &v, event.ReleaseAndGetAddressOf());
    QueueEvent(std::move(event));
}

void SessionCore::DoSinkEvent(const Command& command) {
    if (command.code == EC_ERRORABORT) {
        QueueEvent(MEError, command.status);
        return;
    }
    if (command.epoch != epoch_) return;  // from before a seek
    (command.fromVideo ? videoDone_ : audioDone_) = true;
    CheckEnded();
}

void SessionCore::CheckEnded() {
    if (state_ != State::Started || !videoDone_ || !audioDone_) return;
    LONGLONG now = 0;
    MFTIME system = 0;
    clock_->GetCorrelatedTime(0, &now, &system);
    // The clock stands where the presentation ended; a start from here begins at 0 again.
    system = clock_->Stop(duration_ > 0 ? std::min(now, duration_) : now);
    ComPtr<VideoRenderer> video;
    ComPtr<AudioRenderer> audio;
    {
        std::lock_guard lock(mutex_);
        video = video_;
        audio = audio_;
    }
    if (pipeline_) pipeline_->Halt();
    if (video) video->ClockStop(system);
    if (audio) audio->ClockChanged();
    state_ = State::Stopped;
    QueueEvent(MEEndOfPresentation, S_OK);
    QueueEvent(MESessionEnded, S_OK);
}

// ---- rates ------------------------------------------------------------------------------

float SessionCore::FastestRate(BOOL thin) {
    float fastest = kFastestRate;
    ComPtr<VideoRenderer> video;
    {
        std::lock_guard lock(mutex_);
        video = video_;
    }
    if (video) {
        float presenter = 0.0f;
        if (auto support = video->PresenterRateSupport();
            support && SUCCEEDED(support->GetFastestRate(MFRATE_FORWARD, thin, &presenter)) && presenter > 0.0f)
            fastest = std::min(fastest, presenter);
    }
    return fastest;
}

HRESULT SessionCore::IsRateSupported(BOOL thin, float rate, float* nearest) {
    const float fastest = FastestRate(thin);
    if (rate < 0.0f) {
        if (nearest) *nearest = kSlowestRate;
        return MF_E_REVERSE_UNSUPPORTED;
    }
    if (rate >= kSlowestRate && rate <= fastest) {
        if (nearest) *nearest = rate;
        return S_OK;
    }
    if (nearest) *nearest = std::clamp(rate, kSlowestRate, fastest);
    return MF_E_UNSUPPORTED_RATE;
}

HRESULT SessionCore::SetRate(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment) {
    HRESULT hr = IsRateSupported(thin, rate, nullptr);
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(mutex_);
        if (shutdown_) return MF_E_SHUTDOWN;
        rate_ = rate;
        thin_ = thin;
    }
    Command c(Kind::SetRate);
    c.rate = rate;
    c.thin = thin;
    c.moment = moment;
    return Queue(std::move(c));
}

void SessionCore::GetRate(BOOL* thin, float* rate) {
    std::lock_guard lock(mutex_);
    if (thin) *thin = thin_;
    if (rate) *rate = rate_;
}

// ---- services ---------------------------------------------------------------------------

namespace {

class SessionRateControl final : public ComObject<IMFRateControl, IMFRateSupport> {
public:
    explicit SessionRateControl(std::shared_ptr<SessionCore> core) : core_(std::move(core)) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFRateControl, IMFRateSupport>(this, iid, object);
    }
    HRESULT SetRate(BOOL thin, float rate) override { return core_->SetRate(thin, rate); }
    HRESULT GetRate(BOOL* thin, float* rate) override {
        if (!rate) return E_POINTER;
        core_->GetRate(thin, rate);
        return S_OK;
    }
    HRESULT GetSlowestRate(MFRATE_DIRECTION direction, BOOL, float* rate) override {
        if (!rate) return E_POINTER;
        if (direction == MFRATE_REVERSE) return MF_E_REVERSE_UNSUPPORTED;
        *rate = kSlowestRate;
        return S_OK;
    }
    HRESULT GetFastestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) override {
        if (!rate) return E_POINTER;
        if (direction == MFRATE_REVERSE) return MF_E_REVERSE_UNSUPPORTED;
        *rate = core_->FastestRate(thin);
        return S_OK;
    }
    HRESULT IsRateSupported(BOOL thin, float rate, float* nearest) override {
        return core_->IsRateSupported(thin, rate, nearest);
    }

private:
    const std::shared_ptr<SessionCore> core_;
};

}  // namespace

HRESULT SessionCore::GetService(const GUID& service, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsShutDown()) return MF_E_SHUTDOWN;
    if (service == MF_RATE_CONTROL_SERVICE) {
        if (!(iid == IID_IMFRateControl || iid == IID_IMFRateSupport)) return MF_E_UNSUPPORTED_SERVICE;
        auto control = AdoptRef(new SessionRateControl(shared_from_this()));
        return control->QueryInterface(iid, object);
    }
    ComPtr<VideoRenderer> video;
    ComPtr<AudioRenderer> audio;
    {
        std::lock_guard lock(mutex_);
        video = video_;
        audio = audio_;
    }
    if (service == MR_VIDEO_RENDER_SERVICE || service == MR_VIDEO_MIXER_SERVICE)
        return video ? video->GetService(service, iid, object) : MF_E_UNSUPPORTED_SERVICE;
    if (service == MR_STREAM_VOLUME_SERVICE) {
        if (!audio || !(iid == IID_IMFAudioStreamVolume)) return MF_E_UNSUPPORTED_SERVICE;
        return audio->QueryInterface(iid, object);
    }
    return MF_E_UNSUPPORTED_SERVICE;
}

// ---- the session object -----------------------------------------------------------------

namespace {

class MediaSession final : public ComObject<IMFMediaSession, IMFGetService> {
public:
    MediaSession() : core_(SessionCore::Create()) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFMediaSession, IMFGetService>(this, iid, object);
    }
    HRESULT BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override {
        return core_->BeginGetEvent(callback, state);
    }
    HRESULT EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override {
        if (!result || !event) return E_POINTER;
        *event = nullptr;
        ComPtr<IUnknown> object;
        HRESULT hr = result->GetObject(object.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return E_INVALIDARG;
        return object->QueryInterface(IID_IMFMediaEvent, reinterpret_cast<void**>(event));
    }
    HRESULT SetTopology(DWORD, IMFTopology* topology) override { return core_->SetTopology(topology); }
    HRESULT ClearTopologies() override { return core_->IsShutDown() ? MF_E_SHUTDOWN : S_OK; }
    HRESULT Start(const GUID* timeFormat, const PROPVARIANT* position) override {
        if (timeFormat && !(*timeFormat == GUID_NULL)) return MF_E_UNSUPPORTED_TIME_FORMAT;
        if (position && position->vt != VT_EMPTY && position->vt != VT_I8) return E_INVALIDARG;
        const bool has = position && position->vt == VT_I8;
        return core_->Start(has, has ? position->hVal : 0);
    }
    HRESULT Pause() override { return core_->Pause(); }
    HRESULT StartPaused(LONGLONG position, UINT64* seek) override { return core_->StartPaused(position, seek); }
    HRESULT StartTogether(const std::shared_ptr<StartGate>& gate) override { return core_->StartTogether(gate); }
    HRESULT SetRateTogether(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment) override {
        return core_->SetRate(thin, rate, moment);
    }
    HRESULT Stop() override { return core_->Stop(); }
    HRESULT Close() override { return core_->Close(); }
    HRESULT Shutdown() override { return core_->Shutdown(); }
    HRESULT GetClock(IMFClock** clock) override {
        if (!clock) return E_POINTER;
        *clock = nullptr;
        if (core_->IsShutDown()) return MF_E_SHUTDOWN;
        return core_->Clock()->QueryInterface(IID_IMFClock, reinterpret_cast<void**>(clock));
    }
    HRESULT GetService(const GUID& service, const IID& iid, void** object) override {
        return core_->GetService(service, iid, object);
    }

private:
    ~MediaSession() override { core_->Shutdown(); }

    const std::shared_ptr<SessionCore> core_;
};

}  // namespace

HRESULT MFCreateMediaSession(IMFAttributes*, IMFMediaSession** session) {
    if (!session) return E_POINTER;
    *session = new MediaSession;
    return S_OK;
}

HRESULT MFStartup() { return S_OK; }
HRESULT MFShutdown() { return S_OK; }

}  // namespace orv
