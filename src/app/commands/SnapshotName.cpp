#include "app/commands/SnapshotName.h"

#include <cstdio>

#include "recorder/RecordingName.h"

namespace orv {

namespace {

constexpr std::string_view kExtension = ".jpg";

}  // namespace

std::string MakeSnapshotFileName(std::string_view folder, std::string_view moviePath, std::int64_t frame) {
    if (frame < 0) return std::string();
    const std::string stem = MakeSnapshotStem(moviePath);
    if (stem.empty()) return std::string();
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    char number[32];
    std::snprintf(number, sizeof number, "-%06lld", static_cast<long long>(frame));
    path += stem;
    path += number;
    path += kExtension;
    return path;
}

std::string MakeRearSnapshotFileName(std::string_view frontPath) {
    // The stem ends with the camera letter; the frame number follows after a '-'.
    const std::size_t slash = frontPath.rfind('/');
    const std::size_t dash = frontPath.rfind('-');
    if (dash == std::string_view::npos || dash == 0 || (slash != std::string_view::npos && dash <= slash + 1))
        return std::string();
    std::string rear(frontPath);
    char& letter = rear[dash - 1];
    if (letter == 'M') letter = 'S';
    else if (letter == 'S') letter = 'M';
    else return std::string();
    return rear;
}

}  // namespace orv
