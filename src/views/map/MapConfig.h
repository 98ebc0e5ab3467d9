// Where the map's pieces come from. The tile address and the address whose reachability
// decides whether the map can be shown are build settings (ORV_MAP_TILE_URL and
// ORV_MAP_PROBE_URL); tests and review tools point them at a server of their own.
#pragma once

#include <string>

namespace orv {

// The map page and the map library, both carried in the program's resources.
inline constexpr const char* kMapPageUrl = "qrc:/map/map.html";
inline constexpr const char* kMapLibraryUrl = "qrc:/map/leaflet.js";

// Tile address template with {z}, {x} and {y}.
std::string MapTileUrl();
// The tile service's root address.
std::string MapProbeUrl();

// Replaces both addresses for the rest of the run; call before the map is made.
void SetMapServiceAddresses(const std::string& tileUrl, const std::string& probeUrl);

}  // namespace orv
