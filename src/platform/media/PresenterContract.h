// The contract between the video renderer of the media session and a video presenter.
//
// The video renderer owns a mixer (IMFTransform) that turns decoded frames into 32-bit
// pictures, and a presenter that pulls those pictures into samples of its own and shows each
// one at its time. A custom presenter is made through the IMFActivate stored on the video
// renderer's activate under MF_ACTIVATE_CUSTOM_VIDEO_PRESENTER_ACTIVATE; without one the
// renderer uses its own presenter.
//
// What the presenter receives, in order (control thread unless said otherwise):
//  Topology set:  ActivateObject(IID_IMFVideoPresenter) on the activate;
//                 InitServicePointers with a lookup that answers, for MF_SERVICE_LOOKUP_GLOBAL
//                 and index 0:  MR_VIDEO_RENDER_SERVICE + IID_IMFClock       the session clock
//                               MR_VIDEO_MIXER_SERVICE  + IID_IMFTransform   the mixer
//                               MR_VIDEO_RENDER_SERVICE + IID_IMediaEventSink the renderer
//                 (a failure fails the topology); SetVideoWindow with the renderer's window
//                 when one was given and the presenter answers IMFVideoDisplayControl (its
//                 result is not checked); MFVP_MESSAGE_INVALIDATEMEDIATYPE, whose failure
//                 fails the topology. Only then is the topology reported ready.
//  Start at a position (and every start of a stopped session, at 0):
//                 FLUSH; BEGINSTREAMING when the presenter is not streaming; the first frame
//                 at the position (PROCESSINPUTNOTIFY, streaming thread) while the clock still
//                 stands; then OnClockStart(position) and the following frames.
//  Start at a position followed at once by Pause (moving a paused picture):
//                 OnClockPause first when the clock ran; FLUSH; BEGINSTREAMING when needed;
//                 the one frame at the position arrives while the presenter is paused or
//                 stopped; then OnClockStart(position) and OnClockPause together. The clock
//                 never runs in between, and no further frame reaches the mixer until the
//                 clock runs again.
//  Pause:         OnClockPause; no more frames reach the mixer (those it holds stay).
//  Go on:         OnClockRestart; frames flow again.
//  Stop:          OnClockStop, ENDSTREAMING, FLUSH.
//  Rate:          OnClockSetRate (never 0; 0.25 .. 4.0).
//  End of stream: ENDOFSTREAM (streaming thread) once the last frame went into the mixer
//                 (it may still be there). The presenter answers EC_COMPLETE once that frame
//                 has been shown; when every stream is complete the session sends
//                 OnClockStop and ENDSTREAMING and reports the end of the presentation. An
//                 EC_COMPLETE before ENDOFSTREAM of the current seek is ignored.
//  Close:         OnClockStop (when the clock ran or was paused), ENDSTREAMING (when
//                 streaming), ReleaseServicePointers, then ShutdownObject on the activate.
// Seeks: every FLUSH that begins a new stretch of frames (a start at a position, a start of a
// stopped session, a stop) carries the seek's number as its parameter, larger than any before
// it in the session; every picture the mixer renders names, as MF_SAMPLE_SEEK, the seek its
// frame belongs to. A presenter that pulls while a flush goes on tells by it a picture of the
// new seek (to be shown) from one of an earlier seek (to be dropped).
// PROCESSINPUTNOTIFY comes each time the mixer takes a frame. The presenter then calls
// IMFTransform::ProcessOutput with one of its samples: the mixer renders its oldest frame into
// the sample's surface and sets the sample's time and duration (100 ns, presentation time),
// or answers MF_E_TRANSFORM_NEED_MORE_INPUT when it holds none. While the clock is paused or
// stopped the mixer takes one frame after a flush and no more, so a presenter that shows the
// frame it pulls while paused shows exactly the frame a seek asked for.
// MFVP_MESSAGE_STEP and CANCELSTEP are never sent by the session.
//
// Threads and locks: the renderer holds no lock of its own while it calls the presenter, and
// the mixer, the clock and the event sink never call back into the presenter, so the presenter
// may call them under its own lock. IMediaEventSink::Notify only queues; it never blocks.
// EC_ERRORABORT becomes an MEError session event; EC_DISPLAY_CHANGED, EC_PROCESSING_LATENCY,
// EC_SCRUB_TIME and EC_STEP_COMPLETE are accepted and need nothing of the session.
#pragma once

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/media/ComBase.h"
#include "platform/media/MediaObjects.h"

