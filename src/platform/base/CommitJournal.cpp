#include "platform/base/CommitJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <limits>
#include <set>

#include "platform/base/FileOps.h"
#include "platform/base/FileView.h"
#include "platform/base/PathUtil.h"
#include "platform/base/UniqueFd.h"
#include "platform/base/WriterName.h"

namespace orv {

namespace {

constexpr std::string_view kHeader = "orvanta5 commit 2";
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxTargetBytes = 1024;
// A FAT file system keeps modification times to two seconds.
constexpr std::int64_t kTimeSlackNs = 2'000'000'000;

std::atomic<CommitStepHook> g_hook{nullptr};
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

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space == std::string_view::npos ? space : space - start));
        if (space == std::string_view::npos) return fields;
        start = space + 1;
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

// Whether the file at `path` is the one the entry describes (the new file, or the target
// that goes), as far as size and time tell.
bool IsTheEntrysFile(const std::string& path, const CommitEntry& entry) {
    struct stat st;
    if (WhatIsAt(path, &st) != At::kFile || std::uint64_t(st.st_size) != entry.size) return false;
    const __int128 diff = __int128(ModifiedNs(st)) - entry.modified;
    return diff <= kTimeSlackNs && diff >= -kTimeSlackNs;
}

bool Move(const std::string& from, const std::string& to) {
    if (!FileOps().MoveNoReplace(from, to)) return false;
    Step();
    return true;
}

bool Fail(std::string* why, std::string text) {
    if (why && why->empty()) *why = std::move(text);
    return false;
}

// One entry taken forward: the older target aside, the new file in its place. Steps done
// before are skipped.
bool Forward(const std::string& folder, const CommitEntry& entry, std::string* why) {
    const EntryPaths p = PathsOf(folder, entry);
    if (!FoldersBelowAreReal(folder, entry.target)) return Fail(why, p.target + ": a folder on its way is a link");
    if (entry.temporary.empty()) {
        const At at = WhatIsAt(p.target);
        if (at == At::kNothing) return true;
        if (at == At::kOther) return Fail(why, p.target + " is not a file that may be removed");
        // A file that is not the one planned to go came later (the commit may have run to its
        // end before): it is not the commit's to remove.
        if (WhatIsAt(p.older) != At::kNothing || !IsTheEntrysFile(p.target, entry)) return true;
        return Move(p.target, p.older) ||
               Fail(why, "cannot move " + p.target + " aside: " + SystemErrorText(errno));
    }
    if (!IsTheEntrysFile(p.temporary, entry)) {
        if (IsTheEntrysFile(p.target, entry)) return true;
        return Fail(why, "the new " + p.target + " is gone");
    }
    const At at = WhatIsAt(p.target);
    if (at == At::kOther) return Fail(why, p.target + " is not a file that may be replaced");
    if (at == At::kFile) {
        if (WhatIsAt(p.older) != At::kNothing) return Fail(why, p.older + " is in the way");
        if (!Move(p.target, p.older))
            return Fail(why, "cannot move " + p.target + " aside: " + SystemErrorText(errno));
    }
    if (!Move(p.temporary, p.target))
        return Fail(why, "cannot put " + p.target + " in place: " + SystemErrorText(errno));
    return true;
}

// One entry taken back: the new file to its temporary name, the older one to its own name.
bool Back(const std::string& folder, const CommitEntry& entry, std::string* why) {
    const EntryPaths p = PathsOf(folder, entry);
    if (!FoldersBelowAreReal(folder, entry.target)) return Fail(why, p.target + ": a folder on its way is a link");
    if (!entry.temporary.empty() && WhatIsAt(p.temporary) == At::kNothing && IsTheEntrysFile(p.target, entry) &&
        !Move(p.target, p.temporary))
        return Fail(why, "cannot take back " + p.target + ": " + SystemErrorText(errno));
    if (WhatIsAt(p.older) != At::kFile) return true;
    if (WhatIsAt(p.target) != At::kNothing) return Fail(why, "the older file stays as " + p.older);
    return Move(p.older, p.target) ||
           Fail(why, "cannot take back " + p.target + ", the older file stays as " + p.older + ": " +
                         SystemErrorText(errno));
}

