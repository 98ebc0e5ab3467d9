// An IMFAsyncCallback embedded in the object it calls back: its references are the parent's,
// and Invoke calls one member function of the parent with the asynchronous result.
#pragma once

#include "platform/media/MediaObjects.h"

namespace orv::MediaFoundationSamples {

template <class Parent>
class AsyncCallback final : public IMFAsyncCallback {
public:
    using Method = HRESULT (Parent::*)(IMFAsyncResult* result);

    AsyncCallback(Parent* parent, Method method) : parent_(parent), method_(method) {}
    ~AsyncCallback() override = default;
    AsyncCallback(const AsyncCallback&) = delete;
    AsyncCallback& operator=(const AsyncCallback&) = delete;

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (!(iid == IID_IUnknown || iid == IID_IMFAsyncCallback)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IMFAsyncCallback*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return parent_->AddRef(); }
    ULONG Release() override { return parent_->Release(); }
    HRESULT GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT Invoke(IMFAsyncResult* result) override { return (parent_->*method_)(result); }

private:
    Parent* const parent_;
    const Method method_;
};

}  // namespace orv::MediaFoundationSamples
