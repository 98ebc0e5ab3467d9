#include "recorder/RecorderMovieData.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"

namespace orv {

std::unique_ptr<sMP4MOVIE> ReadRecorderMovie(const std::string& moviePath) {
    auto movie = std::make_unique<sMP4MOVIE>();
    sMOVIEMAPPING& mapping = movie->mapping;
    mapping.path = DataFileOfMovie(moviePath);
    if (!mapping.file.Open(mapping.path)) return nullptr;
    mapping.size = movie->fileSize = mapping.file.FileSize();
    if (mapping.size < kBlockCountOffset) return nullptr;

    std::vector<std::uint8_t> block;
    try {
        block.resize(std::size_t(mapping.size));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!mapping.file.ReadAt(0, block.data(), block.size()) ||
        std::memcmp(block.data(), kDataTag.data(), kDataTag.size()) != 0)
        return nullptr;
    mapping.file.Close();

    std::memcpy(movie->header.data(), block.data() + kBlockHeaderOffset, kBlockHeaderSize);
    WalkRawRecords(block, [&](std::int32_t, RawRecord record) {
        RawRecordBytes& r = movie->records.emplace_back();
        std::memcpy(r.data(), record.data(), r.size());
    });
    movie->recordCount = std::uint32_t(movie->records.size());
    return movie;
}

namespace {

// Writes through a buffer to a file descriptor; the first failure sticks.
class BlockFileWriter {
public:
    explicit BlockFileWriter(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }

    void Put(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + size);
        if (buffer_.size() >= kBufferSize) Flush();
    }
    void PutBe(std::uint32_t value, int bytes) {
        std::uint8_t b[4];
        for (int i = 0; i < bytes; ++i)
            b[i] = std::uint8_t(value >> (8 * (bytes - 1 - i)));
        Put(b, std::size_t(bytes));
    }
    // Writes what is buffered and forces it to the medium; false when anything failed.
    bool Finish() {
        Flush();
        if (ok_ && ::fsync(fd_) != 0) ok_ = false;
        return ok_;
    }

private:
    static constexpr std::size_t kBufferSize = std::size_t(1) << 20;

    void Flush() {
        std::size_t done = 0;
        while (ok_ && done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok_ = false;
            else
                done += std::size_t(n);
        }
        buffer_.clear();
    }

    int fd_;
    bool ok_ = true;
    std::vector<std::uint8_t> buffer_;
};

// Creates a new file beside `path` under a name no other writer uses; -1 on failure.
int CreateTemporaryBeside(const std::string& path, std::string* tempPath) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = PathAppend(PathRemoveFileSpec(path),
                               std::string(".") + std::string(PathFindFileName(path)) + ".tmp" +
                                   std::to_string(::getpid()) + "-" + std::to_string(serial++));
        const int fd = ::open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool WriteRecorderDataFile(const sMP4MOVIE& movie, const std::string& outputMoviePath) {
    const std::string path = DataFileOfMovie(outputMoviePath);
    // A name without a camera letter to change maps to itself: never write over the movie.
    if (path == outputMoviePath) return false;
    std::string temp;
    const int fd = CreateTemporaryBeside(path, &temp);
    if (fd < 0) return false;

    // The count always describes the records written, whatever recordCount says.
    const std::size_t count = movie.records.size();
    const bool counted = count < kUncountedRecords;
    BlockFileWriter out(fd);
    out.Put(kDataTag.data(), kDataTag.size());
    out.Put(movie.header.data(), movie.header.size());
    out.PutBe(counted ? std::uint32_t(count) : kUncountedRecords, 2);
    for (const RawRecordBytes& r : movie.records)
        out.Put(r.data(), r.size());
    out.Put(kEndTag.data(), kEndTag.size());
    if (!counted) out.PutBe(std::uint32_t(count), 4);

    bool ok = out.Finish();
    ok = ::close(fd) == 0 && ok;
    ok = ok && FileOps().SetHidden(temp, true) && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace orv
