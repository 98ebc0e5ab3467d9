// The presenter driven through the presenter contract by hand, with a mixer, a clock and an
// event sink standing in for the video renderer's.
#include <cfloat>
#include <thread>

#include <gtest/gtest.h>

#include "PresenterRig.h"
#include "fixtures/WaitUntil.h"

namespace orv::presentertest {
namespace {

using fixtures::WaitUntil;

constexpr LONGLONG kSecond = 10000000;

template <class I>
ComPtr<I> Query(IUnknown* object) {
    ComPtr<I> out;
    object->QueryInterface(I::kIid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    return out;
}

FakeMixer::Options Sized(UINT32 width, UINT32 height) {
    FakeMixer::Options o;
    o.width = width;
    o.height = height;
    return o;
}

TEST(EVRCustomPresenter, AnswersItsInterfacesAndIsShutDownOutsideTheServicePointers) {
    PresenterRig rig;
    IUnknown* self = static_cast<IMFGetService*>(rig.presenter.Get());
    EXPECT_EQ(Query<IUnknown>(self).Get(), self);  // the identity is the IMFGetService
    EXPECT_TRUE(Query<IMFVideoPresenter>(self));
    EXPECT_TRUE(Query<IMFVideoDisplayControl>(self));
    EXPECT_TRUE(Query<IMFRateSupport>(self));
    EXPECT_TRUE(Query<IMFTopologyServiceLookupClient>(self));
    EXPECT_FALSE(Query<IMFClockStateSink>(self));  // reached through IMFVideoPresenter only
    IID device;
    EXPECT_EQ(rig.presenter->GetDeviceID(&device), S_OK);
    EXPECT_TRUE(device == IID_IDirect3DDevice9);

    EXPECT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), MF_E_SHUTDOWN);
    SIZE size, ratio;
    EXPECT_EQ(rig.presenter->GetNativeVideoSize(&size, &ratio), MF_E_NOT_INITIALIZED);
    ASSERT_EQ(rig.Start(), S_OK);
    EXPECT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_TYPE(8), 0), E_INVALIDARG);
    // A new window is a display change for the renderer; the same one again is not.
    EXPECT_EQ(rig.events->Events(EC_DISPLAY_CHANGED).size(), 1u);
    EXPECT_EQ(rig.presenter->SetVideoWindow(rig.frames.Window()), S_OK);
    EXPECT_EQ(rig.presenter->SetVideoWindow(0), E_INVALIDARG);
    const HWND gone = RegisterAppWindow([](unsigned, WPARAM, LPARAM) {});
    UnregisterAppWindow(gone);
    EXPECT_EQ(rig.presenter->SetVideoWindow(gone), E_INVALIDARG);
    EXPECT_EQ(rig.events->Events(EC_DISPLAY_CHANGED).size(), 1u);
    HWND window = 0;
    EXPECT_EQ(rig.presenter->GetVideoWindow(&window), S_OK);
    EXPECT_EQ(window, rig.frames.Window());
    ComPtr<IMFVideoDisplayControl> display;
    EXPECT_EQ(rig.presenter->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl,
                                        reinterpret_cast<void**>(display.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(rig.presenter->GetService(MR_VIDEO_MIXER_SERVICE, IID_IMFVideoDisplayControl,
                                        reinterpret_cast<void**>(display.ReleaseAndGetAddressOf())),
              MF_E_UNSUPPORTED_SERVICE);

    EXPECT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    ServiceLookup lookup(rig.clock.Get(), static_cast<IMFTransform*>(rig.mixer.Get()), rig.events.Get());
    EXPECT_EQ(rig.presenter->InitServicePointers(&lookup), MF_E_INVALIDREQUEST);  // while started

    EXPECT_EQ(rig.presenter->ReleaseServicePointers(), S_OK);
    float rate = -1;
    EXPECT_EQ(rig.presenter->GetSlowestRate(MFRATE_FORWARD, FALSE, &rate), MF_E_SHUTDOWN);
    EXPECT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_PROCESSINPUTNOTIFY, 0), MF_E_SHUTDOWN);
    EXPECT_EQ(rig.presenter->RepaintVideo(), MF_E_SHUTDOWN);
    // The display control keeps answering from what it knows.
    EXPECT_EQ(rig.presenter->GetNativeVideoSize(&size, &ratio), S_OK);
    EXPECT_EQ(rig.presenter->SetAspectRatioMode(MFVideoARMode_None), S_OK);
    DWORD mode = 99;
    EXPECT_EQ(rig.presenter->GetAspectRatioMode(&mode), S_OK);
    EXPECT_EQ(mode, DWORD(MFVideoARMode_None));
}

