// The movie source: an opened file with a descriptor per stream.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/AttributeStore.h"
#include "platform/media/Demuxer.h"
#include "platform/media/MediaFoundation.h"

namespace orv {

class StreamDescriptor final : public ComObject<AttributesImpl<IMFStreamDescriptor>, IMFMediaTypeHandler> {
public:
    StreamDescriptor(DWORD id, const GUID& majorType, ComPtr<IMFMediaType> type)
        : id_(id), majorType_(majorType), type_(std::move(type)) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFStreamDescriptor, IMFAttributes, IMFMediaTypeHandler>(this, iid, object);
    }
    HRESULT GetStreamIdentifier(DWORD* id) override;
    HRESULT GetMediaTypeHandler(IMFMediaTypeHandler** handler) override;
    HRESULT GetMajorType(GUID* majorType) override;
    HRESULT GetCurrentMediaType(IMFMediaType** type) override;

    DWORD Id() const { return id_; }
    const GUID& MajorType() const { return majorType_; }

private:
    const DWORD id_;  // the stream's index in the file
    const GUID majorType_;
    const ComPtr<IMFMediaType> type_;
};

class PresentationDescriptor final : public ComObject<AttributesImpl<IMFPresentationDescriptor>> {
public:
    struct Entry {
        ComPtr<StreamDescriptor> stream;
        bool selected = false;
    };
    PresentationDescriptor(std::vector<Entry> streams, UINT64 duration);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFPresentationDescriptor, IMFAttributes>(this, iid, object);
    }
    HRESULT GetStreamDescriptorCount(DWORD* count) override;
    HRESULT GetStreamDescriptorByIndex(DWORD index, BOOL* selected, IMFStreamDescriptor** descriptor) override;
    HRESULT SelectStream(DWORD index) override;
    HRESULT DeselectStream(DWORD index) override;

    ComPtr<PresentationDescriptor> Clone();

private:
    std::mutex mutex_;
    std::vector<Entry> streams_;
};

class MediaSource final : public ComObject<IMFMediaSource> {
public:
    static HRESULT Create(const std::string& path, ComPtr<MediaSource>* source);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFMediaSource>(this, iid, object);
    }
    HRESULT CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override;
    HRESULT Shutdown() override;

    // The opened file, for the session that plays this source; null after Shutdown.
    std::shared_ptr<Demuxer> GetDemuxer();

private:
    std::mutex mutex_;
    std::shared_ptr<Demuxer> demuxer_;
    ComPtr<PresentationDescriptor> descriptor_;
};

}  // namespace orv
