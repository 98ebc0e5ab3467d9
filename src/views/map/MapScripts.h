// The track array the page reads and the scripts the program runs in the page, as text
// that does not depend on the user's locale. Qt-free.
#pragma once

#include <span>
#include <string>

#include "recorder/RecorderRecords.h"
#include "views/map/HostWebViewFuncs.h"

namespace orv {

// A position on the earth: |latitude| <= 90 and |longitude| <= 180 degrees. The recorder's
// "no digits" value (above 360) and the numbers of a damaged card are not.
bool IsOnEarth(double latitude, double longitude);

// Latitude, longitude and time field of every record with a valid fix on the earth, then
// the number of values before the count. The array is sized once.
TrackArray MakeTrackArray(std::span<const sGPSRECORD> records);

// "%f" in the C locale: six decimals, '.' as the decimal point.
std::string FormatFixed6(double value);

// The page's scripts.
inline constexpr const char* kScriptClearCrashPos = "cplist.ClearCrashPos()";
inline constexpr const char* kScriptRemoveLineList = "orbitgrplist.RemoveLineList()";
inline constexpr const char* kScriptCreateLine = "orbitgrplist.CreateLine()";
inline constexpr const char* kScriptMoveMarker = "orbitgrplist.MoveMarker()";
std::string CreateGridLineScript(int grid);

// Adds one event marker: kind (EventKind), the three G values, file, grid and frame of the
// event, its position, valid flag, speed and direction.
std::string AddCrashPosScript(int kind, double levelX, double levelY, double levelZ, int ifile, int igrid,
                              int ipos, double lat, double lng, int valid, double speed, double direction);

// The status text the page reads for MAP_STATUS_* (0 "", 1 "pause", 2 "stop"); "" for others.
const char* MapStatusText(int status);

}  // namespace orv