TEST(EVRCustomPresenter, NeedsAMixerOfItsDeviceAndAnEventSinkButNoClock) {
    FakeMixer::Options other;
    other.device = MakeGuid("00000000-0000-0000-0000-000000000001");
    PresenterRig wrongDevice(other);
    ServiceLookup a(nullptr, static_cast<IMFTransform*>(wrongDevice.mixer.Get()), wrongDevice.events.Get());
    EXPECT_EQ(wrongDevice.presenter->InitServicePointers(&a), MF_E_INVALIDREQUEST);

    PresenterRig rig;
    ServiceLookup noMixer(rig.clock.Get(), nullptr, rig.events.Get());
    EXPECT_EQ(rig.presenter->InitServicePointers(&noMixer), MF_E_UNSUPPORTED_SERVICE);
    ServiceLookup noEvents(rig.clock.Get(), static_cast<IMFTransform*>(rig.mixer.Get()), nullptr);
    EXPECT_EQ(rig.presenter->InitServicePointers(&noEvents), MF_E_UNSUPPORTED_SERVICE);
    EXPECT_EQ(rig.presenter->OnClockStart(0, 0), MF_E_SHUTDOWN);
    // Without a clock every picture is shown as soon as it is mixed, whatever its time.
    ServiceLookup noClock(nullptr, static_cast<IMFTransform*>(rig.mixer.Get()), rig.events.Get());
    ASSERT_EQ(rig.presenter->InitServicePointers(&noClock), S_OK);
    ASSERT_EQ(rig.presenter->SetVideoWindow(rig.frames.Window()), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_INVALIDATEMEDIATYPE, 0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    rig.Feed(1, 1000 * kSecond);
    rig.Feed(2, 2000 * kSecond);
    ASSERT_TRUE(rig.frames.WaitForCount(2));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{1, 2}));
}

TEST(EVRCustomPresenter, NegotiatesTheNativeSizeAndReportsItsAspectRatio) {
    struct Case {
        UINT32 width, height;
        int ratioX, ratioY;
    };
    for (const Case c : {Case{1920, 1080, 16, 9}, Case{1440, 1080, 4, 3}, Case{1280, 720, 16, 9}}) {
        PresenterRig rig(Sized(c.width, c.height));
        ASSERT_EQ(rig.Start(), S_OK);
        SIZE size, ratio;
        ASSERT_EQ(rig.presenter->GetNativeVideoSize(&size, &ratio), S_OK);
        EXPECT_EQ(size, (SIZE{int(c.width), int(c.height)}));
        EXPECT_EQ(ratio, (SIZE{c.ratioX, c.ratioY}));
        EXPECT_EQ(rig.presenter->GetNativeVideoSize(&size, nullptr), E_POINTER);
        EXPECT_TRUE(rig.mixer->HasOutputType());

        ComPtr<IMFVideoMediaType> type;
        ASSERT_EQ(rig.presenter->GetCurrentMediaType(type.ReleaseAndGetAddressOf()), S_OK);
        UINT32 w = 0, h = 0, range = 0;
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        MFGetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, &w, &h);
        EXPECT_EQ(w, 1u);
        EXPECT_EQ(h, 1u);
        type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range);
        EXPECT_EQ(range, UINT32(MFNominalRange_16_235));
        MFVideoArea area;
        UINT32 bytes = 0;
        ASSERT_EQ(type->GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<BYTE*>(&area), sizeof area, &bytes),
                  S_OK);
        EXPECT_EQ(area.Area, (SIZE{int(c.width), int(c.height)}));
        EXPECT_EQ(area.OffsetX.value, 0);
    }
}

