#include "playback/engine/View.h"

#include <limits>
#include <mutex>

#include "playback/engine/Transport.h"
#include "playback/engine/ViewGeometry.h"

namespace orv {

namespace {

using SlotLock = std::lock_guard<std::recursive_mutex>;

// Shifts the rectangle; false when it would leave the range of int.
bool OffsetView(RECT* r, int dx, int dy) {
    const long long left = static_cast<long long>(r->left) + dx, right = static_cast<long long>(r->right) + dx;
    const long long top = static_cast<long long>(r->top) + dy, bottom = static_cast<long long>(r->bottom) + dy;
    constexpr long long kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
    if (left < kMin || top < kMin || right > kMax || bottom > kMax) return false;
    *r = RECT{int(left), int(top), int(right), int(bottom)};
    return true;
}

}  // namespace

bool ViewRectangle(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, bool fitAspect, RECT* view) {
    RECT client;
    if (!renderer.ClientRect(channel.owner, &client)) return false;
    RECT r = client;
    if (!ZoomRect(&r, channel.zoomCentreX, channel.zoomCentreY, channel.zoomFactor)) return false;
    if (!OffsetView(&r, channel.viewOffsetX, channel.viewOffsetY)) return false;
    channel.videoRect = r;
    if (fitAspect) {
        int width = 0, height = 0;
        if (!GetVideoSize(renderer, &width, &height) || !FitAspectRect(&r, client, width, height)) return false;
    }
    *view = r;
    return true;
}

int SetMfVideoPosition(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int keep) {
    const ComPtr<IMFVideoDisplayControl> display = renderer.DisplayControl();
    RECT view;
    if (!display || !ViewRectangle(channel, renderer, keep != 0, &view)) return 0;
    const MFVideoNormalizedRect wholePicture;
    const HRESULT hr = display->SetVideoPosition(&wholePicture, &view);
    if (FAILED(hr) && hr != E_POINTER) return 0;
    display->SetAspectRatioMode(keep ? MFVideoARMode_PreservePicture : MFVideoARMode_None);
    if (channel.playState != PLAY_CLOSED) display->RepaintVideo();
    return 1;
}

int DrawView(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer) {
    if (!channel.owner || !renderer.DisplayControl()) return 0;
    return SetMfVideoPosition(channel, renderer, channel.keepAspect);
}

int SetView(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int zoomCentreX, int zoomCentreY,
            int viewOffsetX, int viewOffsetY, float zoomFactor, int /*redraw*/) {
    if (renderer.NotReady()) return 0;
    SlotLock slot(channel.slotLock);
    // Without a window there is nothing to draw the view into, and nothing is kept.
    if (!channel.owner || !IsAppWindow(channel.owner)) return 0;
    channel.zoomCentreX = zoomCentreX;
    channel.zoomCentreY = zoomCentreY;
    channel.viewOffsetX = viewOffsetX;
    channel.viewOffsetY = viewOffsetY;
    channel.zoomFactor = zoomFactor;
    return DrawView(channel, renderer);
}

int SetKeepAspect(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer, int keep) {
    if (renderer.player && !SetMfVideoPosition(channel, renderer, keep)) return 0;
    channel.keepAspect = keep;
    return 1;
}

int RefreshFrame(const sRENDERERBLOCK& renderer) {
    const ComPtr<IMFVideoDisplayControl> display = renderer.DisplayControl();
    if (!display) return 0;
    display->RepaintVideo();
    return 1;
}

int RepaintVideo(sPLAYCHANNEL& channel, const sRENDERERBLOCK& renderer) {
    SlotLock slot(channel.slotLock);
    return DrawView(channel, renderer);
}

}  // namespace orv
