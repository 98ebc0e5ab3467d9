// The media session end to end, on movies whose pictures carry their frame numbers: what the
// window is shown (through the renderer's own presenter) and what a presenter of the contract
// receives (through the probe presenter).
#include <cmath>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "ProbePresenter.h"
#include "SessionHelpers.h"
#include "StalledPipe.h"
#include "fixtures/MovieMaker.h"

namespace orv::mediatest {
namespace {

constexpr double kFps = 30.0;

StripeMovieSpec Plain() { return {}; }  // 320 x 240, 30 per second, 60 frames, key frame every 12

StripeMovieSpec WithAudio() {
    StripeMovieSpec s;
    s.audio = true;
    return s;
}

// A frame's time as the channel computes it: frame x interval (ms) x 10000 in single precision.
LONGLONG ChannelFrameTime(int frame) {
    const float interval = 1000.0f / 30.0f;
    return LONGLONG(float(frame) * interval * 10000.0f);
}

HRESULT StatusOf(const ComPtr<IMFMediaEvent>& e) {
    HRESULT hr = E_UNEXPECTED;
    if (e) e->GetStatus(&hr);
    return hr;
}

// Opens the movie and waits until the topology is ready.
void OpenReady(const std::string& path, const OpenOptions& options, Player* p) {
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(OpenPlayer(path, options, p), S_OK);
    ASSERT_EQ(StatusOf(p->events->WaitFor(MESessionTopologySet)), S_OK);
    auto ready = p->events->WaitFor(MESessionTopologyStatus);
    ASSERT_TRUE(ready);
    UINT32 status = 0;
    ready->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &status);
    ASSERT_EQ(status, UINT32(MF_TOPOSTATUS_READY));
}

// Seeks to the time and pauses there in one request, as the channel's seek does.
void SeekPaused(Player& p, LONGLONG time) {
    ASSERT_EQ(p.session->StartPaused(time, nullptr), S_OK);
    ASSERT_EQ(StatusOf(p.events->WaitFor(MESessionPaused)), S_OK);
}

TEST(MediaSession, PlaysEveryFrameInOrderAndEndsAfterTheLast) {
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(Plain()), {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionStarted)), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation, 20s));
    // By the time the end is reported, the last frame is on screen.
    const auto shown = frames.Frames();
    ASSERT_EQ(shown.size(), 60u);
    for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].number, int(i));
    EXPECT_TRUE(p.events->WaitFor(MESessionEnded));
    // The clock stands at the end, and every event came on the session's one event thread.
    EXPECT_GT(ClockTime(p.session.Get()), FrameTime(58, kFps));
    EXPECT_TRUE(p.events->AllOnOneThread());
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, ReadyTopologyOffersTheRendererServices) {
    Player p;
    OpenReady(StripeMoviePath(Plain()), {}, &p);
    auto display = Service<IMFVideoDisplayControl>(p.session.Get(), MR_VIDEO_RENDER_SERVICE);
    ASSERT_TRUE(display);
    SIZE size{}, ratio{};
    EXPECT_EQ(display->GetNativeVideoSize(&size, &ratio), S_OK);
    EXPECT_EQ(size, (SIZE{320, 240}));
    EXPECT_EQ(ratio, (SIZE{4, 3}));
    EXPECT_TRUE(Service<IMFVideoMixerBitmap>(p.session.Get(), MR_VIDEO_MIXER_SERVICE));
    EXPECT_TRUE(Service<IMFVideoMixerControl>(p.session.Get(), MR_VIDEO_MIXER_SERVICE));
    EXPECT_TRUE(Service<IMFRateControl>(p.session.Get(), MF_RATE_CONTROL_SERVICE));
    EXPECT_TRUE(Service<IMFRateSupport>(p.session.Get(), MF_RATE_CONTROL_SERVICE));
    // A movie without sound has no stream volume (the player's volume then gives E_POINTER).
    ComPtr<IMFAudioStreamVolume> volume;
    EXPECT_EQ(MFGetService(p.session.Get(), MR_STREAM_VOLUME_SERVICE, IID_IMFAudioStreamVolume,
                           reinterpret_cast<void**>(volume.ReleaseAndGetAddressOf())),
              MF_E_UNSUPPORTED_SERVICE);
    EXPECT_TRUE(ClosePlayer(p));
    // Once closed, the renderer services are gone.
    EXPECT_FALSE(Service<IMFVideoDisplayControl>(p.session.Get(), MR_VIDEO_RENDER_SERVICE));
}