TEST(EVRCustomPresenter, PresentsTheNativePictureIntoLetterboxAndPillarboxDestinations) {
    PresenterRig wide(Sized(1280, 720));
    ASSERT_EQ(wide.Start(), S_OK);
    wide.Feed(3, 0);  // stopped: the one picture after a flush is shown at once
    ASSERT_TRUE(wide.frames.WaitForCount(1));
    EXPECT_EQ(wide.frames.Frames()[0].destination, RECT{});  // empty: the whole window

    const RECT letterbox{0, 60, 640, 420};  // 16:9 in a 640 x 480 window
    ASSERT_EQ(wide.presenter->SetVideoPosition(nullptr, &letterbox), S_OK);
    ASSERT_TRUE(wide.frames.WaitForCount(2));  // repainted at the new place
    const auto shown = wide.frames.Frames();
    EXPECT_EQ(shown[1].number, 3);
    EXPECT_EQ(shown[1].destination, letterbox);
    EXPECT_EQ(shown[1].picture.size(), QSize(1280, 720));  // the window scales it

    const RECT reversed{100, 0, 50, 10};
    const MFVideoNormalizedRect outside{0.0f, 0.0f, 1.5f, 1.0f};
    EXPECT_EQ(wide.presenter->SetVideoPosition(nullptr, &reversed), E_INVALIDARG);
    EXPECT_EQ(wide.presenter->SetVideoPosition(&outside, nullptr), E_INVALIDARG);
    EXPECT_EQ(wide.presenter->SetVideoPosition(nullptr, nullptr), E_POINTER);
    const MFVideoNormalizedRect zoom{0.25f, 0.25f, 0.75f, 0.75f};
    EXPECT_EQ(wide.presenter->SetVideoPosition(&zoom, nullptr), S_OK);
    EXPECT_EQ(wide.mixer->ZoomRect(), zoom);
    MFVideoNormalizedRect source;
    RECT destination;
    EXPECT_EQ(wide.presenter->GetVideoPosition(&source, &destination), S_OK);
    EXPECT_EQ(source, zoom);
    EXPECT_EQ(destination, letterbox);

    PresenterRig narrow(Sized(1440, 1080));
    ASSERT_EQ(narrow.Start(), S_OK);
    narrow.Feed(8, 0);
    const RECT pillarbox{80, 0, 560, 360};  // 4:3 in a 640 x 360 window
    ASSERT_EQ(narrow.presenter->SetVideoPosition(nullptr, &pillarbox), S_OK);
    ASSERT_TRUE(narrow.frames.WaitForCount(2));
    EXPECT_EQ(narrow.frames.Frames()[1].destination, pillarbox);
    EXPECT_EQ(narrow.frames.Frames()[1].number, 8);
}

