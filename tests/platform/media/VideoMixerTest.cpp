// The mixer as the presenter sees it: colour conversion of decoded frames as the stream tags
// them, the output types, repaints, the zoom and output rectangles and the overlay bitmap.
#include <cstdlib>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "ProbePresenter.h"
#include "SessionHelpers.h"
#include "platform/media/FrameConverter.h"
#include "platform/media/VideoMixer.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace orv::mediatest {
namespace {

// 75% colour bars: white, yellow, cyan, green, magenta, red, blue, in 8-bit limited range.
// Every bar shows R, G and B of 0 or 191 (75% of 255) when converted with the right matrix.
const std::vector<YuvBar> kBars709 = {{180, 128, 128}, {168, 44, 136}, {145, 147, 44}, {133, 63, 52},
                                      {63, 193, 204},  {51, 109, 212}, {28, 212, 120}};
const std::vector<YuvBar> kBars601 = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                                      {84, 184, 198},  {65, 100, 212}, {35, 212, 114}};
// The same bars in full range (BT.709): Y' = 255 x luma, C = 128 + 255 x (colour difference).
const std::vector<YuvBar> kBars709Full = {{191, 128, 128}, {177, 32, 137}, {150, 150, 32}, {137, 54, 41},
                                          {54, 202, 215},  {41, 106, 223}, {14, 223, 119}};
const QRgb kExpected[7] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                           qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191)};

// The first picture of a movie as the presenter receives it.
QImage FirstPicture(const std::string& path) {
    auto probe = AdoptRef(new ProbeActivate);
    Player p;
    if (FAILED(OpenPlayer(path, {0, probe.Get()}, &p)) || !p.events->WaitFor(MESessionTopologyStatus)) return {};
    StartAt(p.session.Get(), 0);
    p.session->Pause();
    QImage picture;
    if (probe->Presenter()->WaitPulled(1)) picture = probe->Presenter()->PulledFrames().front().picture;
    ClosePlayer(p);
    return picture;
}

void ExpectBars(const QImage& picture, int tolerance, const char* what) {
    ASSERT_FALSE(picture.isNull()) << what;
    for (int i = 0; i < 7; ++i) {
        const QRgb got = picture.pixel((2 * i + 1) * picture.width() / 14, picture.height() / 2);
        const QRgb want = kExpected[i];
        EXPECT_LE(std::abs(qRed(got) - qRed(want)), tolerance) << what << " bar " << i;
        EXPECT_LE(std::abs(qGreen(got) - qGreen(want)), tolerance) << what << " bar " << i;
        EXPECT_LE(std::abs(qBlue(got) - qBlue(want)), tolerance) << what << " bar " << i;
    }
}

TEST(VideoMixer, ConvertsWithTheMatrixAndRangeTheStreamIsTaggedWith) {
    struct Case {
        const char* name;
        const std::vector<YuvBar>* bars;
        const char* matrix;
        const char* range;
        int width, height;
    };
    const Case cases[] = {
        {"bt709 limited", &kBars709, "bt709", "tv", 448, 256},
        {"bt601 limited", &kBars601, "smpte170m", "tv", 448, 256},
        {"bt709 full", &kBars709Full, "bt709", "pc", 448, 256},
        // Untagged pictures: BT.709 from 720 lines up, BT.601 below.
        {"untagged hd", &kBars709, "", "", 1288, 720},
        {"untagged sd", &kBars601, "", "", 448, 256},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = TempPath("bars" + std::to_string(n++) + ".mp4");
        std::string error;
        ASSERT_TRUE(MakeColourMovie(c.width, c.height, *c.bars, c.matrix, c.range, path, &error)) << error;
        ExpectBars(FirstPicture(path), 4, c.name);
    }
    // The wrong matrix is visibly wrong: the test would see a mistake.
    const std::string path = TempPath("bars-mistagged.mp4");
    ASSERT_TRUE(MakeColourMovie(448, 256, kBars601, "bt709", "tv", path, nullptr));
    const QImage wrong = FirstPicture(path);
    EXPECT_GT(std::abs(qGreen(wrong.pixel(5 * 448 / 14, 128)) - 0), 8);  // magenta's green is off
}

// A 4:2:0 frame of 64 x 48 whose samples are value(plane, x, y).
template <class Value>
FramePtr Frame420(Value value) {
    FramePtr frame = MakeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 64;
    frame->height = 48;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? 48 : 24, cols = plane == 0 ? 64 : 32;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x)
                frame->data[plane][std::ptrdiff_t(y) * frame->linesize[plane] + x] = std::uint8_t(value(plane, x, y));
    }
    return frame;
}

