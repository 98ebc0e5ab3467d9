// The video mixer: takes decoded frames from the streaming thread and renders them, on the
// presenter's request, into the presenter's samples as 32-bit pictures, with the overlay
// bitmap laid over them. Each picture is converted and scaled in one pass straight from the
// decoder's planes to the size of the sample's surface (the size it is shown at); the surface
// keeps a reference to the frame, from which RenderFrame makes the full-size picture when a
// snapshot asks for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/FrameConverter.h"
#include "platform/media/FramePtr.h"
#include "platform/media/MediaFoundation.h"

namespace orv {

class VideoMixer final : public ComObject<IMFTransform, IMFVideoDeviceID, IMFVideoMixerBitmap, IMFVideoMixerControl,
                                          IMFVideoFrameRenderer> {
public:
    VideoMixer();

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFTransform, IMFVideoDeviceID, IMFVideoMixerBitmap, IMFVideoMixerControl,
                                IMFVideoFrameRenderer>(this, iid, object);
    }

    // IMFTransform
    HRESULT GetAttributes(IMFAttributes** attributes) override;
    HRESULT GetInputCurrentType(DWORD inputStreamId, IMFMediaType** type) override;
    HRESULT GetOutputAvailableType(DWORD outputStreamId, DWORD typeIndex, IMFMediaType** type) override;
    HRESULT SetOutputType(DWORD outputStreamId, IMFMediaType* type, DWORD flags) override;
    HRESULT GetOutputCurrentType(DWORD outputStreamId, IMFMediaType** type) override;
    HRESULT ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override;

    // IMFVideoDeviceID
    HRESULT GetDeviceID(IID* deviceId) override;

    // IMFVideoMixerBitmap
    HRESULT SetAlphaBitmap(const MFVideoAlphaBitmap* bitmap) override;
    HRESULT ClearAlphaBitmap() override;
    HRESULT UpdateAlphaBitmapParameters(const MFVideoAlphaBitmapParams* params) override;
    HRESULT GetAlphaBitmapParameters(MFVideoAlphaBitmapParams* params) override;

    // IMFVideoMixerControl
    HRESULT SetStreamZOrder(DWORD streamId, DWORD z) override;
    HRESULT GetStreamZOrder(DWORD streamId, DWORD* z) override;
    HRESULT SetStreamOutputRect(DWORD streamId, const MFVideoNormalizedRect* rect) override;
    HRESULT GetStreamOutputRect(DWORD streamId, MFVideoNormalizedRect* rect) override;

    // IMFVideoFrameRenderer
    HRESULT RenderFrame(const AVFrame* frame, const MFVideoNormalizedRect& zoom, UINT32 width, UINT32 height,
                        QImage* picture) override;

    // The renderer's side.

    // The stream's type (from its descriptor): native size, frame rate, aspect ratio.
    void SetInputType(IMFMediaType* streamType);

    // Which frames the mixer takes: none (stopped), the first one after a flush (paused: the
    // picture a paused presenter shows), or all (running).
    enum class Flow { Closed, Preroll, Open };
    void SetFlow(Flow flow);
    // Drops the queued frames; from now on only frames of this epoch are taken. Each picture
    // rendered names its frame's epoch as MF_SAMPLE_SEEK.
    void Flush(std::uint64_t epoch);
    // Waits until the mixer takes the frame or no longer can (another epoch, shut down);
    // true when it was taken. time and duration in 100 ns.
    bool TakeFrame(FramePtr frame, LONGLONG time, LONGLONG duration, std::uint64_t epoch);
    // Frames taken since the last flush.
    std::size_t FramesTaken() const;
    // Wakes a waiting TakeFrame for good.
    void Shutdown();

private:
    struct QueuedFrame {
        FramePtr frame;
        LONGLONG time = 0;
        LONGLONG duration = 0;
        std::uint64_t seek = 0;  // the epoch it was taken in
    };
    // A frame once rendered: shared with the surfaces whose pictures were made from it.
    struct RenderedFrame {
        std::shared_ptr<const AVFrame> frame;
        LONGLONG time = 0;
        LONGLONG duration = 0;
        std::uint64_t seek = 0;
    };

    // The picture of the frame into the sample's surface, at the surface's size; under
    // renderMutex_.
    HRESULT Render(const std::shared_ptr<const AVFrame>& frame, IMFSample* sample);
    // The picture of the frame, cropped to the zoom rectangle, into width x height pixels
    // (with kSurfaceSlack bytes after the last row); under renderMutex_.
    bool Draw(FrameConverter& converter, const AVFrame* frame, const MFVideoNormalizedRect& zoom, std::uint8_t* bits,
              int pitch, int width, int height, bool alpha);
    // The rendered frame a repaint for `time` draws: the one of that time, else the newest
    // one before it, else the newest; null before any. Under renderMutex_.
    const RenderedFrame* RenderedFrameAt(LONGLONG time) const;
    void Composite(std::uint8_t* bits, int pitch, int width, int height, bool alpha);
    HRESULT UpdateAlphaBitmapParametersLocked(const MFVideoAlphaBitmapParams* params);
    bool Accepting() const;  // under mutex_
    ComPtr<IMFMediaType> MakeOutputType(const GUID& subtype);

    ComPtr<IMFAttributes> attributes_;

    mutable std::mutex mutex_;  // the input queue, the types and the flow
    std::condition_variable space_;
    ComPtr<IMFMediaType> inputType_;
    ComPtr<IMFMediaType> outputType_;
    std::deque<QueuedFrame> queue_;
    Flow flow_ = Flow::Closed;
    std::uint64_t epoch_ = 0;
    std::size_t taken_ = 0;
    bool shutdown_ = false;

    std::mutex renderMutex_;  // the converter, the last frame, the overlay and the output rect
    FrameConverter converter_;
    std::vector<std::uint8_t> scratch_;  // a picture converted for part of the output
    // The frames rendered last, oldest first: the presenter holds a few samples between
    // mixing and showing, so a repaint finds the picture on screen among them by its time.
    std::deque<RenderedFrame> rendered_;
    MFVideoNormalizedRect outputRect_;
    bool hasBitmap_ = false;
    QImage bitmap_;     // as given
    MFVideoAlphaBitmapParams params_;
    QImage prepared_;   // the part shown, keyed and faded, premultiplied
};

}  // namespace orv
