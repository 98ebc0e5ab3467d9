#include "platform/base/PathUtil.h"

#include <sys/stat.h>

#include <algorithm>

namespace orv {

namespace {

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Length in bytes of the character that starts at s[i]: a lead byte and the
// continuation bytes it announces, as far as they are there.
std::size_t CharBytes(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t want = 1;
    if ((c & 0xE0) == 0xC0) want = 2;
    else if ((c & 0xF0) == 0xE0) want = 3;
    else if ((c & 0xF8) == 0xF0) want = 4;
    std::size_t n = 1;
    while (n < want && i + n < s.size() && IsContinuationByte(static_cast<unsigned char>(s[i + n])))
        ++n;
    return n;
}

}  // namespace

std::string_view PathFindFileName(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view PathFindExtension(std::string_view path) {
    const std::string_view name = PathFindFileName(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string_view::npos ? name.substr(name.size()) : name.substr(dot);
}

std::string PathRenameExtension(std::string_view path, std::string_view ext) {
    const std::string_view old = PathFindExtension(path);
    std::string out(path.substr(0, path.size() - old.size()));
    out += ext;
    return out;
}

std::string PathRemoveFileSpec(std::string_view path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return std::string();
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string PathAppend(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

bool PathFileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool PathIsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> PathDevice(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::uint64_t(st.st_dev);
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n;
        char32_t cp;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
        else return false;
        if (i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if (!IsContinuationByte(t)) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        static const char32_t kMinForLength[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinForLength[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

std::size_t Utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); i += CharBytes(s, i)) ++n;
    return n;
}

std::size_t Utf8Offset(std::string_view s, std::size_t index) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < index && i < s.size(); ++k) i += CharBytes(s, i);
    return i;
}

std::string_view Utf8Substr(std::string_view s, std::size_t start, std::size_t count) {
    const std::size_t from = Utf8Offset(s, start);
    const std::string_view rest = s.substr(from);
    return count == std::string_view::npos ? rest : rest.substr(0, Utf8Offset(rest, count));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::size_t FindNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i)
        if (EqualsNoCase(haystack.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

}  // namespace orv
