// The free video samples of one presenter between uses.
#pragma once

#include <mutex>

#include "platform/media/MediaObjects.h"
#include "playback/presenter/SampleList.h"

namespace orv {

class SamplePool {
public:
    SamplePool() = default;
    virtual ~SamplePool() = default;
    SamplePool(const SamplePool&) = delete;
    SamplePool& operator=(const SamplePool&) = delete;

    // Takes one reference to every sample of the batch; MF_E_INVALIDREQUEST when the pool
    // holds a batch already.
    HRESULT Initialize(MediaFoundationSamples::ComPtrList<IMFSample>& samples);
    // The first free sample other than `shown` (the sample whose picture is on screen, which
    // must not be drawn into while it is shown; compared, never used). MF_E_NOT_INITIALIZED
    // without a batch, MF_E_SAMPLEALLOCATOR_EMPTY when no sample can be had.
    HRESULT TakeSample(const IMFSample* shown, IMFSample** sample);
    // MF_E_NOT_INITIALIZED without a batch.
    HRESULT ReturnSample(IMFSample* sample);
    // Samples taken and not yet returned.
    BOOL AreSamplesPending();
    // Lets go of the free samples and of the batch.
    void Clear();

private:
    std::mutex mutex_;
    MediaFoundationSamples::ComPtrList<IMFSample> free_;
    BOOL initialized_ = FALSE;
    int pending_ = 0;
};

}  // namespace orv
