// The video renderer's own presenter, used when no custom presenter is given: it pulls each
// picture from the mixer and hands it to the video window's frame sink when the clock
// reaches its time; while paused or stopped it shows the one picture after a flush.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/MediaFoundation.h"

namespace orv {

class DefaultPresenter final : public ComObject<IMFVideoPresenter, IMFTopologyServiceLookupClient, IMFVideoDeviceID,
                                                IMFGetService, IMFVideoDisplayControl> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFVideoPresenter, IMFTopologyServiceLookupClient, IMFVideoDeviceID, IMFGetService,
                                IMFVideoDisplayControl>(this, iid, object);
    }

    // IMFClockStateSink
    HRESULT OnClockStart(MFTIME systemTime, LONGLONG clockStartOffset) override;
    HRESULT OnClockStop(MFTIME systemTime) override;
    HRESULT OnClockPause(MFTIME systemTime) override;
    HRESULT OnClockRestart(MFTIME systemTime) override;
    HRESULT OnClockSetRate(MFTIME systemTime, float rate) override;
    // IMFVideoPresenter; frame steps are not supported (E_NOTIMPL).
    HRESULT ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) override;
    HRESULT GetCurrentMediaType(IMFVideoMediaType** type) override;
    // IMFTopologyServiceLookupClient
    HRESULT InitServicePointers(IMFTopologyServiceLookup* lookup) override;
    HRESULT ReleaseServicePointers() override;
    // IMFVideoDeviceID
    HRESULT GetDeviceID(IID* deviceId) override;
    // IMFGetService: MR_VIDEO_RENDER_SERVICE answers the display control.
    HRESULT GetService(const GUID& service, const IID& iid, void** object) override;
    // IMFVideoDisplayControl; border colour, rendering preferences, full screen and the ideal
    // size are not supported (E_NOTIMPL).
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

private:
    enum class State { ShutDown, Stopped, Started, Paused };

    ~DefaultPresenter() override { ReleaseServicePointers(); }

    void Run();
    HRESULT Negotiate();  // under mutex_
    void Present(std::unique_lock<std::mutex>& lock, ComPtr<IMFSample> sample);
    void ReturnSample(ComPtr<IMFSample> sample);  // under mutex_
    void FlushQueue();                            // under mutex_
    bool EndOfStreamDue() const;                  // under mutex_

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    State state_ = State::ShutDown;
    bool quit_ = false;
    ComPtr<IMFClock> clock_;
    ComPtr<IMFTransform> mixer_;
    ComPtr<IMediaEventSink> events_;
    ComPtr<IMFMediaType> outputType_;
    std::vector<ComPtr<IMFSample>> samples_;  // the current batch
    std::vector<ComPtr<IMFSample>> free_;
    std::deque<ComPtr<IMFSample>> ready_;     // pulled, waiting for their time
    ComPtr<IMFSample> onScreen_;
    bool inputWaiting_ = false;               // the mixer said it has a frame
    unsigned inputNotices_ = 0;               // counts the mixer's notices
    bool endOfStream_ = false;
    bool prerolled_ = false;                  // a picture was taken since the last flush
    // The seek of the last flush: a picture pulled across it is shown when it answers this
    // seek and dropped when it answers an earlier one.
    UINT64 seek_ = 0;
    float rate_ = 1.0f;
    SIZE native_{};
    HWND window_ = 0;
    RECT destination_{};
    MFVideoNormalizedRect source_;
    DWORD aspectMode_ = MFVideoARMode_PreservePicture;
    QImage shown_;  // the picture on screen
};

}  // namespace orv
