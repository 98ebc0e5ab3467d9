#include "platform/ini/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>

#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementFile.h"
#include "platform/base/UniqueFd.h"

namespace orv {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool InMatchingQuotes(std::string_view s) {
    return s.size() >= 2 && IsQuote(s.front()) && s.back() == s.front();
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool HasEdgeBlanks(std::string_view s) { return Trim(s).size() != s.size(); }

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units (byte order given) to UTF-8. A surrogate without its partner becomes
// U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) -> char32_t {
        const unsigned char a = static_cast<unsigned char>(bytes[2 * i]);
        const unsigned char b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? char32_t((a << 8) | b) : char32_t((b << 8) | a);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t(0xFFFD) : u);
    }
    return out;
}

// Where the file's text lives: the path itself or, when it is a symbolic link (the user's
// own choice of where the settings are kept), the end of its chain of links; and what lies
// there, seen without following a link.
struct ProfileTarget {
    std::string path;
    TargetKind kind = TargetKind::kRefused;
};

// Whether the link `link` (seen as `st`) may be followed. The chain is walked here, not by
// the kernel, so its guard against links planted in shared folders does not apply by
// itself: in a folder where anyone may write and only an entry's owner may remove it (as
// /tmp), a link is followed only when it is the user's or the folder owner's.
bool MayFollowLink(const std::string& link, const struct stat& st) {
    if (st.st_uid == ::geteuid()) return true;
    const std::string folder = PathRemoveFileSpec(link);
    struct stat dir;
    if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return false;
    const bool sharedSticky = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !sharedSticky || st.st_uid == dir.st_uid;
}

ProfileTarget ResolveProfileTarget(const std::string& path) {
    // As many links as the system follows in one path before it gives up on a loop.
    constexpr int kMaxLinks = 40;
    std::string at = path;
    for (int link = 0; link <= kMaxLinks; ++link) {
        struct stat st;
        if (::lstat(at.c_str(), &st) != 0) return {at, errno == ENOENT ? TargetKind::kMissing : TargetKind::kRefused};
        if (!S_ISLNK(st.st_mode)) return {at, S_ISREG(st.st_mode) ? TargetKind::kRegular : TargetKind::kRefused};
        if (!MayFollowLink(at, st)) return {at, TargetKind::kRefused};
        std::string target(std::size_t(PATH_MAX), '\0');
        const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n <= 0 || std::size_t(n) >= target.size()) return {at, TargetKind::kRefused};
        target.resize(std::size_t(n));
        at = target.front() == '/' ? target : PathAppend(PathRemoveFileSpec(at), target);
    }
    return {at, TargetKind::kRefused};
}

bool ReplaceFileAtomically(const std::string& target, std::string_view data) {
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 ? !S_ISREG(old.st_mode) : errno != ENOENT) return false;
    const bool existed = S_ISREG(old.st_mode);
    // A rename would replace any file of a folder the user may write in, and make it the
    // user's: another user's file stays theirs, and a file its owner made read-only stays as
    // it is (judged by the mode, so also when the program runs as root).
    if (existed && (old.st_uid != ::geteuid() || !(old.st_mode & S_IWUSR))) return false;
    ReplacementFile file(target);
    if (!file.IsOpen()) return false;
    // The old group and mode stay, so that whoever could read the settings still can (the
    // group first: a change of group may clear the set-id bits). Either may be refused (a
    // FAT card has neither, a group the user is no member of); that is no reason to fail the
    // write.
    if (existed) {
        [[maybe_unused]] const int regrouped = ::fchown(file.Fd(), uid_t(-1), old.st_gid);
        (void)::fchmod(file.Fd(), old.st_mode & 07777);
    }
    return file.Write(data.data(), data.size()) && file.Commit();
}

}  // namespace

ProfileFile::Line ProfileFile::ParseLine(std::string text) {
    Line line;
    const std::string_view t = Trim(text);
    if (!t.empty() && t.front() == '[') {
        const auto close = t.find(']');
        if (close != std::string_view::npos) {
            line.isSection = true;
            line.name = Trim(t.substr(1, close - 1));
        }
    } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
        const auto eq = t.find('=');
        if (eq != std::string_view::npos && !Trim(t.substr(0, eq)).empty()) {
            line.isKey = true;
            line.name = Trim(t.substr(0, eq));
            std::string_view v = Trim(t.substr(eq + 1));
            if (InMatchingQuotes(v)) v = v.substr(1, v.size() - 2);
            line.value = v;
        }
    }
    line.text = std::move(text);
    return line;
}