// A flat grey frame of luma `y`.
FramePtr GreyFrame(int y) {
    return Frame420([y](int plane, int, int) { return plane == 0 ? y : 128; });
}

// One output of the mixer into a new sample of the size; a repaint when `desired` is given.
HRESULT Mix(IMFTransform& mixer, QSize size, const LONGLONG* desired, ComPtr<IVideoSurface>* surface) {
    HRESULT hr = MFCreateVideoSurface(UINT32(size.width()), UINT32(size.height()), D3DFMT_X8R8G8B8,
                                      surface->ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    ComPtr<IMFSample> sample;
    MFCreateVideoSampleFromSurface(surface->Get(), sample.ReleaseAndGetAddressOf());
    if (desired) {
        ComPtr<IMFDesiredSample> wish;
        sample.As(&wish);
        wish->SetDesiredSampleTimeAndDuration(*desired, 333333);
    }
    MFT_OUTPUT_DATA_BUFFER out;
    out.pSample = sample.Get();
    DWORD status = 0;
    return mixer.ProcessOutput(0, 1, &out, &status);
}

// The grey of one output of the mixer into a new 64 x 48 sample.
int MixedGrey(VideoMixer& mixer, const LONGLONG* desired, HRESULT* result) {
    ComPtr<IVideoSurface> surface;
    *result = Mix(mixer, QSize(64, 48), desired, &surface);
    QImage picture;
    if (surface) surface->GetImage(&picture);
    return picture.isNull() ? -1 : qGray(picture.pixel(32, 24));
}

TEST(VideoMixer, ARepaintDrawsThePictureOfItsTimeNotTheNewestMixed) {
    constexpr LONGLONG kInterval = 333333;
    auto mixer = AdoptRef(new VideoMixer);
    ComPtr<IMFMediaType> input, output;
    MFCreateMediaType(input.ReleaseAndGetAddressOf());
    input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    MFSetAttributeSize(input.Get(), MF_MT_FRAME_SIZE, 64, 48);
    MFSetAttributeRatio(input.Get(), MF_MT_FRAME_RATE, 30, 1);
    mixer->SetInputType(input.Get());
    ASSERT_EQ(mixer->GetOutputAvailableType(0, 0, output.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(mixer->SetOutputType(0, output.Get(), 0), S_OK);
    mixer->SetFlow(VideoMixer::Flow::Open);
    HRESULT hr = S_OK;
    MixedGrey(*mixer.Get(), &kInterval, &hr);
    EXPECT_EQ(hr, MF_E_TRANSFORM_NEED_MORE_INPUT);  // nothing mixed yet: nothing to repaint

    // Frames 0..5 mixed one after the other, as the presenter takes them ahead of the clock.
    std::vector<int> grey;
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(mixer->TakeFrame(GreyFrame(30 + 30 * k), k * kInterval, kInterval, 0));
        grey.push_back(MixedGrey(*mixer.Get(), nullptr, &hr));
        ASSERT_EQ(hr, S_OK);
    }
    struct Case {
        LONGLONG time;  // of the picture on screen
        int frame;      // the one drawn again
    };
    for (const Case c : {Case{5 * kInterval, 5}, Case{3 * kInterval, 3}, Case{4 * kInterval + 1000, 4},
                         Case{2 * kInterval, 2}, Case{-1, 5}}) {
        EXPECT_EQ(MixedGrey(*mixer.Get(), &c.time, &hr), grey[std::size_t(c.frame)]) << c.time;
        EXPECT_EQ(hr, S_OK);
    }
}

// A frame with detail in every plane, so that a scaler's choices show.
FramePtr PatternFrame() {
    return Frame420([](int plane, int x, int y) {
        return 16 + (x * (7 + plane) + y * (3 + 2 * plane) + (x * y) % 23) % 220;
    });
}

// The reference: swscale's picture of the frame in one pass, as 32-bit pixels at width x
// height (an untagged small frame: BT.601, limited range, into full-range RGB).
QImage OnePass(const AVFrame* frame, int width, int height) {
    SwsContext* context =
        sws_getContext(frame->width, frame->height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_RGB32,
                       FrameConverter::ScalerFlags(frame->width, frame->height, width, height), nullptr, nullptr, nullptr);
    if (!context) return {};
    sws_setColorspaceDetails(context, sws_getCoefficients(SWS_CS_ITU601), 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             0, 1 << 16, 1 << 16);
    const int pitch = (width * 4 + 63) / 64 * 64;
    std::vector<std::uint8_t> bits(std::size_t(pitch) * std::size_t(height) + 256);
    std::uint8_t* planes[4] = {bits.data(), nullptr, nullptr, nullptr};
    int pitches[4] = {pitch, 0, 0, 0};
    const int rows = sws_scale(context, frame->data, frame->linesize, 0, frame->height, planes, pitches);
    sws_freeContext(context);
    if (rows != height) return {};
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), bits.data() + std::size_t(y) * std::size_t(pitch), std::size_t(width) * 4);
    return picture;
}