namespace orv {

inline constexpr GUID MR_VIDEO_RENDER_SERVICE = MakeGuid("d59617c6-066b-4940-9b94-83b7de761af2");
inline constexpr GUID MR_VIDEO_MIXER_SERVICE = MakeGuid("89b0773b-d51b-49dc-8e01-a9855302002b");

// The device the mixer renders for: the memory surfaces of this layer (IVideoSurface). A
// presenter reports it from IMFVideoDeviceID and checks that the mixer reports the same.
inline constexpr IID IID_IDirect3DDevice9 = MakeGuid("3219a677-d295-41e5-b3ba-5eff3a3c7d69");

// Mixer attribute: the part of the frame that the mixer renders, as a 16-byte blob of an
// MFVideoNormalizedRect.
inline constexpr GUID VIDEO_ZOOM_RECT = MakeGuid("63e84625-391e-4ad4-aecc-9be1d9331b75");

// ---- clock ------------------------------------------------------------------------------

enum MFCLOCK_STATE {
    MFCLOCK_STATE_INVALID = 0,
    MFCLOCK_STATE_RUNNING = 1,
    MFCLOCK_STATE_STOPPED = 2,
    MFCLOCK_STATE_PAUSED = 3,
};

struct IMFClock : IUnknown {
    static constexpr IID kIid = MakeGuid("c7fad59f-43de-484e-bcfc-975e81ad7406");
    // The clock's time (100 ns, presentation time) and the system time (MFGetSystemTime) at
    // which it was read. A stopped or paused clock keeps its time.
    virtual HRESULT GetCorrelatedTime(DWORD reserved, LONGLONG* clockTime, MFTIME* systemTime) = 0;
    virtual HRESULT GetState(DWORD reserved, MFCLOCK_STATE* state) = 0;
};
inline constexpr IID IID_IMFClock = IMFClock::kIid;

inline constexpr LONGLONG PRESENTATION_CURRENT_POSITION = 0x7FFFFFFFFFFFFFFFLL;

struct IMFClockStateSink : IUnknown {
    static constexpr IID kIid = MakeGuid("0caee196-7423-418c-8e58-089d797878ea");
    virtual HRESULT OnClockStart(MFTIME systemTime, LONGLONG clockStartOffset) = 0;
    virtual HRESULT OnClockStop(MFTIME systemTime) = 0;
    virtual HRESULT OnClockPause(MFTIME systemTime) = 0;
    virtual HRESULT OnClockRestart(MFTIME systemTime) = 0;
    // The rate is never 0 and lies between 0.25 and 4.0.
    virtual HRESULT OnClockSetRate(MFTIME systemTime, float rate) = 0;
};
inline constexpr IID IID_IMFClockStateSink = IMFClockStateSink::kIid;

// ---- presenter --------------------------------------------------------------------------

enum MFVP_MESSAGE_TYPE : DWORD {
    MFVP_MESSAGE_FLUSH = 0,       // parameter: the seek that begins (0: the seek goes on)
    MFVP_MESSAGE_INVALIDATEMEDIATYPE = 1,
    MFVP_MESSAGE_PROCESSINPUTNOTIFY = 2,
    MFVP_MESSAGE_BEGINSTREAMING = 3,
    MFVP_MESSAGE_ENDSTREAMING = 4,
    MFVP_MESSAGE_ENDOFSTREAM = 5,
    MFVP_MESSAGE_STEP = 6,        // parameter: frames to step
    MFVP_MESSAGE_CANCELSTEP = 7,
};

struct IMFVideoPresenter : IMFClockStateSink {
    static constexpr IID kIid = MakeGuid("821c511b-4f5c-40da-9705-5ae47de068f1");
    virtual HRESULT ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) = 0;
    virtual HRESULT GetCurrentMediaType(IMFVideoMediaType** type) = 0;
};
inline constexpr IID IID_IMFVideoPresenter = IMFVideoPresenter::kIid;

