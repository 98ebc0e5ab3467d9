// The recorder data of a movie as raw records, for joining: read from the movie's data
// file into an sMP4MOVIE, and written as the data file of a joined movie.
#pragma once

#include <memory>
#include <string>

#include "platform/base/ReplacementFile.h"
#include "recorder/Mp4Box.h"

namespace orv {

// Reads the data file of the movie (DataFileOfMovie) into a movie object without a box
// tree: the 26 header bytes, the records (the counted number, or up to "CSMEND" in an
// uncounted block; an end tag or the end of the file ends them early) and, as
// recordCount, the number of records read. Null when the file cannot be read, does not
// begin with "CSMDAT" or is too short for its header.
std::unique_ptr<sMP4MOVIE> ReadRecorderMovie(const std::string& moviePath);

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
