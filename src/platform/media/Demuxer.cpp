#include "platform/media/Demuxer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "platform/media/MediaErrors.h"
#include "platform/media/MediaTime.h"

namespace orv {

namespace {

constexpr int kIoBufferSize = 64 * 1024;
// How long opening may wait for data that does not come (a pipe nobody writes to).
constexpr std::int64_t kOpenStallMs = 5000;
// A waiting read looks at the interrupt flag this often.
constexpr int kPollMs = 50;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int Demuxer::ReadCallback(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<Demuxer*>(opaque);
    for (;;) {
        if (self->interrupted_.load()) return AVERROR_EXIT;
        const ssize_t n = ::read(self->fd_, buffer, size_t(size));
        if (n > 0) return int(n);
        if (n == 0) return AVERROR_EOF;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return AVERROR(errno);
        const std::int64_t deadline = self->stallDeadline_.load();
        if (deadline && NowMs() > deadline) return AVERROR(ETIMEDOUT);
        pollfd p{self->fd_, POLLIN, 0};
        ::poll(&p, 1, kPollMs);
    }
}

std::int64_t Demuxer::SeekCallback(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<Demuxer*>(opaque);
    if (!self->regularFile_) return -1;
    if (whence & AVSEEK_SIZE) {
        struct stat st;
        return ::fstat(self->fd_, &st) == 0 ? std::int64_t(st.st_size) : -1;
    }
    const off_t r = ::lseek(self->fd_, off_t(offset), whence & ~AVSEEK_FORCE);
    return r < 0 ? AVERROR(errno) : std::int64_t(r);
}

int Demuxer::InterruptCallback(void* opaque) {
    return static_cast<Demuxer*>(opaque)->interrupted_.load() ? 1 : 0;
}

HRESULT Demuxer::Open(const std::string& path, std::unique_ptr<Demuxer>* demuxer) {
    if (!demuxer) return E_POINTER;
    std::unique_ptr<Demuxer> d(new Demuxer);
    // Non-blocking, so that a read on a pipe can wait in poll and still be given up.
    d->fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (d->fd_ < 0) return E_FILE_NOT_FOUND;
    struct stat st;
    if (::fstat(d->fd_, &st) != 0) return E_FILE_NOT_FOUND;
    if (S_ISDIR(st.st_mode)) return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
    d->regularFile_ = S_ISREG(st.st_mode);

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return E_OUTOFMEMORY;
    d->io_ = avio_alloc_context(buffer, kIoBufferSize, 0, d.get(), &ReadCallback, nullptr, &SeekCallback);
    if (!d->io_) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    d->io_->seekable = d->regularFile_ ? AVIO_SEEKABLE_NORMAL : 0;

    AVFormatContext* fmt = avformat_alloc_context();
    if (!fmt) return E_OUTOFMEMORY;
    fmt->pb = d->io_;
    fmt->interrupt_callback.callback = &InterruptCallback;
    fmt->interrupt_callback.opaque = d.get();
    d->stallDeadline_.store(NowMs() + kOpenStallMs);
    if (avformat_open_input(&fmt, nullptr, nullptr, nullptr) < 0) return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
    d->format_ = fmt;
    if (avformat_find_stream_info(fmt, nullptr) < 0) return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
    d->stallDeadline_.store(0);

    if (fmt->start_time != AV_NOPTS_VALUE) d->startTime_ = FromAvTime(fmt->start_time);
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0) d->duration_ = FromAvTime(fmt->duration);
    d->ReadIndex(d->regularFile_ ? std::int64_t(st.st_size) : -1);
    *demuxer = std::move(d);
    return S_OK;
}

void Demuxer::ReadIndex(std::int64_t fileSize) {
    // The MP4 reader builds its whole index from the movie box before the first read.
    indexedUpFront_ = std::string_view(format_->iformat->name).find("mp4") != std::string_view::npos;
    indexedSamples_.assign(format_->nb_streams, 0);
    samplesEnd_.assign(format_->nb_streams, std::numeric_limits<std::int64_t>::max());
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* stream = format_->streams[i];
        const int count = avformat_index_get_entries_count(stream);
        indexedSamples_[i] = count;
        if (fileSize < 0) continue;
        // In decode order: from the first sample the file does not hold, nothing decodes.
        for (int k = 0; k < count; ++k) {
            const AVIndexEntry* entry = avformat_index_get_entry(stream, k);
            if (entry && entry->pos >= 0 && entry->pos + entry->size > fileSize) {
                samplesEnd_[i] = std::max<std::int64_t>(0, FromStreamTime(entry->timestamp, stream->time_base) - startTime_);
                break;
            }
        }
    }
}

int Demuxer::IndexedSamples(int stream) const {
    return stream >= 0 && std::size_t(stream) < indexedSamples_.size() ? indexedSamples_[std::size_t(stream)] : 0;
}

std::int64_t Demuxer::SamplesEnd(int stream) const {
    return stream >= 0 && std::size_t(stream) < samplesEnd_.size() ? samplesEnd_[std::size_t(stream)]
                                                                   : std::numeric_limits<std::int64_t>::max();
}

Demuxer::~Demuxer() {
    if (format_) avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) ::close(fd_);
}

bool Demuxer::Acquire() {
    if (inUse_.exchange(true)) return false;
    interrupted_.store(false);
    return true;
}

int Demuxer::ReadPacket(AVPacket* packet) {
    atStart_ = false;
    return av_read_frame(format_, packet);
}

int Demuxer::Seek(std::int64_t time) {
    const std::int64_t target = ToAvTime(time + startTime_);
    atStart_ = false;
    int r = av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = avformat_seek_file(format_, -1, INT64_MIN, target, INT64_MAX, 0);
    return r;
}

}  // namespace orv
