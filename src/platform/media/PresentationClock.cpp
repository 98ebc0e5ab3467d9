#include "platform/media/PresentationClock.h"

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

MFTIME PresentationClock::Start(MFTIME position) {
    std::lock_guard lock(mutex_);
    systemBase_ = MFGetSystemTime();
    position_ = position;
    state_ = MFCLOCK_STATE_RUNNING;
    return systemBase_;
}

MFTIME PresentationClock::Pause() {
    std::lock_guard lock(mutex_);
    const MFTIME now = MFGetSystemTime();
    position_ = TimeAt(now);
    systemBase_ = now;
    state_ = MFCLOCK_STATE_PAUSED;
    return now;
}

MFTIME PresentationClock::Restart() {
    std::lock_guard lock(mutex_);
    systemBase_ = MFGetSystemTime();
    state_ = MFCLOCK_STATE_RUNNING;
    return systemBase_;
}

MFTIME PresentationClock::Stop(MFTIME position) {
    std::lock_guard lock(mutex_);
    systemBase_ = MFGetSystemTime();
    position_ = position;
    state_ = MFCLOCK_STATE_STOPPED;
    return systemBase_;
}

void PresentationClock::Hold(MFTIME position) {
    std::lock_guard lock(mutex_);
    systemBase_ = MFGetSystemTime();
    position_ = position;
    state_ = MFCLOCK_STATE_PAUSED;
}

MFTIME PresentationClock::SetRate(float rate) {
    std::lock_guard lock(mutex_);
    const MFTIME now = MFGetSystemTime();
    position_ = TimeAt(now);
    systemBase_ = now;
    rate_ = rate;
    return now;
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
