// Orders of the file entries of a scan. Every comparator is a strict weak "less" for
// every pair of entries, whatever their names, so the standard sorts may use them.
#pragma once

#include <vector>

#include "recorder/FileEntry.h"

namespace orv {

// Ordinal order of the file names (byte order of UTF-8, which is code-point order).
// With `recursiveFill` (a card being walked) the media folders "Video" and "Parking" both
// take the place of "Parking", "Video" first, so a card's driving movies come before its
// parking movies while every other name keeps its place.
bool CompareEntryNames(const sFILEENTRY& a, const sFILEENTRY& b, bool recursiveFill = false);

// Ordinal order of the six characters of the file names from index 19 (a recorder
// name's serial number); a shorter name compares by what it has.
bool CompareEntrySerials(const sFILEENTRY& a, const sFILEENTRY& b);

// Recorder movies (either camera) first, then all others; each part by serial number,
// entries with equal serials in their former order.
void SortEntriesRecorderFirst(std::vector<sFILEENTRY>& entries);

// Directories first, then files, each part by name. A vector of directories only keeps
// its order.
void SortEntriesFoldersFirst(std::vector<sFILEENTRY>& entries);

}  // namespace orv
