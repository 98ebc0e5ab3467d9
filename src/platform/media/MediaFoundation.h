// The media session: a movie source, a playback topology, and a session that plays it with a
// presentation clock, an audio renderer and a video renderer, reporting what happens as
// events. Include this header for the whole layer.
//
// Playing a movie:
//   MFCreateMediaSession, BeginGetEvent(callback); MFCreateSourceFromURL; build a topology
//   with MFCreateTopology and MFCreateTopologyNode: one source-stream node per selected stream
//   of the source's presentation descriptor, connected to an output node whose object is
//   MFCreateAudioRendererActivate or MFCreateVideoRendererActivate; SetTopology. The session
//   answers with MESessionTopologySet (status: whether the topology can be played; a stream
//   without a decoder fails it) and, on success, MESessionTopologyStatus with
//   MF_EVENT_TOPOLOGY_STATUS = MF_TOPOSTATUS_READY. Then Start, Pause, Stop, the rate control
//   and the services below; MEEndOfPresentation and MESessionEnded once every stream has
//   been shown to its end. Close ends with MESessionClosed; Shutdown releases everything.
//
// Events are delivered one at a time on the session's own event thread: each
// BeginGetEvent asks for one event, whose Invoke calls EndGetEvent to take it.
// The control calls (Start, Pause, Stop, Close, SetTopology, rate changes) only queue a
// command and return at once; the session's control thread carries them out in order.
#pragma once

#include <memory>
#include <string>

#include "platform/base/AppMessage.h"
#include "platform/media/ComBase.h"
#include "platform/media/MediaErrors.h"
#include "platform/media/MediaObjects.h"
#include "platform/media/PresenterContract.h"
#include "platform/media/StartGate.h"

namespace orv {

// ---- source -----------------------------------------------------------------------------

// Video streams: MF_MT_SUBTYPE, MF_MT_FRAME_SIZE, MF_MT_FRAME_RATE (average),
// MF_MT_REAL_FRAME_RATE, MF_MT_PIXEL_ASPECT_RATIO, MF_MT_INTERLACE_MODE, MF_MT_YUV_MATRIX and
// MF_MT_VIDEO_NOMINAL_RANGE (Unknown when the movie does not tag them), MF_MT_COMPRESSED.
// Audio streams: MF_MT_SUBTYPE, MF_MT_AUDIO_SAMPLES_PER_SECOND, MF_MT_AUDIO_NUM_CHANNELS.
struct IMFMediaTypeHandler : IUnknown {
    static constexpr IID kIid = MakeGuid("31d15c35-c077-4399-a790-398ccb0d9ef8");
    virtual HRESULT GetMajorType(GUID* majorType) = 0;
    virtual HRESULT GetCurrentMediaType(IMFMediaType** type) = 0;
};
inline constexpr IID IID_IMFMediaTypeHandler = IMFMediaTypeHandler::kIid;

struct IMFStreamDescriptor : IMFAttributes {
    static constexpr IID kIid = MakeGuid("cf660e23-87a6-4f99-b069-ddddf315f2c8");
    virtual HRESULT GetStreamIdentifier(DWORD* id) = 0;  // the stream's index in the file
    virtual HRESULT GetMediaTypeHandler(IMFMediaTypeHandler** handler) = 0;
};
inline constexpr IID IID_IMFStreamDescriptor = IMFStreamDescriptor::kIid;

// Every stream of the file in file order. Selected at first: the first video stream and the
// first audio stream that have a known codec; streams the engine does not render (timecode,
// data, subtitles, further video or audio) are deselected.
struct IMFPresentationDescriptor : IMFAttributes {
    static constexpr IID kIid = MakeGuid("2dfe0046-0190-4fdf-bf0e-34375bc1deb7");
    virtual HRESULT GetStreamDescriptorCount(DWORD* count) = 0;
    virtual HRESULT GetStreamDescriptorByIndex(DWORD index, BOOL* selected,
                                               IMFStreamDescriptor** descriptor) = 0;
    virtual HRESULT SelectStream(DWORD index) = 0;
    virtual HRESULT DeselectStream(DWORD index) = 0;
};
inline constexpr IID IID_IMFPresentationDescriptor = IMFPresentationDescriptor::kIid;

// UINT64, 100 ns: the length of the presentation.
inline constexpr GUID MF_PD_DURATION = MakeGuid("6b1e3b8a-c4c2-42cd-914c-c5241ace02d4");

struct IMFMediaSource : IUnknown {
    static constexpr IID kIid = MakeGuid("dbefe5ea-a960-458c-b8fa-27f70e6a9da7");
    // A new copy each time (its selection is the caller's).
    virtual HRESULT CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) = 0;
    // Closes the file; later calls give MF_E_SHUTDOWN.
    virtual HRESULT Shutdown() = 0;
};
inline constexpr IID IID_IMFMediaSource = IMFMediaSource::kIid;

