// A profile (INI) file read and written one key at a time, with the rules of the
// Windows profile functions: section and key names match without regard to ASCII case,
// names and values are trimmed of blanks, a value in matching quotes loses the quotes,
// and every line the program does not change (comments, blank lines, other sections
// and keys) stays as it was, in its order.
//
// Files are read as UTF-8 (a UTF-8 byte order mark is kept) or as UTF-16 LE/BE with a
// byte order mark, as Windows tools write them; they are always written as UTF-8.
// A UTF-16 file is rewritten as UTF-8 without a mark. The line ending of the file
// (CR LF or LF) is kept; a new file gets LF.
//
// Writing replaces the file atomically: the new text goes to a temporary file in the
// same folder, which is flushed to the disk and then renamed over the old one, so a
// reader sees the old or the new file, and a failed write leaves the old file as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

class ProfileFile {
public:
    // Largest file that is read (bytes); a settings file is a few hundred bytes, and a
    // file beyond this is taken as unreadable rather than held in memory.
    static constexpr std::size_t kMaxFileBytes = 4u << 20;

    // An empty profile (a file that does not exist yet).
    ProfileFile() = default;

    // Parses the bytes of a file in any of the encodings above.
    static ProfileFile Parse(std::string_view bytes);

    // Reads a file, through its symbolic links when it is one. A missing file (or a link to
    // a missing file) gives an empty profile; false when the file exists but cannot be read
    // (no permission, larger than kMaxFileBytes) or is not a regular file: a FIFO, socket,
    // device or folder, also at the end of a link, is not opened at all. A link in a folder
    // where anyone may write and the sticky bit is set (as /tmp) is followed only when it
    // belongs to the user or to the folder's owner, as the kernel follows links there.
    bool Load(const std::string& path);

    // The value of the first key `key` in the first section `section`; nullopt when
    // either is absent.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces the value of the key in place (the key's spelling and the blanks around
    // '=' stay), or adds the key after the last key of its section, or adds the section
    // at the end. A value with blanks at either end, or one in matching quotes, is written
    // in double quotes so that it reads back unchanged. False, changing nothing, for
    // names or values that a line cannot hold: an empty name, a line break anywhere, ']'
    // in a section name, '=' in a key name, a key name beginning with ';', '#' or '[', or
    // names with blanks at either end.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The file's text as it would be written.
    std::string Serialize() const;

    // Writes the text to `path` atomically (see above). A new file is made with mode
    // 0666 less the umask; an existing file keeps its mode and, where the user may give it,
    // its group. A symbolic link stays: the file at its end is replaced (its temporary file
    // beside that file), or made when the link leads to nothing; links are followed as Load
    // follows them. Only a regular file of this user whose mode lets its owner write it is
    // replaced: false, leaving it alone, for another user's file, a read-only one (also for
    // root), a FIFO, socket, device or folder, at the path or at the end of its links.
    bool Save(const std::string& path) const;

private:
    struct Line {
        std::string text;    // the line as it stands in the file, without its line ending
        bool isSection = false;
        bool isKey = false;
        std::string name;    // section or key name, trimmed
        std::string value;   // key value, trimmed and unquoted
    };

    static Line ParseLine(std::string text);
    // Index of the section's header line, or npos.
    std::size_t FindSection(std::string_view section) const;

    std::vector<Line> lines_;
    bool utf8Bom_ = false;
    bool crlf_ = false;
};

// One key of a profile file: the value, or false when the file, the section or the key
// is missing or the file cannot be read.
bool ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                       std::string* value);

// Loads, sets one key and saves atomically. Writes within this process are serialised,
// so two threads writing different keys both keep theirs. False when the existing file
// cannot be read or may not be replaced (it is then left alone, see Save), the names or
// value cannot be stored, or the write fails.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace orv
