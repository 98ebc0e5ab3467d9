// The present engine on its own: the samples it makes, what it hands to the window, grabs.
#include <gtest/gtest.h>

#include "PresenterStandIns.h"
#include "platform/media/FramePtr.h"
#include "playback/presenter/D3DPresentEngine.h"

namespace orv::presentertest {
namespace {

ComPtr<IMFMediaType> VideoType(UINT32 width, UINT32 height, const GUID& subtype) {
    ComPtr<IMFMediaType> t;
    MFCreateMediaType(t.ReleaseAndGetAddressOf());
    t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t->SetGUID(MF_MT_SUBTYPE, subtype);
    MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, width, height);
    return t;
}

// A sample whose picture is 2 x 2: red, green / blue, white.
ComPtr<IMFSample> TwoByTwo() {
    ComPtr<IVideoSurface> surface;
    MFCreateVideoSurface(2, 2, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
    LockedRect locked;
    surface->LockRect(&locked);
    auto* rows = static_cast<BYTE*>(locked.pBits);
    auto* top = reinterpret_cast<std::uint32_t*>(rows);
    auto* bottom = reinterpret_cast<std::uint32_t*>(rows + locked.Pitch);
    top[0] = 0xFFFF0000u;
    top[1] = 0xFF00FF00u;
    bottom[0] = 0xFF0000FFu;
    bottom[1] = 0xFFFFFFFFu;
    surface->UnlockRect();
    ComPtr<IMFSample> sample;
    MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
    return sample;
}

TEST(D3DPresentEngine, MakesABatchOfSamplesAtTheFrameSize) {
    D3DPresentEngine engine;
    MediaFoundationSamples::ComPtrList<IMFSample> samples;
    EXPECT_EQ(engine.CreateVideoSamples(nullptr, &samples), MF_E_UNEXPECTED);
    ASSERT_EQ(engine.CreateVideoSamples(VideoType(320, 180, MFVideoFormat_ARGB32).Get(), &samples), S_OK);
    ASSERT_EQ(samples.Count(), UINT32(D3DPresentEngine::kSamplesPerBatch));
    ComPtr<IMFSample> sample;
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    samples.GetItem(samples.Front(), sample.ReleaseAndGetAddressOf());
    sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
    ASSERT_EQ(MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                           reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf())),
              S_OK);
    VideoSurfaceDesc desc;
    surface->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 180u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(D3DPresentEngine::CheckFormat(D3DFMT_X8R8G8B8), S_OK);
    EXPECT_EQ(D3DPresentEngine::CheckFormat(D3DFORMAT(MakeFourCC('N', 'V', '1', '2'))), MF_E_INVALIDMEDIATYPE);
    MediaFoundationSamples::ComPtrList<IMFSample> none;
    EXPECT_EQ(engine.CreateVideoSamples(VideoType(320, 180, MFVideoFormat_H264).Get(), &none), MF_E_INVALIDMEDIATYPE);
}

TEST(D3DPresentEngine, HandsThePictureToTheWindowAndGrabsItAtAnySize) {
    FrameLog frames;
    D3DPresentEngine engine;
    BYTE* dib = nullptr;
    EXPECT_EQ(engine.GrabFrame(&dib, 2, 2, nullptr), MF_E_NOT_INITIALIZED);
    auto sample = TwoByTwo();
    ASSERT_EQ(engine.PresentSample(sample.Get(), 0), S_OK);  // no window yet: kept for grabs only
    EXPECT_TRUE(frames.Frames().empty());
    ASSERT_EQ(engine.SetVideoWindow(frames.Window()), S_OK);
    const RECT destination{10, 20, 30, 40};
    engine.SetDestinationRect(destination);
    EXPECT_EQ(engine.PresentSample(nullptr, 0), S_OK);  // nothing shown
    ASSERT_EQ(engine.PresentSample(sample.Get(), 0), S_OK);
    ASSERT_EQ(frames.Frames().size(), 1u);
    EXPECT_EQ(frames.Frames()[0].destination, destination);
    EXPECT_EQ(engine.ShownSample(), sample.Get());
    engine.OnReleaseResources();
    EXPECT_EQ(engine.ShownSample(), nullptr);

    EXPECT_EQ(engine.GrabFrame(&dib, 0, 2, nullptr), E_INVALIDARG);
    EXPECT_EQ(engine.GrabFrame(&dib, D3DPresentEngine::kMaxGrabSide + 1, 1, nullptr), E_INVALIDARG);
    DWORD size = 0;
    ASSERT_EQ(engine.GrabFrame(&dib, 4, 4, &size), S_OK);  // twice the size: each pixel doubled
    EXPECT_EQ(size, 64u);
    // Bottom-up: the DIB's first row is the picture's bottom row, blue then white.
    const BYTE expectFirstRow[16] = {0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(dib, expectFirstRow, 16), 0);
    const BYTE* lastRow = dib + 48;  // red then green
    EXPECT_EQ(lastRow[2], 0xFF);
    EXPECT_EQ(lastRow[1], 0);
    EXPECT_EQ(lastRow[9], 0xFF);
    EXPECT_EQ(lastRow[10], 0);
    CoTaskMemFree(dib);
}

IVideoSurface* SurfaceOf(IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IVideoSurface> surface;
    sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
    MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                 reinterpret_cast<void**>(surface.ReleaseAndGetAddressOf()));
    return surface.Get();  // the sample keeps it
}

TEST(D3DPresentEngine, TakesTheDecodedFrameWithThePictureAndGrabsAFullSizePictureGiven) {
    D3DPresentEngine engine;
    auto first = TwoByTwo(), second = TwoByTwo();
    const std::shared_ptr<const AVFrame> frame(MakeFrame().release(), FrameDeleter{});
    SurfaceOf(first.Get())->SetSourceFrame(frame);
    ASSERT_EQ(engine.PresentSample(first.Get(), 0), S_OK);
    EXPECT_EQ(engine.ShownSourceFrame(), frame);
    // The surface lets go of it: a sample back in the pool holds no frame from the decoder.
    std::shared_ptr<const AVFrame> left;
    SurfaceOf(first.Get())->GetSourceFrame(&left);
    EXPECT_EQ(left, nullptr);
    ASSERT_EQ(engine.PresentSample(first.Get(), 0), S_OK);  // shown again, not drawn into
    EXPECT_EQ(engine.ShownSourceFrame(), frame);
    ASSERT_EQ(engine.PresentSample(second.Get(), 0), S_OK);  // a picture of no known frame
    EXPECT_EQ(engine.ShownSourceFrame(), nullptr);

    // A full-size picture given is grabbed in place of the one on screen.
    QImage full(4, 2, QImage::Format_RGB32);
    full.fill(0xFF102030u);
    BYTE* dib = nullptr;
    DWORD size = 0;
    ASSERT_EQ(engine.GrabFrame(&dib, 4, 2, &size, &full), S_OK);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(dib[0], 0x30);
    EXPECT_EQ(dib[1], 0x20);
    EXPECT_EQ(dib[2], 0x10);
    CoTaskMemFree(dib);
}

}  // namespace
}  // namespace orv::presentertest
