// The names of the hidden files a writer keeps beside its targets while it replaces them:
// the temporary file that becomes the new target, the older target while it waits to be
// removed, and the journal of a replacement of several files together.
//
// Each name carries its writer: a mark of the machine, its boot and its pid namespace, then
// the process id and a serial number. A process id alone says nothing of a file written on
// another machine sharing the folder, in another container, or before the last boot: a
// name of this machine, boot and namespace is judged by asking whether its process still
// runs; one of this machine's earlier boot has lost its writer, on a file system of this
// machine's own at once, on one that other machines reach when the file is older than this
// boot; any other is never judged.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

enum class WriterFile : char {
    kTemporary = 't',  // new content, not yet in place
    kOlder = 'o',      // an older target moved aside
    kJournal = 'j',    // the plan of a replacement of several files
};

// 16 lower-case hexadecimal digits of a 64-bit hash of `bytes` (not a cryptographic one).
std::string HashHex(std::string_view bytes);

// 48 hexadecimal digits: 16 that stand for this machine (its host name and machine id),
// 16 for its boot and 16 for the pid namespace. A host name or namespace that cannot be
// read is replaced by random bits, so that such a process's files are never taken for
// another's; a boot that cannot be read is all zeros, which no boot is told apart from.
const std::string& HostMark();

// The writer of this process: HostMark, '-', the process id.
std::string ThisWriter();

// "." + at most 64 bytes of `targetName` + ".orvanta5-<kind>-" + writer + "-" + serial. The
// target's name stays readable, but not whole: the marks add some 90 bytes, and a name
// must keep within the 255-byte limit.
std::string WriterFileName(WriterFile kind, std::string_view targetName, std::string_view writer,
                           unsigned serial);

// A serial number not used before by this process.
unsigned NextWriterSerial();

struct WriterFileInfo {
    WriterFile kind;
    std::string mark;  // the host mark (HostMark)
    pid_t pid = 0;
    std::string writer;  // mark + "-" + pid
};

// What a name made by WriterFileName tells; nothing for any other name.
std::optional<WriterFileInfo> ParseWriterFileName(std::string_view name);

// When this boot began, in seconds since the epoch, by the wall clock that stamps files;
// nothing when it cannot be told.
std::optional<std::time_t> BootTime();

// How much older than the boot a file of an earlier boot must be, where the folder is
// shared: the boot time and a file's time are read from clocks that may disagree by a
// little (a clock set after the boot, a file server's clock).
constexpr std::time_t kBootMarginSeconds = 30;

// Whether other machines may write in the folder of `path` (or in `path`, a folder): it
// lies on a network file system (NFS, SMB, 9P, AFS, Ceph and the like) or a FUSE one, which
// may stand for any of them, or its kind cannot be told.
bool IsSharedFileSystem(const std::string& path);

// Whether the writer of a file last modified at `modified` is certainly gone: one of this
// boot and pid namespace, not this process, that no longer exists; or one of this machine's
// earlier boot. The machine's mark is its host name and machine id, which a cloned machine
// shares, with a boot of its own: in a folder that other machines reach (`sharedFolder`,
// IsSharedFileSystem) a writer of another boot is taken as gone only for a file older than
// `bootTime` (less the margin), since a clone's files are newer than this boot, and without
// a boot time not at all. On a file system of this machine's own no clone writes, and a
// reboot ended every process of the boots before it, however shortly before it they wrote.
bool WriterIsGone(const WriterFileInfo& info, std::time_t modified, bool sharedFolder,
                  std::optional<std::time_t> bootTime = BootTime());

// Whether the writer ran on this machine, in this boot or before it.
bool IsThisMachines(const WriterFileInfo& info);

}  // namespace orv