TEST(MediaSession, SoundHasAStreamVolumePerChannel) {
    Player p;
    OpenReady(StripeMoviePath(WithAudio()), {}, &p);
    ASSERT_TRUE(p.hasAudio);
    auto volume = Service<IMFAudioStreamVolume>(p.session.Get(), MR_STREAM_VOLUME_SERVICE);
    ASSERT_TRUE(volume);
    UINT32 channels = 0;
    EXPECT_EQ(volume->GetChannelCount(&channels), S_OK);
    EXPECT_EQ(channels, 1u);  // the tone is mono
    EXPECT_EQ(volume->SetChannelVolume(0, 0.25f), S_OK);
    float level = 0;
    EXPECT_EQ(volume->GetChannelVolume(0, &level), S_OK);
    EXPECT_FLOAT_EQ(level, 0.25f);
    EXPECT_EQ(volume->SetChannelVolume(0, 1.5f), E_INVALIDARG);
    EXPECT_EQ(volume->SetChannelVolume(1, 0.5f), E_INVALIDARG);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, SeekWhilePausedShowsExactlyThatFrame) {
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(Plain()), {frames.Window()}, &p);
    // Key frames at 0, 12, 24 ...; the frames just before a key frame are shown before it
    // is decoded, so they need the key frame before that one.
    for (int f : {0, 1, 11, 12, 13, 23, 35, 47, 58, 59, 5}) {
        frames.Clear();
        SeekPaused(p, ChannelFrameTime(f));
        ASSERT_TRUE(frames.WaitForNumber(f)) << "frame " << f;
        std::this_thread::sleep_for(100ms);
        const auto shown = frames.Frames();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().number, f) << "frame " << f;
        EXPECT_NEAR(double(ClockTime(p.session.Get())), double(ChannelFrameTime(f)), 10.0) << "frame " << f;
    }
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, PausedSeekLetsExactlyOneFrameThroughToThePresenter) {
    auto probe = AdoptRef(new ProbeActivate);
    Player p;
    OpenReady(StripeMoviePath(Plain()), {0, probe.Get()}, &p);
    auto presenter = probe->Presenter();
    ASSERT_TRUE(presenter);
    for (int f : {30, 11, 59, 24}) {
        presenter->ClearPulled();
        SeekPaused(p, FrameTime(f, kFps));
        ASSERT_TRUE(presenter->WaitPulled(1));
        std::this_thread::sleep_for(150ms);
        const auto pulled = presenter->PulledFrames();
        ASSERT_EQ(pulled.size(), 1u) << "frame " << f;
        EXPECT_EQ(pulled[0].number, f);
        EXPECT_NEAR(double(pulled[0].time), double(FrameTime(f, kFps)), 1.0);
        EXPECT_NEAR(double(pulled[0].duration), 333333.0, 1.0);
    }
    // Going on from the paused frame lets the following frames through, in order.
    presenter->ClearPulled();
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(presenter->WaitPulled(3));
    const auto pulled = presenter->PulledFrames();
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(pulled[i].number, 25 + int(i));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, SeekBeyondTheEndShowsTheLastFrame) {
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(Plain()), {frames.Window()}, &p);
    SeekPaused(p, FrameTime(75, kFps));
    EXPECT_TRUE(frames.WaitForNumber(59));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, PauseHoldsTheClockAndThePictureAndPlayGoesOn) {
    StripeMovieSpec params;
    params.frames = 150;
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(params), {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(10));
    ASSERT_EQ(p.session->Pause(), S_OK);
    ASSERT_EQ(StatusOf(p.events->WaitFor(MESessionPaused)), S_OK);
    const LONGLONG held = ClockTime(p.session.Get());
    const int picture = frames.LastNumber();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ClockTime(p.session.Get()), held);
    // The picture stands too. A presenter kept from the processor may show the frame that was
    // due at the pause after the pause was reported, but none after it; the picture is the
    // one for the clock's time.
    const int standing = frames.LastNumber();
    EXPECT_GE(standing, picture);
    EXPECT_LE(standing, picture + 1);
    EXPECT_LE(std::abs(standing - int(held * kFps / 1e7)), 1);

    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(picture + 10));
    EXPECT_GT(ClockTime(p.session.Get()), held);
    const auto shown = frames.Frames();
    for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_GE(shown[i].number, shown[i - 1].number);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, StopResetsTheClockAndPlayStartsAgainFromTheBeginning) {
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(Plain()), {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(15));
    ASSERT_EQ(p.session->Stop(), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionStopped)), S_OK);
    EXPECT_EQ(ClockTime(p.session.Get()), 0);
    frames.Clear();
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForCount(1));
    EXPECT_EQ(frames.Frames().front().number, 0);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, PlayAfterTheEndStartsFromTheBeginning) {
    StripeMovieSpec params;
    params.frames = 15;
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(params), {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation));
    frames.Clear();
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation));
    const auto shown = frames.Frames();
    ASSERT_EQ(shown.size(), 15u);
    EXPECT_EQ(shown.front().number, 0);
    EXPECT_EQ(shown.back().number, 14);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, RatesAdvanceTheClockAtThatRate) {
    StripeMovieSpec params;
    params.width = 160;
    params.height = 120;
    params.frames = 900;  // 30 seconds: long enough for rate 4 without reaching the end
    params.gop = 30;
    params.audio = true;
    Player p;
    OpenReady(StripeMoviePath(params), {}, &p);
    auto rates = Service<IMFRateControl>(p.session.Get(), MF_RATE_CONTROL_SERVICE);
    ASSERT_TRUE(rates);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MESessionStarted));
    for (float rate : {0.25f, 0.5f, 2.0f, 4.0f, 1.0f}) {
        ASSERT_EQ(rates->SetRate(rate > 2.0f, rate), S_OK);
        auto changed = p.events->WaitFor(MESessionRateChanged);
        ASSERT_TRUE(changed);
        BOOL thin = FALSE;
        float now = 0;
        EXPECT_EQ(rates->GetRate(&thin, &now), S_OK);
        EXPECT_EQ(now, rate);
        EXPECT_TRUE(ClockRunsAtRate(SessionClock(p.session.Get()).Get(), rate)) << "rate " << rate;
    }
    float nearest = 0;
    auto support = Service<IMFRateSupport>(p.session.Get(), MF_RATE_CONTROL_SERVICE);
    EXPECT_EQ(support->IsRateSupported(FALSE, 8.0f, &nearest), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(nearest, 4.0f);
    EXPECT_EQ(support->IsRateSupported(FALSE, 0.0f, &nearest), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(nearest, 0.25f);
    EXPECT_EQ(rates->SetRate(FALSE, -1.0f), MF_E_REVERSE_UNSUPPORTED);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, RateLimitsOfThePresenterApplyWithoutThinning) {
    auto probe = AdoptRef(new ProbeActivate(2.0f));  // a 30 per second movie on a 60 Hz display
    Player p;
    OpenReady(StripeMoviePath(Plain()), {0, probe.Get()}, &p);
    auto rates = Service<IMFRateControl>(p.session.Get(), MF_RATE_CONTROL_SERVICE);
    ASSERT_TRUE(rates);
    EXPECT_EQ(rates->SetRate(FALSE, 4.0f), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(rates->SetRate(FALSE, 2.0f), S_OK);
    EXPECT_EQ(rates->SetRate(TRUE, 4.0f), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MESessionRateChanged));
    ASSERT_TRUE(p.events->WaitFor(MESessionRateChanged));
    EXPECT_TRUE(probe->Presenter()->WaitLogged("RATE 4.000000"));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, PresenterReceivesTheContractInOrder) {
    auto probe = AdoptRef(new ProbeActivate);
    Player p;
    OpenReady(StripeMoviePath(Plain()), {0, probe.Get()}, &p);
    auto presenter = probe->Presenter();
    ASSERT_TRUE(presenter);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation));
    ASSERT_TRUE(presenter->WaitLogged("ENDSTREAMING"));
    EXPECT_EQ(presenter->Log(), (std::vector<std::string>{"INIT", "INVALIDATEMEDIATYPE", "FLUSH", "BEGINSTREAMING",
                                                         "START 0", "ENDOFSTREAM", "STOP", "ENDSTREAMING"}));
    const auto pulled = presenter->PulledFrames();
    ASSERT_EQ(pulled.size(), 60u);
    for (std::size_t i = 0; i < pulled.size(); ++i) {
        EXPECT_EQ(pulled[i].number, int(i));
        EXPECT_NEAR(double(pulled[i].time), double(FrameTime(int(i), kFps)), 1.0);
    }
    EXPECT_TRUE(ClosePlayer(p));
    EXPECT_EQ(presenter->Log().back(), "RELEASE");
    EXPECT_EQ(probe->Activations(), 1);
    EXPECT_EQ(probe->Shutdowns(), 1);
}

