#include "platform/media/AttributeStore.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace {

using Value = AttributeValues::Value;

// The item as a variant; false (and an empty variant) for a kind it cannot carry.
HRESULT ToVariant(const Value& value, PROPVARIANT* out) {
    PropVariantInit(out);
    PROPVARIANT v;
    std::visit(
        [&](const auto& item) {
            using T = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<T, UINT32>) {
                v.vt = VT_UI4;
                v.ulVal = item;
            } else if constexpr (std::is_same_v<T, UINT64>) {
                v.vt = VT_UI8;
                v.uhVal = item;
            } else if constexpr (std::is_same_v<T, double>) {
                v.vt = VT_R8;
                v.dblVal = item;
            } else if constexpr (std::is_same_v<T, GUID>) {
                v.vt = VT_CLSID;
                v.puuid = const_cast<GUID*>(&item);
            } else if constexpr (std::is_same_v<T, std::string>) {
                v.vt = VT_LPSTR;
                v.pszVal = const_cast<char*>(item.c_str());
            } else if constexpr (std::is_same_v<T, std::vector<BYTE>>) {
                v.vt = VT_BLOB;
                v.blob = BLOB{UINT32(item.size()), const_cast<BYTE*>(item.data())};
            } else {
                v.vt = VT_UNKNOWN;
                v.punkVal = item.Get();
            }
        },
        value);
    return PropVariantCopy(out, &v);  // the copy owns what it points to
}

// The variant as an item; false for a kind a store does not hold.
bool FromVariant(const PROPVARIANT& v, Value* out) {
    switch (v.vt) {
    case VT_UI4: *out = v.ulVal; return true;
    case VT_UI8: *out = v.uhVal; return true;
    case VT_R8: *out = v.dblVal; return true;
    case VT_CLSID:
        if (!v.puuid) return false;
        *out = *v.puuid;
        return true;
    case VT_LPSTR:
        if (!v.pszVal) return false;
        *out = std::string(v.pszVal);
        return true;
    case VT_BLOB:
        if (!v.blob.pBlobData && v.blob.cbSize) return false;
        *out = std::vector<BYTE>(v.blob.pBlobData, v.blob.pBlobData + v.blob.cbSize);
        return true;
    case VT_UNKNOWN: *out = ComPtr<IUnknown>(v.punkVal); return true;
    default: return false;
    }
}

// Objects are the same when they are one; everything else by its value.
bool SameValue(const Value& a, const Value& b) {
    if (a.index() != b.index()) return false;
    if (const auto* u = std::get_if<ComPtr<IUnknown>>(&a)) return u->Get() == std::get<ComPtr<IUnknown>>(b).Get();
    return std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, ComPtr<IUnknown>>) return false;
            else return x == std::get<T>(b);
        },
        a);
}

}  // namespace

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
        if (!mine || !SameValue(*mine, value)) return false;
    }
    return true;
}

HRESULT AttributeValues::GetItem(const GUID& key, PROPVARIANT* value) const {
    std::lock_guard lock(mutex_);
    const Value* v = Find(key);
    if (!v) return MF_E_ATTRIBUTENOTFOUND;
    return value ? ToVariant(*v, value) : S_OK;
}

HRESULT AttributeValues::SetItem(const GUID& key, const PROPVARIANT& value) {
    Value v;
    if (!FromVariant(value, &v)) return MF_E_INVALIDTYPE;
    return Set(key, std::move(v));
}

HRESULT AttributeValues::CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) const {
    if (!result) return E_POINTER;
    *result = FALSE;
    Value v;
    if (!FromVariant(value, &v)) return S_OK;
    std::lock_guard lock(mutex_);
    const Value* mine = Find(key);
    *result = mine && SameValue(*mine, v) ? TRUE : FALSE;
    return S_OK;
}

