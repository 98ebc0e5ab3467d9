#include "platform/base/CommitJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "platform/base/ErrorReport.h"
#include "platform/base/FileOps.h"
#include "platform/base/FileView.h"
#include "platform/base/PathUtil.h"
#include "platform/base/UniqueFd.h"
#include "platform/base/WriterName.h"

namespace orv {

namespace {

constexpr std::string_view kHeader = "orvanta5 commit 3";
// The format before every entry said which file it replaces.
constexpr std::string_view kEarlierHeader = "orvanta5 commit 2";
constexpr std::string_view kNoFile = "none";
// The line behind the sum that marks a journal whose new files all stand.
constexpr std::string_view kPlacedLine = "placed\n";
constexpr std::string_view kSumLineStart = "\nsum ";
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxTargetBytes = 1024;
// A FAT file system keeps modification times to two seconds.
constexpr std::int64_t kTimeSlackNs = 2'000'000'000;
// How often a waiting commit looks whether the folder is free.
constexpr std::chrono::milliseconds kLockPoll{20};

std::atomic<CommitStepHook> g_hook{nullptr};
std::atomic<std::int64_t> g_lockWaitMs{kCommitLockWait.count()};
thread_local int t_step = 0;

void Step() {
    if (CommitStepHook hook = g_hook.load()) hook(++t_step);
}

// A field of a line: bytes that would end it, or be read as anything else, as "%XX".
void AppendField(std::string& out, std::string_view field) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += ' ';
    for (const char ch : field) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == '%' || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> DecodeField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c < 0x20 || c == 0x7F) return std::nullopt;
        if (c != '%') {
            out += char(c);
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const int hi = HexDigit(field[i + 1]), lo = HexDigit(field[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(separator, start);
        fields.push_back(line.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) return fields;
        start = at + 1;
    }
}

// A name of one component: not empty, not "." or "..", no separator, no NUL.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameBytes && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// A new or older file of `writer`'s.
bool IsWritersFile(std::string_view name, WriterFile kind, std::string_view writer) {
    if (!IsPlainName(name)) return false;
    const auto info = ParseWriterFileName(name);
    return info && info->kind == kind && info->writer == writer;
}

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
    if (text.empty() || text.size() > 20 || text.front() == '+') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string EncodeIdentity(const std::optional<FileIdentity>& id) {
    if (!id) return std::string(kNoFile);
    return std::to_string(id->size) + "," + std::to_string(id->modified) + "," + std::to_string(id->inode);
}

// "size,modified,inode", or kNoFile (nothing) where `none` may stand.
bool ParseIdentity(std::string_view text, bool none, std::optional<FileIdentity>* id) {
    if (text == kNoFile) {
        id->reset();
        return none;
    }
    const auto parts = Split(text, ',');
    FileIdentity out;
    if (parts.size() != 3 || !ParseNumber(parts[0], &out.size) || !ParseNumber(parts[1], &out.modified) ||
        !ParseNumber(parts[2], &out.inode))
        return false;
    *id = out;
    return true;
}

// Where the parts of an entry lie, below the journal's folder.
struct EntryPaths {
    std::string target, temporary, older;
};

EntryPaths PathsOf(const std::string& folder, const CommitEntry& entry) {
    EntryPaths p;
    p.target = PathAppend(folder, entry.target);
    const std::string dir = PathRemoveFileSpec(p.target);
    if (!entry.temporary.empty()) p.temporary = PathAppend(dir, entry.temporary);
    p.older = PathAppend(dir, entry.older);
    return p;
}

// Every folder between the journal's folder and the target is a folder, not a link: a
// journal never leads elsewhere.
bool FoldersBelowAreReal(const std::string& folder, std::string_view target) {
    for (std::size_t slash = target.find('/'); slash != std::string_view::npos; slash = target.find('/', slash + 1)) {
        struct stat st;
        const std::string dir = PathAppend(folder, target.substr(0, slash));
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

enum class At { kNothing, kFile, kOther };

At WhatIsAt(const std::string& path, struct stat* st = nullptr) {
    struct stat local;
    struct stat* s = st ? st : &local;
    if (::lstat(path.c_str(), s) != 0) return errno == ENOENT ? At::kNothing : At::kOther;
    return S_ISREG(s->st_mode) ? At::kFile : At::kOther;
}

// Saturated: a file may carry any time, a journal any number.
std::int64_t ModifiedNs(const struct stat& st) {
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;
    const std::int64_t sec = std::clamp<std::int64_t>(st.st_mtim.tv_sec, -kLimit, kLimit);
    return sec * 1'000'000'000 + st.st_mtim.tv_nsec;
}

// File systems whose inode numbers stay with a file for its life: not FAT, exFAT, NTFS
// through FUSE or a network file system, which may number it anew after a remount, or
// even when it drops out of the cache.
bool KeepsInodeNumbers(const std::string& path) {
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case F2FS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

// The identity of the regular file at `path`, seen as `st`.
FileIdentity IdentityOf(const std::string& path, const struct stat& st) {
    return FileIdentity{std::uint64_t(st.st_size), ModifiedNs(st),
                        KeepsInodeNumbers(path) ? std::uint64_t(st.st_ino) : 0};
}

// Whether two identities may be one file, as far as a file system without inode numbers
// tells.
bool Resemble(const FileIdentity& a, const FileIdentity& b) {
    const __int128 diff = __int128(a.modified) - b.modified;
    return a.size == b.size && diff <= kTimeSlackNs && diff >= -kTimeSlackNs;
}

// Whether the regular file at `path` is the one `identity` describes.
bool IsFileOf(const std::string& path, const FileIdentity& identity) {
    struct stat st;
    if (WhatIsAt(path, &st) != At::kFile || std::uint64_t(st.st_size) != identity.size) return false;
    if (identity.inode != 0) return std::uint64_t(st.st_ino) == identity.inode && ModifiedNs(st) == identity.modified;
    return Resemble(FileIdentity{identity.size, ModifiedNs(st), 0}, identity);
}

bool Fail(std::string* why, std::string text) {
    if (why && why->empty()) *why = std::move(text);
    return false;
}

// Renames `from`, which must hold `expected`, to `to`, which must be free; a file that
// took `from`'s place meanwhile is put back.
bool Move(const std::string& from, const std::string& to, const FileIdentity& expected, std::string* why) {
    if (!IsFileOf(from, expected)) return Fail(why, from + " is not the file this replacement expects; it stays");
    if (!FileOps().MoveNoReplace(from, to))
        return Fail(why, "cannot move " + from + " to " + to + ": " + SystemErrorText(errno));
    Step();
    if (IsFileOf(to, expected)) return true;
    if (!RenameNoReplace(to, from)) return Fail(why, from + " changed while it was moved; it lies at " + to);
    return Fail(why, from + " changed while it was moved; it stays");
}

// Gives the file at `path` the modification time `modified` (nanoseconds since the epoch),
// forced to the disk with it; its identity then, or nothing.
std::optional<FileIdentity> TimeMovedOn(const std::string& path, std::int64_t modified) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const timespec times[2] = {{0, UTIME_OMIT}, {modified / 1'000'000'000, modified % 1'000'000'000}};
    if (modified < 0 || fd.get() < 0 || ::futimens(fd.get(), times) != 0 || ::fsync(fd.get()) != 0)
        return std::nullopt;
    return FileIdentityOf(path);
}

// The new file of a put entry stands at its target.
bool NewFileInPlace(const EntryPaths& p, const CommitEntry& e) {
    return e.newFile && IsFileOf(p.target, *e.newFile) && !IsFileOf(p.temporary, *e.newFile);
}

// Whether the new set stands: every new file at its target. A plan that only removes
// files has done so once none of them stands at its name.
bool NewSetStands(const std::string& folder, const CommitPlan& plan) {
    bool puts = false;
    for (const CommitEntry& e : plan.entries) {
        if (!e.newFile) continue;
        puts = true;
        if (!NewFileInPlace(PathsOf(folder, e), e)) return false;
    }
    if (puts) return true;
    for (const CommitEntry& e : plan.entries)
        if (e.olderFile && IsFileOf(PathsOf(folder, e).target, *e.olderFile)) return false;
    return true;
}

// One entry taken forward: the older target aside, the new file in its place. Steps done
// before are skipped; a file at the target that is not the one planned stops it.
bool Forward(const std::string& folder, const CommitEntry& e, std::string* why) {
    const EntryPaths p = PathsOf(folder, e);
    if (!FoldersBelowAreReal(folder, e.target)) return Fail(why, p.target + ": a folder on its way is a link");
    if (e.newFile && !IsFileOf(p.temporary, *e.newFile))
        return NewFileInPlace(p, e) || Fail(why, "the new " + p.target + " is gone");
    const At at = WhatIsAt(p.target);
    if (at == At::kOther) return Fail(why, p.target + " is not a file that may be replaced");
    if (at == At::kFile) {
        if (!e.olderRecorded || !e.olderFile || !IsFileOf(p.target, *e.olderFile))
            return Fail(why, p.target + " is not the file this replacement was to move aside; it stays");
        if (WhatIsAt(p.older) != At::kNothing) return Fail(why, p.older + " is in the way");
        if (!Move(p.target, p.older, *e.olderFile, why)) return false;
    }
    return !e.newFile || Move(p.temporary, p.target, *e.newFile, why);
}

// One entry taken back: the new file to its temporary name, the older one to its own name.
bool Back(const std::string& folder, const CommitEntry& e, std::string* why) {
    const EntryPaths p = PathsOf(folder, e);
    if (!FoldersBelowAreReal(folder, e.target)) return Fail(why, p.target + ": a folder on its way is a link");
    if (e.newFile && WhatIsAt(p.temporary) == At::kNothing && IsFileOf(p.target, *e.newFile) &&
        !Move(p.target, p.temporary, *e.newFile, why))
        return false;
    // An earlier journal did not say which file it moved aside: the file under the older
    // name, which only its writer gives, is taken for it.
    const std::optional<FileIdentity> older = e.olderRecorded ? e.olderFile : FileIdentityOf(p.older);
    // A file there that is not the older one is no step to take back (StrangerAtHiddenName).
    if (!older || !IsFileOf(p.older, *older)) return true;
    if (WhatIsAt(p.target) != At::kNothing) return Fail(why, "the older " + p.target + " stays as " + p.older);
    return Move(p.older, p.target, *older, why) || Fail(why, "the older " + p.target + " stays as " + p.older);
}

// A regular file at one of the commit's hidden names that is not the one the commit left
// there: one the user put there, or the commit's own changed past knowing (a file system
// that keeps local times moves them by an hour when daylight saving time begins or ends).
// Nothing tells that it may go, and once the journal is gone the stale files' rule
// (FinishInterruptedWrites) would take it for a leftover and remove it: while one lies
// there the commit is stuck, and its journal, which keeps its names from that rule, stays.
// False when there is none; else true, with `why` telling where.
bool StrangerAtHiddenName(const std::string& folder, const CommitPlan& plan, std::string* why) {
    for (const CommitEntry& e : plan.entries) {
        // A folder on the way that is a link stops the commit by itself.
        if (!FoldersBelowAreReal(folder, e.target)) continue;
        const EntryPaths p = PathsOf(folder, e);
        const bool strangeNew = e.newFile && WhatIsAt(p.temporary) == At::kFile && !IsFileOf(p.temporary, *e.newFile);
        // An earlier journal's older file is whatever lies at its older name.
        const bool strangeOlder = e.olderRecorded && WhatIsAt(p.older) == At::kFile &&
                                  !(e.olderFile && IsFileOf(p.older, *e.olderFile));
        if (strangeNew || strangeOlder) {
            Fail(why, (strangeNew ? p.temporary : p.older) + " is not the file this replacement left there; it stays");
            return true;
        }
    }
    return false;
}

void FlushFolder(const std::string& dir) {
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

std::vector<std::string> TargetFolders(const std::string& folder, const CommitPlan& plan) {
    std::vector<std::string> dirs;
    for (const CommitEntry& e : plan.entries)
        dirs.push_back(PathRemoveFileSpec(PathAppend(folder, e.target)));
    return dirs;
}

// The renames reach the disk before anything is removed: a power cut must not leave the
// older file removed and the new one still under its temporary name.
void FlushTargetFolders(const std::string& folder, const CommitPlan& plan) {
    const std::vector<std::string> dirs = TargetFolders(folder, plan);
    for (const std::string& dir : std::set<std::string>(dirs.begin(), dirs.end()))
        FlushFolder(dir);
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::string out = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) return path;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

// The nearest folder that holds every one of the absolute paths; "" when there is none.
std::string CommonFolder(const std::vector<std::string>& paths) {
    std::string common = PathRemoveFileSpec(paths.front());
    for (const std::string& p : paths) {
        while (common != "/" &&
               !(p.size() > common.size() && p.compare(0, common.size(), common) == 0 && p[common.size()] == '/')) {
            common = PathRemoveFileSpec(common);
            if (common.empty()) return {};
        }
    }
    return common;
}

// A name of `writer`'s for a file of `kind` beside `dir`'s `targetName` that nothing has yet
// (a process of the same id before the last reboot may have left one). In a folder that
// cannot be looked into, the last name tried: the step that uses it fails and says why.
std::string FreeName(const std::string& dir, WriterFile kind, std::string_view targetName, const std::string& writer) {
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = WriterFileName(kind, targetName, writer, NextWriterSerial());
        if (WhatIsAt(PathAppend(dir, name)) == At::kNothing) break;
    }
    return name;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

// Appends the mark to the journal open at `fd`, forced to the disk. Without it (a write
// that fails) the next look still finds every new file at its target.
void MarkPlaced(int fd) {
    if (::lseek(fd, 0, SEEK_END) < 0 || !WriteAll(fd, kPlacedLine) || ::fsync(fd) != 0) return;
    Step();
}

// Writes the journal under a temporary name, forces it to the disk and gives it its name,
// which only a whole journal ever has. Returns it open and locked (the lock tells others that
// it is being carried out), or -1.
UniqueFd WriteJournal(const std::string& folder, std::string_view firstName, const CommitPlan& plan,
                      std::string* journal) {
    const std::string temporary = PathAppend(folder, FreeName(folder, WriterFile::kTemporary, firstName, plan.writer));
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) return UniqueFd();
    const std::string bytes = EncodeCommitPlan(plan);
    bool placed = ::flock(fd.get(), LOCK_EX) == 0 && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    for (int attempt = 0; placed && attempt < 100; ++attempt) {
        *journal = PathAppend(folder, FreeName(folder, WriterFile::kJournal, firstName, plan.writer));
        if (RenameNoReplace(temporary, *journal)) break;
        placed = errno == EEXIST;
    }
    if (!placed || WhatIsAt(temporary) != At::kNothing) {
        const int e = errno;
        ::unlink(temporary.c_str());
        errno = e;
        return UniqueFd();
    }
    FlushFolder(folder);
    return fd;
}

// The locks of the folders a commit changes: one commit at a time in a folder, between
// processes as between threads (each lock is taken on a descriptor of its own).
class FolderLocks {
public:
    // Locks every folder of `dirs` that exists, in the order of their device and inode
    // numbers, so that two commits never hold one folder each and wait for the other's.
    // Waits up to `wait` for folders that other commits hold; false with `why` when a
    // folder stays locked or cannot be locked. A folder that `held` holds already (the
    // caller's own) is not locked again: its second lock would wait for its first.
    bool Take(const std::vector<std::string>& dirs, std::chrono::milliseconds wait, bool tellWaiting,
              std::string* why, const FolderLocks* held = nullptr) {
        std::vector<Folder> folders;
        for (const std::string& dir : dirs) {
            UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat st;
            // No file of a folder that is not there can be replaced or removed.
            if (fd.get() < 0 && (errno == ENOENT || errno == ENOTDIR)) continue;
            if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
                return Fail(why, "cannot open the folder " + dir + ": " + SystemErrorText(errno));
            // A folder named twice (through a link) is locked once: a second lock of this
            // process would wait for its own first.
            if (!Holds(folders, st) && !(held && Holds(held->held_, st)))
                folders.push_back({st.st_dev, st.st_ino, dir, std::move(fd)});
        }
        std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
            return std::pair(a.dev, a.ino) < std::pair(b.dev, b.ino);
        });
        const auto deadline = std::chrono::steady_clock::now() + wait;
        bool told = !tellWaiting;
        for (Folder& f : folders) {
            while (::flock(f.fd.get(), LOCK_EX | LOCK_NB) != 0) {
                if (errno == EINTR) continue;
                if (errno != EWOULDBLOCK)
                    return Fail(why, "cannot lock the folder " + f.path + ": " + SystemErrorText(errno));
                if (!told) {
                    told = true;
                    if (CommitStepHook hook = g_hook.load()) hook(kCommitWaits);
                }
                if (std::chrono::steady_clock::now() >= deadline)
                    return Fail(why, "another replacement of files in " + f.path + " did not end in time");
                std::this_thread::sleep_for(kLockPoll);
            }
            held_.push_back(std::move(f));
        }
        return true;
    }

private:
    struct Folder {
        dev_t dev;
        ino_t ino;
        std::string path;
        UniqueFd fd;
    };

    static bool Holds(const std::vector<Folder>& folders, const struct stat& st) {
        return std::any_of(folders.begin(), folders.end(),
                           [&](const Folder& f) { return f.dev == st.st_dev && f.ino == st.st_ino; });
    }

    std::vector<Folder> held_;
};

// A journal that stays is told of once in the life of the process: every writer in its
// folder finds it again.
void ReportOnce(const std::string& journal, const std::string& text) {
    static std::mutex lock;
    static std::set<std::string> reported;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!reported.insert(journal).second) return;
    }
    ReportError("ERROR", text);
}

