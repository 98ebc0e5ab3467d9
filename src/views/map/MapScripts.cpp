#include "views/map/MapScripts.h"

#include <charconv>
#include <cmath>

namespace orv {

namespace {

constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;

}  // namespace

bool IsOnEarth(double latitude, double longitude) {
    // NaN fails both comparisons.
    return std::fabs(latitude) <= kMaxLatitude && std::fabs(longitude) <= kMaxLongitude;
}

TrackArray MakeTrackArray(std::span<const sGPSRECORD> records) {
    std::size_t points = 0;
    for (const sGPSRECORD& r : records)
        if (r.valid && IsOnEarth(r.latitude, r.longitude)) ++points;
    TrackArray out;
    out.reserve(points * 3 + 1);
    for (const sGPSRECORD& r : records) {
        if (!r.valid || !IsOnEarth(r.latitude, r.longitude)) continue;
        out.push_back(r.latitude);
        out.push_back(r.longitude);
        out.push_back(r.time);
    }
    out.push_back(double(points * 3));
    return out;
}

std::string FormatFixed6(double value) {
    // The page reads the text as a script number: NaN stands for a value that is none.
    if (!std::isfinite(value)) return "NaN";
    char buf[400];  // the longest fixed form of a double is 309 digits plus the decimals
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    return ec == std::errc() ? std::string(buf, end) : std::string("NaN");
}

std::string CreateGridLineScript(int grid) { return "orbitgrplist.CreateGridLine(" + std::to_string(grid) + ")"; }

std::string AddCrashPosScript(int kind, double levelX, double levelY, double levelZ, int ifile, int igrid,
                              int ipos, double lat, double lng, int valid, double speed, double direction) {
    const std::string c = ",";
    return "cplist.AddCrashPos(" + std::to_string(kind) + c + FormatFixed6(levelX) + c + FormatFixed6(levelY) + c +
           FormatFixed6(levelZ) + c + std::to_string(ifile) + c + std::to_string(igrid) + c + std::to_string(ipos) +
           c + FormatFixed6(lat) + c + FormatFixed6(lng) + c + std::to_string(valid) + c + FormatFixed6(speed) + c +
           FormatFixed6(direction) + ")";
}

const char* MapStatusText(int status) {
    switch (status) {
        case 1: return "pause";
        case 2: return "stop";
        default: return "";
    }
}

}  // namespace orv
