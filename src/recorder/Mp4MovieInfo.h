// Values read from a movie's box tree: whether a file is an MP4 movie, the size of its
// picture, its number of video frames and its frame rate.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/WinTypes.h"
#include "recorder/Mp4Box.h"

namespace orv {

// Bytes read from the start of a file to tell an MP4 movie; shorter files are not movies.
constexpr std::size_t kMp4ProbeSize = 260;

// True when the file holds at least kMp4ProbeSize bytes and bytes 4-7 are "ftyp".
bool IsMp4File(const std::string& path);

// Width and height of the first sample entry of the video track (the track whose handler
// is "vide"); {-1, -1} without one. Needs a tree read with its payloads loaded.
SIZE GetVideoSize(const sMP4MOVIE& movie);

// Sum of the sample counts of the video track's time-to-sample table; 0 for an empty
// table, -1 without a video track or when the table is cut short.
std::int64_t GetFrameCount(const sMP4MOVIE& movie);

// Video frames per second over the movie's duration (first "mvhd"): frame count x time
// scale / duration; -1.0 without a movie header, a video track or a duration.
float GetFrameRate(const sMP4MOVIE& movie);

}  // namespace orv