TEST(EVRCustomPresenter, MakesItsPicturesAtTheShownPartOfTheDestinationAndFollowsResizes) {
    PresenterRig rig(Sized(1280, 720));
    ASSERT_EQ(rig.Start(), S_OK);
    rig.Feed(3, 0);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    EXPECT_EQ(rig.frames.Frames()[0].picture.size(), QSize(1280, 720));  // no shown size yet

    const MFVideoNormalizedRect whole;
    struct Case {
        const char* name;
        SIZE client;  // 0 x 0: the window tells no size
        RECT destination;
        RECT shown;   // where the picture goes; its size is the picture's
        MFVideoNormalizedRect zoom;
    };
    const Case cases[] = {
        {"letterbox", {640, 480}, {0, 60, 640, 420}, {0, 60, 640, 420}, whole},
        {"window made smaller", {320, 240}, {0, 30, 320, 210}, {0, 30, 320, 210}, whole},
        {"zoomed twice about the centre", {640, 480}, {-320, -240, 960, 720}, {0, 0, 640, 480},
         {0.25f, 0.25f, 0.75f, 0.75f}},
        {"shifted half out of the window", {640, 480}, {320, 0, 960, 480}, {320, 0, 640, 480},
         {0.0f, 0.0f, 0.5f, 1.0f}},
        {"the whole window", {400, 300}, {0, 0, 0, 0}, {0, 0, 400, 300}, whole},
        {"an odd width, made even", {641, 481}, {0, 0, 641, 481}, {0, 0, 641, 481}, whole},
        {"size not told: native", {0, 0}, {0, 60, 640, 420}, {0, 60, 640, 420}, whole},
    };
    for (const Case& c : cases) {
        rig.frames.SetClientSize(c.client);
        const std::size_t before = rig.frames.Frames().size();
        ASSERT_EQ(rig.presenter->SetVideoPosition(nullptr, &c.destination), S_OK) << c.name;
        ASSERT_TRUE(rig.frames.WaitForCount(before + 1)) << c.name;
        const FrameLog::Shown shown = rig.frames.Frames().back();
        const QSize size = c.client.cx ? QSize((c.shown.Width() + 1) & ~1, c.shown.Height()) : QSize(1280, 720);
        EXPECT_EQ(shown.number, 3) << c.name;
        EXPECT_EQ(shown.picture.size(), size) << c.name;
        EXPECT_EQ(shown.destination, c.shown) << c.name;
        EXPECT_EQ(rig.mixer->ZoomRect(), c.zoom) << c.name;
        ComPtr<IMFVideoMediaType> type;
        ASSERT_EQ(rig.presenter->GetCurrentMediaType(type.ReleaseAndGetAddressOf()), S_OK);
        UINT32 w = 0, h = 0;
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h);
        EXPECT_EQ(QSize(int(w), int(h)), size) << c.name;
        // What the callers see stays as they set it, and the native size stays the movie's.
        MFVideoNormalizedRect source;
        RECT destination;
        ASSERT_EQ(rig.presenter->GetVideoPosition(&source, &destination), S_OK);
        EXPECT_EQ(destination, c.destination) << c.name;
        EXPECT_EQ(source, whole) << c.name;
        SIZE native, ratio;
        ASSERT_EQ(rig.presenter->GetNativeVideoSize(&native, &ratio), S_OK);
        EXPECT_EQ(native, (SIZE{1280, 720})) << c.name;
        BYTE* dib = nullptr;
        DWORD bytes = 0;
        ASSERT_EQ(rig.presenter->GetCurrentImage(nullptr, &dib, &bytes, nullptr), S_OK) << c.name;
        EXPECT_EQ(bytes, 1280u * 720u * 4u) << c.name;
        CoTaskMemFree(dib);
    }

    // Playing on through a resize: the pictures keep their order and take the new size.
    rig.frames.SetClientSize(SIZE{640, 480});
    const RECT wide{0, 60, 640, 420};
    ASSERT_EQ(rig.presenter->SetVideoPosition(nullptr, &wide), S_OK);
    rig.clock->Set(0, true);
    ASSERT_EQ(rig.presenter->OnClockStart(MFGetSystemTime(), 0), S_OK);
    const std::size_t start = rig.frames.Frames().size();
    for (int i = 10; i < 14; ++i) ASSERT_EQ(rig.Feed(i, (i - 10) * kFrame), S_OK);
    ASSERT_TRUE(rig.frames.WaitForCount(start + 4));
    rig.frames.SetClientSize(SIZE{320, 240});
    const RECT small{0, 30, 320, 210};
    ASSERT_EQ(rig.presenter->SetVideoPosition(nullptr, &small), S_OK);
    for (int i = 14; i < 18; ++i) ASSERT_EQ(rig.Feed(i, (i - 10) * kFrame), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return rig.frames.Numbers().back() == 17; }, 10s));
    int last = -1;
    for (const FrameLog::Shown& f : rig.frames.Frames()) {
        if (f.number < 14) continue;
        EXPECT_GE(f.number, last);  // a repaint may show a picture again, never an older one
        last = f.number;
        EXPECT_EQ(f.picture.size(), QSize(320, 180)) << f.number;
    }
}

