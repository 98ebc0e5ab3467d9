// The presenter in the real media session, on movies whose pictures carry their frame numbers.
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "MovieCache.h"
#include "SessionHelpers.h"
#include "platform/media/AttributeStore.h"
#include "playback/presenter/EVRCustomPresenter.h"

namespace orv {
namespace {

using namespace mediatest;

constexpr double kFps = 30.0;

// Makes the presenter once, as the player's activation object does.
class PresenterActivate final : public ComObject<AttributesImpl<IMFActivate>> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFActivate, IMFAttributes>(this, iid, object);
    }
    HRESULT ActivateObject(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (!presenter_) {
            EVRCustomPresenter* made = nullptr;
            const HRESULT hr = EVRCustomPresenter::CreateInstance(&made);
            if (FAILED(hr)) return hr;
            presenter_.Attach(made);
        }
        return presenter_->QueryInterface(iid, object);
    }
    HRESULT ShutdownObject() override {
        std::lock_guard lock(mutex_);
        presenter_.Reset();
        return S_OK;
    }
    HRESULT DetachObject() override { return ShutdownObject(); }
    ComPtr<EVRCustomPresenter> Presenter() {
        std::lock_guard lock(mutex_);
        return presenter_;
    }

private:
    std::mutex mutex_;
    ComPtr<EVRCustomPresenter> presenter_;
};

HRESULT StatusOf(const ComPtr<IMFMediaEvent>& e) {
    HRESULT hr = E_UNEXPECTED;
    if (e) e->GetStatus(&hr);
    return hr;
}

void OpenReady(const std::string& path, HWND window, PresenterActivate* activate, Player* p) {
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(OpenPlayer(path, {window, activate}, p), S_OK);
    ASSERT_EQ(StatusOf(p->events->WaitFor(MESessionTopologySet)), S_OK);
    ASSERT_TRUE(p->events->WaitFor(MESessionTopologyStatus));
    ASSERT_TRUE(activate->Presenter());
}

// The frame number of the picture a grab returns (a bottom-up 32-bit DIB).
int GrabbedNumber(IMFVideoDisplayControl* display) {
    BITMAPINFOHEADER header;
    BYTE* dib = nullptr;
    DWORD size = 0;
    if (FAILED(display->GetCurrentImage(&header, &dib, &size, nullptr))) return -2;
    const QImage rows(dib, header.biWidth, header.biHeight, header.biWidth * 4, QImage::Format_RGB32);
    const int number = size == DWORD(header.biWidth) * DWORD(header.biHeight) * 4
                           ? ReadStripeNumber(rows.mirrored())
                           : -3;
    CoTaskMemFree(dib);
    return number;
}

// Plays the movie through to its end; every frame must have been presented, in order.
void PlayThrough(const StripeMovieSpec& params, const char* name) {
    FrameRecorder frames;
    auto activate = AdoptRef(new PresenterActivate);
    Player p;
    OpenReady(StripeMoviePath(params), frames.Window(), activate.Get(), &p);
    auto presenter = activate->Presenter();
    presenter->SetStartMarks(1, 0, 0);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(p.events->WaitFor(MEEndOfPresentation, 30s));
    const auto shown = frames.Frames();
    ASSERT_EQ(shown.size(), std::size_t(params.frames));
    for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].number, int(i));
    UINT64 presented = 0, late = 0;
    presenter->GetFrameCounts(&presented, &late);
    EXPECT_EQ(presented, UINT64(params.frames));
    std::printf("[ figures  ] %s, %d frames at rate 1.0: %llu presented, %llu late\n", name, params.frames,
                static_cast<unsigned long long>(presented), static_cast<unsigned long long>(late));
    EXPECT_TRUE(ClosePlayer(p));
    // The renderer shut the presenter down and the activate let it go.
    float rate = 0;
    EXPECT_EQ(presenter->GetSlowestRate(MFRATE_FORWARD, FALSE, &rate), MF_E_SHUTDOWN);
    EXPECT_FALSE(activate->Presenter());
}