TEST(MediaSession, StreamsTheEngineDoesNotRenderAreLeftOut) {
    for (bool timecode : {true, false}) {
        StripeMovieSpec params;
        params.frames = 20;
        params.timecode = timecode;
        params.subtitle = !timecode;
        const std::string path = StripeMoviePath(params);
        ASSERT_FALSE(path.empty());
        ComPtr<IMFMediaSource> source;
        ASSERT_EQ(MFCreateSourceFromURL(path, source.ReleaseAndGetAddressOf()), S_OK);
        ComPtr<IMFPresentationDescriptor> pd;
        ASSERT_EQ(source->CreatePresentationDescriptor(pd.ReleaseAndGetAddressOf()), S_OK);
        DWORD count = 0;
        pd->GetStreamDescriptorCount(&count);
        ASSERT_EQ(count, 2u);
        BOOL selected = TRUE;
        ComPtr<IMFStreamDescriptor> sd;
        ComPtr<IMFMediaTypeHandler> handler;
        GUID major;
        pd->GetStreamDescriptorByIndex(1, &selected, sd.ReleaseAndGetAddressOf());
        sd->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
        handler->GetMajorType(&major);
        EXPECT_FALSE(selected);
        EXPECT_TRUE(major == (timecode ? MFMediaType_Binary : MFMediaType_Subtitle));
        source->Shutdown();

        FrameRecorder frames;
        Player p;
        OpenReady(path, {frames.Window()}, &p);
        ASSERT_EQ(StartHere(p.session.Get()), S_OK);
        EXPECT_TRUE(p.events->WaitFor(MEEndOfPresentation));
        EXPECT_EQ(frames.LastNumber(), 19);
        EXPECT_TRUE(ClosePlayer(p));
    }
}

