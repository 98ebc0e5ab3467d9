#include "platform/media/PresentationClock.h"

#include <algorithm>
#include <cmath>

namespace orv {

MFTIME PresentationClock::TimeAt(MFTIME systemTime) const {
    if (state_ != MFCLOCK_STATE_RUNNING) return position_;
    return position_ + MFTIME(std::llround(double(systemTime - systemBase_) * rate_));
}

HRESULT PresentationClock::GetCorrelatedTime(DWORD, LONGLONG* clockTime, MFTIME* systemTime) {
    if (!clockTime || !systemTime) return E_POINTER;
    std::lock_guard lock(mutex_);
    *systemTime = MFGetSystemTime();
    *clockTime = TimeAt(*systemTime);
    return S_OK;
}

HRESULT PresentationClock::GetState(DWORD, MFCLOCK_STATE* state) {
    if (!state) return E_POINTER;
    std::lock_guard lock(mutex_);
    *state = state_;
    return S_OK;
}

HRESULT PresentationClock::GetTime(MFTIME* time) {
    if (!time) return E_POINTER;
    std::lock_guard lock(mutex_);
    *time = TimeAt(MFGetSystemTime());
    return S_OK;
}

MFTIME PresentationClock::Rebase(MFCLOCK_STATE state, std::optional<MFTIME> position) {
    const MFTIME now = MFGetSystemTime();
    position_ = position ? *position : TimeAt(now);
    systemBase_ = now;
    state_ = state;
    return now;
}

MFTIME PresentationClock::Start(MFTIME position) {
    std::lock_guard lock(mutex_);
    return Rebase(MFCLOCK_STATE_RUNNING, position);
}

MFTIME PresentationClock::Pause() {
    std::lock_guard lock(mutex_);
    return Rebase(MFCLOCK_STATE_PAUSED, std::nullopt);
}

MFTIME PresentationClock::Restart() {
    // Runs on from where it stands: a clock that is not running stands at its position.
    std::lock_guard lock(mutex_);
    return Rebase(MFCLOCK_STATE_RUNNING, position_);
}

MFTIME PresentationClock::StartAt(MFTIME systemTime, MFTIME position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    systemBase_ = systemTime;
    state_ = MFCLOCK_STATE_RUNNING;
    return systemTime;
}

MFTIME PresentationClock::Stop(MFTIME position) {
    std::lock_guard lock(mutex_);
    return Rebase(MFCLOCK_STATE_STOPPED, position);
}

void PresentationClock::Hold(MFTIME position) {
    std::lock_guard lock(mutex_);
    Rebase(MFCLOCK_STATE_PAUSED, position);
}

MFTIME PresentationClock::SetRate(float rate) { return SetRateAt(MFGetSystemTime(), rate); }

MFTIME PresentationClock::SetRateAt(MFTIME systemTime, float rate) {
    std::lock_guard lock(mutex_);
    // Up to its last change the clock ran as that change said.
    const MFTIME at = std::max(systemTime, systemBase_);
    position_ = TimeAt(at);
    systemBase_ = at;
    rate_ = rate;
    return at;
}

float PresentationClock::Rate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}

bool PresentationClock::Running() const {
    std::lock_guard lock(mutex_);
    return state_ == MFCLOCK_STATE_RUNNING;
}

}  // namespace orv
