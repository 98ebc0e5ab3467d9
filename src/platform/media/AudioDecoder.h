// Decoding of the audio stream into 16-bit interleaved chunks at the stream's sample rate,
// mono or stereo (more channels are mixed down to stereo).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/base/WinTypes.h"
#include "platform/media/AudioRenderer.h"
#include "platform/media/FramePtr.h"

struct AVCodecContext;
struct AVStream;
struct SwrContext;

namespace orv {

class AudioDecoder {
public:
    // MF_E_TOPO_CODEC_NOT_FOUND when the stream's codec has no decoder or no sample rate.
    // startTime: the demuxer's shift of every time stamp (100 ns).
    static HRESULT Open(const AVStream* stream, std::int64_t startTime, std::unique_ptr<AudioDecoder>* decoder);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }

    // A packet, or null to drain; 0 or a negative AVERROR (EAGAIN: receive first).
    int Send(const AVPacket* packet);
    // The next chunk; 0, AVERROR(EAGAIN), AVERROR_EOF or another error.
    int Receive(AudioChunk* chunk);
    void Flush();

private:
    AudioDecoder() = default;

    const AVStream* stream_ = nullptr;
    std::int64_t startTime_ = 0;
    AVCodecContext* context_ = nullptr;
    SwrContext* resampler_ = nullptr;
    FramePtr frame_;
    int rate_ = 0;
    int channels_ = 0;
    std::int64_t nextTime_ = 0;  // for frames without a time stamp
};

}  // namespace orv
