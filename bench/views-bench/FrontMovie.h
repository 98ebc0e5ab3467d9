// A recording's data put in place as channel 1's, as the player leaves it once the movie
// is open: the records decoded and the frame table built for the movie's frames at its
// frame interval. For the inspection tool, the view gallery and the benchmark, which read
// the data through the views' own functions without a player.
#pragma once

#include <cstdint>
#include <string>

#include "recorder/RecorderDataBlock.h"

namespace orv::views_tools {

// The movie's data file; for a card copied into a folder (no drive of its own), each
// parent folder of the movie is tried as the card's root.
std::string FindDataFile(const std::string& movie);

class FrontMovieData {
public:
    explicit FrontMovieData(const std::string& movie);
    ~FrontMovieData();  // channel 1 holds no data again
    FrontMovieData(const FrontMovieData&) = delete;
    FrontMovieData& operator=(const FrontMovieData&) = delete;

    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }
    const RecorderHeader& Header() const { return header_; }
    std::int64_t FrameCount() const { return frames_; }
    float FrameInterval() const { return interval_; }  // ms per frame
    double LargestG() const { return largestG_; }

private:
    bool loaded_ = false;
    std::string error_;
    RecorderHeader header_;
    std::int64_t frames_ = 0;
    float interval_ = 0.0f;
    double largestG_ = 0.0;
};

}  // namespace orv::views_tools
