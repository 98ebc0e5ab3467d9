// The recorder data of a movie as raw records, for joining: read from the movie's data
// file into an sMP4MOVIE, and written as the data file of a joined movie.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/base/ReplacementFile.h"
#include "recorder/Mp4Box.h"

namespace orv {

struct sMOVIESCANNER;

// Record k of a data file lies at k x 100 ms of its movie's time (k x 1000/15 ms in
// time-lapse files): the records a movie can show are those within its length, whatever its
// frame rate. A length that a movie's header and sample table both overstate (a day over a
// few hundred frames) is believed only as far as its frames reach at kLongestFrameS each:
// no recorder shows one picture for longer, and movies of half a frame a second and faster
// keep every record.
constexpr float kLongestFrameS = 2.0f;

// The most records that a reader of the movie's data file takes: what the movie's length
// shows at the data file's record rate, with a quarter more, and a minute over (a joined
// movie repeats records at its joints, and a recorder may write its data a little past its
// movie); at most kMaxBlockRecords. The length is the one its frames are played over: the
// movie header's, or its sample table's where the two disagree (ScanTrackTiming), and no
// more than kLongestFrameS for each frame of the sample table; both are found through the
// box tree without reading media data. 0 when the movie gives no length. Searches through
// `scanner`, so that its cancel flag stops the search; leaves it closed, its frame interval
// as it was.
std::int32_t MovieRecordLimit(sMOVIESCANNER& scanner, const std::string& moviePath);
// MovieRecordLimit with a scanner of its own, kMaxBlockRecords for a movie without a length.
std::int32_t DataRecordLimit(const std::string& moviePath);

// Reads the data file of the movie (DataFileOfMovie) into a movie object without a box
// tree: the 26 header bytes, the records (the counted number, or up to "CSMEND" in an
// uncounted block; an end tag or the end of the file ends them early; no more than
// DataRecordLimit) and, as recordCount, the number of records read. `recordsCut` tells
// that they are fewer than the block holds or promises (RecordsCut): its count promised
// more, or the records ran on past the limit. An uncounted block that ends without its tag
// (the recorder lost power) is read whole, up to the end of the filler that may follow its
// records. Null when the file cannot be read, does not begin with "CSMDAT" or is too short
// for its header, and when `keepRunning` (null: never) is cleared before the read is over.
std::unique_ptr<sMP4MOVIE> ReadRecorderMovie(const std::string& moviePath,
                                             const std::atomic<bool>* keepRunning = nullptr);

// Writes the data file of the movie at `outputMoviePath` (DataFileOfMovie) from the
// movie's header copy and records: "CSMDAT", the header, the count (16-bit big-endian, or
// 0xFFFF from 65535 records on), the records, "CSMEND" and, with 0xFFFF, the count as
// 32-bit big-endian. The file is written under a temporary name in the same folder, made
// hidden and renamed over the data file only when every write succeeded, so a failure
// leaves the old data file, if any, as it was and nothing under the real name otherwise.
bool WriteRecorderDataFile(const sMP4MOVIE& movie, const std::string& outputMoviePath);

// Writes the same content into `file`, which it leaves under its temporary name, hidden, for
// the caller to put in place (with the files it belongs to). False when a write fails.
bool WriteRecorderData(const sMP4MOVIE& movie, ReplacementFile& file);

}  // namespace orv
