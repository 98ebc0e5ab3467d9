#include "recorder/MovieScanner.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/base/ErrorReport.h"
#include "recorder/BigEndian.h"

namespace orv {

namespace {

constexpr char kFindMutexName[] = "hMutexFind";
constexpr char kErrorCaption[] = "Error Message";

// Box header: 32-bit big-endian size, four-character type, and with size 1 a 64-bit
// size behind the type; size 0 means "to the end of the file" (top level only).
constexpr std::size_t kBoxHeader = 8;
constexpr std::size_t kLargeBoxHeader = 16;

// How many characters of `text` are matched once `c` follows `matched` matched ones: the
// longest prefix of the text that ends the bytes read. Falling back only to the first
// character would miss a tag whose start repeats inside it ("aab" in "aaab").
std::int32_t NextMatch(std::string_view text, std::int32_t matched, char c) {
    for (std::int32_t k = matched + 1; k > 0; --k) {
        const std::size_t before = std::size_t(k - 1);
        if (text[before] == c && text.substr(0, before) == text.substr(std::size_t(matched) - before, before))
            return k;
    }
    return 0;
}

}  // namespace

struct sMOVIESCANNER::Box {
    std::uint64_t payload = 0;  // first byte behind the header
    std::uint64_t end = 0;      // first byte behind the box
    char type[4] = {};
};

bool sMOVIESCANNER::Init() {
    Term();
    path.clear();
    moviePath.clear();
    hits = 0;
    views = 0;
    frameInterval = 0.0f;
    msPerRecord = kMsPerRecord;
    recordLimit = kMaxBlockRecords;
    cancel = false;
    busy = false;
    frameCount_ = nullptr;
    mutex_ = OpenNamedMutex(kFindMutexName);
    return mutex_ != nullptr;
}

void sMOVIESCANNER::Term() {
    if (mutex_) {
        // A search of another scanner may still run; it holds the shared mutex until done.
        std::lock_guard<std::recursive_mutex> wait(*mutex_);
    }
    mutex_.reset();
    loaded = false;
    Reset();
    CloseMapping();
    path.clear();
}

bool sMOVIESCANNER::OpenMapping(const std::string& filePath) {
    CloseMapping();
    if (!file_.Open(filePath)) return false;
    size = file_.FileSize();
    path = filePath;
    return true;
}

void sMOVIESCANNER::CloseMapping() {
    file_.Close();
    size = 0;
}

bool sMOVIESCANNER::OpenView(std::uint64_t offset, std::size_t length, std::uint64_t rangeEnd,
                             std::span<const std::uint8_t>* view) {
    rangeEnd = std::min(rangeEnd, size);
    if (offset >= rangeEnd) return false;
    const std::size_t cut = std::size_t(std::min<std::uint64_t>(length, rangeEnd - offset));
    if (cut == 0) return false;
    if (!file_.MapWindow(offset, cut)) {
        ReportError(kErrorCaption, SystemErrorText(file_.LastError()));
        return false;
    }
    ++views;
    *view = std::span<const std::uint8_t>(file_.Data(), file_.Size());
    return true;
}

bool sMOVIESCANNER::ReadRange(std::uint64_t offset, void* out, std::size_t length) {
    if (offset > size || length > size - offset) return false;
    if (!file_.ReadAt(offset, out, length)) {
        // A file that shrank under us reads short without an errno.
        ReportError(kErrorCaption, SystemErrorText(file_.LastError() ? file_.LastError() : EIO));
        return false;
    }
    return true;
}

bool sMOVIESCANNER::Cancelled() {
    return cancel.load(std::memory_order_relaxed) && cancel.exchange(false);
}

bool sMOVIESCANNER::ReadyToSearch(const sSCANTAG& tag) const {
    return mutex_ && file_.IsOpen() && tag.length > 0 && std::size_t(tag.length) <= tag.text.size() &&
           std::size_t(tag.length) <= kWindowOverlap;
}

std::uint64_t sMOVIESCANNER::SearchEnd(const sSCANTAG& tag) const {
    return tag.startOffset < size ? size - tag.startOffset : 0;
}

bool sMOVIESCANNER::FindBox(const sSCANTAG& tag) {
    if (!ReadyToSearch(tag)) return false;
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    hits = 0;
    tag.matched = 0;
    const std::uint64_t end = SearchEnd(tag);
    std::span<const std::uint8_t> window;
    std::uint64_t windowStart = 0;
    std::uint64_t p = 0;
    while (p < end) {
        if (Cancelled()) return false;
        // The byte at p and, for the "mdat" test, the three behind it.
        const std::size_t need = std::size_t(std::min<std::uint64_t>(4, end - p));
        if (p - windowStart + need > window.size()) {
            windowStart = p / kBoxSearchWindow * kBoxSearchWindow;
            if (!OpenView(windowStart, kBoxSearchWindow + kWindowOverlap, end, &window)) return false;
        }
        const std::uint8_t* at = window.data() + (p - windowStart);
        if (p >= 4 && need == 4 && std::memcmp(at, "mdat", 4) == 0) {
            // Jump over the media data to the type field of the next box.
            std::uint8_t header[kLargeBoxHeader];
            const std::uint64_t boxStart = p - 4;
            if (!ReadRange(boxStart, header, kBoxHeader)) return false;
            std::uint64_t boxSize = ReadBe32(header);
            if (boxSize == 1) {
                if (!ReadRange(boxStart, header, kLargeBoxHeader)) return false;
                boxSize = ReadBe64(header + kBoxHeader);
                if (boxSize < kLargeBoxHeader) return false;
            } else if (boxSize < kBoxHeader) {
                return false;
            }
            if (boxSize > end - boxStart) return false;
            tag.matched = 0;
            p = boxStart + boxSize + 4;
            continue;
        }
        tag.matched = NextMatch(tag.text, tag.matched, char(*at));
        if (tag.matched == tag.length) {
            tag.matched = 0;
            if (!tag.callback) return false;
            std::span<const std::uint8_t> data;
            if (!OpenView(p + 1 + tag.startOffset, kBoxWindow, end, &data)) return false;
            ++hits;
            return tag.callback(*this, data) != 0;
        }
        ++p;
    }
    return true;
}

sMOVIESCANNER::BoxStep sMOVIESCANNER::NextBox(std::uint64_t pos, std::uint64_t end,
                                              bool topLevel, Box* box) {
    if (Cancelled()) return BoxStep::kError;
    if (end < pos || end - pos < kBoxHeader) return BoxStep::kEnd;
    std::uint8_t header[kLargeBoxHeader];
    if (!ReadRange(pos, header, kBoxHeader)) return BoxStep::kError;
    std::uint64_t boxSize = ReadBe32(header);
    std::size_t headerSize = kBoxHeader;
    if (boxSize == 1) {
        headerSize = kLargeBoxHeader;
        if (end - pos < kLargeBoxHeader) return BoxStep::kCorrupt;
        if (!ReadRange(pos, header, kLargeBoxHeader)) return BoxStep::kError;
        boxSize = ReadBe64(header + kBoxHeader);
    } else if (boxSize == 0 && topLevel) {
        boxSize = end - pos;
    }
    if (boxSize < headerSize || boxSize > end - pos) return BoxStep::kCorrupt;
    std::memcpy(box->type, header + 4, 4);
    box->payload = pos + headerSize;
    box->end = pos + boxSize;
    return BoxStep::kBox;
}

sMOVIESCANNER::BoxStep sMOVIESCANNER::FindChild(std::uint64_t begin, std::uint64_t end,
                                                std::string_view type, Box* box) {
    for (std::uint64_t pos = begin;; pos = box->end) {
        const BoxStep step = NextBox(pos, end, false, box);
        if (step != BoxStep::kBox || std::string_view(box->type, 4) == type) return step;
    }
}

bool sMOVIESCANNER::IsVideoTrack(const Box& mdia) {
    // hdlr payload: version and flags (4), pre-defined (4), handler type (4).
    Box hdlr;
    if (FindChild(mdia.payload, mdia.end, "hdlr", &hdlr) != BoxStep::kBox) return false;
    std::uint8_t handler[4];
    return hdlr.end - hdlr.payload >= 12 && ReadRange(hdlr.payload + 8, handler, 4) &&
           std::memcmp(handler, "vide", 4) == 0;
}

bool sMOVIESCANNER::FindTrackBox(const sSCANTAG& tag) {
    if (!ReadyToSearch(tag)) return false;
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    hits = 0;
    const std::uint64_t end = SearchEnd(tag);
    const std::string_view type = tag.text.substr(0, std::size_t(tag.length));

    Box moov;
    for (std::uint64_t pos = 0;; pos = moov.end) {
        const BoxStep step = NextBox(pos, end, true, &moov);
        if (step != BoxStep::kBox) return false;
        if (std::string_view(moov.type, 4) == "moov") break;
    }
    Box target;
    if (type == "mvhd") {
        if (FindChild(moov.payload, moov.end, type, &target) != BoxStep::kBox) return false;
    } else {
        for (std::uint64_t pos = moov.payload;;) {
            Box trak;
            if (FindChild(pos, moov.end, "trak", &trak) != BoxStep::kBox) return false;
            pos = trak.end;
            Box mdia;
            const BoxStep step = FindChild(trak.payload, trak.end, "mdia", &mdia);
            if (step == BoxStep::kError || step == BoxStep::kCorrupt) return false;
            if (step == BoxStep::kEnd || !IsVideoTrack(mdia)) continue;
            Box minf, stbl;
            if (type == "mdhd") {
                if (FindChild(mdia.payload, mdia.end, type, &target) != BoxStep::kBox) return false;
            } else if (FindChild(mdia.payload, mdia.end, "minf", &minf) != BoxStep::kBox ||
                       FindChild(minf.payload, minf.end, "stbl", &stbl) != BoxStep::kBox ||
                       FindChild(stbl.payload, stbl.end, type, &target) != BoxStep::kBox) {
                return false;
            }
            break;
        }
    }
    if (!tag.callback) return false;
    std::span<const std::uint8_t> data;
    const std::uint64_t payloadSize = target.end - target.payload;
    if (!OpenView(target.payload + tag.startOffset, std::size_t(std::min<std::uint64_t>(payloadSize, kBoxWindow)),
                  end, &data)) {
        return false;
    }
    ++hits;
    return tag.callback(*this, data) != 0;
}

bool sMOVIESCANNER::FindTag(const sSCANTAG& tag) {
    if (!ReadyToSearch(tag)) return false;
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    hits = 0;
    const std::uint64_t end = SearchEnd(tag);
    // Only the first four characters are compared ("CSMD" finds "CSMDAT").
    const std::string_view key = tag.text.substr(0, std::min<std::size_t>(4, std::size_t(tag.length)));
    std::span<const std::uint8_t> window;
    for (std::uint64_t start = 0; start + key.size() <= end; start += kDataWindow) {
        if (Cancelled()) return false;
        if (!OpenView(start, kDataWindow + kWindowOverlap, end, &window)) return false;
        // Positions in this window's own 32 MB; the overlap only completes the last ones.
        const std::string_view text(reinterpret_cast<const char*>(window.data()), window.size());
        const std::size_t at = text.find(key);
        if (at == std::string_view::npos || at >= kDataWindow) continue;
        if (!tag.callback) return false;
        const std::uint64_t from = start + at + tag.startOffset;
        const std::uint64_t want = from < end ? std::min<std::uint64_t>(kDataWindow, end - from) : 0;
        std::span<const std::uint8_t> data;
        if (want > 0 && from - start + want <= window.size()) {
            data = window.subspan(std::size_t(from - start), std::size_t(want));
        } else if (!OpenView(from, kDataWindow, end, &data)) {
            return false;
        }
        ++hits;
        tag.callback(*this, data);
        return true;
    }
    return true;
}

void sMOVIESCANNER::Reset() {
    std::vector<sGPSRECORD>().swap(gps);
    std::vector<sSENSORRECORD>().swap(sensor);
    std::vector<sOBDRECORD>().swap(obd);
    std::vector<sSENSORRECORD*>().swap(frameTable);
    header = RecorderHeader{};
    recordCounter = 0;
    largestG = 0.0;
    std::fill(std::begin(largestAxisG), std::end(largestAxisG), 0.0);
}

bool sMOVIESCANNER::MoveTo(sMOVIESCANNER& target) {
    if (&target == this) return !gps.empty();
    target.Reset();
    // Moving a vector keeps its buffer, so the links and the frame table stay valid.
    target.gps = std::move(gps);
    target.sensor = std::move(sensor);
    target.obd = std::move(obd);
    target.frameTable = std::move(frameTable);
    target.header = header;
    target.recordCounter = recordCounter;
    target.largestG = largestG;
    std::copy(std::begin(largestAxisG), std::end(largestAxisG), target.largestAxisG);
    target.path = std::move(path);
    Reset();
    path.clear();
    return !target.gps.empty();
}

bool sMOVIESCANNER::IsDataFile(const std::string& filePath) {
    FileView f;
    std::uint8_t head[kBlockTagSize];
    return f.Open(filePath) && f.ReadAt(0, head, sizeof head) &&
           std::memcmp(head, kDataTag.data(), kDataTag.size()) == 0;
}

bool sMOVIESCANNER::LocateBlock(std::uint64_t* offset, std::uint64_t* length) {
    *offset = *length = 0;
    std::uint8_t tag[kBlockTagSize];
    bool readFailed = false;  // reported by ReadRange
    const auto isTag = [&](std::uint64_t at, std::uint64_t end) {
        if (end - at < kBlockTagSize) return false;
        readFailed = !ReadRange(at, tag, sizeof tag);
        return !readFailed && std::memcmp(tag, kDataTag.data(), kDataTag.size()) == 0;
    };
    if (isTag(0, size)) {
        *length = size;
        return true;
    }
    if (readFailed) return false;
    Box box;
    for (std::uint64_t pos = 0;; pos = box.end) {
        switch (NextBox(pos, size, true, &box)) {
            case BoxStep::kError: return false;
            case BoxStep::kEnd:
            case BoxStep::kCorrupt: return true;  // not a movie, or cut before any block
            case BoxStep::kBox: break;
        }
        if (std::string_view(box.type, 4) != "udat") continue;
        if (isTag(box.payload, box.end)) {
            *offset = box.payload;
            *length = box.end - box.payload;
            return true;
        }
        if (readFailed) return false;
    }
}

bool sMOVIESCANNER::ReadBlock(const std::function<bool(const BlockSource& block)>& read) {
    if (!mutex_ || !file_.IsOpen()) return false;
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    hits = 0;
    std::uint64_t base = 0, length = 0;
    if (!LocateBlock(&base, &length)) return false;
    if (length == 0) return true;
    ++hits;
    const BlockSource block{length, kRecordWindow,
                            [this, base](std::uint64_t at, std::size_t n) {
                                std::span<const std::uint8_t> view;
                                if (Cancelled() || !OpenView(base + at, n, size, &view)) return std::span<const std::uint8_t>();
                                return view;
                            },
                            kDataWindow};
    return read(block);
}

bool sMOVIESCANNER::ParseDataFile(RecordWalk* walk) {
    Reset();
    try {
        return ReadBlock([&](const BlockSource& block) {
            RecordWalk done;
            ParseRecorderBlock(*this, block, gps, sensor, header, obd, &done);
            if (walk) *walk = done;
            return done.end != RecordWalkEnd::kReadError;
        });
    } catch (const std::bad_alloc&) {
        // A block too large for the memory left: fail as a file that cannot be read.
        Reset();
        return false;
    }
}

bool sMOVIESCANNER::ReadDataFile(const std::string& dataPath) {
    loaded = false;
    views = 0;
    if (!OpenMapping(dataPath)) return false;
    if (ParseDataFile()) {
        CloseMapping();
        loaded = true;
        return true;
    }
    Reset();
    CloseMapping();
    path.clear();
    return false;
}

int OnMvhdBox(sMOVIESCANNER&, std::span<const std::uint8_t> data, float* durationS) {
    // Version 0: creation and modification times of 32 bits, then time scale and duration
    // of 32 bits at 12 and 16. Version 1: 64-bit times, time scale at 20, 64-bit duration at 24.
    if (data.empty() || !durationS) return 0;
    std::uint32_t timeScale = 0;
    std::uint64_t duration = 0;
    if (data[0] == 0 && data.size() >= 20) {
        timeScale = ReadBe32(data.data() + 12);
        duration = ReadBe32(data.data() + 16);
    } else if (data[0] == 1 && data.size() >= 32) {
        timeScale = ReadBe32(data.data() + 20);
        duration = ReadBe64(data.data() + 24);
    } else {
        return 0;
    }
    if (timeScale == 0 || duration == 0) return 0;
    const float seconds = float(double(duration) / double(timeScale));
    if (!std::isfinite(seconds) || !(seconds > 0.0f)) return 0;
    *durationS = seconds;
    return 1;
}

namespace {

// The sample counts of an "stts" payload (version and flags (4), entry count (4), entries
// of sample count and sample delta (4 + 4 each), all big-endian), added up, and the time
// they span in the media's time scale. False when the entries run past the payload.
bool SampleTableTotals(std::span<const std::uint8_t> data, std::uint64_t* samples, std::uint64_t* ticks) {
    if (data.size() < 8) return false;
    const std::uint64_t entries = ReadBe32(data.data() + 4);
    if (entries > (data.size() - 8) / 8) return false;
    *samples = *ticks = 0;
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint64_t count = ReadBe32(data.data() + 8 + 8 * i);
        *samples += count;
        *ticks += count * ReadBe32(data.data() + 12 + 8 * i);
    }
    return true;
}

}  // namespace