// A window that repaints places its picture again each time: only a new place or zoom makes
// a new picture.
TEST(EVRCustomPresenter, PlacingThePictureWhereItIsMakesNoNewPicture) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    rig.Feed(0, 0);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    ASSERT_EQ(rig.presenter->OnClockPause(0), S_OK);
    const RECT small{0, 0, 32, 24}, large{0, 0, 48, 36};
    const MFVideoNormalizedRect half{0.0f, 0.0f, 0.5f, 0.5f};
    const struct {
        const MFVideoNormalizedRect* source;
        const RECT* destination;
        std::size_t repaints;
    } steps[] = {{nullptr, &small, 1}, {nullptr, &small, 0}, {&half, &small, 1},
                 {&half, &small, 0},   {nullptr, &large, 1}, {&half, &large, 0}};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const std::size_t before = rig.mixer->Repaints().size();
        ASSERT_EQ(rig.presenter->SetVideoPosition(steps[i].source, steps[i].destination), S_OK) << i;
        EXPECT_EQ(rig.mixer->Repaints().size() - before, steps[i].repaints) << "step " << i;
    }
}

TEST(EVRCustomPresenter, ShowsEveryFrameUnthinnedUpToTheDisplaysRefreshRate) {
    D3DPresentEngine::SetDisplayRefreshRate(60);
    PresenterRig rig;  // 30 frames per second
    ASSERT_EQ(rig.Start(), S_OK);
    float rate = 0, nearest = 0;
    EXPECT_EQ(rig.presenter->GetFastestRate(MFRATE_FORWARD, FALSE, &rate), S_OK);
    EXPECT_EQ(rate, 2.0f);
    EXPECT_EQ(rig.presenter->GetFastestRate(MFRATE_REVERSE, FALSE, &rate), S_OK);
    EXPECT_EQ(rate, -2.0f);
    EXPECT_EQ(rig.presenter->GetFastestRate(MFRATE_FORWARD, TRUE, &rate), S_OK);
    EXPECT_EQ(rate, FLT_MAX);
    EXPECT_EQ(rig.presenter->GetSlowestRate(MFRATE_FORWARD, FALSE, &rate), S_OK);
    EXPECT_EQ(rate, 0.0f);
    EXPECT_EQ(rig.presenter->IsRateSupported(FALSE, 4.0f, &nearest), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(nearest, 2.0f);
    EXPECT_EQ(rig.presenter->IsRateSupported(FALSE, -3.0f, &nearest), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(nearest, -2.0f);
    EXPECT_EQ(rig.presenter->IsRateSupported(FALSE, 2.0f, nullptr), S_OK);
    EXPECT_EQ(rig.presenter->IsRateSupported(TRUE, 4.0f, &nearest), S_OK);
    EXPECT_EQ(nearest, 4.0f);

    FakeMixer::Options pal;
    pal.fpsNum = 25;
    PresenterRig slower(pal);
    ASSERT_EQ(slower.Start(), S_OK);
    EXPECT_EQ(slower.presenter->GetFastestRate(MFRATE_FORWARD, FALSE, &rate), S_OK);
    EXPECT_EQ(rate, 2.0f);  // 60 / 25 = 2.4, whole frames per refresh
}

TEST(EVRCustomPresenter, PlaysEveryFrameInOrderAndReportsTheMixingLatency) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    rig.clock->Set(0, true);
    ASSERT_EQ(rig.presenter->OnClockStart(MFGetSystemTime(), 0), S_OK);
    for (int i = 0; i < 12; ++i) ASSERT_EQ(rig.Feed(i, i * kFrame), S_OK);
    ASSERT_TRUE(rig.frames.WaitForCount(12));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    const auto latencies = rig.events->Events(EC_PROCESSING_LATENCY);
    ASSERT_FALSE(latencies.empty());
    for (const auto& e : latencies) EXPECT_GE(e.latency, 0);
    UINT64 presented = 0;
    rig.presenter->GetFrameCounts(&presented, nullptr);
    EXPECT_EQ(presented, 12u);
}

TEST(EVRCustomPresenter, ShowsOnePictureWhileStoppedOrPausedAndGoesOnWhenStarted) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), S_OK);
    rig.Feed(5, 5 * kFrame);  // the clock stands at 0: shown anyway, as the picture of a seek
    rig.Feed(6, 6 * kFrame);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    EXPECT_EQ(rig.mixer->FramesWaiting(), 1u);  // no second picture while stopped
    rig.clock->Set(6 * kFrame, true);
    ASSERT_EQ(rig.presenter->OnClockStart(MFGetSystemTime(), 6 * kFrame), S_OK);
    ASSERT_TRUE(rig.frames.WaitForCount(2));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{5, 6}));
}

