// What the ffmpeg command says about a movie, measured in the same run as the engine: the CPU
// it takes to decode the movie (and to convert every frame to 32-bit BGRA as well), and the
// pictures of chosen frames as it decodes them, to tell which frame the engine showed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv::bench {

struct DecodeCost {
    double cpuSeconds = 0;  // user + system time of the ffmpeg process
    long frames = 0;        // video frames it decoded
    double MsPerFrame() const { return frames > 0 ? cpuSeconds * 1000.0 / double(frames) : 0.0; }
};

// `ffmpeg -benchmark -i FILE [-pix_fmt bgra] -f null -`; false (with ffmpeg's words in
// `error`) when it fails or its report cannot be read.
bool MeasureDecode(const std::string& path, bool toBgra, DecodeCost* cost, std::string* error);

// A picture reduced to every kStep-th pixel in both directions, bytes B, G, R per pixel: enough
// to tell neighbouring frames apart, small enough to keep one per seek.
inline constexpr int kStep = 4;
using Thumbnail = std::vector<std::uint8_t>;
Thumbnail MakeThumbnail(const std::uint8_t* bgra, int width, int height, int stride);
// Mean absolute difference per colour byte; a large value when the sizes differ.
double Difference(const Thumbnail& a, const Thumbnail& b);

// Decodes the movie's video and hands over the pictures of the listed frames (numbered from 0
// in presentation order), in increasing order, as thumbnails. The pictures are converted to
// BGRA with the colour matrix and range the engine uses for the movie (by its tags, and for an
// untagged one by its height), so a frame compares with the engine's picture of it whatever
// the movie's tags say.
bool ReferenceFrames(const std::string& path, int width, int height, std::vector<int> frames,
                     const std::function<void(int frame, const Thumbnail& picture)>& onFrame, std::string* error);

}  // namespace orv::bench