TEST(PresenterSession, PresentsEveryFrameInOrderAndEndsAfterTheLast) {
    PlayThrough(StripeMovieSpec{}, "320 x 240");
    StripeMovieSpec hd;
    hd.width = 1280;
    hd.height = 720;
    hd.frames = 90;
    hd.gop = 30;
    PlayThrough(hd, "1280 x 720");
}

TEST(PresenterSession, PausedSeeksShowAndGrabExactlyTheFrameAskedFor) {
    FrameRecorder frames;
    auto activate = AdoptRef(new PresenterActivate);
    Player p;
    OpenReady(StripeMoviePath(StripeMovieSpec{}), frames.Window(), activate.Get(), &p);
    auto display = Service<IMFVideoDisplayControl>(p.session.Get(), MR_VIDEO_RENDER_SERVICE);
    ASSERT_TRUE(display);
    SIZE size{}, ratio{};
    EXPECT_EQ(display->GetNativeVideoSize(&size, &ratio), S_OK);
    EXPECT_EQ(size, (SIZE{320, 240}));
    EXPECT_EQ(ratio, (SIZE{4, 3}));
    auto presenter = activate->Presenter();
    // Key frames every 12: frames before and after them, both ends, and backwards.
    for (int f : {0, 1, 11, 12, 13, 35, 59, 30, 5}) {
        frames.Clear();
        presenter->SetStartMarks(1, 1, 0);
        ASSERT_EQ(StartAt(p.session.Get(), FrameTime(f, kFps)), S_OK);
        ASSERT_EQ(p.session->Pause(), S_OK);
        ASSERT_EQ(StatusOf(p.events->WaitFor(MESessionPaused)), S_OK);
        ASSERT_TRUE(frames.WaitForCount(1)) << "frame " << f;
        EXPECT_EQ(frames.Frames()[0].number, f);
        ASSERT_EQ(display->RepaintVideo(), S_OK);
        EXPECT_EQ(frames.LastNumber(), f);
        EXPECT_EQ(GrabbedNumber(display.Get()), f);
    }
    // Playing on from the paused frame shows the frames after it, in order.
    frames.Clear();
    presenter->SetStartMarks(1, 0, 0);
    ASSERT_EQ(StartHere(p.session.Get()), S_OK);
    ASSERT_TRUE(frames.WaitForNumber(9));
    const auto shown = frames.Frames();
    for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].number, 6 + int(i));
    EXPECT_TRUE(ClosePlayer(p));
}

TEST(PresenterSession, RatesAboveOneFramePerRefreshNeedThinning) {
    D3DPresentEngine::SetDisplayRefreshRate(60);
    FrameRecorder frames;
    auto activate = AdoptRef(new PresenterActivate);
    Player p;
    OpenReady(StripeMoviePath(StripeMovieSpec{}), frames.Window(), activate.Get(), &p);
    auto rates = Service<IMFRateControl>(p.session.Get(), MF_RATE_CONTROL_SERVICE);
    auto support = Service<IMFRateSupport>(p.session.Get(), MF_RATE_CONTROL_SERVICE);
    ASSERT_TRUE(rates);
    ASSERT_TRUE(support);
    float fastest = 0;
    EXPECT_EQ(support->GetFastestRate(MFRATE_FORWARD, FALSE, &fastest), S_OK);
    EXPECT_EQ(fastest, 2.0f);  // 30 frames per second on a 60 Hz display
    EXPECT_EQ(rates->SetRate(FALSE, 4.0f), MF_E_UNSUPPORTED_RATE);
    EXPECT_EQ(rates->SetRate(FALSE, 2.0f), S_OK);
    EXPECT_EQ(rates->SetRate(TRUE, 4.0f), S_OK);
    EXPECT_TRUE(ClosePlayer(p));
}

}  // namespace
}  // namespace orv
