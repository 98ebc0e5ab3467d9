#include "playback/presenter/SamplePool.h"

namespace orv {

HRESULT SamplePool::Initialize(MediaFoundationSamples::ComPtrList<IMFSample>& samples) {
    std::lock_guard lock(mutex_);
    if (initialized_) return MF_E_INVALIDREQUEST;
    for (auto p = samples.Front(); p != samples.End(); p = samples.Next(p)) {
        ComPtr<IMFSample> sample;
        HRESULT hr = samples.GetItem(p, sample.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = free_.InsertBack(sample.Get());
        if (FAILED(hr)) return hr;
    }
    initialized_ = TRUE;
    return S_OK;
}

HRESULT SamplePool::TakeSample(const IMFSample* shown, IMFSample** sample) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    std::lock_guard lock(mutex_);
    if (!initialized_) return MF_E_NOT_INITIALIZED;
    for (auto p = free_.Front(); p != free_.End(); p = free_.Next(p)) {
        ComPtr<IMFSample> candidate;
        if (FAILED(free_.GetItem(p, candidate.ReleaseAndGetAddressOf())) || candidate.Get() == shown) continue;
        const HRESULT hr = free_.RemoveItem(p, sample);
        if (SUCCEEDED(hr)) ++pending_;
        return hr;
    }
    return MF_E_SAMPLEALLOCATOR_EMPTY;
}

HRESULT SamplePool::ReturnSample(IMFSample* sample) {
    std::lock_guard lock(mutex_);
    if (!initialized_) return MF_E_NOT_INITIALIZED;
    const HRESULT hr = free_.InsertBack(sample);
    if (SUCCEEDED(hr)) --pending_;
    return hr;
}

BOOL SamplePool::AreSamplesPending() {
    std::lock_guard lock(mutex_);
    return initialized_ && pending_ > 0;
}

void SamplePool::Clear() {
    std::lock_guard lock(mutex_);
    free_.Clear();
    initialized_ = FALSE;
    pending_ = 0;
}

}  // namespace orv
