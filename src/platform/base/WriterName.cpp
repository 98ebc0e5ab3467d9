#include "platform/base/WriterName.h"

#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <charconv>
#include <climits>
#include <cstdint>
#include <ctime>
#include <fstream>

namespace orv {

namespace {

constexpr std::string_view kProgramMark = ".orvanta5-";
constexpr std::size_t kNameBytesKept = 64;
constexpr std::size_t kPartDigits = 16;  // each of machine, boot and namespace
constexpr std::size_t kHostMarkDigits = 3 * kPartDigits;
constexpr std::string_view kUnknownBoot = "0000000000000000";

struct KindWord {
    WriterFile kind;
    std::string_view word;
};
constexpr KindWord kKindWords[] = {
    {WriterFile::kTemporary, "tmp"},
    {WriterFile::kOlder, "old"},
    {WriterFile::kJournal, "set"},
};

std::string RandomBits() {
    char bytes[16] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0) break;
        got += std::size_t(n);
    }
    // Without the kernel's randomness the address and the time still set this process apart.
    return std::string(bytes, sizeof bytes) + std::to_string(reinterpret_cast<std::uintptr_t>(&got)) +
           std::to_string(::time(nullptr)) + std::to_string(::getpid());
}

std::string FirstLine(const char* path) {
    std::string line;
    std::getline(std::ifstream(path), line);
    return line;
}

std::string MakeHostMark() {
    char name[256] = {};
    const std::string host = ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : RandomBits();
    // Two machines of one name stay apart by their machine ids, where they have them.
    std::string machineId = FirstLine("/etc/machine-id");
    if (machineId.empty()) machineId = FirstLine("/var/lib/dbus/machine-id");

    const std::string boot = FirstLine("/proc/sys/kernel/random/boot_id");

    // The pid namespace is told by the device and inode of its handle.
    std::string ns;
    struct stat st;
    if (::stat("/proc/self/ns/pid", &st) == 0)
        ns = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    else
        ns = RandomBits();

    // The parts end in a NUL each, so that no two sets of parts run together alike.
    return HashHex(host + '\0' + machineId + '\0') + (boot.size() < 32 ? std::string(kUnknownBoot) : HashHex(boot + '\0')) +
           HashHex(ns + '\0');
}

std::string_view MachineOf(std::string_view mark) { return mark.substr(0, kPartDigits); }
std::string_view BootOf(std::string_view mark) { return mark.substr(kPartDigits, kPartDigits); }

