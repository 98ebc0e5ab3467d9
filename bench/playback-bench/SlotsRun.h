// --slots: the movie and its companion played the way the main window plays them, through the
// two channels' operation tables with the engine installed on both: channel 1 on a window of
// its own, channel 2 without one, both driven by the channel facade, and both clocks read on a
// 30 ms tick under the all-channel lock as the playback timer reads them.
#pragma once

#include <string>

namespace orv::bench {

// Plays `front` on channel 1 and, when `rear` is not empty, `rear` on channel 2 from start to
// end at the speed step of `rate`, then seeks both channels `seeks` times. Prints one JSON
// line: per channel the pictures its presenter presented and how many came late, ffmpeg's
// decoding cost of the file; how far apart the two channels' positions and clocks are on the
// ticks; the seeks' latency and the positions they reached; with a rear, how far apart the
// two clocks run a second after each of `seeks` seeks made while playing; the engine's CPU
// per front frame against the ffmpeg floor of both files together (null when ffmpeg failed on
// a file, whose error is reported instead). Returns the exit code: 0, 1 when a movie cannot be measured, 2 for a
// rate that is no speed step.
int RunThroughSlots(const std::string& front, const std::string& rear, float rate, int seeks);

}  // namespace orv::bench
