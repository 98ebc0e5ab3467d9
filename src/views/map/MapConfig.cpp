#include "views/map/MapConfig.h"

#include <mutex>

namespace orv {

namespace {

std::mutex g_configLock;
std::string g_tileUrl = ORV_MAP_TILE_URL;
std::string g_probeUrl = ORV_MAP_PROBE_URL;

}  // namespace

std::string MapTileUrl() {
    std::lock_guard<std::mutex> lock(g_configLock);
    return g_tileUrl;
}

std::string MapProbeUrl() {
    std::lock_guard<std::mutex> lock(g_configLock);
    return g_probeUrl;
}

void SetMapServiceAddresses(const std::string& tileUrl, const std::string& probeUrl) {
    std::lock_guard<std::mutex> lock(g_configLock);
    g_tileUrl = tileUrl;
    g_probeUrl = probeUrl;
}

}  // namespace orv