struct IMFVideoDeviceID : IUnknown {
    static constexpr IID kIid = MakeGuid("462b07a1-4d10-4022-b6e5-158dc0a2f2ca");
    virtual HRESULT GetDeviceID(IID* deviceId) = 0;
};
inline constexpr IID IID_IMFVideoDeviceID = IMFVideoDeviceID::kIid;

enum MF_SERVICE_LOOKUP_TYPE {
    MF_SERVICE_LOOKUP_UPSTREAM = 0,
    MF_SERVICE_LOOKUP_UPSTREAM_DIRECT = 1,
    MF_SERVICE_LOOKUP_DOWNSTREAM = 2,
    MF_SERVICE_LOOKUP_DOWNSTREAM_DIRECT = 3,
    MF_SERVICE_LOOKUP_ALL = 4,
    MF_SERVICE_LOOKUP_GLOBAL = 5,
};

struct IMFTopologyServiceLookup : IUnknown {
    static constexpr IID kIid = MakeGuid("2a75df5a-993e-4290-9626-dda54fccebf8");
    // objects: room for *count interface pointers; on success *count is how many were found.
    virtual HRESULT LookupService(MF_SERVICE_LOOKUP_TYPE type, DWORD index, const GUID& service,
                                  const IID& iid, void** objects, DWORD* count) = 0;
};
inline constexpr IID IID_IMFTopologyServiceLookup = IMFTopologyServiceLookup::kIid;

struct IMFTopologyServiceLookupClient : IUnknown {
    static constexpr IID kIid = MakeGuid("537866b9-5b47-4791-b0cc-39496979f455");
    virtual HRESULT InitServicePointers(IMFTopologyServiceLookup* lookup) = 0;
    virtual HRESULT ReleaseServicePointers() = 0;
};
inline constexpr IID IID_IMFTopologyServiceLookupClient = IMFTopologyServiceLookupClient::kIid;

// ---- mixer ------------------------------------------------------------------------------

inline constexpr DWORD MFT_SET_TYPE_TEST_ONLY = 0x1;

struct MFT_OUTPUT_DATA_BUFFER {
    DWORD dwStreamID = 0;
    IMFSample* pSample = nullptr;  // the caller's sample; the mixer keeps no reference
    DWORD dwStatus = 0;
    IUnknown* pEvents = nullptr;   // never set by this mixer
};

// The mixer: one input (the decoded stream) and one output (32-bit pictures at the frame's
// native size). Output types on offer: index 0 MFVideoFormat_RGB32, index 1
// MFVideoFormat_ARGB32, then MF_E_NO_MORE_TYPES; MF_E_TRANSFORM_TYPE_NOT_SET before the
// input type is known. It answers IMFVideoDeviceID (IID_IDirect3DDevice9) and, as the
// renderer's mixer service, IMFVideoMixerBitmap and IMFVideoMixerControl.
struct IMFTransform : IUnknown {
    static constexpr IID kIid = MakeGuid("7086d2e2-e7d4-43c3-b9dd-a9373b957871");
    virtual HRESULT GetAttributes(IMFAttributes** attributes) = 0;
    virtual HRESULT GetInputCurrentType(DWORD inputStreamId, IMFMediaType** type) = 0;
    virtual HRESULT GetOutputAvailableType(DWORD outputStreamId, DWORD typeIndex, IMFMediaType** type) = 0;
    // A null type clears the output type. With MFT_SET_TYPE_TEST_ONLY nothing is changed.
    virtual HRESULT SetOutputType(DWORD outputStreamId, IMFMediaType* type, DWORD flags) = 0;
    virtual HRESULT GetOutputCurrentType(DWORD outputStreamId, IMFMediaType** type) = 0;
    // One buffer for stream 0. A sample whose IMFDesiredSample holds a time is a repaint: the
    // last picture is rendered again with that time and duration and no input is used. A frame
    // is always scaled to the sample's surface, so the stream never changes under the output
    // type (MF_E_TRANSFORM_STREAM_CHANGE is not returned).
    virtual HRESULT ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                                  DWORD* status) = 0;
};
inline constexpr IID IID_IMFTransform = IMFTransform::kIid;

