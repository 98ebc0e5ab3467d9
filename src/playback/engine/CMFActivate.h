// The presenter activation object: the video renderer asks it for its presenter, and it makes
// the program's presenter once and hands out that same one until the renderer shuts it down.
// The player keeps it to reach the presenter when it starts or seeks the session.
#pragma once

#include <mutex>

#include "platform/media/MediaFoundation.h"
#include "playback/presenter/EVRCustomPresenter.h"

namespace orv {

class CMFActivate final : public ComObject<IMFActivate> {
public:
    // A new activate with an empty attribute store and no presenter.
    static HRESULT CreateInstance(CMFActivate** activate);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFActivate, IMFAttributes>(this, iid, object);
    }

    // IMFAttributes: every operation goes to the activate's own store unchanged.
    HRESULT GetItem(const GUID& key, PROPVARIANT* value) override;
    HRESULT GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) override;
    HRESULT CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) override;
    HRESULT Compare(IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result) override;
    HRESULT GetUINT32(const GUID& key, UINT32* value) override;
    HRESULT GetUINT64(const GUID& key, UINT64* value) override;
    HRESULT GetDouble(const GUID& key, double* value) override;
    HRESULT GetGUID(const GUID& key, GUID* value) override;
    HRESULT GetStringLength(const GUID& key, UINT32* length) override;
    HRESULT GetString(const GUID& key, std::string* value) override;
    HRESULT GetAllocatedString(const GUID& key, char** value, UINT32* length) override;
    HRESULT GetBlobSize(const GUID& key, UINT32* size) override;
    HRESULT GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) override;
    HRESULT GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) override;
    HRESULT GetUnknown(const GUID& key, const IID& iid, void** object) override;
    HRESULT SetItem(const GUID& key, const PROPVARIANT& value) override;
    HRESULT SetUINT32(const GUID& key, UINT32 value) override;
    HRESULT SetUINT64(const GUID& key, UINT64 value) override;
    HRESULT SetDouble(const GUID& key, double value) override;
    HRESULT SetGUID(const GUID& key, const GUID& value) override;
    HRESULT SetString(const GUID& key, std::string_view value) override;
    HRESULT SetBlob(const GUID& key, const BYTE* data, UINT32 size) override;
    HRESULT SetUnknown(const GUID& key, IUnknown* value) override;
    HRESULT DeleteItem(const GUID& key) override;
    HRESULT DeleteAllItems() override;
    HRESULT LockStore() override;
    HRESULT UnlockStore() override;
    HRESULT GetCount(UINT32* count) override;
    HRESULT GetItemByIndex(UINT32 index, GUID* key) override;
    HRESULT CopyAllItems(IMFAttributes* destination) override;

    // IMFActivate. iid must be IID_IMFVideoPresenter (else MF_E_CANNOT_CREATE_SINK); the
    // same presenter each time until ShutdownObject or DetachObject.
    HRESULT ActivateObject(const IID& iid, void** object) override;
    // Lets go of the presenter; the next ActivateObject makes a new one.
    HRESULT ShutdownObject() override;
    // Forgets the presenter; those who were handed it keep it.
    HRESULT DetachObject() override;

    // The presenter's start marks (pull on start, seek mark, second seek mark), written before
    // the player starts or seeks the session; nothing when no presenter was made.
    void SetStartMarks(UINT32 pullOnStart, UINT32 seekMark, UINT32 secondSeekMark);
    // The presenter made, or null.
    ComPtr<EVRCustomPresenter> Presenter();

private:
    explicit CMFActivate(ComPtr<IMFAttributes> store) : attributes_(std::move(store)) {}
    ~CMFActivate() override = default;

    const ComPtr<IMFAttributes> attributes_;
    // The renderer asks from the session's control thread while the player writes the start
    // marks from the UI thread.
    std::mutex mutex_;
    ComPtr<EVRCustomPresenter> presenter_;
};

}  // namespace orv
