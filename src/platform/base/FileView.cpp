#include "platform/base/FileView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace orv {

namespace {

FileStamp StampOf(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

bool StampOfFile(int fd, FileStamp* stamp) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    *stamp = StampOf(st);
    return true;
}

bool StampOfPath(const std::string& path, FileStamp* stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    *stamp = StampOf(st);
    return true;
}

FileView::FileView(FileView&& other) noexcept { *this = std::move(other); }

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        fileSize_ = std::exchange(other.fileSize_, 0);
        stamp_ = std::exchange(other.stamp_, FileStamp{});
        buffer_ = std::move(other.buffer_);
        size_ = std::exchange(other.size_, 0);
        offset_ = std::exchange(other.offset_, 0);
        lastError_ = std::exchange(other.lastError_, 0);
    }
    return *this;
}

bool FileView::Open(const std::string& path) {
    Close();
    // Without a writer, opening a FIFO would wait for one: O_NONBLOCK until it is known
    // to be a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        lastError_ = errno;
    } else if (!S_ISREG(st.st_mode)) {
        lastError_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        lastError_ = errno;
    } else {
        fd_ = fd;
        fileSize_ = std::uint64_t(st.st_size);
        stamp_ = StampOf(st);
        lastError_ = 0;
        return true;
    }
    ::close(fd);
    return false;
}

void FileView::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    fileSize_ = 0;
    size_ = 0;
    offset_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool FileView::ReadAt(std::uint64_t offset, void* out, std::size_t length) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    auto* dst = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, dst + done, length - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return false;
        }
        if (n == 0) {
            lastError_ = 0;
            return false;  // the file ended (or shrank) before the window was full
        }
        done += std::size_t(n);
    }
    return true;
}

bool FileView::MapWindow(std::uint64_t offset, std::size_t length) {
    size_ = 0;
    offset_ = offset;
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    if (offset >= fileSize_) return true;
    const std::uint64_t left = fileSize_ - offset;
    const std::size_t want = left < length ? std::size_t(left) : length;
    if (buffer_.size() < want) buffer_.resize(want);
    if (!ReadAt(offset, buffer_.data(), want)) {
        if (lastError_ == 0) lastError_ = EIO;  // shorter than when it was opened
        return false;
    }
    size_ = want;
    return true;
}

std::string SystemErrorText(int error) {
    char buf[256];
    // The GNU strerror_r returns the text, which may or may not be in buf.
    const char* text = ::strerror_r(error, buf, sizeof buf);
    return text ? text : "Unknown error";
}

}  // namespace orv
