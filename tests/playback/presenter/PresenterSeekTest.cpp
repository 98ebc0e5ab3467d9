// Both presenters, the program's and the renderer's own, told a picture of a seek from one of an
// earlier seek by the seek each picture names (MF_SAMPLE_SEEK), however the seek's flush and
// the pull of the picture cross: the one the renderer's own presenter pulls on a thread of its
// own may be under way in the mixer when the flush comes.
#include <gtest/gtest.h>

#include "PresenterRig.h"
#include "platform/media/DefaultPresenter.h"

namespace orv::presentertest {
namespace {

// A presenter made either way and wired to the stand-ins as the renderer wires it.
struct ContractRig {
    explicit ContractRig(bool custom) : custom(custom) {
        if (custom) {
            EVRCustomPresenter* made = nullptr;
            EVRCustomPresenter::CreateInstance(&made);
            presenter.Attach(made);
        } else {
            presenter = AdoptRef<IMFVideoPresenter>(new DefaultPresenter);
        }
    }
    ~ContractRig() {
        presenter->ProcessMessage(MFVP_MESSAGE_ENDSTREAMING, 0);
        ComPtr<IMFTopologyServiceLookupClient> client;
        if (SUCCEEDED(presenter.As(&client))) client->ReleaseServicePointers();
    }
    HRESULT Start() {
        auto lookup = AdoptRef(new ServiceLookup(clock.Get(), static_cast<IMFTransform*>(mixer.Get()), events.Get()));
        ComPtr<IMFTopologyServiceLookupClient> client;
        ComPtr<IMFVideoDisplayControl> display;
        HRESULT hr = presenter.As(&client);
        if (SUCCEEDED(hr)) hr = client->InitServicePointers(lookup.Get());
        if (SUCCEEDED(hr)) hr = presenter.As(&display);
        if (SUCCEEDED(hr)) hr = display->SetVideoWindow(frames.Window());
        if (SUCCEEDED(hr)) hr = presenter->ProcessMessage(MFVP_MESSAGE_INVALIDATEMEDIATYPE, 0);
        if (SUCCEEDED(hr)) hr = presenter->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0);
        return hr;
    }
    HRESULT Notify() { return presenter->ProcessMessage(MFVP_MESSAGE_PROCESSINPUTNOTIFY, 0); }

    const bool custom;  // pulls on the caller's thread, under its lock
    ComPtr<IMFVideoPresenter> presenter;
    ComPtr<FakeMixer> mixer = AdoptRef(new FakeMixer(FakeMixer::Options{}));
    ComPtr<FakeClock> clock = AdoptRef(new FakeClock);
    ComPtr<EventLog> events = AdoptRef(new EventLog);
    FrameLog frames;
};

TEST(PresenterSeek, APicturePulledAcrossASeeksFlushIsShownWhenItIsTheSeeksAndDroppedWhenItIsOlder) {
    for (const bool custom : {false, true}) {
        for (const bool ofTheNewSeek : {true, false}) {
            SCOPED_TRACE(std::string(custom ? "custom" : "own") + " presenter, picture of the " +
                         (ofTheNewSeek ? "new" : "earlier") + " seek");
            ContractRig rig(custom);
            ASSERT_EQ(rig.Start(), S_OK);
            // Playing seek 1, the clock standing at 0.
            ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 1), S_OK);
            ASSERT_EQ(rig.presenter->OnClockStart(0, 0), S_OK);
            rig.mixer->AddFrame(1, 0, kFrame, 1);
            // The own presenter is in the mixer, about to take that frame, when seek 2 (a
            // paused seek to 5 frames on) flushes the mixer and the presenter; the custom one
            // pulls only after the flush. Either way the mixer then holds the seek's frame,
            // or, in the second case, still the earlier seek's.
            rig.mixer->HoldPulls(!custom);
            if (!custom) {
                ASSERT_EQ(rig.Notify(), S_OK);
                ASSERT_TRUE(rig.mixer->WaitPullHeld());
            }
            ASSERT_EQ(rig.presenter->OnClockPause(0), S_OK);
            rig.clock->Set(5 * kFrame, false);
            ASSERT_EQ(rig.presenter->ProcessMessage(MFVP_MESSAGE_FLUSH, 2), S_OK);
            if (ofTheNewSeek) {
                rig.mixer->DropFrames();
                rig.mixer->AddFrame(5, 5 * kFrame, kFrame, 2);
            }
            rig.mixer->HoldPulls(false);
            if (custom) {
                ASSERT_EQ(rig.Notify(), S_OK);
            }
            if (!ofTheNewSeek) {
                // The earlier picture is never shown; the seek's own, when it comes, is.
                rig.mixer->AddFrame(5, 5 * kFrame, kFrame, 2);
                ASSERT_EQ(rig.Notify(), S_OK);
            }
            ASSERT_TRUE(rig.frames.WaitForCount(1)) << "the seek's picture was not shown";
            EXPECT_EQ(rig.frames.Numbers(), (std::vector<int>{5}));
        }
    }
}

}  // namespace
}  // namespace orv::presentertest
