#include "platform/media/AttributeStore.h"

namespace orv {

namespace {

class MediaType final : public ComObject<AttributesImpl<IMFVideoMediaType>> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (iid == IID_IMFVideoMediaType) {
            GUID major;
            if (FAILED(GetMajorType(&major)) || !(major == MFMediaType_Video)) {
                if (object) *object = nullptr;
                return E_NOINTERFACE;
            }
        }
        return QueryInterfaceOf<IMFVideoMediaType, IMFMediaType, IMFAttributes>(this, iid, object);
    }

    HRESULT GetMajorType(GUID* majorType) override {
        if (!majorType) return E_POINTER;
        return attributes_.Get(MF_MT_MAJOR_TYPE, majorType);
    }

    // Uncompressed unless MF_MT_COMPRESSED says otherwise.
    HRESULT IsCompressedFormat(BOOL* compressed) override {
        if (!compressed) return E_POINTER;
        UINT32 v = 0;
        *compressed = SUCCEEDED(attributes_.Get(MF_MT_COMPRESSED, &v)) && v ? TRUE : FALSE;
        return S_OK;
    }

    HRESULT IsEqual(IMFMediaType* other, DWORD* flags) override {
        if (!other) return E_POINTER;
        ComPtr<MediaType> copy;
        auto* o = dynamic_cast<MediaType*>(other);
        if (!o) {  // a type made elsewhere: compare with a copy of its attributes
            copy.Attach(new MediaType);
            if (FAILED(other->CopyAllItems(copy.Get()))) return S_FALSE;
            o = copy.Get();
        }
        const bool equal = attributes_.Equals(o->attributes_);
        if (flags) *flags = equal ? 0xF : 0;
        return equal ? S_OK : S_FALSE;
    }
};

}  // namespace

HRESULT MFCreateMediaType(IMFMediaType** type) {
    if (!type) return E_POINTER;
    *type = new MediaType;
    return S_OK;
}

}  // namespace orv
