// A presenter for tests that speaks the presenter contract and records it: every message and
// clock call in order, and every picture it pulls from the mixer (time, duration, the frame
// number it shows). It pulls as soon as the mixer has a frame, whatever the clock says, so
// what it receives is exactly what the renderer lets through; it presents nothing.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/AttributeStore.h"
#include "platform/media/MediaFoundation.h"

namespace orv::mediatest {

class ProbePresenter final
    : public ComObject<IMFVideoPresenter, IMFTopologyServiceLookupClient, IMFVideoDeviceID, IMFRateSupport> {
public:
    struct Pulled {
        LONGLONG time = 0;
        LONGLONG duration = 0;
        int number = -1;
        QImage picture;
    };

    // Fastest rate reported without thinning (as a presenter does from the display's refresh
    // rate); with thinning any rate.
    explicit ProbePresenter(float fastestUnthinned = 8.0f) : fastest_(fastestUnthinned) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFVideoPresenter, IMFTopologyServiceLookupClient, IMFVideoDeviceID, IMFRateSupport>(
            this, iid, object);
    }
    HRESULT OnClockStart(MFTIME, LONGLONG offset) override;
    HRESULT OnClockStop(MFTIME) override { return Record("STOP"); }
    HRESULT OnClockPause(MFTIME) override { return Record("PAUSE"); }
    HRESULT OnClockRestart(MFTIME) override { return Record("RESTART"); }
    HRESULT OnClockSetRate(MFTIME, float rate) override;
    HRESULT ProcessMessage(MFVP_MESSAGE_TYPE message, ULONG_PTR param) override;
    HRESULT GetCurrentMediaType(IMFVideoMediaType** type) override;
    HRESULT InitServicePointers(IMFTopologyServiceLookup* lookup) override;
    HRESULT ReleaseServicePointers() override;
    HRESULT GetDeviceID(IID* id) override {
        *id = IID_IDirect3DDevice9;
        return S_OK;
    }
    HRESULT GetSlowestRate(MFRATE_DIRECTION, BOOL, float* rate) override {
        *rate = 0.0f;
        return S_OK;
    }
    HRESULT GetFastestRate(MFRATE_DIRECTION, BOOL thin, float* rate) override {
        *rate = thin ? 1e9f : fastest_;
        return S_OK;
    }
    HRESULT IsRateSupported(BOOL thin, float rate, float* nearest) override;

    std::vector<std::string> Log();
    std::vector<Pulled> PulledFrames();
    bool WaitPulled(std::size_t count, int timeoutMs = 10000);
    bool WaitLogged(const std::string& entry, int timeoutMs = 10000);
    void ClearPulled();
    ComPtr<IMFTransform> Mixer();

private:
    HRESULT Record(const std::string& entry);
    void PullAll();  // under mutex_

    const float fastest_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> log_;
    std::vector<Pulled> pulled_;
    ComPtr<IMFTransform> mixer_;
    ComPtr<IMediaEventSink> events_;
    ComPtr<IMFClock> clock_;
    ComPtr<IMFMediaType> type_;
    ComPtr<IMFSample> sample_;
    bool endOfStream_ = false;
};

// Makes one ProbePresenter and counts how it is asked for and shut down.
class ProbeActivate final : public ComObject<AttributesImpl<IMFActivate>> {
public:
    explicit ProbeActivate(float fastestUnthinned = 8.0f) : fastest_(fastestUnthinned) {}
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFActivate, IMFAttributes>(this, iid, object);
    }
    HRESULT ActivateObject(const IID& iid, void** object) override;
    HRESULT ShutdownObject() override;
    HRESULT DetachObject() override;

    ComPtr<ProbePresenter> Presenter();
    int Activations();
    int Shutdowns();

private:
    const float fastest_;
    std::mutex mutex_;
    ComPtr<ProbePresenter> presenter_;
    int activations_ = 0;
    int shutdowns_ = 0;
};

}  // namespace orv::mediatest