TEST(EVRCustomPresenter, APauseShowsThePictureDueWhereTheClockStoppedAndReportsItsTime) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    LONGLONG shown = -1;
    EXPECT_EQ(rig.presenter->GetShownSampleTime(&shown), S_FALSE);  // nothing on screen yet
    EXPECT_EQ(rig.presenter->GetShownSampleTime(nullptr), E_POINTER);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);  // the clock stands at 0
    for (int k = 0; k < 3; ++k) rig.Feed(k, k * kFrame);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    ASSERT_EQ(rig.presenter->GetShownSampleTime(&shown), S_OK);
    EXPECT_EQ(shown, 0);

    // The clock went on to a fifth into frame 1 and stopped there: frame 1 is due (from
    // three quarters of a frame ahead) and on screen when the pause returns; frame 2 waits.
    rig.clock->Set(kFrame + kFrame / 5, false);
    ASSERT_EQ(rig.presenter->OnClockPause(0), S_OK);
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{0, 1}));
    ASSERT_EQ(rig.presenter->GetShownSampleTime(&shown), S_OK);
    EXPECT_EQ(shown, kFrame);
    // A repaint shows the same picture with the same time.
    ASSERT_EQ(rig.presenter->RepaintVideo(), S_OK);
    ASSERT_TRUE(rig.frames.WaitForCount(3));
    ASSERT_EQ(rig.presenter->GetShownSampleTime(&shown), S_OK);
    EXPECT_EQ(shown, kFrame);

    // A flush (a seek) leaves no picture of its position until the next one is shown, also
    // when the picture is placed anew meanwhile: the picture before the seek is not shown
    // again as the seek's.
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), S_OK);
    EXPECT_EQ(rig.presenter->GetShownSampleTime(&shown), S_FALSE);
    const RECT moved{0, 0, 32, 24};
    ASSERT_EQ(rig.presenter->SetVideoPosition(nullptr, &moved), S_OK);
    ASSERT_EQ(rig.presenter->RepaintVideo(), S_OK);
    EXPECT_EQ(rig.presenter->GetShownSampleTime(&shown), S_FALSE);
    EXPECT_EQ(rig.frames.Frames().size(), 3u);
    rig.Feed(9, 9 * kFrame);
    ASSERT_TRUE(rig.frames.WaitForCount(4));
    EXPECT_EQ(rig.frames.Frames().back().number, 9);
    ASSERT_EQ(rig.presenter->GetShownSampleTime(&shown), S_OK);
    EXPECT_EQ(shown, 9 * kFrame);
}

TEST(EVRCustomPresenter, ASeekWhilePlayingDropsTheWaitingPicturesARestartKeepsThem) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);  // the clock stands at 0
    rig.Feed(1, 10 * kSecond);
    rig.Feed(2, 10 * kSecond + kFrame);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 5 * kSecond), S_OK);
    rig.clock->Set(20 * kSecond, false);
    rig.presenter->OnClockSetRate(0, 1.0f);  // the scheduler looks at its queue again
    rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0);  // returns once the scheduler has
    EXPECT_TRUE(rig.frames.Numbers().empty());

    rig.clock->Set(0, false);
    rig.Feed(3, 30 * kSecond);
    ASSERT_EQ(rig.presenter->OnClockPause(0), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, PRESENTATION_CURRENT_POSITION), S_OK);
    rig.clock->Set(30 * kSecond, false);
    rig.presenter->OnClockSetRate(0, 1.0f);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{3}));
}