void ReportStuck(const std::string& journal, const std::string& folder, const CommitPlan& plan,
                 const std::string& why) {
    std::string text = "The replacement of files that " + journal + " describes could not be finished (" + why +
                       "); the journal stays.";
    for (const CommitEntry& e : plan.entries) {
        const EntryPaths p = PathsOf(folder, e);
        if (WhatIsAt(p.older) == At::kFile) text += " The older " + p.target + " lies at " + p.older + ".";
        if (!p.temporary.empty() && WhatIsAt(p.temporary) == At::kFile)
            text += " The new " + p.target + " lies at " + p.temporary + ".";
    }
    ReportOnce(journal, text);
}

// Whether a journal found in `dir` stays (true) or was carried out and removed. Another
// user's journal is not this user's to follow, nor does it keep this user's files. The
// folders that `held` holds are the caller's: they are not locked again.
bool RecoverJournal(const std::string& dir, const std::string& name, const WriterFileInfo& info,
                    const FolderLocks* held) {
    const std::string path = PathAppend(dir, name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    if (info.writer != ThisWriter() && !WriterIsGone(info, st.st_mtime, IsSharedFileSystem(dir))) return true;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return false;
        ReportOnce(path, "The journal " + path + " cannot be opened (" + SystemErrorText(errno) +
                             "); the files its writer left beside it stay.");
        return true;
    }
    // A writer holds its journal locked while it carries it out, and removes it when done.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd.get(), &st) != 0) return true;
    if (st.st_nlink == 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    std::string bytes(kMaxJournalBytes + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + got, bytes.size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return true;
        if (n == 0 || (got += std::size_t(n)) == bytes.size()) break;
    }
    bytes.resize(got);
    const auto plan = ParseCommitPlan(bytes, info.writer);
    if (!plan) {
        ReportOnce(path, "The journal " + path + " cannot be read; the files its writer left beside it stay.");
        return true;
    }
    // A commit at work beside it comes first; the journal waits for the next look.
    FolderLocks locks;
    std::string why;
    if (!locks.Take(TargetFolders(dir, *plan), std::chrono::milliseconds(0), false, &why, held)) return true;
    t_step = 0;
    if (CarryOutCommit(dir, *plan, &why, fd.get()) == CommitResult::kStuck) {
        ReportStuck(path, dir, *plan, why);
        return true;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return true;
    FlushFolder(dir);
    return false;
}

// The folders where a journal of a commit with a target in `folder` may lie: the folder and
// the folders above it, kMaxJournalDepth in all at most.
void AddJournalFolders(const std::string& folder, std::vector<std::string>* dirs) {
    std::string dir = AbsolutePath(folder.empty() ? std::string(".") : folder);
    for (std::size_t level = 0; level < kMaxJournalDepth; ++level) {
        if (std::find(dirs->begin(), dirs->end(), dir) == dirs->end()) dirs->push_back(dir);
        const std::string parent = PathRemoveFileSpec(dir);
        if (parent.empty() || parent == dir) break;
        dir = parent;
    }
}

// Recovers the journals of this machine's writers in `dirs` (RecoverJournal); the writers
// of those that stay.
std::vector<std::string> RecoverJournalsIn(const std::vector<std::string>& dirs, const FolderLocks* held) {
    std::vector<std::string> staying;
    for (const std::string& dir : dirs) {
        std::vector<std::pair<std::string, WriterFileInfo>> journals;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* entry = ::readdir(d)) {
                auto info = ParseWriterFileName(entry->d_name);
                if (info && info->kind == WriterFile::kJournal && IsThisMachines(*info))
                    journals.emplace_back(entry->d_name, std::move(*info));
            }
            ::closedir(d);
        }
        for (const auto& [name, info] : journals)
            if (RecoverJournal(dir, name, info, held)) staying.push_back(info.writer);
    }
    return staying;
}

}  // namespace

