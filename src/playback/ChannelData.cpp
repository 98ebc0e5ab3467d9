#include "playback/ChannelData.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "recorder/CardLayout.h"
#include "recorder/MovieScanner.h"
#include "recorder/Mp4MovieInfo.h"
#include "recorder/RecorderMovieData.h"

namespace orv {

namespace {

// Empties a scanner that a read filled or left half-filled.
void ClearScanner(sMOVIESCANNER& scanner) {
    scanner.loaded = false;
    scanner.Reset();
    scanner.CloseMapping();
    scanner.path.clear();
}

bool IsNewest(sPREFETCHREQUESTS& requests, std::uint64_t ticket) {
    std::lock_guard<std::mutex> lock(requests.lock);
    return requests.newest == ticket;
}

// With the requests' lock held: a request not yet reading gives up, a read stops.
void CancelPrefetchLocked(sPLAYCHANNEL& channel) {
    ++channel.prefetch.newest;
    channel.scanners[kPrefetchScanner].cancel = true;
}

// Cancels the channel's prefetch unless it is under way for this movie, in which case
// the caller waits for it on the data lock.
void CancelOtherPrefetch(sPLAYCHANNEL& channel, const std::string& moviePath) {
    sPREFETCHREQUESTS& requests = channel.prefetch;
    std::lock_guard<std::mutex> lock(requests.lock);
    if (requests.running > 0 && requests.moviePath == moviePath) return;
    CancelPrefetchLocked(channel);
}

using BlockReader = std::function<bool(sMOVIESCANNER&, const BlockSource& block)>;

// Runs `read` on the block of a data file (a file that begins with "CSMDAT"), read window
// by window through `scanner`. True when `read` returned true.
bool ReadDataBlock(sMOVIESCANNER& scanner, const std::string& dataPath, const BlockReader& read) {
    bool taken = false;
    if (sMOVIESCANNER::IsDataFile(dataPath) && scanner.OpenMapping(dataPath)) {
        scanner.ReadBlock([&](const BlockSource& block) { return taken = read(scanner, block); });
        scanner.CloseMapping();
    }
    return taken;
}

// ReadDataBlock on the movie's data file with a scanner of its own, under channel 1's
// slot lock. `read` is also given how many records it may walk: with `limited`, what the
// movie allows (as DataRecordLimit), else kMaxBlockRecords.
using LimitedBlockReader = std::function<bool(sMOVIESCANNER&, const BlockSource& block, std::int32_t limit)>;
bool ReadMovieDataBlock(const std::string& moviePath, bool limited, const LimitedBlockReader& read) {
    std::lock_guard<std::recursive_mutex> slot(g_aPlayChannel[0].slotLock);
    sMOVIESCANNER scanner;
    bool taken = false;
    if (scanner.Init()) {
        const std::int32_t movieLimit = limited ? MovieRecordLimit(scanner, moviePath) : 0;
        const std::int32_t limit = movieLimit > 0 ? movieLimit : kMaxBlockRecords;
        taken = ReadDataBlock(scanner, DataFileOfMovie(moviePath),
                              [&](sMOVIESCANNER& s, const BlockSource& block) { return read(s, block, limit); });
    }
    scanner.Term();
    return taken;
}

// The block's first window, from its tag: it holds the header.
std::span<const std::uint8_t> BlockHead(const BlockSource& block) {
    return block.view(0, std::size_t(std::min<std::uint64_t>(block.window, block.size)));
}

// The window begins at "CSMEND"; the recorder's number follows the tag.
bool OnRecordEnd(std::span<const std::uint8_t> window, std::array<std::uint8_t, kRecorderEndSize>* out) {
    if (window.size() < kBlockTagSize + kTrailerSize) return false;
    out->fill(0);
    std::copy_n(window.begin() + kBlockTagSize, kTrailerSize, out->begin());
    return true;
}

// Reads the movie's data file into `scanner` no further than the movie's length allows
// (MovieRecordLimit, searched through the scanner so that its cancel flag stops it); the
// data of a movie without a length is read up to `fallback` records, or not at all with 0.
// A cancel that the length's search took up (the flag is cleared once seen) is told by
// `wanted`, asked before the data file is read.
bool ReadMovieData(sMOVIESCANNER& scanner, const std::string& moviePath, std::int32_t fallback,
                   const std::function<bool()>& wanted = nullptr) {
    const std::int32_t limit = MovieRecordLimit(scanner, moviePath);
    if (wanted && !wanted()) return false;
    scanner.recordLimit = limit > 0 ? limit : fallback;
    const std::string dataPath = DataFileOfMovie(moviePath);
    const bool read = scanner.recordLimit > 0 && sMOVIESCANNER::IsDataFile(dataPath) && scanner.ReadDataFile(dataPath);
    scanner.recordLimit = kMaxBlockRecords;
    return read;
}

}  // namespace

void LockAllChannels() {
    for (sPLAYCHANNEL& channel : g_aPlayChannel) channel.slotLock.lock();
}

void UnlockAllChannels() {
    for (sPLAYCHANNEL& channel : g_aPlayChannel) channel.slotLock.unlock();
}

void CancelPrefetch(sPLAYCHANNEL& channel) {
    std::lock_guard<std::mutex> lock(channel.prefetch.lock);
    CancelPrefetchLocked(channel);
}

namespace {

// OpenDataFile, for the neighbour when `neighbour` is set.
bool ReadAhead(const std::string& moviePath, bool neighbour) {
    sPLAYCHANNEL& channel = g_aPlayChannel[0];
    if (!channel.initialised) return false;
    sMOVIESCANNER& prefetch = channel.scanners[kPrefetchScanner];
    sPREFETCHREQUESTS& requests = channel.prefetch;
    std::uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(requests.lock);
        CancelPrefetchLocked(channel);  // a read under way stops at its next step
        ticket = requests.newest;
        requests.moviePath = moviePath;
        ++requests.running;
        prefetch.busy = true;
    }
    bool result = false;
    {
        std::lock_guard<std::recursive_mutex> data(channel.dataLock);
        // No read of this scanner runs now. A newer request that came before this point
        // has been counted; one that comes later sets the flag again and stops this read.
        prefetch.cancel = false;
        if (IsNewest(requests, ticket) && channel.initialised) {
            ClearScanner(prefetch);
            prefetch.moviePath = moviePath;
            if (moviePath.empty()) {
                result = true;
            } else {
                // A neighbour whose movie gives no length is left to its selection. A newer
                // request cancels this one: what it read is not kept.
                const auto wanted = [&] { return IsNewest(requests, ticket); };
                result = ReadMovieData(prefetch, moviePath, neighbour ? 0 : kMaxBlockRecords, wanted) && wanted();
                if (!result) ClearScanner(prefetch);
            }
        }
    }
    std::lock_guard<std::mutex> lock(requests.lock);
    prefetch.busy = --requests.running > 0;
    return result;
}

}  // namespace

