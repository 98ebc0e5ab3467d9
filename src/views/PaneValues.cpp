#include "views/PaneValues.h"

#include <cstdint>

namespace orv {

PaneValues PaneValuesOf(const sSENSORRECORD* record, int frame) {
    PaneValues v;
    v.info.nPosition = frame;
    v.map.nRelJpgNum = frame;
    v.graph.nCurrentFrame = frame;
    if (!record) return v;
    v.info.dAccelX = record->gX;
    v.info.dAccelY = record->gY;
    v.info.dAccelZ = record->gZ;
    v.info.nRecMark = record->mark;
    const sGPSRECORD* gps = record->gps;
    if (!gps) return v;
    const BOOL valid = gps->valid ? TRUE : FALSE;
    v.info.bGpsValid = valid;
    v.info.dSpeed = valid ? gps->speed : kNoSpeedValue;
    // The record keeps the battery voltage in tenths of a volt, as the panel shows it.
    v.info.nVoltage10 = record->voltage;
    v.map.bHasGps = true;
    v.map.bGpsValid = valid;
    if (valid) {
        v.map.dLatitude = gps->latitude;
        v.map.dLongitude = gps->longitude;
    }
    v.obd.bDataValid = valid;
    if (const sOBDRECORD* obd = record->obd ? record->obd : gps->obd) {
        v.info.vehicle = VehicleReadings{obd->values[kObdReadingTurnSignal], std::int16_t(obd->values[kObdReadingSteering]),
                                         obd->values[kObdReadingBrake], obd->codes[0]};
        v.obd.readings = ObdReadingsOf(*obd);
    }
    return v;
}

}  // namespace orv