// Opens a movie file (stands in for the source resolver). E_FILE_NOT_FOUND when the file
// cannot be opened, MF_E_UNSUPPORTED_BYTESTREAM_TYPE when it is not a movie the demuxer
// knows, MF_E_INVALID_FILE_FORMAT when it has no audio or video stream.
HRESULT MFCreateSourceFromURL(const std::string& path, IMFMediaSource** source);

// ---- topology ---------------------------------------------------------------------------

// The session puts the decoders in itself: a branch is a source-stream node whose output 0
// goes to an output node.
enum MF_TOPOLOGY_TYPE {
    MF_TOPOLOGY_OUTPUT_NODE = 0,
    MF_TOPOLOGY_SOURCESTREAM_NODE = 1,
};

struct IMFTopologyNode : IMFAttributes {
    static constexpr IID kIid = MakeGuid("bc9ec71f-b51e-4e6f-91ed-580379c2f6ef");
    virtual HRESULT SetObject(IUnknown* object) = 0;
    virtual HRESULT GetObject(IUnknown** object) = 0;  // MF_E_NOT_INITIALIZED when none is set
    virtual HRESULT GetNodeType(MF_TOPOLOGY_TYPE* type) = 0;
    virtual HRESULT ConnectOutput(DWORD outputIndex, IMFTopologyNode* downstream, DWORD inputIndex) = 0;
    virtual HRESULT GetOutput(DWORD outputIndex, IMFTopologyNode** downstream, DWORD* inputIndex) = 0;
};
inline constexpr IID IID_IMFTopologyNode = IMFTopologyNode::kIid;

struct IMFTopology : IMFAttributes {
    static constexpr IID kIid = MakeGuid("b0e1a577-32dd-4816-8c10-0650acd495b6");
    virtual HRESULT AddNode(IMFTopologyNode* node) = 0;
    virtual HRESULT GetNodeCount(std::uint16_t* count) = 0;
    virtual HRESULT GetNode(std::uint16_t index, IMFTopologyNode** node) = 0;
    virtual HRESULT Clear() = 0;
};
inline constexpr IID IID_IMFTopology = IMFTopology::kIid;

// Source-stream node attributes (IUnknown values) and output node attributes (UINT32).
inline constexpr GUID MF_TOPONODE_SOURCE = MakeGuid("4239e302-41bc-4a24-91f4-c56d8e522018");
inline constexpr GUID MF_TOPONODE_PRESENTATION_DESCRIPTOR = MakeGuid("bc360149-4564-4c78-be10-cd5feb4f8ef9");
inline constexpr GUID MF_TOPONODE_STREAM_DESCRIPTOR = MakeGuid("8b2f529e-5f0e-4079-948d-cf05b4b2956e");
inline constexpr GUID MF_TOPONODE_STREAMID = MakeGuid("c7c0adb5-0207-4f9a-9bab-1c7eea73824a");
inline constexpr GUID MF_TOPONODE_NOSHUTDOWN_ON_REMOVE = MakeGuid("477882a7-152c-42e5-97de-f463a812d860");

// Topology attribute (UINT32): 1 asks for hardware decoding of the video (VA-API) where the
// machine has it; the session falls back to software decoding otherwise.
inline constexpr GUID MF_TOPOLOGY_HARDWARE_MODE = MakeGuid("6ec086e2-8dde-4033-99f8-53b06a57d5e4");
enum : UINT32 { MFTOPOLOGY_HWMODE_SOFTWARE_ONLY = 0, MFTOPOLOGY_HWMODE_USE_HARDWARE = 1 };

