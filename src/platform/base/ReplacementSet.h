// Files that replace their targets together, as the parts of one output (a movie, its
// companion and its data file): either every target gets its new file, or every target
// stays as it was.
#pragma once

#include <span>
#include <string>

#include "platform/base/ReplacementFile.h"

namespace orv {

// Why a new file may not take the name `path`: a link, a folder, a FIFO, a socket or a
// device has it (or it cannot be looked at). Empty when the name is free or a regular file.
std::string NotReplaceable(const std::string& path);

// Puts every written file in place, in the order given. A target that exists must be a
// regular file: a link, a folder, a FIFO or a device at a target's name is refused before
// anything is renamed, and is never followed or opened.
//
// Each older target is first renamed aside under a hidden name of its own that no other
// writer uses (a rename that never replaces), then the new file takes its name. When a step
// fails, the steps done are undone in reverse order: the new files go back to their
// temporary names (which their ReplacementFile removes) and the older files to their own
// names. Only when every file is in place are the older ones removed. So no older part is
// ever removed unless its replacement stands, and a failure part-way leaves the older set
// whole. A process killed between the renames leaves each older part either under its name
// or under its hidden name beside it, never lost.
//
// False, with `error` telling which file and why, when the set was not put in place (the
// older files are then where they were, unless undoing a step failed too, which `error`
// says; the older file then keeps its hidden name).
bool CommitTogether(std::span<ReplacementFile* const> files, std::string* error);

}  // namespace orv
