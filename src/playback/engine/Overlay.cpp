#include "playback/engine/Overlay.h"

#include <mutex>

#include "playback/engine/OverlayBitmap.h"
#include "playback/engine/Transport.h"

namespace orv {

int ShowOverlayText(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::string& text) {
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    if (!renderer.player || renderer.overlayBitmap.isNull()) return 0;
    DrawOverlayBitmap(&renderer.overlayBitmap, channel.overlayFont, text);

    int videoWidth = 0, videoHeight = 0;
    RECT client;
    sOVERLAYPLACE place;
    if (!GetVideoSize(renderer, &videoWidth, &videoHeight) || !renderer.ClientRect(channel.owner, &client) ||
        !PlaceOverlay(client.Width(), client.Height(), videoWidth, videoHeight, channel.keepAspect, &place))
        return 0;
    const ComPtr<IMFVideoMixerBitmap> mixer = renderer.player->MixerBitmap();
    if (!mixer) return 0;

    mixer->ClearAlphaBitmap();
    MFVideoAlphaBitmap alpha;
    alpha.GetBitmapFromDC = TRUE;
    alpha.bitmap = renderer.overlayBitmap;
    alpha.params.dwFlags = MFVideoAlphaBitmap_SrcColorKey | MFVideoAlphaBitmap_SrcRect |
                           MFVideoAlphaBitmap_DestRect | MFVideoAlphaBitmap_Alpha;
    alpha.params.clrSrcKey = kOverlayKeyColour;
    alpha.params.rcSrc = RECT{0, 0, kOverlayWidth, kOverlayHeight};
    alpha.params.nrcDest = place.destination;
    alpha.params.fAlpha = 1.0f;
    return SUCCEEDED(mixer->SetAlphaBitmap(&alpha)) ? 1 : 0;
}

int ClearOverlay(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer) {
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    if (renderer.player) {
        if (const ComPtr<IMFVideoMixerBitmap> mixer = renderer.player->MixerBitmap()) mixer->ClearAlphaBitmap();
    }
    return 1;
}

}  // namespace orv
