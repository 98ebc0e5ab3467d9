#include "platform/media/ComBase.h"

#include <cstdlib>
#include <cstring>

namespace orv {

void PropVariantInit(PROPVARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->hVal = 0;
}

HRESULT PropVariantClear(PROPVARIANT* v) {
    if (!v) return E_POINTER;
    const PROPVARIANT held = *v;
    PropVariantInit(v);
    switch (held.vt) {
    case VT_UNKNOWN:
        if (held.punkVal) held.punkVal->Release();
        break;
    case VT_LPSTR: CoTaskMemFree(held.pszVal); break;
    case VT_BLOB: CoTaskMemFree(held.blob.pBlobData); break;
    case VT_CLSID: CoTaskMemFree(held.puuid); break;
    default: break;
    }
    return S_OK;
}

HRESULT PropVariantCopy(PROPVARIANT* dst, const PROPVARIANT* src) {
    if (!dst || !src) return E_POINTER;
    if (dst == src) return S_OK;
    PROPVARIANT copy = *src;
    const auto duplicate = [](const void* from, std::size_t bytes) {
        void* to = CoTaskMemAlloc(bytes);
        if (to && bytes) std::memcpy(to, from, bytes);
        return to;
    };
    switch (src->vt) {
    case VT_UNKNOWN:
        if (src->punkVal) src->punkVal->AddRef();
        break;
    case VT_LPSTR:
        copy.pszVal = src->pszVal ? static_cast<char*>(duplicate(src->pszVal, std::strlen(src->pszVal) + 1)) : nullptr;
        if (src->pszVal && !copy.pszVal) return E_OUTOFMEMORY;
        break;
    case VT_BLOB:
        copy.blob.pBlobData = src->blob.cbSize ? static_cast<BYTE*>(duplicate(src->blob.pBlobData, src->blob.cbSize))
                                               : nullptr;
        if (src->blob.cbSize && !copy.blob.pBlobData) return E_OUTOFMEMORY;
        break;
    case VT_CLSID:
        copy.puuid = src->puuid ? static_cast<GUID*>(duplicate(src->puuid, sizeof(GUID))) : nullptr;
        if (src->puuid && !copy.puuid) return E_OUTOFMEMORY;
        break;
    default: break;
    }
    PropVariantClear(dst);
    *dst = copy;
    return S_OK;
}

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }

void CoTaskMemFree(void* p) { std::free(p); }

}  // namespace orv
