#include "platform/media/ComBase.h"

#include <cstdlib>

namespace orv {

void PropVariantInit(PROPVARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->hVal = 0;
}

HRESULT PropVariantClear(PROPVARIANT* v) {
    if (!v) return E_POINTER;
    IUnknown* held = v->vt == VT_UNKNOWN ? v->punkVal : nullptr;
    PropVariantInit(v);
    if (held) held->Release();
    return S_OK;
}

HRESULT PropVariantCopy(PROPVARIANT* dst, const PROPVARIANT* src) {
    if (!dst || !src) return E_POINTER;
    if (dst == src) return S_OK;
    if (src->vt == VT_UNKNOWN && src->punkVal) src->punkVal->AddRef();
    PropVariantClear(dst);
    *dst = *src;
    return S_OK;
}

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }

void CoTaskMemFree(void* p) { std::free(p); }

}  // namespace orv
