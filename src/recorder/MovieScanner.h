// sMOVIESCANNER: searches a movie or a data file through bounded windows, without reading
// the file whole, and holds the recorder data decoded from one recording.
//
// Each playback channel owns three: the active one that the views read, a staging one
// that a load fills and a prefetch one for the next recording. The channel's pre-scan
// uses it for the movie's duration and frame interval, the data loaders to read data
// files.
//
// Windows are read (pread) rather than mapped, so a card pulled during a search gives a
// read error, reported through ReportError with the caption "Error Message".
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/FileView.h"
#include "platform/base/NamedMutex.h"
#include "recorder/RecorderDataBlock.h"
#include "recorder/RecorderRecords.h"

namespace orv {

struct sMOVIESCANNER;

// Called with the scanner and the window at a hit; non-zero means success.
using ScanCallback = std::function<int(sMOVIESCANNER& scanner, std::span<const std::uint8_t> data)>;

// The target of a search: a four-character box type, or a data tag such as "CSMDAT".
//
// `startOffset` shortens the search range to the file size minus it: only positions in
// that range are searched, and the callback's window starts that many bytes behind where
// it would start otherwise (behind the type of a box, at a data tag) and ends with the
// range. `matched` is the box search's working state: how many characters of the text
// the bytes just read have matched.
struct sSCANTAG {
    mutable std::int32_t matched = 0;
    std::int32_t length = 0;  // characters compared: 4 for a box type, 6 for a data tag
    std::string_view text;
    ScanCallback callback;
    std::uint64_t startOffset = 0;

    sSCANTAG(std::string_view tagText, ScanCallback onHit, std::uint64_t offset = 0)
        : length(std::int32_t(tagText.size())), text(tagText), callback(std::move(onHit)), startOffset(offset) {}
};

// The number of video frames of channel 1's movie, asked by BuildFrameTable.
using FrameCountSource = std::function<std::int64_t()>;

struct sMOVIESCANNER {
    // The box search reads windows of 1 MB: most of a movie is media data that the search
    // jumps over, and a window is read, not mapped. The tag search reads windows as large
    // as the block window, so a data file is read once. Windows overlap by 8 bytes, so a
    // type or tag that straddles two windows is still seen.
    static constexpr std::size_t kBoxSearchWindow = std::size_t(1) << 20;
    static constexpr std::size_t kDataWindow = std::size_t(32) << 20;  // 33,554,432
    // A recorder block's records are read in windows that stay in the processor's cache,
    // so that each byte is read from memory once on its way into the decoded records.
    static constexpr std::size_t kRecordWindow = std::size_t(256) << 10;
    static constexpr std::size_t kBoxWindow = std::size_t(1) << 20;
    static constexpr std::size_t kWindowOverlap = 8;
    // Longest frame table built: 24 hours at 240 frames per second.
    static constexpr std::int64_t kMaxFrames = std::int64_t(24) * 3600 * 240;

    std::string path;         // the file that is open (or was read)
    std::uint64_t size = 0;   // its size in bytes
    std::int32_t recordCounter = 0;  // during a decode the record at hand, after it the last index (-1: none)
    std::int32_t hits = 0;           // hits of the last search
    double largestG = 0.0;           // largest |acceleration| over all axes, g
    double largestAxisG[3] = {};     // the same per axis: x, y, z
    std::vector<sGPSRECORD> gps;
    std::vector<sSENSORRECORD> sensor;
    std::vector<sOBDRECORD> obd;
    RecorderHeader header;
    std::vector<sSENSORRECORD*> frameTable;  // index = video frame of channel 1
    std::uint32_t views = 0;                 // windows read so far
    float frameInterval = 0.0f;              // ms per video frame
    std::atomic<bool> cancel{false};  // set by another thread to stop a search; the search clears it
    std::atomic<bool> loaded{false};  // a data file was read successfully
    std::atomic<bool> busy{false};    // a prefetch read runs
    std::string moviePath;            // the movie whose data the scanner holds
    float msPerRecord = kMsPerRecord;
    // Most records a decode keeps; the readers of a recording lower it to what its movie can
    // show (MovieRecordLimit).
    std::int32_t recordLimit = kMaxBlockRecords;