TEST(MediaSession, SoundThatCannotBeDecodedFailsTheTopologyAndPlaysWithoutIt) {
    const std::string path = TempPath("spoiled-audio.mp4");
    ASSERT_TRUE(SpoilCodec(StripeMoviePath(WithAudio()), path, "mp4a", "esds"));
    FrameRecorder frames;
    Player p;
    ASSERT_EQ(OpenPlayer(path, {frames.Window()}, &p), S_OK);
    ASSERT_TRUE(p.hasAudio);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionTopologySet)), MF_E_TOPO_CODEC_NOT_FOUND);
    EXPECT_FALSE(p.events->Seen(MESessionTopologyStatus));
    // The player's one rebuild, without the sound.
    ASSERT_EQ(SetPlayerTopology(p, {frames.Window(), nullptr, false}), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionTopologySet)), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MESessionTopologyStatus));
    EXPECT_FALSE(Service<IMFAudioStreamVolume>(p.session.Get(), MR_STREAM_VOLUME_SERVICE));
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    EXPECT_TRUE(p.events->WaitFor(MEEndOfPresentation));
    EXPECT_EQ(frames.LastNumber(), 59);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, MoviesOfTheFixturesPlayWithSound) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
    fixtures::MovieSpec params;
    params.seconds = 1.0;
    const std::string path = TempPath("fixture.mp4");
    std::string error;
    ASSERT_TRUE(fixtures::MakeMovie(params, path, &error)) << error;
    FrameRecorder frames;
    Player p;
    OpenReady(path, {frames.Window()}, &p);
    EXPECT_TRUE(p.hasAudio);
    const auto w0 = std::chrono::steady_clock::now();
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation));
    // The silent renderer (no sound device here) ends the sound on time, not at once.
    EXPECT_GT(std::chrono::steady_clock::now() - w0, 600ms);
    EXPECT_EQ(frames.Frames().size(), 30u);
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, HardwareDecodingFallsBackToSoftware) {
    FrameRecorder frames;
    Player p;
    ASSERT_EQ(OpenPlayer(StripeMoviePath(Plain()), {frames.Window(), nullptr, true, true}, &p), S_OK);
    ASSERT_EQ(StatusOf(p.events->WaitFor(MESessionTopologySet)), S_OK);
    auto ready = p.events->WaitFor(MESessionTopologyStatus);
    ASSERT_TRUE(ready);
    UINT32 hardware = 2;
    EXPECT_EQ(ready->GetUINT32(MF_EVENT_VIDEO_HARDWARE_DECODING, &hardware), S_OK);
    if (access("/dev/dri", F_OK) != 0) {
        EXPECT_EQ(hardware, 0u);  // no GPU here: decoded in software
    }
    SeekPaused(p, FrameTime(37, kFps));
    EXPECT_TRUE(frames.WaitForNumber(37));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, CloseReturnsWithinTheBoundWhenReadingHangs) {
    // A pipe that delivers the first part of a movie and then nothing more, without ending.
    StripeMovieSpec params;
    params.frames = 300;
    const std::string movie = StripeMoviePath(params);
    ASSERT_FALSE(movie.empty());
    const std::string fifo = TempPath("stalled.fifo");
    StalledPipe pipe(movie, fifo);
    ASSERT_TRUE(pipe.Ok());
    FrameRecorder frames;
    Player p;
    OpenReady(fifo, {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(5));
    pipe.WaitFed();
    std::this_thread::sleep_for(200ms);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(ClosePlayer(p));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

TEST(MediaSession, ASecondTopologyForTheSameSourceReplacesTheFirst) {
    StripeMovieSpec params = WithAudio();
    params.frames = 300;  // more than the reader holds in its buffer
    FrameRecorder frames;
    Player p;
    OpenReady(StripeMoviePath(params), {frames.Window()}, &p);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(3));
    ASSERT_EQ(SetPlayerTopology(p, {frames.Window(), nullptr, false}), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionTopologySet)), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MESessionTopologyStatus));
    EXPECT_FALSE(Service<IMFAudioStreamVolume>(p.session.Get(), MR_STREAM_VOLUME_SERVICE));
    SeekPaused(p, FrameTime(290, kFps));
    EXPECT_TRUE(frames.WaitForNumber(290));
    EXPECT_FALSE(p.events->Seen(MEError));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(MediaSession, ControlCallsInTheWrongStateAreReported) {
    Player p;
    MFCreateMediaSession(nullptr, p.session.ReleaseAndGetAddressOf());
    p.events = AdoptRef(new EventRecorder(p.session.Get()));
    ASSERT_EQ(p.session->BeginGetEvent(p.events.Get(), nullptr), S_OK);
    EXPECT_EQ(p.session->BeginGetEvent(p.events.Get(), nullptr), MF_E_MULTIPLE_BEGIN);
    // Nothing to play yet.
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionStarted)), MF_E_INVALIDREQUEST);
    ASSERT_EQ(p.session->Pause(), S_OK);
    EXPECT_EQ(StatusOf(p.events->WaitFor(MESessionPaused)), MF_E_INVALIDREQUEST);
    const GUID other = MFMediaType_Audio;
    EXPECT_EQ(p.session->Start(&other, nullptr), MF_E_UNSUPPORTED_TIME_FORMAT);
    EXPECT_TRUE(ClosePlayer(p));
    ComPtr<IMFMediaSession> session;
    MFCreateMediaSession(nullptr, session.ReleaseAndGetAddressOf());
    EXPECT_EQ(session->Shutdown(), S_OK);
    EXPECT_EQ(StartHere(session.Get()), MF_E_SHUTDOWN);
    EXPECT_EQ(session->Close(), MF_E_SHUTDOWN);
    ComPtr<IMFClock> clock;
    EXPECT_EQ(session->GetClock(clock.ReleaseAndGetAddressOf()), MF_E_SHUTDOWN);
}

