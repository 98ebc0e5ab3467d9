// What both runs of the benchmark share: how long they wait for the engine, and how they
// measure CPU time and summarise a list of times.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "FfmpegReference.h"
#include "platform/base/JsonWriter.h"

namespace orv::bench {

using namespace std::chrono_literals;

inline constexpr auto kReadyWait = 20s;
inline constexpr auto kSeekWait = 10s;
// After a seek's first picture: no further picture for this long means it is the one that stays.
inline constexpr auto kSeekQuiet = 150ms;

// User plus system CPU time of the whole process, in seconds.
double CpuSeconds();
// The value at fraction p (0..1) of the sorted list, nearest rank; -1 for an empty list.
double Percentile(std::vector<double> values, double p);

// False, with the reason, for anything but a regular file (a FIFO, a device, a folder, a
// missing path).
bool IsRegularFile(const std::string& path, std::string* why);

// ffmpeg's decoding cost of a file as the two "ffmpeg_decode..." keys; null, with the key
// "ffmpeg_error", when ffmpeg could not measure it (error not empty).
void WriteFfmpegFigures(JsonWriter& j, const DecodeCost& decode, const DecodeCost& decodeBgra,
                        const std::string& error);

}  // namespace orv::bench