void FlushFolder(const std::string& dir) {
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

// The renames reach the disk before anything is removed: a power cut must not leave the
// older file removed and the new one still under its temporary name.
void FlushTargetFolders(const std::string& folder, const CommitPlan& plan) {
    std::set<std::string> dirs;
    for (const CommitEntry& e : plan.entries)
        dirs.insert(PathRemoveFileSpec(PathAppend(folder, e.target)));
    for (const std::string& dir : dirs)
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

// Whether a journal found in `dir` stays (true) or was carried out and removed.
bool RecoverJournal(const std::string& dir, const std::string& name, const WriterFileInfo& info) {
    const std::string path = PathAppend(dir, name);
    if (info.writer != ThisWriter()) {
        struct stat at;
        if (::lstat(path.c_str(), &at) != 0) return errno != ENOENT;
        if (!WriterIsGone(info, at.st_mtime)) return true;
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0) return errno != ENOENT;
    // A writer holds its journal locked while it carries it out, and removes it when done.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd.get(), &st) != 0) return true;
    if (st.st_nlink == 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || std::uint64_t(st.st_size) > kMaxJournalBytes) return true;
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
    if (!plan) return true;
    t_step = 0;
    std::string why;
    if (CarryOutCommit(dir, *plan, &why) == CommitResult::kStuck) return true;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return true;
    FlushFolder(dir);
    return false;
}

}  // namespace

std::string EncodeCommitPlan(const CommitPlan& plan) {
    std::string out(kHeader);
    out += "\nwriter";
    AppendField(out, plan.writer);
    for (const CommitEntry& e : plan.entries) {
        out += e.temporary.empty() ? "\ndrop" : "\nput";
        AppendField(out, e.target);
        if (!e.temporary.empty()) AppendField(out, e.temporary);
        AppendField(out, e.older);
        AppendField(out, std::to_string(e.size));
        AppendField(out, std::to_string(e.modified));
    }
    out += '\n';
    return out + "sum " + HashHex(out) + "\n";
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
    if (bytes.size() > kMaxJournalBytes || bytes.empty() || bytes.back() != '\n') return std::nullopt;
    // The sum line is the last one, and covers every byte before it.
    const std::size_t sumAt = bytes.rfind('\n', bytes.size() - 2);
    if (sumAt == std::string_view::npos) return std::nullopt;
    const std::string_view sumLine = bytes.substr(sumAt + 1, bytes.size() - sumAt - 2);
    if (sumLine != "sum " + HashHex(bytes.substr(0, sumAt + 1))) return std::nullopt;

    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= sumAt;) {
        const std::size_t end = bytes.find('\n', start);
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines.size() > 2 + kMaxJournalEntries || lines[0] != kHeader) return std::nullopt;
    CommitPlan plan;
    const auto head = SplitFields(lines[1]);
    if (head.size() != 2 || head[0] != "writer") return std::nullopt;
    const auto decodedWriter = DecodeField(head[1]);
    if (!decodedWriter || *decodedWriter != writer) return std::nullopt;
    plan.writer = *decodedWriter;

    std::set<std::string> names;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto f = SplitFields(lines[i]);
        const bool put = f[0] == "put";
        if (!(put ? f.size() == 6 : f[0] == "drop" && f.size() == 5)) return std::nullopt;
        std::optional<std::string> fields[3];
        for (std::size_t k = 0; k < (put ? 3u : 2u); ++k)
            if (!(fields[k] = DecodeField(f[k + 1]))) return std::nullopt;
        CommitEntry e;
        e.target = *fields[0];
        if (put) e.temporary = *fields[1];
        e.older = *fields[put ? 2 : 1];
        if (!IsJournalTargetPath(e.target) || !IsWritersFile(e.older, WriterFile::kOlder, writer) ||
            (put && !IsWritersFile(e.temporary, WriterFile::kTemporary, writer)))
            return std::nullopt;
        if (!ParseNumber(f[f.size() - 2], &e.size) || !ParseNumber(f[f.size() - 1], &e.modified)) return std::nullopt;
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

CommitResult CarryOutCommit(const std::string& folder, const CommitPlan& plan, std::string* error) {
    std::string why;
    std::size_t done = 0;
    while (done < plan.entries.size() && Forward(folder, plan.entries[done], &why))
        ++done;
    if (done == plan.entries.size()) {
        FlushTargetFolders(folder, plan);
        for (const CommitEntry& e : plan.entries) {
            const std::string older = PathsOf(folder, e).older;
            if (WhatIsAt(older) == At::kFile && ::unlink(older.c_str()) == 0) Step();
        }
        FlushTargetFolders(folder, plan);
        return CommitResult::kNewSet;
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
    if (error) *error = why;
    return whole ? CommitResult::kOldSet : CommitResult::kStuck;
}

CommitResult CommitWithJournal(const std::vector<CommitPart>& parts, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return CommitResult::kOldSet;
    };
    if (parts.empty()) return CommitResult::kNewSet;
    std::vector<std::string> targets;
    for (const CommitPart& part : parts)
        targets.push_back(AbsolutePath(part.target));
    const std::string folder = CommonFolder(targets);
    if (folder.empty()) return fail("the parts of " + parts[0].target + " share no folder");

    CommitPlan plan;
    plan.writer = ThisWriter();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        CommitEntry e;
        e.target = targets[i].substr(folder == "/" ? 1 : folder.size() + 1);
        if (!IsJournalTargetPath(e.target)) return fail(parts[i].target + " lies too far from the other parts");
        const std::string dir = PathRemoveFileSpec(targets[i]);
        struct stat st;
        if (!parts[i].temporary.empty()) {
            e.temporary = std::string(PathFindFileName(parts[i].temporary));
            if (AbsolutePath(parts[i].temporary) != PathAppend(dir, e.temporary) ||
                !IsWritersFile(e.temporary, WriterFile::kTemporary, plan.writer) ||
                WhatIsAt(parts[i].temporary, &st) != At::kFile)
                return fail(parts[i].temporary + " is not the new file of " + parts[i].target);
        } else if (const At at = WhatIsAt(targets[i], &st); at == At::kNothing) {
            continue;  // gone already
        } else if (at == At::kOther) {
            return fail(parts[i].target + " is not a file that may be removed");
        }
        e.size = std::uint64_t(st.st_size);
        e.modified = ModifiedNs(st);
        e.older = FreeName(dir, WriterFile::kOlder, PathFindFileName(targets[i]), plan.writer);
        plan.entries.push_back(std::move(e));
    }
    if (plan.entries.empty()) return CommitResult::kNewSet;

    t_step = 0;
    if (CommitStepHook hook = g_hook.load()) hook(0);
    std::string journal;
    UniqueFd lock = WriteJournal(folder, PathFindFileName(targets[0]), plan, &journal);
    if (lock.get() < 0) return fail("cannot write the journal of " + parts[0].target + " in " + folder + ": " +
                                    SystemErrorText(errno));
    Step();
    const CommitResult result = CarryOutCommit(folder, plan, error);
    if (result != CommitResult::kStuck && ::unlink(journal.c_str()) == 0) {
        FlushFolder(folder);
        Step();
    }
    return result;
}

void SetCommitStepHook(CommitStepHook hook) { g_hook.store(hook); }

std::vector<std::string> RecoverInterruptedCommits(const std::string& folder) {
    std::vector<std::string> staying;
    std::string dir = AbsolutePath(folder.empty() ? std::string(".") : folder);
    for (std::size_t level = 0; level < kMaxJournalDepth; ++level) {
        if (DIR* d = ::opendir(dir.c_str())) {
            std::vector<std::pair<std::string, WriterFileInfo>> journals;
            while (const dirent* entry = ::readdir(d)) {
                auto info = ParseWriterFileName(entry->d_name);
                if (info && info->kind == WriterFile::kJournal && IsThisMachines(*info))
                    journals.emplace_back(entry->d_name, std::move(*info));
            }
            ::closedir(d);
            for (const auto& [name, info] : journals)
                if (RecoverJournal(dir, name, info)) staying.push_back(info.writer);
        }
        const std::string parent = PathRemoveFileSpec(dir);
        if (parent.empty() || parent == dir) break;
        dir = parent;
    }
    return staying;
}

}  // namespace orv
