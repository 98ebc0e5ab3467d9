// The file names of the still images of the two cameras.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// The front camera's snapshot path: the folder, a '/' unless it already ends in one, the
// snapshot stem of the movie on screen (220101-120000-M), '-', the frame with at least six
// digits, ".jpg". "" for a negative frame or a movie name that gives no stem.
std::string MakeSnapshotFileName(std::string_view folder, std::string_view moviePath, std::int64_t frame);

// The rear camera's path for a front path: the camera letter at the end of the stem swapped
// (M <-> S). "" when that letter is neither, so the rear picture can never replace the front.
std::string MakeRearSnapshotFileName(std::string_view frontPath);

}  // namespace orv
