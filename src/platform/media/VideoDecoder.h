// Decoding of the video stream: FFmpeg, with frame threads (H.264 and H.265 decode several
// frames at once) for streams too large for one, or VA-API when hardware decoding is asked
// for and the machine has it.
#pragma once

#include <memory>

#include "platform/base/WinTypes.h"
#include "platform/media/FramePtr.h"

struct AVBufferRef;
struct AVCodecContext;
struct AVStream;

namespace orv {

// The threads that decode a stream of this size and rate (0 or less: not known, taken as
// 30) on a machine with `cores` cores: one for up to full HD at 30 frames a second, more
// for larger or faster streams, never more than the cores or four.
unsigned DecodingThreads(int width, int height, double frameRate, unsigned cores);

class VideoDecoder {
public:
    // MF_E_TOPO_CODEC_NOT_FOUND when the stream's codec has no decoder.
    static HRESULT Open(const AVStream* stream, bool hardware, std::unique_ptr<VideoDecoder>* decoder);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // A packet, or null to drain; 0 or a negative AVERROR (EAGAIN: receive first).
    int Send(const AVPacket* packet);
    // The next frame in memory (a hardware frame is copied down); 0, AVERROR(EAGAIN),
    // AVERROR_EOF, or another error. After a failed copy the decoder has switched to
    // software and SwitchedToSoftware() tells the caller to decode again from a key frame.
    int Receive(AVFrame* frame);
    void Flush();

    bool Hardware() const { return hwDevice_ != nullptr; }
    bool SwitchedToSoftware();
    // Decoding of frames that nothing refers to may be skipped (thinning).
    void SetSkipNonReference(bool skip);

private:
    VideoDecoder() = default;
    HRESULT OpenContext(bool hardware);

    const AVStream* stream_ = nullptr;
    AVCodecContext* context_ = nullptr;
    AVBufferRef* hwDevice_ = nullptr;
    FramePtr hwFrame_;
    bool switched_ = false;
};

}  // namespace orv
