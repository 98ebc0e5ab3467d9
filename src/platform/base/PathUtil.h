// Path and name helpers. Paths are UTF-8 with '/' separators. Where the recorder's
// rules count characters of a name, the helpers below count UTF-8 code points, so a
// folder with a non-ASCII name does not shift the positions inside an ASCII file name;
// a byte that is not valid UTF-8 counts as one character and is kept as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

// The file name: everything behind the last '/'.
std::string_view PathFindFileName(std::string_view path);

// The extension of the file name, point included ("" when the name has no point).
std::string_view PathFindExtension(std::string_view path);

// The path with its extension replaced by `ext` (which includes the point).
std::string PathRenameExtension(std::string_view path, std::string_view ext);

// The path without its last component and the separator before it ("/" stays "/").
std::string PathRemoveFileSpec(std::string_view path);

// "a" + "/" + "b", without doubling a separator that `a` ends with.
std::string PathAppend(std::string_view dir, std::string_view name);

// Whether a file or folder exists at the path.
bool PathFileExists(const std::string& path);
bool PathIsDirectory(const std::string& path);

// The file system the path lies on (its device number, links followed); none when the path
// is not there. A mount point that lost its mount lies on the file system below it.
std::optional<std::uint64_t> PathDevice(const std::string& path);

// Whether `s` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view s);

// Number of characters (UTF-8 code points) in `s`.
std::size_t Utf8Length(std::string_view s);

// Byte offset of character `index` (clamped to the end of `s`).
std::size_t Utf8Offset(std::string_view s, std::size_t index);

// Up to `count` characters of `s` starting at character `start`.
std::string_view Utf8Substr(std::string_view s, std::size_t start,
                            std::size_t count = std::string_view::npos);

// ASCII case folding, as the recorder's names and folders are ASCII.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// Byte position of the first occurrence of `needle` ignoring case, or npos.
std::size_t FindNoCase(std::string_view haystack, std::string_view needle);

}  // namespace orv
