// What the map page may ask of the program. The page host forwards every page call to
// one of these methods; the map bridge (CGoogleMapDlgWrap) implements them, free of the
// browser engine. All calls arrive on the UI thread.
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinTypes.h"

namespace orv {

// A GPS track as the page reads it: latitude, longitude (degrees) and the record's time
// field (a frame number once the frame table is built) for every valid record, then one
// last value holding the number of values before it. An empty track is {0}.
using TrackArray = std::vector<double>;

class IHostWebViewFuncs {
public:
    virtual ~IHostWebViewFuncs() = default;

    virtual BOOL ConnectTest() = 0;
    virtual void OnInitHtml() = 0;
    virtual TrackArray GetGPSData() = 0;
    virtual TrackArray GetGridData(const std::string& unused) = 0;
    virtual std::string GetMarkName(int eventKind) = 0;
    virtual std::string GetRcString(int textIndex) = 0;
    virtual std::string GetRelJpgNum() = 0;
    virtual void DebugLog(const std::string& text) = 0;
    virtual void OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                                   double speed, double direction) = 0;
    virtual std::string GetMapURL() = 0;
    virtual void SetSend() = 0;
};

}  // namespace orv
