// The presenter activation object on its own: one presenter per activation, the attribute
// store, and the interfaces it answers.
#include <gtest/gtest.h>

#include "playback/engine/CMFActivate.h"

namespace orv {
namespace {

ComPtr<CMFActivate> MakeActivate() {
    ComPtr<CMFActivate> activate;
    EXPECT_EQ(CMFActivate::CreateInstance(activate.ReleaseAndGetAddressOf()), S_OK);
    return activate;
}

ComPtr<IMFVideoPresenter> Activate(IMFActivate* activate) {
    ComPtr<IMFVideoPresenter> presenter;
    EXPECT_EQ(activate->ActivateObject(IID_IMFVideoPresenter, reinterpret_cast<void**>(presenter.ReleaseAndGetAddressOf())),
              S_OK);
    return presenter;
}

TEST(MFActivate, MakesOnePresenterUntilShutDownOrDetached) {
    auto activate = MakeActivate();
    EXPECT_FALSE(activate->Presenter());
    activate->SetStartMarks(1, 0, 0);  // nothing to mark yet
    auto first = Activate(activate.Get());
    ASSERT_TRUE(first);
    EXPECT_EQ(Activate(activate.Get()).Get(), first.Get());
    // It is the program's own presenter, the one the start marks go to.
    auto custom = activate->Presenter();
    ASSERT_TRUE(custom);
    ComPtr<IUnknown> a, b;
    EXPECT_EQ(first.As(&a), S_OK);
    EXPECT_EQ(custom.As(&b), S_OK);
    EXPECT_EQ(a.Get(), b.Get());
    activate->SetStartMarks(1, 1, 0);

    EXPECT_EQ(activate->ShutdownObject(), S_OK);
    auto second = Activate(activate.Get());
    ASSERT_TRUE(second);
    EXPECT_NE(second.Get(), first.Get());

    // Detached, the presenter lives on with those who hold it; the activate makes a new one.
    EXPECT_EQ(activate->DetachObject(), S_OK);
    auto third = Activate(activate.Get());
    EXPECT_NE(third.Get(), second.Get());
    ComPtr<IMFVideoDeviceID> device;
    EXPECT_EQ(second.As(&device), S_OK);
}

TEST(MFActivate, RefusesAnyOtherInterface) {
    auto activate = MakeActivate();
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(activate->ActivateObject(IID_IMFVideoDisplayControl, &object), MF_E_CANNOT_CREATE_SINK);
    EXPECT_EQ(activate->ActivateObject(IID_IUnknown, &object), MF_E_CANNOT_CREATE_SINK);
    EXPECT_EQ(activate->ActivateObject(IID_IMFVideoPresenter, nullptr), E_POINTER);
    EXPECT_EQ(object, reinterpret_cast<void*>(0x1));  // not written
    EXPECT_TRUE(Activate(activate.Get()));
}

TEST(MFActivate, AttributesGoToItsOwnStore) {
    constexpr GUID kKey = MakeGuid("0b0d7b1c-3a47-4d2c-9d5a-0f6a2b1e8c11");
    auto activate = MakeActivate();
    UINT32 count = 99;
    EXPECT_EQ(activate->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    UINT32 value = 0;
    EXPECT_EQ(activate->GetUINT32(kKey, &value), MF_E_ATTRIBUTENOTFOUND);
    EXPECT_EQ(activate->SetUINT32(kKey, 7), S_OK);
    EXPECT_EQ(activate->GetUINT32(kKey, &value), S_OK);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(activate->GetString(kKey, nullptr), E_POINTER);
    std::string text;
    EXPECT_EQ(activate->GetString(kKey, &text), MF_E_INVALIDTYPE);

    ComPtr<IMFAttributes> copy;
    ASSERT_EQ(MFCreateAttributes(copy.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(activate->CopyAllItems(copy.Get()), S_OK);
    EXPECT_EQ(copy->GetUINT32(kKey, &value), S_OK);
    GUID key;
    EXPECT_EQ(activate->GetItemByIndex(0, &key), S_OK);
    EXPECT_TRUE(key == kKey);
    // The operations on whole items, strings and the store reach it too.
    PROPVARIANT item;
    ASSERT_EQ(activate->GetItem(kKey, &item), S_OK);
    EXPECT_EQ(item.vt, VT_UI4);
    BOOL same = FALSE;
    EXPECT_EQ(activate->CompareItem(kKey, item, &same), S_OK);
    EXPECT_TRUE(same);
    EXPECT_EQ(activate->Compare(copy.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
    EXPECT_TRUE(same);
    item.ulVal = 8;
    EXPECT_EQ(activate->SetItem(kKey, item), S_OK);
    EXPECT_EQ(activate->GetUINT32(kKey, &value), S_OK);
    EXPECT_EQ(value, 8u);
    EXPECT_EQ(activate->SetString(kKey, "rear"), S_OK);
    UINT32 length = 0;
    EXPECT_EQ(activate->GetStringLength(kKey, &length), S_OK);
    EXPECT_EQ(length, 4u);
    char* allocated = nullptr;
    EXPECT_EQ(activate->GetAllocatedString(kKey, &allocated, &length), S_OK);
    CoTaskMemFree(allocated);
    BYTE* blob = nullptr;
    EXPECT_EQ(activate->GetAllocatedBlob(kKey, &blob, &length), MF_E_INVALIDTYPE);
    EXPECT_EQ(activate->LockStore(), S_OK);
    EXPECT_EQ(activate->UnlockStore(), S_OK);
    EXPECT_EQ(activate->UnlockStore(), E_UNEXPECTED);

    EXPECT_EQ(activate->DeleteItem(kKey), S_OK);
    EXPECT_EQ(activate->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(MFActivate, AnswersActivateAttributesAndUnknownAsOneObject) {
    auto activate = MakeActivate();
    ComPtr<IUnknown> unknown;
    ComPtr<IMFAttributes> attributes;
    ComPtr<IMFActivate> asActivate;
    EXPECT_EQ(activate.As(&unknown), S_OK);
    EXPECT_EQ(activate.As(&attributes), S_OK);
    EXPECT_EQ(activate.As(&asActivate), S_OK);
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(static_cast<IMFActivate*>(activate.Get())));
    ComPtr<IMFVideoPresenter> presenter;
    EXPECT_EQ(activate.As(&presenter), E_NOINTERFACE);
    EXPECT_FALSE(presenter);
}

}  // namespace
}  // namespace orv