int OnSttsBox(sMOVIESCANNER& scanner, std::span<const std::uint8_t> data, float durationS) {
    std::uint64_t samples = 0, ticks = 0;
    if (!std::isfinite(durationS) || !(durationS > 0.0f) || !SampleTableTotals(data, &samples, &ticks) ||
        samples == 0)
        return 0;
    const float interval = 1000.0f / (float(samples) / durationS);
    if (!std::isfinite(interval) || !(interval > 0.0f)) return 0;
    scanner.frameInterval = interval;
    return 1;
}

int OnMdhdBox(sMOVIESCANNER&, std::span<const std::uint8_t> data, std::uint32_t* timeScale) {
    // Version 0: 32-bit creation and modification times, then the time scale at 12;
    // version 1: 64-bit times, the time scale at 20.
    if (data.empty() || !timeScale) return 0;
    const std::size_t at = data[0] == 1 ? 20 : data[0] == 0 ? 12 : 0;
    if (at == 0 || data.size() < at + 4) return 0;
    *timeScale = ReadBe32(data.data() + at);
    return *timeScale != 0 ? 1 : 0;
}

float SampleTableDuration(std::span<const std::uint8_t> stts, float headerS, std::uint32_t mediaTimeScale) {
    std::uint64_t samples = 0, ticks = 0;
    if (mediaTimeScale == 0 || !SampleTableTotals(stts, &samples, &ticks) || samples == 0 || ticks == 0)
        return headerS;
    const double tableS = double(ticks) / double(mediaTimeScale);
    if (!(headerS > 0.0f) || !std::isfinite(headerS)) return float(tableS);
    // Rates a frame per second apart or more are no rounding of one another: one of the
    // two lengths is wrong, and the table's is the one the frames are played by.
    const double headerRate = double(samples) / double(headerS);
    const double tableRate = double(samples) / tableS;
    return std::fabs(headerRate - tableRate) > 1.0 ? float(tableS) : headerS;
}