std::optional<FileIdentity> FileIdentityOf(const std::string& path) {
    struct stat st;
    if (WhatIsAt(path, &st) != At::kFile) return std::nullopt;
    return IdentityOf(path, st);
}

std::string EncodeCommitPlan(const CommitPlan& plan) {
    std::string out(kHeader);
    out += "\nwriter";
    AppendField(out, plan.writer);
    for (const CommitEntry& e : plan.entries) {
        out += e.newFile ? "\nput" : "\ndrop";
        AppendField(out, e.target);
        if (e.newFile) AppendField(out, e.temporary);
        AppendField(out, e.older);
        if (e.newFile) AppendField(out, EncodeIdentity(e.newFile));
        AppendField(out, EncodeIdentity(e.olderFile));
    }
    out += '\n';
    out += "sum " + HashHex(out) + "\n";
    if (plan.placed) out += kPlacedLine;
    return out;
}

bool IsJournalTargetPath(std::string_view path) {
    if (path.empty() || path.size() > kMaxTargetBytes) return false;
    std::size_t components = 0, start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view part = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (!IsPlainName(part) || ++components > kMaxJournalDepth) return false;
        if (slash == std::string_view::npos) return !ParseWriterFileName(part);
        start = slash + 1;
    }
}

std::optional<CommitPlan> ParseCommitPlan(std::string_view bytes, std::string_view writer) {
    if (bytes.size() > kMaxJournalBytes) return std::nullopt;
    // The sum line ends the journal and covers every byte before it; no line before it
    // starts with "sum" (fields hold no line end). Behind it only the mark counts: a power
    // cut while it is appended leaves part of it, or whatever the disk held there, which
    // marks nothing. What lies at the names tells how far such a commit came.
    const std::size_t sumAt = bytes.find(kSumLineStart);
    if (sumAt == std::string_view::npos) return std::nullopt;
    const std::size_t sumEnd = bytes.find('\n', sumAt + 1);
    if (sumEnd == std::string_view::npos) return std::nullopt;
    const std::string_view sumLine = bytes.substr(sumAt + 1, sumEnd - sumAt - 1);
    if (sumLine != "sum " + HashHex(bytes.substr(0, sumAt + 1))) return std::nullopt;
    const bool placed = bytes.substr(sumEnd + 1) == kPlacedLine;

    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= sumAt;) {
        const std::size_t end = bytes.find('\n', start);
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines.size() > 2 + kMaxJournalEntries) return std::nullopt;
    const bool earlier = lines[0] == kEarlierHeader;
    if (!earlier && lines[0] != kHeader) return std::nullopt;
    CommitPlan plan;
    plan.placed = placed;
    const auto head = Split(lines[1], ' ');
    if (head.size() != 2 || head[0] != "writer") return std::nullopt;
    const auto decodedWriter = DecodeField(head[1]);
    if (!decodedWriter || *decodedWriter != writer) return std::nullopt;
    plan.writer = *decodedWriter;

    std::set<std::string> names;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        // put: target, new file, older file, then the identities; drop: target, older file,
        // identity. The earlier format gives one identity as two numbers: the new file's, or
        // the dropped target's.
        const auto f = Split(lines[i], ' ');
        const bool put = f[0] == "put";
        const std::size_t nameCount = put ? 3 : 2;
        if (!put && f[0] != "drop") return std::nullopt;
        if (f.size() != 1 + nameCount + (earlier ? 2 : put ? 2 : 1)) return std::nullopt;
        std::optional<std::string> fields[3];
        for (std::size_t k = 0; k < nameCount; ++k)
            if (!(fields[k] = DecodeField(f[k + 1]))) return std::nullopt;
        CommitEntry e;
        e.target = *fields[0];
        if (put) e.temporary = *fields[1];
        e.older = *fields[put ? 2 : 1];
        if (!IsJournalTargetPath(e.target) || !IsWritersFile(e.older, WriterFile::kOlder, writer) ||
            (put && !IsWritersFile(e.temporary, WriterFile::kTemporary, writer)))
            return std::nullopt;
        if (earlier) {
            FileIdentity id;
            if (!ParseNumber(f[nameCount + 1], &id.size) || !ParseNumber(f[nameCount + 2], &id.modified))
                return std::nullopt;
            (put ? e.newFile : e.olderFile) = id;
            e.olderRecorded = !put;
        } else {
            if (put && !ParseIdentity(f[nameCount + 1], false, &e.newFile)) return std::nullopt;
            if (!ParseIdentity(f.back(), put, &e.olderFile)) return std::nullopt;
        }
        // The same target twice, or one file named for two, would make the plan ambiguous.
        const std::string dir(PathRemoveFileSpec(e.target));
        for (const std::string* name : {&e.target, &e.older, &e.temporary}) {
            if (name->empty()) continue;
            const std::string key = name == &e.target ? *name : PathAppend(dir, *name);
            if (!names.insert(key).second) return std::nullopt;
        }
        plan.entries.push_back(std::move(e));
    }
    return plan;
}

