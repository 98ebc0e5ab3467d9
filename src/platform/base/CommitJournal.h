// The journal of a replacement of several files together (CommitTogether): what is to be
// renamed where, written and forced to the disk before the first rename, so that a
// replacement cut short by a kill or a power cut is finished by the next process that
// writes in that folder, or at the program's next start.
//
// The journal lies in the nearest folder that holds every target (the targets' own folder
// when they share one) and names each target by its path below that folder; the new and
// the older file of a target lie beside the target under hidden names that carry the
// journal's writer (WriterName.h). A journal is read as untrusted input: its size, its
// entries and every name are bounded and checked, it never names a path outside its own
// folder nor one reached through a link, and it is followed only when it is this user's,
// carries this host's mark, and its writer has gone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// A journal larger than this is not read.
constexpr std::size_t kMaxJournalBytes = 16 * 1024;
constexpr std::size_t kMaxJournalEntries = 16;
// Components of a target's path below the journal's folder, the name included: a card's
// movie and data folders lie side by side, some folders below the card's root.
constexpr std::size_t kMaxJournalDepth = 4;

struct CommitEntry {
    // The target, below the journal's folder ("name" or "folder/name").
    std::string target;
    // The new file's name beside the target; empty for a target the new set lacks, which
    // goes with the older files.
    std::string temporary;
    // The name the older target waits under until the new set stands.
    std::string older;
    // The new file as it was written, or the target that goes as it was when planned: its
    // size and modification time (nanoseconds since the epoch). A file system such as FAT
    // does not keep inode numbers across a remount.
    std::uint64_t size = 0;
    std::int64_t modified = 0;

    bool operator==(const CommitEntry&) const = default;
};

struct CommitPlan {
    std::string writer;  // ThisWriter() of the process that wrote it
    std::vector<CommitEntry> entries;

    bool operator==(const CommitPlan&) const = default;
};

std::string EncodeCommitPlan(const CommitPlan& plan);

// The plan of a journal's bytes, written by `writer` (as the journal's own name says);
// nothing when the bytes are not such a journal whole, or name anything the journal may not
// name: a path with an empty, "." or ".." component, deeper than kMaxJournalDepth, a target
// named twice, or a new or older file that is not its writer's.
std::optional<CommitPlan> ParseCommitPlan(std::string_view bytes, std::string_view writer);

// Whether `path` may stand in a journal as a target below its folder.
bool IsJournalTargetPath(std::string_view path);

enum class CommitResult {
    kNewSet,  // every new file in place, the older ones removed
    kOldSet,  // every older file back under its name; the new files under their temporary names
    kStuck,   // neither could be reached; the files keep their hidden names and the journal stays
};

// Carries out `plan` in `folder` (the journal's folder): the older targets are moved aside,
// the new files put in their place, and only then the older files removed. Any step that
// fails is undone instead. Steps already done (by a process that was killed) are
// recognised by what lies at each name, so this serves a commit and its recovery alike.
// `error` tells why the new set did not come into place.
CommitResult CarryOutCommit(const std::string& folder, const CommitPlan& plan, std::string* error);

// One part of a commit: the target (a path as the caller names it) and the new file
// written beside it under its temporary name, forced to the disk and closed; no new file
// for a target the new set lacks.
struct CommitPart {
    std::string target;
    std::string temporary;  // the new file's path; empty when the target is to go
};

// Writes the journal of the parts (forced to the disk with its folder) and carries it out:
// so the new set comes into place whole, or the older one stays whole, even when this
// process dies on the way. The journal is removed unless the result is kStuck; then it
// stays, and so do the files it names, for the next recovery. `error` tells why the new set
// did not come into place.
CommitResult CommitWithJournal(const std::vector<CommitPart>& parts, std::string* error);

// For tests: called after each step that changes a folder during a commit (0 before the
// first, when every new file is written), so that a test can stop the process at any of
// them.
using CommitStepHook = void (*)(int step);
void SetCommitStepHook(CommitStepHook hook);

// Finishes the commits that processes of this user on this host began in `folder`, or in
// the folders above it up to kMaxJournalDepth - 1 levels, and did not live to finish: each
// journal is carried out (CarryOutCommit) and removed. A journal whose writer still runs, or
// that another process is carrying out, is left alone. Returns the writers of the journals
// that stay (their files are not stale).
std::vector<std::string> RecoverInterruptedCommits(const std::string& folder);

}  // namespace orv