bool ScanTrackTiming(sMOVIESCANNER& scanner, float headerS, TrackTiming* timing) {
    std::uint32_t mediaTimeScale = 0;  // none when the media header cannot be read
    scanner.FindTrackBox({"mdhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> data) {
                              return OnMdhdBox(s, data, &mediaTimeScale);
                          }});
    TrackTiming found;
    found.lengthS = headerS;
    const bool timed = scanner.FindTrackBox({"stts", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> data) {
        std::uint64_t ticks = 0;
        if (!SampleTableTotals(data, &found.frames, &ticks)) found.frames = 0;
        found.lengthS = SampleTableDuration(data, headerS, mediaTimeScale);
        return OnSttsBox(s, data, found.lengthS);
    }});
    // SampleTableDuration gives the header's duration itself unless the table belies it.
    found.headerBelied = found.lengthS != headerS;
    if (timing) *timing = found;
    return timed;
}

bool PrescanMovieBoxes(sMOVIESCANNER& scanner, float* durationS, TrackTiming* timing) {
    *durationS = 0.0f;
    if (timing) *timing = TrackTiming{};
    // A movie without "mvhd" is searched to its end with success and no hit.
    return scanner.FindBox({"mvhd",
                            [&](sMOVIESCANNER& s, std::span<const std::uint8_t> data) {
                                return OnMvhdBox(s, data, durationS);
                            }}) &&
           scanner.hits > 0 && ScanTrackTiming(scanner, *durationS, timing);
}

}  // namespace orv
