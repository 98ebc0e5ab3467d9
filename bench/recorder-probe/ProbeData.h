// The parts of recorder-probe that read recorder data blocks and the movie scanner's
// timing, called by main.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv {
class JsonWriter;
}

namespace orv::probe {

// Why the readers cannot read `path` as a file, or empty when it is a regular file that
// opens: "no such file or directory", "not a regular file: a FIFO" and so on. A FIFO or a
// device is never opened, so nothing waits on it.
std::string FileProblem(const std::string& path);

// Writes the member `key` with a path. A path that is not valid UTF-8 is written with
// each byte that is no part of a valid character as the four characters \xNN, and a
// member `key`_escaped set to true tells it apart from a name that holds such text.
void WritePath(JsonWriter& j, const std::string& key, const std::string& path);

// `recorder-probe data [--summary] FILE...`: one JSON object per file on `out`.
void ProbeData(const std::vector<std::string>& files, bool summary, std::ostream& out);

// Duration in seconds and frame interval in milliseconds of a movie, as the movie-file
// scanner's pre-scan reads them; false with `error` set when the scan fails.
bool ProbeMovieTiming(const std::string& file, double* durationS, double* frameIntervalMs,
                      std::string* error);

}  // namespace orv::probe
