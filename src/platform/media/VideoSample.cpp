#include <mutex>
#include <optional>

#include "platform/media/AsyncResult.h"
#include "platform/media/AttributeStore.h"
#include "platform/media/PresenterContract.h"

namespace orv {

namespace {

// The one buffer of a video sample: it serves its surface as MR_BUFFER_SERVICE.
class SurfaceBuffer final : public ComObject<IMFMediaBuffer, IMFGetService> {
public:
    explicit SurfaceBuffer(ComPtr<IUnknown> surface) : surface_(std::move(surface)) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFMediaBuffer, IMFGetService>(this, iid, object);
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = 0;
        ComPtr<IVideoSurface> s;
        if (surface_ && SUCCEEDED(surface_.As(&s))) {
            VideoSurfaceDesc d;
            s->GetDesc(&d);
            *length = d.Width * d.Height * 4;
        }
        return S_OK;
    }
    HRESULT GetService(const GUID& service, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(service == MR_BUFFER_SERVICE) || !surface_) return MF_E_UNSUPPORTED_SERVICE;
        return surface_->QueryInterface(iid, object);
    }

private:
    const ComPtr<IUnknown> surface_;
};

class VideoSample final : public AttributesImpl<IMFSample>, public IMFDesiredSample, public IMFTrackedSample {
public:
    explicit VideoSample(IUnknown* surface) : buffer_(AdoptRef(new SurfaceBuffer(ComPtr<IUnknown>(surface)))) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFSample, IMFAttributes, IMFDesiredSample, IMFTrackedSample>(this, iid, object);
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

    // The last release hands a tracked sample to its allocator instead of destroying it.
    ULONG Release() override {
        const ULONG n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n != 0) return n;
        ComPtr<IMFAsyncCallback> allocator;
        ComPtr<IUnknown> state;
        {
            std::lock_guard lock(mutex_);
            allocator = std::move(allocator_);
            state = std::move(allocatorState_);
        }
        if (!allocator) {
            delete this;
            return 0;
        }
        refs_.store(1);  // held by the result until the allocator has run
        auto result = AdoptRef(new AsyncResult(static_cast<IMFSample*>(this), allocator.Get(), state.Get()));
        refs_.fetch_sub(1);
        result->InvokeCallbackLater();
        return 0;
    }

    HRESULT GetSampleTime(LONGLONG* time) override {
        if (!time) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (!time_) return MF_E_NO_SAMPLE_TIMESTAMP;
        *time = *time_;
        return S_OK;
    }
    HRESULT SetSampleTime(LONGLONG time) override {
        std::lock_guard lock(mutex_);
        time_ = time;
        return S_OK;
    }
    HRESULT GetSampleDuration(LONGLONG* duration) override {
        if (!duration) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (!duration_) return MF_E_NO_SAMPLE_DURATION;
        *duration = *duration_;
        return S_OK;
    }
    HRESULT SetSampleDuration(LONGLONG duration) override {
        std::lock_guard lock(mutex_);
        duration_ = duration;
        return S_OK;
    }
    HRESULT GetBufferCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetBufferByIndex(DWORD index, IMFMediaBuffer** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = nullptr;
        if (index != 0) return E_INVALIDARG;
        return buffer_.CopyTo(buffer);
    }

    HRESULT GetDesiredSampleTimeAndDuration(LONGLONG* time, LONGLONG* duration) override {
        if (!time || !duration) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (!desired_) return MF_E_NOT_AVAILABLE;
        *time = desired_->first;
        *duration = desired_->second;
        return S_OK;
    }
    void SetDesiredSampleTimeAndDuration(LONGLONG time, LONGLONG duration) override {
        std::lock_guard lock(mutex_);
        desired_ = std::pair(time, duration);
    }
    void Clear() override {
        {
            std::lock_guard lock(mutex_);
            desired_.reset();
        }
        attributes_.Clear();
    }

    HRESULT SetAllocator(IMFAsyncCallback* sampleAllocator, IUnknown* state) override {
        if (!sampleAllocator) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (allocator_) return MF_E_NOTACCEPTING;
        allocator_ = sampleAllocator;
        allocatorState_ = state;
        return S_OK;
    }

private:
    ~VideoSample() override = default;

    std::atomic<ULONG> refs_{1};
    const ComPtr<IMFMediaBuffer> buffer_;
    std::mutex mutex_;
    std::optional<LONGLONG> time_;
    std::optional<LONGLONG> duration_;
    std::optional<std::pair<LONGLONG, LONGLONG>> desired_;
    ComPtr<IMFAsyncCallback> allocator_;
    ComPtr<IUnknown> allocatorState_;
};

}  // namespace

HRESULT MFCreateVideoSampleFromSurface(IUnknown* surface, IMFSample** sample) {
    if (!sample) return E_POINTER;
    *sample = new VideoSample(surface);
    return S_OK;
}

UINT64 PictureSeek(IMFSample* sample, UINT64 otherwise) {
    UINT64 seek = 0;
    return sample && SUCCEEDED(sample->GetUINT64(MF_SAMPLE_SEEK, &seek)) ? seek : otherwise;
}

}  // namespace orv
