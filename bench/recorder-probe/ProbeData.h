// The parts of recorder-probe that read recorder data blocks and the movie scanner's
// timing, called by main.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv::probe {

// `recorder-probe data [--summary] FILE...`: one JSON object per file on `out`.
void ProbeData(const std::vector<std::string>& files, bool summary, std::ostream& out);

// Duration in seconds and frame interval in milliseconds of a movie, as the movie-file
// scanner's pre-scan reads them; false with `error` set when the scan fails.
bool ProbeMovieTiming(const std::string& file, double* durationS, double* frameIntervalMs,
                      std::string* error);

}  // namespace orv::probe
