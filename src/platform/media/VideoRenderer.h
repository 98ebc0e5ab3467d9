// The video renderer of a session: it owns the mixer, makes and drives the presenter
// (custom or its own) through the presenter contract, feeds it the frames of the streaming
// thread, and turns the presenter's events into session events.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/media/FramePtr.h"
#include "platform/media/MediaFoundation.h"
#include "platform/media/VideoMixer.h"

namespace orv {

class RendererActivate;

class VideoRenderer final : public ComObject<IMediaEventSink, IMFTopologyServiceLookup, IMFGetService> {
public:
    // EC_COMPLETE (the last frame of the epoch was shown) and EC_ERRORABORT (status) reach the
    // session through this; it must only queue.
    using EventHandler = std::function<void(long code, HRESULT status, std::uint64_t epoch)>;

    // Makes the presenter and sets it up (service pointers, window, output type).
    static HRESULT Create(IMFMediaType* streamType, RendererActivate* activate, ComPtr<IMFClock> clock,
                          EventHandler handler, ComPtr<VideoRenderer>* renderer);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMediaEventSink, IMFTopologyServiceLookup, IMFGetService>(this, iid, object);
    }
    HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT LookupService(MF_SERVICE_LOOKUP_TYPE type, DWORD index, const GUID& service, const IID& iid,
                          void** objects, DWORD* count) override;
    // MR_VIDEO_RENDER_SERVICE: the presenter's services; MR_VIDEO_MIXER_SERVICE: the mixer's.
    HRESULT GetService(const GUID& service, const IID& iid, void** object) override;

    // The session's control thread.
    void Flush(std::uint64_t epoch);
    // Before a seek's first frame: streaming begins (once), and the mixer takes that frame.
    void Preroll();
    void ClockStart(MFTIME systemTime, LONGLONG position, bool thenPause);
    void ClockPause(MFTIME systemTime);
    void ClockRestart(MFTIME systemTime);
    void ClockStop(MFTIME systemTime);
    void ClockSetRate(MFTIME systemTime, float rate);
    // The presenter's rate limits, when it has any.
    ComPtr<IMFRateSupport> PresenterRateSupport();
    // A frame of the epoch reached the mixer, or the stream ended in it.
    bool Prerolled(std::uint64_t epoch);
    // Releases the presenter; every later call does nothing.
    void Shutdown();

    // The streaming thread. DeliverFrame waits while the mixer holds frames back; false when
    // the frame was not taken (a flush or shutdown came first).
    bool DeliverFrame(FramePtr frame, LONGLONG time, LONGLONG duration, std::uint64_t epoch);
    void EndOfStream(std::uint64_t epoch);

private:
    VideoRenderer(ComPtr<IMFClock> clock, EventHandler handler);
    ComPtr<IMFVideoPresenter> Presenter();
    void BeginStreaming();
    void EndStreaming();

    const ComPtr<VideoMixer> mixer_;
    const ComPtr<IMFClock> clock_;

    std::mutex mutex_;
    EventHandler handler_;
    ComPtr<IMFVideoPresenter> presenter_;
    ComPtr<IMFActivate> presenterActivate_;  // the custom presenter's, shut down with it
    bool streaming_ = false;
    std::uint64_t epoch_ = 0;
    bool endOfStream_ = false;  // ENDOFSTREAM was sent in this epoch
};

}  // namespace orv
