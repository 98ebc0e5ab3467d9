// The program's own video presenter. The video renderer gives it the mixer, the clock and
// its event sink; it pulls each mixed picture into one of its samples, hands the sample to
// the Scheduler, which presents it at its time through the D3DPresentEngine into the video
// window, follows the clock (start, stop, pause, restart, rate), flushes on seeks, shows the
// one picture of a paused seek, steps frame by frame, answers rate queries, repaints on
// request and grabs the picture on screen for snapshots.
//
// Making one: EVRCustomPresenter::CreateInstance. The player reaches it through the
// IMFVideoDisplayControl the session serves (MR_VIDEO_RENDER_SERVICE) and, before it starts
// or seeks the session, sets its start marks (SetStartMarks).
//
// Threads: the renderer's control and streaming threads (clock sink, messages, service
// pointers), the UI thread (display control, GetCurrentImage), the work-queue threads
// (released samples) and the scheduler's thread (which only presents). One object lock
// serialises the presenter's state; it is taken before the sample pool's, the scheduler
// queue's and the present engine's locks, never after them.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/media/MediaFoundation.h"
#include "playback/presenter/AsyncCallback.h"
#include "playback/presenter/D3DPresentEngine.h"
#include "playback/presenter/SamplePool.h"
#include "playback/presenter/SampleList.h"
#include "playback/presenter/Scheduler.h"

namespace orv {

class EVRCustomPresenter final
    : public ComObject<IMFVideoDeviceID, IMFVideoPresenter, IMFRateSupport, IMFGetService,
                       IMFTopologyServiceLookupClient, IMFVideoDisplayControl> {
public:
    // A new presenter with one reference for the caller.
    static HRESULT CreateInstance(EVRCustomPresenter** presenter);

    // IUnknown is answered through IMFGetService; IMFClockStateSink is not answered (its
    // methods are reached through IMFVideoPresenter).
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFGetService, IMFTopologyServiceLookupClient, IMFVideoDeviceID, IMFVideoPresenter,
                                IMFRateSupport, IMFVideoDisplayControl>(this, iid, object);
    }

    // IMFVideoDeviceID
    HRESULT GetDeviceID(IID* deviceId) override;

    // IMFClockStateSink
    HRESULT OnClockStart(MFTIME systemTime, LONGLONG clockStartOffset) override;
    HRESULT OnClockStop(MFTIME systemTime) override;
    HRESULT OnClockPause(MFTIME systemTime) override;
    HRESULT OnClockRestart(MFTIME systemTime) override;
    HRESULT OnClockSetRate(MFTIME systemTime, float rate) override;

    // IMFVideoPresenter
    HRESULT ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) override;
    HRESULT GetCurrentMediaType(IMFVideoMediaType** type) override;

    // IMFRateSupport
    HRESULT GetSlowestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) override;
    HRESULT GetFastestRate(MFRATE_DIRECTION direction, BOOL thin, float* rate) override;
    HRESULT IsRateSupported(BOOL thin, float rate, float* nearest) override;

    // IMFGetService: MR_VIDEO_RENDER_SERVICE answers the presenter's interfaces.
    HRESULT GetService(const GUID& service, const IID& iid, void** object) override;

    // IMFTopologyServiceLookupClient
    HRESULT InitServicePointers(IMFTopologyServiceLookup* lookup) override;
    HRESULT ReleaseServicePointers() override;

    // IMFVideoDisplayControl. GetCurrentImage fills *dib (and, when given, *header and
    // *dibSize) with the picture on screen at the native size, bottom-up, 32 bits per pixel.
    HRESULT GetNativeVideoSize(SIZE* videoSize, SIZE* aspectRatio) override;
    HRESULT GetIdealVideoSize(SIZE* minimum, SIZE* maximum) override;
    HRESULT SetVideoPosition(const MFVideoNormalizedRect* source, const RECT* destination) override;
    HRESULT GetVideoPosition(MFVideoNormalizedRect* source, RECT* destination) override;
    HRESULT SetAspectRatioMode(DWORD mode) override;
    HRESULT GetAspectRatioMode(DWORD* mode) override;
    HRESULT SetVideoWindow(HWND window) override;
    HRESULT GetVideoWindow(HWND* window) override;
    HRESULT RepaintVideo() override;
    HRESULT GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibSize, LONGLONG* timeStamp) override;
    HRESULT SetBorderColor(COLORREF color) override;
    HRESULT GetBorderColor(COLORREF* color) override;
    HRESULT SetRenderingPrefs(DWORD flags) override;
    HRESULT GetRenderingPrefs(DWORD* flags) override;
    HRESULT SetFullscreen(BOOL fullscreen) override;
    HRESULT GetFullscreen(BOOL* fullscreen) override;

    // Set by the player before it starts the session (1, 0, 0) or seeks it (1, 1, 0). While
    // pullOnStart is 0 neither a clock start nor a released sample pulls from the mixer; the
    // two seek marks are kept and cleared by a repaint while streaming.
    void SetStartMarks(UINT32 pullOnStart, UINT32 seekMark, UINT32 secondSeekMark);
    // Pictures presented, and how many of them were shown late.
    void GetFrameCounts(UINT64* presented, UINT64* late) const;
    // The presentation time (100 ns) of the picture on screen: S_OK, or S_FALSE when none was
    // presented since the last flush (after a seek, until its first picture is there).
    // *seek (when given, also with S_FALSE): the seek that the last picture presented answers
    // (its MF_SAMPLE_SEEK), 0 before any.
    HRESULT GetShownSampleTime(LONGLONG* time, UINT64* seek = nullptr) const;

