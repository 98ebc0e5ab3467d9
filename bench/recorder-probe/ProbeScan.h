// The part of recorder-probe that runs the folder scan, called by main.cpp.
#pragma once

#include <ostream>
#include <string>

namespace orv::probe {

// `recorder-probe scan DIR`: scans DIR as the file browser scans a source and writes, one
// JSON object per line: a summary ("scan"), every movie entry in list order ("entry":
// path, serial, kind letter, kind, flags, start time, the three sizes), then every item
// of the folder tree in insertion order ("treeItem": its text, parent, level, path below
// DIR and item data). A DIR that holds a card layout's movie folder is scanned as a card
// (into its sub-folders) and taken as the card's drive root, so a copy of a card finds
// its data files as the card does.
void ProbeScan(const std::string& dir, std::ostream& out);

}  // namespace orv::probe