CommitResult CarryOutCommit(const std::string& folder, const CommitPlan& plan, std::string* error, int journalFd) {
    std::string why;
    // Whichever way the commit went, a stranger at a hidden name stops it where it stands.
    if (StrangerAtHiddenName(folder, plan, &why)) {
        if (error) *error = why;
        return CommitResult::kStuck;
    }
    std::size_t done = plan.entries.size();
    if (!plan.placed && !NewSetStands(folder, plan))
        for (done = 0; done < plan.entries.size() && Forward(folder, plan.entries[done], &why);)
            ++done;
    if (done == plan.entries.size()) {
        FlushTargetFolders(folder, plan);
        if (!plan.placed) MarkPlaced(journalFd);
        for (const CommitEntry& e : plan.entries) {
            // An older file of an earlier journal, unknown here, is left for the stale files'
            // rule (FinishInterruptedWrites).
            const std::string older = PathsOf(folder, e).older;
            if (e.olderRecorded && e.olderFile && IsFileOf(older, *e.olderFile) && ::unlink(older.c_str()) == 0)
                Step();
        }
        FlushTargetFolders(folder, plan);
        if (!StrangerAtHiddenName(folder, plan, &why)) return CommitResult::kNewSet;
        if (error) *error = why;
        return CommitResult::kStuck;
    }
    // Every entry is looked at on the way back, also those the way forward did not reach: a
    // process killed on its way back leaves them anywhere.
    bool whole = true;
    for (std::size_t i = plan.entries.size(); i-- > 0;) {
        std::string undo;
        if (!Back(folder, plan.entries[i], &undo)) {
            whole = false;
            why += "; " + undo;
        }
    }
    FlushTargetFolders(folder, plan);
    // A file that changed while it was moved may lie at a hidden name now.
    if (std::string stranger; StrangerAtHiddenName(folder, plan, &stranger)) {
        whole = false;
        why += "; " + stranger;
    }
    if (error) *error = why;
    return whole ? CommitResult::kOldSet : CommitResult::kStuck;
}

