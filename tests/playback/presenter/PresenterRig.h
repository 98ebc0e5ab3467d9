// A presenter wired to the stand-ins of PresenterStandIns.h the way the video renderer wires
// it: service pointers, the video window, the first output type and streaming.
#pragma once

#include "PresenterStandIns.h"
#include "playback/presenter/EVRCustomPresenter.h"

namespace orv::presentertest {

inline constexpr LONGLONG kFrame = 333333;  // 100 ns, one frame at 30 per second

struct PresenterRig {
    explicit PresenterRig(const FakeMixer::Options& options = {});
    // Ends streaming and releases the service pointers, as the renderer's shutdown does.
    ~PresenterRig();

    // InitServicePointers, SetVideoWindow, INVALIDATEMEDIATYPE and BEGINSTREAMING; the first
    // failure.
    HRESULT Start();
    // One more frame in the mixer, announced to the presenter.
    HRESULT Feed(int number, LONGLONG time, LONGLONG duration = kFrame);

    ComPtr<EVRCustomPresenter> presenter;
    ComPtr<FakeMixer> mixer;
    ComPtr<FakeClock> clock;
    ComPtr<EventLog> events;
    FrameLog frames;
};

}  // namespace orv::presentertest