HRESULT AttributeValues::GetStringLength(const GUID& key, UINT32* length) const {
    if (!length) return E_POINTER;
    std::string text;
    const HRESULT hr = Get(key, &text);
    if (SUCCEEDED(hr)) *length = UINT32(text.size());
    return hr;
}

HRESULT AttributeValues::GetAllocatedString(const GUID& key, char** value, UINT32* length) const {
    if (!value || !length) return E_POINTER;
    *value = nullptr;
    std::string text;
    HRESULT hr = Get(key, &text);
    if (FAILED(hr)) return hr;
    auto* copy = static_cast<char*>(CoTaskMemAlloc(text.size() + 1));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *value = copy;
    *length = UINT32(text.size());
    return S_OK;
}

HRESULT AttributeValues::GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) const {
    if (!buffer || !size) return E_POINTER;
    *buffer = nullptr;
    std::vector<BYTE> blob;
    HRESULT hr = Get(key, &blob);
    if (FAILED(hr)) return hr;
    auto* copy = static_cast<BYTE*>(CoTaskMemAlloc(blob.size()));
    if (!copy) return E_OUTOFMEMORY;
    if (!blob.empty()) std::memcpy(copy, blob.data(), blob.size());
    *buffer = copy;
    *size = UINT32(blob.size());
    return S_OK;
}

HRESULT AttributeValues::Lock() {
    mutex_.lock();
    lockOwner_.store(std::this_thread::get_id());
    ++lockDepth_;
    return S_OK;
}

HRESULT AttributeValues::Unlock() {
    // Only the thread that holds the store may let it go (unlocking a mutex one does not
    // hold is undefined).
    if (lockOwner_.load() != std::this_thread::get_id() || lockDepth_ == 0) return E_UNEXPECTED;
    if (--lockDepth_ == 0) lockOwner_.store(std::thread::id());
    mutex_.unlock();
    return S_OK;
}

HRESULT CompareAttributes(IMFAttributes* ours, IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result) {
    if (!result) return E_POINTER;
    *result = FALSE;
    if (!theirs) return E_POINTER;
    UINT32 ourCount = 0, theirCount = 0;
    HRESULT hr = ours->GetCount(&ourCount);
    if (SUCCEEDED(hr)) hr = theirs->GetCount(&theirCount);
    if (FAILED(hr)) return hr;
    // Every item of `from` is in `in` with the same value; with `skipMissing`, items `in`
    // lacks are passed over.
    const auto contained = [](IMFAttributes* from, UINT32 count, IMFAttributes* in, bool skipMissing) {
        for (UINT32 i = 0; i < count; ++i) {
            GUID key;
            PROPVARIANT value;
            if (FAILED(from->GetItemByIndex(i, &key)) || FAILED(from->GetItem(key, &value))) return false;
            BOOL same = FALSE;
            const bool missing = skipMissing && FAILED(in->GetItem(key, nullptr));
            const bool ok = missing || (SUCCEEDED(in->CompareItem(key, value, &same)) && same);
            PropVariantClear(&value);
            if (!ok) return false;
        }
        return true;
    };
    bool match = false;
    switch (type) {
    case MF_ATTRIBUTES_MATCH_OUR_ITEMS: match = contained(ours, ourCount, theirs, false); break;
    case MF_ATTRIBUTES_MATCH_THEIR_ITEMS: match = contained(theirs, theirCount, ours, false); break;
    case MF_ATTRIBUTES_MATCH_ALL_ITEMS:
        match = ourCount == theirCount && contained(ours, ourCount, theirs, false);
        break;
    case MF_ATTRIBUTES_MATCH_INTERSECTION: match = contained(ours, ourCount, theirs, true); break;
    case MF_ATTRIBUTES_MATCH_SMALLER:
        match = ourCount <= theirCount ? contained(ours, ourCount, theirs, false)
                                       : contained(theirs, theirCount, ours, false);
        break;
    default: return E_INVALIDARG;
    }
    *result = match ? TRUE : FALSE;
    return S_OK;
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