HRESULT MFCreateTopology(IMFTopology** topology);
HRESULT MFCreateTopologyNode(MF_TOPOLOGY_TYPE type, IMFTopologyNode** node);

// ---- renderers --------------------------------------------------------------------------

// Makes an object on demand (a renderer, a presenter). Its attributes configure what it makes.
struct IMFActivate : IMFAttributes {
    static constexpr IID kIid = MakeGuid("ace6957c-ac92-4d69-a4a3-7180c68fddc7");
    virtual HRESULT ActivateObject(const IID& iid, void** object) = 0;
    virtual HRESULT ShutdownObject() = 0;
    virtual HRESULT DetachObject() = 0;
};
inline constexpr IID IID_IMFActivate = IMFActivate::kIid;

// On a video renderer activate: an IMFActivate that makes the presenter (IUnknown value).
inline constexpr GUID MF_ACTIVATE_CUSTOM_VIDEO_PRESENTER_ACTIVATE = MakeGuid("876bb907-74f8-46cf-9e08-27ef57a8f5ca");
// On a video renderer activate: the window (UINT64) given to the presenter.
inline constexpr GUID MF_ACTIVATE_VIDEO_WINDOW = MakeGuid("bac6a4da-3ecf-462f-afc5-b73844c16381");

// The audio renderer plays through the default sound device (Qt Multimedia) or, when there is
// none, a silent renderer that consumes the sound in time. Audio is silent at rates other
// than 1.0.
HRESULT MFCreateAudioRendererActivate(IMFActivate** activate);
// window may be 0 (a renderer that presents nowhere, for tests and measurements).
HRESULT MFCreateVideoRendererActivate(HWND window, IMFActivate** activate);

// ---- session ----------------------------------------------------------------------------

// The session's clock: IMFClock plus the presentation time.
struct IMFPresentationClock : IMFClock {
    static constexpr IID kIid = MakeGuid("f909890c-5c2d-4988-aeb5-9197df849a4f");
    // 100 ns from the start of the presentation. A stopped session reads 0, an ended one the
    // time at which it ended.
    virtual HRESULT GetTime(MFTIME* time) = 0;
};
inline constexpr IID IID_IMFPresentationClock = IMFPresentationClock::kIid;

// MF_RATE_CONTROL_SERVICE of the session. Rates from 0.25 to 4.0 forward; thinning lets the
// video drop frames it cannot show in time. A rate change is carried out in order with the
// other control calls and reported by MESessionRateChanged.
inline constexpr GUID MF_RATE_CONTROL_SERVICE = MakeGuid("fdf47299-79fd-4f74-9e8a-ec10a85a1906");

struct IMFRateControl : IUnknown {
    static constexpr IID kIid = MakeGuid("9da39431-7476-4f5f-8a46-647c4a6939da");
    // MF_E_UNSUPPORTED_RATE for a rate outside what the session and its presenter support.
    virtual HRESULT SetRate(BOOL thin, float rate) = 0;
    virtual HRESULT GetRate(BOOL* thin, float* rate) = 0;
};
inline constexpr IID IID_IMFRateControl = IMFRateControl::kIid;

// MR_STREAM_VOLUME_SERVICE of the session; only when the topology has an audio branch.
inline constexpr GUID MR_STREAM_VOLUME_SERVICE = MakeGuid("90e04829-8ea4-4e76-b937-21a4848cb820");

// Per-channel levels 0..1 of the audio renderer's output (at most two channels: mono movies
// play as mono, others as stereo). E_INVALIDARG for a level or channel out of range.
struct IMFAudioStreamVolume : IUnknown {
    static constexpr IID kIid = MakeGuid("37d1c36a-2c49-46d1-b3b0-2aeebd9d4614");
    virtual HRESULT GetChannelCount(UINT32* count) = 0;
    virtual HRESULT SetChannelVolume(UINT32 index, float level) = 0;
    virtual HRESULT GetChannelVolume(UINT32 index, float* level) = 0;
    virtual HRESULT SetAllVolumes(UINT32 count, const float* levels) = 0;
    virtual HRESULT GetAllVolumes(UINT32 count, float* levels) = 0;
};
inline constexpr IID IID_IMFAudioStreamVolume = IMFAudioStreamVolume::kIid;

