// Movies made once per test program, in a temporary folder that lives as long as it runs.
#pragma once

#include <string>

#include "StripeMovie.h"

namespace orv::mediatest {

// The path of a stripe movie with the params (made on first use); empty when ffmpeg failed.
std::string StripeMoviePath(const StripeMovieSpec& params);
// A path in the temporary folder for a file the test makes itself.
std::string TempPath(const std::string& name);
// The whole file's bytes; empty when it cannot be read.
std::string ReadAll(const std::string& path);
// A copy of the movie whose sample entry `entry` and its decoder description `config` (box
// types of the movie's index) are renamed to names no decoder knows: the stream keeps its kind
// but has a format nobody decodes.
// A copy of the movie whose video track lists no sample: the sample tables of the track with
// the video media header ("vmhd") are emptied (their entry counts set to 0).
bool EmptyVideoTrack(const std::string& from, const std::string& to);
bool SpoilCodec(const std::string& from, const std::string& to, const char (&entry)[5], const char (&config)[5]);

}  // namespace orv::mediatest