TEST(EVRCustomPresenter, EndsTheStreamOnlyOnceTheLastSampleCameBack) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    rig.clock->Set(0, true);
    ASSERT_EQ(rig.presenter->OnClockStart(MFGetSystemTime(), 0), S_OK);
    const LONGLONG start = 1500000;  // 150 ms ahead of the clock
    for (int i = 0; i < 3; ++i) rig.Feed(i, start + i * kFrame);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_ENDOFSTREAM, 0), S_OK);
    EXPECT_TRUE(rig.events->Events(EC_COMPLETE).empty());  // three pictures still to show
    ASSERT_TRUE(rig.events->WaitFor(EC_COMPLETE));
    const auto shown = rig.frames.Frames();
    ASSERT_EQ(shown.size(), 3u);
    const auto complete = rig.events->Events(EC_COMPLETE);
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(HRESULT(complete[0].param1), S_OK);
    EXPECT_GT(complete[0].sequence, shown.back().sequence);
}

TEST(EVRCustomPresenter, StepsOverFramesAndCompletesWhenTheSteppedSampleIsReleased) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    rig.clock->Set(kFrame, false);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_STEP, 2), S_OK);
    rig.Feed(1, 0);       // stepped over
    rig.Feed(2, kFrame);  // shown
    ASSERT_TRUE(rig.events->WaitFor(EC_STEP_COMPLETE));
    EXPECT_EQ(rig.events->Events(EC_STEP_COMPLETE)[0].param1, FALSE);
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{2}));
    EXPECT_TRUE(rig.events->Events(EC_SCRUB_TIME).empty());
}

TEST(EVRCustomPresenter, CancellingAWaitingOrPendingStepReportsItCancelled) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    ASSERT_EQ(rig.presenter->OnClockPause(0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_STEP, 1), S_OK);  // waits for the clock
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_CANCELSTEP, 0), S_OK);
    ASSERT_EQ(rig.presenter->OnClockRestart(0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_STEP, 1), S_OK);  // pending
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_CANCELSTEP, 0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_CANCELSTEP, 0), S_OK);  // no step left
    const auto done = rig.events->Events(EC_STEP_COMPLETE);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].param1, TRUE);
    EXPECT_EQ(done[1].param1, TRUE);
}

TEST(EVRCustomPresenter, ScrubbingShowsTheStepAtTheClockAndReportsItsTime) {
    PresenterRig rig;
    ASSERT_EQ(rig.Start(), S_OK);
    const LONGLONG at = 0x100000005LL;  // both halves in use
    rig.clock->Set(at, false);
    ASSERT_EQ(rig.presenter->OnClockSetRate(0, 0.0f), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_STEP, 1), S_OK);
    rig.Feed(6, at - 3 * kFrame);  // over before the clock's position: dropped, not counted
    rig.Feed(7, at);
    ASSERT_TRUE(rig.events->WaitFor(EC_SCRUB_TIME));
    const auto scrub = rig.events->Events(EC_SCRUB_TIME)[0];
    EXPECT_EQ(scrub.param1, 5);
    EXPECT_EQ(scrub.param2, 1);
    ASSERT_EQ(rig.events->Events(EC_STEP_COMPLETE).size(), 1u);
    EXPECT_EQ(rig.events->Events(EC_STEP_COMPLETE)[0].param1, FALSE);
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{7}));
    ASSERT_EQ(rig.presenter->OnClockSetRate(0, 1.0f), S_OK);  // a completed step: nothing to cancel
    EXPECT_EQ(rig.events->Events(EC_STEP_COMPLETE).size(), 1u);
}

TEST(EVRCustomPresenter, RepaintsTheLastPictureWithItsTimeAndTheFrameDuration) {
    FakeMixer::Options noRate;
    noRate.fpsNum = 0;
    PresenterRig rig(noRate);
    ASSERT_EQ(rig.Start(), S_OK);
    EXPECT_EQ(rig.presenter->RepaintVideo(), S_OK);  // nothing delivered yet: nothing to do
    EXPECT_TRUE(rig.mixer->Repaints().empty());
    rig.Feed(4, 4 * kFrame);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    EXPECT_EQ(rig.presenter->RepaintVideo(), S_OK);
    ASSERT_TRUE(rig.frames.WaitForCount(2));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{4, 4}));
    ASSERT_EQ(rig.mixer->Repaints().size(), 1u);
    EXPECT_EQ(rig.mixer->Repaints()[0].time, 4 * kFrame);
    EXPECT_EQ(rig.mixer->Repaints()[0].duration, 333333);  // 30 per second when none is named

    FakeMixer::Options pal;
    pal.fpsNum = 25;
    PresenterRig other(pal);
    ASSERT_EQ(other.Start(), S_OK);
    other.Feed(1, 0);
    ASSERT_TRUE(other.frames.WaitForCount(1));
    other.presenter->RepaintVideo();
    ASSERT_EQ(other.mixer->Repaints().size(), 1u);
    EXPECT_EQ(other.mixer->Repaints()[0].duration, 400000);
}