    sMOVIESCANNER() = default;
    sMOVIESCANNER(const sMOVIESCANNER&) = delete;
    sMOVIESCANNER& operator=(const sMOVIESCANNER&) = delete;

    // Clears every field and opens the named mutex "hMutexFind" that all scanners share.
    bool Init();
    // Waits for a running search of any scanner, then drops the mutex, the data and the file.
    void Term();

    // Opens the file for the searches; false (nothing left open) when it cannot be opened.
    bool OpenMapping(const std::string& filePath);
    void CloseMapping();

    // Finds the first box of the tag's type, jumping over "mdat" payloads by their size,
    // and calls the callback with a window from the first byte behind the type. Succeeds
    // with no hit when the type is missing; a hit succeeds when the callback does, and a
    // hit whose window is cut to nothing by the range fails.
    bool FindBox(const sSCANTAG& tag);
    // Follows moov / trak / mdia / minf / stbl to the box of the tag's type in the first
    // video track (handler "vide") and calls the callback with its payload; "mvhd" is looked
    // for in moov, "mdhd" in the video track's mdia. Fails when the box is missing or a box
    // size is corrupt; a hit succeeds when the callback does. Only box headers are read on
    // the way, never media data.
    bool FindTrackBox(const sSCANTAG& tag);
    // Finds the first position where the tag's first four characters stand and calls the
    // callback with a window of up to 32 MB that begins with the tag. Succeeds with no hit
    // when the tag is missing, and whatever the callback returns after a hit (a window cut
    // to nothing by the range fails).
    bool FindTag(const sSCANTAG& tag);

    // Frees the records, the frame table and the header.
    void Reset();
    // Hands the decoded data (records, frame table, header, largest G, counter, path) to
    // `target`, which is reset first, and clears it here. True when the target now holds a
    // GPS record. The frame interval, ms per record and movie path stay where they are.
    bool MoveTo(sMOVIESCANNER& target);

    static bool IsDataFile(const std::string& filePath);
    // Opens and decodes a data file and closes it again; the records stay.
    bool ReadDataFile(const std::string& dataPath);
    // Decodes the open file's recorder block (ReadBlock) into the scanner's vectors and
    // header. True when the file was read, whether it holds a block (hits 1) or not
    // (hits 0, no records) and whether the block is complete or not; `walk` (when given)
    // tells how its records ended.
    bool ParseDataFile(RecordWalk* walk = nullptr);

    // Finds the recorder block of the open file and calls `read` with a source that reads
    // it in windows of kRecordWindow bytes (a header chain as far as kDataWindow), holding
    // the search lock meanwhile. A file that
    // begins with "CSMDAT" (a data file) is its block. In a movie the block is the payload
    // of a top-level "udat" box that begins with "CSMDAT", as the joiner writes it: the
    // media data is never searched for the tag, and the block ends with its box. A
    // cancelled search or a read error fails; a file without a block succeeds with hits 0
    // and `read` is not called; otherwise the result is what `read` returns.
    bool ReadBlock(const std::function<bool(const BlockSource& block)>& read);

