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

// Puts every written file in place, in the order given, and removes the regular files at
// the `withdrawn` names: the parts an older set had that the new one lacks, so that no part
// of the older set stays beside the new one. A target or withdrawn name that exists must be
// a regular file: a link, a folder, a FIFO or a device there is refused before anything is
// renamed, and is never followed or opened.
//
// One commit at a time works in a folder: this one first waits (kCommitLockWait at most)
// until no other commit of this machine works in a folder of its targets, and
// gives up when one still does. Then it looks at what stands at each name, and writes the
// plan to a journal beside the targets (CommitJournal.h), with the file it expects at each
// name. Then each older file is renamed aside under a hidden name of its own, the withdrawn
// ones first, and each new file takes its target's name. When a step fails, or a name holds
// a file other than the one planned (one the user put there meanwhile), the steps done are
// undone in reverse order: the new files go back to their temporary names (which their
// ReplacementFile removes) and the older files to their own names; a file that is not the
// commit's own is never moved or removed. Only when every new file is in place are the
// older ones removed. So no older part is ever removed unless the new set stands, and a
// failure part-way leaves the older set whole. A process killed on the way leaves the
// journal, and the next writer in that folder, or the program's next start, finishes the
// new set (FinishInterruptedWrites).
//
// False, with `error` telling which file and why, when the set was not put in place (the
// older files are then where they were, unless undoing a step failed too, which `error`
// says; the journal then stays, with every file it names, for the next writer, and it is
// reported with the places of those files).
bool CommitTogether(std::span<ReplacementFile* const> files, std::span<const std::string> withdrawn,
                    std::string* error);
inline bool CommitTogether(std::span<ReplacementFile* const> files, std::string* error) {
    return CommitTogether(files, {}, error);
}

}  // namespace orv
