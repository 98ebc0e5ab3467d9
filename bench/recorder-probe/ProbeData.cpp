#include "ProbeData.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/base/FileView.h"
#include "platform/base/JsonWriter.h"
#include "platform/base/PathUtil.h"
#include "recorder/MovieScanner.h"
#include "recorder/RecorderRecords.h"

namespace orv::probe {

namespace {

// What the decoded records do not keep apart but the raw record shows: the time
// correction and the letters that the event kind combines.
struct RawExtras {
    std::optional<double> correction;
    char driveSupport = 0;
    bool parking = false;
};

struct Decoded {
    bool complete = false;
    std::optional<std::int32_t> trailer;
    std::vector<RawExtras> extras;
};

std::string TimeText(const SYSTEMTIME& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.wYear), unsigned(t.wMonth),
                  unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute), unsigned(t.wSecond));
    return buf;
}

std::string Letter(int c) { return std::string(1, char(c)); }

void WriteHeader(JsonWriter& j, const RecorderHeader& h) {
    j.Key("header").BeginObject();
    j.Key("thresholds").BeginArray();
    // Floats: seven digits show them as they were parsed.
    for (float t : h.threshold) j.Double(t, 7);
    j.EndArray();
    j.Key("fourthValue").Double(h.fourthValue, 7);
    j.Key("letter").String(Letter(h.letter));
    j.Key("version").String(std::string(h.version, sizeof h.version));
    j.Key("byteA").Int(h.byteA);
    j.Key("byteB").Int(h.byteB);
    j.Key("mode").String(Letter(h.mode));
    j.Key("reserved").Int(h.reserved);
    j.Key("byteC").Int(h.byteC);
    j.EndObject();
}

void WriteGps(JsonWriter& j, const sGPSRECORD& g, const RawExtras& x) {
    j.BeginObject();
    j.Key("index").Int(g.index);
    j.Key("timeMs").Int(g.time);
    j.Key("valid").Int(g.valid);
    j.Key("latitude").Double(g.latitude, 12);
    j.Key("longitude").Double(g.longitude, 12);
    j.Key("speed").Double(g.speed);
    j.Key("time");
    if (g.timeOfDay == SYSTEMTIME{}) j.Null(); else j.String(TimeText(g.timeOfDay));
    j.Key("correction");
    if (x.correction) j.Double(*x.correction); else j.Null();
    j.EndObject();
}

void WriteSensor(JsonWriter& j, const sSENSORRECORD& s, const RawExtras& x) {
    j.BeginObject();
    j.Key("index").Int(s.index);
    j.Key("timeMs").Int(s.time);
    j.Key("event").Int(s.event);
    j.Key("axis").Int(s.axis);
    j.Key("driveSupport").String(Letter(x.driveSupport));
    j.Key("parking").Bool(x.parking);
    j.Key("speeding").Int(s.speeding);
    j.Key("mark").String(Letter(s.mark));
    j.Key("voltage").Int(s.voltage);
    j.Key("gX").Double(s.gX);
    j.Key("gY").Double(s.gY);
    j.Key("gZ").Double(s.gZ);
    j.Key("alert1").Int(s.alert1);
    j.Key("alert2").Int(s.alert2);
    j.EndObject();
}

void WriteObd(JsonWriter& j, const sOBDRECORD& o, const RawExtras&) {
    j.BeginObject();
    j.Key("index").Int(o.index);
    j.Key("codes").BeginArray();
    for (std::uint8_t c : o.codes) j.Int(c);
    j.EndArray();
    j.Key("values").BeginArray();
    for (std::uint16_t v : o.values) j.Int(v);
    j.EndArray();
    j.EndObject();
}

template <class Record, class Write>
void WriteList(JsonWriter& j, const char* key, const std::vector<Record>& list,
               const std::vector<RawExtras>& extras, bool summary, Write write) {
    j.Key(key);
    if (!summary) {
        j.BeginArray();
        for (std::size_t i = 0; i < list.size(); ++i) write(j, list[i], extras[i]);
        j.EndArray();
        return;
    }
    j.BeginObject();
    j.Key("count").Uint(list.size());
    j.Key("first");
    if (list.empty()) j.Null(); else write(j, list.front(), extras.front());
    j.Key("last");
    if (list.empty()) j.Null(); else write(j, list.back(), extras.back());
    j.EndObject();
}

