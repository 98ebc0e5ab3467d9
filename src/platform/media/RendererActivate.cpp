#include "platform/media/RendererActivate.h"

namespace orv {

HRESULT MFCreateAudioRendererActivate(IMFActivate** activate) {
    if (!activate) return E_POINTER;
    *activate = new RendererActivate(RendererActivate::Kind::Audio);
    return S_OK;
}

HRESULT MFCreateVideoRendererActivate(HWND window, IMFActivate** activate) {
    if (!activate) return E_POINTER;
    auto* made = new RendererActivate(RendererActivate::Kind::Video);
    made->SetUINT64(MF_ACTIVATE_VIDEO_WINDOW, UINT64(window));
    *activate = made;
    return S_OK;
}

}  // namespace orv