    void SetFrameCountSource(FrameCountSource source) { frameCount_ = std::move(source); }
    // Converts record times to frames, builds the frame table for channel 1's frames,
    // links the records and finds the largest G. Run once per decode. Fails, changing
    // nothing, without a frame count, with an interval that is not above 0 or with more
    // than kMaxFrames frames. Without records the frame table stays empty.
    bool BuildFrameTable();
    // The sensor record shown at a frame; null outside the frame table.
    const sSENSORRECORD* FrameRecord(std::int64_t frame) const;

private:
    // Reads `length` bytes at `offset`, cut so that the view ends at `rangeEnd`; a view cut
    // to nothing fails without a report, a read error fails with one.
    bool OpenView(std::uint64_t offset, std::size_t length, std::uint64_t rangeEnd,
                  std::span<const std::uint8_t>* view);
    bool ReadRange(std::uint64_t offset, void* out, std::size_t length);
    bool Cancelled();
    bool ReadyToSearch(const sSCANTAG& tag) const;
    // The end of the tag's search range: the file size less the tag's start offset.
    std::uint64_t SearchEnd(const sSCANTAG& tag) const;

    struct Box;
    // kCorrupt: the box sizes do not fit; kError: a read failed or the search was cancelled.
    enum class BoxStep { kBox, kEnd, kCorrupt, kError };
    BoxStep NextBox(std::uint64_t pos, std::uint64_t end, bool topLevel, Box* box);
    BoxStep FindChild(std::uint64_t begin, std::uint64_t end, std::string_view type, Box* box);
    bool IsVideoTrack(const Box& mdia);
    // The block's place in the file: false on a read error; `size` 0 when there is none.
    bool LocateBlock(std::uint64_t* offset, std::uint64_t* size);

    FileView file_;
    NamedMutexHandle mutex_;
    FrameCountSource frameCount_;
};

// Box callbacks of the pre-scan. OnMvhdBox: the movie's duration in seconds from the
// "mvhd" payload (versions 0 and 1). OnSttsBox: the frame interval from the sample
// counts of an "stts" payload and the duration, stored in the scanner. OnMdhdBox: the
// time scale of a track's media from its "mdhd" payload (versions 0 and 1). Each returns 0
// when a value is missing, zero or not finite.
int OnMvhdBox(sMOVIESCANNER& scanner, std::span<const std::uint8_t> data, float* durationS);
int OnSttsBox(sMOVIESCANNER& scanner, std::span<const std::uint8_t> data, float durationS);
int OnMdhdBox(sMOVIESCANNER& scanner, std::span<const std::uint8_t> data, std::uint32_t* timeScale);

// The length in seconds that the frames of an "stts" payload are played over: `headerS`
// (the movie header's duration), unless the table's own length, its sample deltas in the
// media's time scale, gives a frame rate more than one frame per second away from it, or
// the header gives none (0); then the table's. `headerS` when the table or the time scale
// (0: unknown) gives no length.
float SampleTableDuration(std::span<const std::uint8_t> stts, float headerS, std::uint32_t mediaTimeScale);

// The video track's timing as the pre-scan finds it.
struct TrackTiming {
    // Seconds the frames are played over (SampleTableDuration): the movie header's
    // duration, or the sample table's own length where that belies it.
    float lengthS = 0.0f;
    bool headerBelied = false;  // lengthS is the table's, not the header's
    std::uint64_t frames = 0;   // samples of the time-to-sample table; 0 when it cannot be read
};

// The pre-scan's second half, on the open movie: finds the video track's media time scale
// ("mdhd") and sample table ("stts") and sets the scanner's frame interval (OnSttsBox) from
// the length SampleTableDuration gives with `headerS`, the movie header's duration (0 when
// there is none). The timing goes to `*timing` when given (its length `headerS` and no
// frames when the table cannot be read). False when the sample table gives no interval.
bool ScanTrackTiming(sMOVIESCANNER& scanner, float headerS, TrackTiming* timing = nullptr);

// The whole pre-scan of the open movie: the movie header's duration into `*durationS`
// (FindBox "mvhd", OnMvhdBox), then the frame interval and, when given, `*timing`
// (ScanTrackTiming). False when the movie has no header or a step fails.
bool PrescanMovieBoxes(sMOVIESCANNER& scanner, float* durationS, TrackTiming* timing = nullptr);

}  // namespace orv