TEST(VideoMixer, ConvertsEachPictureInOnePassToItsSurfacesSizeAndRemakesItAtAnySize) {
    auto mixer = AdoptRef(new VideoMixer);
    ComPtr<IMFMediaType> input, output;
    MFCreateMediaType(input.ReleaseAndGetAddressOf());
    input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    MFSetAttributeSize(input.Get(), MF_MT_FRAME_SIZE, 64, 48);
    mixer->SetInputType(input.Get());
    ASSERT_EQ(mixer->GetOutputAvailableType(0, 0, output.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(mixer->SetOutputType(0, output.Get(), 0), S_OK);
    mixer->SetFlow(VideoMixer::Flow::Open);
    ComPtr<IMFVideoFrameRenderer> renderer;
    ASSERT_EQ(ComPtr<IMFTransform>(mixer.Get()).As(&renderer), S_OK);

    // The native size, smaller, larger, and odd sides with another shape.
    const QSize sizes[] = {{64, 48}, {40, 30}, {100, 76}, {33, 17}};
    LONGLONG time = 0;
    for (const QSize size : sizes) {
        FramePtr frame = PatternFrame();
        ASSERT_TRUE(frame);
        const QImage reference = OnePass(frame.get(), size.width(), size.height());
        ASSERT_FALSE(reference.isNull());
        const AVFrame* fed = frame.get();
        ASSERT_TRUE(mixer->TakeFrame(std::move(frame), time, 333333, 0));
        time += 333333;

        ComPtr<IVideoSurface> surface;
        ASSERT_EQ(Mix(*mixer.Get(), size, nullptr, &surface), S_OK);
        QImage mixed;
        surface->GetImage(&mixed);
        EXPECT_EQ(mixed.convertToFormat(QImage::Format_RGB32), reference) << size.width() << "x" << size.height();

        // The surface keeps the decoded frame itself, and the picture made from it again at
        // any size is the one-pass picture of that size.
        std::shared_ptr<const AVFrame> source;
        ASSERT_EQ(surface->GetSourceFrame(&source), S_OK);
        EXPECT_EQ(source.get(), fed);
        QImage remade;
        ASSERT_EQ(renderer->RenderFrame(source.get(), MFVideoNormalizedRect{}, 64, 48, &remade), S_OK);
        EXPECT_EQ(remade.convertToFormat(QImage::Format_RGB32), OnePass(source.get(), 64, 48));
        ASSERT_EQ(renderer->RenderFrame(source.get(), MFVideoNormalizedRect{}, 100, 76, &remade), S_OK);
        EXPECT_EQ(remade.convertToFormat(QImage::Format_RGB32), OnePass(source.get(), 100, 76));
        // A surface filled afresh no longer holds a picture of the frame.
        surface->ColorFill(0xFF000000u);
        ASSERT_EQ(surface->GetSourceFrame(&source), S_OK);
        EXPECT_EQ(source, nullptr);
    }
    QImage none;
    EXPECT_EQ(renderer->RenderFrame(nullptr, MFVideoNormalizedRect{}, 64, 48, &none), E_INVALIDARG);
    FramePtr frame = PatternFrame();
    EXPECT_EQ(renderer->RenderFrame(frame.get(), MFVideoNormalizedRect{}, 0, 48, &none), E_INVALIDARG);
    EXPECT_TRUE(none.isNull());
}

// A session paused on frame `frame`, with the probe's mixer for repaints.
class PausedMixer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OpenPlayer(StripeMoviePath({}), {0, probe_.Get()}, &player_), S_OK);
        ASSERT_TRUE(player_.events->WaitFor(MESessionTopologyStatus));
        StartAt(player_.session.Get(), FrameTime(kFrame, 30.0));
        player_.session->Pause();
        ASSERT_TRUE(probe_->Presenter()->WaitPulled(1));
        mixer_ = probe_->Presenter()->Mixer();
        ASSERT_TRUE(mixer_);
    }
    void TearDown() override { ClosePlayer(player_); }

    // Asks the mixer to render its last picture again.
    QImage Repaint(HRESULT* result = nullptr) {
        ComPtr<IVideoSurface> surface;
        MFCreateVideoSurface(320, 240, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
        ComPtr<IMFSample> sample;
        MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
        ComPtr<IMFDesiredSample> desired;
        sample.As(&desired);
        desired->SetDesiredSampleTimeAndDuration(777, 333333);
        MFT_OUTPUT_DATA_BUFFER out;
        out.pSample = sample.Get();
        DWORD status = 0;
        const HRESULT hr = mixer_->ProcessOutput(0, 1, &out, &status);
        if (result) *result = hr;
        LONGLONG time = 0;
        sample->GetSampleTime(&time);
        EXPECT_EQ(time, 777);
        QImage picture;
        surface->GetImage(&picture);
        return picture;
    }

    static constexpr int kFrame = 21;  // bits 0000 0001 0101, check 0011
    ComPtr<ProbeActivate> probe_ = AdoptRef(new ProbeActivate);
    Player player_;
    ComPtr<IMFTransform> mixer_;
};

