// The parts of recorder-probe that read movie box trees, called by main.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv::probe {

// `recorder-probe movie FILE...`: one JSON object per file on `out` with what the viewer
// reads of the movie: MP4 or not, duration and frame interval (the movie-file scanner),
// frame count, picture size and box count (the box tree); "error" when the file is not a
// regular file that opens (and nothing else) or the box tree cannot be read,
// "timing_error" when the scanner fails.
void ProbeMovie(const std::vector<std::string>& files, std::ostream& out);

// `recorder-probe tree FILE`: one JSON object per box, depth first: depth (1 for a
// top-level box), type, payload size and payload offset; one object with "error" when the
// tree cannot be read or holds no box (an empty file, a file that is no MP4 file, a FIFO
// or a device).
void ProbeTree(const std::string& file, std::ostream& out);

}  // namespace orv::probe