TEST(MediaSession, SourceDescribesTheMovie) {
    ComPtr<IMFMediaSource> source;
    ASSERT_EQ(MFCreateSourceFromURL(StripeMoviePath(WithAudio()), source.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IMFPresentationDescriptor> pd;
    ASSERT_EQ(source->CreatePresentationDescriptor(pd.ReleaseAndGetAddressOf()), S_OK);
    UINT64 duration = 0;
    EXPECT_EQ(pd->GetUINT64(MF_PD_DURATION, &duration), S_OK);
    EXPECT_NEAR(double(duration), 2e7, 5e5);
    DWORD count = 0;
    pd->GetStreamDescriptorCount(&count);
    ASSERT_EQ(count, 2u);
    for (DWORD i = 0; i < count; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> sd;
        ComPtr<IMFMediaTypeHandler> handler;
        ComPtr<IMFMediaType> type;
        pd->GetStreamDescriptorByIndex(i, &selected, sd.ReleaseAndGetAddressOf());
        EXPECT_TRUE(selected);
        sd->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
        handler->GetCurrentMediaType(type.ReleaseAndGetAddressOf());
        GUID major, subtype;
        type->GetMajorType(&major);
        type->GetGUID(MF_MT_SUBTYPE, &subtype);
        UINT32 a = 0, b = 0;
        if (major == MFMediaType_Video) {
            EXPECT_TRUE(subtype == MFVideoFormat_H264);
            MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &a, &b);
            EXPECT_EQ(a, 320u);
            EXPECT_EQ(b, 240u);
            MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &a, &b);
            EXPECT_DOUBLE_EQ(double(a) / b, 30.0);
            MFGetAttributeRatio(type.Get(), MF_MT_REAL_FRAME_RATE, &a, &b);
            EXPECT_DOUBLE_EQ(double(a) / b, 30.0);
            type->GetUINT32(MF_MT_YUV_MATRIX, &a);
            EXPECT_EQ(a, UINT32(MFVideoTransferMatrix_BT709));
            type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &a);
            EXPECT_EQ(a, UINT32(MFNominalRange_16_235));
        } else {
            EXPECT_TRUE(major == MFMediaType_Audio);
            EXPECT_TRUE(subtype == MFAudioFormat_AAC);
            type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &a);
            EXPECT_EQ(a, 48000u);
            type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &a);
            EXPECT_EQ(a, 1u);
        }
    }
    EXPECT_EQ(source->Shutdown(), S_OK);
    EXPECT_EQ(source->CreatePresentationDescriptor(pd.ReleaseAndGetAddressOf()), MF_E_SHUTDOWN);
}

TEST(MediaSession, FilesThatAreNotMoviesAreRefused) {
    ComPtr<IMFMediaSource> source;
    EXPECT_EQ(MFCreateSourceFromURL(TempPath("missing.mp4"), source.ReleaseAndGetAddressOf()), E_FILE_NOT_FOUND);
    const std::string text = TempPath("text.mp4");
    std::ofstream(text) << "this is not a movie, only some text that looks like nothing at all\n";
    EXPECT_EQ(MFCreateSourceFromURL(text, source.ReleaseAndGetAddressOf()), MF_E_UNSUPPORTED_BYTESTREAM_TYPE);
    // The first part of a movie whose index sits at its end: no index, no movie.
    StripeMovieSpec params;
    params.moovFirst = false;
    const std::string bytes = ReadAll(StripeMoviePath(params));
    const std::string cut = TempPath("cut.mp4");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    EXPECT_FALSE(SUCCEEDED(MFCreateSourceFromURL(cut, source.ReleaseAndGetAddressOf())));
}

}  // namespace
}  // namespace orv::mediatest
