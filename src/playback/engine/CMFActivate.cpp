#include "playback/engine/CMFActivate.h"

namespace orv {

HRESULT CMFActivate::CreateInstance(CMFActivate** activate) {
    if (!activate) return E_POINTER;
    *activate = nullptr;
    ComPtr<IMFAttributes> store;
    const HRESULT hr = MFCreateAttributes(store.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    *activate = new CMFActivate(std::move(store));
    return S_OK;
}

HRESULT CMFActivate::GetItem(const GUID& key, PROPVARIANT* value) { return attributes_->GetItem(key, value); }
HRESULT CMFActivate::GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) {
    return attributes_->GetItemType(key, type);
}
HRESULT CMFActivate::CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) {
    return attributes_->CompareItem(key, value, result);
}
HRESULT CMFActivate::Compare(IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result) {
    return attributes_->Compare(theirs, type, result);
}
HRESULT CMFActivate::GetStringLength(const GUID& key, UINT32* length) {
    return attributes_->GetStringLength(key, length);
}
HRESULT CMFActivate::GetAllocatedString(const GUID& key, char** value, UINT32* length) {
    return attributes_->GetAllocatedString(key, value, length);
}
HRESULT CMFActivate::GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) {
    return attributes_->GetAllocatedBlob(key, buffer, size);
}
HRESULT CMFActivate::SetItem(const GUID& key, const PROPVARIANT& value) { return attributes_->SetItem(key, value); }
HRESULT CMFActivate::LockStore() { return attributes_->LockStore(); }
HRESULT CMFActivate::UnlockStore() { return attributes_->UnlockStore(); }
HRESULT CMFActivate::GetUINT32(const GUID& key, UINT32* value) { return attributes_->GetUINT32(key, value); }
HRESULT CMFActivate::GetUINT64(const GUID& key, UINT64* value) { return attributes_->GetUINT64(key, value); }
HRESULT CMFActivate::GetDouble(const GUID& key, double* value) { return attributes_->GetDouble(key, value); }
HRESULT CMFActivate::GetGUID(const GUID& key, GUID* value) { return attributes_->GetGUID(key, value); }
HRESULT CMFActivate::GetString(const GUID& key, std::string* value) { return attributes_->GetString(key, value); }
HRESULT CMFActivate::GetBlobSize(const GUID& key, UINT32* size) { return attributes_->GetBlobSize(key, size); }
HRESULT CMFActivate::GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) {
    return attributes_->GetBlob(key, buffer, bufferSize, size);
}
HRESULT CMFActivate::GetUnknown(const GUID& key, const IID& iid, void** object) {
    return attributes_->GetUnknown(key, iid, object);
}
HRESULT CMFActivate::SetUINT32(const GUID& key, UINT32 value) { return attributes_->SetUINT32(key, value); }
HRESULT CMFActivate::SetUINT64(const GUID& key, UINT64 value) { return attributes_->SetUINT64(key, value); }
HRESULT CMFActivate::SetDouble(const GUID& key, double value) { return attributes_->SetDouble(key, value); }
HRESULT CMFActivate::SetGUID(const GUID& key, const GUID& value) { return attributes_->SetGUID(key, value); }
HRESULT CMFActivate::SetString(const GUID& key, std::string_view value) { return attributes_->SetString(key, value); }
HRESULT CMFActivate::SetBlob(const GUID& key, const BYTE* data, UINT32 size) {
    return attributes_->SetBlob(key, data, size);
}
HRESULT CMFActivate::SetUnknown(const GUID& key, IUnknown* value) { return attributes_->SetUnknown(key, value); }
HRESULT CMFActivate::DeleteItem(const GUID& key) { return attributes_->DeleteItem(key); }
HRESULT CMFActivate::DeleteAllItems() { return attributes_->DeleteAllItems(); }
HRESULT CMFActivate::GetCount(UINT32* count) { return attributes_->GetCount(count); }
HRESULT CMFActivate::GetItemByIndex(UINT32 index, GUID* key) { return attributes_->GetItemByIndex(index, key); }
HRESULT CMFActivate::CopyAllItems(IMFAttributes* destination) { return attributes_->CopyAllItems(destination); }

HRESULT CMFActivate::ActivateObject(const IID& iid, void** object) {
    if (!(iid == IID_IMFVideoPresenter)) return MF_E_CANNOT_CREATE_SINK;
    if (!object) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!presenter_) {
        EVRCustomPresenter* made = nullptr;
        if (FAILED(EVRCustomPresenter::CreateInstance(&made))) return MF_E_CANNOT_CREATE_SINK;
        presenter_.Attach(made);
    }
    return presenter_->QueryInterface(IID_IMFVideoPresenter, object);
}

HRESULT CMFActivate::ShutdownObject() {
    ComPtr<EVRCustomPresenter> presenter;
    {
        std::lock_guard lock(mutex_);
        presenter = std::move(presenter_);
    }
    return S_OK;
}

HRESULT CMFActivate::DetachObject() { return ShutdownObject(); }

void CMFActivate::SetStartMarks(UINT32 pullOnStart, UINT32 seekMark, UINT32 secondSeekMark) {
    std::lock_guard lock(mutex_);
    if (presenter_) presenter_->SetStartMarks(pullOnStart, seekMark, secondSeekMark);
}

ComPtr<EVRCustomPresenter> CMFActivate::Presenter() {
    std::lock_guard lock(mutex_);
    return presenter_;
}

}  // namespace orv
