#include "platform/media/MediaObjects.h"

#include <chrono>

namespace orv {

HRESULT MFGetService(IUnknown* object, const GUID& service, const IID& iid, void** result) {
    if (!object || !result) return E_POINTER;
    *result = nullptr;
    ComPtr<IMFGetService> getService;
    if (FAILED(object->QueryInterface(IID_IMFGetService, reinterpret_cast<void**>(getService.ReleaseAndGetAddressOf()))))
        return MF_E_UNSUPPORTED_SERVICE;
    return getService->GetService(service, iid, result);
}

MFTIME MFGetSystemTime() {
    using namespace std::chrono;
    return duration_cast<duration<MFTIME, std::ratio<1, 10000000>>>(steady_clock::now().time_since_epoch()).count();
}

HRESULT MFFrameRateToAverageTimePerFrame(UINT32 numerator, UINT32 denominator, UINT64* average) {
    if (!average) return E_POINTER;
    if (numerator == 0) return E_INVALIDARG;
    *average = (UINT64(denominator) * 10000000u + numerator / 2) / numerator;
    return S_OK;
}

}  // namespace orv