TEST(EVRCustomPresenter, GrabsThePictureOnScreenAsABottomUpDibOfItsNativeSize) {
    PresenterRig rig(Sized(1280, 720));
    BYTE* dib = nullptr;
    EXPECT_EQ(rig.presenter->GetCurrentImage(nullptr, &dib, nullptr, nullptr), MF_E_NOT_INITIALIZED);
    ASSERT_EQ(rig.Start(), S_OK);
    EXPECT_EQ(rig.presenter->GetCurrentImage(nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(rig.presenter->GetCurrentImage(nullptr, &dib, nullptr, nullptr), MF_E_NOT_INITIALIZED);
    EXPECT_EQ(dib, nullptr);

    rig.Feed(9, 0);
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    BITMAPINFOHEADER header;
    DWORD size = 0;
    ASSERT_EQ(rig.presenter->GetCurrentImage(&header, &dib, &size, nullptr), S_OK);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(size, 3686400u);  // 1280 x 720 x 4
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 1280);
    EXPECT_EQ(header.biHeight, 720);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 3686400u);
    // The first row of the DIB is the bottom row of the picture (y 719 = 0x2CF).
    const BYTE* first = dib + 5 * 4;
    EXPECT_EQ(first[0], 5);
    EXPECT_EQ(first[1], 0xCF);
    EXPECT_EQ(first[2], 9);
    const BYTE* last = dib + std::size_t(719) * 1280 * 4 + 1279 * 4;
    EXPECT_EQ(last[0], 0xFF);  // x 1279
    EXPECT_EQ(last[1], 0);     // y 0
    EXPECT_EQ(last[2], 9);
    CoTaskMemFree(dib);

    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), S_OK);
    rig.Feed(10, kFrame);
    ASSERT_TRUE(rig.frames.WaitForCount(2));
    ASSERT_EQ(rig.presenter->GetCurrentImage(nullptr, &dib, nullptr, nullptr), S_OK);
    EXPECT_EQ(dib[2], 10);  // the picture now on screen
    CoTaskMemFree(dib);
}

TEST(EVRCustomPresenter, WaitsForFreeSamplesAndPullsAgainWhenTheyComeBack) {
    PresenterRig rig;
    auto lookup = AdoptRef(new ServiceLookup(rig.clock.Get(), static_cast<IMFTransform*>(rig.mixer.Get()),
                                             rig.events.Get()));
    ASSERT_EQ(rig.presenter->InitServicePointers(lookup.Get()), S_OK);
    rig.mixer->AddFrame(0, 0);
    EXPECT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_PROCESSINPUTNOTIFY, 0), MF_E_TRANSFORM_TYPE_NOT_SET);
    ASSERT_EQ(rig.presenter->SetVideoWindow(rig.frames.Window()), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_INVALIDATEMEDIATYPE, 0), S_OK);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0), S_OK);
    ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);  // the clock stands at 0
    for (int i = 1; i <= 5; ++i) rig.Feed(i, 10 * kSecond + i * kFrame);
    // Three samples per batch: one holds the picture on screen, two wait for their time,
    // and the mixer keeps the rest until a flush sends samples back.
    ASSERT_TRUE(rig.frames.WaitForCount(1));
    EXPECT_EQ(rig.mixer->FramesWaiting(), 3u);
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), S_OK);
    EXPECT_TRUE(WaitUntil([&] { return rig.mixer->FramesWaiting() == 1; }));
    ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 0), S_OK);
    EXPECT_TRUE(WaitUntil([&] { return rig.mixer->FramesWaiting() == 0; }));
    EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{0}));
}

}  // namespace
}  // namespace orv::presentertest