// MESessionTopologyStatus: UINT32 status.
inline constexpr GUID MF_EVENT_TOPOLOGY_STATUS = MakeGuid("f3b763a6-366a-46a2-8ed5-e289227ada23");
enum MF_TOPOSTATUS : UINT32 {
    MF_TOPOSTATUS_INVALID = 0,
    MF_TOPOSTATUS_READY = 100,
    MF_TOPOSTATUS_STARTED_SOURCE = 200,
    MF_TOPOSTATUS_ENDED = 400,
};
// Stream descriptor: UINT64, the presentation time (100 ns) from which the stream's samples
// lie beyond the end of the file (a file cut short); absent when every sample is there.
inline constexpr GUID MF_SD_SAMPLES_END = MakeGuid("b9d343b8-6ac8-4ddf-87d4-e35ed6c613d1");

// MESessionTopologyStatus READY: UINT32, 1 when the video is decoded in hardware.
inline constexpr GUID MF_EVENT_VIDEO_HARDWARE_DECODING = MakeGuid("a0738ea0-4e6f-41df-ae51-52de7cd7054f");

// The session also answers, through IMFGetService (MFGetService):
//   MF_RATE_CONTROL_SERVICE  IMFRateControl, IMFRateSupport
//   MR_VIDEO_RENDER_SERVICE  whatever the presenter answers (IMFVideoDisplayControl ...)
//   MR_VIDEO_MIXER_SERVICE   IMFVideoMixerBitmap, IMFVideoMixerControl
//   MR_STREAM_VOLUME_SERVICE IMFAudioStreamVolume
// The renderer services exist from MF_TOPOSTATUS_READY until the session closes.
struct IMFMediaSession : IUnknown {
    static constexpr IID kIid = MakeGuid("175fe9d4-ce37-45d5-a472-1b86548bb548");
    // MF_E_MULTIPLE_BEGIN while a request is pending.
    virtual HRESULT BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) = 0;
    virtual HRESULT EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) = 0;
    virtual HRESULT SetTopology(DWORD flags, IMFTopology* topology) = 0;
    virtual HRESULT ClearTopologies() = 0;
    // position: VT_EMPTY goes on from where a paused session is (a stopped session starts
    // at 0); VT_I8 seeks to that time (100 ns). timeFormat must be null or GUID_NULL.
    virtual HRESULT Start(const GUID* timeFormat, const PROPVARIANT* position) = 0;
    virtual HRESULT Pause() = 0;
    // Start at `position` and Pause, queued as one request: the picture at that time is
    // shown and the clock never runs, however long the caller is delayed between the two.
    // *seek (when given): the seek's number, which its pictures carry as MF_SAMPLE_SEEK;
    // every later seek of the session has a larger one.
    virtual HRESULT StartPaused(LONGLONG position, UINT64* seek) = 0;
    // Start as with an empty position, together with the other sessions of the gate: the
    // clock starts once this session and the others have their first picture (StartGate.h).
    virtual HRESULT StartTogether(const std::shared_ptr<StartGate>& gate) = 0;
    // As the rate control's SetRate, the clock taking the new rate as of the moment shared
    // with the other sessions (StartGate.h).
    virtual HRESULT SetRateTogether(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Close() = 0;
    // Stops every thread of the session (waiting a bounded time for each) and releases the
    // topology; every later call gives MF_E_SHUTDOWN.
    virtual HRESULT Shutdown() = 0;
    virtual HRESULT GetClock(IMFClock** clock) = 0;
};
inline constexpr IID IID_IMFMediaSession = IMFMediaSession::kIid;

HRESULT MFCreateMediaSession(IMFAttributes* configuration, IMFMediaSession** session);

// Kept for the callers' start-up and shut-down order; the layer needs no global set-up.
HRESULT MFStartup();
HRESULT MFShutdown();

}  // namespace orv