// At most `limit` bytes of `name`, not cutting a UTF-8 character (a file system that
// checks names may refuse a broken one).
std::string_view NamePrefix(std::string_view name, std::size_t limit) {
    if (name.size() <= limit) return name;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

bool AllDigits(std::string_view s) {
    if (s.empty() || s.size() > 10) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsHostMark(std::string_view s) {
    if (s.size() != kHostMarkDigits) return false;
    for (const char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

std::string HashHex(std::string_view bytes) {
    // 64-bit FNV-1a.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(kPartDigits, '0');
    for (std::size_t i = 0; i < kPartDigits; ++i)
        out[i] = kHex[(hash >> (60 - 4 * i)) & 0xF];
    return out;
}

const std::string& HostMark() {
    static const std::string mark = MakeHostMark();
    return mark;
}

std::string ThisWriter() { return HostMark() + "-" + std::to_string(::getpid()); }

std::string WriterFileName(WriterFile kind, std::string_view targetName, std::string_view writer,
                           unsigned serial) {
    std::string_view word;
    for (const KindWord& k : kKindWords)
        if (k.kind == kind) word = k.word;
    return "." + std::string(NamePrefix(targetName, kNameBytesKept)) + std::string(kProgramMark) +
           std::string(word) + "-" + std::string(writer) + "-" + std::to_string(serial);
}

unsigned NextWriterSerial() {
    static std::atomic<unsigned> counter{0};
    return counter++;
}

std::optional<WriterFileInfo> ParseWriterFileName(std::string_view name) {
    const std::size_t at = name.rfind(kProgramMark);
    if (name.empty() || name.front() != '.' || at == std::string_view::npos || at == 0) return std::nullopt;
    std::string_view tail = name.substr(at + kProgramMark.size());
    WriterFileInfo info{};
    bool known = false;
    for (const KindWord& k : kKindWords) {
        if (tail.size() > k.word.size() && tail.substr(0, k.word.size()) == k.word && tail[k.word.size()] == '-') {
            info.kind = k.kind;
            tail.remove_prefix(k.word.size() + 1);
            known = true;
        }
    }
    if (!known || tail.size() <= kHostMarkDigits || tail[kHostMarkDigits] != '-') return std::nullopt;
    info.mark = std::string(tail.substr(0, kHostMarkDigits));
    tail.remove_prefix(kHostMarkDigits + 1);
    const std::size_t dash = tail.find('-');
    if (!IsHostMark(info.mark) || dash == std::string_view::npos || !AllDigits(tail.substr(0, dash)) ||
        !AllDigits(tail.substr(dash + 1)))
        return std::nullopt;
    long pid = 0;
    const auto [end, ec] = std::from_chars(tail.data(), tail.data() + dash, pid);
    if (ec != std::errc() || pid <= 0 || pid > INT_MAX) return std::nullopt;
    unsigned long serial = 0;
    if (std::from_chars(tail.data() + dash + 1, tail.data() + tail.size(), serial).ec != std::errc() ||
        serial > UINT_MAX)
        return std::nullopt;
    info.pid = pid_t(pid);
    info.writer = info.mark + "-" + std::to_string(pid);
    return info;
}

bool IsThisMachines(const WriterFileInfo& info) { return MachineOf(info.mark) == MachineOf(HostMark()); }

std::optional<std::time_t> BootTime() {
    // CLOCK_BOOTTIME counts from the boot, suspended time included; the wall clock now less
    // it is when the boot began, on the clock that stamps files, even after the clock is set.
    timespec wall{}, sinceBoot{};
    if (::clock_gettime(CLOCK_REALTIME, &wall) != 0 || ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
        return std::nullopt;
    return wall.tv_sec - sinceBoot.tv_sec - (wall.tv_nsec < sinceBoot.tv_nsec ? 1 : 0);
}

bool IsSharedFileSystem(const std::string& path) {
    struct statfs fs;
    if (::statfs(path.empty() ? "." : path.c_str(), &fs) != 0) return true;
    // Kinds that <linux/magic.h> does not name.
    constexpr unsigned long kGfs2 = 0x01161970, kLustre = 0x0BD00BD0, kOrangeFs = 0x20030528, kGpfs = 0x47504653,
                            kBeeGfs = 0x19830326;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
        case FUSE_SUPER_MAGIC:
        case V9FS_MAGIC:
        case AFS_SUPER_MAGIC:
        case AFS_FS_MAGIC:
        case CEPH_SUPER_MAGIC:
        case CODA_SUPER_MAGIC:
        case NCP_SUPER_MAGIC:
        case OCFS2_SUPER_MAGIC:
        case kGfs2:
        case kLustre:
        case kOrangeFs:
        case kGpfs:
        case kBeeGfs:
            return true;
        default:
            return false;
    }
}

bool WriterIsGone(const WriterFileInfo& info, std::time_t modified, bool sharedFolder,
                  std::optional<std::time_t> bootTime) {
    if (!IsThisMachines(info)) return false;
    // A reboot ended every process of the boots before it; but a clone of this machine runs
    // under another boot too, and where it can reach the folder only a file last written
    // before this boot began is taken.
    const std::string_view boot = BootOf(info.mark), thisBoot = BootOf(HostMark());
    if (boot != thisBoot && boot != kUnknownBoot && thisBoot != kUnknownBoot)
        return !sharedFolder || (bootTime && modified < *bootTime - kBootMarginSeconds);
    // A process of another user answers EPERM: it runs.
    return info.mark == HostMark() && info.pid != ::getpid() && ::kill(info.pid, 0) != 0 && errno == ESRCH;
}

}  // namespace orv