TEST_F(PausedMixer, OffersThirtyTwoBitTypesAndRepaintsTheLastPicture) {
    ComPtr<IMFMediaType> type;
    GUID subtype;
    ASSERT_EQ(mixer_->GetOutputAvailableType(0, 0, type.ReleaseAndGetAddressOf()), S_OK);
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_TRUE(subtype == MFVideoFormat_RGB32);
    UINT32 w = 0, h = 0;
    MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h);
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 240u);
    MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &w, &h);
    EXPECT_EQ(double(w) / h, 30.0);
    ASSERT_EQ(mixer_->GetOutputAvailableType(0, 1, type.ReleaseAndGetAddressOf()), S_OK);
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_TRUE(subtype == MFVideoFormat_ARGB32);
    EXPECT_EQ(mixer_->GetOutputAvailableType(0, 2, type.ReleaseAndGetAddressOf()), MF_E_NO_MORE_TYPES);
    EXPECT_EQ(mixer_->GetOutputAvailableType(1, 0, type.ReleaseAndGetAddressOf()), MF_E_INVALIDSTREAMNUMBER);
    // A compressed type is refused.
    ComPtr<IMFMediaType> h264;
    MFCreateMediaType(h264.ReleaseAndGetAddressOf());
    h264->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    h264->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
    MFSetAttributeSize(h264.Get(), MF_MT_FRAME_SIZE, 320, 240);
    EXPECT_EQ(mixer_->SetOutputType(0, h264.Get(), MFT_SET_TYPE_TEST_ONLY), MF_E_INVALIDMEDIATYPE);

    // Paused: no new input, but the picture on screen can be rendered again.
    ComPtr<IVideoSurface> surface;
    MFCreateVideoSurface(320, 240, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
    ComPtr<IMFSample> sample;
    MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
    MFT_OUTPUT_DATA_BUFFER out;
    out.pSample = sample.Get();
    DWORD status = 0;
    EXPECT_EQ(mixer_->ProcessOutput(0, 1, &out, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    EXPECT_EQ(ReadStripeNumber(Repaint()), kFrame);
}

TEST_F(PausedMixer, LaysTheOverlayBitmapOverThePicture) {
    auto bitmap = Service<IMFVideoMixerBitmap>(player_.session.Get(), MR_VIDEO_MIXER_SERVICE);
    ASSERT_TRUE(bitmap);
    MFVideoAlphaBitmapParams params;
    EXPECT_EQ(bitmap->GetAlphaBitmapParameters(&params), MF_E_NOT_INITIALIZED);
    // Green text cells on black, as the overlay text is drawn; black is the colour key.
    QImage overlay(64, 32, QImage::Format_RGB32);
    overlay.fill(qRgb(0, 0, 0));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) overlay.setPixel(x, y, qRgb(0, 255, 0));
    MFVideoAlphaBitmap a;
    a.bitmap = overlay;
    a.params.dwFlags = MFVideoAlphaBitmap_SrcColorKey | MFVideoAlphaBitmap_DestRect | MFVideoAlphaBitmap_Alpha;
    a.params.clrSrcKey = RGB(0, 0, 0);
    a.params.nrcDest = MFVideoNormalizedRect{0.5f, 0.5f, 1.0f, 1.0f};
    a.params.fAlpha = 1.0f;
    ASSERT_EQ(bitmap->SetAlphaBitmap(&a), S_OK);
    const QImage plain = Repaint();
    // Destination 160..320 x 120..240; the green half covers x 160..240.
    EXPECT_EQ(plain.pixel(200, 200), qRgb(0, 255, 0));
    const QImage reference = [&] {
        bitmap->ClearAlphaBitmap();
        return Repaint();
    }();
    EXPECT_EQ(plain.pixel(280, 200), reference.pixel(280, 200));  // keyed black: the picture shows
    EXPECT_EQ(plain.pixel(100, 200), reference.pixel(100, 200));  // outside the destination
    EXPECT_EQ(plain.pixel(200, 60), reference.pixel(200, 60));

    // Half transparent, moved by a parameter update.
    ASSERT_EQ(bitmap->SetAlphaBitmap(&a), S_OK);
    MFVideoAlphaBitmapParams update;
    update.dwFlags = MFVideoAlphaBitmap_Alpha | MFVideoAlphaBitmap_DestRect;
    update.fAlpha = 0.5f;
    update.nrcDest = MFVideoNormalizedRect{0.0f, 0.0f, 0.5f, 0.5f};
    ASSERT_EQ(bitmap->UpdateAlphaBitmapParameters(&update), S_OK);
    const QImage faded = Repaint();
    const QRgb under = reference.pixel(40, 60), got = faded.pixel(40, 60);
    EXPECT_NEAR(qGreen(got), (qGreen(under) + 255) / 2, 3);
    EXPECT_NEAR(qRed(got), qRed(under) / 2, 3);
    EXPECT_EQ(faded.pixel(200, 200), reference.pixel(200, 200));
    ASSERT_EQ(bitmap->GetAlphaBitmapParameters(&params), S_OK);
    EXPECT_EQ(params.fAlpha, 0.5f);
    EXPECT_EQ(params.clrSrcKey, RGB(0, 0, 0));

    update.dwFlags = MFVideoAlphaBitmap_DestRect;
    update.nrcDest = MFVideoNormalizedRect{0.5f, 0.0f, 1.5f, 1.0f};
    EXPECT_EQ(bitmap->UpdateAlphaBitmapParameters(&update), E_INVALIDARG);
    a.params.dwFlags = MFVideoAlphaBitmap_SrcRect;
    a.params.rcSrc = RECT{0, 0, 65, 32};
    EXPECT_EQ(bitmap->SetAlphaBitmap(&a), E_INVALIDARG);
    a.bitmap = QImage();
    EXPECT_EQ(bitmap->SetAlphaBitmap(&a), E_INVALIDARG);
}

TEST_F(PausedMixer, RendersTheZoomRectangleAndIntoTheOutputRectangle) {
    const QImage whole = Repaint();
    ComPtr<IMFAttributes> attributes;
    ASSERT_EQ(mixer_->GetAttributes(attributes.ReleaseAndGetAddressOf()), S_OK);
    // The right half of the frame, stretched over the whole output.
    const MFVideoNormalizedRect right{0.5f, 0.0f, 1.0f, 1.0f};
    attributes->SetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<const BYTE*>(&right), sizeof right);
    const QImage zoomed = Repaint();
    for (int band = 0; band < 8; ++band)  // 40-pixel bands now, showing the frame's bands 8..15
        EXPECT_EQ(qGreen(zoomed.pixel((2 * band + 1) * 20, 120)) > 128,
                  qGreen(whole.pixel((2 * (band + 8) + 1) * 10, 120)) > 128)
            << band;
    const MFVideoNormalizedRect all{};
    attributes->SetBlob(VIDEO_ZOOM_RECT, reinterpret_cast<const BYTE*>(&all), sizeof all);

    auto control = Service<IMFVideoMixerControl>(player_.session.Get(), MR_VIDEO_MIXER_SERVICE);
    ASSERT_TRUE(control);
    const MFVideoNormalizedRect quarter{0.0f, 0.0f, 0.5f, 0.5f};
    ASSERT_EQ(control->SetStreamOutputRect(0, &quarter), S_OK);
    const QImage small = Repaint();
    EXPECT_EQ(small.pixel(250, 200), qRgb(0, 0, 0));
    EXPECT_EQ(ReadStripeNumber(small.copy(0, 0, 160, 120)), kFrame);
    MFVideoNormalizedRect read;
    EXPECT_EQ(control->GetStreamOutputRect(0, &read), S_OK);
    EXPECT_EQ(read, quarter);
    const MFVideoNormalizedRect bad{0.5f, 0.0f, 0.25f, 1.0f};
    EXPECT_EQ(control->SetStreamOutputRect(0, &bad), E_INVALIDARG);
    EXPECT_EQ(control->SetStreamZOrder(0, 0), S_OK);
    EXPECT_EQ(control->SetStreamZOrder(0, 1), E_INVALIDARG);
    EXPECT_EQ(control->SetStreamZOrder(1, 0), MF_E_INVALIDSTREAMNUMBER);
}

}  // namespace
}  // namespace orv::mediatest
