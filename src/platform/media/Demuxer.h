// One opened movie file: the FFmpeg demuxer over a reader of our own, so that a read that
// waits (a stalled pipe or network file) can be given up when the session closes, and a
// read error (a pulled card) becomes an error result instead of a hang.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/WinTypes.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace orv {

class Demuxer {
public:
    // E_FILE_NOT_FOUND, MF_E_UNSUPPORTED_BYTESTREAM_TYPE (not a movie the demuxer knows, or
    // nothing arrived within the open time limit).
    static HRESULT Open(const std::string& path, std::unique_ptr<Demuxer>* demuxer);
    ~Demuxer();
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;

    // Stream information; fixed after Open.
    const AVFormatContext* Format() const { return format_; }
    // The presentation starts at 0: every time stamp is shifted by this (100 ns).
    std::int64_t StartTime() const { return startTime_; }
    std::int64_t Duration() const { return duration_; }
    // What the movie's index says of a stream: whether it indexes every sample up front (an
    // MP4 file does; other formats index as they are read), how many samples it lists, and
    // the presentation time (100 ns) of the first sample that lies beyond the end of the file
    // (a file cut short; INT64_MAX when every sample is there).
    bool IndexedUpFront() const { return indexedUpFront_; }
    int IndexedSamples(int stream) const;
    std::int64_t SamplesEnd(int stream) const;

    // The next packet of any stream; 0, AVERROR_EOF or another negative AVERROR.
    int ReadPacket(AVPacket* packet);
    // To the key frame at or before the presentation time (100 ns); 0 or a negative AVERROR.
    int Seek(std::int64_t time);
    // True while no packet has been read since Open: the demuxer is at the start.
    bool AtStart() const { return atStart_; }

    // One reader at a time: a pipeline takes the demuxer before it reads and gives it back
    // when its threads are gone. Taking it clears an earlier interruption. False while another
    // holds it (a reader thread that could not be stopped).
    bool Acquire();
    void Release() { inUse_.store(false); }

    // Makes a waiting read, and every read after it until the next Acquire, fail with
    // AVERROR_EXIT. Any thread.
    void Interrupt() { interrupted_.store(true); }

private:
    Demuxer() = default;
    static int ReadCallback(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekCallback(void* opaque, std::int64_t offset, int whence);
    static int InterruptCallback(void* opaque);
    // Fills the index figures; fileSize -1 when it is not known (a pipe).
    void ReadIndex(std::int64_t fileSize);

    int fd_ = -1;
    bool regularFile_ = false;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    std::int64_t startTime_ = 0;
    std::int64_t duration_ = 0;
    bool indexedUpFront_ = false;
    std::vector<int> indexedSamples_;           // per stream
    std::vector<std::int64_t> samplesEnd_;      // per stream
    bool atStart_ = true;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> inUse_{false};
    // While opening, a read that waits longer than this gives up (ms since epoch; 0: none).
    std::atomic<std::int64_t> stallDeadline_{0};
};

}  // namespace orv
