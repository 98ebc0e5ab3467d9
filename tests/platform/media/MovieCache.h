// Movies made once per test program, in a temporary folder that lives as long as it runs.
#pragma once

#include <string>

#include "StripeMovie.h"

namespace orv::mediatest {

// The path of a stripe movie with the params (made on first use); empty when ffmpeg failed.
std::string StripeMoviePath(const StripeMovieSpec& params);
// A path in the temporary folder for a file the test makes itself.
std::string TempPath(const std::string& name);

}  // namespace orv::mediatest
