#include "platform/media/AttributeStore.h"

#include <algorithm>
#include <cstring>

namespace orv {

const AttributeValues::Value* AttributeValues::Find(const GUID& key) const {
    for (const auto& [k, v] : items_)
        if (k == key) return &v;
    return nullptr;
}

HRESULT AttributeValues::GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) const {
    if (!type) return E_POINTER;
    std::lock_guard lock(mutex_);
    const Value* v = Find(key);
    if (!v) return MF_E_ATTRIBUTENOTFOUND;
    static constexpr MF_ATTRIBUTE_TYPE kTypes[] = {
        MF_ATTRIBUTE_UINT32, MF_ATTRIBUTE_UINT64, MF_ATTRIBUTE_DOUBLE, MF_ATTRIBUTE_GUID,
        MF_ATTRIBUTE_STRING, MF_ATTRIBUTE_BLOB,   MF_ATTRIBUTE_IUNKNOWN,
    };
    *type = kTypes[v->index()];
    return S_OK;
}

HRESULT AttributeValues::Set(const GUID& key, Value value) {
    std::lock_guard lock(mutex_);
    for (auto& [k, v] : items_) {
        if (k == key) {
            std::swap(v, value);  // the old value goes with the parameter, after the lock
            return S_OK;
        }
    }
    items_.emplace_back(key, std::move(value));
    return S_OK;
}

HRESULT AttributeValues::GetBlobSize(const GUID& key, UINT32* size) const {
    if (!size) return E_POINTER;
    std::lock_guard lock(mutex_);
    const Value* v = Find(key);
    if (!v) return MF_E_ATTRIBUTENOTFOUND;
    const auto* blob = std::get_if<std::vector<BYTE>>(v);
    if (!blob) return MF_E_INVALIDTYPE;
    *size = UINT32(blob->size());
    return S_OK;
}

HRESULT AttributeValues::GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) const {
    if (!buffer && bufferSize) return E_POINTER;
    std::lock_guard lock(mutex_);
    const Value* v = Find(key);
    if (!v) return MF_E_ATTRIBUTENOTFOUND;
    const auto* blob = std::get_if<std::vector<BYTE>>(v);
    if (!blob) return MF_E_INVALIDTYPE;
    if (blob->size() > bufferSize) return E_INVALIDARG;
    if (!blob->empty()) std::memcpy(buffer, blob->data(), blob->size());
    if (size) *size = UINT32(blob->size());
    return S_OK;
}

HRESULT AttributeValues::GetUnknown(const GUID& key, const IID& iid, void** object) const {
    if (!object) return E_POINTER;
    *object = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = Get(key, &unknown);
    if (FAILED(hr)) return hr;
    if (!unknown) return E_NOINTERFACE;
    return unknown->QueryInterface(iid, object);
}

HRESULT AttributeValues::Delete(const GUID& key) {
    std::vector<std::pair<GUID, Value>> old;  // released after the lock
    std::lock_guard lock(mutex_);
    auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& kv) { return kv.first == key; });
    if (it != items_.end()) {
        old.push_back(std::move(*it));
        items_.erase(it);
    }
    return S_OK;
}

void AttributeValues::Clear() {
    std::vector<std::pair<GUID, Value>> old;
    std::lock_guard lock(mutex_);
    old.swap(items_);
}

UINT32 AttributeValues::Count() const {
    std::lock_guard lock(mutex_);
    return UINT32(items_.size());
}

HRESULT AttributeValues::KeyAt(UINT32 index, GUID* key) const {
    if (!key) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (index >= items_.size()) return E_INVALIDARG;
    *key = items_[index].first;
    return S_OK;
}

HRESULT AttributeValues::CopyTo(IMFAttributes* destination) const {
    if (!destination) return E_POINTER;
    std::vector<std::pair<GUID, Value>> items;
    {
        std::lock_guard lock(mutex_);
        items = items_;
    }
    destination->DeleteAllItems();
    for (const auto& [key, value] : items) {
        HRESULT hr = std::visit(
            [&, &k = key](const auto& v) -> HRESULT {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, UINT32>) return destination->SetUINT32(k, v);
                else if constexpr (std::is_same_v<T, UINT64>) return destination->SetUINT64(k, v);
                else if constexpr (std::is_same_v<T, double>) return destination->SetDouble(k, v);
                else if constexpr (std::is_same_v<T, GUID>) return destination->SetGUID(k, v);
                else if constexpr (std::is_same_v<T, std::string>) return destination->SetString(k, v);
                else if constexpr (std::is_same_v<T, std::vector<BYTE>>)
                    return destination->SetBlob(k, v.data(), UINT32(v.size()));
                else return destination->SetUnknown(k, v.Get());
            },
            value);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

bool AttributeValues::Equals(const AttributeValues& other) const {
    if (&other == this) return true;
    std::vector<std::pair<GUID, Value>> theirs;
    {
        std::lock_guard lock(other.mutex_);
        theirs = other.items_;
    }
    std::lock_guard lock(mutex_);
    if (theirs.size() != items_.size()) return false;
    for (const auto& [key, value] : theirs) {
        const Value* mine = Find(key);
        if (!mine || mine->index() != value.index()) return false;
        if (const auto* u = std::get_if<ComPtr<IUnknown>>(mine)) {
            if (u->Get() != std::get<ComPtr<IUnknown>>(value).Get()) return false;
        } else if (!std::visit(
                       [&](const auto& a) {
                           using T = std::decay_t<decltype(a)>;
                           if constexpr (std::is_same_v<T, ComPtr<IUnknown>>) return false;
                           else return a == std::get<T>(value);
                       },
                       *mine)) {
            return false;
        }
    }
    return true;
}

namespace {

class AttributeStore final : public ComObject<AttributesImpl<IMFAttributes>> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAttributes>(this, iid, object);
    }
};

}  // namespace

HRESULT MFCreateAttributes(IMFAttributes** attributes) {
    if (!attributes) return E_POINTER;
    *attributes = new AttributeStore;
    return S_OK;
}

HRESULT MFGetAttributeSize(IMFAttributes* a, const GUID& key, UINT32* width, UINT32* height) {
    if (!a || !width || !height) return E_POINTER;
    UINT64 packed = 0;
    HRESULT hr = a->GetUINT64(key, &packed);
    if (FAILED(hr)) return hr;
    *width = UINT32(packed >> 32);
    *height = UINT32(packed & 0xFFFFFFFFu);
    return S_OK;
}

HRESULT MFSetAttributeSize(IMFAttributes* a, const GUID& key, UINT32 width, UINT32 height) {
    if (!a) return E_POINTER;
    return a->SetUINT64(key, (UINT64(width) << 32) | height);
}

}  // namespace orv
