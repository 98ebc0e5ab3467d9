// Shared helpers of the map's tests: GPS tracks put in place as channel 1's data, and a
// connectivity checker whose answers the test sets.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "playback/PlayChannel.h"
#include "recorder/RecorderRecords.h"
#include "views/map/InternetConnection.h"

namespace orv::test {

struct TrackPoint {
    double lat;
    double lng;
    int frame;
    int valid = 1;
};

inline std::vector<sGPSRECORD> GpsRecords(const std::vector<TrackPoint>& points) {
    std::vector<sGPSRECORD> out;
    for (const TrackPoint& p : points) {
        sGPSRECORD r;
        r.index = int(out.size());
        r.latitude = p.lat;
        r.longitude = p.lng;
        r.time = p.frame;
        r.valid = p.valid;
        out.push_back(r);
    }
    return out;
}

// Channel 1 initialised with `list` as the list-wide track and `movie` as the current
// movie's records; taken away again at the end.
class FrontTrack {
public:
    FrontTrack(const std::vector<TrackPoint>& list, const std::vector<TrackPoint>& movie) { Set(list, movie); }
    ~FrontTrack() {
        sPLAYCHANNEL& front = g_aPlayChannel[0];
        const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        front.listGpsTrack.reset();
        front.scanners[kActiveScanner].gps.clear();
        front.initialised = 0;
    }
    FrontTrack(const FrontTrack&) = delete;
    FrontTrack& operator=(const FrontTrack&) = delete;

    void Set(const std::vector<TrackPoint>& list, const std::vector<TrackPoint>& movie) {
        sPLAYCHANNEL& front = g_aPlayChannel[0];
        const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        front.listGpsTrack = std::make_unique<std::vector<sGPSRECORD>>(GpsRecords(list));
        front.scanners[kActiveScanner].gps = GpsRecords(movie);
        front.initialised = 1;
    }
};

class FakeConnection : public ::IInternetConnection {
public:
    FakeConnection(bool enabled, bool connected) : enabled_(enabled), connected_(connected) {}
    bool IsConnected() const override { return enabled_ && connected_; }
    bool IsMapEnabled() const override { return enabled_; }
    void SetMapEnabled(bool enabled) override { enabled_ = enabled; }
    void ProbeConnection() override {}
    void StartUpdateCheck(const std::string&, const std::string&, const std::string&) override {}
    void StopInternetThreads() override {}
    void SetConnected(bool connected) { connected_ = connected; }

private:
    bool enabled_;
    bool connected_;
};

}  // namespace orv::test