// Decodes the block the way the data loaders do, and collects what the JSON adds.
bool DecodeFile(sMOVIESCANNER& scanner, const std::string& file, Decoded* out, std::string* error) {
    if (!scanner.OpenMapping(file)) {
        *error = "cannot open the file";
        return false;
    }
    const bool searched = scanner.ReadBlock([&](const BlockSource& block) {
        // The decoded records and the extras come from one walk over the block.
        const auto collect = [&](std::int32_t, RawRecord raw) {
            RawExtras x;
            if (raw[sRAWRECORD::kCorrection] != '*') {
                x.correction = FieldNumber(raw.subspan<sRAWRECORD::kCorrection, sRAWRECORD::kCorrectionSize>());
            }
            x.driveSupport = char(raw[sRAWRECORD::kDriveSupport]);
            x.parking = raw[sRAWRECORD::kParking] == 'D';
            out->extras.push_back(x);
        };
        RecordWalk walk;
        out->complete = ParseRecorderBlock(scanner, block, scanner.gps, scanner.sensor, scanner.header,
                                           scanner.obd, &walk, collect);
        if (walk.end != RecordWalkEnd::kReadError && block.size - walk.endOffset >= kBlockTagSize) {
            // The end tag and the recorder's number come with the last window of records;
            // only when they lie behind it are they read on their own.
            const std::size_t tail = std::size_t(std::min<std::uint64_t>(block.size - walk.endOffset, kBlockTagSize + kTrailerSize));
            const std::span<const std::uint8_t> end =
                walk.rest.size() >= tail ? walk.rest.first(tail) : block.view(walk.endOffset, tail);
            if (IsEndTag(end)) out->trailer = ParseRecorderNumber(end.subspan(kBlockTagSize));
        }
        return walk.end != RecordWalkEnd::kReadError;
    });
    scanner.CloseMapping();
    if (!searched) {
        *error = "the file could not be read";
        return false;
    }
    if (scanner.hits == 0) {
        *error = "no recorder data block (CSMDAT) at the start of the file or in a top-level udat box";
        return false;
    }
    return true;
}

}  // namespace

std::string FileProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return SystemErrorText(errno);
    const char* kind = S_ISDIR(st.st_mode)    ? "a directory"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : nullptr;
    if (kind) return std::string("not a regular file: ") + kind;
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    FileView probe;
    if (!probe.Open(path)) return SystemErrorText(probe.LastError());
    return {};
}

void WritePath(JsonWriter& j, const std::string& key, const std::string& path) {
    if (IsValidUtf8(path)) {
        j.Key(key).String(path);
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < path.size();) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const std::size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        if (c < 0x80 || (n > 1 && i + n <= path.size() && IsValidUtf8(std::string_view(path).substr(i, n)))) {
            text.append(path, i, c < 0x80 ? 1 : n);
            i += c < 0x80 ? 1 : n;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(c));
        text += buf;
        ++i;
    }
    j.Key(key).String(text);
    j.Key(key + "_escaped").Bool(true);
}

void ProbeData(const std::vector<std::string>& files, bool summary, std::ostream& out) {
    for (const std::string& file : files) {
        sMOVIESCANNER scanner;
        Decoded decoded;
        std::string error;
        JsonWriter j;
        j.BeginObject();
        WritePath(j, "file", file);
        error = FileProblem(file);
        if (error.empty() && !scanner.Init()) {
            error = "the scanner could not be initialised";
        }
        if (!error.empty() || !DecodeFile(scanner, file, &decoded, &error)) {
            j.Key("error").String(error);
        } else {
            j.Key("records").Uint(scanner.gps.size());
            j.Key("complete").Bool(decoded.complete);
            WriteHeader(j, scanner.header);
            j.Key("trailer");
            if (decoded.trailer) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%06d", int(*decoded.trailer));
                j.String(buf);
            } else {
                j.Null();
            }
            WriteList(j, "gps", scanner.gps, decoded.extras, summary, WriteGps);
            WriteList(j, "sensor", scanner.sensor, decoded.extras, summary, WriteSensor);
            WriteList(j, "obd", scanner.obd, decoded.extras, summary, WriteObd);
        }
        j.EndObject();
        out << j.str() << '\n';
        scanner.Term();
    }
}

bool ProbeMovieTiming(const std::string& file, double* durationS, double* frameIntervalMs,
                      std::string* error) {
    sMOVIESCANNER scanner;
    std::string failure = FileProblem(file);
    float duration = 0.0f;
    if (!failure.empty()) {
        // Nothing is opened that could make the probe wait.
    } else if (!scanner.Init()) {
        failure = "the scanner could not be initialised";
    } else if (!scanner.OpenMapping(file)) {
        failure = "cannot open the file";
    } else if (!scanner.FindBox({"mvhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> d) {
                   return OnMvhdBox(s, d, &duration);
               }}) || scanner.hits == 0) {
        failure = scanner.hits == 0 ? "no movie header (mvhd)" : "the movie header gives no duration";
    } else if (!ScanTrackTiming(scanner, duration)) {
        failure = "no frame timing (stts) in a video track";
    }
    const float interval = scanner.frameInterval;
    scanner.Term();
    if (!failure.empty()) {
        if (error) *error = failure;
        return false;
    }
    if (durationS) *durationS = duration;
    if (frameIntervalMs) *frameIntervalMs = interval;
    return true;
}

}  // namespace orv::probe
