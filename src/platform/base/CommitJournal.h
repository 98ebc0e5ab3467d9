// The journal of a replacement of several files together (CommitTogether): what is to be
// renamed where, written and forced to the disk before the first rename, so that a
// replacement cut short by a kill or a power cut is finished by the next process that
// writes in that folder, or at the program's next start.
//
// One replacement at a time works in a folder: a commit holds a lock on the folder of each
// of its targets from the moment it looks at what stands there until its journal is gone,
// and a second one, in this process or another of this machine, waits for it or gives up.
// The lock does not reach other machines that share the folder (a network file system
// keeps a folder's lock on the client); there the identities below keep each commit from
// taking the other's files.
//
// The journal lies in the nearest folder that holds every target (the targets' own folder
// when they share one) and names each target by its path below that folder; the new and
// the older file of a target lie beside the target under hidden names that carry the
// journal's writer (WriterName.h). Every entry says which file it expects at each of its
// names, the new one and the one it replaces, and no other file is ever moved, taken for
// the commit's own or removed: a commit that finds one stops, and keeps it. A journal is
// read as untrusted input: its size, its entries and every name are bounded and checked, it
// never names a path outside its own folder nor one reached through a link, and it is
// followed only when it is this user's, carries this host's mark, and its writer has gone.
#pragma once

#include <chrono>
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

// What tells a file from another one put at its name: its size and modification time, and
// its inode number where the file system keeps inode numbers for good. FAT, exFAT, network
// and FUSE file systems may number a file anew once it drops out of the cache or after a
// remount, and FAT keeps times to two seconds: there the size and the time within two
// seconds tell it; elsewhere the inode number and the time to the nanosecond.
struct FileIdentity {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the epoch
    std::uint64_t inode = 0;    // 0 where the file system does not keep it

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at `path` (a link is not followed); nothing for anything
// else.
std::optional<FileIdentity> FileIdentityOf(const std::string& path);

struct CommitEntry {
    // The target, below the journal's folder ("name" or "folder/name").
    std::string target;
    // The new file's name beside the target; empty for a target the new set lacks, which
    // goes with the older files.
    std::string temporary;
    // The name the older target waits under until the new set stands.
    std::string older;
    // The new file as it was written; nothing for a target that goes.
    std::optional<FileIdentity> newFile;
    // The file that stood at the target when the commit was planned; nothing when none did.
    std::optional<FileIdentity> olderFile;
    // False in a journal of the earlier format, which did not record the file a new one was
    // to replace: whatever stands at such a target is left where it is.
    bool olderRecorded = true;

    bool operator==(const CommitEntry&) const = default;
};

struct CommitPlan {
    std::string writer;  // ThisWriter() of the process that wrote it
    std::vector<CommitEntry> entries;
    // The journal was marked once every new file stood at its target: from then on the
    // commit is only ever finished, never undone, whatever is found at its names later.
    bool placed = false;

    bool operator==(const CommitPlan&) const = default;
};

std::string EncodeCommitPlan(const CommitPlan& plan);

// The plan of a journal's bytes, written by `writer` (as the journal's own name says);
// nothing when the bytes are not such a journal whole, or name anything the journal may not
// name: a path with an empty, "." or ".." component, deeper than kMaxJournalDepth, a target
// named twice, or a new or older file that is not its writer's. A journal of the earlier
// format (the same lines without the older file of a new one) is read too, its entries
// with olderRecorded false. The journal is placed only when the mark follows it exactly;
// anything else behind it (a mark cut short by a power cut) leaves it unplaced.
std::optional<CommitPlan> ParseCommitPlan(std::string_view bytes, std::string_view writer);

// Whether `path` may stand in a journal as a target below its folder.
bool IsJournalTargetPath(std::string_view path);

enum class CommitResult {
    kNewSet,  // every new file in place, the older ones removed
    kOldSet,  // every older file back under its name; the new files under their temporary names
    // Neither could be reached, or a file that is not the commit's lies at one of its hidden
    // names: the files keep their names and the journal stays.
    kStuck,
};

// Carries out `plan` in `folder` (the journal's folder): the older targets are moved aside,
// the new files put in their place, and only then the older files removed. Any step that
// fails is undone instead, and so is the commit when a name holds a file that is not the
// one the plan expects there. A regular file at a hidden name (the new file's or the older
// file's) that is not the one the plan left there makes it stuck, whichever set stands: it
// is no leftover of the commit's, and the journal that stays keeps it from being removed as
// one. Steps already done (by a process that was killed) are recognised by what lies at
// each name, so this serves a commit and its recovery alike.
// The caller holds the locks of the targets' folders, and the journal open for writing at
// `journalFd`, which is marked (CommitPlan::placed) once the new files stand.
// `error` tells why the new set did not come into place.
CommitResult CarryOutCommit(const std::string& folder, const CommitPlan& plan, std::string* error, int journalFd);

// One part of a commit: the target (a path as the caller names it) and the new file
// written beside it under its temporary name, forced to the disk and closed; no new file
// for a target the new set lacks.
struct CommitPart {
    std::string target;
    std::string temporary;  // the new file's path; empty when the target is to go
};

// How long a commit waits for another one that works in a folder of its targets.
constexpr std::chrono::milliseconds kCommitLockWait = std::chrono::seconds(30);

// Takes the locks of the targets' folders (waiting at most kCommitLockWait for another
// commit to end), writes the journal of the parts (forced to the disk with its folder) and
// carries it out: so the new set comes into place whole, or the older one stays whole, even
// when this process dies on the way. The journal is removed unless the result is kStuck;
// then it stays, and so do the files it names, for the next recovery, and it is reported
// (ReportError). `error` tells why the new set did not come into place.
CommitResult CommitWithJournal(const std::vector<CommitPart>& parts, std::string* error);

// For tests: called after each step that changes a folder during a commit (0 before the
// first, when every new file is written), so that a test can stop the process at any of
// them; and with kCommitWaits when the commit finds a folder of its targets locked by
// another and starts to wait for it.
using CommitStepHook = void (*)(int step);
void SetCommitStepHook(CommitStepHook hook);
constexpr int kCommitWaits = -1;

// For tests: how long a commit waits for another (kCommitLockWait unless set).
void SetCommitLockWait(std::chrono::milliseconds wait);

// Finishes the commits that processes of this user on this host began in `folder`, or in
// the folders above it up to kMaxJournalDepth - 1 levels, and did not live to finish: each
// journal is carried out (CarryOutCommit) and removed. A journal whose writer still runs, or
// that another process is carrying out or committing beside, is left alone, and so is
// another user's. A journal that cannot be read or finished stays, and is reported once in
// the process's life (ReportError) with the places of the files it names. Returns the
// writers of this user's journals that stay (their files are not stale).
std::vector<std::string> RecoverInterruptedCommits(const std::string& folder);

}  // namespace orv
