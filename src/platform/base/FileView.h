// Windowed read access to a file.
//
// Movie and data files are searched in windows of a few megabytes. A window is read
// into a buffer with pread rather than mapped: when a memory card is pulled while a
// file is read, a mapping would kill the process with SIGBUS, a read returns an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// What tells one version of a file from another: where it lies (device and inode), its size
// and when its content last changed (nanoseconds since the epoch).
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of an open file, or of the file a path names (a link followed); false when it
// cannot be read.
bool StampOfFile(int fd, FileStamp* stamp);
bool StampOfPath(const std::string& path, FileStamp* stamp);

class FileView {
public:
    FileView() = default;
    ~FileView() { Close(); }
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;
    FileView(FileView&& other) noexcept;
    FileView& operator=(FileView&& other) noexcept;

    // Opens the file for reading; false (with LastError set) when it cannot be opened
    // or is not a regular file (EISDIR for a folder, EINVAL for a FIFO, a device...).
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Size of the file when it was opened.
    std::uint64_t FileSize() const { return fileSize_; }
    // The file as it was when it was last opened (kept when it is closed).
    const FileStamp& OpenedStamp() const { return stamp_; }
    // The open file's descriptor (-1 when closed), for reads the view does not make itself;
    // it stays the view's.
    int Descriptor() const { return fd_; }

    // Reads the window [offset, offset + length), cut at the end of the file, into the
    // view's buffer. False on a read error (LastError set); a window that starts at or
    // past the end is empty and succeeds.
    bool MapWindow(std::uint64_t offset, std::size_t length);

    const std::uint8_t* Data() const { return buffer_.data(); }
    std::size_t Size() const { return size_; }
    std::uint64_t Offset() const { return offset_; }

    // Reads exactly `length` bytes at `offset` into `out`; false when the file ends
    // first or a read fails.
    bool ReadAt(std::uint64_t offset, void* out, std::size_t length);

    // errno of the last failure, 0 when none.
    int LastError() const { return lastError_; }

private:
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    FileStamp stamp_;
    std::vector<std::uint8_t> buffer_;
    std::size_t size_ = 0;
    std::uint64_t offset_ = 0;
    int lastError_ = 0;
};

// The system's message text for an errno value, in the C locale's wording.
std::string SystemErrorText(int error);

}  // namespace orv
