#include "ProbeViews.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <map>

#include "ProbeData.h"
#include "platform/base/JsonWriter.h"
#include "recorder/RecordingName.h"
#include "views-bench/FrontMovie.h"
#include "views/EventClassification.h"
#include "views/InfoTexts.h"
#include "views/ObdGauge.h"
#include "views/PaneValues.h"

namespace orv::probe {

namespace {

using views_tools::FrontMovieData;

void WriteError(std::ostream& out, const std::string& movie, const std::string& error) {
    JsonWriter j;
    j.BeginObject();
    WritePath(j, "file", movie);
    j.Key("error").String(error.empty() ? "cannot read the movie" : error);
    j.EndObject();
    out << j.str() << '\n';
}

const char* DriveSupportLetter(int event) {
    switch (event) {
    case EVENT_DRIVE_SUPPORT_ACCELERATION: return "A";
    case EVENT_DRIVE_SUPPORT_BRAKING: return "B";
    case EVENT_DRIVE_SUPPORT_STEERING: return "H";
    default: return "";
    }
}

}  // namespace

void ProbeEvents(const std::string& movie, std::ostream& out) {
    const FrontMovieData loaded(movie);
    if (!loaded.Loaded()) return WriteError(out, movie, loaded.Error());
    std::vector<sCRASHPOS> list;
    BuildEventList(MakeEventDetectors(), list);

    const ChannelsLock lock;
    const FrameRecords records = ChannelFrameRecords(lock);
    // The first frame that shows each record.
    std::map<const sSENSORRECORD*, std::int64_t> firstFrame;
    for (std::int64_t f = records.FrameCount() - 1; f >= 0; --f)
        if (const sSENSORRECORD* r = records.At(f)) firstFrame[r] = f;
    for (const sCRASHPOS& e : list) {
        JsonWriter j;
        j.BeginObject();
        j.Key("frame").Int(firstFrame.count(e.pRecord) ? firstFrame[e.pRecord] : -1);
        j.Key("record").Int(e.nRecord);
        j.Key("kind").Int(e.nKind);
        j.Key("detector").Int(e.nDetector);
        j.EndObject();
        out << j.str() << '\n';
    }
}

void ProbeFrame(const std::string& movie, const std::string& frameText, std::ostream& out) {
    int frame = -1;
    const auto parsed = std::from_chars(frameText.data(), frameText.data() + frameText.size(), frame);
    if (parsed.ec != std::errc() || parsed.ptr != frameText.data() + frameText.size() || frame < 0)
        return WriteError(out, movie, "the frame is not a number of 0 or more");
    const FrontMovieData loaded(movie);
    if (!loaded.Loaded()) return WriteError(out, movie, loaded.Error());

    const ChannelsLock lock;
    const sSENSORRECORD* record = GetFrameRecord(lock, frame);
    if (!record) return WriteError(out, movie, "no record at that frame");

    // What the panel and the gauges show at this frame, after a fresh start.
    const PaneValues values = PaneValuesOf(record, frame);
    const BOOL valid = values.info.bGpsValid;
    const double speed = values.info.dSpeed.value_or(kNoSpeedValue);
    const std::optional<SYSTEMTIME> when =
        FrameDateTime(RecordingTimeFromName(movie), frame, loaded.FrameInterval(),
                      loaded.Header().mode == 'T' ? TRUE : FALSE);
    VehicleValues vehicle;
    if (const std::optional<VehicleReadings>& r = values.info.vehicle)
        vehicle = ApplyVehicleValues(vehicle, loaded.Header().byteB, r->nTurnSignal, r->nSteering, r->nBrake, r->nFlag);
    ObdValues gauges{0, ObdStartValueTable[OBD_INTAKE_PRESSURE], 0, 0, 0};
    ApplyObdReadings(values.obd.readings, gauges);

    JsonWriter j;
    j.BeginObject();
    j.Key("frame").Int(frame);
    j.Key("record").Int(record->index);
    j.Key("date_time").String(when ? FormatDateTime(*when) : "");
    j.Key("speed").String(FormatSpeed(valid, speed));
    j.Key("g_x").String(FormatGValue(record->gX));
    j.Key("g_y").String(FormatGValue(record->gY));
    j.Key("g_z").String(FormatGValue(record->gZ));
    j.Key("voltage").String(FormatVoltage(record->voltage));
    j.Key("steering").String(FormatSteering(vehicle.nAngleRaw));
    j.Key("turn_signal").Int(vehicle.nVehicleState);
    j.Key("brake").Int(vehicle.nVehicleValue3);
    j.Key("drive_support").String(DriveSupportLetter(record->event));
    j.Key("gauges").BeginObject();
    const struct {
        const char* name;
        int kind;
    } kinds[] = {{"throttle", OBD_THROTTLE},
                 {"engine_speed", OBD_ENGINE_SPEED},
                 {"intake_pressure", OBD_INTAKE_PRESSURE},
                 {"coolant", OBD_COOLANT_TEMP},
                 {"speed", OBD_SPEED}};
    for (const auto& k : kinds) {
        int value = gauges[std::size_t(ObdSlotOfKind(k.kind))];
        ClampObdValue(value, k.kind);
        j.Key(k.name).Int(value);
    }
    j.EndObject();
    j.EndObject();
    out << j.str() << '\n';
}

bool ProbeViews(const std::string& command, const std::vector<std::string>& args, std::ostream& out) {
    if (command == "events" && args.size() == 1) {
        ProbeEvents(args[0], out);
        return true;
    }
    if (command == "frame" && args.size() == 2) {
        ProbeFrame(args[0], args[1], out);
        return true;
    }
    std::cerr << "usage: recorder-probe events MOVIE\n"
                 "       recorder-probe frame MOVIE FRAME\n";
    return false;
}

}  // namespace orv::probe