// UINT64 on every sample the mixer renders into (repaints included): the seek (FLUSH's
// parameter) whose frame the picture shows. 0 for frames taken before the first seek.
inline constexpr GUID MF_SAMPLE_SEEK = MakeGuid("6c1f3b0e-52a4-4d77-9a3e-1f0b8e2d4c61");
// The sample's MF_SAMPLE_SEEK; `otherwise` when it has none (a picture from another mixer).
UINT64 PictureSeek(IMFSample* sample, UINT64 otherwise);

// ---- renderer's event sink ----------------------------------------------------------------

enum : long {
    EC_COMPLETE = 0x01,              // param1: HRESULT
    EC_ERRORABORT = 0x03,            // param1: HRESULT; the session reports MEError
    EC_DISPLAY_CHANGED = 0x16,
    EC_PROCESSING_LATENCY = 0x21,    // param1: pointer to a LONGLONG (100 ns), read at once
    EC_SCRUB_TIME = 0x23,            // param1, param2: low and high 32 bits of a time
    EC_STEP_COMPLETE = 0x24,         // param1: TRUE when the step was cancelled
};

struct IMediaEventSink : IUnknown {
    static constexpr IID kIid = MakeGuid("eb5fabde-128e-459c-9310-9e7841c0d0c4");
    virtual HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};
inline constexpr IID IID_IMediaEventSink = IMediaEventSink::kIid;

// ---- rates ------------------------------------------------------------------------------

enum MFRATE_DIRECTION { MFRATE_FORWARD = 0, MFRATE_REVERSE = 1 };

struct IMFRateSupport : IUnknown {
    static constexpr IID kIid = MakeGuid("62a6152a-5143-454e-a33a-f681f429bd5a");
    virtual HRESULT GetSlowestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) = 0;
    virtual HRESULT GetFastestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) = 0;
    // nearest may be null.
    virtual HRESULT IsRateSupported(BOOL thin, float rate, float* nearest) = 0;
};
inline constexpr IID IID_IMFRateSupport = IMFRateSupport::kIid;

// ---- display control --------------------------------------------------------------------

struct MFVideoNormalizedRect {
    float left = 0.0f;
    float top = 0.0f;
    float right = 1.0f;
    float bottom = 1.0f;
    friend bool operator==(const MFVideoNormalizedRect&, const MFVideoNormalizedRect&) = default;
};

enum MFVideoAspectRatioMode : DWORD {
    MFVideoARMode_None = 0,
    MFVideoARMode_PreservePicture = 1,
    MFVideoARMode_PreservePixel = 2,
    MFVideoARMode_NonLinearStretch = 4,
};

// The header of a device-independent bitmap.
struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: rows run bottom-up
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    DWORD biCompression = 0;    // 0: uncompressed (BI_RGB)
    DWORD biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};

struct IMFVideoDisplayControl : IUnknown {
    static constexpr IID kIid = MakeGuid("074b98e5-8feb-4f56-b56e-79b035618eaf");
    virtual HRESULT GetNativeVideoSize(SIZE* videoSize, SIZE* aspectRatio) = 0;
    virtual HRESULT GetIdealVideoSize(SIZE* minimum, SIZE* maximum) = 0;
    virtual HRESULT SetVideoPosition(const MFVideoNormalizedRect* source, const RECT* destination) = 0;
    virtual HRESULT GetVideoPosition(MFVideoNormalizedRect* source, RECT* destination) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetVideoWindow(HWND window) = 0;
    virtual HRESULT GetVideoWindow(HWND* window) = 0;
    virtual HRESULT RepaintVideo() = 0;
    // *dib: a CoTaskMemAlloc buffer the caller frees with CoTaskMemFree.
    virtual HRESULT GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibSize,
                                    LONGLONG* timeStamp) = 0;
    virtual HRESULT SetBorderColor(COLORREF color) = 0;
    virtual HRESULT GetBorderColor(COLORREF* color) = 0;
    virtual HRESULT SetRenderingPrefs(DWORD flags) = 0;
    virtual HRESULT GetRenderingPrefs(DWORD* flags) = 0;
    virtual HRESULT SetFullscreen(BOOL fullscreen) = 0;
    virtual HRESULT GetFullscreen(BOOL* fullscreen) = 0;
};
inline constexpr IID IID_IMFVideoDisplayControl = IMFVideoDisplayControl::kIid;

// ---- mixer services for the player ------------------------------------------------------

