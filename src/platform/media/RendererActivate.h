// The activates of the audio and video renderers: their attributes tell the session which
// renderer to build for an output node (the video window, the custom presenter).
#pragma once

#include "platform/media/AttributeStore.h"
#include "platform/media/MediaFoundation.h"

namespace orv {

class RendererActivate final : public ComObject<AttributesImpl<IMFActivate>> {
public:
    enum class Kind { Audio, Video };
    explicit RendererActivate(Kind kind) : kind_(kind) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFActivate, IMFAttributes>(this, iid, object);
    }
    // The session builds the renderer itself when it resolves the topology; the activate
    // cannot make one on its own.
    HRESULT ActivateObject(const IID&, void** object) override {
        if (object) *object = nullptr;
        return MF_E_INVALIDREQUEST;
    }
    HRESULT ShutdownObject() override { return S_OK; }
    HRESULT DetachObject() override { return S_OK; }

    Kind GetKind() const { return kind_; }

private:
    const Kind kind_;
};

}  // namespace orv
