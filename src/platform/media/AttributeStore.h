// The attribute store behind every object of the layer that has attributes (media types,
// samples, events, topology nodes, activates). AttributesImpl<I> implements the IMFAttributes
// part of an interface I derived from it; the class deriving from it adds the rest.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/media/MediaObjects.h"

namespace orv {

class AttributeValues {
public:
    using Value = std::variant<UINT32, UINT64, double, GUID, std::string, std::vector<BYTE>,
                               ComPtr<IUnknown>>;

    HRESULT GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) const;
    template <class T>
    HRESULT Get(const GUID& key, T* out) const {
        if (!out) return E_POINTER;
        std::lock_guard lock(mutex_);
        const Value* v = Find(key);
        if (!v) return MF_E_ATTRIBUTENOTFOUND;
        const T* t = std::get_if<T>(v);
        if (!t) return MF_E_INVALIDTYPE;
        *out = *t;
        return S_OK;
    }
    HRESULT Set(const GUID& key, Value value);
    HRESULT GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) const;
    HRESULT GetBlobSize(const GUID& key, UINT32* size) const;
    HRESULT GetUnknown(const GUID& key, const IID& iid, void** object) const;
    HRESULT Delete(const GUID& key);
    void Clear();
    UINT32 Count() const;
    HRESULT KeyAt(UINT32 index, GUID* key) const;
    HRESULT CopyTo(IMFAttributes* destination) const;
    bool Equals(const AttributeValues& other) const;

    HRESULT GetItem(const GUID& key, PROPVARIANT* value) const;
    HRESULT SetItem(const GUID& key, const PROPVARIANT& value);
    HRESULT CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) const;
    HRESULT GetStringLength(const GUID& key, UINT32* length) const;
    HRESULT GetAllocatedString(const GUID& key, char** value, UINT32* length) const;
    HRESULT GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) const;
    HRESULT Lock();
    HRESULT Unlock();

private:
    const Value* Find(const GUID& key) const;

    // Recursive: a thread that holds the store (Lock) still reads and writes it.
    mutable std::recursive_mutex mutex_;
    std::atomic<std::thread::id> lockOwner_{};
    int lockDepth_ = 0;  // Lock calls of the owner not yet undone; the owner's alone
    std::vector<std::pair<GUID, Value>> items_;  // in the order they were first set
};

// Compare of two stores by their public operations (so any two implementations compare).
HRESULT CompareAttributes(IMFAttributes* ours, IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result);

template <class Interface>
class AttributesImpl : public Interface {
public:
    HRESULT GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) override {
        return attributes_.GetItemType(key, type);
    }
    HRESULT GetUINT32(const GUID& key, UINT32* value) override { return attributes_.Get(key, value); }
    HRESULT GetUINT64(const GUID& key, UINT64* value) override { return attributes_.Get(key, value); }
    HRESULT GetDouble(const GUID& key, double* value) override { return attributes_.Get(key, value); }
    HRESULT GetGUID(const GUID& key, GUID* value) override { return attributes_.Get(key, value); }
    HRESULT GetString(const GUID& key, std::string* value) override {
        return attributes_.Get(key, value);
    }
    HRESULT GetBlobSize(const GUID& key, UINT32* size) override {
        return attributes_.GetBlobSize(key, size);
    }
    HRESULT GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) override {
        return attributes_.GetBlob(key, buffer, bufferSize, size);
    }
    HRESULT GetUnknown(const GUID& key, const IID& iid, void** object) override {
        return attributes_.GetUnknown(key, iid, object);
    }
    HRESULT SetUINT32(const GUID& key, UINT32 value) override { return attributes_.Set(key, value); }
    HRESULT SetUINT64(const GUID& key, UINT64 value) override { return attributes_.Set(key, value); }
    HRESULT SetDouble(const GUID& key, double value) override { return attributes_.Set(key, value); }
    HRESULT SetGUID(const GUID& key, const GUID& value) override { return attributes_.Set(key, value); }
    HRESULT SetString(const GUID& key, std::string_view value) override {
        return attributes_.Set(key, std::string(value));
    }
    HRESULT SetBlob(const GUID& key, const BYTE* data, UINT32 size) override {
        if (!data && size) return E_POINTER;
        return attributes_.Set(key, std::vector<BYTE>(data, data + size));
    }
    HRESULT SetUnknown(const GUID& key, IUnknown* value) override {
        return attributes_.Set(key, ComPtr<IUnknown>(value));
    }
    HRESULT DeleteItem(const GUID& key) override { return attributes_.Delete(key); }
    HRESULT DeleteAllItems() override {
        attributes_.Clear();
        return S_OK;
    }
    HRESULT GetCount(UINT32* count) override {
        if (!count) return E_POINTER;
        *count = attributes_.Count();
        return S_OK;
    }
    HRESULT GetItemByIndex(UINT32 index, GUID* key) override { return attributes_.KeyAt(index, key); }
    HRESULT CopyAllItems(IMFAttributes* destination) override { return attributes_.CopyTo(destination); }
    HRESULT GetItem(const GUID& key, PROPVARIANT* value) override { return attributes_.GetItem(key, value); }
    HRESULT SetItem(const GUID& key, const PROPVARIANT& value) override { return attributes_.SetItem(key, value); }
    HRESULT CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) override {
        return attributes_.CompareItem(key, value, result);
    }
    HRESULT Compare(IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result) override {
        return CompareAttributes(this, theirs, type, result);
    }
    HRESULT GetStringLength(const GUID& key, UINT32* length) override {
        return attributes_.GetStringLength(key, length);
    }
    HRESULT GetAllocatedString(const GUID& key, char** value, UINT32* length) override {
        return attributes_.GetAllocatedString(key, value, length);
    }
    HRESULT GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) override {
        return attributes_.GetAllocatedBlob(key, buffer, size);
    }
    HRESULT LockStore() override { return attributes_.Lock(); }
    HRESULT UnlockStore() override { return attributes_.Unlock(); }

protected:
    AttributeValues attributes_;
};

}  // namespace orv
