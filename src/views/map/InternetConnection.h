#pragma once

#include <string>

// What the map bridge and the main window need of the connectivity watch and update checker
// that the bridge owns. The checker itself lives with the program; the bridge sees only this.
class IInternetConnection {
public:
    virtual ~IInternetConnection() = default;

    // Result of the last connectivity probe; false while the map is switched off.
    virtual bool IsConnected() const = 0;
    virtual bool IsMapEnabled() const = 0;
    // Written by the main window when the user switches the map on or off.
    virtual void SetMapEnabled(bool enabled) = 0;
    // One probe now, on the calling thread.
    virtual void ProbeConnection() = 0;
    // Only the first call has an effect.
    virtual void StartUpdateCheck(const std::string& firmwareVersion, const std::string& gpsDataVersion,
                                  const std::string& modelTag) = 0;
    // Idempotent; ends both threads within a bound.
    virtual void StopInternetThreads() = 0;
};
