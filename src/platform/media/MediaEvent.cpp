#include "platform/media/AttributeStore.h"

namespace orv {

namespace {

class MediaEvent final : public ComObject<AttributesImpl<IMFMediaEvent>> {
public:
    MediaEvent(MediaEventType type, HRESULT status, const PROPVARIANT* value) : type_(type), status_(status) {
        if (value) PropVariantCopy(&value_, value);
    }

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFMediaEvent, IMFAttributes>(this, iid, object);
    }
    HRESULT GetType(MediaEventType* type) override {
        if (!type) return E_POINTER;
        *type = type_;
        return S_OK;
    }
    HRESULT GetStatus(HRESULT* status) override {
        if (!status) return E_POINTER;
        *status = status_;
        return S_OK;
    }
    HRESULT GetValue(PROPVARIANT* value) override {
        if (!value) return E_POINTER;
        PropVariantInit(value);
        return PropVariantCopy(value, &value_);
    }

private:
    ~MediaEvent() override { PropVariantClear(&value_); }

    const MediaEventType type_;
    const HRESULT status_;
    PROPVARIANT value_;
};

}  // namespace

HRESULT MFCreateMediaEvent(MediaEventType type, HRESULT status, const PROPVARIANT* value, IMFMediaEvent** event) {
    if (!event) return E_POINTER;
    *event = new MediaEvent(type, status, value);
    return S_OK;
}

}  // namespace orv
