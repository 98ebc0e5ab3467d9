#include "PresenterRig.h"

namespace orv::presentertest {

PresenterRig::PresenterRig(const FakeMixer::Options& options)
    : mixer(AdoptRef(new FakeMixer(options))), clock(AdoptRef(new FakeClock)), events(AdoptRef(new EventLog)) {
    EVRCustomPresenter* made = nullptr;
    EVRCustomPresenter::CreateInstance(&made);
    presenter.Attach(made);
}

PresenterRig::~PresenterRig() {
    presenter->ProcessMessage(MFVP_MESSAGE_ENDSTREAMING, 0);
    presenter->ReleaseServicePointers();
}

HRESULT PresenterRig::Start() {
    auto lookup = AdoptRef(new ServiceLookup(clock.Get(), static_cast<IMFTransform*>(mixer.Get()), events.Get()));
    HRESULT hr = presenter->InitServicePointers(lookup.Get());
    if (SUCCEEDED(hr)) hr = presenter->SetVideoWindow(frames.Window());
    if (SUCCEEDED(hr)) hr = presenter->ProcessMessage(MFVP_MESSAGE_INVALIDATEMEDIATYPE, 0);
    if (SUCCEEDED(hr)) hr = presenter->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0);
    return hr;
}

HRESULT PresenterRig::Feed(int number, LONGLONG time, LONGLONG duration) {
    mixer->AddFrame(number, time, duration);
    return presenter->ProcessMessage(MFVP_MESSAGE_PROCESSINPUTNOTIFY, 0);
}

}  // namespace orv::presentertest
