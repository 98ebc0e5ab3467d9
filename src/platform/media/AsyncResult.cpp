#include "platform/media/AsyncResult.h"

#include "platform/media/WorkQueue.h"

namespace orv {

HRESULT AsyncResult::GetState(IUnknown** state) {
    if (!state) return E_POINTER;
    *state = nullptr;
    if (!state_) return E_POINTER;
    return state_.CopyTo(state);
}

HRESULT AsyncResult::GetObject(IUnknown** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!object_) return E_POINTER;
    return object_.CopyTo(object);
}

void AsyncResult::InvokeCallback() {
    if (callback_) callback_->Invoke(this);
}

void AsyncResult::InvokeCallbackLater() {
    PostWork([self = ComPtr<AsyncResult>(this)] { self->InvokeCallback(); });
}

HRESULT MFCreateAsyncResult(IUnknown* object, IMFAsyncCallback* callback, IUnknown* state,
                            IMFAsyncResult** result) {
    if (!result) return E_POINTER;
    *result = new AsyncResult(object, callback, state);
    return S_OK;
}

}  // namespace orv
