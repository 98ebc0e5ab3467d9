// The asynchronous result handed to an IMFAsyncCallback.
#pragma once

#include <atomic>

#include "platform/media/MediaObjects.h"

namespace orv {

class AsyncResult final : public ComObject<IMFAsyncResult> {
public:
    AsyncResult(IUnknown* object, IMFAsyncCallback* callback, IUnknown* state)
        : object_(object), state_(state), callback_(callback) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAsyncResult>(this, iid, object);
    }
    HRESULT GetState(IUnknown** state) override;
    HRESULT GetStatus() override { return status_.load(); }
    HRESULT SetStatus(HRESULT status) override {
        status_.store(status);
        return S_OK;
    }
    HRESULT GetObject(IUnknown** object) override;
    IUnknown* GetStateNoAddRef() override { return state_.Get(); }

    // Calls the callback's Invoke with this result, on the calling thread.
    void InvokeCallback();
    // Calls the callback's Invoke on a work-queue thread.
    void InvokeCallbackLater();

private:
    const ComPtr<IUnknown> object_;
    const ComPtr<IUnknown> state_;
    const ComPtr<IMFAsyncCallback> callback_;
    std::atomic<HRESULT> status_{S_OK};
};

}  // namespace orv
