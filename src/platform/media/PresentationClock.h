// The session's presentation clock: the presentation time follows the system time at the
// clock's rate while it runs, and stands still while it is paused or stopped.
#pragma once

#include <optional>

#include <mutex>

#include "platform/media/MediaFoundation.h"

namespace orv {

class PresentationClock final : public ComObject<IMFPresentationClock> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFPresentationClock, IMFClock>(this, iid, object);
    }
    HRESULT GetCorrelatedTime(DWORD reserved, LONGLONG* clockTime, MFTIME* systemTime) override;
    HRESULT GetState(DWORD reserved, MFCLOCK_STATE* state) override;
    HRESULT GetTime(MFTIME* time) override;

    // Changes made by the session's control thread; each returns the system time at which
    // the change took effect, for the clock-state notifications.
    MFTIME Start(MFTIME position);    // runs from the position
    MFTIME Pause();                   // stands still where it is
    MFTIME Restart();                 // runs on from where it stands
    // Runs as if it had stood at the position at the system time (which may have passed).
    MFTIME StartAt(MFTIME systemTime, MFTIME position);
    MFTIME Stop(MFTIME position);     // stands still at the position
    void Hold(MFTIME position);       // paused at the position, while a seek is prepared
    MFTIME SetRate(float rate);
    // Runs at the rate as if it had changed at the system time (which may have passed; not
    // before the clock's own last change).
    MFTIME SetRateAt(MFTIME systemTime, float rate);
    float Rate() const;
    bool Running() const;

private:
    MFTIME TimeAt(MFTIME systemTime) const;
    // Under the lock: the clock stands at `position` (where it is now when none) from now on,
    // in `state`; returns the system time of the change.
    MFTIME Rebase(MFCLOCK_STATE state, std::optional<MFTIME> position);

    mutable std::mutex mutex_;
    MFCLOCK_STATE state_ = MFCLOCK_STATE_STOPPED;
    MFTIME position_ = 0;     // the time at systemBase_
    MFTIME systemBase_ = 0;
    float rate_ = 1.0f;
};

}  // namespace orv
