// The presenting half of the custom presenter. It makes the video samples the mixer renders
// into (memory surfaces of the size the picture is shown at), "presents" a sample by handing
// its picture to the video window's frame sink together with the rectangle it is shown in
// (the window draws it there 1:1, with black bands around it), keeps the picture on screen
// and the decoded frame it was made from for frame grabs, and knows the refresh rate of the
// display the video is shown on.
#pragma once

#include <memory>
#include <mutex>

#include <QImage>

#include "platform/media/MediaFoundation.h"
#include "playback/presenter/SampleList.h"
#include "playback/presenter/SchedulerCallback.h"

namespace orv {

class D3DPresentEngine : public SchedulerCallback {
public:
    // Samples made per output type: one whose picture is on screen and two ahead of it, so
    // that after a flush (which keeps the picture on screen and the presenter's held sample)
    // one is always free for the next picture.
    static constexpr int kSamplesPerBatch = 3;
    // Larger grabs are refused before any memory is asked for.
    static constexpr UINT32 kMaxGrabSide = 16384;

    D3DPresentEngine() = default;
    ~D3DPresentEngine() override = default;
    D3DPresentEngine(const D3DPresentEngine&) = delete;
    D3DPresentEngine& operator=(const D3DPresentEngine&) = delete;

    // Process-wide: the refresh rate (Hz) of the display the video is shown on, given by the
    // window layer; 60 until it says otherwise.
    static void SetDisplayRefreshRate(UINT32 hz);

    // Hands the sample's picture to the video window's sink; never fails (a sample without a
    // picture, or a window without a sink, shows nothing). A null sample shows nothing.
    HRESULT PresentSample(IMFSample* sample, LONGLONG target) override;

    HRESULT SetVideoWindow(HWND window);
    HWND GetVideoWindow();
    // The destination rectangle as given (client coordinates; empty: the whole window) and
    // the part of it that is shown, which the pictures fill (empty: all of the destination).
    void SetDestinationRect(const RECT& destination, const RECT& shown = RECT{});
    RECT GetDestinationRect();
    // Of the display the window is on (Hz); 0 before a window was given.
    UINT32 RefreshRate();

    // S_OK for the surface formats samples can be made in, else MF_E_INVALIDMEDIATYPE.
    static HRESULT CheckFormat(D3DFORMAT format);
    // Appends kSamplesPerBatch samples of the type's MF_MT_FRAME_SIZE in the surface format
    // of MF_MT_SUBTYPE's first 32 bits; those made before a failure stay in the list.
    HRESULT CreateVideoSamples(IMFMediaType* type, MediaFoundationSamples::ComPtrList<IMFSample>* samples);
    // The batch is being dropped: no sample of it counts as on screen any more.
    void OnReleaseResources();
    // The sample whose picture is on screen (an identity, never used), or null.
    const IMFSample* ShownSample();

    // The decoded frame the picture on screen was made from, null when it has none.
    std::shared_ptr<const AVFrame> ShownSourceFrame();

    // A picture as a bottom-up 32-bit DIB of width x height: `full` when given (the picture on
    // screen made again at that size), else the picture on screen, scaled when it has another
    // size. *buffer gets width x height x 4 bytes from CoTaskMemAlloc, *size (when given)
    // their count. MF_E_NOT_INITIALIZED when nothing was presented yet, E_INVALIDARG for a
    // side of 0 or above kMaxGrabSide.
    HRESULT GrabFrame(BYTE** buffer, UINT32 width, UINT32 height, DWORD* size, const QImage* full = nullptr);

private:
    std::mutex mutex_;  // the engine lock
    HWND window_ = 0;
    RECT destination_;  // empty: the whole window
    RECT shownRect_;    // the part of it the pictures fill; empty: all of it
    QImage shown_;
    std::shared_ptr<const AVFrame> shownSource_;
    const IMFSample* shownSample_ = nullptr;
};

}  // namespace orv
