// Filling the channels' scanners from the recordings' data files, and small readers of a
// movie's files.
//
// Lock order: a channel's data lock before its slot lock; channel 1's slot lock before
// channel 2's. The data lock is held for a whole read into scanner [2]; a running read
// is stopped through scanner [2]'s cancel flag, never by ending its thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "playback/PlayChannel.h"
#include "recorder/FileEntry.h"
#include "recorder/RecorderDataBlock.h"

namespace orv {

// Takes the slot locks of channel 1, then channel 2, without a time limit. Whoever reads
// a channel's records or frame table holds them (or that channel's slot lock) for as
// long as it uses what it found. Not to be held while calling LoadChannelData.
void LockAllChannels();
void UnlockAllChannels();

// Every read of a recording's data here holds no more records than its movie's length
// shows at the data file's record rate, with a margin (MovieRecordLimit): a data file that
// runs on past its records (cross-linked clusters of a damaged card) costs no more memory
// than its movie could show. Only a movie that gives no length has its data read up to
// kMaxBlockRecords.

// Reads the data file of `moviePath` ahead into channel 1's prefetch scanner; runs on a
// worker thread. A read under way, and a request that has not begun reading, give way to
// this one. An empty path only clears the scanner (true). False when channel 1 is not
// initialised, when the movie has no data file, the file cannot be read, or the request
// was cancelled or overtaken by a newer one. This is the read for the selected recording.
bool OpenDataFile(const std::string& moviePath);

// OpenDataFile for the neighbour that may be selected next. False, with nothing kept, also
// when the movie gives no length: such data is read when the recording is selected.
bool OpenNeighbourDataFile(const std::string& moviePath);

// Stops the channel's prefetch without waiting: a running read stops at its next step,
// a request that has not begun reading gives up.
void CancelPrefetch(sPLAYCHANNEL& channel);

// Fills the channel's staging scanner with the movie's recorder data: moves the
// prefetched data when scanner [2] holds this movie's (waiting for a prefetch of this
// movie that is under way), else cancels the prefetch and reads the data file. Always
// true; the staging scanner is empty when the movie has no readable data file. Takes the
// data lock, then the slot lock.
bool LoadChannelData(sPLAYCHANNEL& channel, const std::string& moviePath);

// Rebuilds channel 1's list-wide GPS track from the data files of the entries, in list
// order, with times in ms from the start of each file, reading each file window by window
// whatever its size and no further than its movie shows. An entry without a readable data
// file adds nothing; the track ends where it holds kMaxListTrackRecords. The files are read
// without a lock; the slot lock is taken only to put the new track in place.
// A day of records at the faster rate: some 36 hours of driving at ten records a second.
constexpr std::int32_t kMaxListTrackRecords = kMaxBlockRecords;
void LoadListGpsTrack(const std::vector<sFILEENTRY>& entries);

// The header of the movie's data file, under channel 1's slot lock. False (out
// unchanged) when there is no data file, it does not begin with "CSMDAT" or is too short
// for the header.
bool ReadRecorderHeader(RecorderHeader* out, const std::string& moviePath);

// The six bytes behind the "CSMEND" that ends the records of the movie's data file into
// out[0..5] (the rest zero), under channel 1's slot lock; six blanks mean the file has no
// recorder number. The records are walked first, so record bytes that spell the tag are
// passed over, as far as the movie's length allows. False (out unchanged) without a data
// file, without the tag where the records end (within that length), or with fewer than
// six bytes behind it.
constexpr std::size_t kRecorderEndSize = 10;
bool ReadRecorderEnd(std::array<std::uint8_t, kRecorderEndSize>* out, const std::string& moviePath);

// IsMp4File under the channel's slot lock.
bool IsMp4File(sPLAYCHANNEL& channel, const std::string& path);

}  // namespace orv