bool OpenDataFile(const std::string& moviePath) { return ReadAhead(moviePath, false); }

bool OpenNeighbourDataFile(const std::string& moviePath) { return ReadAhead(moviePath, true); }

bool LoadChannelData(sPLAYCHANNEL& channel, const std::string& moviePath) {
    sMOVIESCANNER& prefetch = channel.scanners[kPrefetchScanner];
    sMOVIESCANNER& staging = channel.scanners[kStagingScanner];
    CancelOtherPrefetch(channel, moviePath);
    std::lock_guard<std::recursive_mutex> data(channel.dataLock);
    prefetch.cancel = false;
    {
        std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
        channel.scanners[kActiveScanner].path = moviePath;
        if (prefetch.loaded && prefetch.moviePath == moviePath) {
            prefetch.MoveTo(staging);
            prefetch.loaded = false;
            return true;
        }
    }
    ClearScanner(prefetch);
    staging.Reset();
    ReadMovieData(staging, moviePath, kMaxBlockRecords);
    return true;
}

void LoadListGpsTrack(const std::vector<sFILEENTRY>& entries) {
    auto track = std::make_unique<std::vector<sGPSRECORD>>();
    sMOVIESCANNER scanner;
    if (scanner.Init()) {
        for (const sFILEENTRY& entry : entries) {
            // Each file gives no more records than its movie shows, the list no more than
            // kMaxListTrackRecords.
            const std::int32_t room = kMaxListTrackRecords - std::int32_t(track->size());
            if (room <= 0) break;
            const std::int32_t movieLimit = MovieRecordLimit(scanner, entry.path);
            RecordLimits limits;
            limits.maxRecords = std::min(movieLimit > 0 ? movieLimit : kMaxBlockRecords, room);
            // The header gives the file's record rate; the records follow it.
            ReadDataBlock(scanner, DataFileOfMovie(entry.path), [&](sMOVIESCANNER& s, const BlockSource& block) {
                const auto onHead = [&](std::span<const std::uint8_t> head) {
                    return ParseRecorderHeader(s, head, s.header);
                };
                const auto onRecord = [&](std::int32_t k, RawRecord raw) {
                    s.recordCounter = k;
                    AppendGpsRecord(s, raw, *track);
                };
                WalkBlockRecords(block, onHead, onRecord, limits);
                return true;
            });
            scanner.Reset();
        }
    }
    scanner.Term();
    sPLAYCHANNEL& channel = g_aPlayChannel[0];
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    channel.listGpsTrack.swap(track);
}

bool ReadRecorderHeader(RecorderHeader* out, const std::string& moviePath) {
    RecorderHeader header;
    const bool read = ReadMovieDataBlock(moviePath, false, [&](sMOVIESCANNER& s, const BlockSource& block, std::int32_t) {
        return ParseRecorderHeader(s, BlockHead(block), header);
    });
    if (read) *out = header;
    return read;
}

bool ReadRecorderEnd(std::array<std::uint8_t, kRecorderEndSize>* out, const std::string& moviePath) {
    std::array<std::uint8_t, kRecorderEndSize> end{};
    const bool read = ReadMovieDataBlock(moviePath, true, [&](sMOVIESCANNER&, const BlockSource& block, std::int32_t limit) {
        // The end tag stands where the records end; record bytes that spell it are no end.
        RecordLimits limits;
        limits.maxRecords = limit;
        const RecordWalk walk = WalkBlockRecords(block, nullptr, [](std::int32_t, RawRecord) {}, limits);
        if (walk.end != RecordWalkEnd::kComplete && walk.end != RecordWalkEnd::kEndTagEarly) return false;
        constexpr std::size_t kTagAndNumber = kBlockTagSize + kTrailerSize;
        if (block.size - walk.endOffset < kTagAndNumber) return false;
        const auto tail = block.view(walk.endOffset, kTagAndNumber);
        return IsEndTag(tail) && OnRecordEnd(tail, &end);
    });
    if (read) *out = end;
    return read;
}

bool IsMp4File(sPLAYCHANNEL& channel, const std::string& path) {
    std::lock_guard<std::recursive_mutex> slot(channel.slotLock);
    return IsMp4File(path);
}

}  // namespace orv