private:
    enum class PresenterState { Started = 1, Stopped = 2, Paused = 3, ShutDown = 4 };
    enum class FrameStepState { None = 0, WaitingStart = 1, Pending = 2, Scheduled = 3, Complete = 4 };

    EVRCustomPresenter();
    ~EVRCustomPresenter() override;

    // The callback every delivered sample is tracked with: the renderer let go of it.
    HRESULT OnSampleReleased(IMFAsyncResult* result);

    // Under mutex_.
    void NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
    void PullOutputLoop();
    HRESULT PullOneSample();
    HRESULT DeliverToScheduler(IMFSample* sample, BOOL repaint);
    HRESULT DeliverStepSample(IMFSample* sample);
    HRESULT StartPendingStep();
    void CancelStep();
    void CompleteFrameStep(IMFSample* sample);
    void CheckEndOfStream();
    void FlushPresenter();
    // Lets go of the batch of samples; unless keepScheduled, what waits to be shown too.
    void DropVideoResources(bool keepScheduled = false);
    HRESULT NegotiateOutputType();
    HRESULT CheckOutputType(IMFMediaType* proposed);
    HRESULT BuildOutputType(IMFMediaType* proposed, ComPtr<IMFMediaType>* built);
    HRESULT ApplyOutputType(IMFMediaType* type);
    float FastestRate(BOOL thin);
    HRESULT CheckShutdown() const;

    MediaFoundationSamples::AsyncCallback<EVRCustomPresenter> sampleReleased_;

    std::mutex mutex_;  // the object lock: everything below unless said otherwise
    PresenterState state_ = PresenterState::ShutDown;
    struct FrameStep {
        FrameStepState state = FrameStepState::None;
        MediaFoundationSamples::ComPtrList<IMFSample> queue;
        UINT32 steps = 0;
        const IMFSample* identity = nullptr;  // the sample sent out for the step; compared only
    } frameStep_;

    // The engine is declared before the scheduler, which presents through it, so that the
    // scheduler's thread has ended before the engine goes.
    const std::unique_ptr<D3DPresentEngine> engine_;
    Scheduler scheduler_;
    SamplePool samplePool_;

    UINT32 tokenCounter_ = 0;  // stamped on each batch of samples, to know an older batch's
    BOOL sampleNotify_ = FALSE;
    BOOL repaint_ = FALSE;
    BOOL prerolled_ = FALSE;   // a sample was delivered since the last flush
    BOOL endOfStream_ = FALSE;
    // The seek of the last flush (its parameter): a picture of an earlier seek is never shown.
    UINT64 seek_ = 0;
    // A flush came since the clock last started: what was pulled since belongs to the seek
    // the next start carries out (the renderer hands over a seek's first frame before it
    // starts the clock), so that start keeps it.
    BOOL flushedForStart_ = FALSE;
    MFVideoNormalizedRect sourceRect_;
    RECT shownRect_{};  // the part of the destination inside the window; empty: not known
    float rate_ = 1.0f;
    // Read without the lock: the native size (width in the high half, 0 before the first
    // output type) and the aspect-ratio mode, which is stored and reported only.
    std::atomic<UINT64> nativeSize_{0};
    std::atomic<DWORD> aspectRatioMode_{MFVideoARMode_PreservePicture};
    UINT32 pullOnStart_ = TRUE;
    UINT32 seekMark_ = 0;
    UINT32 secondSeekMark_ = 0;

    ComPtr<IMFClock> clock_;
    ComPtr<IMFTransform> mixer_;
    ComPtr<IMediaEventSink> eventSink_;
    ComPtr<IMFMediaType> outputType_;
    ComPtr<IMFSample> heldSample_;  // the sample of the last pull, reused for a repaint
};

}  // namespace orv
