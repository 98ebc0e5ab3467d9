// The parts of recorder-probe that show what the data views make of a recording, read with
// the views' own functions over channel 1's data. Called by main.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv::probe {

// `recorder-probe events MOVIE`: one JSON object per entry of the movie's event list, every
// detector on: the frame where it starts, its sensor record, kind and detector. One object
// with "error" when the movie or its data cannot be read.
void ProbeEvents(const std::string& movie, std::ostream& out);

// `recorder-probe frame MOVIE FRAME`: one JSON object with the info panel's texts at that
// frame (date and time, speed, the three G values, voltage, steering, turn signal, brake
// and the drive-support letter) and the gauges' target values; "error" when the movie or
// its data cannot be read or the frame shows no record.
void ProbeFrame(const std::string& movie, const std::string& frame, std::ostream& out);

// Runs `events` or `frame` with their arguments; false (with the usage on stderr) when the
// arguments do not fit the command.
bool ProbeViews(const std::string& command, const std::vector<std::string>& args, std::ostream& out);

}  // namespace orv::probe