CommitResult CommitWithJournal(const std::vector<CommitPart>& parts, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return CommitResult::kOldSet;
    };
    if (parts.empty()) return CommitResult::kNewSet;
    std::vector<std::string> targets, dirs;
    for (const CommitPart& part : parts) {
        targets.push_back(AbsolutePath(part.target));
        dirs.push_back(PathRemoveFileSpec(targets.back()));
    }
    // From here until the journal is gone, no other commit changes these folders: what is
    // found at each name now is what the journal records.
    FolderLocks locks;
    std::string why;
    if (!locks.Take(dirs, std::chrono::milliseconds(g_lockWaitMs.load()), true, &why)) return fail(why);
    // A commit that held a folder before this one and did not live to finish (killed while
    // this one waited) left its journal: it is finished first, or its half-done state would
    // be taken for the older set here, and its own older parts left hidden behind ours.
    std::vector<std::string> journalDirs;
    for (const std::string& dir : dirs)
        AddJournalFolders(dir, &journalDirs);
    RecoverJournalsIn(journalDirs, &locks);

    CommitPlan plan;
    plan.writer = ThisWriter();
    std::vector<std::string> planned;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        CommitEntry e;
        const bool put = !parts[i].temporary.empty();
        if (put) {
            e.temporary = std::string(PathFindFileName(parts[i].temporary));
            if (AbsolutePath(parts[i].temporary) != PathAppend(dirs[i], e.temporary) ||
                !IsWritersFile(e.temporary, WriterFile::kTemporary, plan.writer) ||
                !(e.newFile = FileIdentityOf(parts[i].temporary)))
                return fail(parts[i].temporary + " is not the new file of " + parts[i].target);
        }
        struct stat st;
        const At at = WhatIsAt(targets[i], &st);
        if (at == At::kOther)
            return fail(parts[i].target + " is not a file that may be " + (put ? "replaced" : "removed"));
        if (at == At::kNothing && !put) continue;  // gone already
        if (at == At::kFile) e.olderFile = IdentityOf(targets[i], st);
        // Where only the size and the time tell files apart, the new file's time is moved on
        // until it cannot be taken for the file it replaces.
        if (e.newFile && e.olderFile && e.newFile->inode == 0 && Resemble(*e.newFile, *e.olderFile)) {
            e.newFile = TimeMovedOn(parts[i].temporary, e.olderFile->modified + 2 * kTimeSlackNs);
            if (!e.newFile || Resemble(*e.newFile, *e.olderFile))
                return fail("the new " + parts[i].target + " cannot be told from the older one");
        }
        e.older = FreeName(dirs[i], WriterFile::kOlder, PathFindFileName(targets[i]), plan.writer);
        planned.push_back(targets[i]);
        plan.entries.push_back(std::move(e));
    }
    if (plan.entries.empty()) return CommitResult::kNewSet;
    const std::string folder = CommonFolder(planned);
    if (folder.empty()) return fail("the parts of " + parts[0].target + " share no folder");
    for (std::size_t i = 0; i < planned.size(); ++i) {
        plan.entries[i].target = planned[i].substr(folder == "/" ? 1 : folder.size() + 1);
        if (!IsJournalTargetPath(plan.entries[i].target))
            return fail(planned[i] + " lies too far from the other parts");
    }

    t_step = 0;
    if (CommitStepHook hook = g_hook.load()) hook(0);
    std::string journal;
    UniqueFd lock = WriteJournal(folder, PathFindFileName(planned[0]), plan, &journal);
    if (lock.get() < 0) return fail("cannot write the journal of " + parts[0].target + " in " + folder + ": " +
                                    SystemErrorText(errno));
    Step();
    const CommitResult result = CarryOutCommit(folder, plan, &why, lock.get());
    if (result == CommitResult::kStuck) {
        ReportStuck(journal, folder, plan, why);
    } else if (::unlink(journal.c_str()) == 0) {
        FlushFolder(folder);
        Step();
    }
    if (error) *error = why;
    return result;
}

void SetCommitStepHook(CommitStepHook hook) { g_hook.store(hook); }

void SetCommitLockWait(std::chrono::milliseconds wait) { g_lockWaitMs.store(wait.count()); }

std::vector<std::string> RecoverInterruptedCommits(const std::string& folder) {
    std::vector<std::string> dirs;
    AddJournalFolders(folder, &dirs);
    return RecoverJournalsIn(dirs, nullptr);
}

}  // namespace orv
