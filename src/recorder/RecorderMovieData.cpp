#include "recorder/RecorderMovieData.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementFile.h"
#include "recorder/CardLayout.h"
#include "recorder/MovieScanner.h"

namespace orv {

namespace {

// 4 MB: about an hour of records at ten a second per read.
constexpr std::size_t kJoinReadWindow = std::size_t(4) << 20;

}  // namespace

std::int32_t MovieRecordLimit(sMOVIESCANNER& scanner, const std::string& moviePath) {
    const float interval = scanner.frameInterval;
    TrackTiming timing;
    if (scanner.OpenMapping(moviePath)) {
        float headerS = 0.0f;
        scanner.FindTrackBox({"mvhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> data) {
                                  return OnMvhdBox(s, data, &headerS);
                              }});
        ScanTrackTiming(scanner, headerS, &timing);  // a header alone still gives its length
    }
    scanner.CloseMapping();
    scanner.frameInterval = interval;
    if (!(timing.lengthS > 0.0f) || !std::isfinite(timing.lengthS)) return 0;
    double seconds = timing.lengthS;
    if (timing.frames > 0) seconds = std::min(seconds, double(timing.frames) * kLongestFrameS);
    const float msPerRecord =
        IsTimeLapseDataName(PathFindFileName(DataFileOfMovie(moviePath))) ? kMsPerRecordTimeLapse : kMsPerRecord;
    const double perSecond = 1000.0 / msPerRecord;
    const double records = (seconds * 1.25 + 60.0) * perSecond;
    return records < double(kMaxBlockRecords) ? std::int32_t(std::ceil(records)) : kMaxBlockRecords;
}

std::int32_t DataRecordLimit(const std::string& moviePath) {
    sMOVIESCANNER scanner;
    const std::int32_t limit = scanner.Init() ? MovieRecordLimit(scanner, moviePath) : 0;
    scanner.Term();
    return limit > 0 ? limit : kMaxBlockRecords;
}

std::unique_ptr<sMP4MOVIE> ReadRecorderMovie(const std::string& moviePath, const std::atomic<bool>* keepRunning) {
    auto movie = std::make_unique<sMP4MOVIE>();
    sMOVIEMAPPING& mapping = movie->mapping;
    mapping.path = DataFileOfMovie(moviePath);
    if (!mapping.file.Open(mapping.path)) return nullptr;
    mapping.size = movie->fileSize = mapping.file.FileSize();
    if (mapping.size < kBlockCountOffset) return nullptr;

    // The file is read in windows, so a joined data file of any length needs one window
    // of memory besides its records; a stop ends the read at the next window, as a failed one.
    FileView& file = mapping.file;
    const BlockSource block{mapping.size, kJoinReadWindow, [&file, keepRunning](std::uint64_t at, std::size_t n) {
                                const bool stopped = keepRunning && !keepRunning->load();
                                return !stopped && file.MapWindow(at, n)
                                           ? std::span<const std::uint8_t>(file.Data(), file.Size())
                                           : std::span<const std::uint8_t>();
                            }};
    bool tagged = false;
    RecordWalk walk;
    RecordLimits limits;
    limits.maxRecords = DataRecordLimit(moviePath);
    // A file the recorder made full size and never finished is whole however far its filler
    // runs: a join writes its records out as a data file of their own.
    limits.followFiller = true;
    try {
        walk = WalkBlockRecords(
            block,
            [&](std::span<const std::uint8_t> head) {
                tagged = std::memcmp(head.data(), kDataTag.data(), kDataTag.size()) == 0;
                if (tagged) std::memcpy(movie->header.data(), head.data() + kBlockHeaderOffset, kBlockHeaderSize);
                return tagged;
            },
            [&](std::int32_t, RawRecord record) {
                RawRecordBytes& r = movie->records.emplace_back();
                std::memcpy(r.data(), record.data(), r.size());
            },
            limits);
    } catch (const std::bad_alloc&) {
        return nullptr;  // more records than the memory left holds
    }
    if (!tagged || walk.end == RecordWalkEnd::kReadError) return nullptr;
    file.Close();
    movie->recordCount = std::uint32_t(movie->records.size());
    movie->recordsCut = RecordsCut(walk.end);
    return movie;
}

namespace {

// Writes through a buffer to the new file; the first failure sticks.
class BlockFileWriter {
public:
    explicit BlockFileWriter(ReplacementFile& file) : file_(file) { buffer_.reserve(kBufferSize); }

    void Put(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + size);
        if (buffer_.size() >= kBufferSize) Flush();
    }
    void PutBe(std::uint32_t value, int bytes) {
        std::uint8_t b[4];
        for (int i = 0; i < bytes; ++i)
            b[i] = std::uint8_t(value >> (8 * (bytes - 1 - i)));
        Put(b, std::size_t(bytes));
    }
    // Writes what is buffered; false when anything failed.
    bool Finish() {
        Flush();
        return ok_;
    }

private:
    static constexpr std::size_t kBufferSize = std::size_t(1) << 20;

    void Flush() {
        if (ok_ && !file_.Write(buffer_.data(), buffer_.size())) ok_ = false;
        buffer_.clear();
    }

    ReplacementFile& file_;
    bool ok_ = true;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

bool WriteRecorderData(const sMP4MOVIE& movie, ReplacementFile& file) {
    if (!file.IsOpen()) return false;
    // The count always describes the records written, whatever recordCount says.
    const std::size_t count = movie.records.size();
    const bool counted = count < kUncountedRecords;
    BlockFileWriter out(file);
    out.Put(kDataTag.data(), kDataTag.size());
    out.Put(movie.header.data(), movie.header.size());
    out.PutBe(counted ? std::uint32_t(count) : kUncountedRecords, 2);
    for (const RawRecordBytes& r : movie.records)
        out.Put(r.data(), r.size());
    out.Put(kEndTag.data(), kEndTag.size());
    if (!counted) out.PutBe(std::uint32_t(count), 4);
    return out.Finish() && FileOps().SetHidden(file.TempPath(), true);
}

bool WriteRecorderDataFile(const sMP4MOVIE& movie, const std::string& outputMoviePath) {
    const std::string path = DataFileOfMovie(outputMoviePath);
    // A name without a camera letter to change maps to itself: never write over the movie.
    if (path == outputMoviePath) return false;
    ReplacementFile file(path);
    return WriteRecorderData(movie, file) && file.Commit();
}

}  // namespace orv