enum : DWORD {
    MFVideoAlphaBitmap_EntireDDS = 0x1,
    MFVideoAlphaBitmap_SrcColorKey = 0x2,
    MFVideoAlphaBitmap_SrcRect = 0x4,
    MFVideoAlphaBitmap_DestRect = 0x8,
    MFVideoAlphaBitmap_FilterMode = 0x10,
    MFVideoAlphaBitmap_Alpha = 0x20,
    MFVideoAlphaBitmap_BitMask = 0x3f,
};

struct MFVideoAlphaBitmapParams {
    DWORD dwFlags = 0;
    COLORREF clrSrcKey = 0;          // with SrcColorKey: pixels of this colour are transparent
    RECT rcSrc;                      // with SrcRect: the part of the bitmap shown (else all)
    MFVideoNormalizedRect nrcDest;   // with DestRect: where on the picture (else all of it)
    float fAlpha = 1.0f;             // with Alpha: 0 transparent .. 1 opaque
    DWORD dwFilterMode = 0;
};

// The picture the mixer lays over every frame it renders. The bitmap stands in for the
// device context or surface the picture is taken from: its pixels are copied when set.
struct MFVideoAlphaBitmap {
    BOOL GetBitmapFromDC = TRUE;
    QImage bitmap;
    MFVideoAlphaBitmapParams params;
};

struct IMFVideoMixerBitmap : IUnknown {
    static constexpr IID kIid = MakeGuid("1c3db912-86c5-4a40-8f69-b8f2e17510cb");
    // E_INVALIDARG for an empty bitmap, a source rectangle outside it, a destination outside
    // 0..1 or an alpha outside 0..1.
    virtual HRESULT SetAlphaBitmap(const MFVideoAlphaBitmap* bitmap) = 0;
    virtual HRESULT ClearAlphaBitmap() = 0;
    // MF_E_NOT_INITIALIZED without a bitmap; only the fields named by dwFlags change.
    virtual HRESULT UpdateAlphaBitmapParameters(const MFVideoAlphaBitmapParams* params) = 0;
    virtual HRESULT GetAlphaBitmapParameters(MFVideoAlphaBitmapParams* params) = 0;
};
inline constexpr IID IID_IMFVideoMixerBitmap = IMFVideoMixerBitmap::kIid;

// The mixer has one stream, at Z order 0. Its output rectangle is the part of the output
// picture the stream is drawn into (all of it at first); the rest is black.
struct IMFVideoMixerControl : IUnknown {
    static constexpr IID kIid = MakeGuid("84dc47c3-9e0a-4b0a-bc31-dec730539bb9");
    virtual HRESULT SetStreamZOrder(DWORD streamId, DWORD z) = 0;
    virtual HRESULT GetStreamZOrder(DWORD streamId, DWORD* z) = 0;
    virtual HRESULT SetStreamOutputRect(DWORD streamId, const MFVideoNormalizedRect* rect) = 0;
    virtual HRESULT GetStreamOutputRect(DWORD streamId, MFVideoNormalizedRect* rect) = 0;
};
inline constexpr IID IID_IMFVideoMixerControl = IMFVideoMixerControl::kIid;

// Answered by this layer's mixer. The samples it renders into have the size the picture is
// shown at; each surface keeps the decoded frame its picture was made from
// (IVideoSurface::GetSourceFrame). RenderFrame makes that frame's picture again at another
// size (the movie's own size, for a snapshot) exactly as ProcessOutput would render it into a
// surface of that size with the given zoom rectangle: the same conversion, output rectangle
// and overlay bitmap. E_INVALIDARG for a null frame or picture or a side outside
// 1..16384; MF_E_INVALIDMEDIATYPE when the frame cannot be converted.
struct IMFVideoFrameRenderer : IUnknown {
    static constexpr IID kIid = MakeGuid("0175fb39-a41d-4c1e-9db6-8ea829a2c86f");
    virtual HRESULT RenderFrame(const AVFrame* frame, const MFVideoNormalizedRect& zoom, UINT32 width, UINT32 height,
                                QImage* picture) = 0;
};
inline constexpr IID IID_IMFVideoFrameRenderer = IMFVideoFrameRenderer::kIid;

}  // namespace orv