ProfileFile ProfileFile::Parse(std::string_view bytes) {
    ProfileFile file;
    std::string decoded;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        decoded = Utf16ToUtf8(bytes.substr(2), false);
    } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        decoded = Utf16ToUtf8(bytes.substr(2), true);
    } else if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        file.utf8Bom_ = true;
        decoded = bytes.substr(kUtf8Bom.size());
    } else {
        decoded = bytes;
    }

    std::string_view rest = decoded;
    bool firstEnding = true;
    while (!rest.empty()) {
        const auto nl = rest.find('\n');
        std::string_view text = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        const bool cr = !text.empty() && text.back() == '\r';
        if (cr) text.remove_suffix(1);
        if (firstEnding && nl != std::string_view::npos) {
            file.crlf_ = cr;
            firstEnding = false;
        }
        file.lines_.push_back(ParseLine(std::string(text)));
    }
    return file;
}

bool ProfileFile::Load(const std::string& path) {
    // Opening a FIFO would wait for a writer, a device may do anything: only a regular
    // file is opened, at the end of the links, and O_NONBLOCK covers one swapped in after
    // the check.
    const ProfileTarget target = ResolveProfileTarget(path);
    if (target.kind == TargetKind::kMissing) {
        *this = ProfileFile();
        return true;
    }
    if (target.kind != TargetKind::kRegular) return false;
    UniqueFd fd(::open(target.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        std::uint64_t(st.st_size) > kMaxFileBytes)
        return false;
    std::string bytes;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, std::size_t(n));
        if (bytes.size() > kMaxFileBytes) return false;  // grew while being read
    }
    *this = Parse(bytes);
    return true;
}

std::size_t ProfileFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isSection && EqualsNoCase(lines_[i].name, section)) return i;
    return std::string::npos;
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) return std::nullopt;
    for (std::size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i)
        if (lines_[i].isKey && EqualsNoCase(lines_[i].name, key)) return lines_[i].value;
    return std::nullopt;
}

bool ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || HasEdgeBlanks(section) || HasEdgeBlanks(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == ';' || key.front() == '#' || key.front() == '[')
        return false;

    const std::string stored = HasEdgeBlanks(value) || InMatchingQuotes(value)
                                   ? "\"" + std::string(value) + "\""
                                   : std::string(value);
    const std::size_t header = FindSection(section);
    if (header == std::string::npos) {
        lines_.push_back(ParseLine("[" + std::string(section) + "]"));
        lines_.push_back(ParseLine(std::string(key) + "=" + stored));
        return true;
    }
    std::size_t insertAfter = header;
    for (std::size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        if (!lines_[i].isKey) continue;
        if (EqualsNoCase(lines_[i].name, key)) {
            // Only the value changes: the key's spelling and the spacing around '=' stay.
            const std::string& old = lines_[i].text;
            std::size_t keep = old.find('=') + 1;
            while (keep < old.size() && IsBlank(old[keep])) ++keep;
            lines_[i] = ParseLine(old.substr(0, keep) + stored);
            return true;
        }
        insertAfter = i;
    }
    lines_.insert(lines_.begin() + std::ptrdiff_t(insertAfter + 1),
                  ParseLine(std::string(key) + "=" + stored));
    return true;
}

std::string ProfileFile::Serialize() const {
    std::string out;
    if (utf8Bom_) out += kUtf8Bom;
    const char* ending = crlf_ ? "\r\n" : "\n";
    for (const Line& line : lines_) {
        out += line.text;
        out += ending;
    }
    return out;
}

bool ProfileFile::Save(const std::string& path) const {
    const std::string text = Serialize();
    if (path.empty() || text.size() > kMaxFileBytes) return false;
    // A link stays a link: the file at its end is replaced, beside itself.
    const ProfileTarget target = ResolveProfileTarget(path);
    return target.kind != TargetKind::kRefused && ReplaceFileAtomically(target.path, text);
}

bool ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                       std::string* value) {
    ProfileFile file;
    if (!file.Load(path)) return false;
    std::optional<std::string> found = file.Get(section, key);
    if (!found) return false;
    *value = std::move(*found);
    return true;
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    static std::mutex writeLock;
    std::lock_guard<std::mutex> lock(writeLock);
    ProfileFile file;
    return file.Load(path) && file.Set(section, key, value) && file.Save(path);
}

}  // namespace orv
